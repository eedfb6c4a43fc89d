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

namespace tavora {

namespace {
void print(const QByteArray& text, FILE* stream = stdout) {
    std::fwrite(text.constData(), 1, size_t(text.size()), stream);
    std::fflush(stream);
}

CheckResult soundServerMissing(const char* name) {
    return {name, false, "no sound server reachable (PulseAudio or PipeWire)", {{"sound_server", false}}};
}
} // namespace

int runReport(const ReportOptions& options, int argc, char** argv) {
    using Mode = ReportOptions::Mode;
    switch (options.mode) {
    case Mode::Help:
        print(reportUsage().toUtf8());
        return 0;
    case Mode::Version:
        print(QByteArray("tavora-wizard ") + BuildConfig::Version + "\n");
        return 0;
    case Mode::UsageError:
        print(QString("tavora-wizard: %1\n\n%2").arg(options.error, reportUsage()).toUtf8(), stderr);
        return 2;
    case Mode::Window:
    case Mode::Check:
        break;
    }

    // A display, when there is one, is opened for its metrics only.
    const bool display = displayReachable();
    std::unique_ptr<QCoreApplication> app = display ? std::make_unique<QGuiApplication>(argc, argv)
                                                    : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName("tavora-wizard");

    const auto [settings, settingsOrigin] = loadSettingsReadOnly();

    Report report;
    ConnectionCheckOptions connection;
    connection.host = options.targetHost.isEmpty() ? std::string(BuildConfig::ConnectionTestHost)
                                                   : options.targetHost.toStdString();
    if (options.targetPort != 0)
        connection.port = options.targetPort;
    report.add(checkConnection(settings, connection));

    std::unique_ptr<ScreenMetrics> metrics = display ? std::make_unique<ScreenMetrics>() : nullptr;
    report.add(checkDisplay(metrics.get()));

    tavora::platform::audio::PulseAudioPlatform audio;
    if (audio.connected()) {
        report.add(checkPlayback(audio, settings));
        report.add(checkMicrophone(audio, settings));
    } else {
        report.add(soundServerMissing("playback"));
        report.add(soundServerMissing("microphone"));
    }

    if (options.json) {
        print(report.json());
    } else {
        print(QString("Tavora Live System Test Wizard %1 — %2\n")
                  .arg(BuildConfig::Version, settingsOrigin)
                  .toUtf8());
        print(report.text().toUtf8());
    }
    return report.ok() ? 0 : 1;
}

} // namespace tavora
