#pragma once

// The audio platform: wave output and input devices, the mixer and the codec
// manager behind one interface. The program runs PulseAudioPlatform; the
// tests also have a scriptable in-memory one. Whoever builds the program
// chooses one and passes it to the code that needs it.
//
// Every call answers an MmResult, MMSYSERR_NOERROR (0) on success. Device
// objects are the open handles: destroying one without close() stops it
// silently (no notifications, buffers are not touched again).

#include "platform/audio/CodecTypes.h"
#include "platform/audio/MixerTypes.h"
#include "platform/audio/WaveNotify.h"
#include "platform/audio/WaveTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QObject;

namespace tavora::platform::audio {

// An open wave output device. Thread-safe: a buffer may be written on one
// thread while notifications are handled on another.
//
// Buffers play in the order written. Each written buffer comes back exactly
// once, as a WomDone notification with its header (WHDR_DONE set, WHDR_INQUEUE
// cleared): when it has been played, or at once when reset() is called.
class WaveOutDevice {
public:
    virtual ~WaveOutDevice() = default;

    virtual MmResult prepareHeader(WaveHeader& header) = 0;
    // WAVERR_STILLPLAYING while the buffer is queued.
    virtual MmResult unprepareHeader(WaveHeader& header) = 0;
    // WAVERR_UNPREPARED unless prepared; the header must stay valid until it
    // comes back.
    virtual MmResult write(WaveHeader& header) = 0;
    virtual MmResult pause() = 0;
    virtual MmResult restart() = 0;
    // Stops playing, returns every queued buffer (done notifications posted
    // before reset() returns) and sets the position to 0. Not paused after.
    virtual MmResult reset() = 0;
    // WAVERR_STILLPLAYING while buffers are queued; otherwise stops the device
    // and posts WomClose. Every later call answers MMSYSERR_INVALHANDLE.
    virtual MmResult close() = 0;
    // Played time since the open (or the last reset), in time.type's format
    // where supported (TIME_MS, TIME_SAMPLES and TIME_BYTES are).
    virtual MmResult position(MmTime& time) = 0;
    // Low word left, high word right, 0..0xFFFF each.
    virtual MmResult volume(std::uint32_t& value) = 0;
    virtual MmResult setVolume(std::uint32_t value) = 0;
    // Multipliers in 16.16 fixed point; MMSYSERR_NOTSUPPORTED where the
    // device has no such control.
    virtual MmResult pitch(std::uint32_t& value) = 0;
    virtual MmResult setPitch(std::uint32_t value) = 0;
    virtual MmResult playbackRate(std::uint32_t& value) = 0;
    virtual MmResult setPlaybackRate(std::uint32_t value) = 0;
};

// An open wave input device. Thread-safe like WaveOutDevice.
//
// Added buffers are filled in order once start() has been called; each comes
// back exactly once as a WimData notification, with bytesRecorded set: when
// full (for block formats: when the next whole block does not fit), when
// stop() ends recording (a partly filled buffer), or when reset() is called.
class WaveInDevice {
public:
    virtual ~WaveInDevice() = default;

    virtual MmResult prepareHeader(WaveHeader& header) = 0;
    virtual MmResult unprepareHeader(WaveHeader& header) = 0;
    virtual MmResult addBuffer(WaveHeader& header) = 0;
    virtual MmResult start() = 0;
    virtual MmResult stop() = 0;
    // Stops recording and returns every queued buffer; position 0.
    virtual MmResult reset() = 0;
    // WAVERR_STILLPLAYING while buffers are queued; posts WimClose.
    virtual MmResult close() = 0;
    virtual MmResult position(MmTime& time) = 0;
};

// An open mixer. Lines and controls are looked up afresh on every call.
class Mixer {
public:
    virtual ~Mixer() = default;

    // `flags` holds a MIXER_GETLINEINFOF_* query kind.
    virtual MmResult lineInfo(MixerLine& line, std::uint32_t flags) = 0;
    // `flags` holds a MIXER_GETLINECONTROLSF_* query kind.
    virtual MmResult lineControls(MixerLineControls& request, std::uint32_t flags) = 0;
    virtual MmResult controlDetails(MixerControlDetails& details, std::uint32_t flags) = 0;
    virtual MmResult setControlDetails(const MixerControlDetails& details, std::uint32_t flags) = 0;
};

// An open codec driver.
class CodecDriver {
public:
    virtual ~CodecDriver() = default;

    virtual MmResult formatTagDetails(FormatTagDetails& details, std::uint32_t flags) = 0;
    virtual MmResult formatDetails(FormatDetails& details, std::uint32_t flags) = 0;
};

// The codec manager: which codecs are installed and which formats they offer.
// Conversion itself happens inside the wave devices (WAVE_MAPPED).
class CodecManager {
public:
    // Answers false to stop the enumeration.
    using DriverEnumCallback = std::function<bool(CodecDriverId driver, std::uint32_t support)>;

    virtual ~CodecManager() = default;

    // The largest format record of any installed codec, in bytes.
    virtual MmResult maxFormatSize(std::uint32_t& size) = 0;
    // Visits the drivers in the manager's fixed order.
    virtual MmResult enumDrivers(const DriverEnumCallback& callback, std::uint32_t flags) = 0;
    virtual MmResult driverDetails(CodecDriverId driver, CodecDriverDetails& details) = 0;
    virtual MmResult openDriver(std::unique_ptr<CodecDriver>& opened, CodecDriverId driver) = 0;
};

// What a device is called beyond its capability record: its whole product
// name (the record keeps 32 bytes of it) and the sound server's own name,
// which stays with the device when the table is reordered. Either may be
// empty where the platform has none.
struct WaveDeviceNames {
    std::string description;
    std::string serverName;
};

class AudioPlatform {
public:
    virtual ~AudioPlatform() = default;

    // Device tables. Device 0 is the system's default device; deviceId may
    // also be WAVE_MAPPER for the caps of the default device.
    virtual std::uint32_t waveOutCount() = 0;
    virtual MmResult waveOutCaps(std::uint32_t deviceId, WaveOutCaps& caps) = 0;
    virtual std::uint32_t waveInCount() = 0;
    virtual MmResult waveInCaps(std::uint32_t deviceId, WaveInCaps& caps) = 0;
    // The names of device `deviceId` in the same numbering;
    // MMSYSERR_NOTSUPPORTED where the platform knows no more than the
    // capability records say.
    virtual MmResult waveOutNames(std::uint32_t, WaveDeviceNames&) { return MMSYSERR_NOTSUPPORTED; }
    virtual MmResult waveInNames(std::uint32_t, WaveDeviceNames&) { return MMSYSERR_NOTSUPPORTED; }

    // Opens device `deviceId` (or WAVE_MAPPER) in `format` (the head followed
    // by its cbSize extra bytes). Flags: WAVE_FORMAT_QUERY only checks the
    // format (`device` may be null, nothing is opened, nothing is posted);
    // WAVE_MAPPED lets a device that takes only linear PCM play/record
    // GSM 6.10 through the codecs (the mapper device WAVE_MAPPER always
    // converts). CALLBACK_WINDOW or CALLBACK_THREAD with `callback` set: the
    // notifications are posted to it, starting with WomOpen / WimOpen before
    // the open returns; CALLBACK_NULL: no notifications.
    virtual MmResult openWaveOut(std::unique_ptr<WaveOutDevice>* device, std::uint32_t deviceId,
                                 const WaveFormatEx* format, QObject* callback, std::uint32_t flags) = 0;
    virtual MmResult openWaveIn(std::unique_ptr<WaveInDevice>* device, std::uint32_t deviceId,
                                const WaveFormatEx* format, QObject* callback, std::uint32_t flags) = 0;

    // Mixers are numbered like the wave devices: mixer k belongs to device k.
    virtual std::uint32_t mixerCount() = 0;
    virtual MmResult mixerCaps(std::uint32_t mixerId, MixerCaps& caps) = 0;
    virtual MmResult openMixer(std::unique_ptr<Mixer>& mixer, std::uint32_t mixerId) = 0;

    virtual CodecManager& codecManager() = 0;
};

} // namespace tavora::platform::audio
