#pragma once

// Body of the microphone page: the input device list, the microphone level
// slider, the boost check box, and Start and Stop of the loop that plays the
// captured voice straight back (through GSM 6.10) on the output device.
//
// The window creates the page once and drives it through enterMicrophonePage,
// stopMikeTest and the push-to-talk pair pushToTalkDown / stopMikeTest.

#include "audio/loopback/PlayThread.h"
#include "platform/audio/WaveTypes.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class MicrophonePage;
}
namespace tavora {
struct SystemTestSettings;
}
namespace tavora::platform::audio {
class AudioPlatform;
}

namespace tavora::audio {

class CaptureStream;
class PlaybackStream;

class MicrophonePage : public QWidget {
    Q_OBJECT
public:
    static constexpr std::uint32_t CaptureBufferSize = 813; // half a second of GSM 6.10
    static constexpr int CaptureBuffers = 2;
    static constexpr std::uint8_t PlaybackBuffers = 3;
    // Said when a run ends because a device or the sound server went away
    // (translated in the context "MicrophonePage").
    static constexpr const char* InputRemovedText = QT_TRANSLATE_NOOP(
        "MicrophonePage",
        "The microphone was removed during the test, so the test has stopped.\n\nConnect it again or "
        "choose another input device, then press Start.");
    static constexpr const char* OutputRemovedText = QT_TRANSLATE_NOOP(
        "MicrophonePage",
        "The playback device was removed during the test, so the test has stopped.\n\nConnect it "
        "again or choose another playback device on the playback page, then press Start.");
    static constexpr const char* ServerStoppedText = QT_TRANSLATE_NOOP(
        "MicrophonePage",
        "The sound server stopped during the test, so the test has stopped.\n\nStart the sound "
        "server again (or log out and back in), then press Start.");

    // The settings are the window's record: the page keeps the chosen
    // input device in it.
    MicrophonePage(platform::audio::AudioPlatform& platform, SystemTestSettings& settings,
                   QWidget* parent = nullptr);
    // Ends a run still going.
    ~MicrophonePage() override;

    // Page entry: lists the input devices, selects the stored one (found by
    // its name where it has moved), reads the levels and the boost, and
    // offers to turn a boost that is on off.
    void enterMicrophonePage();
    // Ends the running loop (hourglass cursor meanwhile); nothing when none runs.
    void stopMikeTest();
    // Ctrl pressed: starts the loop unless one runs (so auto-repeat does
    // nothing), leaving the buttons as they are. A loop that cannot be
    // prepared ends it silently; a capture device that cannot be opened
    // throws CaptureStreamError.
    void pushToTalkDown();
    // Builds the loop format, both streams and the relay thread and opens the
    // playback device: 0 when ready, -1 otherwise (with nothing left open).
    // While a run is going it builds nothing and answers -1.
    int prepareLoopback();
    // Tears the run down: capture, relay thread, playback, in that order.
    void stopLoopback();

    bool mikeTestRunning() const { return mikeTestRunning_; }

    // Handlers.
    void onInputDeviceChanged();
    void onMicrophoneLevelChanged();
    void onBoostClicked();
    void onStartClicked();
    void onStopClicked();
    void captureBufferFull(CaptureStream* sender, const std::uint8_t* data, int size);
    // A stream of run `run` found its device gone (`input`: the capture
    // device): the run ends and one box says what happened. Nothing when
    // that run is already over.
    void loopDeviceLost(std::uint64_t run, platform::audio::MmResult code, bool input);

    // The objects of the current run; null between runs.
    CaptureStream* captureStream() const { return captureStream_.get(); }
    PlaybackStream* playbackStream() const { return playbackStream_.get(); }
    PlayThread* playThread() const { return playThread_.get(); }
    // The format both streams of the current (or last) run were opened with.
    const std::vector<std::uint8_t>& loopFormat() const { return loopFormat_; }

    std::unique_ptr<Ui::MicrophonePage> ui;

    // The hand-off between the capture handler and the relay thread: created
    // with the page and kept for its life.
    LoopHandOff handOff;

private:
    void openCapture();
    // Fills the input device list and selects the stored device in it.
    void listMikes();
    bool askWarning(const QString& text);
    void refreshLevels();
    // The level slider and the boost box (shown, checked, caption) read
    // from the selected device; run whenever the selection changes.
    void readDeviceControls();

    platform::audio::AudioPlatform& platform_;
    SystemTestSettings& settings_;
    bool mikeTestRunning_ = false;
    std::uint64_t runNumber_ = 0; // counts the runs prepared
    std::vector<std::uint8_t> loopFormat_;
    std::unique_ptr<CaptureStream> captureStream_;
    std::unique_ptr<PlaybackStream> playbackStream_;
    std::unique_ptr<PlayThread> playThread_;
    // The sound server's name of each entry of inputDeviceList.
    std::vector<std::string> deviceNames_;
};

} // namespace tavora::audio
