// Ten minutes of the microphone loop on the private PulseAudio daemon: runs
// of a minute each, started and stopped by the page as the participant
// would, with sound going round all the time. The heap in use after the
// first run is the baseline; every later run must end where it began.
// TAVORA_SOAK_SECONDS shortens the whole for a quick look.

#include "audio/loopback/MicrophonePage.h"
#include "audio/loopback/PlaybackStream.h"
#include "platform/audio/PulseAudioPlatform.h"
#include "settings/SystemTestSettings.h"
#include "support/audio/DeviceNamed.h"
#include "support/audio/EventPump.h"
#include "support/audio/PulseFifos.h"

#include <QtTest>

using namespace tavora;

using namespace tavora::audio;
using namespace tavora::platform::audio;
using namespace tavora::test;
using namespace std::chrono_literals;

namespace {

constexpr std::size_t Rate = 8000;
// Room for the allocator's own bookkeeping to move; a leak of one capture
// block per second would pass it within the first run.
constexpr long long HeapSlack = 512 * 1024;

} // namespace

class LoopbackSoakTest : public QObject {
    Q_OBJECT
private slots:
    void tenMinutesOfRunsLeaveTheHeapWhereItWas() {
        if (pulseServer().empty())
            QSKIP("needs the pulse fixture");
        int total = 600;
        if (const char* s = std::getenv("TAVORA_SOAK_SECONDS"))
            total = std::max(20, std::atoi(s));
        const int runs = std::max(2, total / 60);
        const auto runLength = std::chrono::seconds(total / runs);

        PulseAudioPlatform platform(pulseServer());
        QVERIFY(platform.connected());
        SystemTestSettings settings;
        settings.audioInDeviceID = waveDeviceNamed(platform, true, "Pipe_Source");
        settings.audioOutDeviceID = waveDeviceNamed(platform, false, "Pipe_Sink");
        QVERIFY(settings.audioInDeviceID >= 0 && settings.audioOutDeviceID >= 0);

        PipeSinkReader sink;
        PipeSourceWriter source;
        MicrophonePage page(platform, settings);
        page.enterMicrophonePage();
        const std::vector<std::int16_t> signal =
            testSignal(Rate * static_cast<std::size_t>(runLength.count()));

        long long baseline = 0;
        for (int run = 0; run < runs; ++run) {
            sink.clear();
            // Odd runs are push-to-talk, even ones the Start button.
            if (run % 2)
                page.pushToTalkDown();
            else
                page.onStartClicked();
            QVERIFY(page.mikeTestRunning());
            source.write(signal);
            pumpFor(runLength);
            const std::uint64_t dropped = page.playbackStream()->droppedBlocks();
            page.stopMikeTest();
            source.wait();
            QVERIFY(!page.mikeTestRunning());

            {
                const std::vector<std::int16_t> heard = sink.samples();
                QVERIFY2(std::any_of(heard.begin(), heard.end(), [](std::int16_t s) { return s > 1000; }),
                         "the run played nothing");
            }
            // Measured with the test's own copy of the sound gone and the
            // reader emptied, so that only what the loop holds can differ.
            sink.clear();
            const long long heap = heapInUse();
            qInfo("run %d: heap in use %lld bytes, %llu blocks dropped", run + 1, heap,
                  static_cast<unsigned long long>(dropped));
            if (run == 0)
                baseline = heap;
            else
                QVERIFY2(heap - baseline < HeapSlack,
                         qPrintable(QString("grew by %1 bytes").arg(heap - baseline)));
        }
    }
};

QTEST_MAIN(LoopbackSoakTest)
#include "LoopbackSoakTest.moc"
