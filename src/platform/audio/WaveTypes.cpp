#include "platform/audio/WaveTypes.h"

#include <map>

namespace tavora::platform::audio {

namespace {

// The texts are the platform's own; callers show them as they stand.
const std::map<MmResult, const char*>& errorTexts() {
    static const std::map<MmResult, const char*> texts = {
        {MMSYSERR_NOERROR, "The command completed successfully."},
        {MMSYSERR_ERROR, "An unspecified audio device error occurred."},
        {MMSYSERR_BADDEVICEID, "The audio device number is out of range."},
        {MMSYSERR_NOTENABLED, "The audio driver is not enabled."},
        {MMSYSERR_ALLOCATED, "The audio device is already in use by another application."},
        {MMSYSERR_INVALHANDLE, "The audio device handle is invalid."},
        {MMSYSERR_NODRIVER, "No sound server or audio driver is available."},
        {MMSYSERR_NOMEM, "Not enough memory for the audio operation."},
        {MMSYSERR_NOTSUPPORTED, "The audio device does not support this function."},
        {MMSYSERR_BADERRNUM, "The audio error number is out of range."},
        {MMSYSERR_INVALFLAG, "An invalid flag was passed to an audio function."},
        {MMSYSERR_INVALPARAM, "An invalid parameter was passed to an audio function."},
        {MMSYSERR_HANDLEBUSY, "The audio device handle is being used by another thread."},
        {WAVERR_BADFORMAT, "The audio device cannot use this wave format."},
        {WAVERR_STILLPLAYING, "The audio device is still playing or recording buffers."},
        {WAVERR_UNPREPARED, "The wave buffer has not been prepared."},
        {WAVERR_SYNC, "The audio device is synchronous and cannot be opened this way."},
        {ACMERR_NOTPOSSIBLE, "The audio conversion is not possible."},
        {ACMERR_BUSY, "The audio conversion stream is busy."},
        {ACMERR_UNPREPARED, "The conversion buffer has not been prepared."},
        {ACMERR_CANCELED, "The audio conversion was cancelled."},
        {MIXERR_INVALLINE, "The mixer line is invalid."},
        {MIXERR_INVALCONTROL, "The mixer control is invalid."},
        {MIXERR_INVALVALUE, "The mixer control value is invalid."},
    };
    return texts;
}

} // namespace

MmResult waveErrorText(MmResult code, std::string& text) {
    text.clear();
    const auto& texts = errorTexts();
    const auto it = texts.find(code);
    if (it == texts.end())
        return MMSYSERR_BADERRNUM;
    text = it->second;
    return MMSYSERR_NOERROR;
}

Gsm610WaveFormat gsm610Format8k() {
    Gsm610WaveFormat f;
    f.wfx.wFormatTag = WAVE_FORMAT_GSM610;
    f.wfx.nChannels = 1;
    f.wfx.nSamplesPerSec = 8000;
    f.wfx.nAvgBytesPerSec = 1625;
    f.wfx.nBlockAlign = GSM610_BLOCK_ALIGN;
    f.wfx.wBitsPerSample = 0;
    f.wfx.cbSize = 2;
    f.wSamplesPerBlock = GSM610_SAMPLES_PER_BLOCK;
    return f;
}

WaveFormatEx pcmFormat(std::uint32_t samplesPerSec, std::uint16_t bitsPerSample, std::uint16_t channels) {
    WaveFormatEx f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = samplesPerSec;
    f.wBitsPerSample = bitsPerSample;
    f.nBlockAlign = static_cast<std::uint16_t>(channels * bitsPerSample / 8);
    f.nAvgBytesPerSec = samplesPerSec * f.nBlockAlign;
    f.cbSize = 0;
    return f;
}

std::size_t utf8CutLength(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text.size();
    std::size_t n = maxBytes;
    // Step back over continuation bytes so that no sequence is split.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

} // namespace tavora::platform::audio
