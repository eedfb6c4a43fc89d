// The microphone loop end to end on the private PulseAudio daemon
// (tests/harness/pulse.sh): speech written into the pipe source is recorded
// by the page's capture stream in GSM 6.10, relayed, decoded by the
// playback stream and comes out of the pipe sink.

#include "SpeechSample.h"

#include "audio/loopback/MicrophonePage.h"
#include "audio/loopback/PlayThread.h"
#include "platform/audio/PulseAudioPlatform.h"
#include "settings/SystemTestSettings.h"
#include "support/MessageBoxCatcher.h"
#include "support/audio/DeviceNamed.h"
#include "support/audio/EventPump.h"
#include "support/audio/PulseFifos.h"
#include "ui_MicrophonePage.h"

#include <QApplication>
#include <QtTest>

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

using namespace tavora;

using namespace tavora::audio;
using namespace tavora::platform::audio;
using namespace tavora::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t Rate = 8000;
// GSM 6.10 turns digital silence into a faint floor (peaks of 16 seen),
// far below anything audible: -60 dBFS.
constexpr int SilencePeak = 32;

int peak(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to) {
    int p = 0;
    for (std::size_t i = from; i < std::min(to, samples.size()); ++i)
        p = std::max(p, std::abs(int(samples[i])));
    return p;
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

class LoopbackPulseTest : public QObject {
    Q_OBJECT

    std::unique_ptr<PulseAudioPlatform> platform;
    SystemTestSettings settings; // the window's record
    std::int32_t pipeSource = -1;
    std::int32_t pipeSink = -1;

private slots:
    void initTestCase() {
        if (pulseServer().empty())
            QSKIP("needs the pulse fixture");
        platform = std::make_unique<PulseAudioPlatform>(pulseServer());
        QVERIFY(platform->connected());
        pipeSource = waveDeviceNamed(*platform, true, "Pipe_Source");
        pipeSink = waveDeviceNamed(*platform, false, "Pipe_Sink");
        QVERIFY(pipeSource >= 0);
        QVERIFY(pipeSink >= 0);
    }

    void speechComesBackAfterTheCodecAndSilenceStaysSilent() {
        settings = SystemTestSettings{};
        settings.audioInDeviceID = pipeSource;
        settings.audioOutDeviceID = pipeSink;
        PipeSinkReader sink;
        PipeSourceWriter source;
        MicrophonePage page(*platform, settings);
        page.show();
        page.enterMicrophonePage();
        QCOMPARE(page.ui->inputDeviceList->currentIndex(), pipeSource);

        QTest::mouseClick(page.ui->startButton, Qt::LeftButton);
        QVERIFY(page.mikeTestRunning());

        // Silence in: blocks go round the loop, and what comes out is silence.
        source.write(std::vector<std::int16_t>(2 * Rate, 0));
        QVERIFY(pumpUntil([&] { return page.playThread()->relayedBlocks() >= 2; }, 10s));
        source.wait();
        pumpFor(300ms);
        const std::vector<std::int16_t> quiet = sink.samples();
        QVERIFY(quiet.size() > Rate);
        QVERIFY(peak(quiet, 0, quiet.size()) <= SilencePeak);

        // Speech in: four seconds of the voice sample, then silence again
        // so that the last capture buffer fills and comes round.
        const std::vector<std::int16_t> sample =
            looptest::decodeSpeechSample(std::string(TAVORA_SOURCE_DIR) + "/resources/sample/sample.wav");
        QVERIFY(sample.size() > 6 * Rate);
        const std::vector<std::int16_t> speech(sample.begin() + Rate / 2,
                                               sample.begin() + Rate / 2 + 4 * Rate);
        std::vector<std::int16_t> input = speech;
        input.insert(input.end(), 2 * Rate, 0);
        sink.clear();
        source.write(input);
        QVERIFY(pumpUntil([&] { return sink.samples().size() >= input.size() + Rate; }, 20s));
        source.wait();

        const std::vector<std::int16_t> heard = sink.samples();
        const looptest::Match match = looptest::bestMatch(speech, heard, 2 * Rate);
        // The sink's samples are counted from the moment the speech began,
        // so the lag of the best match is the delay through the loop.
        qInfo("speech to sound: %.0f ms; correlation %.3f", 1000.0 * double(match.lag) / Rate,
              match.correlation);
        // GSM 6.10 keeps the waveform of speech closely; an unrelated or
        // garbled signal correlates far below this. On a busy machine the
        // server may run dry for a moment and play a little silence, which
        // shifts everything after it: so each half second of the speech is
        // looked for on its own near the overall delay, and nearly all of
        // them must come back intact.
        const std::size_t segment = Rate / 2;
        const std::size_t slack = Rate / 4;
        int intact = 0, segments = 0;
        for (std::size_t at = 0; at + segment <= speech.size(); at += segment, ++segments) {
            const std::vector<std::int16_t> part(speech.begin() + at, speech.begin() + at + segment);
            if (peak(part, 0, part.size()) < 2000) {
                --segments; // a pause between words says nothing
                continue;
            }
            const std::size_t from = match.lag + at > slack ? match.lag + at - slack : 0;
            if (from >= heard.size())
                continue;
            const std::vector<std::int16_t> window(
                heard.begin() + from, heard.begin() + std::min(heard.size(), from + segment + 3 * slack));
            const looptest::Match local = looptest::bestMatch(part, window, 3 * slack);
            if (local.correlation > 0.8)
                ++intact;
        }
        qInfo("half seconds intact: %d of %d", intact, segments);
        QVERIFY2(intact >= segments - 1, qPrintable(QString("%1 of %2").arg(intact).arg(segments)));
        // After the speech the loop carries silence again.
        const std::size_t after = match.lag + speech.size() + Rate / 10 + slack;
        QVERIFY(heard.size() > after + Rate / 2);
        QVERIFY(peak(heard, after, heard.size()) <= SilencePeak);

        const Clock::time_point stopAt = Clock::now();
        QTest::mouseClick(page.ui->stopButton, Qt::LeftButton);
        qInfo("stop: %.1f ms", ms(Clock::now() - stopAt));
        QVERIFY(!page.mikeTestRunning());
        QVERIFY(!page.playbackStream());
        QVERIFY(page.ui->startButton->isEnabled());
        QVERIFY(!page.ui->stopButton->isEnabled());
    }

    // Holding Ctrl: a run for as long as the key is held, on the real devices.
    void pushToTalkOnTheRealDevices() {
        settings = SystemTestSettings{};
        settings.audioInDeviceID = pipeSource;
        settings.audioOutDeviceID = pipeSink;
        PipeSinkReader sink;
        PipeSourceWriter source;
        MicrophonePage page(*platform, settings);
        page.enterMicrophonePage();
        page.pushToTalkDown();
        page.pushToTalkDown();
        QVERIFY(page.mikeTestRunning());
        std::vector<std::int16_t> tone = testSignal(Rate);
        tone.insert(tone.end(), Rate, 0);
        source.write(tone);
        QVERIFY(pumpUntil([&] { return sink.firstSound().has_value(); }, 10s));
        page.stopMikeTest();
        QVERIFY(!page.mikeTestRunning());
        source.wait();
    }

    // However the loop is started and stopped, the page gives every stream
    // back: counted by the daemon after each of many runs, with the
    // program's file descriptors and threads flat.
    void manyRunsLeaveNothingOnTheServer() {
        settings = SystemTestSettings{};
        settings.audioInDeviceID = pipeSource;
        settings.audioOutDeviceID = pipeSink;
        PipeSinkReader sink;
        PipeSourceWriter source;
        MicrophonePage page(*platform, settings);
        page.show();
        RunLeaks leaks;
        for (int run = 0; run < 20; ++run) {
            if (run % 5 == 0)
                page.enterMicrophonePage(); // the page left and entered again
            if (run % 2)
                page.pushToTalkDown();
            else
                QTest::mouseClick(page.ui->startButton, Qt::LeftButton);
            QVERIFY(page.mikeTestRunning());
            if (run % 3 == 0) { // a block goes round before the stop
                const auto relayed = page.playThread()->relayedBlocks();
                source.write(std::vector<std::int16_t>(Rate * 3 / 5, 0));
                QVERIFY(pumpUntil([&] { return page.playThread()->relayedBlocks() > relayed; }, 10s));
                source.wait();
            }
            page.stopMikeTest();
            pumpFor(5ms);
            const std::string left = leaks.afterRun();
            QVERIFY2(left.empty(), qPrintable(QString("run %1: %2").arg(run).arg(left.c_str())));
        }
        const std::string grown = leaks.grown();
        QVERIFY2(grown.empty(), grown.c_str());
    }

    // A device of the test's own (a module it loads) goes away during a
    // run: the run ends by itself, one box says which device went, and
    // nothing stays on the server.
    void aRemovedDeviceEndsTheRun_data() {
        QTest::addColumn<bool>("input");
        QTest::newRow("microphone") << true;
        QTest::newRow("speakers") << false;
    }

    void aRemovedDeviceEndsTheRun() {
        QFETCH(bool, input);
        ::unlink((pulseDir() + "/gone.fifo").c_str()); // the pipe source refuses an existing fifo
        LoadedPulseModule module(input ? "module-pipe-source source_name=gone_src file=" + pulseDir() +
                                             "/gone.fifo format=s16le rate=8000 channels=1 "
                                             "source_properties=device.description=Gone_Source"
                                       : std::string("module-null-sink sink_name=gone_sink "
                                                     "sink_properties=device.description=Gone_Sink"));
        QVERIFY(module.loaded());
        settings = SystemTestSettings{};
        settings.audioInDeviceID =
            input ? waveDeviceNamed(*platform, true, "Gone_Source") : pipeSource;
        settings.audioOutDeviceID =
            input ? pipeSink : waveDeviceNamed(*platform, false, "Gone_Sink");
        QVERIFY(settings.audioInDeviceID >= 0 && settings.audioOutDeviceID >= 0);
        PipeSinkReader sink;
        PipeSourceWriter source(input ? pulseDir() + "/gone.fifo" : pulseDir() + "/src.fifo");
        MicrophonePage page(*platform, settings);
        page.show();
        page.enterMicrophonePage();
        QTest::mouseClick(page.ui->startButton, Qt::LeftButton);
        QVERIFY(page.mikeTestRunning());
        source.write(std::vector<std::int16_t>(Rate, 0));
        QVERIFY(pumpUntil([&] { return page.playThread()->relayedBlocks() >= 1; }, 10s));
        source.wait();

        MessageBoxCatcher boxes;
        QVERIFY(module.unload());
        // The capture device keeps its blocks coming for the speakers' case.
        if (!input)
            source.write(std::vector<std::int16_t>(2 * Rate, 0));
        QVERIFY(pumpUntil([&] { return !page.mikeTestRunning() && !boxes.seen.empty(); }, 10s));
        pumpFor(300ms);
        source.wait();
        QCOMPARE(boxes.seen.size(), std::size_t{1});
        QCOMPARE(boxes.seen[0].text,
                 QString(input ? MicrophonePage::InputRemovedText : MicrophonePage::OutputRemovedText));
        QVERIFY(page.ui->startButton->isEnabled());
        QVERIFY(!page.ui->stopButton->isEnabled());
        QCOMPARE(ownServerStreams().sinkInputs, 0);
        QCOMPARE(ownServerStreams().sourceOutputs, 0);
        if (input)
            QCOMPARE(page.ui->inputDeviceList->findText("Gone_Source"), -1);
    }

    // The sound server stops during a run (a daemon of the test's own): the
    // run ends with one box saying so, and Start works again as soon as the
    // server is back, without leaving the page.
    void theServerStoppingEndsTheRunAndStartWorksWhenItIsBack() {
        OwnPulseDaemon daemon;
        if (!daemon.available())
            QSKIP("needs tests/harness/pulse.sh (TAVORA_PULSE_HARNESS)");
        QVERIFY(daemon.start());
        PulseAudioPlatform own(daemon.server());
        settings = SystemTestSettings{};
        settings.audioInDeviceID = waveDeviceNamed(own, true, "Pipe_Source");
        settings.audioOutDeviceID = waveDeviceNamed(own, false, "Pipe_Sink");
        QVERIFY(settings.audioInDeviceID >= 0 && settings.audioOutDeviceID >= 0);
        MicrophonePage page(own, settings);
        page.show();
        page.enterMicrophonePage();
        {
            PipeSinkReader sink(daemon.dir() + "/sink.fifo");
            QTest::mouseClick(page.ui->startButton, Qt::LeftButton);
            QVERIFY(page.mikeTestRunning());
        }
        MessageBoxCatcher boxes;
        daemon.stop();
        QVERIFY(pumpUntil([&] { return !page.mikeTestRunning() && !boxes.seen.empty(); }, 10s));
        pumpFor(300ms);
        QCOMPARE(boxes.texts(), QStringList{MicrophonePage::ServerStoppedText});
        QVERIFY(page.ui->startButton->isEnabled());

        QVERIFY(daemon.start());
        PipeSinkReader sink(daemon.dir() + "/sink.fifo");
        QTest::mouseClick(page.ui->startButton, Qt::LeftButton);
        QVERIFY(page.mikeTestRunning());
        QTest::mouseClick(page.ui->stopButton, Qt::LeftButton);
        QVERIFY(!page.mikeTestRunning());
        QCOMPARE(ownServerStreams(daemon.server()).sinkInputs, 0);
        QCOMPARE(ownServerStreams(daemon.server()).sourceOutputs, 0);
        QCOMPARE(boxes.seen.size(), std::size_t{1});
    }
};

QTEST_MAIN(LoopbackPulseTest)
#include "LoopbackPulseTest.moc"
