#pragma once

#include "platform/settings/RegFileStore.h"
#include "shell/DisplayMetrics.h"
#include "shell/MainForm.h"
#include "support/audio/MemoryAudioPlatform.h"

#include <QTemporaryDir>

#include <memory>

// A wizard window built for a test: a private settings directory and fixed
// display metrics.
class TWizardFixture {
public:
    class Metrics final : public TDisplayMetrics {
    public:
        QSize ScreenSize() const override { return {1024, 768}; }
        int Dpi() const override { return 96; }
    };

    // `existingSettings`, when given, is the settings file's text before start.
    explicit TWizardFixture(const QStringList& arguments = {}, const QByteArray& existingSettings = {});
    ~TWizardFixture();

    TfMain& window() { return *m_window; }
    // Destroys the window, as the program's end does.
    void destroyWindow() { m_window.reset(); }
    tavora::platform::audio::MemoryAudioPlatform& audio() { return m_audio; }
    // The settings file store the window reads and writes.
    TRegFileStore& store() { return *m_store; }
    QString settingsFile() const;

    // Lets the event loop go idle once, so idle-time updates run.
    static void idle();

private:
    QTemporaryDir m_config;
    QByteArray m_oldConfig;
    std::shared_ptr<TRegFileStore> m_store;
    Metrics m_metrics;
    tavora::platform::audio::MemoryAudioPlatform m_audio;
    TWizardServices m_services{m_metrics, m_audio};
    std::unique_ptr<TfMain> m_window;
};
