#pragma once

#include "shell/report/Report.h"

struct TSystemTestSettings;
namespace tavora::platform::audio {
class AudioPlatform;
}

// The microphone page's devices and levels without the page: the input
// devices, the stored one (as the page selects it), the speaker and
// microphone levels and the boost, and a recording of RecordMs from the
// stored device in the loop format, decoded and measured.
struct TMicrophoneCheckOptions {
    int RecordMs = 3000;
};

TCheckResult CheckMicrophone(tavora::platform::audio::AudioPlatform& platform,
                             const TSystemTestSettings& settings,
                             const TMicrophoneCheckOptions& options = {});
