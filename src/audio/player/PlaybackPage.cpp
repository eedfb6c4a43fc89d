#include "audio/player/PlaybackPage.h"

#include "audio/devices/DeviceLists.h"
#include "audio/devices/MixerControls.h"
#include "audio/player/PlayerLog.h"
#include "audio/player/WaveResource.h"
#include "controls/Accessibility.h"
#include "controls/FontColour.h"
#include "platform/audio/AudioPlatform.h"
#include "settings/SystemTestSettings.h"
#include "ui_PlaybackPage.h"

#include <QApplication>
#include <QIODevice>
#include <QMessageBox>
#include <QTimer>

#include <exception>
#include <utility>

namespace tavora::audio {

namespace {

const char* errorText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

void setButtonFont(QWidget* button) {
    QFont font = button->font();
    font.setBold(true);
    font.setPixelSize(16);
    button->setFont(font);
}

} // namespace

PlaybackPage::PlaybackPage(platform::audio::AudioPlatform& platform, SystemTestSettings& settings,
                           QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::PlaybackPage>()), platform_(platform), settings_(settings) {
    ui->setupUi(this);
    setFixedSize(Width, Height);
    setButtonFont(ui->playButton);
    setButtonFont(ui->stopButton);
    setFontColour(ui->playButton, FontColours::Green);
    setFontColour(ui->stopButton, FontColours::Maroon);
    setFontColour(ui->playingLabel, FontColours::Navy);
    setFontColour(ui->speakerLevelUnavailableLabel, FontColours::Red);
    setFontColour(ui->noDeviceLabel, FontColours::Red);
    setFontColour(ui->usbHintLabel, FontColours::Red);
    ui->outputDeviceList->setKeptEnding(defaultDeviceMark());
    // Told when they appear: the playing text when the sound starts (its
    // blinks are not), the missing level when the page is entered.
    makeAnnouncedLabel(ui->playingLabel);
    makeAnnouncedLabel(ui->speakerLevelUnavailableLabel);

    playingTimer = new QTimer(this);
    playingTimer->setInterval(BlinkInterval);
    connect(playingTimer, &QTimer::timeout, this, [this] { onPlayingTimer(); });

    samplePlayer = std::make_unique<SamplePlayer>(platform);
    samplePlayer->onActivate = [this](WaveEngine* sender) { onSamplePlayerActivate(sender); };
    samplePlayer->onDeactivate = [this](WaveEngine* sender) { onSamplePlayerDeactivate(sender); };
    samplePlayer->onError = [this](WaveEngine* sender) { onSamplePlayerError(sender); };

    connect(ui->playButton, &QPushButton::clicked, this, [this] { onPlayClicked(); });
    connect(ui->stopButton, &QPushButton::clicked, this, [this] { onStopClicked(); });
    // Only the participant's picks: filling and selecting from code do not.
    connect(ui->outputDeviceList, &QComboBox::activated, this, [this] { onOutputDeviceChanged(); });
    // Only the participant's moves write the level; refreshLevelControls
    // positions the slider with its signals blocked.
    connect(ui->speakerLevelSlider, &QSlider::valueChanged, this, [this] { onSpeakerLevelChanged(); });
}

PlaybackPage::~PlaybackPage() {
    samplePlayer.reset();
}

void PlaybackPage::enterPlaybackPage() {
    QStringList devices;
    listWaveOutDevices(platform_, devices, &deviceNames_);
    ui->outputDeviceList->clear();
    ui->outputDeviceList->addItems(devices);
    if (devices.isEmpty()) {
        ui->devicePanel->hide();
        ui->noDevicePanel->show();
        ui->stopButton->setEnabled(false);
        ui->playButton->setEnabled(false);
        return;
    }
    ui->devicePanel->show();
    ui->noDevicePanel->hide();

    // A device found at another place, or the reset value of a removed one,
    // is stored at the next save.
    ui->outputDeviceList->setCurrentIndex(keepStoredDeviceInList(settings_.audioOutDeviceID,
                                                                   settings_.audioOutDeviceName,
                                                                   int(devices.size()), deviceNames_));

    refreshSpeakerLevel();
    ui->stopButton->setEnabled(false);
    ui->playButton->setEnabled(true);
}

void PlaybackPage::onPlayClicked() {
    // A sample playing, or one still closing after a stop.
    if (samplePlayer->active())
        return;
    std::unique_ptr<QIODevice> stream;
    try {
        samplePlayer->setDeviceID(ui->outputDeviceList->currentIndex());
        stream = openResourceStream("sample", "WAVE");
        samplePlayer->wave().loadFromStream(*stream);
        stream.reset();
        samplePlayer->setActive(true);
        playing_ = true;
        lost_ = platform::audio::MMSYSERR_NOERROR;
        switchEnabled(ui->playButton, ui->stopButton);
    } catch (...) {
        qCInfo(lcPlayer) << "the sample cannot be played:" << errorText(std::current_exception());
        QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(),
                        QCoreApplication::translate("PlaybackPage", CannotPlayText), QMessageBox::Ok, this);
        box.exec();
        stream.reset();
        if (samplePlayer->active())
            samplePlayer->setActive(false);
        switchEnabled(ui->stopButton, ui->playButton);
    }
}

void PlaybackPage::onStopClicked() {
    stopPlayback();
}

void PlaybackPage::onSamplePlayerActivate(WaveEngine*) {
    playingTimer->start();
    ui->playingLabel->show();
}

void PlaybackPage::onSamplePlayerDeactivate(WaveEngine*) {
    const platform::audio::MmResult lost = std::exchange(lost_, platform::audio::MMSYSERR_NOERROR);
    stopPlayback();
    // The box waits for the page's event loop: this runs inside the
    // player's notification, which a modal box must not hold up.
    if (lost != platform::audio::MMSYSERR_NOERROR)
        QTimer::singleShot(0, this, [this, lost] { reportLostDevice(lost); });
}

void PlaybackPage::onSamplePlayerError(WaveEngine* sender) {
    const uint32_t code = sender->lastError();
    // A device or server that goes away while the sample plays is no error
    // of the program: the player ends the run by itself, and its
    // deactivation brings the page back to Ready. Everything else stays an
    // error, raised as the player raises it without a handler.
    if (playing_ && platform::audio::waveDeviceGone(code)) {
        lost_ = code;
        return;
    }
    throw WaveSysError(sender->getErrorText(code));
}

void PlaybackPage::reportLostDevice(platform::audio::MmResult code) {
    const bool serverGone = code == platform::audio::MMSYSERR_NODRIVER;
    qCWarning(lcPlayer) << (serverGone ? "the sound server" : "the playback device")
                        << "went away; sample stopped";
    // With the server gone the list stays as it is, so that Play works
    // again as soon as the server is back; a removed device changes the
    // list, and a Play would otherwise open another device than the one
    // shown.
    if (!serverGone)
        enterPlaybackPage();
    QMessageBox box(
        QMessageBox::Warning, QApplication::applicationDisplayName(),
        QCoreApplication::translate("PlaybackPage", serverGone ? ServerStoppedText : DeviceRemovedText),
        QMessageBox::Ok, this);
    box.exec();
}

void PlaybackPage::onPlayingTimer() {
    setVisibleQuietly(ui->playingLabel, ui->playingLabel->isHidden());
}

void PlaybackPage::stopPlayback() {
    playing_ = false;
    if (samplePlayer->active()) {
        samplePlayer->setActive(false);
        emit saveRequested();
    }
    switchEnabled(ui->stopButton, ui->playButton);
    playingTimer->stop();
    ui->playingLabel->hide();
    // A device picked while the sample played takes over now that nothing
    // plays: after the save above, which stored the device heard.
    if (ui->outputDeviceList->currentIndex() >= 0 &&
        ui->outputDeviceList->currentIndex() != settings_.audioOutDeviceID)
        onOutputDeviceChanged();
}

void PlaybackPage::refreshSpeakerLevel() {
    refreshLevelControls(platform_, waveDeviceNumber(settings_.audioInDeviceID),
                         waveDeviceNumber(settings_.audioOutDeviceID), nullptr, nullptr,
                         ui->speakerLevelSlider, ui->speakerLevelUnavailableLabel);
}

void PlaybackPage::onOutputDeviceChanged() {
    const int picked = ui->outputDeviceList->currentIndex();
    // While the sample plays, the slider and the stored choice stay with
    // the device heard; stopPlayback applies the pick.
    if (picked < 0 || playing_)
        return;
    storePickedDevice(picked, settings_.audioOutDeviceID, settings_.audioOutDeviceName,
                      deviceNames_);
    refreshSpeakerLevel();
}

void PlaybackPage::onSpeakerLevelChanged() {
    setSpeakerVolume(platform_, waveDeviceNumber(settings_.audioOutDeviceID),
                     static_cast<uint16_t>(ui->speakerLevelSlider->value()));
}

} // namespace tavora::audio
