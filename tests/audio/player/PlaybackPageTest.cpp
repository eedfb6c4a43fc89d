// The playback page on in-memory devices and an in-memory registry.

#include "audio/player/PlaybackPage.h"
#include "PlayerTestSupport.h"

#include "controls/FontColour.h"
#include "platform/settings/MemoryRegistry.h"
#include "settings/SystemTestSettings.h"
#include "support/audio/MemoryAudioPlatform.h"
#include "ui_PlaybackPage.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace tavora::audio;
using tavora::test::Pump;
namespace mm = tavora::platform::audio;

namespace {

struct TBox {
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool seen = false;
};

// Runs `action`; a message box it opens is read and closed with OK.
TBox CatchMessageBox(const std::function<void()>& action) {
    TBox box;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* m = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            box.text = m->text();
            box.icon = m->icon();
            box.buttons = m->standardButtons();
            box.seen = true;
            m->button(QMessageBox::Ok) ? m->button(QMessageBox::Ok)->click() : m->reject();
        }
    });
    poll.start();
    action();
    return box;
}

} // namespace

class PlaybackPageTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void enteringSelectsTheStoredDevice_data();
    void enteringSelectsTheStoredDevice();
    void withoutDevicesThePageSaysSo();
    void playBlinksTheLabelAndStopSavesTheSettings();
    void playingToTheEndReturnsToReadyWithoutSaving();
    void aDeviceGoneSinceTheListingShowsTheMessageBox();
    void aDeviceRefusingTheSampleShowsTheMessageBox();
    void aDeviceGoingAwayWhilePlayingEndsTheRunAndSaysWhy_data();
    void aDeviceGoingAwayWhilePlayingEndsTheRunAndSaysWhy();
    void thePickedDeviceIsPlayedLevelledAndStored();
    void aDeviceThatMovedIsFoundByItsName();
    void closingThePageWhilePlayingLetsGoOfTheDevice();

private:
    void AddDevices(int count);
    uint32_t SpeakerLevel(uint32_t mixer);
    // Plays the sample to its end on the in-memory device.
    void PlayDeviceToEnd();
    bool SettingsWritten() const { return !registry->Writes().empty(); }

    std::unique_ptr<mm::MemoryAudioPlatform> platform;
    std::shared_ptr<TMemoryRegistry> registry;
    std::unique_ptr<TPlaybackPage> page;
};

void PlaybackPageTest::init() {
    registry = std::make_shared<TMemoryRegistry>();
    SetSettingsRegistry(registry);
    SystemTestSettings = {};
    platform = std::make_unique<mm::MemoryAudioPlatform>();
    page = std::make_unique<TPlaybackPage>(*platform);
    page->show();
}

void PlaybackPageTest::cleanup() {
    page.reset();
    platform.reset();
    SetSettingsRegistry(std::make_shared<TMemoryRegistry>());
}

void PlaybackPageTest::AddDevices(int count) {
    const char* names[] = {"Speakers One", "Headphones Two", "Monitor Three"};
    for (int k = 0; k < count; ++k) {
        platform->addWaveOut(mm::MemoryWaveDeviceSetup::named(names[k]));
        platform->addMixer(mm::MemoryMixerSetup::standard(names[k], 10000u * (k + 1)));
    }
}

uint32_t PlaybackPageTest::SpeakerLevel(uint32_t mixer) {
    return platform->findControl(mixer, "Speakers", "Volume")->values.at(0);
}

void PlaybackPageTest::PlayDeviceToEnd() {
    for (int i = 0; i < 100 && page->SamplePlayer1->Active(); ++i) {
        Pump();
        if (auto* device = platform->lastWaveOut())
            device->completeNext();
    }
    Pump();
}

void PlaybackPageTest::enteringSelectsTheStoredDevice_data() {
    QTest::addColumn<int>("devices");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("selected");
    QTest::newRow("stored entry") << 2 << 1 << 1;
    QTest::newRow("beyond the list") << 2 << 2 << 0;
    QTest::newRow("far beyond") << 3 << 40 << 0;
    QTest::newRow("default") << 3 << 0 << 0;
}

void PlaybackPageTest::enteringSelectsTheStoredDevice() {
    QFETCH(int, devices);
    QFETCH(int, stored);
    QFETCH(int, selected);
    AddDevices(devices);
    SystemTestSettings.AudioOutDeviceID = stored;
    page->EnterPlaybackPage();
    auto& ui = *page->ui;
    QCOMPARE(ui.cbAoudioOutDevices->count(), devices);
    QCOMPARE(ui.cbAoudioOutDevices->itemText(0), QString("Speakers One (Windows Default)"));
    QCOMPARE(ui.cbAoudioOutDevices->currentIndex(), selected);
    QCOMPARE(SystemTestSettings.AudioOutDeviceID, selected);
    QVERIFY(!SettingsWritten()); // a reset number is stored at the next save only
    QVERIFY(ui.pWaveAvailable->isVisible());
    QVERIFY(!ui.pWaveNotAvailable->isVisible());
    QVERIFY(ui.btnPlay->isEnabled());
    QVERIFY(!ui.btnStopPlay->isEnabled());
    QVERIFY(ui.lbPlaying->isHidden());
    // The slider shows the speaker level of the stored device's mixer.
    QCOMPARE(ui.tbWaveVolume->value(), 10000 * (selected + 1));
    QVERIFY(ui.lbWaveVolAvail->isHidden());
    QVERIFY(!SettingsWritten());
}

void PlaybackPageTest::withoutDevicesThePageSaysSo() {
    page->EnterPlaybackPage();
    auto& ui = *page->ui;
    QVERIFY(!ui.pWaveAvailable->isVisible());
    QVERIFY(ui.pWaveNotAvailable->isVisible());
    QVERIFY(!ui.btnPlay->isEnabled());
    QVERIFY(!ui.btnStopPlay->isEnabled());
    QCOMPARE(ui.Label13->text(),
             QString("If you have USB headphones or USB speakers you have to attach them to "
                     "your before you start the wizard."));
    QCOMPARE(FontColour(ui.Label12), FontColours::Red);
    QCOMPARE(FontColour(ui.Label13), FontColours::Red);

    // A device plugged in before the next visit brings the page back.
    AddDevices(1);
    page->EnterPlaybackPage();
    QVERIFY(ui.pWaveAvailable->isVisible());
    QVERIFY(!ui.pWaveNotAvailable->isVisible());
    QVERIFY(ui.btnPlay->isEnabled());
}

void PlaybackPageTest::playBlinksTheLabelAndStopSavesTheSettings() {
    AddDevices(2);
    SystemTestSettings.AudioOutDeviceID = 1;
    page->EnterPlaybackPage();
    auto& ui = *page->ui;
    QCOMPARE(page->tmrTimer->interval(), 800);
    QCOMPARE(FontColour(ui.lbPlaying), FontColours::Navy);
    QCOMPARE(ui.lbPlaying->text(), QString("Audio is playing at the moment..."));

    QTest::mouseClick(ui.btnPlay, Qt::LeftButton);
    // Starting: the device opens, nothing is heard yet.
    QVERIFY(page->SamplePlayer1->Active());
    QCOMPARE(page->SamplePlayer1->DeviceID(), 1);
    QVERIFY(!ui.btnPlay->isEnabled());
    QVERIFY(ui.btnStopPlay->isEnabled());
    QVERIFY(ui.lbPlaying->isHidden());
    QVERIFY(!page->tmrTimer->isActive());

    Pump(); // the open notification
    QVERIFY(page->tmrTimer->isActive());
    QVERIFY(!ui.lbPlaying->isHidden());
    page->tmrTimerTimer();
    QVERIFY(ui.lbPlaying->isHidden());
    page->tmrTimerTimer();
    QVERIFY(!ui.lbPlaying->isHidden());

    // Play while playing does nothing, even through the handler itself.
    page->btnPlayClick();
    QCOMPARE(platform->openedWaveOuts().size(), size_t{1});

    auto* device = platform->lastWaveOut();
    platform->lastWaveOut()->completeNext();
    Pump();
    QVERIFY(!SettingsWritten());
    QTest::mouseClick(ui.btnStopPlay, Qt::LeftButton);
    QCOMPARE(device->queued(), size_t{0}); // the sound stops at once
    QVERIFY(SettingsWritten());
    QCOMPARE(registry->Writes().front().Name, std::string("AudioOutDeviceID"));
    QVERIFY(ui.btnPlay->isEnabled());
    QVERIFY(!ui.btnStopPlay->isEnabled());
    QVERIFY(ui.lbPlaying->isHidden());
    QVERIFY(!page->tmrTimer->isActive());

    // Until the close notification the player is still closing: Play waits.
    page->btnPlayClick();
    QCOMPARE(platform->openedWaveOuts().size(), size_t{1});
    Pump();
    QVERIFY(!page->SamplePlayer1->Active());
    QVERIFY(platform->openedWaveOuts().empty());
    QCOMPARE(registry->Writes().size(), size_t{11}); // saved once
}

void PlaybackPageTest::playingToTheEndReturnsToReadyWithoutSaving() {
    AddDevices(1);
    page->EnterPlaybackPage();
    auto& ui = *page->ui;
    QTest::mouseClick(ui.btnPlay, Qt::LeftButton);
    Pump();
    QVERIFY(!ui.lbPlaying->isHidden());
    PlayDeviceToEnd();
    QVERIFY(!page->SamplePlayer1->Active());
    QVERIFY(ui.btnPlay->isEnabled());
    QVERIFY(!ui.btnStopPlay->isEnabled());
    QVERIFY(ui.lbPlaying->isHidden());
    QVERIFY(!page->tmrTimer->isActive());
    QVERIFY(!SettingsWritten());

    // And again: each press plays the sample once.
    QTest::mouseClick(ui.btnPlay, Qt::LeftButton);
    Pump();
    QVERIFY(page->SamplePlayer1->Active());
    PlayDeviceToEnd();
    QVERIFY(ui.btnPlay->isEnabled());
    QVERIFY(!SettingsWritten());
}

void PlaybackPageTest::aDeviceGoneSinceTheListingShowsTheMessageBox() {
    AddDevices(2);
    page->EnterPlaybackPage();
    auto& ui = *page->ui;
    ui.cbAoudioOutDevices->setCurrentIndex(1);
    // The headphones are unplugged while the page shows them.
    platform->clearWaveDevices();
    platform->addWaveOut(mm::MemoryWaveDeviceSetup::named("Speakers One"));

    const TBox box = CatchMessageBox([&] { QTest::mouseClick(ui.btnPlay, Qt::LeftButton); });
    QVERIFY(box.seen);
    QCOMPARE(box.text, QString("The audio sample cannot be played with the selected playback device!"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!page->SamplePlayer1->Active());
    QVERIFY(platform->openedWaveOuts().empty());
    QVERIFY(ui.btnPlay->isEnabled());
    QVERIFY(!ui.btnStopPlay->isEnabled());
    QVERIFY(ui.lbPlaying->isHidden());
    QVERIFY(!SettingsWritten());

    // The remaining device still plays.
    ui.cbAoudioOutDevices->setCurrentIndex(0);
    QTest::mouseClick(ui.btnPlay, Qt::LeftButton);
    QVERIFY(page->SamplePlayer1->Active());
}

void PlaybackPageTest::aDeviceRefusingTheSampleShowsTheMessageBox() {
    AddDevices(1);
    platform->waveOutSetup(0).openResult = mm::MMSYSERR_ALLOCATED;
    page->EnterPlaybackPage();
    const TBox box = CatchMessageBox([&] { page->btnPlayClick(); });
    QVERIFY(box.seen);
    QCOMPARE(box.text, QString(TPlaybackPage::CannotPlayText));
    Pump();
    QVERIFY(!page->SamplePlayer1->Active());
    QVERIFY(page->ui->btnPlay->isEnabled());
    QVERIFY(!page->ui->btnStopPlay->isEnabled());
}

void PlaybackPageTest::aDeviceGoingAwayWhilePlayingEndsTheRunAndSaysWhy_data() {
    QTest::addColumn<uint32_t>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("listed");
    // A removed device leaves the list shorter; with the server gone the
    // list stays, so that Play works once it is back.
    QTest::newRow("device removed") << mm::MMSYSERR_BADDEVICEID << QString(TPlaybackPage::DeviceRemovedText)
                                    << 1;
    QTest::newRow("server stopped") << mm::MMSYSERR_NODRIVER << QString(TPlaybackPage::ServerStoppedText)
                                    << 2;
}

void PlaybackPageTest::aDeviceGoingAwayWhilePlayingEndsTheRunAndSaysWhy() {
    QFETCH(uint32_t, code);
    QFETCH(QString, text);
    QFETCH(int, listed);
    AddDevices(2);
    SystemTestSettings.AudioOutDeviceID = 1;
    page->EnterPlaybackPage();
    QTest::mouseClick(page->ui->btnPlay, Qt::LeftButton);
    Pump();
    mm::MemoryWaveOut* device = platform->lastWaveOut();
    QVERIFY(device && device->queued() > 0);
    if (code == mm::MMSYSERR_BADDEVICEID) {
        platform->clearWaveDevices();
        AddDevices(1);
    }
    // From now on the device takes nothing: the next buffer back cannot be
    // queued again.
    device->setResult(mm::WaveOp::Write, code);
    const TBox box = CatchMessageBox([&] {
        device->completeNext();
        QTRY_VERIFY_WITH_TIMEOUT(!page->SamplePlayer1->Active(), 5000);
        QTest::qWait(100); // the box comes up from the page's event loop
    });
    QVERIFY(box.seen);
    QCOMPARE(box.text, text);
    QCOMPARE(box.icon, QMessageBox::Warning);
    auto& ui = *page->ui;
    QVERIFY(ui.btnPlay->isEnabled());
    QVERIFY(!ui.btnStopPlay->isEnabled());
    QVERIFY(ui.lbPlaying->isHidden());
    QCOMPARE(ui.cbAoudioOutDevices->count(), listed);
    QVERIFY(platform->openedWaveOuts().empty());
}

void PlaybackPageTest::thePickedDeviceIsPlayedLevelledAndStored() {
    AddDevices(3);
    SystemTestSettings.AudioOutDeviceID = 1;
    page->EnterPlaybackPage();
    auto& ui = *page->ui;
    // The participant picks the third device with the keyboard.
    ui.cbAoudioOutDevices->setFocus();
    QTest::keyClick(ui.cbAoudioOutDevices, Qt::Key_Down);
    QCOMPARE(ui.cbAoudioOutDevices->currentIndex(), 2);
    QCOMPARE(SystemTestSettings.AudioOutDeviceID, 2);
    QCOMPARE(ui.tbWaveVolume->value(), 30000); // the slider shows the picked device's level
    ui.tbWaveVolume->setValue(54321);
    QCOMPARE(SpeakerLevel(2), 54321u);
    QCOMPARE(SpeakerLevel(1), 20000u);
    QVERIFY(!SettingsWritten());

    QTest::mouseClick(ui.btnPlay, Qt::LeftButton);
    QCOMPARE(platform->lastWaveOut()->deviceId(), 2u);
    Pump();
    QTest::mouseClick(ui.btnStopPlay, Qt::LeftButton);
    QVERIFY(registry->Writes().front().Value == TRegValue::Dword(2));
}

void PlaybackPageTest::aDeviceThatMovedIsFoundByItsName() {
    const auto Plug = [&](std::initializer_list<const char*> serverNames) {
        platform->clearWaveDevices();
        for (const char* name : serverNames)
            platform->addWaveOut(mm::MemoryWaveDeviceSetup::named(std::string("Device ") + name, name));
    };
    auto& ui = *page->ui;
    Plug({"spk1", "spk2"});
    page->EnterPlaybackPage();
    QCOMPARE(SystemTestSettings.AudioOutDeviceName, std::string("spk1")); // what was selected is remembered
    ui.cbAoudioOutDevices->setFocus();
    QTest::keyClick(ui.cbAoudioOutDevices, Qt::Key_Down);
    QCOMPARE(SystemTestSettings.AudioOutDeviceName, std::string("spk2"));

    // A headset plugged in ahead of it: the same device stays selected.
    Plug({"usb", "spk1", "spk2"});
    page->EnterPlaybackPage();
    QCOMPARE(ui.cbAoudioOutDevices->currentText(), QString("Device spk2"));
    QCOMPARE(SystemTestSettings.AudioOutDeviceID, 2);

    // Gone: the number decides as without a name, and the name is kept for
    // the device's return.
    Plug({"spk1", "usb"});
    page->EnterPlaybackPage();
    QCOMPARE(ui.cbAoudioOutDevices->currentIndex(), 0);
    QCOMPARE(SystemTestSettings.AudioOutDeviceID, 0);
    QCOMPARE(SystemTestSettings.AudioOutDeviceName, std::string("spk2"));
    Plug({"spk1", "usb", "spk2"});
    page->EnterPlaybackPage();
    QCOMPARE(SystemTestSettings.AudioOutDeviceID, 2);
    QVERIFY(!SettingsWritten());
}

void PlaybackPageTest::closingThePageWhilePlayingLetsGoOfTheDevice() {
    AddDevices(1);
    page->EnterPlaybackPage();
    QTest::mouseClick(page->ui->btnPlay, Qt::LeftButton);
    Pump();
    QCOMPARE(platform->openedWaveOuts().size(), size_t{1});
    page.reset();
    QVERIFY(platform->openedWaveOuts().empty());
    Pump();
    QVERIFY(!SettingsWritten());
}

QTEST_MAIN(PlaybackPageTest)
#include "PlaybackPageTest.moc"
