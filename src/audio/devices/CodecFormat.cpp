#include "audio/devices/CodecFormat.h"

#include "platform/audio/AudioPlatform.h"

#include <cstring>
#include <stdexcept>

namespace tavora::audio {

namespace pa = platform::audio;

namespace {

pa::WaveFormatEx headOf(const std::vector<std::uint8_t>& record) {
    pa::WaveFormatEx head;
    std::memcpy(&head, record.data(), sizeof head);
    return head;
}

// The six head fields that identify a format; the extra bytes are the
// codec's business and are not compared.
bool sameFormat(const pa::WaveFormatEx& a, const pa::WaveFormatEx& b) {
    return a.wFormatTag == b.wFormatTag && a.nChannels == b.nChannels &&
           a.nSamplesPerSec == b.nSamplesPerSec && a.nAvgBytesPerSec == b.nAvgBytesPerSec &&
           a.nBlockAlign == b.nBlockAlign && a.wBitsPerSample == b.wBitsPerSample;
}

} // namespace

std::uint32_t queryMaxFormatSize(pa::CodecManager& codecs) {
    std::uint32_t size = 0;
    return codecs.maxFormatSize(size) == pa::MMSYSERR_NOERROR ? size : 0;
}

std::vector<std::uint8_t> makeLoopFormat(std::uint32_t MaxFormatSize) {
    // A record too small for the head would be written past its end.
    if (MaxFormatSize < sizeof(pa::WaveFormatEx))
        return {};
    std::vector<std::uint8_t> record(MaxFormatSize, 0);
    pa::Gsm610WaveFormat f = pa::gsm610Format8k();
    std::memcpy(record.data(), &f.wfx, sizeof f.wfx);
    if (MaxFormatSize >= sizeof f)
        std::memcpy(record.data() + sizeof f.wfx, &f.wSamplesPerBlock, sizeof f.wSamplesPerBlock);
    return record;
}

namespace {

// The search state of one findCodecFormat call.
struct CodecSearch {
    pa::CodecManager& codecs;
    std::vector<std::uint8_t> target;  // what is looked for; the match once found
    std::vector<std::uint8_t> scratch; // each format a codec describes
    bool found = false;
};

// Looks through one driver's formats. Answers true to go on with the next
// driver.
bool codecDriverEnumProc(CodecSearch& search, pa::CodecDriverId driverId) {
    search.scratch = search.target;
    const pa::WaveFormatEx target = headOf(search.target);

    // A failed query leaves the record zero: no tags, nothing to look at.
    pa::CodecDriverDetails details;
    search.codecs.driverDetails(driverId, details);

    std::unique_ptr<pa::CodecDriver> driver;
    if (search.codecs.openDriver(driver, driverId) != pa::MMSYSERR_NOERROR)
        return true;
    for (std::uint32_t t = 0; t < details.formatTags && !search.found; ++t) {
        pa::FormatTagDetails tag;
        tag.formatTagIndex = t;
        if (driver->formatTagDetails(tag, pa::ACM_FORMATTAGDETAILSF_INDEX) != pa::MMSYSERR_NOERROR)
            continue;
        if (tag.formatTag != target.wFormatTag)
            continue;
        for (std::uint32_t f = 0; f < tag.standardFormats; ++f) {
            pa::FormatDetails format;
            format.formatIndex = f;
            format.formatTag = headOf(search.scratch).wFormatTag;
            format.format = search.scratch;
            if (driver->formatDetails(format, pa::ACM_FORMATDETAILSF_INDEX) != pa::MMSYSERR_NOERROR)
                continue;
            if (sameFormat(headOf(search.scratch), target)) {
                search.target = search.scratch;
                search.found = true;
                break;
            }
        }
    }
    return !search.found;
}

} // namespace

void findCodecFormat(pa::CodecManager& codecs, std::vector<std::uint8_t>& loopFormat) {
    // Without room for a head there is nothing to compare.
    if (loopFormat.size() < sizeof(pa::WaveFormatEx))
        throw std::runtime_error("Invalid Format details");
    CodecSearch search{codecs, loopFormat, std::vector<std::uint8_t>(loopFormat.size()), false};
    const pa::MmResult r = codecs.enumDrivers(
        [&](pa::CodecDriverId id, std::uint32_t) { return codecDriverEnumProc(search, id); },
        0);
    if (r != pa::MMSYSERR_NOERROR || !search.found)
        throw std::runtime_error("Invalid Format details");
    loopFormat = std::move(search.target);
}

} // namespace tavora::audio
