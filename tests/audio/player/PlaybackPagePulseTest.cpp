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
#include "support/audio/PulseFifos.h"
#include "ui_MicrophonePage.h"
#include "ui_PlaybackPage.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QIODevice>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <QScopeGuard>

#include <algorithm>
#include <cctype>

using namespace tavora::audio;
using namespace tavora::test;
namespace mm = tavora::platform::audio;

namespace {

std::vector<int16_t> SampleDecode() {
    auto stream = OpenResourceStream("sample", "WAVE");
    TWaveImage wave;
    wave.LoadFromStream(*stream);
    return GsmDecode(reinterpret_cast<const uint8_t*>(wave.Memory()) + wave.DataOffset(), wave.DataSize());
}

bool AllZero(std::span<const int16_t> s) {
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
    void EnterOnPipeSink();
    // Picks `name` in the device list with the arrow keys.
    void Pick(const QString& name);
    // Closes each message box that comes up and keeps its text.
    void AnswerBoxes();

    QStringList boxes;
    QTimer boxWatch;

    std::unique_ptr<mm::PulseAudioPlatform> platform;
    std::shared_ptr<TMemoryRegistry> registry;
    std::unique_ptr<TPlaybackPage> page;
    int pipe = -1;
};

void PlaybackPagePulseTest::initTestCase() {
    if (pulseDir().empty())
        QSKIP("needs the pulse fixture");
}

void PlaybackPagePulseTest::AnswerBoxes() {
    boxes.clear();
    boxWatch.disconnect();
    QObject::connect(&boxWatch, &QTimer::timeout, [this] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxes << box->text();
            box->accept();
        }
    });
    boxWatch.start(10);
}

void PlaybackPagePulseTest::init() {
    registry = std::make_shared<TMemoryRegistry>();
    SetSettingsRegistry(registry);
    SystemTestSettings = {};
    platform = std::make_unique<mm::PulseAudioPlatform>(pulseServer());
    page = std::make_unique<TPlaybackPage>(*platform);
    page->show();
}

void PlaybackPagePulseTest::cleanup() {
    page.reset();
    platform.reset();
    SetSettingsRegistry(std::make_shared<TMemoryRegistry>());
}

void PlaybackPagePulseTest::EnterOnPipeSink() {
    page->EnterPlaybackPage();
    pipe = page->ui->cbAoudioOutDevices->findText("Pipe_Sink");
    QVERIFY(pipe > 0);
    page->ui->cbAoudioOutDevices->setCurrentIndex(pipe);
}

void PlaybackPagePulseTest::playOnThePipeSinkPlaysTheWholeSample() {
    EnterOnPipeSink();
    const auto expected = SampleDecode();
    QCOMPARE(expected.size(), size_t{468 * 320});
    PipeSinkReader reader;
    auto& ui = *page->ui;
    int blinks = 0;
    QObject::connect(page->tmrTimer, &QTimer::timeout, [&] { ++blinks; });

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(ui.btnPlay, Qt::LeftButton);
    QVERIFY(!ui.btnPlay->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!ui.lbPlaying->isHidden() || blinks > 0, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(ui.btnPlay->isEnabled(), 30000);
    const double seconds = clock.elapsed() / 1000.0;
    QVERIFY2(seconds > 18.2 && seconds < 21.0, qPrintable(QString::number(seconds)));
    QVERIFY(blinks >= 20); // 800 ms on, 800 ms off for the whole sample
    QVERIFY(ui.lbPlaying->isHidden());
    QVERIFY(!ui.btnStopPlay->isEnabled());
    QVERIFY(!page->tmrTimer->isActive());
    QVERIFY(registry->Writes().empty()); // the end of the sample saves nothing

    QTest::qWait(500);
    const auto heard = reader.samples();
    const size_t at = findSamples(heard, expected);
    QVERIFY2(at != std::string::npos, "the decode of all 468 blocks is not what the sink played");
    QVERIFY(AllZero(std::span(heard).first(at)));
    QVERIFY(AllZero(std::span(heard).subspan(at + expected.size())));
}

void PlaybackPagePulseTest::stopPartWaySilencesAndSaves() {
    EnterOnPipeSink();
    PipeSinkReader reader;
    auto& ui = *page->ui;
    QTest::mouseClick(ui.btnPlay, Qt::LeftButton);
    QTest::qWait(3000);
    QVERIFY(!reader.samples().empty());
    QTest::mouseClick(ui.btnStopPlay, Qt::LeftButton);
    QVERIFY(ui.btnPlay->isEnabled());
    QVERIFY(!ui.btnStopPlay->isEnabled());
    QVERIFY(ui.lbPlaying->isHidden());
    QVERIFY(!registry->Writes().empty());
    QCOMPARE(registry->Writes().front().Name, std::string("AudioOutDeviceID"));
    QVERIFY(registry->Writes().front().Value == TRegValue::Dword(0));
    QTRY_VERIFY_WITH_TIMEOUT(!page->SamplePlayer1->Active(), 2000);

    // What follows the stop (after the device's latency) is silence. The
    // stop ends the stream, and a server that suspends a sink no stream
    // plays on (PipeWire does) sends nothing at all, which is silent too.
    const size_t atStop = reader.samples().size();
    QTest::qWait(1500);
    const auto heard = reader.samples();
    if (heard.size() > atStop + 4000)
        QVERIFY(AllZero(std::span(heard).subspan(atStop + 4000)));
    QCOMPARE(ownServerStreams().sinkInputs, 0);
}

// Play and Stop, again and again, at different points of the sample: the
// daemon counts no stream of this program after any of them, and the
// program's file descriptors and threads stay flat.
void PlaybackPagePulseTest::manyPlayStopRunsLeaveNothingOnTheServer() {
    EnterOnPipeSink();
    PipeSinkReader reader;
    auto& ui = *page->ui;
    ProcessResources before;
    for (int run = 0; run < 15; ++run) {
        QTest::mouseClick(ui.btnPlay, Qt::LeftButton);
        QVERIFY(page->SamplePlayer1->Active());
        if (run == 0)
            QTRY_COMPARE_WITH_TIMEOUT(ownServerStreams().sinkInputs, 1, 5000); // the count sees a stream
        QTest::qWait(run % 3 * 150);
        QTest::mouseClick(ui.btnStopPlay, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!page->SamplePlayer1->Active(), 5000);
        QCOMPARE(ownServerStreams().sinkInputs, 0);
        if (run == 0)
            before = processResources();
        if (run % 5 == 4)
            EnterOnPipeSink(); // the page left and entered again
    }
    const ProcessResources after = processResources();
    QCOMPARE(after.fds, before.fds);
    QCOMPARE(after.threads, before.threads);
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
    page->EnterPlaybackPage();
    auto& ui = *page->ui;
    const int gone = ui.cbAoudioOutDevices->findText("Gone_Sink");
    QVERIFY(gone > 0);
    ui.cbAoudioOutDevices->setCurrentIndex(gone);
    QTest::mouseClick(ui.btnPlay, Qt::LeftButton);
    if (msBeforeTheEnd > 0) {
        const uint32_t bytesPerSecond = page->SamplePlayer1->Wave().WaveFormat()->nAvgBytesPerSec;
        const uint32_t length =
            uint32_t(uint64_t(page->SamplePlayer1->Wave().DataSize()) * 1000 / bytesPerSecond);
        page->SamplePlayer1->SetPosition(length - uint32_t(msBeforeTheEnd));
        QTest::qWait(400); // the rest fits in the buffers queued at once
    }
    QTRY_COMPARE_WITH_TIMEOUT(ownServerStreams().sinkInputs, 1, 5000);

    AnswerBoxes();
    QVERIFY(module.unload());
    QTRY_VERIFY_WITH_TIMEOUT(ui.btnPlay->isEnabled() && !boxes.isEmpty(), 5000);
    QTest::qWait(300); // room for a second box, which must not come
    QCOMPARE(boxes, QStringList{TPlaybackPage::DeviceRemovedText});
    QVERIFY(!page->SamplePlayer1->Active());
    QVERIFY(ui.lbPlaying->isHidden());
    QCOMPARE(ownServerStreams().sinkInputs, 0);
    QCOMPARE(ui.cbAoudioOutDevices->findText("Gone_Sink"), -1);

    // Play now opens the entry shown, whichever it is.
    const QString shown = ui.cbAoudioOutDevices->currentText();
    QTest::mouseClick(ui.btnPlay, Qt::LeftButton);
    QVERIFY(page->SamplePlayer1->Active());
    QVERIFY(shown.startsWith(QString::fromStdString(page->SamplePlayer1->GetDeviceName())));
    QTest::mouseClick(ui.btnStopPlay, Qt::LeftButton);
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
    page = std::make_unique<TPlaybackPage>(*platform);
    page->show();
    page->EnterPlaybackPage();
    auto& ui = *page->ui;
    QTest::mouseClick(ui.btnPlay, Qt::LeftButton);
    QVERIFY(page->SamplePlayer1->Active());
    QTest::qWait(300);

    AnswerBoxes();
    daemon.stop();
    QTRY_VERIFY_WITH_TIMEOUT(ui.btnPlay->isEnabled() && !boxes.isEmpty(), 5000);
    QTest::qWait(300);
    QCOMPARE(boxes, QStringList{TPlaybackPage::ServerStoppedText});
    QVERIFY(!page->SamplePlayer1->Active());

    QVERIFY(daemon.start());
    QTest::mouseClick(ui.btnPlay, Qt::LeftButton);
    QVERIFY(page->SamplePlayer1->Active());
    QTRY_COMPARE_WITH_TIMEOUT(ownServerStreams(daemon.server()).sinkInputs, 1, 5000);
    QTest::mouseClick(ui.btnStopPlay, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!page->SamplePlayer1->Active(), 5000);
    QCOMPARE(ownServerStreams(daemon.server()).sinkInputs, 0);
    QCOMPARE(boxes.size(), 1);
}

void PlaybackPagePulseTest::Pick(const QString& name) {
    QComboBox* list = page->ui->cbAoudioOutDevices;
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
    const TRegFileStore::TPaths paths{config.filePath("user.reg").toStdString(),
                                      config.filePath("system.reg").toStdString()};
    SetSettingsRegistry(std::make_shared<TRegFileStore>(paths));
    LoadSettings();
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

    page->EnterPlaybackPage();
    QCOMPARE(page->ui->cbAoudioOutDevices->currentIndex(), 0);
    Pick("Headphones_Two");
    QCOMPARE(page->ui->tbWaveVolume->value(), int(mm::pulseVolumeToLevel(0x6000)));
    page->ui->tbWaveVolume->setValue(50000);
    QCOMPARE(pactlVolume("sink", "spk2"), long(mm::levelToPulseVolume(50000)));
    QCOMPARE(pactlVolume("sink", "spk1"), 0x2000L);

    // Play goes to the headphones; Stop stores the choice.
    QTest::mouseClick(page->ui->btnPlay, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(NewStreamSinks(), QStringList{"spk2"}, 5000);
    QTest::mouseClick(page->ui->btnStopPlay, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!page->SamplePlayer1->Active(), 2000);

    // The next start finds the headphones selected at their level.
    page.reset();
    SystemTestSettings = {};
    SetSettingsRegistry(std::make_shared<TRegFileStore>(paths));
    LoadSettings();
    page = std::make_unique<TPlaybackPage>(*platform);
    page->show();
    page->EnterPlaybackPage();
    QCOMPARE(page->ui->cbAoudioOutDevices->currentText(), QString("Headphones_Two"));
    QCOMPARE(page->ui->tbWaveVolume->value(), 50000);

    // The microphone loop plays the voice on them.
    known = pactlSinkInputs();
    TMicrophonePage microphone(*platform);
    microphone.show();
    microphone.EnterMicrophonePage();
    QTest::mouseClick(microphone.ui->btnStartMikeTest, Qt::LeftButton);
    QVERIFY(microphone.MikeTestRunning());
    QTRY_COMPARE_WITH_TIMEOUT(NewStreamSinks(), QStringList{"spk2"}, 5000);
    QTest::mouseClick(microphone.ui->btnStopMike, Qt::LeftButton);
    QVERIFY(!microphone.MikeTestRunning());
}

void PlaybackPagePulseTest::aSinkAheadOfTheChosenOneKeepsTheChoice() {
    page->EnterPlaybackPage();
    Pick("Headphones_Two");
    SaveSettings();
    QCOMPARE(SystemTestSettings.AudioOutDeviceID, 1);

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

    page.reset();
    SystemTestSettings = {};
    LoadSettings();
    page = std::make_unique<TPlaybackPage>(*platform);
    page->show();
    page->EnterPlaybackPage();
    QComboBox* list = page->ui->cbAoudioOutDevices;
    QCOMPARE(list->itemText(0), longName + " (Windows Default)"); // the whole description
    QCOMPARE(list->currentText(), QString("Headphones_Two"));
    QCOMPARE(SystemTestSettings.AudioOutDeviceID, 2);
    QCOMPARE(SystemTestSettings.AudioOutDeviceName, std::string("spk2"));
}

QTEST_MAIN(PlaybackPagePulseTest)
#include "PlaybackPagePulseTest.moc"
