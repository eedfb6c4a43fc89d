#include "platform/audio/Gsm610.h"
#include "platform/audio/TableCodecManager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace tavora;

using namespace tavora::platform::audio;

namespace {

TEST(CodecTable, TheStandardTableOffersPcmThenGsm) {
    TableCodecManager codecs(TableCodecManager::standardDrivers());
    std::vector<CodecDriverId> order;
    ASSERT_EQ(
        codecs.enumDrivers([&](CodecDriverId id, std::uint32_t) { return order.push_back(id), true; }, 0),
        MMSYSERR_NOERROR);
    ASSERT_EQ(order.size(), 2u);
    std::uint32_t size = 0;
    ASSERT_EQ(codecs.maxFormatSize(size), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 20u);

    CodecDriverDetails details;
    ASSERT_EQ(codecs.driverDetails(order[1], details), MMSYSERR_NOERROR);
    EXPECT_EQ(details.formatTags, 1u);
    EXPECT_EQ(fixedText(details.shortName), "GSM 6.10");

    std::unique_ptr<CodecDriver> driver;
    ASSERT_EQ(codecs.openDriver(driver, order[1]), MMSYSERR_NOERROR);
    FormatTagDetails tag;
    tag.formatTag = WAVE_FORMAT_GSM610;
    ASSERT_EQ(driver->formatTagDetails(tag, ACM_FORMATTAGDETAILSF_FORMATTAG), MMSYSERR_NOERROR);
    EXPECT_EQ(tag.formatSize, 20u);
    ASSERT_GE(tag.standardFormats, 1u);

    // The 8000 Hz record byte for byte, as wave files carry it.
    std::vector<std::uint8_t> record(20);
    FormatDetails format;
    format.formatTag = WAVE_FORMAT_GSM610;
    format.formatIndex = 0;
    format.format = record;
    ASSERT_EQ(driver->formatDetails(format, ACM_FORMATDETAILSF_INDEX), MMSYSERR_NOERROR);
    const std::vector<std::uint8_t> expected = {0x31, 0, 1,  0, 0x40, 0x1F, 0, 0, 0x59, 0x06,
                                                0,    0, 65, 0, 0,    0,    2, 0, 0x40, 0x01};
    EXPECT_EQ(record, expected);
    std::vector<std::uint8_t> small(18);
    format.format = small;
    EXPECT_EQ(driver->formatDetails(format, ACM_FORMATDETAILSF_INDEX), MMSYSERR_INVALPARAM);
    format.formatIndex = tag.standardFormats;
    format.format = record;
    EXPECT_EQ(driver->formatDetails(format, ACM_FORMATDETAILSF_INDEX), ACMERR_NOTPOSSIBLE);
}

TEST(CodecTable, EnumerationStopsWhenAskedAndSkipsDisabledDrivers) {
    auto drivers = TableCodecManager::standardDrivers();
    drivers[0].enabled = false;
    TableCodecManager codecs(drivers);
    std::vector<std::pair<CodecDriverId, std::uint32_t>> seen;
    codecs.enumDrivers([&](CodecDriverId id, std::uint32_t s) { return seen.emplace_back(id, s), true; }, 0);
    ASSERT_EQ(seen.size(), 1u);
    seen.clear();
    codecs.enumDrivers([&](CodecDriverId id, std::uint32_t s) { return seen.emplace_back(id, s), false; },
                       ACM_DRIVERENUMF_DISABLED);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].second & ACMDRIVERDETAILS_SUPPORTF_DISABLED);
}

TEST(Gsm610, BlocksRoundTripToSimilarSound) {
    std::vector<std::int16_t> tone(3200 + 100);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440 * static_cast<double>(i) / 8000));
    gsm610::Encoder enc;
    std::vector<std::uint8_t> blocks(11 * 65);
    ASSERT_EQ(enc.encode(tone, blocks), 10u * 65); // only whole blocks
    gsm610::Decoder dec;
    std::vector<std::int16_t> back(10 * 320);
    ASSERT_EQ(dec.decode(std::span(blocks).first(10 * 65), back), 10u * 320);
    // A lossy codec: compare energy of the error after the first block,
    // where both ends have settled.
    double signal = 0, noise = 0;
    for (std::size_t i = 640; i < back.size(); ++i) {
        signal += double(tone[i]) * tone[i];
        noise += (double(tone[i]) - back[i]) * (double(tone[i]) - back[i]);
    }
    EXPECT_GT(10 * std::log10(signal / noise), 6.0);
}

} // namespace
