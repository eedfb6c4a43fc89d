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
using TWaveFormatEx = platform::audio::WaveFormatEx;
using platform::audio::WAVE_FORMAT_GSM610;
using platform::audio::WAVE_FORMAT_PCM;

// a * b / c rounded to the nearest integer, halves away from zero, computed
// without overflow; 0 for c = 0. Results beyond 32 bits saturate.
uint32_t MulDiv(uint32_t a, uint32_t b, uint32_t c);

// A size in bytes that holds `milliseconds` of audio in `format`, rounded to
// the nearest byte and then up to a whole number of blocks.
uint32_t TimeToBufferSize(const TWaveFormatEx& format, uint32_t milliseconds);

// A byte distance into the sample data for a position in time; always on a
// sample frame (and, for block-coded formats, a block) boundary.
uint32_t TimeToDataOffset(const TWaveFormatEx& format, uint32_t milliseconds);

// The highest positive excursion of a block of 8- or 16-bit PCM samples in
// percent (0 to 100); -1 for any other sample width.
int32_t PeakLevel(const void* buffer, size_t count, uint32_t bitsPerSample);

// Fills a block with the zero level of 8- or 16-bit PCM; other widths are
// left untouched.
void FillSilence(void* buffer, size_t count, uint32_t bitsPerSample);

// Standard PCM format codes 1..20: code - 1 = 4 * rate + 2 * (16 bit) + (stereo)
// over the rates 8000, 11025, 22050, 44100 and 48000 Hz. Bit 7 is ignored.
// Answers false (leaving `format` alone) for a code that names no format.
bool MakePCMFormat(uint8_t code, TWaveFormatEx& format);

using TPCMFormatSet = std::set<uint8_t>;

class TWaveEngine;

using TWaveEvent = std::function<void(TWaveEngine* sender)>;
using TWaveLevelEvent = std::function<void(TWaveEngine* sender, int32_t level)>;
using TWaveBufferDataEvent = std::function<void(TWaveEngine* sender, const void* data, uint32_t count)>;

enum class TWaveOutOption : uint8_t { woSetVolume = 1, woSetPitch = 2, woSetPlaybackRate = 4 };

// A set of TWaveOutOption values.
class TWaveOutOptions {
public:
    constexpr TWaveOutOptions() = default;
    constexpr TWaveOutOptions(std::initializer_list<TWaveOutOption> options) {
        for (auto o : options)
            bits_ |= static_cast<uint8_t>(o);
    }
    constexpr bool Contains(TWaveOutOption o) const { return (bits_ & static_cast<uint8_t>(o)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool operator==(const TWaveOutOptions&) const = default;

private:
    uint8_t bits_ = 0;
};

enum class TWaveDeviceSupport : uint8_t {
    dsVolume = 1,
    dsLeftRightVolume = 2,
    dsPitch = 4,
    dsPlaybackRate = 8,
    dsSampleAccurate = 16,
    dsAsynchronous = 32,
};

class TWaveDeviceSupports {
public:
    constexpr TWaveDeviceSupports() = default;
    constexpr TWaveDeviceSupports(std::initializer_list<TWaveDeviceSupport> items) {
        for (auto s : items)
            Include(s);
    }
    constexpr void Include(TWaveDeviceSupport s) { bits_ |= static_cast<uint8_t>(s); }
    constexpr bool Contains(TWaveDeviceSupport s) const { return (bits_ & static_cast<uint8_t>(s)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool operator==(const TWaveDeviceSupports&) const = default;

private:
    uint8_t bits_ = 0;
};

class EWaveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A platform call failed; the message is the platform's text for the code.
class EWaveSysError : public EWaveError {
public:
    using EWaveError::EWaveError;
};

// An operation was asked for in a state that does not allow it.
class EWaveInvalidOperation : public EWaveError {
public:
    using EWaveError::EWaveError;
};

} // namespace tavora::audio
