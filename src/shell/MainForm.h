#pragma once

#include <QAction>
#include <QWidget>

#include <cstdint>
#include <memory>

class TComponent;
class TConnectionPage;
class TDesktopProxyLookup;
class TDisplayMetrics;
class TDisplayPage;
class TTcpClient;
namespace Ui {
class TfMain;
}
namespace tavora::platform::audio {
class AudioPlatform;
}
namespace tavora::audio {
class TMicrophonePage;
class TPlaybackPage;
} // namespace tavora::audio

// What the window is built with; the program's entry passes the real
// desktop's services, tests pass their own.
struct TWizardServices {
    const TDisplayMetrics& DisplayMetrics;
    tavora::platform::audio::AudioPlatform& Audio;
    // The desktop's proxy configuration, offered in the proxy dialog; none offers nothing.
    std::shared_ptr<TDesktopProxyLookup> DesktopProxy = nullptr;
};

// The wizard window: the frame with the page headers and the navigation bar,
// the four stacked page panels, start-up, shut-down and keyboard routing. Page
// bodies are objects of their own; the window reaches them only through the
// page operations below.
class TfMain : public QWidget {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 442;
    static constexpr int ClientHeight = 432;

    TfMain(const QStringList& arguments, const TWizardServices& services, QWidget* parent = nullptr);
    ~TfMain() override;

    // Window state.
    int32_t CurrentPage = 0;
    bool AudioOnlyMode = false;
    int32_t NotifyMessage = 0;
    int32_t NotifyWindow = 0;

    std::unique_ptr<Ui::TfMain> ui;
    QAction* acNextTest = nullptr;
    QAction* acPrevTest = nullptr;
    // Owner of the window's network components (the client and a proxy
    // transport of an attempt); declared before the pages that use them.
    std::unique_ptr<TComponent> Components;
    TTcpClient* vcrClient = nullptr;
    TConnectionPage* connectionPage = nullptr;
    TDisplayPage* displayPage = nullptr;
    tavora::audio::TPlaybackPage* playbackPage = nullptr;
    tavora::audio::TMicrophonePage* microphonePage = nullptr;

    void ShowPage(int index);

    // Page operations of the audio pages.
    void EnterPlaybackPage();
    void StopPlayback();
    void EnterMicrophonePage();
    void StopMikeTest();
    int PrepareLoopback();

    // Handlers.
    void FormCreate(const QStringList& arguments);
    void FormShow();
    bool FormCloseQuery();
    void FormClose();
    void acNextTestExecute();
    void acPrevTestExecute();
    void acNextTestUpdate();
    void acPrevTestUpdate();
    void XPButton3Click();
    void Label6Click();
    bool FormKeyDown(int key, bool autoRepeat);
    bool FormKeyUp(int key, bool autoRepeat);

    // Whether the window has been closed (there is no way back from that).
    bool Closed() const { return m_closed; }

    // The page panel that is in front.
    QWidget* FrontPage() const;

signals:
    // Storing the settings failed (at a stop of the sample or at the close;
    // the window closes anyway); `message` says so in words.
    void settingsNotSaved(const QString& message);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUpAppearance();
    void bringToFront(QWidget* page);
    void updateActions();
    // Tells the participant that the settings cannot be saved, once per run.
    void TellSettingsNotSaved(const QString& message);

    const TWizardServices& m_services;
    bool m_shown = false;
    bool m_closed = false;
    bool m_toldSettingsNotSaved = false;
};
