// The playback page on the private PulseAudio daemon, driven through its
// controls as a participant would: Play on the pipe sink plays the whole
// sample and returns to Ready without saving; Stop part-way silences it and
// saves; the device picked in the list is the one the slider levels, the
// settings keep and the microphone loop plays on.

#include "audio/loopback/MicrophonePage.h"
#include "audio/player/GsmReference.h"
#include "audio/player/PlaybackPage.h"
#include "audio/player/WaveResource.h"

#include "platform/audio/PulseAudioPlatform.h"
#include "platform/settings/MemoryRegistry.h"
#include "platform/settings/RegFileStore.h"
#include "settings/SystemTestSettings.h"
#include "support/MessageBoxCatcher.h"
#include "support/audio/PulseFifos.h"
#include "ui_MicrophonePage.h"
#include "ui_PlaybackPage.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QIODevice>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <QScopeGuard>

#include <algorithm>
#include <cctype>

using namespace tavora;

using namespace tavora::audio;
using namespace tavora::test;
namespace mm = tavora::platform::audio;

namespace {

std::vector<int16_t> sampleDecode() {
    auto stream = openResourceStream("sample", "WAVE");
    WaveImage wave;
    wave.loadFromStream(*stream);
    return gsmDecode(reinterpret_cast<const uint8_t*>(wave.memory()) + wave.dataOffset(), wave.dataSize());
}

bool allZero(std::span<const int16_t> s) {
    return std::all_of(s.begin(), s.end(), [](int16_t v) { return v == 0; });
}

} // namespace

class PlaybackPagePulseTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void playOnThePipeSinkPlaysTheWholeSample();
    void stopPartWaySilencesAndSaves();
    void manyPlayStopRunsLeaveNothingOnTheServer();
    void aRemovedSinkEndsTheSampleAndTheListFollows_data();
    void aRemovedSinkEndsTheSampleAndTheListFollows();
    void theServerStoppingEndsTheSampleAndPlayWorksWhenItIsBack();
    void thePickedDeviceIsLevelledKeptAndLoopedOn();
    void aSinkAheadOfTheChosenOneKeepsTheChoice();

private:
    void enterOnPipeSink();
    // The page as the window makes it: a stop of the sample stores the
    // settings in `store`.
    void newPage();
    // Picks `name` in the device list with the arrow keys.
    void pick(const QString& name);

    std::unique_ptr<mm::PulseAudioPlatform> platform;
    SystemTestSettings settings;
    std::shared_ptr<MemoryRegistry> registry;
    std::shared_ptr<Registry> store;
    std::unique_ptr<PlaybackPage> page;
    int pipe = -1;
};

void PlaybackPagePulseTest::initTestCase() {
    if (pulseDir().empty())
        QSKIP("needs the pulse fixture");
}

void PlaybackPagePulseTest::init() {
    registry = std::make_shared<MemoryRegistry>();
    store = registry;
    settings = {};
    platform = std::make_unique<mm::PulseAudioPlatform>(pulseServer());
    newPage();
}

void PlaybackPagePulseTest::newPage() {
    page = std::make_unique<PlaybackPage>(*platform, settings);
    connect(page.get(), &PlaybackPage::saveRequested, this, [this] { saveSettings(settings, *store); });
    page->show();
}

void PlaybackPagePulseTest::cleanup() {
    page.reset();
    platform.reset();
}

void PlaybackPagePulseTest::enterOnPipeSink() {
    page->enterPlaybackPage();
    pipe = page->ui->outputDeviceList->findText("Pipe_Sink");
    QVERIFY(pipe > 0);
    page->ui->outputDeviceList->setCurrentIndex(pipe);
}

void PlaybackPagePulseTest::playOnThePipeSinkPlaysTheWholeSample() {
    enterOnPipeSink();
    const auto expected = sampleDecode();
    QCOMPARE(expected.size(), size_t{468 * 320});
    PipeSinkReader reader;
    auto& ui = *page->ui;
    int blinks = 0;
    QObject::connect(page->playingTimer, &QTimer::timeout, [&] { ++blinks; });

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(ui.playButton, Qt::LeftButton);
    QVERIFY(!ui.playButton->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!ui.playingLabel->isHidden() || blinks > 0, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(ui.playButton->isEnabled(), 30000);
    const double seconds = clock.elapsed() / 1000.0;
    QVERIFY2(seconds > 18.2 && seconds < 21.0, qPrintable(QString::number(seconds)));
    QVERIFY(blinks >= 20); // 800 ms on, 800 ms off for the whole sample
    QVERIFY(ui.playingLabel->isHidden());
    QVERIFY(!ui.stopButton->isEnabled());
    QVERIFY(!page->playingTimer->isActive());
    QVERIFY(registry->writes().empty()); // the end of the sample saves nothing

    QTest::qWait(500);
    const auto heard = reader.samples();
    const size_t at = findSamples(heard, expected);
    QVERIFY2(at != std::string::npos, "the decode of all 468 blocks is not what the sink played");
    QVERIFY(allZero(std::span(heard).first(at)));
    QVERIFY(allZero(std::span(heard).subspan(at + expected.size())));
}

void PlaybackPagePulseTest::stopPartWaySilencesAndSaves() {
    enterOnPipeSink();
    PipeSinkReader reader;
    auto& ui = *page->ui;
    QTest::mouseClick(ui.playButton, Qt::LeftButton);
    QTest::qWait(3000);
    QVERIFY(!reader.samples().empty());
    QTest::mouseClick(ui.stopButton, Qt::LeftButton);
    QVERIFY(ui.playButton->isEnabled());
    QVERIFY(!ui.stopButton->isEnabled());
    QVERIFY(ui.playingLabel->isHidden());
    QVERIFY(!registry->writes().empty());
    QCOMPARE(registry->writes().front().name, std::string("AudioOutDeviceID"));
    QVERIFY(registry->writes().front().value == RegValue::dword(0));
    QTRY_VERIFY_WITH_TIMEOUT(!page->samplePlayer->active(), 2000);

    // What follows the stop (after the device's latency) is silence. The
    // stop ends the stream, and a server that suspends a sink no stream
    // plays on (PipeWire does) sends nothing at all, which is silent too.
    const size_t atStop = reader.samples().size();
    QTest::qWait(1500);
    const size_t atReplay = reader.samples().size();
    QCOMPARE(ownServerStreams().sinkInputs, 0);
    // The reader still hears: the next Play comes out of the fifo, so what
    // came before it was read, not missed.
    const auto soundSinceReplay = [&] {
        const auto heard = reader.samples();
        return !allZero(std::span(heard).subspan(atReplay));
    };
    QTest::mouseClick(ui.playButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(soundSinceReplay(), 5000);
    QTest::mouseClick(ui.stopButton, Qt::LeftButton);
    const auto heard = reader.samples();
    const size_t from = std::min(atStop + 4000, atReplay);
    QVERIFY(allZero(std::span(heard).subspan(from, atReplay - from)));
}

// Play and Stop, again and again, at different points of the sample: the
// daemon counts no stream of this program after any of them, and the
// program's file descriptors and threads stay flat.
void PlaybackPagePulseTest::manyPlayStopRunsLeaveNothingOnTheServer() {
    enterOnPipeSink();
    PipeSinkReader reader;
    auto& ui = *page->ui;
    RunLeaks leaks;
    for (int run = 0; run < 15; ++run) {
        QTest::mouseClick(ui.playButton, Qt::LeftButton);
        QVERIFY(page->samplePlayer->active());
        if (run == 0)
            QTRY_COMPARE_WITH_TIMEOUT(ownServerStreams().sinkInputs, 1, 5000); // the count sees a stream
        QTest::qWait(run % 3 * 150);
        QTest::mouseClick(ui.stopButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!page->samplePlayer->active(), 5000);
        const std::string left = leaks.afterRun();
        QVERIFY2(left.empty(), qPrintable(QString("run %1: %2").arg(run).arg(left.c_str())));
        if (run % 5 == 4)
            enterOnPipeSink(); // the page left and entered again
    }
    const std::string grown = leaks.grown();
    QVERIFY2(grown.empty(), grown.c_str());
}

// The sink the sample plays on goes away (a module of the test's own): the
// page is back to Ready with one box saying so, nothing stays on the
// server, the list no longer shows the sink, and the next Play goes to the
// device the list shows. Also near the end of the sample, once every buffer
// has been written and only comes back.
void PlaybackPagePulseTest::aRemovedSinkEndsTheSampleAndTheListFollows_data() {
    QTest::addColumn<int>("msBeforeTheEnd");
    QTest::newRow("while buffers are written") << 0;
    QTest::newRow("after the last buffer was written") << 2000;
}

void PlaybackPagePulseTest::aRemovedSinkEndsTheSampleAndTheListFollows() {
    QFETCH(int, msBeforeTheEnd);
    LoadedPulseModule module(
        "module-null-sink sink_name=gone_sink sink_properties=device.description=Gone_Sink");
    QVERIFY(module.loaded());
    page->enterPlaybackPage();
    auto& ui = *page->ui;
    const int gone = ui.outputDeviceList->findText("Gone_Sink");
    QVERIFY(gone > 0);
    ui.outputDeviceList->setCurrentIndex(gone);
    QTest::mouseClick(ui.playButton, Qt::LeftButton);
    if (msBeforeTheEnd > 0) {
        const uint32_t bytesPerSecond = page->samplePlayer->wave().waveFormat()->nAvgBytesPerSec;
        const uint32_t length =
            uint32_t(uint64_t(page->samplePlayer->wave().dataSize()) * 1000 / bytesPerSecond);
        page->samplePlayer->setPosition(length - uint32_t(msBeforeTheEnd));
        // The rest fits in the buffers queued at once: once the page has
        // the open notification (the label blinks) and the device plays,
        // every buffer has been written.
        QTRY_VERIFY_WITH_TIMEOUT(page->playingTimer->isActive() && page->samplePlayer->getPosition() > 0, 5000);
    }
    QTRY_COMPARE_WITH_TIMEOUT(ownServerStreams().sinkInputs, 1, 5000);

    MessageBoxCatcher boxes;
    QVERIFY(module.unload());
    QTRY_VERIFY_WITH_TIMEOUT(ui.playButton->isEnabled() && !boxes.seen.empty(), 5000);
    QTest::qWait(300); // room for a second box, which must not come
    QCOMPARE(boxes.texts(), QStringList{PlaybackPage::DeviceRemovedText});
    QVERIFY(!page->samplePlayer->active());
    QVERIFY(ui.playingLabel->isHidden());
    QCOMPARE(ownServerStreams().sinkInputs, 0);
    QCOMPARE(ui.outputDeviceList->findText("Gone_Sink"), -1);

    // Play now opens the entry shown, whichever it is.
    const QString shown = ui.outputDeviceList->currentText();
    QTest::mouseClick(ui.playButton, Qt::LeftButton);
    QVERIFY(page->samplePlayer->active());
    QVERIFY(shown.startsWith(QString::fromStdString(page->samplePlayer->getDeviceName())));
    QTest::mouseClick(ui.stopButton, Qt::LeftButton);
}

// The sound server stops while the sample plays (a daemon of the test's
// own): Ready with one box saying so; once the server is back, Play works
// without leaving the page.
void PlaybackPagePulseTest::theServerStoppingEndsTheSampleAndPlayWorksWhenItIsBack() {
    OwnPulseDaemon daemon;
    if (!daemon.available())
        QSKIP("needs tests/harness/pulse.sh (TAVORA_PULSE_HARNESS)");
    QVERIFY(daemon.start());
    page.reset();
    platform = std::make_unique<mm::PulseAudioPlatform>(daemon.server());
    newPage();
    page->enterPlaybackPage();
    auto& ui = *page->ui;
    QTest::mouseClick(ui.playButton, Qt::LeftButton);
    QVERIFY(page->samplePlayer->active());
    QTRY_COMPARE_WITH_TIMEOUT(ownServerStreams(daemon.server()).sinkInputs, 1, 5000); // it plays

    MessageBoxCatcher boxes;
    daemon.stop();
    QTRY_VERIFY_WITH_TIMEOUT(ui.playButton->isEnabled() && !boxes.seen.empty(), 5000);
    QTest::qWait(300); // room for a second box, which must not come
    QCOMPARE(boxes.texts(), QStringList{PlaybackPage::ServerStoppedText});
    QVERIFY(!page->samplePlayer->active());

    QVERIFY(daemon.start());
    QTest::mouseClick(ui.playButton, Qt::LeftButton);
    QVERIFY(page->samplePlayer->active());
    QTRY_COMPARE_WITH_TIMEOUT(ownServerStreams(daemon.server()).sinkInputs, 1, 5000);
    QTest::mouseClick(ui.stopButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!page->samplePlayer->active(), 5000);
    QCOMPARE(ownServerStreams(daemon.server()).sinkInputs, 0);
    QCOMPARE(boxes.seen.size(), size_t{1});
}

void PlaybackPagePulseTest::pick(const QString& name) {
    QComboBox* list = page->ui->outputDeviceList;
    const int wanted = list->findText(name);
    QVERIFY(wanted >= 0);
    list->setFocus();
    while (list->currentIndex() != wanted)
        QTest::keyClick(list, list->currentIndex() < wanted ? Qt::Key_Down : Qt::Key_Up);
}

void PlaybackPagePulseTest::thePickedDeviceIsLevelledKeptAndLoopedOn() {
    // The settings live in a file, as the wizard keeps them, so that a
    // second start reads back what the first stored.
    QTemporaryDir config;
    const RegFileStore::Paths paths{config.filePath("user.reg").toStdString(),
                                      config.filePath("system.reg").toStdString()};
    store = std::make_shared<RegFileStore>(paths);
    settings = loadSettings(*store);
    pactl("set-sink-volume spk1 0x2000");
    pactl("set-sink-volume spk2 0x6000");
    auto restoreVolumes = qScopeGuard([] {
        pactl("set-sink-volume spk1 0x10000");
        pactl("set-sink-volume spk2 0x10000");
    });

    // The sinks of the streams that started since this point.
    auto known = pactlSinkInputs();
    auto NewStreamSinks = [&] {
        QStringList sinks;
        for (const auto& [input, sink] : pactlSinkInputs())
            if (!known.count(input))
                sinks << QString::fromStdString(sink);
        return sinks;
    };

    page->enterPlaybackPage();
    QCOMPARE(page->ui->outputDeviceList->currentIndex(), 0);
    pick("Headphones_Two");
    QCOMPARE(page->ui->speakerLevelSlider->value(), int(mm::pulseVolumeToLevel(0x6000)));
    page->ui->speakerLevelSlider->setValue(50000);
    QCOMPARE(pactlVolume("sink", "spk2"), long(mm::levelToPulseVolume(50000)));
    QCOMPARE(pactlVolume("sink", "spk1"), 0x2000L);

    // Play goes to the headphones; Stop stores the choice.
    QTest::mouseClick(page->ui->playButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(NewStreamSinks(), QStringList{"spk2"}, 5000);
    QTest::mouseClick(page->ui->stopButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!page->samplePlayer->active(), 2000);

    // The next start finds the headphones selected at their level.
    page.reset();
    store = std::make_shared<RegFileStore>(paths);
    settings = loadSettings(*store);
    newPage();
    page->enterPlaybackPage();
    QCOMPARE(page->ui->outputDeviceList->currentText(), QString("Headphones_Two"));
    QCOMPARE(page->ui->speakerLevelSlider->value(), 50000);

    // The microphone loop plays the voice on them.
    known = pactlSinkInputs();
    MicrophonePage microphone(*platform, settings);
    microphone.show();
    microphone.enterMicrophonePage();
    QTest::mouseClick(microphone.ui->startButton, Qt::LeftButton);
    QVERIFY(microphone.mikeTestRunning());
    QTRY_COMPARE_WITH_TIMEOUT(NewStreamSinks(), QStringList{"spk2"}, 5000);
    QTest::mouseClick(microphone.ui->stopButton, Qt::LeftButton);
    QVERIFY(!microphone.mikeTestRunning());
}

void PlaybackPagePulseTest::aSinkAheadOfTheChosenOneKeepsTheChoice() {
    page->enterPlaybackPage();
    pick("Headphones_Two");
    saveSettings(settings, *store);
    QCOMPARE(settings.audioOutDeviceID, 1);

    // Before the next start a headset appears and becomes the server's
    // default, so it comes first and every other sink moves down one place.
    const QString longName = "USB Audio Headset with a product name longer than thirty-two bytes";
    const std::string loaded =
        pactl("load-module module-null-sink sink_name=usbhs \"sink_properties=\\\"device.description='" +
              longName.toStdString() + "'\\\"\"");
    QVERIFY2(!loaded.empty() && std::isdigit(static_cast<unsigned char>(loaded[0])), loaded.c_str());
    const std::string module = std::to_string(std::stoi(loaded));
    auto unload = qScopeGuard([&] {
        pactl("set-default-sink spk1");
        pactl("unload-module " + module);
    });
    pactl("set-default-sink usbhs");
    // PipeWire's protocol server tells each client of a new default on its
    // own, a moment after pactl has returned: wait until this one knows.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            mm::WaveOutCaps caps;
            return platform->waveOutCaps(0, caps) == mm::MMSYSERR_NOERROR &&
                   longName.startsWith(QString::fromStdString(mm::fixedText(caps.productName)));
        }(),
        5000);

    page.reset();
    settings = loadSettings(*store);
    newPage();
    page->enterPlaybackPage();
    QComboBox* list = page->ui->outputDeviceList;
    QCOMPARE(list->itemText(0), longName + " (Windows Default)"); // the whole description
    QCOMPARE(list->currentText(), QString("Headphones_Two"));
    QCOMPARE(settings.audioOutDeviceID, 2);
    QCOMPARE(settings.audioOutDeviceName, std::string("spk2"));
}

QTEST_MAIN(PlaybackPagePulseTest)
#include "PlaybackPagePulseTest.moc"
