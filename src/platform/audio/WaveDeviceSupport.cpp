#include "platform/audio/WaveDeviceSupport.h"

#include <algorithm>
#include <cstring>

namespace tavora::platform::audio {

std::uint64_t StreamFormat::samplesIn(std::uint64_t bytes) const {
    if (blockAlign == 0)
        return 0;
    if (kind == Kind::Gsm)
        return bytes / blockAlign * GSM610_SAMPLES_PER_BLOCK;
    return bytes / blockAlign;
}

std::uint64_t StreamFormat::bytesFor(std::uint64_t samples) const {
    if (kind == Kind::Gsm)
        return samples / GSM610_SAMPLES_PER_BLOCK * blockAlign;
    return samples * blockAlign;
}

MmResult checkWaveFormat(const WaveFormatEx* format, bool mapped, StreamFormat& out) {
    if (!format)
        return MMSYSERR_INVALPARAM;
    const WaveFormatEx& f = *format;
    if (f.nChannels < 1 || f.nChannels > 8 || f.nSamplesPerSec < 1000 || f.nSamplesPerSec > 192000)
        return WAVERR_BADFORMAT;
    StreamFormat s;
    s.rate = f.nSamplesPerSec;
    s.channels = f.nChannels;
    s.blockAlign = f.nBlockAlign;
    s.avgBytesPerSec = f.nAvgBytesPerSec;
    switch (f.wFormatTag) {
    case WAVE_FORMAT_PCM:
        if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16 && f.wBitsPerSample != 24 &&
            f.wBitsPerSample != 32)
            return WAVERR_BADFORMAT;
        s.kind = StreamFormat::Kind::Pcm;
        s.bitsPerSample = f.wBitsPerSample;
        break;
    case WAVE_FORMAT_IEEE_FLOAT:
        if (f.wBitsPerSample != 32)
            return WAVERR_BADFORMAT;
        s.kind = StreamFormat::Kind::Float;
        s.bitsPerSample = 32;
        break;
    case WAVE_FORMAT_GSM610: {
        if (!mapped || f.nChannels != 1 || f.nBlockAlign != GSM610_BLOCK_ALIGN)
            return WAVERR_BADFORMAT;
        if (f.cbSize >= 2) {
            std::uint16_t perBlock = 0;
            std::memcpy(&perBlock, reinterpret_cast<const std::uint8_t*>(format) + sizeof(WaveFormatEx), 2);
            // 0 is accepted: a record built from the head alone leaves it unwritten.
            if (perBlock != 0 && perBlock != GSM610_SAMPLES_PER_BLOCK)
                return WAVERR_BADFORMAT;
        }
        s.kind = StreamFormat::Kind::Gsm;
        s.bitsPerSample = 16;
        out = s;
        return MMSYSERR_NOERROR;
    }
    default:
        return WAVERR_BADFORMAT;
    }
    if (f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8)
        return WAVERR_BADFORMAT;
    out = s;
    return MMSYSERR_NOERROR;
}

std::vector<std::uint8_t> copyFormatRecord(const WaveFormatEx& format) {
    // Only the extra bytes the devices read are copied: a caller's cbSize is
    // not trusted to describe memory that exists.
    std::size_t size = sizeof(WaveFormatEx);
    if (format.wFormatTag == WAVE_FORMAT_GSM610 && format.cbSize >= 2)
        size += 2;
    const auto* p = reinterpret_cast<const std::uint8_t*>(&format);
    return std::vector<std::uint8_t>(p, p + size);
}

void fillPosition(MmTime& time, std::uint64_t samples, const StreamFormat& format) {
    switch (time.type) {
    case TIME_SAMPLES:
        time.value = static_cast<std::uint32_t>(samples);
        return;
    case TIME_BYTES:
        time.value = static_cast<std::uint32_t>(format.bytesFor(samples));
        return;
    default:
        time.type = TIME_MS;
        time.value = format.rate ? static_cast<std::uint32_t>(samples * 1000 / format.rate) : 0;
        return;
    }
}

MmResult checkOpenFlags(std::uint32_t flags, const void* callback) {
    constexpr std::uint32_t known = WAVE_FORMAT_QUERY | WAVE_ALLOWSYNC | WAVE_MAPPED | CALLBACK_TYPEMASK;
    const std::uint32_t kind = flags & CALLBACK_TYPEMASK;
    if ((flags & ~known) || (kind != CALLBACK_NULL && kind != CALLBACK_WINDOW && kind != CALLBACK_THREAD))
        return MMSYSERR_INVALFLAG;
    if (kind != CALLBACK_NULL && !callback && !(flags & WAVE_FORMAT_QUERY))
        return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

MmResult prepareWaveHeader(WaveHeader& header) {
    if (!header.data && header.bufferLength > 0)
        return MMSYSERR_INVALPARAM;
    header.flags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MmResult unprepareWaveHeader(WaveHeader& header) {
    if (header.flags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header.flags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MmResult queueWaveHeader(WaveHeader& header) {
    if (!(header.flags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if (header.flags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header.flags = (header.flags & ~WHDR_DONE) | WHDR_INQUEUE;
    return MMSYSERR_NOERROR;
}

void markWaveHeaderDone(WaveHeader& header) {
    header.flags = (header.flags & ~WHDR_INQUEUE) | WHDR_DONE;
}

std::uint32_t waveHeaderLoops(const WaveHeader& header) {
    const bool looped = (header.flags & (WHDR_BEGINLOOP | WHDR_ENDLOOP)) == (WHDR_BEGINLOOP | WHDR_ENDLOOP);
    return looped ? std::max(header.loops, 1u) : 1u;
}

} // namespace tavora::platform::audio
