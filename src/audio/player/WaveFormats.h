#pragma once

// Format calculations shared by the wave image, the output engine and the
// player, together with the engine's exception classes, options and event
// types.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>

#include "platform/audio/WaveTypes.h"

namespace tavora::audio {

// The wave format record: the 18-byte head of a RIFF "fmt " chunk, followed
// by cbSize extra bytes.
using WaveFormatEx = platform::audio::WaveFormatEx;
using platform::audio::WAVE_FORMAT_GSM610;
using platform::audio::WAVE_FORMAT_PCM;

// a * b / c rounded to the nearest integer, halves away from zero, computed
// without overflow; 0 for c = 0. Results beyond 32 bits saturate.
uint32_t mulDiv(uint32_t a, uint32_t b, uint32_t c);

// A size in bytes that holds `milliseconds` of audio in `format`, rounded to
// the nearest byte and then up to a whole number of blocks.
uint32_t timeToBufferSize(const WaveFormatEx& format, uint32_t milliseconds);

// A byte distance into the sample data for a position in time; always on a
// sample frame (and, for block-coded formats, a block) boundary.
uint32_t timeToDataOffset(const WaveFormatEx& format, uint32_t milliseconds);

// The highest positive excursion of a block of 8- or 16-bit PCM samples in
// percent (0 to 100); -1 for any other sample width.
int32_t peakLevel(const void* buffer, size_t count, uint32_t bitsPerSample);

// Fills a block with the zero level of 8- or 16-bit PCM; other widths are
// left untouched.
void fillSilence(void* buffer, size_t count, uint32_t bitsPerSample);

// Standard PCM format codes 1..20: code - 1 = 4 * rate + 2 * (16 bit) + (stereo)
// over the rates 8000, 11025, 22050, 44100 and 48000 Hz. Bit 7 is ignored.
// Answers false (leaving `format` alone) for a code that names no format.
bool makePCMFormat(uint8_t code, WaveFormatEx& format);

using PCMFormatSet = std::set<uint8_t>;

class WaveEngine;

using WaveEvent = std::function<void(WaveEngine* sender)>;
using WaveLevelEvent = std::function<void(WaveEngine* sender, int32_t level)>;
using WaveBufferDataEvent = std::function<void(WaveEngine* sender, const void* data, uint32_t count)>;

enum class WaveOutOption : uint8_t { SetVolume = 1, SetPitch = 2, SetPlaybackRate = 4 };

// A set of WaveOutOption values.
class WaveOutOptions {
public:
    constexpr WaveOutOptions() = default;
    constexpr WaveOutOptions(std::initializer_list<WaveOutOption> options) {
        for (auto o : options)
            bits_ |= static_cast<uint8_t>(o);
    }
    constexpr bool contains(WaveOutOption o) const { return (bits_ & static_cast<uint8_t>(o)) != 0; }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr bool operator==(const WaveOutOptions&) const = default;

private:
    uint8_t bits_ = 0;
};

enum class WaveDeviceSupport : uint8_t {
    Volume = 1,
    LeftRightVolume = 2,
    Pitch = 4,
    PlaybackRate = 8,
    SampleAccurate = 16,
    Asynchronous = 32,
};

class WaveDeviceSupports {
public:
    constexpr WaveDeviceSupports() = default;
    constexpr WaveDeviceSupports(std::initializer_list<WaveDeviceSupport> items) {
        for (auto s : items)
            include(s);
    }
    constexpr void include(WaveDeviceSupport s) { bits_ |= static_cast<uint8_t>(s); }
    constexpr bool contains(WaveDeviceSupport s) const { return (bits_ & static_cast<uint8_t>(s)) != 0; }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr bool operator==(const WaveDeviceSupports&) const = default;

private:
    uint8_t bits_ = 0;
};

class WaveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A platform call failed; the message is the platform's text for the code.
class WaveSysError : public WaveError {
public:
    using WaveError::WaveError;
};

// An operation was asked for in a state that does not allow it.
class WaveInvalidOperationError : public WaveError {
public:
    using WaveError::WaveError;
};

} // namespace tavora::audio
