#pragma once

// A codec manager that answers from a table of drivers, format tags and
// standard formats. The real platform uses the standard table (a PCM
// converter and the GSM 6.10 codec, whose conversions the wave devices do
// with libgsm); tests build tables of their own, with failures where needed.

#include "platform/audio/AudioPlatform.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tavora::platform::audio {

class TableCodecManager : public CodecManager {
public:
    struct Format {
        std::vector<std::uint8_t> record; // head and extra bytes
        std::string name;
        MmResult result = MMSYSERR_NOERROR; // answer of formatDetails
    };
    struct Tag {
        std::uint32_t formatTag = 0;
        std::string name;
        MmResult result = MMSYSERR_NOERROR; // answer of formatTagDetails
        std::vector<Format> formats;
    };
    struct Driver {
        CodecDriverId id = 0;
        std::string shortName;
        std::string longName;
        std::uint32_t support = ACMDRIVERDETAILS_SUPPORTF_CODEC;
        bool enabled = true;
        MmResult detailsResult = MMSYSERR_NOERROR;
        MmResult openResult = MMSYSERR_NOERROR;
        std::vector<Tag> tags;
    };
    // How often the table was asked, for tests.
    struct Counters {
        int driverOpens = 0;
        int driverCloses = 0;
        std::map<CodecDriverId, int> formatQueries; // formatDetails calls per driver
    };

    TableCodecManager() = default;
    explicit TableCodecManager(std::vector<Driver> drivers) : drivers_(std::move(drivers)) {}

    // The table of the real platform: a PCM converter with the
    // standard PCM formats, then GSM 6.10 at 8000, 11025, 22050, 44100 Hz.
    static std::vector<Driver> standardDrivers();

    // Forced answers of enumDrivers and maxFormatSize (and its value).
    void setEnumResult(MmResult result) { enumResult_ = result; }
    void setMaxFormatSize(std::optional<std::uint32_t> size, MmResult result = MMSYSERR_NOERROR);
    Counters counters() const;

    MmResult maxFormatSize(std::uint32_t& size) override;
    MmResult enumDrivers(const DriverEnumCallback& callback, std::uint32_t flags) override;
    MmResult driverDetails(CodecDriverId driver, CodecDriverDetails& details) override;
    MmResult openDriver(std::unique_ptr<CodecDriver>& opened, CodecDriverId driver) override;

private:
    class OpenDriver;
    const Driver* find(CodecDriverId id) const;

    std::vector<Driver> drivers_;
    MmResult enumResult_ = MMSYSERR_NOERROR;
    std::optional<std::uint32_t> maxFormatSize_;
    MmResult maxFormatSizeResult_ = MMSYSERR_NOERROR;
    mutable std::mutex countersMutex_;
    Counters counters_;
};

// A format record as bytes.
std::vector<std::uint8_t> formatRecordBytes(const WaveFormatEx& head,
                                            std::span<const std::uint8_t> extra = {});

} // namespace tavora::platform::audio
