#include "shell/report/RunReport.h"

#include "BuildConfig.h"
#include "platform/audio/PulseAudioPlatform.h"
#include "shell/DisplayMetrics.h"
#include "shell/report/ConnectionCheck.h"
#include "shell/report/DisplayCheck.h"
#include "shell/report/MicrophoneCheck.h"
#include "shell/report/PlaybackCheck.h"
#include "shell/report/ReadOnlySettings.h"
#include "shell/report/Report.h"
#include "settings/SystemTestSettings.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <memory>

namespace {
void print(const QByteArray& text, FILE* stream = stdout) {
    std::fwrite(text.constData(), 1, size_t(text.size()), stream);
    std::fflush(stream);
}

TCheckResult soundServerMissing(const char* name) {
    return {name, false, "no sound server reachable (PulseAudio or PipeWire)", {{"sound_server", false}}};
}
} // namespace

int RunReport(const TReportOptions& options, int argc, char** argv) {
    using Mode = TReportOptions::TMode;
    switch (options.Mode) {
    case Mode::Help:
        print(ReportUsage().toUtf8());
        return 0;
    case Mode::Version:
        print(QByteArray("tavora-wizard ") + BuildConfig::Version + "\n");
        return 0;
    case Mode::UsageError:
        print(QString("tavora-wizard: %1\n\n%2").arg(options.Error, ReportUsage()).toUtf8(), stderr);
        return 2;
    case Mode::Window:
    case Mode::Check:
        break;
    }

    // A display, when there is one, is opened for its metrics only.
    const bool display = DisplayReachable();
    std::unique_ptr<QCoreApplication> app = display ? std::make_unique<QGuiApplication>(argc, argv)
                                                    : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName("tavora-wizard");

    const QString settingsOrigin = LoadSettingsReadOnly();
    const TSystemTestSettings settings = SystemTestSettings;

    TReport report;
    TConnectionCheckOptions connection;
    connection.Host = options.TargetHost.isEmpty() ? std::string(BuildConfig::ConnectionTestHost)
                                                   : options.TargetHost.toStdString();
    if (options.TargetPort != 0)
        connection.Port = options.TargetPort;
    report.Add(CheckConnection(settings, connection));

    std::unique_ptr<TScreenMetrics> metrics = display ? std::make_unique<TScreenMetrics>() : nullptr;
    report.Add(CheckDisplay(metrics.get()));

    tavora::platform::audio::PulseAudioPlatform audio;
    if (audio.connected()) {
        report.Add(CheckPlayback(audio, settings));
        report.Add(CheckMicrophone(audio, settings));
    } else {
        report.Add(soundServerMissing("playback"));
        report.Add(soundServerMissing("microphone"));
    }

    if (options.Json) {
        print(report.Json());
    } else {
        print(QString("Tavora Live System Test Wizard %1 — %2\n")
                  .arg(BuildConfig::Version, settingsOrigin)
                  .toUtf8());
        print(report.Text().toUtf8());
    }
    return report.Ok() ? 0 : 1;
}
