#pragma once

// What the microphone loop's two streams share: their errors, whose message
// is the name of the failed operation followed by a fixed text chosen by the
// result code, and the reading of the format record they are opened with.

#include "platform/audio/WaveTypes.h"

#include <QLoggingCategory>

#include <span>
#include <stdexcept>
#include <string>

namespace tavora::audio {

Q_DECLARE_LOGGING_CATEGORY(lcLoopback)

class ECaptureStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EPlaybackStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "<name> The specified resource is already in use." and the like; a code
// without a text of its own gives "<name> raised an unknown error (code #n)".
std::string LoopStreamErrorMessage(const std::string& name, platform::audio::MmResult code);

// The head of a format record, or null when `record` is too short for the
// head and the extra bytes it announces (a device would read past its end).
const platform::audio::WaveFormatEx* FormatHead(std::span<const std::uint8_t> record);

} // namespace tavora::audio
