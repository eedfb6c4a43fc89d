#include "audio/player/PlaybackPage.h"

#include "audio/devices/DeviceLists.h"
#include "audio/devices/MixerControls.h"
#include "audio/player/PlayerLog.h"
#include "audio/player/WaveResource.h"
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

const char* ErrorText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

void SetButtonFont(QWidget* button) {
    QFont font = button->font();
    font.setBold(true);
    font.setPixelSize(16);
    button->setFont(font);
}

} // namespace

TPlaybackPage::TPlaybackPage(platform::audio::AudioPlatform& platform, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TPlaybackPage>()), platform_(platform) {
    ui->setupUi(this);
    setFixedSize(Width, Height);
    SetButtonFont(ui->btnPlay);
    SetButtonFont(ui->btnStopPlay);
    SetFontColour(ui->btnPlay, FontColours::Green);
    SetFontColour(ui->btnStopPlay, FontColours::Maroon);
    SetFontColour(ui->lbPlaying, FontColours::Navy);
    SetFontColour(ui->lbWaveVolAvail, FontColours::Red);
    SetFontColour(ui->Label12, FontColours::Red);
    SetFontColour(ui->Label13, FontColours::Red);

    tmrTimer = new QTimer(this);
    tmrTimer->setInterval(BlinkInterval);
    connect(tmrTimer, &QTimer::timeout, this, [this] { tmrTimerTimer(); });

    SamplePlayer1 = std::make_unique<TSamplePlayer>(platform);
    SamplePlayer1->OnActivate = [this](TWaveEngine* sender) { SamplePlayer1Activate(sender); };
    SamplePlayer1->OnDeactivate = [this](TWaveEngine* sender) { SamplePlayer1Deactivate(sender); };
    SamplePlayer1->OnError = [this](TWaveEngine* sender) { SamplePlayer1Error(sender); };

    connect(ui->btnPlay, &QPushButton::clicked, this, [this] { btnPlayClick(); });
    connect(ui->btnStopPlay, &QPushButton::clicked, this, [this] { btnStopPlayClick(); });
    // Only the participant's picks: filling and selecting from code do not.
    connect(ui->cbAoudioOutDevices, &QComboBox::activated, this, [this] { cbAoudioOutDevicesChange(); });
    // Only the participant's moves write the level; RefreshLevelControls
    // positions the slider with its signals blocked.
    connect(ui->tbWaveVolume, &QSlider::valueChanged, this, [this] { tbWaveVolumeChange(); });
}

TPlaybackPage::~TPlaybackPage() {
    SamplePlayer1.reset();
}

void TPlaybackPage::EnterPlaybackPage() {
    QStringList devices;
    ListWaveOutDevices(platform_, devices, &deviceNames_);
    ui->cbAoudioOutDevices->clear();
    ui->cbAoudioOutDevices->addItems(devices);
    if (devices.isEmpty()) {
        ui->pWaveAvailable->hide();
        ui->pWaveNotAvailable->show();
        ui->btnStopPlay->setEnabled(false);
        ui->btnPlay->setEnabled(false);
        return;
    }
    ui->pWaveAvailable->show();
    ui->pWaveNotAvailable->hide();

    // A device found at another place, or the reset value of a removed one,
    // is stored at the next save.
    ui->cbAoudioOutDevices->setCurrentIndex(KeepStoredDeviceInList(SystemTestSettings.AudioOutDeviceID,
                                                                   SystemTestSettings.AudioOutDeviceName,
                                                                   int(devices.size()), deviceNames_));

    RefreshSpeakerLevel();
    ui->btnStopPlay->setEnabled(false);
    ui->btnPlay->setEnabled(true);
}

void TPlaybackPage::btnPlayClick() {
    // A sample playing, or one still closing after a stop.
    if (SamplePlayer1->Active())
        return;
    std::unique_ptr<QIODevice> stream;
    try {
        SamplePlayer1->SetDeviceID(ui->cbAoudioOutDevices->currentIndex());
        stream = OpenResourceStream("sample", "WAVE");
        SamplePlayer1->Wave().LoadFromStream(*stream);
        stream.reset();
        SamplePlayer1->SetActive(true);
        playing_ = true;
        lost_ = platform::audio::MMSYSERR_NOERROR;
        ui->btnPlay->setEnabled(false);
        ui->btnStopPlay->setEnabled(true);
    } catch (...) {
        qCInfo(lcPlayer) << "the sample cannot be played:" << ErrorText(std::current_exception());
        QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), CannotPlayText,
                        QMessageBox::Ok, this);
        box.exec();
        stream.reset();
        if (SamplePlayer1->Active())
            SamplePlayer1->SetActive(false);
        ui->btnPlay->setEnabled(true);
        ui->btnStopPlay->setEnabled(false);
    }
}

void TPlaybackPage::btnStopPlayClick() {
    StopPlayback();
}

void TPlaybackPage::SamplePlayer1Activate(TWaveEngine*) {
    tmrTimer->start();
    ui->lbPlaying->show();
}

void TPlaybackPage::SamplePlayer1Deactivate(TWaveEngine*) {
    const platform::audio::MmResult lost = std::exchange(lost_, platform::audio::MMSYSERR_NOERROR);
    StopPlayback();
    // The box waits for the page's event loop: this runs inside the
    // player's notification, which a modal box must not hold up.
    if (lost != platform::audio::MMSYSERR_NOERROR)
        QTimer::singleShot(0, this, [this, lost] { ReportLostDevice(lost); });
}

void TPlaybackPage::SamplePlayer1Error(TWaveEngine* sender) {
    const uint32_t code = sender->LastError();
    // A device or server that goes away while the sample plays is no error
    // of the program: the player ends the run by itself, and its
    // deactivation brings the page back to Ready. Everything else stays an
    // error, raised as the player raises it without a handler.
    if (playing_ && platform::audio::waveDeviceGone(code)) {
        lost_ = code;
        return;
    }
    throw EWaveSysError(sender->GetErrorText(code));
}

void TPlaybackPage::ReportLostDevice(platform::audio::MmResult code) {
    const bool serverGone = code == platform::audio::MMSYSERR_NODRIVER;
    qCWarning(lcPlayer) << (serverGone ? "the sound server" : "the playback device")
                        << "went away; sample stopped";
    // With the server gone the list stays as it is, so that Play works
    // again as soon as the server is back; a removed device changes the
    // list, and a Play would otherwise open another device than the one
    // shown.
    if (!serverGone)
        EnterPlaybackPage();
    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                    serverGone ? ServerStoppedText : DeviceRemovedText, QMessageBox::Ok, this);
    box.exec();
}

void TPlaybackPage::tmrTimerTimer() {
    ui->lbPlaying->setVisible(ui->lbPlaying->isHidden());
}

void TPlaybackPage::StopPlayback() {
    playing_ = false;
    if (SamplePlayer1->Active()) {
        SamplePlayer1->SetActive(false);
        try {
            SaveSettings();
        } catch (const ERegistryError& e) {
            const QString message = QString::fromStdString(SaveFailureText(e));
            qCWarning(lcPlayer) << "settings not saved at the stop:" << e.what() << message;
            emit settingsNotSaved(message);
        }
    }
    ui->btnStopPlay->setEnabled(false);
    ui->btnPlay->setEnabled(true);
    tmrTimer->stop();
    ui->lbPlaying->hide();
}

void TPlaybackPage::RefreshSpeakerLevel() {
    RefreshLevelControls(platform_, WaveDeviceNumber(SystemTestSettings.AudioInDeviceID),
                         WaveDeviceNumber(SystemTestSettings.AudioOutDeviceID), nullptr, nullptr,
                         ui->tbWaveVolume, ui->lbWaveVolAvail);
}

void TPlaybackPage::cbAoudioOutDevicesChange() {
    const int picked = ui->cbAoudioOutDevices->currentIndex();
    if (picked < 0)
        return;
    StorePickedDevice(picked, SystemTestSettings.AudioOutDeviceID, SystemTestSettings.AudioOutDeviceName,
                      deviceNames_);
    RefreshSpeakerLevel();
}

void TPlaybackPage::tbWaveVolumeChange() {
    SetSpeakerVolume(platform_, WaveDeviceNumber(SystemTestSettings.AudioOutDeviceID),
                     static_cast<uint16_t>(ui->tbWaveVolume->value()));
}

} // namespace tavora::audio
