#include "platform/audio/TableCodecManager.h"

#include <algorithm>
#include <cstring>

namespace tavora::platform::audio {

namespace {

constexpr std::uint32_t fourcc(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

std::string pcmName(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels) {
    return std::to_string(rate / 1000) + "." + std::to_string(rate % 1000 / 100) + " kHz, " +
           std::to_string(bits) + " Bit, " + (channels == 1 ? "Mono" : "Stereo");
}

} // namespace

std::vector<std::uint8_t> formatRecordBytes(const WaveFormatEx& head, std::span<const std::uint8_t> extra) {
    std::vector<std::uint8_t> bytes(sizeof(WaveFormatEx) + extra.size());
    std::memcpy(bytes.data(), &head, sizeof(WaveFormatEx));
    std::copy(extra.begin(), extra.end(), bytes.begin() + sizeof(WaveFormatEx));
    return bytes;
}

std::vector<TableCodecManager::Driver> TableCodecManager::standardDrivers() {
    Driver pcm;
    pcm.id = 1;
    pcm.shortName = "PCM Converter";
    pcm.longName = "Linear PCM sample rate and width converter";
    pcm.support = ACMDRIVERDETAILS_SUPPORTF_CONVERTER;
    Tag pcmTag;
    pcmTag.formatTag = WAVE_FORMAT_PCM;
    pcmTag.name = "PCM";
    for (std::uint32_t rate : {8000u, 11025u, 22050u, 44100u, 48000u})
        for (std::uint16_t bits : {std::uint16_t{8}, std::uint16_t{16}})
            for (std::uint16_t channels : {std::uint16_t{1}, std::uint16_t{2}})
                pcmTag.formats.push_back(Format{formatRecordBytes(pcmFormat(rate, bits, channels)),
                                                pcmName(rate, bits, channels)});
    pcm.tags.push_back(std::move(pcmTag));

    Driver gsm;
    gsm.id = 2;
    gsm.shortName = "GSM 6.10";
    gsm.longName = "GSM 6.10 Audio Codec (libgsm)";
    gsm.support = ACMDRIVERDETAILS_SUPPORTF_CODEC;
    Tag gsmTag;
    gsmTag.formatTag = WAVE_FORMAT_GSM610;
    gsmTag.name = "GSM 6.10";
    for (std::uint32_t rate : {8000u, 11025u, 22050u, 44100u}) {
        Gsm610WaveFormat f = gsm610Format8k();
        f.wfx.nSamplesPerSec = rate;
        // Rounded to the nearest byte: 1625 at 8000 Hz.
        f.wfx.nAvgBytesPerSec =
            (rate * GSM610_BLOCK_ALIGN + GSM610_SAMPLES_PER_BLOCK / 2) / GSM610_SAMPLES_PER_BLOCK;
        const auto* extra = reinterpret_cast<const std::uint8_t*>(&f.wSamplesPerBlock);
        gsmTag.formats.push_back(Format{formatRecordBytes(f.wfx, std::span(extra, 2)),
                                        std::to_string(rate / 1000) + "." +
                                            std::to_string(rate % 1000 / 100) + " kHz, Mono, " +
                                            std::to_string(f.wfx.nAvgBytesPerSec) + " bytes/sec"});
    }
    gsm.tags.push_back(std::move(gsmTag));
    return {std::move(pcm), std::move(gsm)};
}

void TableCodecManager::setMaxFormatSize(std::optional<std::uint32_t> size, MmResult result) {
    maxFormatSize_ = size;
    maxFormatSizeResult_ = result;
}

TableCodecManager::Counters TableCodecManager::counters() const {
    std::lock_guard lock(countersMutex_);
    return counters_;
}

const TableCodecManager::Driver* TableCodecManager::find(CodecDriverId id) const {
    for (const Driver& d : drivers_)
        if (d.id == id)
            return &d;
    return nullptr;
}

MmResult TableCodecManager::maxFormatSize(std::uint32_t& size) {
    if (maxFormatSizeResult_ != MMSYSERR_NOERROR)
        return maxFormatSizeResult_;
    if (maxFormatSize_) {
        size = *maxFormatSize_;
        return MMSYSERR_NOERROR;
    }
    std::size_t largest = 0;
    for (const Driver& d : drivers_)
        for (const Tag& t : d.tags)
            for (const Format& f : t.formats)
                largest = std::max(largest, f.record.size());
    size = static_cast<std::uint32_t>(largest);
    return MMSYSERR_NOERROR;
}

MmResult TableCodecManager::enumDrivers(const DriverEnumCallback& callback, std::uint32_t flags) {
    if (!callback || (flags & ~ACM_DRIVERENUMF_DISABLED) != 0)
        return MMSYSERR_INVALPARAM;
    if (enumResult_ != MMSYSERR_NOERROR)
        return enumResult_;
    // The callback may look at the table; visit a snapshot of the order.
    std::vector<std::pair<CodecDriverId, std::uint32_t>> order;
    for (const Driver& d : drivers_) {
        if (!d.enabled && !(flags & ACM_DRIVERENUMF_DISABLED))
            continue;
        order.emplace_back(d.id, d.support | (d.enabled ? 0 : ACMDRIVERDETAILS_SUPPORTF_DISABLED));
    }
    for (const auto& [id, support] : order)
        if (!callback(id, support))
            break;
    return MMSYSERR_NOERROR;
}

MmResult TableCodecManager::driverDetails(CodecDriverId driver, CodecDriverDetails& details) {
    const Driver* d = find(driver);
    if (!d)
        return MMSYSERR_INVALHANDLE;
    if (d->detailsResult != MMSYSERR_NOERROR)
        return d->detailsResult;
    details = CodecDriverDetails{};
    details.fccType = fourcc('a', 'u', 'd', 'c');
    details.acmVersion = 0x04000000;
    details.driverVersion = 0x01000000;
    details.support = d->support | (d->enabled ? 0 : ACMDRIVERDETAILS_SUPPORTF_DISABLED);
    details.formatTags = static_cast<std::uint32_t>(d->tags.size());
    setFixedText(details.shortName, d->shortName);
    setFixedText(details.longName, d->longName);
    return MMSYSERR_NOERROR;
}

class TableCodecManager::OpenDriver : public CodecDriver {
public:
    OpenDriver(TableCodecManager& owner, Driver driver) : owner_(owner), driver_(std::move(driver)) {}
    ~OpenDriver() override {
        std::lock_guard lock(owner_.countersMutex_);
        ++owner_.counters_.driverCloses;
    }

    MmResult formatTagDetails(FormatTagDetails& details, std::uint32_t flags) override {
        const Tag* tag = nullptr;
        std::uint32_t index = 0;
        if (flags == ACM_FORMATTAGDETAILSF_INDEX) {
            index = details.formatTagIndex;
            if (index < driver_.tags.size())
                tag = &driver_.tags[index];
        } else if (flags == ACM_FORMATTAGDETAILSF_FORMATTAG) {
            for (; index < driver_.tags.size(); ++index)
                if (driver_.tags[index].formatTag == details.formatTag) {
                    tag = &driver_.tags[index];
                    break;
                }
        } else {
            return MMSYSERR_INVALFLAG;
        }
        if (!tag)
            return ACMERR_NOTPOSSIBLE;
        if (tag->result != MMSYSERR_NOERROR)
            return tag->result;
        details.formatTagIndex = index;
        details.formatTag = tag->formatTag;
        std::size_t largest = 0;
        for (const Format& f : tag->formats)
            largest = std::max(largest, f.record.size());
        details.formatSize = static_cast<std::uint32_t>(largest);
        details.support = driver_.support;
        details.standardFormats = static_cast<std::uint32_t>(tag->formats.size());
        setFixedText(details.name, tag->name);
        return MMSYSERR_NOERROR;
    }

    MmResult formatDetails(FormatDetails& details, std::uint32_t flags) override {
        if (flags != ACM_FORMATDETAILSF_INDEX)
            return MMSYSERR_INVALFLAG;
        {
            std::lock_guard lock(owner_.countersMutex_);
            ++owner_.counters_.formatQueries[driver_.id];
        }
        const Tag* tag = nullptr;
        for (const Tag& t : driver_.tags)
            if (t.formatTag == details.formatTag) {
                tag = &t;
                break;
            }
        if (!tag || details.formatIndex >= tag->formats.size())
            return ACMERR_NOTPOSSIBLE;
        const Format& f = tag->formats[details.formatIndex];
        if (f.result != MMSYSERR_NOERROR)
            return f.result;
        if (details.format.size() < f.record.size())
            return MMSYSERR_INVALPARAM;
        std::copy(f.record.begin(), f.record.end(), details.format.begin());
        details.support = driver_.support;
        setFixedText(details.name, f.name);
        return MMSYSERR_NOERROR;
    }

private:
    TableCodecManager& owner_;
    Driver driver_;
};

MmResult TableCodecManager::openDriver(std::unique_ptr<CodecDriver>& opened, CodecDriverId driver) {
    const Driver* d = find(driver);
    if (!d)
        return MMSYSERR_INVALHANDLE;
    if (d->openResult != MMSYSERR_NOERROR)
        return d->openResult;
    {
        std::lock_guard lock(countersMutex_);
        ++counters_.driverOpens;
    }
    opened = std::make_unique<OpenDriver>(*this, *d);
    return MMSYSERR_NOERROR;
}

} // namespace tavora::platform::audio
