#pragma once

// Body of the microphone page: the input device list, the microphone level
// slider, the boost check box, and Start and Stop of the loop that plays the
// captured voice straight back (through GSM 6.10) on the output device.
//
// The window creates the page once and drives it through EnterMicrophonePage,
// StopMikeTest and the push-to-talk pair PushToTalkDown / StopMikeTest.

#include "audio/loopback/PlayThread.h"
#include "platform/audio/WaveTypes.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TMicrophonePage;
}
namespace tavora::platform::audio {
class AudioPlatform;
}

namespace tavora::audio {

class TCaptureStream;
class TPlaybackStream;

class TMicrophonePage : public QWidget {
    Q_OBJECT
public:
    static constexpr std::uint32_t CaptureBufferSize = 813; // half a second of GSM 6.10
    static constexpr int CaptureBuffers = 2;
    static constexpr std::uint8_t PlaybackBuffers = 3;
    // Said when a run ends because a device or the sound server went away.
    static constexpr const char* InputRemovedText =
        "The microphone was removed during the test, so the test has stopped.\n\nConnect it again or choose "
        "another input device, then press Start.";
    static constexpr const char* OutputRemovedText =
        "The playback device was removed during the test, so the test has stopped.\n\nConnect it again or "
        "choose another playback device on the playback page, then press Start.";
    static constexpr const char* ServerStoppedText =
        "The sound server stopped during the test, so the test has stopped.\n\nStart the sound server again "
        "(or log out and back in), then press Start.";

    TMicrophonePage(platform::audio::AudioPlatform& platform, QWidget* parent = nullptr);
    // Ends a run still going.
    ~TMicrophonePage() override;

    // Page entry: lists the input devices, selects the stored one (found by
    // its name where it has moved), reads the levels and the boost, and
    // offers to turn a boost that is on off.
    void EnterMicrophonePage();
    // Ends the running loop (hourglass cursor meanwhile); nothing when none runs.
    void StopMikeTest();
    // Ctrl pressed: starts the loop unless one runs (so auto-repeat does
    // nothing), leaving the buttons as they are. A loop that cannot be
    // prepared ends it silently; a capture device that cannot be opened
    // throws ECaptureStreamError.
    void PushToTalkDown();
    // Builds the loop format, both streams and the relay thread and opens the
    // playback device: 0 when ready, -1 otherwise (with nothing left open).
    // While a run is going it builds nothing and answers -1.
    int PrepareLoopback();
    // Tears the run down: capture, relay thread, playback, in that order.
    void StopLoopback();

    bool MikeTestRunning() const { return mikeTestRunning_; }

    // Handlers.
    void cbMikesChange();
    void tbMikeVolumeChange();
    void cbBoostClick();
    void btnStartMikeClick();
    void btnStopMikeClick();
    void CaptureBufferFull(TCaptureStream* sender, const std::uint8_t* data, int size);
    // A stream of run `run` found its device gone (`input`: the capture
    // device): the run ends and one box says what happened. Nothing when
    // that run is already over.
    void LoopDeviceLost(std::uint64_t run, platform::audio::MmResult code, bool input);

    // The objects of the current run; null between runs.
    TCaptureStream* CaptureStream() const { return captureStream_.get(); }
    TPlaybackStream* PlaybackStream() const { return playbackStream_.get(); }
    TPlayThread* PlayThread() const { return playThread_.get(); }
    // The format both streams of the current (or last) run were opened with.
    const std::vector<std::uint8_t>& LoopFormat() const { return loopFormat_; }

    std::unique_ptr<Ui::TMicrophonePage> ui;

    // The hand-off between the capture handler and the relay thread: created
    // with the page and kept for its life.
    TLoopHandOff HandOff;

private:
    void OpenCapture();
    // Fills the input device list and selects the stored device in it.
    void ListMikes();
    bool AskWarning(const QString& text);
    void RefreshLevels();

    platform::audio::AudioPlatform& platform_;
    bool mikeTestRunning_ = false;
    std::uint64_t runNumber_ = 0; // counts the runs prepared
    std::vector<std::uint8_t> loopFormat_;
    std::unique_ptr<TCaptureStream> captureStream_;
    std::unique_ptr<TPlaybackStream> playbackStream_;
    std::unique_ptr<TPlayThread> playThread_;
    // The sound server's name of each entry of cbMikes.
    std::vector<std::string> deviceNames_;
};

} // namespace tavora::audio
