#include "audio/loopback/MicrophonePage.h"

#include "audio/devices/CodecFormat.h"
#include "audio/devices/DeviceLists.h"
#include "audio/devices/MixerControls.h"
#include "audio/loopback/CaptureStream.h"
#include "audio/loopback/LoopStreamCommon.h"
#include "audio/loopback/PlaybackStream.h"
#include "controls/Accessibility.h"
#include "controls/FontColour.h"
#include "platform/audio/AudioPlatform.h"
#include "settings/SystemTestSettings.h"
#include "ui_MicrophonePage.h"

#include <QApplication>
#include <QMessageBox>

namespace tavora::audio {

namespace {

// The hourglass from construction to destruction, however the scope is left.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

MicrophonePage::MicrophonePage(platform::audio::AudioPlatform& platform, SystemTestSettings& settings,
                               QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::MicrophonePage>()), platform_(platform), settings_(settings) {
    ui->setupUi(this);
    setFontColour(ui->startButton, FontColours::Green);
    setFontColour(ui->stopButton, FontColours::Red);
    setFontColour(ui->microphoneLevelUnavailableLabel, FontColours::Red);
    setFontColour(ui->noDeviceLabel, FontColours::Maroon);
    ui->inputDeviceList->setKeptEnding(defaultDeviceMark());
    makeAnnouncedLabel(ui->microphoneLevelUnavailableLabel);

    // Only what the participant does runs the handlers: filling the list,
    // positioning the slider and checking the box from code do not.
    connect(ui->inputDeviceList, &QComboBox::activated, this, [this] { onInputDeviceChanged(); });
    connect(ui->microphoneLevelSlider, &QSlider::valueChanged, this, [this] { onMicrophoneLevelChanged(); });
    connect(ui->boostCheckBox, &QCheckBox::clicked, this, [this] { onBoostClicked(); });
    connect(ui->startButton, &QPushButton::clicked, this, [this] { onStartClicked(); });
    connect(ui->stopButton, &QPushButton::clicked, this, [this] { onStopClicked(); });
}

MicrophonePage::~MicrophonePage() {
    stopMikeTest();
    stopLoopback();
}

void MicrophonePage::refreshLevels() {
    refreshLevelControls(platform_, waveDeviceNumber(settings_.audioInDeviceID),
                         waveDeviceNumber(settings_.audioOutDeviceID), ui->microphoneLevelSlider,
                         ui->microphoneLevelUnavailableLabel, nullptr, nullptr);
}

bool MicrophonePage::askWarning(const QString& text) {
    QMessageBox box(QMessageBox::Warning, tr("Warning"), text, QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void MicrophonePage::enterMicrophonePage() {
    // A page entry starts from idle; a run left over would otherwise keep
    // its devices open with no way to stop it.
    stopMikeTest();
    listMikes();
    readDeviceControls();
    mikeTestRunning_ = false;

    if (ui->boostCheckBox->isChecked() && askWarning(tr(
            "Your microphone is currently in \"boost\" mode. This may cause voice echo and increasing of "
            "backgound noise.We recommend that you turn the Microphone Boost off.\r\nDo you want to "
            "turn the microphone boost off?"))) {
        setMicBoost(platform_, waveDeviceNumber(settings_.audioInDeviceID), 0);
        ui->boostCheckBox->setChecked(false);
        ui->boostCheckBox->setText(tr("Microphone Boost"));
    }
}

void MicrophonePage::readDeviceControls() {
    refreshLevels();
    std::uint32_t boost = 0;
    if (getMicBoost(platform_, waveDeviceNumber(settings_.audioInDeviceID), boost)) {
        ui->boostCheckBox->show();
        ui->boostCheckBox->setChecked(boost == 1);
    } else {
        ui->boostCheckBox->hide();
        ui->boostCheckBox->setChecked(false);
    }
    ui->boostCheckBox->setText(ui->boostCheckBox->isChecked()
                                   ? tr("Microphone Boost is ON. It is recommended that you turn this setting OFF.")
                                   : tr("Microphone Boost"));
}

void MicrophonePage::listMikes() {
    QStringList devices;
    listWaveInDevices(platform_, devices, &deviceNames_);
    ui->inputDeviceList->clear();
    ui->inputDeviceList->addItems(devices);
    if (!devices.isEmpty()) {
        ui->devicePanel->show();
        ui->noDevicePanel->hide();
        ui->inputDeviceList->setCurrentIndex(keepStoredDeviceInList(settings_.audioInDeviceID,
                                                            settings_.audioInDeviceName,
                                                            int(devices.size()), deviceNames_));
        ui->stopButton->setEnabled(false);
        ui->startButton->setEnabled(true);
    } else {
        ui->devicePanel->hide();
        ui->noDevicePanel->show();
        ui->stopButton->setEnabled(false);
        ui->startButton->setEnabled(false);
    }
}

void MicrophonePage::onInputDeviceChanged() {
    storePickedDevice(ui->inputDeviceList->currentIndex(), settings_.audioInDeviceID,
                      settings_.audioInDeviceName, deviceNames_);
    readDeviceControls();
}

void MicrophonePage::onMicrophoneLevelChanged() {
    setMicVolume(platform_, waveDeviceNumber(settings_.audioInDeviceID),
                 static_cast<std::uint16_t>(ui->microphoneLevelSlider->value()));
}

void MicrophonePage::onBoostClicked() {
    const std::uint32_t device = waveDeviceNumber(settings_.audioInDeviceID);
    if (ui->boostCheckBox->isChecked()) {
        if (askWarning(
                tr("Boosting your microphone will increase the microphone input level.\r\nOn most system "
                   "however this causes feedback (echo) and increases the level of background noises.\r\nWe "
                   "recommend that you boost your microphone only in case you can't adjust its volume with "
                   "the volume slider.\r\n\r\nDo you want to boost the microphone?"))) {
            ui->boostCheckBox->setText(
                tr("Microphone Boost is ON. It is recommended that you turn this setting OFF."));
            setMicBoost(platform_, device, 1);
        } else {
            ui->boostCheckBox->setChecked(false);
            ui->boostCheckBox->setText(tr("Microphone Boost"));
        }
    } else {
        setMicBoost(platform_, device, 0);
        ui->boostCheckBox->setText(tr("Microphone Boost"));
    }
}

void MicrophonePage::onStartClicked() {
    if (mikeTestRunning_)
        return;
    if (prepareLoopback() != 0) {
        switchEnabled(ui->stopButton, ui->startButton);
        return;
    }
    openCapture();
    mikeTestRunning_ = true;
    switchEnabled(ui->startButton, ui->stopButton);
}

void MicrophonePage::pushToTalkDown() {
    if (mikeTestRunning_)
        return;
    if (prepareLoopback() != 0)
        return;
    openCapture();
    mikeTestRunning_ = true;
}

void MicrophonePage::onStopClicked() {
    stopMikeTest();
}

void MicrophonePage::openCapture() {
    try {
        captureStream_->open(loopFormat_, waveDeviceNumber(settings_.audioInDeviceID));
    } catch (...) {
        // The playback device and the relay thread of this run would
        // otherwise stay open and waiting with nothing to stop them.
        stopLoopback();
        throw;
    }
}

int MicrophonePage::prepareLoopback() {
    if (mikeTestRunning_)
        return -1;
    stopLoopback(); // nothing of an earlier run is reused
    try {
        platform::audio::CodecManager& codecs = platform_.codecManager();
        loopFormat_ = makeLoopFormat(queryMaxFormatSize(codecs));
        if (!loopFormat_.empty()) {
            try {
                findCodecFormat(codecs, loopFormat_);
            } catch (const std::exception& e) {
                qCDebug(lcLoopback) << "keeping the template format:" << e.what();
            }
        }

        captureStream_ = std::make_unique<CaptureStream>(platform_);
        captureStream_->setBufferSize(CaptureBufferSize);
        captureStream_->setNumBuffers(CaptureBuffers);
        captureStream_->onBufferFull = [this](CaptureStream* sender, const std::uint8_t* data, int size) {
            captureBufferFull(sender, data, size);
        };
        // Either stream may find its device gone, the playback stream on the
        // relay thread: the news reaches the page through its event queue,
        // where the run can be taken down safely.
        const std::uint64_t run = ++runNumber_;
        const auto lost = [this, run](bool input) {
            return [this, run, input](platform::audio::MmResult code) {
                QMetaObject::invokeMethod(
                    this, [this, run, code, input] { loopDeviceLost(run, code, input); },
                    Qt::QueuedConnection);
            };
        };
        captureStream_->onDeviceLost = lost(true);

        playbackStream_ = std::make_unique<PlaybackStream>(platform_);
        playbackStream_->onDeviceLost = lost(false);
        playbackStream_->setNumBuffers(PlaybackBuffers);
        playbackStream_->open(loopFormat_, waveDeviceNumber(settings_.audioOutDeviceID));

        playThread_ = std::make_unique<PlayThread>(handOff, *playbackStream_, true);
        playThread_->resume();
        return 0;
    } catch (const std::exception& e) {
        qCDebug(lcLoopback) << "loop not prepared:" << e.what();
        stopLoopback();
        return -1;
    }
}

void MicrophonePage::captureBufferFull(CaptureStream*, const std::uint8_t* data, int size) {
    handOff.put(data, static_cast<std::size_t>(std::max(size, 0)));
}

void MicrophonePage::loopDeviceLost(std::uint64_t run, platform::audio::MmResult code, bool input) {
    if (!mikeTestRunning_ || run != runNumber_)
        return;
    qCWarning(lcLoopback) << (input ? "capture" : "playback") << "device gone, result" << code
                          << "; run ended";
    stopMikeTest();
    const bool serverGone = code == platform::audio::MMSYSERR_NODRIVER;
    // The device list no longer matches the devices: a Start would open
    // another device than the one shown. The slider and the boost box then
    // follow the entry now selected, as they do at page entry.
    if (input && !serverGone) {
        listMikes();
        readDeviceControls();
    }
    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                    QCoreApplication::translate("MicrophonePage",
                                                serverGone ? ServerStoppedText
                                                           : (input ? InputRemovedText : OutputRemovedText)),
                    QMessageBox::Ok, this);
    box.exec();
}

void MicrophonePage::stopLoopback() {
    if (captureStream_)
        captureStream_->close();
    if (playThread_) {
        playThread_->terminate();
        playThread_->waitFor();
    }
    if (playbackStream_)
        playbackStream_->close();
    playThread_.reset();
    captureStream_.reset();
    playbackStream_.reset();
    // A block captured just before the stop must not open the next run.
    handOff.clear();
}

void MicrophonePage::stopMikeTest() {
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
        stopLoopback();
    }
    switchEnabled(ui->stopButton, ui->startButton);
}

} // namespace tavora::audio
