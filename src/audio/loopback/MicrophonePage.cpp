#include "audio/loopback/MicrophonePage.h"

#include "audio/devices/CodecFormat.h"
#include "audio/devices/DeviceLists.h"
#include "audio/devices/MixerControls.h"
#include "audio/loopback/CaptureStream.h"
#include "audio/loopback/LoopStreamCommon.h"
#include "audio/loopback/PlaybackStream.h"
#include "controls/FontColour.h"
#include "platform/audio/AudioPlatform.h"
#include "settings/SystemTestSettings.h"
#include "ui_MicrophonePage.h"

#include <QApplication>
#include <QMessageBox>

namespace tavora::audio {

namespace {

const char* const BoostCaption = "Microphone Boost";
const char* const BoostOnCaption =
    "Microphone Boost is ON. It is recommended that you turn this setting OFF.";
const char* const BoostOnAtEntryQuestion =
    "Your microphone is currently in \"boost\" mode. This may cause voice echo and increasing of backgound "
    "noise.We recommend that you turn the Microphone Boost off.\r\nDo you want to turn the microphone boost "
    "off?";
const char* const BoostQuestion =
    "Boosting your microphone will increase the microphone input level.\r\nOn most system however this "
    "causes "
    "feedback (echo) and increases the level of background noises.\r\nWe recommend that you boost your "
    "microphone only in case you can't adjust its volume with the volume slider.\r\n\r\nDo you want to boost "
    "the microphone?";

// The hourglass from construction to destruction, however the scope is left.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

TMicrophonePage::TMicrophonePage(platform::audio::AudioPlatform& platform, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TMicrophonePage>()), platform_(platform) {
    ui->setupUi(this);
    SetFontColour(ui->btnStartMikeTest, FontColours::Green);
    SetFontColour(ui->btnStopMike, FontColours::Red);
    SetFontColour(ui->lbMikeVolAvail, FontColours::Red);
    SetFontColour(ui->Label29, FontColours::Maroon);

    // Only what the participant does runs the handlers: filling the list,
    // positioning the slider and checking the box from code do not.
    connect(ui->cbMikes, &QComboBox::activated, this, [this] { cbMikesChange(); });
    connect(ui->tbMikeVolume, &QSlider::valueChanged, this, [this] { tbMikeVolumeChange(); });
    connect(ui->cbBoost, &QCheckBox::clicked, this, [this] { cbBoostClick(); });
    connect(ui->btnStartMikeTest, &QPushButton::clicked, this, [this] { btnStartMikeClick(); });
    connect(ui->btnStopMike, &QPushButton::clicked, this, [this] { btnStopMikeClick(); });
}

TMicrophonePage::~TMicrophonePage() {
    StopMikeTest();
    StopLoopback();
}

void TMicrophonePage::RefreshLevels() {
    RefreshLevelControls(platform_, WaveDeviceNumber(SystemTestSettings.AudioInDeviceID),
                         WaveDeviceNumber(SystemTestSettings.AudioOutDeviceID), ui->tbMikeVolume,
                         ui->lbMikeVolAvail, nullptr, nullptr);
}

bool TMicrophonePage::AskWarning(const QString& text) {
    QMessageBox box(QMessageBox::Warning, "Warning", text, QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void TMicrophonePage::EnterMicrophonePage() {
    // A page entry starts from idle; a run left over would otherwise keep
    // its devices open with no way to stop it.
    StopMikeTest();
    ListMikes();
    RefreshLevels();
    mikeTestRunning_ = false;

    std::uint32_t boost = 0;
    if (GetMicBoost(platform_, WaveDeviceNumber(SystemTestSettings.AudioInDeviceID), boost)) {
        ui->cbBoost->show();
        ui->cbBoost->setChecked(boost == 1);
    } else {
        ui->cbBoost->hide();
        ui->cbBoost->setChecked(false);
    }
    if (ui->cbBoost->isChecked()) {
        ui->cbBoost->setText(BoostOnCaption);
        if (AskWarning(BoostOnAtEntryQuestion)) {
            SetMicBoost(platform_, WaveDeviceNumber(SystemTestSettings.AudioInDeviceID), 0);
            ui->cbBoost->setChecked(false);
            ui->cbBoost->setText(BoostCaption);
        }
    } else {
        ui->cbBoost->setText(BoostCaption);
    }
}

void TMicrophonePage::ListMikes() {
    QStringList devices;
    ListWaveInDevices(platform_, devices, &deviceNames_);
    ui->cbMikes->clear();
    ui->cbMikes->addItems(devices);
    if (!devices.isEmpty()) {
        ui->pMikeAvail->show();
        ui->pMikeNotAvail->hide();
        ui->cbMikes->setCurrentIndex(KeepStoredDeviceInList(SystemTestSettings.AudioInDeviceID,
                                                            SystemTestSettings.AudioInDeviceName,
                                                            int(devices.size()), deviceNames_));
        ui->btnStopMike->setEnabled(false);
        ui->btnStartMikeTest->setEnabled(true);
    } else {
        ui->pMikeAvail->hide();
        ui->pMikeNotAvail->show();
        ui->btnStopMike->setEnabled(false);
        ui->btnStartMikeTest->setEnabled(false);
    }
}

void TMicrophonePage::cbMikesChange() {
    StorePickedDevice(ui->cbMikes->currentIndex(), SystemTestSettings.AudioInDeviceID,
                      SystemTestSettings.AudioInDeviceName, deviceNames_);
    RefreshLevels();
}

void TMicrophonePage::tbMikeVolumeChange() {
    SetMicVolume(platform_, WaveDeviceNumber(SystemTestSettings.AudioInDeviceID),
                 static_cast<std::uint16_t>(ui->tbMikeVolume->value()));
}

void TMicrophonePage::cbBoostClick() {
    const std::uint32_t device = WaveDeviceNumber(SystemTestSettings.AudioInDeviceID);
    if (ui->cbBoost->isChecked()) {
        if (AskWarning(BoostQuestion)) {
            ui->cbBoost->setText(BoostOnCaption);
            SetMicBoost(platform_, device, 1);
        } else {
            ui->cbBoost->setChecked(false);
            ui->cbBoost->setText(BoostCaption);
        }
    } else {
        SetMicBoost(platform_, device, 0);
        ui->cbBoost->setText(BoostCaption);
    }
}

void TMicrophonePage::btnStartMikeClick() {
    if (mikeTestRunning_)
        return;
    if (PrepareLoopback() != 0) {
        ui->btnStartMikeTest->setEnabled(true);
        ui->btnStopMike->setEnabled(false);
        return;
    }
    OpenCapture();
    mikeTestRunning_ = true;
    ui->btnStartMikeTest->setEnabled(false);
    ui->btnStopMike->setEnabled(true);
}

void TMicrophonePage::PushToTalkDown() {
    if (mikeTestRunning_)
        return;
    if (PrepareLoopback() != 0)
        return;
    OpenCapture();
    mikeTestRunning_ = true;
}

void TMicrophonePage::btnStopMikeClick() {
    StopMikeTest();
}

void TMicrophonePage::OpenCapture() {
    try {
        captureStream_->Open(loopFormat_, WaveDeviceNumber(SystemTestSettings.AudioInDeviceID));
    } catch (...) {
        // The playback device and the relay thread of this run would
        // otherwise stay open and waiting with nothing to stop them.
        StopLoopback();
        throw;
    }
}

int TMicrophonePage::PrepareLoopback() {
    if (mikeTestRunning_)
        return -1;
    StopLoopback(); // nothing of an earlier run is reused
    try {
        platform::audio::CodecManager& codecs = platform_.codecManager();
        loopFormat_ = MakeLoopFormat(QueryMaxFormatSize(codecs));
        if (!loopFormat_.empty()) {
            try {
                FindCodecFormat(codecs, loopFormat_);
            } catch (const std::exception& e) {
                qCDebug(lcLoopback) << "keeping the template format:" << e.what();
            }
        }

        captureStream_ = std::make_unique<TCaptureStream>(platform_);
        captureStream_->SetBufferSize(CaptureBufferSize);
        captureStream_->SetNumBuffers(CaptureBuffers);
        captureStream_->OnBufferFull = [this](TCaptureStream* sender, const std::uint8_t* data, int size) {
            CaptureBufferFull(sender, data, size);
        };
        // Either stream may find its device gone, the playback stream on the
        // relay thread: the news reaches the page through its event queue,
        // where the run can be taken down safely.
        const std::uint64_t run = ++runNumber_;
        const auto lost = [this, run](bool input) {
            return [this, run, input](platform::audio::MmResult code) {
                QMetaObject::invokeMethod(
                    this, [this, run, code, input] { LoopDeviceLost(run, code, input); },
                    Qt::QueuedConnection);
            };
        };
        captureStream_->OnDeviceLost = lost(true);

        playbackStream_ = std::make_unique<TPlaybackStream>(platform_);
        playbackStream_->OnDeviceLost = lost(false);
        playbackStream_->SetNumBuffers(PlaybackBuffers);
        playbackStream_->Open(loopFormat_, WaveDeviceNumber(SystemTestSettings.AudioOutDeviceID));

        playThread_ = std::make_unique<TPlayThread>(HandOff, *playbackStream_, true);
        playThread_->Resume();
        return 0;
    } catch (const std::exception& e) {
        qCDebug(lcLoopback) << "loop not prepared:" << e.what();
        StopLoopback();
        return -1;
    }
}

void TMicrophonePage::CaptureBufferFull(TCaptureStream*, const std::uint8_t* data, int size) {
    HandOff.Put(data, static_cast<std::size_t>(std::max(size, 0)));
}

void TMicrophonePage::LoopDeviceLost(std::uint64_t run, platform::audio::MmResult code, bool input) {
    if (!mikeTestRunning_ || run != runNumber_)
        return;
    qCWarning(lcLoopback) << (input ? "capture" : "playback") << "device gone, result" << code
                          << "; run ended";
    StopMikeTest();
    const bool serverGone = code == platform::audio::MMSYSERR_NODRIVER;
    // The device list no longer matches the devices: a Start would open
    // another device than the one shown.
    if (input && !serverGone)
        ListMikes();
    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                    serverGone ? ServerStoppedText : (input ? InputRemovedText : OutputRemovedText),
                    QMessageBox::Ok, this);
    box.exec();
}

void TMicrophonePage::StopLoopback() {
    if (captureStream_)
        captureStream_->Close();
    if (playThread_) {
        playThread_->Terminate();
        playThread_->WaitFor();
    }
    if (playbackStream_)
        playbackStream_->Close();
    playThread_.reset();
    captureStream_.reset();
    playbackStream_.reset();
    // A block captured just before the stop must not open the next run.
    HandOff.Clear();
}

void TMicrophonePage::StopMikeTest() {
    if (!mikeTestRunning_)
        return;
    {
        WaitCursor hourglass;
        // Cleared however the stop ends, so that a failed stop does not
        // leave the page believing a run is still going.
        struct ClearRunning {
            bool& running;
            ~ClearRunning() { running = false; }
        } clear{mikeTestRunning_};
        StopLoopback();
    }
    ui->btnStopMike->setEnabled(false);
    ui->btnStartMikeTest->setEnabled(true);
}

} // namespace tavora::audio
