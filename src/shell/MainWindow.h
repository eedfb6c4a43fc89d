#pragma once

#include "settings/SystemTestSettings.h"

#include <QAction>
#include <QWidget>

#include <cstdint>
#include <memory>

namespace Ui {
class MainWindow;
}

namespace tavora {

class ConnectionPage;
class DesktopProxyLookup;
class DisplayMetrics;
class DisplayPage;
class Registry;
class TcpClient;
namespace platform::audio {
class AudioPlatform;
}
namespace audio {
class MicrophonePage;
class PlaybackPage;
} // namespace audio

// What the window is built with; the program's entry passes the real
// desktop's services, tests pass their own.
struct WizardServices {
    const DisplayMetrics& displayMetrics;
    tavora::platform::audio::AudioPlatform& audio;
    // The desktop's proxy configuration, offered in the proxy dialog; none offers nothing.
    std::shared_ptr<DesktopProxyLookup> desktopProxy = nullptr;
    // Where the settings are loaded from and stored; none: the user's
    // settings file.
    std::shared_ptr<Registry> settingsStore = nullptr;
};

// The wizard window: the frame with the page headers and the navigation bar,
// the four stacked page panels, start-up, shut-down and keyboard routing. Page
// bodies are objects of their own; the window reaches them only through the
// page operations below.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 442;
    static constexpr int ClientHeight = 432;

    MainWindow(const QStringList& arguments, const WizardServices& services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Window state.
    int32_t currentPage = 0;
    bool audioOnlyMode = false;
    int32_t notifyMessage = 0;
    int32_t notifyWindow = 0;

    // The settings, loaded at the start; the pages read and change them,
    // and the window alone stores them (saveSettings).
    SystemTestSettings settings;

    std::unique_ptr<Ui::MainWindow> ui;
    QAction* nextTestAction = nullptr;
    QAction* previousTestAction = nullptr;
    ConnectionPage* connectionPage() const { return connectionPage_.get(); }
    // The bodies of the pages after the first, built by ensurePages: once the
    // window has been painted for the first time, or at the first need.
    DisplayPage* displayPage();
    tavora::audio::PlaybackPage* playbackPage();
    tavora::audio::MicrophonePage* microphonePage();
    // Builds the display, playback and microphone page bodies unless built.
    void ensurePages();

    void showPage(int index);

    // Page operations of the audio pages.
    void enterPlaybackPage();
    void stopPlayback();
    void enterMicrophonePage();
    void stopMikeTest();
    int prepareLoopback();

    // Handlers.
    void formCreate(const QStringList& arguments);
    void formShow();
    bool formCloseQuery();
    void formClose();
    void onNextTest();
    void onPreviousTest();
    void acNextTestUpdate();
    void acPrevTestUpdate();
    void onCloseClicked();
    void onVendorLinkClicked();
    bool formKeyDown(int key, bool autoRepeat);
    bool formKeyUp(int key, bool autoRepeat);

    // Whether the window has been closed (there is no way back from that).
    bool closed() const { return closed_; }

    // The page panel that is in front.
    QWidget* frontPage() const;

signals:
    // Storing the settings failed (at a stop of the sample or at the close;
    // the window closes anyway); `message` says so in words.
    void settingsNotSaved(const QString& message);

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUpAppearance();
    void bringToFront(QWidget* page);
    void setUpTabOrder();
    QList<QWidget*> tabStops(QWidget* page) const;
    void focusPage(QWidget* page);
    void updateActions();
    // Stores the settings; a failure is logged (with `when`) and told.
    void saveSettings(const char* when);
    // Tells the participant that the settings cannot be saved, once per run.
    void tellSettingsNotSaved(const QString& message);

    const WizardServices& services_;
    std::shared_ptr<Registry> settingsStore_;
    // The client of the connection test, and the page bodies that use it and
    // the settings: declared after them, so that the pages go first.
    std::unique_ptr<TcpClient> client_;
    std::unique_ptr<ConnectionPage> connectionPage_;
    std::unique_ptr<DisplayPage> displayPage_;
    std::unique_ptr<tavora::audio::PlaybackPage> playbackPage_;
    std::unique_ptr<tavora::audio::MicrophonePage> microphonePage_;
    bool pagesScheduled_ = false;
    bool shown_ = false;
    bool closed_ = false;
    bool toldSettingsNotSaved_ = false;
};

} // namespace tavora
