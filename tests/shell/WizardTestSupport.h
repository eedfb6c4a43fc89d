#pragma once

#include "platform/settings/RegFileStore.h"
#include "shell/DisplayMetrics.h"
#include "shell/MainWindow.h"
#include "support/audio/MemoryAudioPlatform.h"

#include <QTemporaryDir>

#include <memory>

namespace tavora {

// A wizard window built for a test: a private settings directory and fixed
// display metrics.
class WizardFixture {
public:
    class Metrics final : public DisplayMetrics {
    public:
        QSize screen{1024, 768};
        int dpiValue = 96;
        QSize screenSize() const override { return screen; }
        int dpi() const override { return dpiValue; }
    };

    // `existingSettings`, when given, is the settings file's text before start.
    explicit WizardFixture(const QStringList& arguments = {}, const QByteArray& existingSettings = {});
    ~WizardFixture();

    MainWindow& window() { return *window_; }
    // Destroys the window, as the program's end does.
    void destroyWindow() { window_.reset(); }
    tavora::platform::audio::MemoryAudioPlatform& audio() { return audio_; }
    // The display the window measures: 1024x768 at 96 DPI unless a test changes it.
    Metrics& metrics() { return metrics_; }
    // The settings file store the window reads and writes.
    RegFileStore& store() { return *store_; }
    QString settingsFile() const;

    // Lets the event loop go idle once, so idle-time updates run.
    static void idle();

private:
    QTemporaryDir config_;
    QByteArray oldConfig_;
    std::shared_ptr<RegFileStore> store_;
    Metrics metrics_;
    tavora::platform::audio::MemoryAudioPlatform audio_;
    WizardServices services_{metrics_, audio_};
    std::unique_ptr<MainWindow> window_;
};

} // namespace tavora
