#include "audio/devices/CodecFormat.h"

#include "platform/audio/TableCodecManager.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tavora;

using namespace tavora::audio;
using namespace tavora::platform::audio;
using Table = TableCodecManager;

namespace {

WaveFormatEx gsmHead(std::uint16_t blockAlign = 65, std::uint16_t extra = 2) {
    WaveFormatEx f = gsm610Format8k().wfx;
    f.nBlockAlign = blockAlign;
    f.cbSize = extra;
    return f;
}

Table::Format format(const WaveFormatEx& head, std::vector<std::uint8_t> extra = {}) {
    return Table::Format{formatRecordBytes(head, extra), "fmt"};
}

Table::Driver driver(CodecDriverId id, std::vector<Table::Tag> tags) {
    Table::Driver d;
    d.id = id;
    d.shortName = "driver " + std::to_string(id);
    d.tags = std::move(tags);
    return d;
}

Table::Tag tag(std::uint32_t formatTag, std::vector<Table::Format> formats) {
    return Table::Tag{formatTag, "tag", MMSYSERR_NOERROR, std::move(formats)};
}

WaveFormatEx headOf(const std::vector<std::uint8_t>& record) {
    WaveFormatEx h;
    std::memcpy(&h, record.data(), sizeof h);
    return h;
}

TEST(CodecFormat, TheStandardCodecsGiveTheGsmRecordWithItsBlockSize) {
    Table codecs(Table::standardDrivers());
    const std::uint32_t size = queryMaxFormatSize(codecs);
    EXPECT_EQ(size, 20u);
    std::vector<std::uint8_t> loop = makeLoopFormat(size);
    ASSERT_EQ(loop.size(), 20u);
    loop[18] = loop[19] = 0xEE; // the search must bring the codec's own bytes
    findCodecFormat(codecs, loop);
    const Gsm610WaveFormat expected = gsm610Format8k();
    ASSERT_EQ(loop.size(), 20u);
    EXPECT_EQ(std::memcmp(loop.data(), &expected, 20), 0);
}

TEST(CodecFormat, TheTemplateIsTheLoopFormatHead) {
    const std::vector<std::uint8_t> loop = makeLoopFormat(50);
    ASSERT_EQ(loop.size(), 50u);
    const WaveFormatEx h = headOf(loop);
    EXPECT_EQ(h.wFormatTag, 0x31);
    EXPECT_EQ(h.nChannels, 1);
    EXPECT_EQ(h.nSamplesPerSec, 8000u);
    EXPECT_EQ(h.nAvgBytesPerSec, 1625u);
    EXPECT_EQ(h.nBlockAlign, 65);
    EXPECT_EQ(h.wBitsPerSample, 0);
    EXPECT_EQ(h.cbSize, 2);
    EXPECT_EQ(loop[18] | loop[19] << 8, 320);
    EXPECT_TRUE(std::all_of(loop.begin() + 20, loop.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(CodecFormat, ARecordTooSmallForAHeadIsNoFormat) {
    EXPECT_TRUE(makeLoopFormat(0).empty());
    EXPECT_TRUE(makeLoopFormat(17).empty());
    EXPECT_EQ(makeLoopFormat(18).size(), 18u);
    Table codecs(Table::standardDrivers());
    std::vector<std::uint8_t> tiny(10, 0);
    EXPECT_THROW(findCodecFormat(codecs, tiny), std::runtime_error);
}

TEST(CodecFormat, OfTwoGsmDriversTheFirstEnumeratedWins) {
    Table codecs({driver(7, {tag(0x31, {format(gsmHead(), {0x40, 0x01})})}),
                  driver(3, {tag(0x31, {format(gsmHead(), {0x99, 0x99})})})});
    std::vector<std::uint8_t> loop = makeLoopFormat(20);
    findCodecFormat(codecs, loop);
    EXPECT_EQ(loop[18], 0x40);
    EXPECT_EQ(loop[19], 0x01);
    // The search stopped at the first driver.
    EXPECT_EQ(codecs.counters().formatQueries.count(3), 0u);
    EXPECT_EQ(codecs.counters().driverOpens, codecs.counters().driverCloses);
}

TEST(CodecFormat, AnotherCountOfExtraBytesIsTakenWithItsOwnCount) {
    Table codecs({driver(1, {tag(0x31, {format(gsmHead(65, 4), {0x40, 0x01, 0xAB, 0xCD})})})});
    std::vector<std::uint8_t> loop = makeLoopFormat(24);
    findCodecFormat(codecs, loop);
    EXPECT_EQ(headOf(loop).cbSize, 4);
    EXPECT_EQ(loop[20], 0xAB);
    EXPECT_EQ(loop[21], 0xCD);
}

TEST(CodecFormat, AnotherBlockAlignmentIsNotTakenAndTheTemplateStays) {
    Table codecs({driver(1, {tag(0x31, {format(gsmHead(64), {0x40, 0x01})})})});
    std::vector<std::uint8_t> loop = makeLoopFormat(20);
    const std::vector<std::uint8_t> before = loop;
    try {
        findCodecFormat(codecs, loop);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid Format details");
    }
    EXPECT_EQ(loop, before);
}

TEST(CodecFormat, DriversOfOtherFormatsAreNotAskedForFormats) {
    WaveFormatEx adpcm = pcmFormat(8000, 4, 1);
    adpcm.wFormatTag = 2;
    Table codecs({driver(1, {tag(1, {format(pcmFormat(8000, 16, 1))}), tag(2, {format(adpcm)})}),
                  driver(2, {tag(0x31, {format(gsmHead(), {0x40, 0x01})})})});
    std::vector<std::uint8_t> loop = makeLoopFormat(20);
    findCodecFormat(codecs, loop);
    EXPECT_EQ(codecs.counters().formatQueries.count(1), 0u);
    EXPECT_EQ(codecs.counters().formatQueries.at(2), 1);
}

TEST(CodecFormat, FailuresOnTheWayAreSkipped) {
    Table::Driver unopenable = driver(1, {tag(0x31, {format(gsmHead(), {1, 1})})});
    unopenable.openResult = MMSYSERR_NOMEM;
    Table::Driver noDetails = driver(2, {tag(0x31, {format(gsmHead(), {2, 2})})});
    noDetails.detailsResult = MMSYSERR_ERROR;
    Table::Driver badTag = driver(3, {tag(0x31, {format(gsmHead(), {3, 3})})});
    badTag.tags[0].result = MMSYSERR_ERROR;
    Table::Driver badFormat = driver(4, {tag(0x31, {format(gsmHead(), {4, 4}), format(gsmHead(), {5, 5})})});
    badFormat.tags[0].formats[0].result = MMSYSERR_ERROR;
    Table codecs({unopenable, noDetails, badTag, badFormat});
    std::vector<std::uint8_t> loop = makeLoopFormat(20);
    findCodecFormat(codecs, loop);
    EXPECT_EQ(loop[18], 5);
    EXPECT_EQ(codecs.counters().driverOpens, codecs.counters().driverCloses);
}

TEST(CodecFormat, DisabledDriversAreNotVisited) {
    Table::Driver disabled = driver(1, {tag(0x31, {format(gsmHead(), {1, 1})})});
    disabled.enabled = false;
    Table codecs({disabled, driver(2, {tag(0x31, {format(gsmHead(), {2, 2})})})});
    std::vector<std::uint8_t> loop = makeLoopFormat(20);
    findCodecFormat(codecs, loop);
    EXPECT_EQ(loop[18], 2);
}

TEST(CodecFormat, AFailedEnumerationIsAnInvalidFormat) {
    Table codecs(Table::standardDrivers());
    codecs.setEnumResult(MMSYSERR_ERROR);
    std::vector<std::uint8_t> loop = makeLoopFormat(20);
    EXPECT_THROW(findCodecFormat(codecs, loop), std::runtime_error);
}

TEST(CodecFormat, SpareBytesBeyondTheCodecsRecordAreKept) {
    Table codecs(Table::standardDrivers());
    std::vector<std::uint8_t> loop = makeLoopFormat(50);
    loop[40] = 0x77;
    findCodecFormat(codecs, loop);
    ASSERT_EQ(loop.size(), 50u);
    EXPECT_EQ(loop[40], 0x77);
}

TEST(CodecFormat, NoCodecManagerMeansNoSize) {
    Table codecs(Table::standardDrivers());
    codecs.setMaxFormatSize(std::nullopt, MMSYSERR_NODRIVER);
    EXPECT_EQ(queryMaxFormatSize(codecs), 0u);
}

} // namespace
