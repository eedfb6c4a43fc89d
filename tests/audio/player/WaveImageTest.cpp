#include "audio/player/WaveImage.h"
#include "audio/player/RiffBuilder.h"
#include "audio/player/WaveFormats.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tavora::audio;
using namespace tavora::test;

namespace {

void Load(TWaveImage& wave, const std::vector<uint8_t>& bytes) {
    wave.LoadFromBuffer(bytes.data(), bytes.size());
}

bool Reads(const std::vector<uint8_t>& bytes) {
    TWaveImage wave;
    Load(wave, bytes);
    return wave.Refresh();
}

} // namespace

TEST(WaveImage, ReadsGsmLayoutAndSkipsFact) {
    TWaveImage wave;
    const auto bytes = GsmWave(468);
    ASSERT_EQ(bytes.size(), 30480u);
    Load(wave, bytes);
    const TWaveFormatEx* f = wave.WaveFormat();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->wFormatTag, 0x31);
    EXPECT_EQ(f->nChannels, 1);
    EXPECT_EQ(f->nSamplesPerSec, 8000u);
    EXPECT_EQ(f->nAvgBytesPerSec, 1625u);
    EXPECT_EQ(f->nBlockAlign, 65);
    EXPECT_EQ(f->wBitsPerSample, 0);
    EXPECT_EQ(f->cbSize, 2);
    EXPECT_EQ(wave.WaveFormatSize(), 20u);
    uint16_t samplesPerBlock = 0;
    std::memcpy(&samplesPerBlock, reinterpret_cast<const uint8_t*>(f) + 18, 2);
    EXPECT_EQ(samplesPerBlock, 320);
    EXPECT_EQ(wave.DataOffset(), 60u);
    EXPECT_EQ(wave.DataSize(), 30420u);
}

TEST(WaveImage, ShortFormatChunksArePaddedTo18Bytes) {
    TWaveImage wave;
    Load(wave, PcmWave({1, 2, 3, 4}));
    const TWaveFormatEx* f = wave.WaveFormat();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(wave.WaveFormatSize(), 18u);
    EXPECT_EQ(f->wBitsPerSample, 16);
    EXPECT_EQ(f->cbSize, 0);
    EXPECT_EQ(wave.DataOffset(), 12u + 8 + 16 + 8);
    EXPECT_EQ(wave.DataSize(), 4u);

    // 14 bytes (no bits per sample) is the shortest accepted record, 13 is not.
    auto fmt14 = FmtBody(1, 1, 8000, 8000, 1, 8, {}, false);
    fmt14.resize(14);
    EXPECT_TRUE(Reads(Riff("WAVE", {Chunk("fmt ", fmt14), Chunk("data", {})})));
    auto fmt13 = fmt14;
    fmt13.resize(13);
    EXPECT_FALSE(Reads(Riff("WAVE", {Chunk("fmt ", fmt13), Chunk("data", {})})));
}

TEST(WaveImage, FailureCasesGiveNullAndZero) {
    const auto fmt = Chunk("fmt ", FmtBody(1, 1, 8000, 16000, 2, 16, {}, false));
    const auto data = Chunk("data", {0, 0});
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    auto truncatedFmt = Riff("WAVE", {ChunkClaiming("fmt ", 40, FmtBody(1, 1, 8000, 16000, 2, 16))});
    auto notWave = Riff("AVI ", {fmt, data});
    auto garbage = std::vector<uint8_t>{'R', 'I', 'F', 'F', 1, 2};
    const Case cases[] = {
        {"no RIFF header", Chunk("JUNK", {1, 2, 3, 4})},
        {"RIFF of another form", notWave},
        {"six bytes", garbage},
        {"no format chunk", Riff("WAVE", {data})},
        {"no data chunk", Riff("WAVE", {fmt})},
        {"format chunk truncated", truncatedFmt},
        {"data before format", Riff("WAVE", {data, fmt})},
        // A data chunk outside the RIFF chunk's declared size is not in the wave.
        {"data outside RIFF",
         [&] {
             auto b = Riff("WAVE", {fmt});
             b.insert(b.end(), data.begin(), data.end());
             return b;
         }()},
    };
    for (const auto& c : cases) {
        TWaveImage wave;
        Load(wave, c.bytes);
        EXPECT_FALSE(wave.Refresh()) << c.what;
        EXPECT_EQ(wave.WaveFormat(), nullptr) << c.what;
        EXPECT_EQ(wave.DataSize(), 0u) << c.what;
        EXPECT_EQ(wave.DataOffset(), 0u) << c.what;
        EXPECT_EQ(wave.Position(), 0) << c.what;
    }
    TWaveImage empty;
    EXPECT_FALSE(empty.Refresh());
    EXPECT_EQ(empty.WaveFormat(), nullptr);
}

TEST(WaveImage, SearchesSkipOtherChunksWithTheirPadding) {
    // A RIFF of another form before the wave, odd-sized chunks before and
    // after the format, a LIST chunk: all skipped.
    auto bytes = Riff("AVI ", {Chunk("junk", {9, 9, 9})});
    const auto wave = Riff("WAVE", {Chunk("LIST", {'I', 'N', 'F', 'O'}), Chunk("odd ", {1, 2, 3}),
                                    Chunk("fmt ", FmtBody(1, 2, 44100, 176400, 4, 16, {}, false)),
                                    Chunk("note", {7}), Chunk("data", {1, 2, 3, 4, 5, 6, 7, 8})});
    const size_t waveStart = bytes.size();
    bytes.insert(bytes.end(), wave.begin(), wave.end());
    TWaveImage w;
    Load(w, bytes);
    ASSERT_TRUE(w.Refresh());
    EXPECT_EQ(w.WaveFormat()->nChannels, 2);
    EXPECT_EQ(w.DataSize(), 8u);
    EXPECT_EQ(w.DataOffset(), waveStart + 12 + 12 + 12 + 24 + 10 + 8);
    EXPECT_EQ(std::to_integer<uint8_t>(w.Memory()[w.DataOffset()]), 1);
}

TEST(WaveImage, OddFormatChunkIsNotPaddedBeforeTheDataSearch) {
    // With a 19-byte format chunk followed by its pad byte, the data search
    // starts on the pad byte and reads a misaligned header.
    const auto fmt19 = FmtBody(0x31, 1, 8000, 1625, 65, 0, {0x40}, true);
    ASSERT_EQ(fmt19.size(), 19u);
    EXPECT_FALSE(Reads(Riff("WAVE", {Chunk("fmt ", fmt19, true), Chunk("data", {0, 0})})));
    EXPECT_TRUE(Reads(Riff("WAVE", {Chunk("fmt ", fmt19, false), Chunk("data", {0, 0})})));
}

TEST(WaveImage, DeclaredSizesAreReportedButNeverFollowedOutOfTheImage) {
    // The data chunk claims more than the image holds: still valid as declared.
    const auto fmt = Chunk("fmt ", FmtBody(1, 1, 8000, 16000, 2, 16, {}, false));
    TWaveImage wave;
    Load(wave, Riff("WAVE", {fmt, ChunkClaiming("data", 100000, {1, 2, 3, 4})}));
    ASSERT_TRUE(wave.Refresh());
    EXPECT_EQ(wave.DataSize(), 100000u);

    // A format chunk claiming 4 GiB is refused without being allocated.
    EXPECT_FALSE(
        Reads(Riff("WAVE", {ChunkClaiming("fmt ", 0xFFFFFFF0u, FmtBody(1, 1, 8000, 16000, 2, 16))})));
    // Chunk sizes near 2^32 do not wrap the search back into the image.
    EXPECT_FALSE(Reads(Riff("WAVE", {fmt, ChunkClaiming("junk", 0xFFFFFFFFu, {}), Chunk("data", {0, 0})})));
}

TEST(WaveImage, ReadingLeavesPositionAtZeroAndBytesUnchanged) {
    TWaveImage wave;
    const auto bytes = GsmWave(3);
    Load(wave, bytes);
    wave.Seek(0, TSeekOrigin::soEnd);
    int notified = 0;
    wave.OnChange = [&](TWaveImage*) { ++notified; };
    ASSERT_TRUE(wave.Refresh());
    EXPECT_EQ(wave.Position(), 0);
    ASSERT_EQ(wave.Size(), bytes.size());
    EXPECT_EQ(std::memcmp(wave.Memory(), bytes.data(), bytes.size()), 0);
    // Reading, seeking and the accessors do not count as changes.
    uint8_t buf[10];
    wave.Read(buf, sizeof buf);
    wave.Seek(5, TSeekOrigin::soCurrent);
    wave.DataSize();
    EXPECT_EQ(notified, 0);
}

TEST(WaveImage, ChangeIsNotifiedOncePerReadingAndBeforeTheBytesChange) {
    TWaveImage wave;
    int notified = 0;
    uint8_t firstByteSeen = 0;
    wave.OnChange = [&](TWaveImage* sender) {
        EXPECT_EQ(sender, &wave);
        ++notified;
        firstByteSeen = sender->Size() ? std::to_integer<uint8_t>(sender->Memory()[0]) : 0;
    };
    Load(wave, GsmWave(2)); // a new wave starts read: the load notifies
    EXPECT_EQ(notified, 1);
    ASSERT_TRUE(wave.Refresh());

    const uint8_t x = 'X';
    wave.Write(&x, 1);
    EXPECT_EQ(notified, 2);
    EXPECT_EQ(firstByteSeen, 'R'); // the handler saw the bytes before the write
    wave.Write(&x, 1);
    wave.SetSize(10);
    EXPECT_EQ(notified, 2); // still changed: nobody is told again

    EXPECT_FALSE(wave.Refresh()); // "XX..." is no RIFF any more
    wave.SetSize(10);             // same size still passes the reallocation step
    EXPECT_EQ(notified, 3);
    wave.DataOffset();
    wave.Clear();
    EXPECT_EQ(notified, 4);
    EXPECT_FALSE(wave.Refresh());
    wave.SetCapacity(100);
    EXPECT_EQ(notified, 5);
}

TEST(WaveImage, ReloadingReplacesTheReading) {
    TWaveImage wave;
    Load(wave, GsmWave(2));
    ASSERT_EQ(wave.DataSize(), 130u);
    TWaveImage other;
    Load(other, PcmWave({1, 2, 3, 4, 5, 6}));
    other.Seek(10, TSeekOrigin::soBeginning);
    wave.LoadFromStream(other); // from the start, whatever the source's position
    EXPECT_EQ(wave.Size(), other.Size());
    EXPECT_EQ(wave.DataSize(), 6u);
    EXPECT_EQ(wave.WaveFormat()->wFormatTag, 1);
}

TEST(MemoryStream, ReadWriteSeekStayInsideTheBlock) {
    TMemoryStream s;
    const char text[] = "abcdef";
    EXPECT_EQ(s.Write(text, 6), 6u);
    EXPECT_EQ(s.Size(), 6u);
    EXPECT_GE(s.Capacity(), 6u);
    char out[16] = {};
    EXPECT_EQ(s.Read(out, 4), 0u); // at the end
    EXPECT_EQ(s.Seek(-4, TSeekOrigin::soEnd), 2);
    EXPECT_EQ(s.Read(out, 16), 4u);
    EXPECT_STREQ(out, "cdef");
    EXPECT_EQ(s.Seek(-100, TSeekOrigin::soCurrent), 0);
    // Writing past the end leaves zeros in the gap.
    s.Seek(8, TSeekOrigin::soBeginning);
    s.Write("z", 1);
    ASSERT_EQ(s.Size(), 9u);
    EXPECT_EQ(std::to_integer<int>(s.Memory()[6]), 0);
    EXPECT_EQ(std::to_integer<int>(s.Memory()[7]), 0);
    s.SetSize(3);
    EXPECT_EQ(s.Position(), 3);
    s.Clear();
    EXPECT_EQ(s.Size(), 0u);
    EXPECT_EQ(s.Memory(), nullptr);
}

TEST(WaveFormats, TimeToBufferSizeRoundsToNearestThenUpToBlocks) {
    TWaveFormatEx gsm{0x31, 1, 8000, 1625, 65, 0, 2};
    EXPECT_EQ(TimeToBufferSize(gsm, 1000), 1625u);
    EXPECT_EQ(TimeToBufferSize(gsm, 10), 65u);
    EXPECT_EQ(TimeToBufferSize(gsm, 0), 0u);
    TWaveFormatEx noAlign = gsm;
    noAlign.nBlockAlign = 0;
    EXPECT_EQ(TimeToBufferSize(noAlign, 10), 16u); // 16.25
    EXPECT_EQ(TimeToBufferSize(noAlign, 2), 3u);   // 3.25
    TWaveFormatEx half{1, 1, 500, 500, 0, 8, 0};
    EXPECT_EQ(TimeToBufferSize(half, 1), 1u); // 0.5 rounds away from zero
    TWaveFormatEx cd{1, 2, 44100, 176400, 4, 16, 0};
    EXPECT_EQ(TimeToBufferSize(cd, 1000), 176400u);
    EXPECT_EQ(TimeToBufferSize(cd, 65535), 11560376u); // no 32-bit overflow; whole frames
}

TEST(WaveFormats, TimeToDataOffsetLandsOnFramesAndBlocks) {
    TWaveFormatEx stereo16{1, 2, 44100, 176400, 4, 16, 0};
    EXPECT_EQ(TimeToDataOffset(stereo16, 1), 176u); // 176.4 -> 176
    EXPECT_EQ(TimeToDataOffset(stereo16, 3), 528u); // 529.2 -> 529 -> 528
    TWaveFormatEx mono16{1, 1, 11025, 22050, 2, 16, 0};
    EXPECT_EQ(TimeToDataOffset(mono16, 1), 22u);   // 22.05
    EXPECT_EQ(TimeToDataOffset(mono16, 25), 550u); // 551.25 -> 551 -> 550
    TWaveFormatEx mono8{1, 1, 11025, 11025, 1, 8, 0};
    EXPECT_EQ(TimeToDataOffset(mono8, 5), 55u); // 55.125, no bits cleared
    TWaveFormatEx gsm{0x31, 1, 8000, 1625, 65, 0, 2};
    EXPECT_EQ(TimeToDataOffset(gsm, 1000), 1625u);
    EXPECT_EQ(TimeToDataOffset(gsm, 500), 780u); // 812.5 -> 813, on the block before
}

TEST(WaveFormats, PeakLevelMeasuresPositiveExcursions) {
    const uint8_t silent8[] = {0x80, 0x80};
    const uint8_t full8[] = {0x10, 0xFF};
    const uint8_t low8[] = {0x00, 0x7F};
    EXPECT_EQ(PeakLevel(silent8, 2, 8), 0);
    EXPECT_EQ(PeakLevel(full8, 2, 8), 100);
    EXPECT_EQ(PeakLevel(low8, 2, 8), 0);
    EXPECT_EQ(PeakLevel(nullptr, 0, 8), 0);
    const int16_t full16[] = {-32768, 0x7FFF};
    const int16_t negative16[] = {-1000, -5};
    const int16_t half16[] = {16384, 100};
    EXPECT_EQ(PeakLevel(full16, 4, 16), 100);
    EXPECT_EQ(PeakLevel(negative16, 4, 16), 0);
    EXPECT_EQ(PeakLevel(half16, 4, 16), 50);
    EXPECT_EQ(PeakLevel(half16, 1, 16), 0); // a lone odd byte is no sample
    EXPECT_EQ(PeakLevel(full8, 2, 4), -1);
    EXPECT_EQ(PeakLevel(full8, 2, 24), -1);
}

TEST(WaveFormats, FillSilenceUsesTheZeroLevelOfTheWidth) {
    uint8_t b[4] = {1, 2, 3, 4};
    FillSilence(b, 3, 8);
    EXPECT_EQ(b[0], 128);
    EXPECT_EQ(b[2], 128);
    EXPECT_EQ(b[3], 4);
    FillSilence(b, 4, 16);
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(b[3], 0);
    b[0] = 9;
    FillSilence(b, 4, 0);
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
        TWaveFormatEx f{};
        f.cbSize = 77;
        ASSERT_TRUE(MakePCMFormat(c.code, f)) << int(c.code);
        EXPECT_EQ(f.wFormatTag, 1);
        EXPECT_EQ(f.nSamplesPerSec, c.rate) << int(c.code);
        EXPECT_EQ(f.nChannels, c.channels) << int(c.code);
        EXPECT_EQ(f.wBitsPerSample, c.bits) << int(c.code);
        EXPECT_EQ(f.nBlockAlign, c.channels * c.bits / 8);
        EXPECT_EQ(f.nAvgBytesPerSec, c.rate * c.channels * c.bits / 8);
        EXPECT_EQ(f.cbSize, 0);
    }
    TWaveFormatEx untouched{7, 7, 7, 7, 7, 7, 7};
    EXPECT_FALSE(MakePCMFormat(0, untouched));
    EXPECT_FALSE(MakePCMFormat(21, untouched));
    EXPECT_FALSE(MakePCMFormat(128, untouched));
    EXPECT_EQ(untouched.wFormatTag, 7);
}
