#include "audio/player/WaveImage.h"
#include "audio/player/RiffBuilder.h"
#include "audio/player/WaveFormats.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tavora;

using namespace tavora::audio;
using namespace tavora::test;

namespace {

void load(WaveImage& wave, const std::vector<uint8_t>& bytes) {
    wave.loadFromBuffer(bytes.data(), bytes.size());
}

bool reads(const std::vector<uint8_t>& bytes) {
    WaveImage wave;
    load(wave, bytes);
    return wave.refresh();
}

} // namespace

TEST(WaveImage, ReadsGsmLayoutAndSkipsFact) {
    WaveImage wave;
    const auto bytes = gsmWave(468);
    ASSERT_EQ(bytes.size(), 30480u);
    load(wave, bytes);
    const WaveFormatEx* f = wave.waveFormat();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->wFormatTag, 0x31);
    EXPECT_EQ(f->nChannels, 1);
    EXPECT_EQ(f->nSamplesPerSec, 8000u);
    EXPECT_EQ(f->nAvgBytesPerSec, 1625u);
    EXPECT_EQ(f->nBlockAlign, 65);
    EXPECT_EQ(f->wBitsPerSample, 0);
    EXPECT_EQ(f->cbSize, 2);
    EXPECT_EQ(wave.waveFormatSize(), 20u);
    uint16_t samplesPerBlock = 0;
    std::memcpy(&samplesPerBlock, reinterpret_cast<const uint8_t*>(f) + 18, 2);
    EXPECT_EQ(samplesPerBlock, 320);
    EXPECT_EQ(wave.dataOffset(), 60u);
    EXPECT_EQ(wave.dataSize(), 30420u);
}

TEST(WaveImage, ShortFormatChunksArePaddedTo18Bytes) {
    WaveImage wave;
    load(wave, pcmWave({1, 2, 3, 4}));
    const WaveFormatEx* f = wave.waveFormat();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(wave.waveFormatSize(), 18u);
    EXPECT_EQ(f->wBitsPerSample, 16);
    EXPECT_EQ(f->cbSize, 0);
    EXPECT_EQ(wave.dataOffset(), 12u + 8 + 16 + 8);
    EXPECT_EQ(wave.dataSize(), 4u);

    // 14 bytes (no bits per sample) is the shortest accepted record, 13 is not.
    auto fmt14 = fmtBody(1, 1, 8000, 8000, 1, 8, {}, false);
    fmt14.resize(14);
    EXPECT_TRUE(reads(riff("WAVE", {chunk("fmt ", fmt14), chunk("data", {})})));
    auto fmt13 = fmt14;
    fmt13.resize(13);
    EXPECT_FALSE(reads(riff("WAVE", {chunk("fmt ", fmt13), chunk("data", {})})));
}

TEST(WaveImage, FailureCasesGiveNullAndZero) {
    const auto fmt = chunk("fmt ", fmtBody(1, 1, 8000, 16000, 2, 16, {}, false));
    const auto data = chunk("data", {0, 0});
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    auto truncatedFmt = riff("WAVE", {chunkClaiming("fmt ", 40, fmtBody(1, 1, 8000, 16000, 2, 16))});
    auto notWave = riff("AVI ", {fmt, data});
    auto garbage = std::vector<uint8_t>{'R', 'I', 'F', 'F', 1, 2};
    const Case cases[] = {
        {"no RIFF header", chunk("JUNK", {1, 2, 3, 4})},
        {"RIFF of another form", notWave},
        {"six bytes", garbage},
        {"no format chunk", riff("WAVE", {data})},
        {"no data chunk", riff("WAVE", {fmt})},
        {"format chunk truncated", truncatedFmt},
        {"data before format", riff("WAVE", {data, fmt})},
        // A data chunk outside the RIFF chunk's declared size is not in the wave.
        {"data outside RIFF",
         [&] {
             auto b = riff("WAVE", {fmt});
             b.insert(b.end(), data.begin(), data.end());
             return b;
         }()},
    };
    for (const auto& c : cases) {
        WaveImage wave;
        load(wave, c.bytes);
        EXPECT_FALSE(wave.refresh()) << c.what;
        EXPECT_EQ(wave.waveFormat(), nullptr) << c.what;
        EXPECT_EQ(wave.dataSize(), 0u) << c.what;
        EXPECT_EQ(wave.dataOffset(), 0u) << c.what;
        EXPECT_EQ(wave.position(), 0) << c.what;
    }
    WaveImage empty;
    EXPECT_FALSE(empty.refresh());
    EXPECT_EQ(empty.waveFormat(), nullptr);
}

TEST(WaveImage, SearchesSkipOtherChunksWithTheirPadding) {
    // A RIFF of another form before the wave, odd-sized chunks before and
    // after the format, a LIST chunk: all skipped.
    auto bytes = riff("AVI ", {chunk("junk", {9, 9, 9})});
    const auto wave = riff("WAVE", {chunk("LIST", {'I', 'N', 'F', 'O'}), chunk("odd ", {1, 2, 3}),
                                    chunk("fmt ", fmtBody(1, 2, 44100, 176400, 4, 16, {}, false)),
                                    chunk("note", {7}), chunk("data", {1, 2, 3, 4, 5, 6, 7, 8})});
    const size_t waveStart = bytes.size();
    bytes.insert(bytes.end(), wave.begin(), wave.end());
    WaveImage w;
    load(w, bytes);
    ASSERT_TRUE(w.refresh());
    EXPECT_EQ(w.waveFormat()->nChannels, 2);
    EXPECT_EQ(w.dataSize(), 8u);
    EXPECT_EQ(w.dataOffset(), waveStart + 12 + 12 + 12 + 24 + 10 + 8);
    EXPECT_EQ(std::to_integer<uint8_t>(w.memory()[w.dataOffset()]), 1);
}

TEST(WaveImage, OddFormatChunkIsNotPaddedBeforeTheDataSearch) {
    // With a 19-byte format chunk followed by its pad byte, the data search
    // starts on the pad byte and reads a misaligned header.
    const auto fmt19 = fmtBody(0x31, 1, 8000, 1625, 65, 0, {0x40}, true);
    ASSERT_EQ(fmt19.size(), 19u);
    EXPECT_FALSE(reads(riff("WAVE", {chunk("fmt ", fmt19, true), chunk("data", {0, 0})})));
    EXPECT_TRUE(reads(riff("WAVE", {chunk("fmt ", fmt19, false), chunk("data", {0, 0})})));
}

TEST(WaveImage, DeclaredSizesAreReportedButNeverFollowedOutOfTheImage) {
    // The data chunk claims more than the image holds: still valid as declared.
    const auto fmt = chunk("fmt ", fmtBody(1, 1, 8000, 16000, 2, 16, {}, false));
    WaveImage wave;
    load(wave, riff("WAVE", {fmt, chunkClaiming("data", 100000, {1, 2, 3, 4})}));
    ASSERT_TRUE(wave.refresh());
    EXPECT_EQ(wave.dataSize(), 100000u);

    // A format chunk claiming 4 GiB is refused without being allocated.
    EXPECT_FALSE(
        reads(riff("WAVE", {chunkClaiming("fmt ", 0xFFFFFFF0u, fmtBody(1, 1, 8000, 16000, 2, 16))})));
    // Chunk sizes near 2^32 do not wrap the search back into the image.
    EXPECT_FALSE(reads(riff("WAVE", {fmt, chunkClaiming("junk", 0xFFFFFFFFu, {}), chunk("data", {0, 0})})));
}

TEST(WaveImage, ReadingLeavesPositionAtZeroAndBytesUnchanged) {
    WaveImage wave;
    const auto bytes = gsmWave(3);
    load(wave, bytes);
    wave.seek(0, SeekOrigin::End);
    int notified = 0;
    wave.onChange = [&](WaveImage*) { ++notified; };
    ASSERT_TRUE(wave.refresh());
    EXPECT_EQ(wave.position(), 0);
    ASSERT_EQ(wave.size(), bytes.size());
    EXPECT_EQ(std::memcmp(wave.memory(), bytes.data(), bytes.size()), 0);
    // Reading, seeking and the accessors do not count as changes.
    uint8_t buf[10];
    wave.read(buf, sizeof buf);
    wave.seek(5, SeekOrigin::Current);
    wave.dataSize();
    EXPECT_EQ(notified, 0);
}

TEST(WaveImage, ChangeIsNotifiedOncePerReadingAndBeforeTheBytesChange) {
    WaveImage wave;
    int notified = 0;
    uint8_t firstByteSeen = 0;
    wave.onChange = [&](WaveImage* sender) {
        EXPECT_EQ(sender, &wave);
        ++notified;
        firstByteSeen = sender->size() ? std::to_integer<uint8_t>(sender->memory()[0]) : 0;
    };
    load(wave, gsmWave(2)); // a new wave starts read: the load notifies
    EXPECT_EQ(notified, 1);
    ASSERT_TRUE(wave.refresh());

    const uint8_t x = 'X';
    wave.write(&x, 1);
    EXPECT_EQ(notified, 2);
    EXPECT_EQ(firstByteSeen, 'R'); // the handler saw the bytes before the write
    wave.write(&x, 1);
    wave.setSize(10);
    EXPECT_EQ(notified, 2); // still changed: nobody is told again

    EXPECT_FALSE(wave.refresh()); // "XX..." is no RIFF any more
    wave.setSize(10);             // same size still passes the reallocation step
    EXPECT_EQ(notified, 3);
    wave.dataOffset();
    wave.clear();
    EXPECT_EQ(notified, 4);
    EXPECT_FALSE(wave.refresh());
    wave.setCapacity(100);
    EXPECT_EQ(notified, 5);
}

TEST(WaveImage, ReloadingReplacesTheReading) {
    WaveImage wave;
    load(wave, gsmWave(2));
    ASSERT_EQ(wave.dataSize(), 130u);
    WaveImage other;
    load(other, pcmWave({1, 2, 3, 4, 5, 6}));
    other.seek(10, SeekOrigin::Beginning);
    wave.loadFromStream(other); // from the start, whatever the source's position
    EXPECT_EQ(wave.size(), other.size());
    EXPECT_EQ(wave.dataSize(), 6u);
    EXPECT_EQ(wave.waveFormat()->wFormatTag, 1);
}

TEST(MemoryStream, ReadWriteSeekStayInsideTheBlock) {
    MemoryStream s;
    const char text[] = "abcdef";
    EXPECT_EQ(s.write(text, 6), 6u);
    EXPECT_EQ(s.size(), 6u);
    EXPECT_GE(s.capacity(), 6u);
    char out[16] = {};
    EXPECT_EQ(s.read(out, 4), 0u); // at the end
    EXPECT_EQ(s.seek(-4, SeekOrigin::End), 2);
    EXPECT_EQ(s.read(out, 16), 4u);
    EXPECT_STREQ(out, "cdef");
    EXPECT_EQ(s.seek(-100, SeekOrigin::Current), 0);
    // Writing past the end leaves zeros in the gap.
    s.seek(8, SeekOrigin::Beginning);
    s.write("z", 1);
    ASSERT_EQ(s.size(), 9u);
    EXPECT_EQ(std::to_integer<int>(s.memory()[6]), 0);
    EXPECT_EQ(std::to_integer<int>(s.memory()[7]), 0);
    s.setSize(3);
    EXPECT_EQ(s.position(), 3);
    s.clear();
    EXPECT_EQ(s.size(), 0u);
    EXPECT_EQ(s.memory(), nullptr);
}

TEST(WaveFormats, TimeToBufferSizeRoundsToNearestThenUpToBlocks) {
    WaveFormatEx gsm{0x31, 1, 8000, 1625, 65, 0, 2};
    EXPECT_EQ(timeToBufferSize(gsm, 1000), 1625u);
    EXPECT_EQ(timeToBufferSize(gsm, 10), 65u);
    EXPECT_EQ(timeToBufferSize(gsm, 0), 0u);
    WaveFormatEx noAlign = gsm;
    noAlign.nBlockAlign = 0;
    EXPECT_EQ(timeToBufferSize(noAlign, 10), 16u); // 16.25
    EXPECT_EQ(timeToBufferSize(noAlign, 2), 3u);   // 3.25
    WaveFormatEx half{1, 1, 500, 500, 0, 8, 0};
    EXPECT_EQ(timeToBufferSize(half, 1), 1u); // 0.5 rounds away from zero
    WaveFormatEx cd{1, 2, 44100, 176400, 4, 16, 0};
    EXPECT_EQ(timeToBufferSize(cd, 1000), 176400u);
    EXPECT_EQ(timeToBufferSize(cd, 65535), 11560376u); // no 32-bit overflow; whole frames
}

TEST(WaveFormats, TimeToDataOffsetLandsOnFramesAndBlocks) {
    WaveFormatEx stereo16{1, 2, 44100, 176400, 4, 16, 0};
    EXPECT_EQ(timeToDataOffset(stereo16, 1), 176u); // 176.4 -> 176
    EXPECT_EQ(timeToDataOffset(stereo16, 3), 528u); // 529.2 -> 529 -> 528
    WaveFormatEx mono16{1, 1, 11025, 22050, 2, 16, 0};
    EXPECT_EQ(timeToDataOffset(mono16, 1), 22u);   // 22.05
    EXPECT_EQ(timeToDataOffset(mono16, 25), 550u); // 551.25 -> 551 -> 550
    WaveFormatEx mono8{1, 1, 11025, 11025, 1, 8, 0};
    EXPECT_EQ(timeToDataOffset(mono8, 5), 55u); // 55.125, no bits cleared
    WaveFormatEx gsm{0x31, 1, 8000, 1625, 65, 0, 2};
    EXPECT_EQ(timeToDataOffset(gsm, 1000), 1625u);
    EXPECT_EQ(timeToDataOffset(gsm, 500), 780u); // 812.5 -> 813, on the block before
}

TEST(WaveFormats, PeakLevelMeasuresPositiveExcursions) {
    const uint8_t silent8[] = {0x80, 0x80};
    const uint8_t full8[] = {0x10, 0xFF};
    const uint8_t low8[] = {0x00, 0x7F};
    EXPECT_EQ(peakLevel(silent8, 2, 8), 0);
    EXPECT_EQ(peakLevel(full8, 2, 8), 100);
    EXPECT_EQ(peakLevel(low8, 2, 8), 0);
    EXPECT_EQ(peakLevel(nullptr, 0, 8), 0);
    const int16_t full16[] = {-32768, 0x7FFF};
    const int16_t negative16[] = {-1000, -5};
    const int16_t half16[] = {16384, 100};
    EXPECT_EQ(peakLevel(full16, 4, 16), 100);
    EXPECT_EQ(peakLevel(negative16, 4, 16), 0);
    EXPECT_EQ(peakLevel(half16, 4, 16), 50);
    EXPECT_EQ(peakLevel(half16, 1, 16), 0); // a lone odd byte is no sample
    EXPECT_EQ(peakLevel(full8, 2, 4), -1);
    EXPECT_EQ(peakLevel(full8, 2, 24), -1);
}

TEST(WaveFormats, FillSilenceUsesTheZeroLevelOfTheWidth) {
    uint8_t b[4] = {1, 2, 3, 4};
    fillSilence(b, 3, 8);
    EXPECT_EQ(b[0], 128);
    EXPECT_EQ(b[2], 128);
    EXPECT_EQ(b[3], 4);
    fillSilence(b, 4, 16);
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(b[3], 0);
    b[0] = 9;
    fillSilence(b, 4, 0);
    EXPECT_EQ(b[0], 9);
}

TEST(WaveFormats, MakePCMFormatDecodesTheCodes) {
    struct Case {
        uint8_t code;
        uint32_t rate;
        uint16_t channels, bits;
    };
    const Case cases[] = {{1, 8000, 1, 8},       {2, 8000, 2, 8},         {3, 8000, 1, 16},
                          {5, 11025, 1, 8},      {12, 22050, 2, 16},      {20, 48000, 2, 16},
                          {128 + 1, 8000, 1, 8}, {128 + 16, 44100, 2, 16}};
    for (const auto& c : cases) {
        WaveFormatEx f{};
        f.cbSize = 77;
        ASSERT_TRUE(makePCMFormat(c.code, f)) << int(c.code);
        EXPECT_EQ(f.wFormatTag, 1);
        EXPECT_EQ(f.nSamplesPerSec, c.rate) << int(c.code);
        EXPECT_EQ(f.nChannels, c.channels) << int(c.code);
        EXPECT_EQ(f.wBitsPerSample, c.bits) << int(c.code);
        EXPECT_EQ(f.nBlockAlign, c.channels * c.bits / 8);
        EXPECT_EQ(f.nAvgBytesPerSec, c.rate * c.channels * c.bits / 8);
        EXPECT_EQ(f.cbSize, 0);
    }
    WaveFormatEx untouched{7, 7, 7, 7, 7, 7, 7};
    EXPECT_FALSE(makePCMFormat(0, untouched));
    EXPECT_FALSE(makePCMFormat(21, untouched));
    EXPECT_FALSE(makePCMFormat(128, untouched));
    EXPECT_EQ(untouched.wFormatTag, 7);
}
