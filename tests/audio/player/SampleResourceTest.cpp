#include "audio/player/GsmReference.h"
#include "audio/player/WaveImage.h"
#include "audio/player/WaveResource.h"

#include <QIODevice>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

using namespace tavora;

using namespace tavora::audio;

namespace {

double rms(const int16_t* s, size_t n) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(n)) / 32768.0;
}

} // namespace

TEST(SampleResource, IsFoundByNameAndTypeInAnyCase) {
    EXPECT_NO_THROW(openResourceStream("sample", "WAVE"));
    EXPECT_NO_THROW(openResourceStream("SAMPLE", "wave"));
    auto stream = openResourceStream("Sample", "Wave");
    ASSERT_TRUE(stream);
    EXPECT_TRUE(stream->isReadable());
    EXPECT_FALSE(stream->isWritable());
    EXPECT_THROW(openResourceStream("sample2", "WAVE"), ResNotFoundError);
    EXPECT_THROW(openResourceStream("sample", "WAV"), ResNotFoundError);
}

TEST(SampleResource, HasTheGsmLayout) {
    auto stream = openResourceStream("sample", "WAVE");
    WaveImage wave;
    wave.loadFromStream(*stream);
    ASSERT_EQ(wave.size(), 30480u);
    const WaveFormatEx* f = wave.waveFormat();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(wave.waveFormatSize(), 20u);
    EXPECT_EQ(f->wFormatTag, 0x31);
    EXPECT_EQ(f->nChannels, 1);
    EXPECT_EQ(f->nSamplesPerSec, 8000u);
    EXPECT_EQ(f->nAvgBytesPerSec, 1625u);
    EXPECT_EQ(f->nBlockAlign, 65);
    EXPECT_EQ(f->wBitsPerSample, 0);
    EXPECT_EQ(f->cbSize, 2);
    const auto* bytes = reinterpret_cast<const uint8_t*>(wave.memory());
    EXPECT_EQ(bytes[38] | bytes[39] << 8, 320); // samples per block
    EXPECT_EQ(std::memcmp(bytes + 40, "fact", 4), 0);
    uint32_t factSamples = 0;
    std::memcpy(&factSamples, bytes + 48, 4);
    EXPECT_EQ(factSamples, 149760u);
    EXPECT_EQ(wave.dataOffset(), 60u);
    EXPECT_EQ(wave.dataSize(), 30420u); // 468 blocks, 18.72 s
}

// The sample must be ordinary GSM 6.10 that another decoder reads the same
// way, and it must sound like speech: loud passages and pauses.
TEST(SampleResource, DecodesAlikeWithAnIndependentDecoderAndHoldsSpeech) {
    auto stream = openResourceStream("sample", "WAVE");
    WaveImage wave;
    wave.loadFromStream(*stream);
    ASSERT_EQ(wave.dataSize(), 30420u);
    const auto pcm = tavora::test::gsmDecode(
        reinterpret_cast<const uint8_t*>(wave.memory()) + wave.dataOffset(), wave.dataSize());
    ASSERT_EQ(pcm.size(), 149760u);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string in = dir.filePath("sample.wav").toStdString();
    const std::string out = dir.filePath("sample.raw").toStdString();
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(wave.memory()), 30480);
    const std::string cmd =
        "ffmpeg -nostdin -v error -y -i '" + in + "' -f s16le -acodec pcm_s16le '" + out + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream f(out, std::ios::binary);
    const std::vector<char> raw{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    ASSERT_EQ(raw.size(), pcm.size() * 2);
    EXPECT_EQ(std::memcmp(raw.data(), pcm.data(), raw.size()), 0);

    const double overall = 20 * std::log10(rms(pcm.data(), pcm.size()));
    EXPECT_GT(overall, -30.0);
    EXPECT_LT(overall, -10.0);
    int loud = 0, quiet = 0;
    for (size_t i = 0; i + 160 <= pcm.size(); i += 160) {
        const double r = rms(pcm.data() + i, 160);
        loud += r > 0.05;
        quiet += r < 0.003;
    }
    const int frames = int(pcm.size() / 160);
    EXPECT_GT(loud, frames / 3);            // mostly talking
    EXPECT_GT(quiet, frames / 20);          // with pauses between words and at the ends
    EXPECT_LT(rms(pcm.data(), 800), 0.003); // a quiet start
}
