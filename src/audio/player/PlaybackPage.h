#pragma once

// Body of the playback page: the output device list, the speaker level
// slider, and Play and Stop of the built-in voice sample with the blinking
// "playing" label.
//
// The window creates the page once (it owns the page, and through it the
// player samplePlayer and the timer playingTimer) and drives it through
// enterPlaybackPage, each time the page is shown, and stopPlayback, when the
// page is left or the window's Close button is pressed.

#include "audio/player/SamplePlayer.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QTimer;
namespace Ui {
class PlaybackPage;
}
namespace tavora {
struct SystemTestSettings;
}
namespace tavora::platform::audio {
class AudioPlatform;
}

namespace tavora::audio {

class PlaybackPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int Width = 442;
    static constexpr int Height = 321;
    static constexpr int BlinkInterval = 800;
    // The texts of the message boxes (translated in the context "PlaybackPage").
    static constexpr const char* CannotPlayText = QT_TRANSLATE_NOOP(
        "PlaybackPage", "The audio sample cannot be played with the selected playback device!");
    // Said when the sample stops because its device or the sound server
    // went away.
    static constexpr const char* DeviceRemovedText = QT_TRANSLATE_NOOP(
        "PlaybackPage",
        "The playback device was removed while the sample was playing, so it has stopped.\n\nConnect "
        "it again or choose another device from the list, then press Play.");
    static constexpr const char* ServerStoppedText = QT_TRANSLATE_NOOP(
        "PlaybackPage",
        "The sound server stopped while the sample was playing, so it has stopped.\n\nStart the "
        "sound server again (or log out and back in), then press Play.");

    // The settings are the window's record: the page keeps the chosen device
    // in it, and asks the window to store it (saveRequested).
    PlaybackPage(platform::audio::AudioPlatform& platform, SystemTestSettings& settings,
                 QWidget* parent = nullptr);
    // The player goes with the page; a sample still playing ends here.
    ~PlaybackPage() override;

    // Page entry: lists the output devices, selects the stored one (found by
    // its name where it has moved, entry 0 when it is gone and its number is
    // beyond the list), loads its speaker level and enables Play.
    void enterPlaybackPage();
    // Stops a playing sample (storing the settings when one was playing) and
    // resets the buttons, the timer and the label.
    void stopPlayback();

    // Handlers.
    void onPlayClicked();
    void onStopClicked();
    void onSamplePlayerActivate(WaveEngine* sender);
    void onSamplePlayerDeactivate(WaveEngine* sender);
    void onSamplePlayerError(WaveEngine* sender);
    void onPlayingTimer();
    void onSpeakerLevelChanged();
    // The participant picked another output device: it becomes the stored
    // one, so the speaker slider, the microphone loop and the classroom
    // client all use the device that was heard. A pick made while the
    // sample plays waits until it stops, and the next Play plays it.
    void onOutputDeviceChanged();

signals:
    // A stop of a playing sample: the settings, with the device heard, are
    // to be stored now.
    void saveRequested();

public:
    std::unique_ptr<Ui::PlaybackPage> ui;
    QTimer* playingTimer = nullptr;
    // Declared after the form: it goes first, while the controls its events
    // reach are still there.
    std::unique_ptr<SamplePlayer> samplePlayer;

private:
    // Once the device or the server has gone away and the sample stopped:
    // the list is brought up to date where a device went, and a box says
    // what happened.
    void reportLostDevice(platform::audio::MmResult code);
    // The speaker slider and its label follow the mixer of AudioOutDeviceID.
    void refreshSpeakerLevel();

    platform::audio::AudioPlatform& platform_;
    SystemTestSettings& settings_;
    bool playing_ = false;                                               // Play opened the device
    platform::audio::MmResult lost_ = platform::audio::MMSYSERR_NOERROR; // why it went away
    // The sound server's name of each entry of outputDeviceList.
    std::vector<std::string> deviceNames_;
};

} // namespace tavora::audio
