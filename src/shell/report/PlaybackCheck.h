#pragma once

#include "shell/report/Report.h"

namespace tavora {

struct SystemTestSettings;
namespace platform::audio {
class AudioPlatform;
}

// The playback page's devices without the page: the output devices, the
// stored one (as the page selects it), and whether it opens in the built-in
// sample's format, asked the way the player asks before it opens.
CheckResult checkPlayback(tavora::platform::audio::AudioPlatform& platform,
                           const SystemTestSettings& settings);

} // namespace tavora
