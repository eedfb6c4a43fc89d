#pragma once

#include "shell/DisplayMetrics.h"
#include "shell/MainForm.h"

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

    explicit TWizardFixture(const QStringList& arguments = {});
    ~TWizardFixture();

    TfMain& window() { return *m_window; }
    QString settingsFile() const;

    // Lets the event loop go idle once, so idle-time updates run.
    static void idle();

private:
    QTemporaryDir m_config;
    QByteArray m_oldConfig;
    Metrics m_metrics;
    TWizardServices m_services{m_metrics};
    std::unique_ptr<TfMain> m_window;
};
