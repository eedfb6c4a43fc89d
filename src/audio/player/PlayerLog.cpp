#include "audio/player/PlayerLog.h"

namespace tavora {

Q_LOGGING_CATEGORY(lcPlayer, "tavora.audio.player")

} // namespace tavora
