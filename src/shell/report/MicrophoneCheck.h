#pragma once

#include "shell/report/Report.h"

namespace tavora {

struct SystemTestSettings;
namespace platform::audio {
class AudioPlatform;
}

// The microphone page's devices and levels without the page: the input
// devices, the stored one (as the page selects it), the speaker and
// microphone levels and the boost, and a recording of recordMs from the
// stored device in the loop format, decoded and measured.
struct MicrophoneCheckOptions {
    int recordMs = 3000;
};

CheckResult checkMicrophone(tavora::platform::audio::AudioPlatform& platform,
                             const SystemTestSettings& settings,
                             const MicrophoneCheckOptions& options = {});

} // namespace tavora
