// The PulseAudio platform against the private daemon of tests/harness/pulse.sh
// (or the private PipeWire of tests/harness/pipewire.sh, with the same devices):
// sinks spk1 (default, "Speakers_One"), spk2 ("Headphones_Two"), pipesink
// ("Pipe_Sink", 8000 Hz mono s16, played into sink.fifo); sources: the
// monitors and pipesrc ("Pipe_Source", the default, read from src.fifo).

#include "GsmReference.h"
#include "WaveRecorder.h"

#include "platform/audio/Gsm610.h"
#include "platform/audio/PulseAudioPlatform.h"
#include "support/audio/DeviceNamed.h"
#include "support/audio/EventPump.h"
#include "support/audio/PulseFifos.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace tavora;

using namespace tavora::platform::audio;
using namespace tavora::test;
using namespace std::chrono_literals;

namespace {

constexpr std::uint32_t PipeSinkId = 2;
constexpr std::uint32_t PipeSourceId = 0;

std::vector<std::uint8_t> bytesOf(std::span<const std::int16_t> samples) {
    std::vector<std::uint8_t> out(samples.size() * 2);
    std::memcpy(out.data(), samples.data(), out.size());
    return out;
}

class PulsePlatform : public ::testing::Test {
protected:
    void SetUp() override {
        if (pulseServer().empty())
            GTEST_SKIP() << "needs the pulse fixture";
        platform = std::make_unique<PulseAudioPlatform>(pulseServer());
        ASSERT_TRUE(platform->connected());
    }

    std::unique_ptr<PulseAudioPlatform> platform;
};

TEST_F(PulsePlatform, DeviceTablesPutTheDefaultFirstAndLeaveMonitorsOut) {
    ASSERT_EQ(platform->waveOutCount(), 3u);
    std::vector<std::string> names;
    for (std::uint32_t d = 0; d < 3; ++d) {
        WaveOutCaps caps;
        ASSERT_EQ(platform->waveOutCaps(d, caps), MMSYSERR_NOERROR);
        names.push_back(fixedText(caps.productName));
        EXPECT_TRUE(caps.support & WAVECAPS_VOLUME);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Speakers_One", "Headphones_Two", "Pipe_Sink"}));
    WaveOutCaps caps;
    EXPECT_EQ(platform->waveOutCaps(3, caps), MMSYSERR_BADDEVICEID);

    ASSERT_EQ(platform->waveInCount(), 1u);
    WaveInCaps in;
    ASSERT_EQ(platform->waveInCaps(0, in), MMSYSERR_NOERROR);
    EXPECT_EQ(fixedText(in.productName), "Pipe_Source");
    EXPECT_EQ(platform->waveInCaps(1, in), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(platform->mixerCount(), 3u);
}

TEST_F(PulsePlatform, QueryOpenChecksTheFormatWithoutOpening) {
    const WaveFormatEx pcm = pcmFormat(8000, 16, 1);
    EXPECT_EQ(platform->openWaveOut(nullptr, 0, &pcm, nullptr, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
    const Gsm610WaveFormat gsm = gsm610Format8k();
    EXPECT_EQ(platform->openWaveOut(nullptr, 0, &gsm.wfx, nullptr, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
    EXPECT_EQ(platform->openWaveOut(nullptr, 0, &gsm.wfx, nullptr, WAVE_FORMAT_QUERY | WAVE_MAPPED),
              MMSYSERR_NOERROR);
    EXPECT_EQ(platform->openWaveOut(nullptr, WAVE_MAPPER, &gsm.wfx, nullptr, WAVE_FORMAT_QUERY),
              MMSYSERR_NOERROR);
    EXPECT_EQ(platform->openWaveOut(nullptr, 7, &pcm, nullptr, WAVE_FORMAT_QUERY), MMSYSERR_BADDEVICEID);
    Gsm610WaveFormat odd = gsm;
    odd.wfx.nBlockAlign = 64;
    EXPECT_EQ(platform->openWaveOut(nullptr, 0, &odd.wfx, nullptr, WAVE_FORMAT_QUERY | WAVE_MAPPED),
              WAVERR_BADFORMAT);
}

TEST_F(PulsePlatform, PcmPlaysIntoThePipeSinkByteForByteAndInOrder) {
    PipeSinkReader sink;
    Recorder rec;
    const WaveFormatEx fmt = pcmFormat(8000, 16, 1);
    std::unique_ptr<WaveOutDevice> dev;
    ASSERT_EQ(platform->openWaveOut(&dev, PipeSinkId, &fmt, rec.target(), CALLBACK_WINDOW), MMSYSERR_NOERROR);

    const std::vector<std::int16_t> signal = testSignal(8000 * 3 / 2);
    std::vector<std::unique_ptr<Buffer>> buffers;
    for (std::size_t at = 0; at < signal.size(); at += 4000) {
        buffers.push_back(std::make_unique<Buffer>(bytesOf(std::span(signal).subspan(at, 4000))));
        ASSERT_EQ(dev->prepareHeader(buffers.back()->header), MMSYSERR_NOERROR);
        ASSERT_EQ(dev->write(buffers.back()->header), MMSYSERR_NOERROR);
    }
    ASSERT_TRUE(pumpUntil([&] { return rec.count(WaveMessage::WomDone) == 3; }, 10s));
    // Done comes only once the audio has been heard: it is in the fifo by now.
    ASSERT_TRUE(sink.waitFor([&](const auto& s) { return findSamples(s, signal) != std::string::npos; }, 2s));

    ASSERT_EQ(rec.log.size(), 4u);
    EXPECT_EQ(rec.log[0].message, WaveMessage::WomOpen);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rec.log[1 + i].header, &buffers[i]->header);
        EXPECT_EQ(buffers[i]->header.flags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
        EXPECT_EQ(dev->unprepareHeader(buffers[i]->header), MMSYSERR_NOERROR);
    }
    MmTime t;
    t.type = TIME_SAMPLES;
    ASSERT_EQ(dev->position(t), MMSYSERR_NOERROR);
    EXPECT_EQ(t.value, signal.size());
    ASSERT_EQ(dev->close(), MMSYSERR_NOERROR);
    ASSERT_TRUE(pumpUntil([&] { return rec.count(WaveMessage::WomClose) == 1; }, 1s));
    EXPECT_EQ(rec.log.back().message, WaveMessage::WomClose);
    EXPECT_EQ(dev->write(buffers[0]->header), MMSYSERR_INVALHANDLE);
}

TEST_F(PulsePlatform, GsmThroughTheMapperPlaysWhatAReferenceDecoderMakes) {
    QTemporaryDir work;
    const std::vector<std::int16_t> signal = testSignal(8000 * 2, 7);
    const std::vector<std::uint8_t> gsm = soxEncodeGsm(signal, work.path().toStdString());
    ASSERT_EQ(gsm.size() % 65, 0u);
    const std::vector<std::int16_t> reference = ffmpegDecodeGsm(gsm, work.path().toStdString());
    ASSERT_EQ(reference.size(), gsm.size() / 65 * 320);

    PipeSinkReader sink;
    Recorder rec;
    const Gsm610WaveFormat fmt = gsm610Format8k();
    std::unique_ptr<WaveOutDevice> dev;
    ASSERT_EQ(platform->openWaveOut(&dev, PipeSinkId, &fmt.wfx, rec.target(), CALLBACK_WINDOW | WAVE_MAPPED),
              MMSYSERR_NOERROR);
    // Buffers of 1625 bytes (a second) and a short last one, as a player cuts them.
    std::vector<std::unique_ptr<Buffer>> buffers;
    for (std::size_t at = 0; at < gsm.size(); at += 1625) {
        const std::size_t n = std::min<std::size_t>(1625, gsm.size() - at);
        buffers.push_back(
            std::make_unique<Buffer>(std::vector<std::uint8_t>(gsm.begin() + at, gsm.begin() + at + n)));
        ASSERT_EQ(dev->prepareHeader(buffers.back()->header), MMSYSERR_NOERROR);
        ASSERT_EQ(dev->write(buffers.back()->header), MMSYSERR_NOERROR);
    }
    ASSERT_TRUE(
        pumpUntil([&] { return rec.count(WaveMessage::WomDone) == static_cast<int>(buffers.size()); }, 10s));
    // Skip the first block: a reference is only meaningful once both decoders
    // have settled from the same start, which they have from sample 0 here.
    EXPECT_TRUE(
        sink.waitFor([&](const auto& s) { return findSamples(s, reference) != std::string::npos; }, 2s))
        << "the sink did not play the reference decode";
    ASSERT_EQ(dev->close(), MMSYSERR_NOERROR);
}

// Sets a source's volume to 100 %, whatever earlier tests left.
void fullVolume(PulseAudioPlatform& platform, std::uint32_t mixerId) {
    std::unique_ptr<Mixer> mixer;
    ASSERT_EQ(platform.openMixer(mixer, mixerId), MMSYSERR_NOERROR);
    MixerLine line;
    line.componentType = MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    ASSERT_EQ(mixer->lineInfo(line, MIXER_GETLINEINFOF_COMPONENTTYPE), MMSYSERR_NOERROR);
    MixerControl control;
    MixerLineControls request{line.lineId, 0, MIXERCONTROL_CONTROLTYPE_VOLUME, std::span(&control, 1)};
    ASSERT_EQ(mixer->lineControls(request, MIXER_GETLINECONTROLSF_ONEBYTYPE), MMSYSERR_NOERROR);
    std::uint32_t value = 65535;
    MixerControlDetails details{control.controlId, 1, 0, std::span(&value, 1)};
    ASSERT_EQ(mixer->setControlDetails(details, MIXER_SETCONTROLDETAILSF_VALUE), MMSYSERR_NOERROR);
}

TEST_F(PulsePlatform, GsmRecordedThroughTheMapperEqualsAReferenceEncoder) {
    // PulseAudio's pipe source reads its fifo whenever a stream is attached,
    // so the signal is written once recording runs; PipeWire's reads only
    // while one records and, running on the server's clock, records silence
    // until data is there, so the signal is in place before recording starts.
    // Either way the recording begins with the signal's first sample.
    const char* server = std::getenv("TAVORA_TEST_SOUND_SERVER");
    const bool feedFirst = server && std::string(server) == "pipewire";
    QTemporaryDir work;
    fullVolume(*platform, PipeSourceId);
    PipeSourceWriter source;
    const Gsm610WaveFormat fmt = gsm610Format8k();
    // Whatever earlier writers left in the fifo is recorded and thrown away
    // first, through a device of its own: PipeWire's pipe source, once a
    // stream on it has recorded and been stopped, takes some samples of what
    // then reaches the fifo before that stream records again (128, when the
    // start comes a moment late, as on a loaded machine). The recording
    // stream below has never run.
    {
        Recorder drained;
        std::unique_ptr<WaveInDevice> drainer;
        ASSERT_EQ(platform->openWaveIn(&drainer, PipeSourceId, &fmt.wfx, drained.target(),
                                       CALLBACK_WINDOW | WAVE_MAPPED),
                  MMSYSERR_NOERROR);
        Buffer drain(65 * 100);
        ASSERT_EQ(drainer->prepareHeader(drain.header), MMSYSERR_NOERROR);
        ASSERT_EQ(drainer->addBuffer(drain.header), MMSYSERR_NOERROR);
        ASSERT_EQ(drainer->start(), MMSYSERR_NOERROR);
        pumpFor(300ms);
        ASSERT_EQ(drainer->reset(), MMSYSERR_NOERROR);
        ASSERT_EQ(drainer->close(), MMSYSERR_NOERROR);
    }
    Recorder rec;
    std::unique_ptr<WaveInDevice> dev;
    ASSERT_EQ(platform->openWaveIn(&dev, PipeSourceId, &fmt.wfx, rec.target(), CALLBACK_WINDOW | WAVE_MAPPED),
              MMSYSERR_NOERROR);
    std::vector<std::unique_ptr<Buffer>> buffers;
    for (int i = 0; i < 4; ++i) {
        buffers.push_back(std::make_unique<Buffer>(813));
        ASSERT_EQ(dev->prepareHeader(buffers.back()->header), MMSYSERR_NOERROR);
        ASSERT_EQ(dev->addBuffer(buffers.back()->header), MMSYSERR_NOERROR);
    }
    const std::vector<std::int16_t> signal = testSignal(8000 * 4, 3);
    if (feedFirst) {
        source.write(signal, false);
        source.wait();
    }
    ASSERT_EQ(dev->start(), MMSYSERR_NOERROR);
    if (!feedFirst)
        source.write(signal);

    // 813 bytes hold 12 whole blocks: 780 bytes, 3840 samples each time.
    std::vector<std::uint8_t> recorded;
    std::size_t seen = 0;
    ASSERT_TRUE(pumpUntil(
        [&] {
            for (; seen < rec.log.size(); ++seen) {
                const Notification& n = rec.log[seen];
                if (n.message != WaveMessage::WimData)
                    continue;
                EXPECT_EQ(n.header->bytesRecorded, 780u);
                recorded.insert(recorded.end(), n.header->data, n.header->data + n.header->bytesRecorded);
                dev->addBuffer(*n.header);
            }
            return recorded.size() >= 6 * 780;
        },
        10s));
    source.wait();
    ASSERT_EQ(dev->reset(), MMSYSERR_NOERROR);
    pumpUntil([&] { return rec.count(WaveMessage::WimData) >= static_cast<int>(seen) + 4 - 1; }, 1s);

    // The source produces audio only while written and recording runs from
    // the moment start returns, so the recording begins with the first sample
    // written and its blocks equal sox's encoding of the signal.
    const std::vector<std::uint8_t> reference = soxEncodeGsm(signal, work.path().toStdString());
    ASSERT_GE(reference.size(), recorded.size());
    const auto [differs, _] = std::mismatch(recorded.begin(), recorded.end(), reference.begin());
    EXPECT_TRUE(differs == recorded.end())
        << "the recording differs from block " << (differs - recorded.begin()) / 65 << " on";
    for (auto& b : buffers)
        EXPECT_EQ(b->header.flags & WHDR_INQUEUE, 0u);
    EXPECT_EQ(dev->close(), MMSYSERR_NOERROR);
}

// A buffer too small for one GSM block comes back empty and the recording
// goes on into the next one, never past a buffer's end.
TEST_F(PulsePlatform, GsmRecordingSkipsABufferTooSmallForABlock) {
    fullVolume(*platform, PipeSourceId);
    PipeSourceWriter source;
    Recorder rec;
    const Gsm610WaveFormat fmt = gsm610Format8k();
    std::unique_ptr<WaveInDevice> dev;
    ASSERT_EQ(platform->openWaveIn(&dev, PipeSourceId, &fmt.wfx, rec.target(), CALLBACK_WINDOW | WAVE_MAPPED),
              MMSYSERR_NOERROR);
    Buffer small(64), large(813);
    for (Buffer* b : {&small, &large}) {
        ASSERT_EQ(dev->prepareHeader(b->header), MMSYSERR_NOERROR);
        ASSERT_EQ(dev->addBuffer(b->header), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(dev->start(), MMSYSERR_NOERROR);
    source.write(testSignal(8000, 5));
    ASSERT_TRUE(pumpUntil([&] { return rec.count(WaveMessage::WimData) == 2; }, 5s));
    EXPECT_EQ(rec.count(WaveMessage::WimData, &small.header), 1);
    EXPECT_EQ(small.header.bytesRecorded, 0u);
    EXPECT_EQ(large.header.bytesRecorded, 780u);
    source.wait();
    ASSERT_EQ(dev->reset(), MMSYSERR_NOERROR);
    EXPECT_EQ(dev->close(), MMSYSERR_NOERROR);
}

TEST_F(PulsePlatform, ResetReturnsEveryQueuedBufferExactlyOnce) {
    PipeSinkReader sink; // keeps the pipe sink flowing
    for (std::uint32_t device : {0u, PipeSinkId}) {
        Recorder rec;
        const WaveFormatEx fmt = pcmFormat(8000, 16, 1);
        std::unique_ptr<WaveOutDevice> dev;
        ASSERT_EQ(platform->openWaveOut(&dev, device, &fmt, rec.target(), CALLBACK_WINDOW), MMSYSERR_NOERROR);
        std::vector<std::unique_ptr<Buffer>> buffers;
        for (int i = 0; i < 6; ++i) {
            buffers.push_back(std::make_unique<Buffer>(bytesOf(testSignal(4000, i + 1))));
            ASSERT_EQ(dev->prepareHeader(buffers.back()->header), MMSYSERR_NOERROR);
            ASSERT_EQ(dev->write(buffers.back()->header), MMSYSERR_NOERROR);
        }
        EXPECT_EQ(dev->close(), WAVERR_STILLPLAYING);
        EXPECT_EQ(dev->unprepareHeader(buffers[5]->header), WAVERR_STILLPLAYING);
        ASSERT_TRUE(pumpUntil([&] { return rec.count(WaveMessage::WomDone) >= 1; }, 5s));
        ASSERT_EQ(dev->reset(), MMSYSERR_NOERROR);
        pumpFor(300ms);
        for (auto& b : buffers) {
            EXPECT_EQ(rec.count(WaveMessage::WomDone, &b->header), 1);
            EXPECT_EQ(b->header.flags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
        }
        // Returned in the order written.
        std::vector<WaveHeader*> order;
        for (const auto& n : rec.log)
            if (n.message == WaveMessage::WomDone)
                order.push_back(n.header);
        for (std::size_t i = 0; i < order.size(); ++i)
            EXPECT_EQ(order[i], &buffers[i]->header);
        MmTime t;
        ASSERT_EQ(dev->position(t), MMSYSERR_NOERROR);
        EXPECT_EQ(t.value, 0u);

        // The device plays on after a reset.
        buffers[0]->header.flags &= ~WHDR_DONE;
        ASSERT_EQ(dev->write(buffers[0]->header), MMSYSERR_NOERROR);
        ASSERT_TRUE(pumpUntil([&] { return rec.count(WaveMessage::WomDone, &buffers[0]->header) == 2; }, 5s));
        ASSERT_EQ(dev->close(), MMSYSERR_NOERROR);
        ASSERT_TRUE(pumpUntil([&] { return rec.count(WaveMessage::WomClose) == 1; }, 1s));
    }
}

TEST_F(PulsePlatform, PauseHoldsBuffersAndRestartPlaysThem) {
    PipeSinkReader sink;
    Recorder rec;
    const WaveFormatEx fmt = pcmFormat(8000, 16, 1);
    std::unique_ptr<WaveOutDevice> dev;
    ASSERT_EQ(platform->openWaveOut(&dev, PipeSinkId, &fmt, rec.target(), CALLBACK_WINDOW), MMSYSERR_NOERROR);
    ASSERT_EQ(dev->pause(), MMSYSERR_NOERROR);
    Buffer b(bytesOf(testSignal(800, 9)));
    ASSERT_EQ(dev->prepareHeader(b.header), MMSYSERR_NOERROR);
    ASSERT_EQ(dev->write(b.header), MMSYSERR_NOERROR);
    pumpFor(400ms);
    EXPECT_EQ(rec.count(WaveMessage::WomDone), 0);
    ASSERT_EQ(dev->restart(), MMSYSERR_NOERROR);
    ASSERT_TRUE(pumpUntil([&] { return rec.count(WaveMessage::WomDone) == 1; }, 5s));
    ASSERT_EQ(dev->close(), MMSYSERR_NOERROR);
}

TEST_F(PulsePlatform, DeviceVolumeIsTheStreamsOwn) {
    Recorder rec;
    const WaveFormatEx fmt = pcmFormat(8000, 16, 2);
    std::unique_ptr<WaveOutDevice> dev;
    ASSERT_EQ(platform->openWaveOut(&dev, 1, &fmt, rec.target(), CALLBACK_WINDOW), MMSYSERR_NOERROR);
    ASSERT_EQ(dev->setVolume(0x40008000), MMSYSERR_NOERROR);
    std::uint32_t v = 0;
    ASSERT_EQ(dev->volume(v), MMSYSERR_NOERROR);
    EXPECT_EQ(v, 0x40008000u);
    std::uint32_t pitch = 0;
    EXPECT_EQ(dev->pitch(pitch), MMSYSERR_NOTSUPPORTED);
    ASSERT_EQ(dev->close(), MMSYSERR_NOERROR);
}

// Every way a device ends gives its stream back to the server: a reset
// right before the close (as every stop does), a reset with more audio after
// it, a destruction without a close.
// Counted by the daemon; the program's file descriptors, threads and heap
// stay flat as well.
TEST_F(PulsePlatform, EveryEndGivesTheStreamBackToTheServer) {
    PipeSinkReader sink;
    PipeSourceWriter source;
    ASSERT_EQ(ownServerStreams().sinkInputs, 0);
    ASSERT_EQ(ownServerStreams().sourceOutputs, 0);
    const Gsm610WaveFormat gsm = gsm610Format8k();
    const std::uint32_t mapped = CALLBACK_WINDOW | WAVE_MAPPED;
    constexpr long long HeapSlack = 96 * 1024;
    RunLeaks leaks;
    for (int run = 0; run < 20; ++run) {
        Recorder rec;
        std::unique_ptr<WaveOutDevice> out;
        std::unique_ptr<WaveInDevice> in;
        ASSERT_EQ(platform->openWaveOut(&out, run % 2 ? PipeSinkId : 0, &gsm.wfx, rec.target(), mapped),
                  MMSYSERR_NOERROR);
        ASSERT_EQ(platform->openWaveIn(&in, PipeSourceId, &gsm.wfx, rec.target(), mapped), MMSYSERR_NOERROR);
        Buffer played(65 * 10, 0x5A), recorded(65 * 10);
        ASSERT_EQ(out->prepareHeader(played.header), MMSYSERR_NOERROR);
        ASSERT_EQ(in->prepareHeader(recorded.header), MMSYSERR_NOERROR);
        ASSERT_EQ(out->write(played.header), MMSYSERR_NOERROR);
        ASSERT_EQ(in->addBuffer(recorded.header), MMSYSERR_NOERROR);
        ASSERT_EQ(in->start(), MMSYSERR_NOERROR);
        source.write(std::vector<std::int16_t>(320, 0), false);
        ASSERT_EQ(out->reset(), MMSYSERR_NOERROR);
        if (run % 4 == 1) { // plays on after the reset, then resets again
            played.header.flags &= ~WHDR_DONE;
            ASSERT_EQ(out->write(played.header), MMSYSERR_NOERROR);
            ASSERT_EQ(out->reset(), MMSYSERR_NOERROR);
        }
        ASSERT_EQ(in->reset(), MMSYSERR_NOERROR);
        if (run % 4 != 3) {
            EXPECT_EQ(out->close(), MMSYSERR_NOERROR);
            EXPECT_EQ(in->close(), MMSYSERR_NOERROR);
        }
        out.reset();
        in.reset();
        source.wait();
        pumpFor(5ms);
        EXPECT_EQ(leaks.afterRun(), "") << "run " << run;
    }
    // A stream the server ended but this process never let go of leaves
    // nothing on the server and no descriptor or thread: only the heap shows
    // it (about 10 KB a run; without a leak the 20 runs vary by up to 40 KB).
    EXPECT_EQ(leaks.grown(HeapSlack), "");
}

// The identifier of the speaker volume control of `mixer`.
std::uint32_t speakerVolumeControl(Mixer& mixer) {
    MixerLine line;
    line.componentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    EXPECT_EQ(mixer.lineInfo(line, MIXER_GETLINEINFOF_COMPONENTTYPE), MMSYSERR_NOERROR);
    MixerControl control;
    MixerLineControls request;
    request.lineId = line.lineId;
    request.controlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
    request.controls = std::span(&control, 1);
    EXPECT_EQ(mixer.lineControls(request, MIXER_GETLINECONTROLSF_ONEBYTYPE), MMSYSERR_NOERROR);
    return control.controlId;
}

MmResult mixerLevel(Mixer& mixer, std::uint32_t controlId, std::uint32_t& value, bool write) {
    MixerControlDetails details{controlId, 1, 0, std::span(&value, 1)};
    return write ? mixer.setControlDetails(details, MIXER_SETCONTROLDETAILSF_VALUE)
                 : mixer.controlDetails(details, MIXER_GETCONTROLDETAILSF_VALUE);
}

TEST_F(PulsePlatform, MixerLevelsReachTheServersVolumes) {
    // Mixer 0 (spk1) keeps its level while mixer 1 is driven: each mixer
    // controls its own sink.
    std::unique_ptr<Mixer> first;
    ASSERT_EQ(platform->openMixer(first, 0), MMSYSERR_NOERROR);
    const std::uint32_t firstVolume = speakerVolumeControl(*first);
    std::uint32_t firstLevel = 20000;
    ASSERT_EQ(mixerLevel(*first, firstVolume, firstLevel, true), MMSYSERR_NOERROR);

    std::unique_ptr<Mixer> mixer;
    ASSERT_EQ(platform->openMixer(mixer, 1), MMSYSERR_NOERROR); // spk2; no second source
    MixerCaps caps;
    ASSERT_EQ(platform->mixerCaps(1, caps), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.destinations, 1u);
    MixerLine line;
    line.componentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    ASSERT_EQ(mixer->lineInfo(line, MIXER_GETLINEINFOF_COMPONENTTYPE), MMSYSERR_NOERROR);
    line.componentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    EXPECT_EQ(mixer->lineInfo(line, MIXER_GETLINEINFOF_COMPONENTTYPE), MIXERR_INVALLINE);

    const std::uint32_t volume = speakerVolumeControl(*mixer);
    for (std::uint32_t level : {0u, 1u, 12345u, 32768u, 65534u, 65535u}) {
        std::uint32_t value = level;
        ASSERT_EQ(mixerLevel(*mixer, volume, value, true), MMSYSERR_NOERROR);
        value = 0xDEAD;
        ASSERT_EQ(mixerLevel(*mixer, volume, value, false), MMSYSERR_NOERROR);
        EXPECT_EQ(value, level);
    }
    firstLevel = 0xDEAD;
    ASSERT_EQ(mixerLevel(*first, firstVolume, firstLevel, false), MMSYSERR_NOERROR);
    EXPECT_EQ(firstLevel, 20000u);
}

// A sink or source that goes away (its module unloaded) ends the devices
// on it instead of letting the server move them elsewhere: every queued
// buffer comes back at once, later calls say the device is gone, and
// nothing stays on the server.
TEST_F(PulsePlatform, ARemovedDeviceEndsItsStreamsAndSaysSo) {
    LoadedPulseModule sinkModule(
        "module-null-sink sink_name=gone_sink sink_properties=device.description=Gone_Sink");
    ::unlink((pulseDir() + "/gone.fifo").c_str()); // the pipe source refuses an existing fifo
    LoadedPulseModule sourceModule("module-pipe-source source_name=gone_source file=" + pulseDir() +
                                   "/gone.fifo format=s16le rate=8000 channels=1 "
                                   "source_properties=device.description=Gone_Source");
    ASSERT_TRUE(sinkModule.loaded());
    ASSERT_TRUE(sourceModule.loaded());
    const std::int32_t sinkId = waveDeviceNamed(*platform, false, "Gone_Sink");
    const std::int32_t sourceId = waveDeviceNamed(*platform, true, "Gone_Source");
    ASSERT_GE(sinkId, 0);
    ASSERT_GE(sourceId, 0);

    Recorder rec;
    const WaveFormatEx fmt = pcmFormat(8000, 16, 1);
    std::unique_ptr<WaveOutDevice> out;
    std::unique_ptr<WaveInDevice> in;
    ASSERT_EQ(platform->openWaveOut(&out, sinkId, &fmt, rec.target(), CALLBACK_WINDOW), MMSYSERR_NOERROR);
    ASSERT_EQ(platform->openWaveIn(&in, sourceId, &fmt, rec.target(), CALLBACK_WINDOW), MMSYSERR_NOERROR);
    std::vector<std::unique_ptr<Buffer>> played, recorded;
    for (int i = 0; i < 3; ++i) {
        played.push_back(std::make_unique<Buffer>(16000)); // a second each
        recorded.push_back(std::make_unique<Buffer>(160000));
        ASSERT_EQ(out->prepareHeader(played.back()->header), MMSYSERR_NOERROR);
        ASSERT_EQ(out->write(played.back()->header), MMSYSERR_NOERROR);
        ASSERT_EQ(in->prepareHeader(recorded.back()->header), MMSYSERR_NOERROR);
        ASSERT_EQ(in->addBuffer(recorded.back()->header), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(in->start(), MMSYSERR_NOERROR);
    EXPECT_EQ(ownServerStreams().sinkInputs, 1);
    EXPECT_EQ(ownServerStreams().sourceOutputs, 1);

    ASSERT_TRUE(sinkModule.unload());
    ASSERT_TRUE(sourceModule.unload());
    ASSERT_TRUE(pumpUntil(
        [&] { return rec.count(WaveMessage::WomDone) == 3 && rec.count(WaveMessage::WimData) == 3; }, 5s));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rec.count(WaveMessage::WomDone, &played[i]->header), 1);
        EXPECT_EQ(rec.count(WaveMessage::WimData, &recorded[i]->header), 1);
    }
    EXPECT_EQ(out->write(played[0]->header), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(in->addBuffer(recorded[0]->header), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(out->reset(), MMSYSERR_NOERROR);
    EXPECT_EQ(out->close(), MMSYSERR_NOERROR);
    EXPECT_EQ(in->close(), MMSYSERR_NOERROR);
    EXPECT_EQ(ownServerStreams().sinkInputs, 0);
    EXPECT_EQ(ownServerStreams().sourceOutputs, 0);
    // The server itself is still there.
    EXPECT_EQ(platform->waveOutCount(), 3u);
}

TEST(PulseServerLoss, QueuedBuffersComeBackAndTheConnectionIsMadeAgain) {
    OwnPulseDaemon daemon;
    if (!daemon.start())
        GTEST_SKIP() << "needs the harness script (TAVORA_PULSE_HARNESS)";
    PulseAudioPlatform platform(daemon.server());
    ASSERT_EQ(platform.waveOutCount(), 3u);
    Recorder rec;
    const WaveFormatEx fmt = pcmFormat(8000, 16, 1);
    std::unique_ptr<WaveOutDevice> dev;
    ASSERT_EQ(platform.openWaveOut(&dev, 0, &fmt, rec.target(), CALLBACK_WINDOW), MMSYSERR_NOERROR);
    std::vector<std::unique_ptr<Buffer>> buffers;
    for (int i = 0; i < 3; ++i) {
        buffers.push_back(std::make_unique<Buffer>(16000)); // a second each
        ASSERT_EQ(dev->prepareHeader(buffers.back()->header), MMSYSERR_NOERROR);
        ASSERT_EQ(dev->write(buffers.back()->header), MMSYSERR_NOERROR);
    }
    // A recording waiting for sound that never comes (nobody feeds the source).
    Recorder recIn;
    std::unique_ptr<WaveInDevice> in;
    ASSERT_EQ(platform.openWaveIn(&in, 0, &fmt, recIn.target(), CALLBACK_WINDOW), MMSYSERR_NOERROR);
    std::vector<std::unique_ptr<Buffer>> inBuffers;
    for (int i = 0; i < 2; ++i) {
        inBuffers.push_back(std::make_unique<Buffer>(16000));
        ASSERT_EQ(in->prepareHeader(inBuffers.back()->header), MMSYSERR_NOERROR);
        ASSERT_EQ(in->addBuffer(inBuffers.back()->header), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(in->start(), MMSYSERR_NOERROR);

    daemon.stop();
    // Nothing will ever play or fill them: every buffer returns, once,
    // without waiting.
    ASSERT_TRUE(pumpUntil(
        [&] { return rec.count(WaveMessage::WomDone) == 3 && recIn.count(WaveMessage::WimData) == 2; }, 5s));
    for (auto& b : buffers)
        EXPECT_EQ(rec.count(WaveMessage::WomDone, &b->header), 1);
    for (auto& b : inBuffers)
        EXPECT_EQ(recIn.count(WaveMessage::WimData, &b->header), 1);
    EXPECT_EQ(dev->write(buffers[0]->header), MMSYSERR_NODRIVER);
    EXPECT_EQ(in->addBuffer(inBuffers[0]->header), MMSYSERR_NODRIVER);
    EXPECT_EQ(dev->close(), MMSYSERR_NOERROR);
    EXPECT_EQ(in->close(), MMSYSERR_NOERROR);
    EXPECT_EQ(platform.waveOutCount(), 0u);
    EXPECT_EQ(platform.openWaveOut(&dev, 0, &fmt, rec.target(), CALLBACK_WINDOW), MMSYSERR_NODRIVER);
    std::unique_ptr<Mixer> mixer;
    EXPECT_EQ(platform.openMixer(mixer, 0), MMSYSERR_NODRIVER);

    ASSERT_TRUE(daemon.start());
    EXPECT_TRUE(platform.connected());
    EXPECT_EQ(platform.waveOutCount(), 3u);
}

// A platform built for a server it never needs makes no connection: only the
// first call that needs the server connects. The "server" here is a socket
// that takes connections and hangs them up at once.
TEST(PulseConnection, MadeAtTheFirstCallThatNeedsTheServer) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("native").toStdString();
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size());
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    const auto pending = [listener](int timeoutMs) {
        pollfd p{listener, POLLIN, 0};
        return ::poll(&p, 1, timeoutMs) > 0;
    };

    PulseAudioPlatform platform("unix:" + path);
    EXPECT_FALSE(pending(300)) << "the platform connected when it was built";

    std::atomic<int> accepted{0};
    std::atomic<bool> stop{false};
    std::thread server([&] {
        while (!stop) {
            if (!pending(10))
                continue;
            if (const int c = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); c >= 0) {
                ++accepted;
                ::close(c);
            }
        }
    });
    EXPECT_EQ(platform.waveOutCount(), 0u);
    stop = true;
    server.join();
    ::close(listener);
    EXPECT_GE(accepted.load(), 1);
}

} // namespace
