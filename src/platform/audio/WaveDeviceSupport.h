#pragma once

// What every wave device implementation shares: which formats open, how
// positions are expressed, and the rules of buffer headers. The PulseAudio
// and in-memory devices both use it, so that they accept, refuse and answer
// alike.

#include "platform/audio/WaveTypes.h"

#include <cstdint>
#include <vector>

namespace tavora::platform::audio {

struct StreamFormat {
    enum class Kind { Pcm, Float, Gsm } kind = Kind::Pcm;
    std::uint32_t rate = 0;
    std::uint16_t channels = 0;
    std::uint16_t bitsPerSample = 0; // of the linear samples the device handles
    std::uint16_t blockAlign = 0;    // of the caller's format
    std::uint32_t avgBytesPerSec = 0;

    // Samples per channel in `bytes` of the caller's format (whole blocks).
    std::uint64_t samplesIn(std::uint64_t bytes) const;
    // Bytes of the caller's format that hold `samples` (whole blocks).
    std::uint64_t bytesFor(std::uint64_t samples) const;
};

// Checks a format for opening: MMSYSERR_NOERROR and `out` filled, or
// MMSYSERR_INVALPARAM (no format) or WAVERR_BADFORMAT. GSM 6.10 opens only
// through the codecs (`mapped`).
MmResult checkWaveFormat(const WaveFormatEx* format, bool mapped, StreamFormat& out);

// The whole record (head and extra bytes) as bytes.
std::vector<std::uint8_t> copyFormatRecord(const WaveFormatEx& format);

// Fills `time` for a position of `samples`, in time.type's format when it is
// TIME_MS, TIME_SAMPLES or TIME_BYTES, otherwise in milliseconds.
void fillPosition(MmTime& time, std::uint64_t samples, const StreamFormat& format);

// Checks the flags of an open and that notifications have somewhere to go.
MmResult checkOpenFlags(std::uint32_t flags, const void* callback);

// Header rules: prepare needs data for a non-empty buffer; unprepare and a
// second queueing are refused while queued; only prepared headers queue.
MmResult prepareWaveHeader(WaveHeader& header);
MmResult unprepareWaveHeader(WaveHeader& header);
// Marks a header queued (WHDR_INQUEUE, WHDR_DONE cleared) if it may be.
MmResult queueWaveHeader(WaveHeader& header);
// Marks a header returned.
void markWaveHeaderDone(WaveHeader& header);
// Times a header plays: its loop count with BEGINLOOP and ENDLOOP, else 1.
std::uint32_t waveHeaderLoops(const WaveHeader& header);

} // namespace tavora::platform::audio
