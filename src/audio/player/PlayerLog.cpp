#include "audio/player/PlayerLog.h"

Q_LOGGING_CATEGORY(lcPlayer, "tavora.audio.player")
