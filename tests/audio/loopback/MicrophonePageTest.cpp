// The microphone page on the in-memory audio platform, driven as the
// participant and the window drive it.

#include "audio/loopback/MicrophonePage.h"
#include "audio/loopback/CaptureStream.h"
#include "audio/loopback/PlaybackStream.h"
#include "controls/FontColour.h"
#include "settings/SystemTestSettings.h"
#include "support/MessageBoxCatcher.h"
#include "support/audio/MemoryAudioPlatform.h"
#include "ui_MicrophonePage.h"

#include <QtTest>

using namespace tavora;

using namespace tavora::audio;
using namespace tavora::platform::audio;
using tavora::test::MessageBoxCatcher;

namespace {

const QString BoostCaption = "Microphone Boost";
const QString BoostOnCaption = "Microphone Boost is ON. It is recommended that you turn this setting OFF.";
const QString BoostOnAtEntryQuestion =
    "Your microphone is currently in \"boost\" mode. This may cause voice echo and increasing of backgound "
    "noise.We recommend that you turn the Microphone Boost off.\r\nDo you want to turn the microphone boost "
    "off?";
const QString BoostQuestion =
    "Boosting your microphone will increase the microphone input level.\r\nOn most system however this "
    "causes "
    "feedback (echo) and increases the level of background noises.\r\nWe recommend that you boost your "
    "microphone only in case you can't adjust its volume with the volume slider.\r\n\r\nDo you want to boost "
    "the microphone?";

// On the box itself: the check box takes clicks on its mark and its caption.
void clickBox(MicrophonePage& page) {
    QTest::mouseClick(page.ui->boostCheckBox, Qt::LeftButton, {}, QPoint(6, page.ui->boostCheckBox->height() / 2));
}

std::uint32_t boostValue(MemoryAudioPlatform& platform, std::uint32_t mixer) {
    return platform.findControl(mixer, "Microphone", "Mic Boost")->values.at(0);
}

std::uint32_t micLevel(MemoryAudioPlatform& platform, std::uint32_t mixer) {
    return platform.findControl(mixer, "Microphone", "Microphone Volume")->values.at(0);
}

} // namespace

class MicrophonePageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MemoryAudioPlatform> platform;
    SystemTestSettings settings; // the window's record

    // Two microphones (the first with a boost control, off) and two outputs.
    void addStandardDevices(std::uint32_t boost = 0) {
        platform->addWaveIn(MemoryWaveDeviceSetup::named("Microphone One"));
        platform->addWaveIn(MemoryWaveDeviceSetup::named("USB Headset"));
        platform->addWaveOut(MemoryWaveDeviceSetup::named("Speakers One"));
        platform->addWaveOut(MemoryWaveDeviceSetup::named("Headphones Two"));
        platform->addMixer(MemoryMixerSetup::standard("Mixer One", 30000, 20000, true));
        platform->addMixer(MemoryMixerSetup::standard("Mixer Two", 40000, 50000, false));
        platform->findControl(0, "Microphone", "Mic Boost")->values[0] = boost;
    }

    // The loop in the page relays one captured block to the output device.
    void relayOneBlock(MicrophonePage& page, std::uint8_t tag) {
        MemoryWaveIn* in = platform->lastWaveIn();
        MemoryWaveOut* out = platform->lastWaveOut();
        QVERIFY(in && out);
        const std::vector<std::uint8_t> block(780, tag);
        const auto before = out->played().size();
        QVERIFY(in->deliver(block));
        QTRY_COMPARE(out->queued(), std::size_t{1});
        QVERIFY(out->completeNext());
        QCoreApplication::sendPostedEvents();
        const auto played = out->played();
        QCOMPARE(played.size(), before + block.size());
        QVERIFY(std::equal(block.begin(), block.end(), played.begin() + static_cast<std::ptrdiff_t>(before)));
        QCOMPARE(page.playbackStream()->freeSlots(), std::uint8_t{3});
    }

    void verifyIdle(MicrophonePage& page) {
        QVERIFY(!page.mikeTestRunning());
        QVERIFY(page.ui->startButton->isEnabled());
        QVERIFY(!page.ui->stopButton->isEnabled());
        QVERIFY(!page.captureStream());
        QVERIFY(!page.playbackStream());
        QVERIFY(!page.playThread());
        QVERIFY(platform->openedWaveIns().empty());
        QVERIFY(platform->openedWaveOuts().empty());
        QVERIFY(!QApplication::overrideCursor());
    }

private slots:
    void init() {
        platform = std::make_unique<MemoryAudioPlatform>();
        settings = SystemTestSettings{};
    }
    void cleanup() { platform.reset(); }

    void showsItsControlsAndTexts() {
        addStandardDevices();
        MicrophonePage page(*platform, settings);
        QCOMPARE(page.size(), QSize(442, 321));
        QCOMPARE(page.ui->deviceLabel->text(),
                 QString("Select your input device which your microphone is attached to:"));
        QVERIFY(!page.ui->inputDeviceList->isEditable());
        QCOMPARE(page.ui->levelLabel->text(), QString("Adjust the Microphone Level"));
        QVERIFY(page.ui->levelLabel->font().bold());
        QCOMPARE(page.ui->microphoneLevelUnavailableLabel->text(), QString("Microphone Level Not Available"));
        QCOMPARE(fontColour(page.ui->microphoneLevelUnavailableLabel), FontColours::Red);
        QCOMPARE(page.ui->microphoneLevelSlider->minimum(), 0);
        QCOMPARE(page.ui->microphoneLevelSlider->maximum(), 65535);
        QCOMPARE(page.ui->microphoneLevelSlider->tickPosition(), QSlider::NoTicks);
        QCOMPARE(page.ui->startButton->text(), QString("Start"));
        QVERIFY(page.ui->startButton->font().bold());
        QCOMPARE(page.ui->startButton->palette().color(QPalette::ButtonText), FontColours::Green);
        QCOMPARE(page.ui->stopButton->text(), QString("Stop"));
        QVERIFY(page.ui->stopButton->font().bold());
        QCOMPARE(page.ui->stopButton->palette().color(QPalette::ButtonText), FontColours::Red);
        QCOMPARE(page.ui->boostCheckBox->text(), BoostCaption);
        QCOMPARE(page.ui->noDeviceLabel->text(),
                 QString("The wizard could not detect any audio input device attached."));
        QVERIFY(page.ui->noDeviceLabel->font().bold());
        QCOMPARE(fontColour(page.ui->noDeviceLabel), FontColours::Maroon);
        QVERIFY(page.ui->instructionsLabel->wordWrap());
        QVERIFY(page.ui->instructionsLabel->text().startsWith("Click the Start button. Start talking"));
        QVERIFY(page.ui->troubleshootingLabel->text().startsWith("If you can't hear your voice at all"));
        QVERIFY(page.ui->noDeviceHintLabel->text().startsWith("If you have an audio device attached"));
        QVERIFY(page.ui->usbHintLabel->text().endsWith("select the microphone from the drop-down list above."));
    }

    void entrySelectsTheStoredDeviceAndReadsItsLevel() {
        addStandardDevices();
        settings.audioInDeviceID = 1;
        settings.audioOutDeviceID = 1;
        MicrophonePage page(*platform, settings);
        page.show();
        MessageBoxCatcher boxes{};
        page.enterMicrophonePage();
        QCOMPARE(page.ui->inputDeviceList->count(), 2);
        QCOMPARE(page.ui->inputDeviceList->itemText(0), QString("Microphone One (Windows Default)"));
        QCOMPARE(page.ui->inputDeviceList->itemText(1), QString("USB Headset"));
        QCOMPARE(page.ui->inputDeviceList->currentIndex(), 1);
        QVERIFY(page.ui->devicePanel->isVisible());
        QVERIFY(!page.ui->noDevicePanel->isVisible());
        QVERIFY(page.ui->startButton->isEnabled());
        QVERIFY(!page.ui->stopButton->isEnabled());
        QCOMPARE(page.ui->microphoneLevelSlider->value(), 50000);
        QVERIFY(page.ui->microphoneLevelSlider->isEnabled());
        QVERIFY(!page.ui->microphoneLevelUnavailableLabel->isVisible());
        // Loading the level wrote nothing back.
        QCOMPARE(platform->mixerCounters().detailWrites, 0);
        // Device 1 has no boost control: the box is hidden, nothing is asked.
        QVERIFY(!page.ui->boostCheckBox->isVisible());
        QVERIFY(!page.ui->boostCheckBox->isChecked());
        QCOMPARE(page.ui->boostCheckBox->text(), BoostCaption);
        QVERIFY(boxes.seen.empty());
        QVERIFY(!page.mikeTestRunning());
    }

    void storedDeviceBeyondTheListFallsBackToTheFirst() {
        addStandardDevices();
        settings.audioInDeviceID = 5;
        MicrophonePage page(*platform, settings);
        page.enterMicrophonePage();
        QCOMPARE(page.ui->inputDeviceList->currentIndex(), 0);
        QCOMPARE(settings.audioInDeviceID, 0);
        QCOMPARE(page.ui->microphoneLevelSlider->value(), 20000);
    }

    // The microphone picked is found by its server name after a headset
    // plugged in ahead of it moved it down the list.
    void aPickedMicrophoneIsFoundWhereItMoved() {
        platform->addWaveIn(MemoryWaveDeviceSetup::named("Microphone One", "mic1"));
        platform->addWaveIn(MemoryWaveDeviceSetup::named("Line In", "line"));
        MicrophonePage page(*platform, settings);
        page.show();
        page.enterMicrophonePage();
        QCOMPARE(settings.audioInDeviceName, std::string()); // the default entry: no name
        page.ui->inputDeviceList->setFocus();
        QTest::keyClick(page.ui->inputDeviceList, Qt::Key_Down);
        QCOMPARE(settings.audioInDeviceID, 1);
        QCOMPARE(settings.audioInDeviceName, std::string("line"));

        platform->clearWaveDevices();
        for (const char* name : {"usb", "mic1", "line"})
            platform->addWaveIn(MemoryWaveDeviceSetup::named(name, name));
        page.enterMicrophonePage();
        QCOMPARE(page.ui->inputDeviceList->currentText(), QString("line"));
        QCOMPARE(settings.audioInDeviceID, 2);
    }

    void noInputDevice() {
        platform->addWaveOut(MemoryWaveDeviceSetup::named("Speakers One"));
        platform->addMixer(MemoryMixerSetup::standard("Mixer One", 30000, 20000, true));
        settings.audioInDeviceID = 0;
        MicrophonePage page(*platform, settings);
        page.show();
        page.enterMicrophonePage();
        QCOMPARE(page.ui->inputDeviceList->count(), 0);
        QVERIFY(!page.ui->devicePanel->isVisible());
        QVERIFY(page.ui->noDevicePanel->isVisible());
        QVERIFY(page.ui->noDeviceLabel->isVisible());
        QVERIFY(page.ui->noDeviceHintLabel->isVisible());
        QVERIFY(page.ui->usbHintLabel->isVisible());
        QVERIFY(!page.ui->startButton->isEnabled());
        QVERIFY(!page.ui->stopButton->isEnabled());
        // The boost is still looked up for the stored device number.
        QVERIFY(platform->mixerCounters().detailReads > 0);
    }

    void levelNotAvailable() {
        platform->addWaveIn(MemoryWaveDeviceSetup::named("Microphone One"));
        platform->addWaveOut(MemoryWaveDeviceSetup::named("Speakers One"));
        MicrophonePage page(*platform, settings);
        page.show();
        page.enterMicrophonePage();
        QVERIFY(!page.ui->microphoneLevelSlider->isEnabled());
        QCOMPARE(page.ui->microphoneLevelSlider->value(), 0);
        QVERIFY(page.ui->microphoneLevelUnavailableLabel->isVisible());
        QVERIFY(!page.ui->boostCheckBox->isVisible());
    }

    void boostOnAtEntry_data() {
        QTest::addColumn<bool>("turnOff");
        QTest::newRow("Yes: turned off") << true;
        QTest::newRow("No: stays on") << false;
    }
    void boostOnAtEntry() {
        QFETCH(bool, turnOff);
        addStandardDevices(1);
        MicrophonePage page(*platform, settings);
        page.show();
        MessageBoxCatcher boxes{turnOff ? QMessageBox::Yes : QMessageBox::No};
        page.enterMicrophonePage();
        QCOMPARE(boxes.seen.size(), std::size_t{1});
        QCOMPARE(boxes.seen[0].title, QString("Warning"));
        QCOMPARE(boxes.seen[0].text, BoostOnAtEntryQuestion);
        QCOMPARE(boxes.seen[0].icon, QMessageBox::Warning);
        QCOMPARE(boxes.seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(page.ui->boostCheckBox->isVisible());
        QCOMPARE(page.ui->boostCheckBox->isChecked(), !turnOff);
        QCOMPARE(page.ui->boostCheckBox->text(), turnOff ? BoostCaption : BoostOnCaption);
        QCOMPARE(boostValue(*platform, 0), turnOff ? 0u : 1u);
        QCOMPARE(platform->mixerCounters().detailWrites, turnOff ? 1 : 0);
    }

    // Only exactly 1 reads as on.
    void boostValueOtherThanOneIsOff() {
        addStandardDevices(2);
        MicrophonePage page(*platform, settings);
        page.show();
        MessageBoxCatcher boxes{};
        page.enterMicrophonePage();
        QVERIFY(page.ui->boostCheckBox->isVisible());
        QVERIFY(!page.ui->boostCheckBox->isChecked());
        QVERIFY(boxes.seen.empty());
    }

    void checkingTheBoostBox() {
        addStandardDevices();
        MicrophonePage page(*platform, settings);
        page.show();
        page.enterMicrophonePage();
        const int writesBefore = platform->mixerCounters().detailWrites;

        {
            MessageBoxCatcher boxes{QMessageBox::No};
            clickBox(page);
            QCOMPARE(boxes.seen.size(), std::size_t{1});
            QCOMPARE(boxes.seen[0].title, QString("Warning"));
            QCOMPARE(boxes.seen[0].text, BoostQuestion);
            QCOMPARE(boxes.seen[0].icon, QMessageBox::Warning);
            QVERIFY(!page.ui->boostCheckBox->isChecked());
            QCOMPARE(page.ui->boostCheckBox->text(), BoostCaption);
            QCOMPARE(platform->mixerCounters().detailWrites, writesBefore);
        }
        {
            MessageBoxCatcher boxes{QMessageBox::Yes};
            clickBox(page);
            QCOMPARE(boxes.seen.size(), std::size_t{1});
            QVERIFY(page.ui->boostCheckBox->isChecked());
            QCOMPARE(page.ui->boostCheckBox->text(), BoostOnCaption);
            QCOMPARE(boostValue(*platform, 0), 1u);
        }
        {
            MessageBoxCatcher boxes{};
            clickBox(page);
            QVERIFY(boxes.seen.empty()); // turning it off asks nothing
            QVERIFY(!page.ui->boostCheckBox->isChecked());
            QCOMPARE(page.ui->boostCheckBox->text(), BoostCaption);
            QCOMPARE(boostValue(*platform, 0), 0u);
        }
    }

    void sliderAndDeviceChoice() {
        addStandardDevices();
        MicrophonePage page(*platform, settings);
        page.show();
        page.enterMicrophonePage();
        page.ui->microphoneLevelSlider->setValue(65535);
        QCOMPARE(micLevel(*platform, 0), 65535u);
        page.ui->microphoneLevelSlider->setValue(0);
        QCOMPARE(micLevel(*platform, 0), 0u);

        // Picking the second microphone loads its level without writing it.
        const int writes = platform->mixerCounters().detailWrites;
        page.ui->inputDeviceList->setCurrentIndex(1);
        emit page.ui->inputDeviceList->activated(1);
        QCOMPARE(settings.audioInDeviceID, 1);
        QCOMPARE(page.ui->microphoneLevelSlider->value(), 50000);
        QCOMPARE(platform->mixerCounters().detailWrites, writes);
        page.ui->microphoneLevelSlider->setValue(1234);
        QCOMPARE(micLevel(*platform, 1), 1234u);
        QCOMPARE(micLevel(*platform, 0), 0u);
    }

    void startRunsTheLoopOnceAndStopEndsIt() {
        addStandardDevices();
        settings.audioInDeviceID = 1;
        settings.audioOutDeviceID = 1;
        MicrophonePage page(*platform, settings);
        page.show();
        page.enterMicrophonePage();

        QTest::mouseClick(page.ui->startButton, Qt::LeftButton);
        QVERIFY(page.mikeTestRunning());
        QVERIFY(!page.ui->startButton->isEnabled());
        QVERIFY(page.ui->stopButton->isEnabled());
        QCOMPARE(platform->openedWaveIns().size(), std::size_t{1});
        QCOMPARE(platform->openedWaveOuts().size(), std::size_t{1});
        MemoryWaveIn* in = platform->lastWaveIn();
        MemoryWaveOut* out = platform->lastWaveOut();
        QCOMPARE(in->deviceId(), 1u);
        QCOMPARE(out->deviceId(), 1u);
        // Both streams use the codec's own GSM 6.10 record.
        QCOMPARE(in->format().wFormatTag, WAVE_FORMAT_GSM610);
        QCOMPARE(in->format().nAvgBytesPerSec, 1625u);
        QCOMPARE(in->format().nBlockAlign, std::uint16_t{65});
        QCOMPARE(in->formatRecord(), out->formatRecord());
        QCOMPARE(in->queued(), std::size_t{2});
        QCOMPARE(page.captureStream()->bufferSize(), 813u);

        // A second press changes nothing.
        page.onStartClicked();
        QCOMPARE(platform->openedWaveIns().size(), std::size_t{1});
        QCOMPARE(platform->openedWaveOuts().size(), std::size_t{1});

        relayOneBlock(page, 0x11);
        relayOneBlock(page, 0x22);

        QTest::mouseClick(page.ui->stopButton, Qt::LeftButton);
        verifyIdle(page);
        QVERIFY(!page.handOff.pendingBlock.has_value());

        // Each run builds everything afresh.
        QTest::mouseClick(page.ui->startButton, Qt::LeftButton);
        QVERIFY(page.mikeTestRunning());
        QVERIFY(platform->lastWaveIn() && platform->lastWaveOut());
        relayOneBlock(page, 0x33);
        page.stopMikeTest();
        verifyIdle(page);
    }

    void stopBeforeAnyBlockWasCaptured() {
        addStandardDevices();
        MicrophonePage page(*platform, settings);
        page.enterMicrophonePage();
        page.onStartClicked();
        QVERIFY(page.playThread());
        PlayThread* thread = page.playThread();
        QVERIFY(!thread->finished()); // waiting for a block
        page.onStopClicked();
        verifyIdle(page);
    }

    void aBlockLeftBeforeStartIsNotPlayed() {
        addStandardDevices();
        MicrophonePage page(*platform, settings);
        page.enterMicrophonePage();
        const std::vector<std::uint8_t> stale(65, 0x77);
        page.captureBufferFull(nullptr, stale.data(), 65);
        // Taking a loop down empties the hand-off: no relay thread runs here,
        // so nothing else could have taken the block.
        page.stopLoopback();
        {
            std::lock_guard<std::mutex> lock(page.handOff.bufferLock);
            QVERIFY(!page.handOff.pendingBlock.has_value());
        }
        page.captureBufferFull(nullptr, stale.data(), 65);
        page.onStartClicked();
        QVERIFY(page.mikeTestRunning());
        relayOneBlock(page, 0x01);
        QCOMPARE(platform->lastWaveOut()->played().size(), std::size_t{780});
        page.stopMikeTest();
    }

    // A device (or the server) that goes away ends the run by itself, with
    // one box in words; the list is brought up to date where a microphone
    // went. The playback stream finds its loss on the relay thread.
    void aDeviceGoingAwayEndsTheRunWithOneBox_data() {
        QTest::addColumn<bool>("input");
        QTest::addColumn<std::uint32_t>("code");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("listed");
        QTest::newRow("microphone removed")
            << true << MMSYSERR_BADDEVICEID << QString(MicrophonePage::InputRemovedText) << 1;
        QTest::newRow("server stopped")
            << true << MMSYSERR_NODRIVER << QString(MicrophonePage::ServerStoppedText) << 2;
        QTest::newRow("speakers removed")
            << false << MMSYSERR_BADDEVICEID << QString(MicrophonePage::OutputRemovedText) << 2;
    }

    void aDeviceGoingAwayEndsTheRunWithOneBox() {
        QFETCH(bool, input);
        QFETCH(std::uint32_t, code);
        QFETCH(QString, text);
        QFETCH(int, listed);
        addStandardDevices();
        settings.audioInDeviceID = 1; // the headset, without a boost control
        MicrophonePage page(*platform, settings);
        page.show();
        page.enterMicrophonePage();
        QTest::mouseClick(page.ui->startButton, Qt::LeftButton);
        QVERIFY(page.mikeTestRunning());
        MemoryWaveIn* in = platform->lastWaveIn();
        if (input) {
            in->setResult(WaveOp::Write, code);
            if (code == MMSYSERR_BADDEVICEID) {
                platform->clearWaveDevices();
                platform->addWaveIn(MemoryWaveDeviceSetup::named("Microphone One"));
            }
        } else {
            platform->lastWaveOut()->setResult(WaveOp::Write, code);
        }
        MessageBoxCatcher boxes{QMessageBox::Ok};
        // Both capture buffers come back, as a device that went away sends
        // every buffer back.
        QVERIFY(in->deliver(std::vector<std::uint8_t>(780, 1)));
        QVERIFY(in->deliver(std::vector<std::uint8_t>(780, 2)));
        QTRY_VERIFY_WITH_TIMEOUT(!page.mikeTestRunning(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.seen.size(), std::size_t{1}, 5000);
        QTest::qWait(100); // room for a second box, which must not come
        QCOMPARE(boxes.seen.size(), std::size_t{1});
        QCOMPARE(boxes.seen[0].text, text);
        QCOMPARE(boxes.seen[0].icon, QMessageBox::Warning);
        verifyIdle(page);
        QCOMPARE(page.ui->inputDeviceList->count(), listed);
        // Where the list moved to the first microphone, the slider and the
        // boost box show that one's level and boost.
        QCOMPARE(std::make_pair(page.ui->microphoneLevelSlider->value(), page.ui->boostCheckBox->isVisibleTo(&page)),
                 listed == 1 ? std::make_pair(20000, true) : std::make_pair(50000, false));
    }

    void pushToTalkHeldWithRepeatsThenReleased() {
        addStandardDevices();
        MicrophonePage page(*platform, settings);
        page.show();
        page.enterMicrophonePage();
        page.stopMikeTest(); // a release with no run does nothing
        verifyIdle(page);

        page.pushToTalkDown();
        QVERIFY(page.mikeTestRunning());
        for (int i = 0; i < 5; ++i)
            page.pushToTalkDown(); // auto-repeat
        QCOMPARE(platform->openedWaveIns().size(), std::size_t{1});
        QCOMPARE(platform->openedWaveOuts().size(), std::size_t{1});
        // The buttons keep their states while the key is held.
        QVERIFY(page.ui->startButton->isEnabled());
        QVERIFY(!page.ui->stopButton->isEnabled());
        relayOneBlock(page, 0x44);

        page.stopMikeTest(); // released
        verifyIdle(page);
    }

    void loopThatCannotBePreparedDoesNothingVisible() {
        addStandardDevices();
        platform->waveOutSetup(0).openResult = MMSYSERR_ALLOCATED;
        MicrophonePage page(*platform, settings);
        page.show();
        page.enterMicrophonePage();
        MessageBoxCatcher boxes{};
        QTest::mouseClick(page.ui->startButton, Qt::LeftButton);
        verifyIdle(page);
        page.pushToTalkDown();
        verifyIdle(page);
        QVERIFY(boxes.seen.empty());
        QCOMPARE(page.prepareLoopback(), -1);
        verifyIdle(page);

        // No codec manager size: no format, so nothing opens either.
        platform->waveOutSetup(0).openResult = MMSYSERR_NOERROR;
        platform->codecs().setMaxFormatSize(0);
        page.onStartClicked();
        verifyIdle(page);
    }

    void captureDeviceThatCannotBeOpened() {
        addStandardDevices();
        platform->waveInSetup(0).openResult = MMSYSERR_ALLOCATED;
        MicrophonePage page(*platform, settings);
        page.enterMicrophonePage();
        try {
            page.onStartClicked();
            QFAIL("no error");
        } catch (const CaptureStreamError& e) {
            QCOMPARE(QString(e.what()), QString("WaveIn-Open The specified resource is already in use."));
        }
        // What the run had built, the playback device included, is gone.
        verifyIdle(page);
        QVERIFY_THROWS_EXCEPTION(CaptureStreamError, page.pushToTalkDown());
        verifyIdle(page);

        platform->waveInSetup(0).openResult = MMSYSERR_NOERROR;
        page.onStartClicked();
        QVERIFY(page.mikeTestRunning());
        page.stopMikeTest();
    }

    // The run keeps its device; the new choice applies from the next Start.
    void changingTheDeviceDuringARun() {
        addStandardDevices();
        MicrophonePage page(*platform, settings);
        page.enterMicrophonePage();
        page.onStartClicked();
        page.ui->inputDeviceList->setCurrentIndex(1);
        emit page.ui->inputDeviceList->activated(1);
        QCOMPARE(page.ui->microphoneLevelSlider->value(), 50000);
        QCOMPARE(platform->lastWaveIn()->deviceId(), 0u);
        relayOneBlock(page, 0x55);
        page.stopMikeTest();
        page.onStartClicked();
        QCOMPARE(platform->lastWaveIn()->deviceId(), 1u);
        page.stopMikeTest();
    }

    // Leaving the page or closing the window stops the run first; a page
    // destroyed with a run going (the window closing) leaves nothing open.
    void switchingPageOrClosingDuringARun() {
        addStandardDevices();
        {
            MicrophonePage page(*platform, settings);
            page.enterMicrophonePage();
            page.onStartClicked();
            page.stopMikeTest(); // what the window does before the playback page
            verifyIdle(page);
            page.enterMicrophonePage(); // and coming back
            QVERIFY(!page.mikeTestRunning());
            page.pushToTalkDown();
            QVERIFY(page.mikeTestRunning());
            // Entering the page again while a run goes ends it first.
            page.enterMicrophonePage();
            verifyIdle(page);
            page.onStartClicked();
            QVERIFY(platform->lastWaveIn()->deliver(std::vector<std::uint8_t>(780, 1)));
        }
        QVERIFY(platform->openedWaveIns().empty());
        QVERIFY(platform->openedWaveOuts().empty());
        QCoreApplication::sendPostedEvents();
    }
};

QTEST_MAIN(MicrophonePageTest)
#include "MicrophonePageTest.moc"
