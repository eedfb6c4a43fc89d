#pragma once

// Records, result codes and constants of the wave device, mixer and codec
// layer. Numeric values are those of the classic multimedia API, so that code
// and stored data written against it keep their meaning.

#include <array>
#include <bit>
#include <cstdint>
#include <span>
#include <string>

namespace tavora {

static_assert(std::endian::native == std::endian::little, "format records are little-endian in memory");

namespace platform::audio {

using MmResult = std::uint32_t;

// Result codes.
inline constexpr MmResult MMSYSERR_NOERROR = 0;
inline constexpr MmResult MMSYSERR_ERROR = 1;
inline constexpr MmResult MMSYSERR_BADDEVICEID = 2;
inline constexpr MmResult MMSYSERR_NOTENABLED = 3;
inline constexpr MmResult MMSYSERR_ALLOCATED = 4;
inline constexpr MmResult MMSYSERR_INVALHANDLE = 5;
inline constexpr MmResult MMSYSERR_NODRIVER = 6;
inline constexpr MmResult MMSYSERR_NOMEM = 7;
inline constexpr MmResult MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MmResult MMSYSERR_BADERRNUM = 9;
inline constexpr MmResult MMSYSERR_INVALFLAG = 10;
inline constexpr MmResult MMSYSERR_INVALPARAM = 11;
inline constexpr MmResult MMSYSERR_HANDLEBUSY = 12;
inline constexpr MmResult WAVERR_BADFORMAT = 32;
inline constexpr MmResult WAVERR_STILLPLAYING = 33;
inline constexpr MmResult WAVERR_UNPREPARED = 34;
inline constexpr MmResult WAVERR_SYNC = 35;
inline constexpr MmResult ACMERR_NOTPOSSIBLE = 512;
inline constexpr MmResult ACMERR_BUSY = 513;
inline constexpr MmResult ACMERR_UNPREPARED = 514;
inline constexpr MmResult ACMERR_CANCELED = 515;
inline constexpr MmResult MIXERR_INVALLINE = 1024;
inline constexpr MmResult MIXERR_INVALCONTROL = 1025;
inline constexpr MmResult MIXERR_INVALVALUE = 1026;

// The platform's text for a result code (at most 255 characters). Answers
// MMSYSERR_BADERRNUM and leaves `text` empty for a code it does not know.
MmResult waveErrorText(MmResult code, std::string& text);

// Whether a device's answer says that it, or the sound server behind it, has
// gone away (MMSYSERR_BADDEVICEID: the device was removed; MMSYSERR_NODRIVER:
// no sound server): nothing will be played or recorded on it again.
inline bool waveDeviceGone(MmResult code) {
    return code == MMSYSERR_BADDEVICEID || code == MMSYSERR_NODRIVER;
}

// Device number that stands for "the default device, converting as needed".
inline constexpr std::uint32_t WAVE_MAPPER = 0xFFFFFFFFu;

// Open flags.
inline constexpr std::uint32_t WAVE_FORMAT_QUERY = 0x0001; // only ask whether the format can be opened
inline constexpr std::uint32_t WAVE_ALLOWSYNC = 0x0002;
inline constexpr std::uint32_t WAVE_MAPPED = 0x0004; // convert through the codecs if the device needs it
inline constexpr std::uint32_t CALLBACK_TYPEMASK = 0x00070000;
inline constexpr std::uint32_t CALLBACK_NULL = 0x00000000;
// Both callback kinds post WaveNotifyEvent to the QObject given to the open;
// the object's thread affinity decides which thread handles them.
inline constexpr std::uint32_t CALLBACK_WINDOW = 0x00010000;
inline constexpr std::uint32_t CALLBACK_THREAD = 0x00020000;

// Format tags.
inline constexpr std::uint16_t WAVE_FORMAT_PCM = 0x0001;
inline constexpr std::uint16_t WAVE_FORMAT_IEEE_FLOAT = 0x0003;
inline constexpr std::uint16_t WAVE_FORMAT_GSM610 = 0x0031;

// GSM 6.10 as stored in wave files: 65-byte blocks of 320 samples.
inline constexpr std::uint16_t GSM610_BLOCK_ALIGN = 65;
inline constexpr std::uint16_t GSM610_SAMPLES_PER_BLOCK = 320;

// Buffer header flags.
inline constexpr std::uint32_t WHDR_DONE = 0x01;
inline constexpr std::uint32_t WHDR_PREPARED = 0x02;
inline constexpr std::uint32_t WHDR_BEGINLOOP = 0x04;
inline constexpr std::uint32_t WHDR_ENDLOOP = 0x08;
inline constexpr std::uint32_t WHDR_INQUEUE = 0x10;

// Capability support bits of an output device.
inline constexpr std::uint32_t WAVECAPS_PITCH = 0x0001;
inline constexpr std::uint32_t WAVECAPS_PLAYBACKRATE = 0x0002;
inline constexpr std::uint32_t WAVECAPS_VOLUME = 0x0004;
inline constexpr std::uint32_t WAVECAPS_LRVOLUME = 0x0008;
inline constexpr std::uint32_t WAVECAPS_SYNC = 0x0010;
inline constexpr std::uint32_t WAVECAPS_SAMPLEACCURATE = 0x0020;

// Capability format bits: bit k - 1 for the standard PCM formats at 11025,
// 22050 and 44100 Hz (mono 8-bit, stereo 8-bit, mono 16-bit, stereo 16-bit).
inline constexpr std::uint32_t WAVE_FORMAT_1M08 = 0x0001;
inline constexpr std::uint32_t WAVE_FORMAT_4S16 = 0x0800;
inline constexpr std::uint32_t WAVE_FORMATS_ALL_STANDARD = 0x0FFF;

// Position time formats.
inline constexpr std::uint32_t TIME_MS = 0x0001;
inline constexpr std::uint32_t TIME_SAMPLES = 0x0002;
inline constexpr std::uint32_t TIME_BYTES = 0x0004;
inline constexpr std::uint32_t TIME_SMPTE = 0x0008;

// Notification messages, in the numbering of the classic API.
enum class WaveMessage : std::uint32_t {
    WomOpen = 0x3BB,  // 955
    WomClose = 0x3BC, // 956
    WomDone = 0x3BD,  // 957
    WimOpen = 0x3BE,  // 958
    WimClose = 0x3BF, // 959
    WimData = 0x3C0,  // 960
};

// The head of every format record: 18 bytes, no padding, followed by cbSize
// extra bytes that belong to the format tag's codec.
#pragma pack(push, 1)
struct WaveFormatEx {
    std::uint16_t wFormatTag = 0;
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;
    std::uint16_t cbSize = 0;
};

// GSM 6.10 record: the head and the number of samples per block (320).
struct Gsm610WaveFormat {
    WaveFormatEx wfx;
    std::uint16_t wSamplesPerBlock = 0;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormatEx) == 18);
static_assert(sizeof(Gsm610WaveFormat) == 20);

// The GSM 6.10 record of mono 8000 Hz audio (1625 bytes per second).
Gsm610WaveFormat gsm610Format8k();
// A linear PCM record.
WaveFormatEx pcmFormat(std::uint32_t samplesPerSec, std::uint16_t bitsPerSample, std::uint16_t channels);

// A buffer handed to a device. The caller owns the header and its data; the
// device keeps a pointer to both from write/addBuffer until it returns the
// header with a done notification (or with reset). `user` is the caller's.
struct WaveHeader {
    std::uint8_t* data = nullptr;
    std::uint32_t bufferLength = 0;
    std::uint32_t bytesRecorded = 0; // input: bytes filled by the device
    std::uintptr_t user = 0;
    std::uint32_t flags = 0;
    std::uint32_t loops = 0;     // with WHDR_BEGINLOOP | WHDR_ENDLOOP: times to play
    WaveHeader* next = nullptr;  // reserved for the device
    std::uintptr_t reserved = 0; // reserved for the device
};

struct SmpteTime {
    std::uint8_t hour = 0, min = 0, sec = 0, frame = 0, fps = 0;
};

// A device position. The caller sets `type` to the format it prefers; the
// device answers in that format if it can, otherwise in another and says so.
struct MmTime {
    std::uint32_t type = TIME_MS;
    std::uint32_t value = 0; // milliseconds, samples or bytes, after `type`
    SmpteTime smpte;         // with TIME_SMPTE
};

// A fixed-size text field: at most N bytes, ending at the first zero byte.
template <std::size_t N> std::string fixedText(const std::array<char, N>& field) {
    std::size_t n = 0;
    while (n < N && field[n] != '\0')
        ++n;
    return std::string(field.data(), n);
}
// Copies `text` into a fixed field, cut to at most N bytes without splitting
// a UTF-8 sequence; the rest of the field is zero-filled.
template <std::size_t N> void setFixedText(std::array<char, N>& field, std::string_view text);

struct WaveOutCaps {
    std::uint16_t manufacturerId = 0;
    std::uint16_t productId = 0;
    std::uint32_t driverVersion = 0;
    std::array<char, 32> productName{};
    std::uint32_t formats = 0;
    std::uint16_t channels = 0;
    std::uint32_t support = 0;
};

struct WaveInCaps {
    std::uint16_t manufacturerId = 0;
    std::uint16_t productId = 0;
    std::uint32_t driverVersion = 0;
    std::array<char, 32> productName{};
    std::uint32_t formats = 0;
    std::uint16_t channels = 0;
};

std::size_t utf8CutLength(std::string_view text, std::size_t maxBytes);

template <std::size_t N> void setFixedText(std::array<char, N>& field, std::string_view text) {
    field.fill('\0');
    const std::size_t n = utf8CutLength(text, N);
    for (std::size_t i = 0; i < n; ++i)
        field[i] = text[i];
}

} // namespace platform::audio

} // namespace tavora
