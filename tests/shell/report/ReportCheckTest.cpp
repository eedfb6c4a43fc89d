// The real program's --check against the test harness: the private PulseAudio
// daemon (a tone or silence fed into its pipe source), a loopback listener as
// the connection target, and the harness's SOCKS servers.
#include "platform/net/TestSockets.h"
#include "support/audio/PulseFifos.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <map>
#include <vector>

using namespace tavora;

using tavora::test::PipeSourceWriter;
using tavora::test::pulseServer;
using testnet::LoopbackListener;
using testnet::RefusingPort;

namespace {
std::map<std::string, std::string> socksHarness() {
    std::map<std::string, std::string> values;
    std::ifstream env(std::string(qgetenv("TAVORA_TEST_SOCKS_DIR").constData()) + "/ports.env");
    std::string line;
    while (std::getline(env, line))
        if (const auto eq = line.find('='); eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    return values;
}

std::vector<std::int16_t> tone(double seconds, double amplitude) {
    std::vector<std::int16_t> samples(size_t(seconds * 8000));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] =
            std::int16_t(std::lround(amplitude * 32767 * std::sin(2 * M_PI * 440 * double(i) / 8000)));
    return samples;
}

// Samples fed to the microphone: enough to cover the report's recording, and
// little enough that what is left fits in the fifo once nobody reads it.
constexpr double FeedSeconds = 6;

struct CheckRun {
    int exitCode = -1;
    QJsonObject report;
    QByteArray stderrText;
    QJsonObject check(const QString& name) const {
        for (const QJsonValue& c : report["checks"].toArray())
            if (c.toObject()["name"].toString() == name)
                return c.toObject();
        return {};
    }
};

class ReportCheck : public ::testing::Test {
protected:
    QTemporaryDir config;

    void writeSettings(const QByteArray& values) {
        QDir(config.path()).mkpath("tavora-live");
        QFile file(config.filePath("tavora-live/user.reg"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Windows Registry Editor Version 5.00\n\n"
                   "[HKEY_CURRENT_USER\\SOFTWARE\\Norvik\\Tavora Live\\Browser]\n" +
                   values);
    }

    // `wrapper`, when given, is a command that runs the program given after it.
    CheckRun runCheck(const QStringList& extra, const QString& server = QString::fromStdString(pulseServer()),
                      const QStringList& wrapper = {}) {
        QProcess wizard;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        env.insert("PULSE_SERVER", server);
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        // The report is English whatever the desktop's language.
        env.insert("LANGUAGE", "de");
        wizard.setProcessEnvironment(env);
        const QStringList arguments = QStringList{"--check", "--json"} + extra;
        if (wrapper.isEmpty())
            wizard.start(WIZARD_BINARY, arguments);
        else
            wizard.start(wrapper.first(), wrapper.mid(1) + QStringList{WIZARD_BINARY} + arguments);
        EXPECT_TRUE(wizard.waitForStarted(10000));
        // Every stage is bounded: two refused attempts and a pause, a 3 s
        // recording; far less than this.
        EXPECT_TRUE(wizard.waitForFinished(60000));
        CheckRun run;
        run.exitCode = wizard.exitCode();
        run.stderrText = wizard.readAllStandardError();
        const QByteArray out = wizard.readAllStandardOutput();
        run.report = QJsonDocument::fromJson(out).object();
        EXPECT_FALSE(run.report.isEmpty()) << out.constData() << run.stderrText.constData();
        return run;
    }
};
} // namespace

TEST_F(ReportCheck, PassingReportWithAToneAtTheMicrophone) {
    LoopbackListener target;
    PipeSourceWriter source;
    const double amplitude = 0.2; // -14 dBFS peak, -17 dBFS RMS
    source.write(tone(FeedSeconds, amplitude));
    const CheckRun run = runCheck({"--target", QString("127.0.0.1:%1").arg(target.port())});
    EXPECT_EQ(run.exitCode, 0) << QJsonDocument(run.report).toJson().constData();
    EXPECT_TRUE(run.report["ok"].toBool());

    const QJsonObject connection = run.check("connection");
    EXPECT_TRUE(connection["ok"].toBool());
    const QJsonArray attempts = connection["figures"].toObject()["attempts"].toArray();
    ASSERT_EQ(attempts.size(), 1);
    // Without a settings file nothing is created: the check only reads.
    EXPECT_FALSE(QDir(config.path()).exists("tavora-live"));
    QStringList stages;
    for (const QJsonValue& s : attempts[0].toObject()["stages"].toArray())
        stages << s.toObject()["stage"].toString();
    EXPECT_EQ(stages, QStringList({"resolve-target", "tcp-connect"}));

    EXPECT_TRUE(run.check("display")["ok"].toBool());
    EXPECT_EQ(run.check("display")["detail"].toString(), "no display (not checked)");

    const QJsonObject playback = run.check("playback");
    EXPECT_TRUE(playback["ok"].toBool()) << playback["detail"].toString().toStdString();
    EXPECT_EQ(playback["figures"].toObject()["devices"].toArray().size(), 3);
    EXPECT_EQ(playback["figures"].toObject()["device_name"].toString(), "Speakers_One (Windows Default)");

    const QJsonObject mic = run.check("microphone")["figures"].toObject();
    EXPECT_TRUE(run.check("microphone")["ok"].toBool())
        << run.check("microphone")["detail"].toString().toStdString();
    const double fedRms = 20 * std::log10(amplitude / std::sqrt(2.0));
    EXPECT_NEAR(mic["rms_dbfs"].toDouble(), fedRms, 1.0);
    EXPECT_NEAR(mic["peak_dbfs"].toDouble(), 20 * std::log10(amplitude), 1.5);
    EXPECT_FALSE(mic["no_signal"].toBool(true));
    EXPECT_FALSE(mic["clipping"].toBool(true));
    source.wait();
}

TEST_F(ReportCheck, RefusedPortAndSilence) {
    const RefusingPort closed;
    PipeSourceWriter source;
    source.write(std::vector<std::int16_t>(size_t(8000 * FeedSeconds), 0));
    const CheckRun run = runCheck({"--target", QString("127.0.0.1:%1").arg(closed.port())});
    EXPECT_EQ(run.exitCode, 1);
    const QJsonObject connection = run.check("connection");
    EXPECT_FALSE(connection["ok"].toBool(true));
    const QJsonArray attempts = connection["figures"].toObject()["attempts"].toArray();
    ASSERT_EQ(attempts.size(), 2);
    for (const QJsonValue& a : attempts) {
        EXPECT_EQ(a.toObject()["failed_stage"].toString(), "tcp-connect");
        EXPECT_TRUE(a.toObject()["error"].toString().contains("Connection refused."));
    }
    EXPECT_TRUE(connection["detail"].toString().contains("tcp-connect"));

    const QJsonObject mic = run.check("microphone");
    EXPECT_FALSE(mic["ok"].toBool(true));
    EXPECT_TRUE(mic["figures"].toObject()["no_signal"].toBool());
    EXPECT_TRUE(mic["detail"].toString().contains("no signal"));
    source.wait();
}

TEST_F(ReportCheck, ProxyRefusingTheCredentialsIsAnAuthenticationFailure) {
    const auto socks = socksHarness();
    ASSERT_FALSE(socks.empty());
    LoopbackListener target;
    writeSettings(QString("\"UseProxy\"=dword:00000001\n\"SocksVersion\"=dword:00000003\n"
                          "\"ProxyHost\"=\"127.0.0.1\"\n\"ProxyPort\"=dword:%1\n"
                          "\"ProxyAuthentication\"=dword:00000001\n\"ProxyUserName\"=\"%2\"\n")
                      .arg(std::stoi(socks.at("MICROSOCKS_AUTH_PORT")), 8, 16, QChar('0'))
                      .arg(QString::fromStdString(socks.at("MICROSOCKS_USER")))
                      .toUtf8());
    const QByteArray before = [&] {
        QFile f(config.filePath("tavora-live/user.reg"));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    // The stored password is empty: the proxy refuses the login.
    const CheckRun run =
        runCheck({"--target", QString("127.0.0.1:%1").arg(target.port())}, "unix:/nonexistent/native");
    const QJsonObject connection = run.check("connection");
    EXPECT_FALSE(connection["ok"].toBool(true));
    const QJsonArray attempts = connection["figures"].toObject()["attempts"].toArray();
    ASSERT_EQ(attempts.size(), 2);
    for (const QJsonValue& a : attempts) {
        EXPECT_EQ(a.toObject()["failed_stage"].toString(), "socks-authentication");
        EXPECT_EQ(a.toObject()["error"].toString(), "Authentication error to socks server.");
    }
    EXPECT_TRUE(connection["figures"].toObject()["route"].toString().contains("SOCKS 5"));

    // No sound server: reported, not hung; the same when libpulse cannot be
    // loaded (as root: /dev/null mounted over it in a mount namespace of the run).
    std::vector<CheckRun> runs{run};
    if (geteuid() == 0)
        runs.push_back(
            runCheck({"--target", QString("127.0.0.1:%1").arg(target.port())}, "unix:/nonexistent/native",
                     {"unshare", "-m", "sh", "-c",
                      "mount --bind /dev/null \"$(readlink -f \"$(ldconfig -p | awk '$1 == \"libpulse.so.0\" "
                      "{ print $NF; exit }')\")\" && exec \"$@\"",
                      "sh"}));
    for (const CheckRun& r : runs)
        for (const char* name : {"playback", "microphone"}) {
            EXPECT_FALSE(r.check(name)["ok"].toBool(true));
            EXPECT_TRUE(r.check(name)["detail"].toString().contains("no sound server"));
        }
    if (runs.size() > 1)
        EXPECT_TRUE(runs[1].stderrText.contains("libpulse.so.0 cannot be loaded"))
            << runs[1].stderrText.constData();
    // The settings are read, never written.
    QFile after(config.filePath("tavora-live/user.reg"));
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
}

TEST_F(ReportCheck, UsageVersionAndNoDisplay) {
    QProcess wizard;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", config.path());
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    wizard.setProcessEnvironment(env);
    // The window without a display: said plainly, not a toolkit abort.
    wizard.start(WIZARD_BINARY, {});
    ASSERT_TRUE(wizard.waitForFinished(10000));
    EXPECT_EQ(wizard.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(wizard.exitCode(), 1);
    EXPECT_TRUE(wizard.readAllStandardError().contains("no display found"));
    wizard.start(WIZARD_BINARY, {"--json"});
    ASSERT_TRUE(wizard.waitForFinished(10000));
    EXPECT_EQ(wizard.exitCode(), 2);
    wizard.start(WIZARD_BINARY, {"--version"});
    ASSERT_TRUE(wizard.waitForFinished(10000));
    EXPECT_EQ(wizard.exitCode(), 0);
    EXPECT_TRUE(wizard.readAllStandardOutput().startsWith("tavora-wizard "));
    EXPECT_FALSE(QDir(config.path()).exists("tavora-live"));
}
