// The in-memory platform that other modules' tests stand on: its devices must
// keep the same promises as the real ones (order, exactly-once return,
// result codes) while the test drives time.

#include "WaveRecorder.h"
#include "support/audio/EventPump.h"
#include "support/audio/MemoryAudioPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace tavora;

using namespace tavora::platform::audio;
using namespace tavora::test;
using namespace std::chrono_literals;

namespace {

class MemoryDevices : public ::testing::Test {
protected:
    MemoryDevices() {
        platform.addWaveOut(MemoryWaveDeviceSetup::named("Out"));
        platform.addWaveIn(MemoryWaveDeviceSetup::named("In"));
    }

    MemoryWaveOut* openOut(const WaveFormatEx& fmt, std::uint32_t flags = CALLBACK_WINDOW) {
        EXPECT_EQ(platform.openWaveOut(&out, 0, &fmt, rec.target(), flags), MMSYSERR_NOERROR);
        return platform.lastWaveOut();
    }

    void queue(WaveOutDevice& dev, Buffer& b) {
        ASSERT_EQ(dev.prepareHeader(b.header), MMSYSERR_NOERROR);
        ASSERT_EQ(dev.write(b.header), MMSYSERR_NOERROR);
    }

    MemoryAudioPlatform platform;
    Recorder rec;
    std::unique_ptr<WaveOutDevice> out;
    std::unique_ptr<WaveInDevice> in;
};

TEST_F(MemoryDevices, BuffersCompleteInOrderOnCommand) {
    MemoryWaveOut* dev = openOut(pcmFormat(8000, 16, 1));
    Buffer a(100, 1), b(100, 2);
    queue(*out, a);
    queue(*out, b);
    EXPECT_EQ(out->unprepareHeader(a.header), WAVERR_STILLPLAYING);
    EXPECT_EQ(out->close(), WAVERR_STILLPLAYING);
    EXPECT_EQ(out->write(a.header), WAVERR_STILLPLAYING);
    ASSERT_TRUE(dev->completeNext());
    ASSERT_TRUE(dev->completeNext());
    EXPECT_FALSE(dev->completeNext());
    rec.pump();
    ASSERT_EQ(rec.log.size(), 3u);
    EXPECT_EQ(rec.log[0].message, WaveMessage::WomOpen);
    EXPECT_EQ(rec.log[1].header, &a.header);
    EXPECT_EQ(rec.log[2].header, &b.header);
    EXPECT_EQ(a.header.flags, WHDR_PREPARED | WHDR_DONE);
    std::vector<std::uint8_t> expected(100, 1);
    expected.resize(200, 2);
    EXPECT_EQ(dev->played(), expected);

    Buffer unprepared(10);
    EXPECT_EQ(out->write(unprepared.header), WAVERR_UNPREPARED);
    ASSERT_EQ(out->close(), MMSYSERR_NOERROR);
    EXPECT_EQ(out->close(), MMSYSERR_INVALHANDLE);
    rec.pump();
    EXPECT_EQ(rec.log.back().message, WaveMessage::WomClose);
}

TEST_F(MemoryDevices, TheClockPlaysAtTheFormatsByteRate) {
    MemoryWaveOut* dev = openOut(pcmFormat(8000, 16, 1)); // 16000 bytes per second
    Buffer a(1600), b(1600), c(1600);
    queue(*out, a);
    queue(*out, b);
    queue(*out, c);
    dev->advance(150ms);
    rec.pump();
    EXPECT_EQ(rec.count(WaveMessage::WomDone), 1);
    MmTime t;
    t.type = TIME_SAMPLES;
    ASSERT_EQ(out->position(t), MMSYSERR_NOERROR);
    EXPECT_EQ(t.value, 1200u);
    t.type = TIME_MS;
    ASSERT_EQ(out->position(t), MMSYSERR_NOERROR);
    EXPECT_EQ(t.value, 150u);

    ASSERT_EQ(out->pause(), MMSYSERR_NOERROR);
    dev->advance(1s);
    rec.pump();
    EXPECT_EQ(rec.count(WaveMessage::WomDone), 1);
    ASSERT_EQ(out->restart(), MMSYSERR_NOERROR);
    // Fractions of a byte add up instead of getting lost.
    for (int i = 0; i < 150; ++i)
        dev->advance(1ms);
    rec.pump();
    EXPECT_EQ(rec.count(WaveMessage::WomDone), 3);
    EXPECT_EQ(dev->played().size(), 4800u);
}

TEST_F(MemoryDevices, ALoopedBufferPlaysItsLoopsThenReturnsOnce) {
    MemoryWaveOut* dev = openOut(pcmFormat(8000, 8, 1));
    Buffer a(4, 9);
    a.header.flags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    a.header.loops = 3;
    queue(*out, a);
    dev->advance(1s);
    rec.pump();
    EXPECT_EQ(dev->played(), std::vector<std::uint8_t>(12, 9));
    EXPECT_EQ(rec.count(WaveMessage::WomDone, &a.header), 1);
}

TEST_F(MemoryDevices, ResetReturnsEveryQueuedBufferExactlyOnce) {
    MemoryWaveOut* dev = openOut(pcmFormat(8000, 16, 1));
    std::vector<std::unique_ptr<Buffer>> buffers;
    for (int i = 0; i < 5; ++i) {
        buffers.push_back(std::make_unique<Buffer>(1000));
        queue(*out, *buffers.back());
    }
    ASSERT_TRUE(dev->completeNext());
    dev->advance(10ms);
    ASSERT_EQ(out->pause(), MMSYSERR_NOERROR);
    ASSERT_EQ(out->reset(), MMSYSERR_NOERROR);
    EXPECT_FALSE(dev->paused());
    EXPECT_EQ(dev->queued(), 0u);
    rec.pump();
    for (std::size_t i = 0; i < buffers.size(); ++i) {
        EXPECT_EQ(rec.count(WaveMessage::WomDone, &buffers[i]->header), 1) << i;
        EXPECT_EQ(rec.log[1 + i].header, &buffers[i]->header);
    }
    MmTime t;
    ASSERT_EQ(out->position(t), MMSYSERR_NOERROR);
    EXPECT_EQ(t.value, 0u);
    ASSERT_EQ(out->close(), MMSYSERR_NOERROR);
}

TEST_F(MemoryDevices, GsmNeedsTheMapper) {
    const Gsm610WaveFormat gsm = gsm610Format8k();
    EXPECT_EQ(platform.openWaveOut(nullptr, 0, &gsm.wfx, nullptr, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
    EXPECT_EQ(platform.openWaveOut(nullptr, 0, &gsm.wfx, nullptr, WAVE_FORMAT_QUERY | WAVE_MAPPED),
              MMSYSERR_NOERROR);
    EXPECT_EQ(platform.openWaveOut(nullptr, WAVE_MAPPER, &gsm.wfx, nullptr, WAVE_FORMAT_QUERY),
              MMSYSERR_NOERROR);
    EXPECT_TRUE(platform.openedWaveOuts().empty()); // a query opens nothing
    Gsm610WaveFormat wrong = gsm;
    wrong.wSamplesPerBlock = 160;
    EXPECT_EQ(platform.openWaveOut(nullptr, 0, &wrong.wfx, nullptr, WAVE_FORMAT_QUERY | WAVE_MAPPED),
              WAVERR_BADFORMAT);
    WaveFormatEx adpcm = pcmFormat(8000, 4, 1);
    adpcm.wFormatTag = 2;
    EXPECT_EQ(platform.openWaveOut(nullptr, WAVE_MAPPER, &adpcm, nullptr, WAVE_FORMAT_QUERY),
              WAVERR_BADFORMAT);
    EXPECT_EQ(platform.openWaveOut(nullptr, 0, nullptr, nullptr, WAVE_FORMAT_QUERY), MMSYSERR_INVALPARAM);
}

TEST_F(MemoryDevices, OpenChecksDeviceFlagsAndTarget) {
    const WaveFormatEx pcm = pcmFormat(8000, 16, 1);
    EXPECT_EQ(platform.openWaveOut(&out, 1, &pcm, rec.target(), CALLBACK_WINDOW), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(platform.openWaveOut(&out, 0, &pcm, nullptr, CALLBACK_WINDOW), MMSYSERR_INVALPARAM);
    EXPECT_EQ(platform.openWaveOut(&out, 0, &pcm, rec.target(), 0x40000000), MMSYSERR_INVALFLAG);
    platform.waveOutSetup(0).openResult = MMSYSERR_ALLOCATED;
    EXPECT_EQ(platform.openWaveOut(&out, 0, &pcm, rec.target(), CALLBACK_WINDOW), MMSYSERR_ALLOCATED);
    EXPECT_EQ(out, nullptr);
    rec.pump();
    EXPECT_TRUE(rec.log.empty());
    // With no devices even the mapper has nothing to open.
    platform.clearWaveDevices();
    EXPECT_EQ(platform.openWaveOut(&out, WAVE_MAPPER, &pcm, rec.target(), CALLBACK_WINDOW),
              MMSYSERR_NODRIVER);
}

TEST_F(MemoryDevices, ForcedResultsComeFromTheDeviceDescription) {
    platform.waveInSetup(0).results[WaveOp::Start] = 1234;
    const Gsm610WaveFormat gsm = gsm610Format8k();
    ASSERT_EQ(platform.openWaveIn(&in, 0, &gsm.wfx, rec.target(), CALLBACK_WINDOW | WAVE_MAPPED),
              MMSYSERR_NOERROR);
    EXPECT_EQ(in->start(), 1234u);
    platform.lastWaveIn()->setResult(WaveOp::Start, MMSYSERR_NOERROR);
    EXPECT_EQ(in->start(), MMSYSERR_NOERROR);
}

TEST_F(MemoryDevices, InputFillsWholeBlocksAndReturnsFullBuffers) {
    const Gsm610WaveFormat gsm = gsm610Format8k();
    ASSERT_EQ(platform.openWaveIn(&in, 0, &gsm.wfx, rec.target(), CALLBACK_WINDOW | WAVE_MAPPED),
              MMSYSERR_NOERROR);
    MemoryWaveIn* dev = platform.lastWaveIn();
    Buffer a(813), b(813);
    for (Buffer* x : {&a, &b}) {
        ASSERT_EQ(in->prepareHeader(x->header), MMSYSERR_NOERROR);
        ASSERT_EQ(in->addBuffer(x->header), MMSYSERR_NOERROR);
    }
    dev->advance(1s); // not started: nothing
    rec.pump();
    EXPECT_EQ(rec.count(WaveMessage::WimData), 0);
    std::vector<std::uint8_t> source(1000);
    for (std::size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<std::uint8_t>(i);
    dev->appendSource(source);
    ASSERT_EQ(in->start(), MMSYSERR_NOERROR);
    dev->advance(500ms); // 812.5 bytes: 12 blocks fit a buffer of 813
    rec.pump();
    ASSERT_EQ(rec.count(WaveMessage::WimData), 1);
    EXPECT_EQ(a.header.bytesRecorded, 780u);
    EXPECT_EQ(std::memcmp(a.data.data(), source.data(), 780), 0);
    // 162.5 bytes and the 32.5 left over from before: three more blocks.
    dev->advance(100ms);
    ASSERT_EQ(in->stop(), MMSYSERR_NOERROR);
    rec.pump();
    ASSERT_EQ(rec.count(WaveMessage::WimData), 2);
    EXPECT_EQ(b.header.bytesRecorded, 195u);
    EXPECT_EQ(std::memcmp(b.data.data(), source.data() + 780, 195), 0);
    EXPECT_FALSE(platform.lastWaveIn()->started());
    EXPECT_EQ(in->close(), MMSYSERR_NOERROR);
}

TEST_F(MemoryDevices, InputResetReturnsEveryBufferOnceAndDeliverWorksWithoutAClock) {
    const WaveFormatEx pcm = pcmFormat(8000, 16, 1);
    ASSERT_EQ(platform.openWaveIn(&in, 0, &pcm, rec.target(), CALLBACK_WINDOW), MMSYSERR_NOERROR);
    MemoryWaveIn* dev = platform.lastWaveIn();
    Buffer a(64), b(64), c(64);
    for (Buffer* x : {&a, &b, &c}) {
        ASSERT_EQ(in->prepareHeader(x->header), MMSYSERR_NOERROR);
        ASSERT_EQ(in->addBuffer(x->header), MMSYSERR_NOERROR);
    }
    const std::vector<std::uint8_t> bytes(100, 7);
    ASSERT_TRUE(dev->deliver(bytes));
    EXPECT_EQ(a.header.bytesRecorded, 64u); // cut to the buffer
    ASSERT_TRUE(dev->deliver({}));
    EXPECT_EQ(b.header.bytesRecorded, 0u);
    EXPECT_EQ(in->close(), WAVERR_STILLPLAYING);
    ASSERT_EQ(in->reset(), MMSYSERR_NOERROR);
    EXPECT_FALSE(dev->deliver(bytes));
    rec.pump();
    for (Buffer* x : {&a, &b, &c})
        EXPECT_EQ(rec.count(WaveMessage::WimData, &x->header), 1);
    EXPECT_EQ(in->close(), MMSYSERR_NOERROR);
    rec.pump();
    EXPECT_EQ(rec.log.front().message, WaveMessage::WimOpen);
    EXPECT_EQ(rec.log.back().message, WaveMessage::WimClose);
}

TEST_F(MemoryDevices, TheRealTimeClockReturnsBuffersFromItsOwnThreadInOrder) {
    platform.setRealTimeClock(true);
    MemoryWaveOut* dev = openOut(pcmFormat(8000, 16, 1));
    std::vector<std::unique_ptr<Buffer>> buffers;
    for (int i = 0; i < 8; ++i) {
        buffers.push_back(std::make_unique<Buffer>(320)); // 20 ms each
        queue(*out, *buffers.back());
    }
    // Buffers written while the clock runs join the queue safely.
    for (int i = 0; i < 4; ++i) {
        buffers.push_back(std::make_unique<Buffer>(320));
        queue(*out, *buffers.back());
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(pumpUntil([&] { return rec.count(WaveMessage::WomDone) == 12; }, 5s));
    for (std::size_t i = 0; i < buffers.size(); ++i)
        EXPECT_EQ(rec.log[1 + i].header, &buffers[i]->header);
    EXPECT_EQ(dev->queued(), 0u);
    ASSERT_EQ(out->close(), MMSYSERR_NOERROR);
    out.reset();
    EXPECT_TRUE(platform.openedWaveOuts().empty());
}

TEST(MemoryMixer, QueriesFollowTheDescription) {
    MemoryAudioPlatform platform;
    MemoryMixerSetup setup = MemoryMixerSetup::standard("Card", 5, 6, true);
    platform.addMixer(setup);
    std::unique_ptr<Mixer> mixer;
    ASSERT_EQ(platform.openMixer(mixer, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(platform.openMixers(), 1);

    MixerLine line;
    line.componentType = MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    ASSERT_EQ(mixer->lineInfo(line, MIXER_GETLINEINFOF_COMPONENTTYPE), MMSYSERR_NOERROR);
    EXPECT_EQ(line.destination, 1u);
    EXPECT_EQ(line.source, 0u);
    EXPECT_EQ(line.controls, 2u);
    EXPECT_TRUE(line.status & MIXERLINE_LINEF_SOURCE);
    EXPECT_EQ(fixedText(line.name), "Microphone");

    // A failed query leaves the record as it was.
    MixerLine before = line;
    line.source = 5;
    EXPECT_EQ(mixer->lineInfo(line, MIXER_GETLINEINFOF_SOURCE), MIXERR_INVALLINE);
    EXPECT_EQ(line.lineId, before.lineId);
    EXPECT_EQ(line.componentType, before.componentType);

    std::vector<MixerControl> one(1), three(3);
    MixerLineControls all{before.lineId, 0, 0, three};
    EXPECT_EQ(mixer->lineControls(all, MIXER_GETLINECONTROLSF_ALL), MMSYSERR_INVALPARAM);
    std::vector<MixerControl> two(2);
    all.controls = two;
    ASSERT_EQ(mixer->lineControls(all, MIXER_GETLINECONTROLSF_ALL), MMSYSERR_NOERROR);
    EXPECT_EQ(fixedText(two[1].name), "Mic Boost");

    MixerLineControls byId{0, two[1].controlId, 0, one};
    ASSERT_EQ(mixer->lineControls(byId, MIXER_GETLINECONTROLSF_ONEBYID), MMSYSERR_NOERROR);
    EXPECT_EQ(byId.lineId, before.lineId);
    EXPECT_EQ(one[0].controlType, MIXERCONTROL_CONTROLTYPE_ONOFF);

    std::uint32_t values[3] = {};
    MixerControlDetails details{two[0].controlId, 3, 0, values};
    EXPECT_EQ(mixer->controlDetails(details, MIXER_GETCONTROLDETAILSF_VALUE), MMSYSERR_INVALPARAM);
    details.channels = 1;
    details.values = std::span(values, 0);
    EXPECT_EQ(mixer->controlDetails(details, MIXER_GETCONTROLDETAILSF_VALUE), MMSYSERR_INVALPARAM);
    details.values = std::span(values, 1);
    ASSERT_EQ(mixer->controlDetails(details, MIXER_GETCONTROLDETAILSF_VALUE), MMSYSERR_NOERROR);
    EXPECT_EQ(values[0], 6u);
    details.controlId = 999;
    EXPECT_EQ(mixer->controlDetails(details, MIXER_GETCONTROLDETAILSF_VALUE), MIXERR_INVALCONTROL);

    mixer.reset();
    EXPECT_EQ(platform.openMixers(), 0);
    MixerCaps caps;
    ASSERT_EQ(platform.mixerCaps(0, caps), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.destinations, 2u);
    EXPECT_EQ(platform.mixerCaps(1, caps), MMSYSERR_BADDEVICEID);
}

} // namespace
