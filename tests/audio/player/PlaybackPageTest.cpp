// The playback page on in-memory devices and an in-memory registry.

#include "audio/player/PlaybackPage.h"
#include "PlayerTestSupport.h"

#include "controls/FontColour.h"
#include "platform/settings/MemoryRegistry.h"
#include "settings/SystemTestSettings.h"
#include "support/MessageBoxCatcher.h"
#include "support/audio/MemoryAudioPlatform.h"
#include "ui_PlaybackPage.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace tavora;

using namespace tavora::audio;
using tavora::test::pump;
using tavora::test::MessageBoxCatcher;
namespace mm = tavora::platform::audio;

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
    void addDevices(int count);
    uint32_t speakerLevel(uint32_t mixer);
    // Plays the sample to its end on the in-memory device.
    void playDeviceToEnd();
    bool settingsWritten() const { return !registry->writes().empty(); }

    std::unique_ptr<mm::MemoryAudioPlatform> platform;
    SystemTestSettings settings;
    std::shared_ptr<MemoryRegistry> registry;
    std::unique_ptr<PlaybackPage> page;
};

void PlaybackPageTest::init() {
    registry = std::make_shared<MemoryRegistry>();
    settings = {};
    platform = std::make_unique<mm::MemoryAudioPlatform>();
    page = std::make_unique<PlaybackPage>(*platform, settings);
    // As the window does: a stop of the sample stores the settings.
    connect(page.get(), &PlaybackPage::saveRequested, this, [this] { saveSettings(settings, *registry); });
    page->show();
}

void PlaybackPageTest::cleanup() {
    page.reset();
    platform.reset();
}

void PlaybackPageTest::addDevices(int count) {
    const char* names[] = {"Speakers One", "Headphones Two", "Monitor Three"};
    for (int k = 0; k < count; ++k) {
        platform->addWaveOut(mm::MemoryWaveDeviceSetup::named(names[k]));
        platform->addMixer(mm::MemoryMixerSetup::standard(names[k], 10000u * (k + 1)));
    }
}

uint32_t PlaybackPageTest::speakerLevel(uint32_t mixer) {
    return platform->findControl(mixer, "Speakers", "Volume")->values.at(0);
}

void PlaybackPageTest::playDeviceToEnd() {
    for (int i = 0; i < 100 && page->samplePlayer->active(); ++i) {
        pump();
        if (auto* device = platform->lastWaveOut())
            device->completeNext();
    }
    pump();
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
    addDevices(devices);
    settings.audioOutDeviceID = stored;
    page->enterPlaybackPage();
    auto& ui = *page->ui;
    QCOMPARE(ui.outputDeviceList->count(), devices);
    QCOMPARE(ui.outputDeviceList->itemText(0), QString("Speakers One (Windows Default)"));
    QCOMPARE(ui.outputDeviceList->currentIndex(), selected);
    QCOMPARE(settings.audioOutDeviceID, selected);
    QVERIFY(!settingsWritten()); // a reset number is stored at the next save only
    QVERIFY(ui.devicePanel->isVisible());
    QVERIFY(!ui.noDevicePanel->isVisible());
    QVERIFY(ui.playButton->isEnabled());
    QVERIFY(!ui.stopButton->isEnabled());
    QVERIFY(ui.playingLabel->isHidden());
    // The slider shows the speaker level of the stored device's mixer.
    QCOMPARE(ui.speakerLevelSlider->value(), 10000 * (selected + 1));
    QVERIFY(ui.speakerLevelUnavailableLabel->isHidden());
    QVERIFY(!settingsWritten());
}

void PlaybackPageTest::withoutDevicesThePageSaysSo() {
    page->enterPlaybackPage();
    auto& ui = *page->ui;
    QVERIFY(!ui.devicePanel->isVisible());
    QVERIFY(ui.noDevicePanel->isVisible());
    QVERIFY(!ui.playButton->isEnabled());
    QVERIFY(!ui.stopButton->isEnabled());
    QCOMPARE(ui.usbHintLabel->text(),
             QString("If you have USB headphones or USB speakers you have to attach them to "
                     "your before you start the wizard."));
    QCOMPARE(fontColour(ui.noDeviceLabel), FontColours::Red);
    QCOMPARE(fontColour(ui.usbHintLabel), FontColours::Red);

    // A device plugged in before the next visit brings the page back.
    addDevices(1);
    page->enterPlaybackPage();
    QVERIFY(ui.devicePanel->isVisible());
    QVERIFY(!ui.noDevicePanel->isVisible());
    QVERIFY(ui.playButton->isEnabled());
}

void PlaybackPageTest::playBlinksTheLabelAndStopSavesTheSettings() {
    addDevices(2);
    settings.audioOutDeviceID = 1;
    page->enterPlaybackPage();
    auto& ui = *page->ui;
    QCOMPARE(page->playingTimer->interval(), 800);
    QCOMPARE(fontColour(ui.playingLabel), FontColours::Navy);
    QCOMPARE(ui.playingLabel->text(), QString("Audio is playing at the moment..."));

    QTest::mouseClick(ui.playButton, Qt::LeftButton);
    // Starting: the device opens, nothing is heard yet.
    QVERIFY(page->samplePlayer->active());
    QCOMPARE(page->samplePlayer->deviceID(), 1);
    QVERIFY(!ui.playButton->isEnabled());
    QVERIFY(ui.stopButton->isEnabled());
    QVERIFY(ui.playingLabel->isHidden());
    QVERIFY(!page->playingTimer->isActive());

    pump(); // the open notification
    QVERIFY(page->playingTimer->isActive());
    QVERIFY(!ui.playingLabel->isHidden());
    page->onPlayingTimer();
    QVERIFY(ui.playingLabel->isHidden());
    page->onPlayingTimer();
    QVERIFY(!ui.playingLabel->isHidden());

    // Play while playing does nothing, even through the handler itself.
    page->onPlayClicked();
    QCOMPARE(platform->openedWaveOuts().size(), size_t{1});

    auto* device = platform->lastWaveOut();
    platform->lastWaveOut()->completeNext();
    pump();
    QVERIFY(!settingsWritten());
    QTest::mouseClick(ui.stopButton, Qt::LeftButton);
    QCOMPARE(device->queued(), size_t{0}); // the sound stops at once
    QVERIFY(settingsWritten());
    QCOMPARE(registry->writes().front().name, std::string("AudioOutDeviceID"));
    QVERIFY(ui.playButton->isEnabled());
    QVERIFY(!ui.stopButton->isEnabled());
    QVERIFY(ui.playingLabel->isHidden());
    QVERIFY(!page->playingTimer->isActive());

    // Until the close notification the player is still closing: Play waits.
    page->onPlayClicked();
    QCOMPARE(platform->openedWaveOuts().size(), size_t{1});
    pump();
    QVERIFY(!page->samplePlayer->active());
    QVERIFY(platform->openedWaveOuts().empty());
    QCOMPARE(registry->writes().size(), size_t{11}); // saved once
}

void PlaybackPageTest::playingToTheEndReturnsToReadyWithoutSaving() {
    addDevices(1);
    page->enterPlaybackPage();
    auto& ui = *page->ui;
    QTest::mouseClick(ui.playButton, Qt::LeftButton);
    pump();
    QVERIFY(!ui.playingLabel->isHidden());
    playDeviceToEnd();
    QVERIFY(!page->samplePlayer->active());
    QVERIFY(ui.playButton->isEnabled());
    QVERIFY(!ui.stopButton->isEnabled());
    QVERIFY(ui.playingLabel->isHidden());
    QVERIFY(!page->playingTimer->isActive());
    QVERIFY(!settingsWritten());

    // And again: each press plays the sample once.
    QTest::mouseClick(ui.playButton, Qt::LeftButton);
    pump();
    QVERIFY(page->samplePlayer->active());
    playDeviceToEnd();
    QVERIFY(ui.playButton->isEnabled());
    QVERIFY(!settingsWritten());
}

void PlaybackPageTest::aDeviceGoneSinceTheListingShowsTheMessageBox() {
    addDevices(2);
    page->enterPlaybackPage();
    auto& ui = *page->ui;
    ui.outputDeviceList->setCurrentIndex(1);
    // The headphones are unplugged while the page shows them.
    platform->clearWaveDevices();
    platform->addWaveOut(mm::MemoryWaveDeviceSetup::named("Speakers One"));

    MessageBoxCatcher boxes;
    QTest::mouseClick(ui.playButton, Qt::LeftButton);
    QCOMPARE(boxes.seen.size(), size_t{1});
    QCOMPARE(boxes.seen[0].text,
             QString("The audio sample cannot be played with the selected playback device!"));
    QCOMPARE(boxes.seen[0].icon, QMessageBox::Critical);
    QCOMPARE(boxes.seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!page->samplePlayer->active());
    QVERIFY(platform->openedWaveOuts().empty());
    QVERIFY(ui.playButton->isEnabled());
    QVERIFY(!ui.stopButton->isEnabled());
    QVERIFY(ui.playingLabel->isHidden());
    QVERIFY(!settingsWritten());

    // The remaining device still plays.
    ui.outputDeviceList->setCurrentIndex(0);
    QTest::mouseClick(ui.playButton, Qt::LeftButton);
    QVERIFY(page->samplePlayer->active());
}

void PlaybackPageTest::aDeviceRefusingTheSampleShowsTheMessageBox() {
    addDevices(1);
    platform->waveOutSetup(0).openResult = mm::MMSYSERR_ALLOCATED;
    page->enterPlaybackPage();
    MessageBoxCatcher boxes;
    page->onPlayClicked();
    QCOMPARE(boxes.texts(), QStringList{PlaybackPage::CannotPlayText});
    pump();
    QVERIFY(!page->samplePlayer->active());
    QVERIFY(page->ui->playButton->isEnabled());
    QVERIFY(!page->ui->stopButton->isEnabled());
}

void PlaybackPageTest::aDeviceGoingAwayWhilePlayingEndsTheRunAndSaysWhy_data() {
    QTest::addColumn<uint32_t>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("listed");
    // A removed device leaves the list shorter; with the server gone the
    // list stays, so that Play works once it is back.
    QTest::newRow("device removed") << mm::MMSYSERR_BADDEVICEID << QString(PlaybackPage::DeviceRemovedText)
                                    << 1;
    QTest::newRow("server stopped") << mm::MMSYSERR_NODRIVER << QString(PlaybackPage::ServerStoppedText)
                                    << 2;
}

void PlaybackPageTest::aDeviceGoingAwayWhilePlayingEndsTheRunAndSaysWhy() {
    QFETCH(uint32_t, code);
    QFETCH(QString, text);
    QFETCH(int, listed);
    addDevices(2);
    settings.audioOutDeviceID = 1;
    page->enterPlaybackPage();
    QTest::mouseClick(page->ui->playButton, Qt::LeftButton);
    pump();
    mm::MemoryWaveOut* device = platform->lastWaveOut();
    QVERIFY(device && device->queued() > 0);
    if (code == mm::MMSYSERR_BADDEVICEID) {
        platform->clearWaveDevices();
        addDevices(1);
    }
    // From now on the device takes nothing: the next buffer back cannot be
    // queued again.
    device->setResult(mm::WaveOp::Write, code);
    MessageBoxCatcher boxes;
    device->completeNext();
    QTRY_VERIFY_WITH_TIMEOUT(!page->samplePlayer->active(), 5000);
    // The box comes up from the page's event loop.
    QTRY_COMPARE_WITH_TIMEOUT(boxes.seen.size(), size_t{1}, 5000);
    QCOMPARE(boxes.seen[0].text, text);
    QCOMPARE(boxes.seen[0].icon, QMessageBox::Warning);
    auto& ui = *page->ui;
    QVERIFY(ui.playButton->isEnabled());
    QVERIFY(!ui.stopButton->isEnabled());
    QVERIFY(ui.playingLabel->isHidden());
    QCOMPARE(ui.outputDeviceList->count(), listed);
    QVERIFY(platform->openedWaveOuts().empty());
}

void PlaybackPageTest::thePickedDeviceIsPlayedLevelledAndStored() {
    addDevices(3);
    settings.audioOutDeviceID = 1;
    page->enterPlaybackPage();
    auto& ui = *page->ui;
    // The participant picks the third device with the keyboard.
    ui.outputDeviceList->setFocus();
    QTest::keyClick(ui.outputDeviceList, Qt::Key_Down);
    QCOMPARE(ui.outputDeviceList->currentIndex(), 2);
    QCOMPARE(settings.audioOutDeviceID, 2);
    QCOMPARE(ui.speakerLevelSlider->value(), 30000); // the slider shows the picked device's level
    ui.speakerLevelSlider->setValue(54321);
    QCOMPARE(speakerLevel(2), 54321u);
    QCOMPARE(speakerLevel(1), 20000u);
    QVERIFY(!settingsWritten());

    QTest::mouseClick(ui.playButton, Qt::LeftButton);
    QCOMPARE(platform->lastWaveOut()->deviceId(), 2u);
    pump();
    // A pick while the sample plays waits for the stop: until then the
    // slider moves the device heard, and the stop stores that one.
    ui.outputDeviceList->setFocus();
    QTest::keyClick(ui.outputDeviceList, Qt::Key_Up);
    ui.speakerLevelSlider->setValue(12345);
    QTest::mouseClick(ui.stopButton, Qt::LeftButton);
    QVERIFY(registry->writes().front().value == RegValue::dword(2));
    QCOMPARE(std::make_tuple(speakerLevel(2), settings.audioOutDeviceID, ui.speakerLevelSlider->value()),
             std::make_tuple(12345u, 1, 20000));
}

void PlaybackPageTest::aDeviceThatMovedIsFoundByItsName() {
    const auto Plug = [&](std::initializer_list<const char*> serverNames) {
        platform->clearWaveDevices();
        for (const char* name : serverNames)
            platform->addWaveOut(mm::MemoryWaveDeviceSetup::named(std::string("Device ") + name, name));
    };
    auto& ui = *page->ui;
    Plug({"spk1", "spk2"});
    page->enterPlaybackPage();
    QCOMPARE(settings.audioOutDeviceName, std::string()); // the default entry: 0 and no name
    ui.outputDeviceList->setFocus();
    QTest::keyClick(ui.outputDeviceList, Qt::Key_Down);
    QCOMPARE(settings.audioOutDeviceName, std::string("spk2"));

    // A headset plugged in ahead of it: the same device stays selected.
    Plug({"usb", "spk1", "spk2"});
    page->enterPlaybackPage();
    QCOMPARE(ui.outputDeviceList->currentText(), QString("Device spk2"));
    QCOMPARE(settings.audioOutDeviceID, 2);

    // Gone: the number decides as without a name, and the name is kept for
    // the device's return.
    Plug({"spk1", "usb"});
    page->enterPlaybackPage();
    QCOMPARE(ui.outputDeviceList->currentIndex(), 0);
    QCOMPARE(settings.audioOutDeviceID, 0);
    QCOMPARE(settings.audioOutDeviceName, std::string("spk2"));
    Plug({"spk1", "usb", "spk2"});
    page->enterPlaybackPage();
    QCOMPARE(settings.audioOutDeviceID, 2);
    QVERIFY(!settingsWritten());
    // The default entry picked: the desktop's default from now on, whichever it is.
    QTest::keyClick(ui.outputDeviceList, Qt::Key_Home);
    QCOMPARE(std::make_pair(settings.audioOutDeviceID, settings.audioOutDeviceName),
             std::make_pair(0, std::string()));
}

void PlaybackPageTest::closingThePageWhilePlayingLetsGoOfTheDevice() {
    addDevices(1);
    page->enterPlaybackPage();
    QTest::mouseClick(page->ui->playButton, Qt::LeftButton);
    pump();
    QCOMPARE(platform->openedWaveOuts().size(), size_t{1});
    page.reset();
    QVERIFY(platform->openedWaveOuts().empty());
    pump();
    QVERIFY(!settingsWritten());
}

QTEST_MAIN(PlaybackPageTest)
#include "PlaybackPageTest.moc"
