#pragma once

// What the microphone loop's two streams share: their errors, whose message
// is the name of the failed operation followed by a fixed text chosen by the
// result code, the reading of the format record they are opened with, the
// choice of device, and their buffers.

#include "platform/audio/WaveTypes.h"

#include <QLoggingCategory>
#include <QObject>

#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavora::platform::audio {
class WaveInDevice;
class WaveOutDevice;
} // namespace tavora::platform::audio

namespace tavora::audio {

Q_DECLARE_LOGGING_CATEGORY(lcLoopback)

class CaptureStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class PlaybackStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "<name> The specified resource is already in use." and the like; a code
// without a text of its own gives "<name> raised an unknown error (code #n)".
std::string loopStreamErrorMessage(const std::string& name, platform::audio::MmResult code);

// Called once when a stream finds its device gone, with the code that said
// so; on whichever thread found it (the relay thread for a playback stream).
using DeviceLostEvent = std::function<void(platform::audio::MmResult code)>;

// The head of a format record, or null when `record` is too short for the
// head and the extra bytes it announces (a device would read past its end).
const platform::audio::WaveFormatEx* formatHead(std::span<const std::uint8_t> record);

// The device and open flags for a stream in the format `head`: linear audio
// goes to and from the default device as it is; any other format goes
// through the codecs on the chosen device.
struct LoopDevice {
    std::uint32_t device;
    std::uint32_t flags;
};
LoopDevice chooseLoopDevice(const platform::audio::WaveFormatEx& head, std::uint32_t deviceId);

// A buffer of a stream: the header the device sees and the bytes it points at.
struct LoopBuffer {
    explicit LoopBuffer(std::uint32_t size);
    platform::audio::WaveHeader header;
    std::unique_ptr<std::uint8_t[]> data;
};
using LoopBuffers = std::vector<std::unique_ptr<LoopBuffer>>;
// The stream's own buffer with this header; null for any other pointer, so
// that a header is compared before it is followed.
LoopBuffer* findLoopBuffer(const LoopBuffers& buffers, const platform::audio::WaveHeader* header);

// Ends a stream's device: a reset returns every queued buffer, the device
// closes, every buffer is unprepared and freed, the device goes, and the
// notifications the reset posted to `notifyWindow` are dropped. Were they
// left in the queue, a later open could allocate a buffer at the same
// address and take a stale notification for its own.
void closeLoopDevice(std::unique_ptr<platform::audio::WaveInDevice>& device, LoopBuffers& buffers,
                     QObject* notifyWindow);
void closeLoopDevice(std::unique_ptr<platform::audio::WaveOutDevice>& device, LoopBuffers& buffers,
                     QObject* notifyWindow);

} // namespace tavora::audio
