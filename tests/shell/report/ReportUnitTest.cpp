#include "shell/report/ConnectionCheck.h"
#include "shell/report/LevelMeter.h"
#include "shell/report/ReadOnlySettings.h"
#include "shell/report/Report.h"
#include "shell/report/ReportOptions.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace tavora;

using Mode = ReportOptions::Mode;

TEST(ReportOptions, OnlyALeadingOptionLeavesTheWindow) {
    EXPECT_EQ(parseReportOptions({}).mode, Mode::Window);
    EXPECT_EQ(parseReportOptions({"audio", "12", "34"}).mode, Mode::Window);
    EXPECT_EQ(parseReportOptions({"12", "--check"}).mode, Mode::Window); // a message number first
    EXPECT_EQ(parseReportOptions({"--frobnicate"}).mode, Mode::Window);  // as before: not an option we know
    EXPECT_EQ(parseReportOptions({"--check"}).mode, Mode::Check);
    EXPECT_FALSE(parseReportOptions({"--check"}).json);
    EXPECT_TRUE(parseReportOptions({"--json", "--check"}).json);
    EXPECT_EQ(parseReportOptions({"--help"}).mode, Mode::Help);
    EXPECT_EQ(parseReportOptions({"-h"}).mode, Mode::Help);
    EXPECT_EQ(parseReportOptions({"--version"}).mode, Mode::Version);
}

TEST(ReportOptions, UsageErrors) {
    for (const QStringList& args :
         {QStringList{"--json"}, QStringList{"--check", "audio"}, QStringList{"--check", "--bogus"},
          QStringList{"--target", "h"}, QStringList{"--check", "--target"},
          QStringList{"--check", "--target", "h:0"}, QStringList{"--check", "--target", "h:70000"},
          QStringList{"--check", "--target=:80"}}) {
        const ReportOptions o = parseReportOptions(args);
        EXPECT_EQ(o.mode, Mode::UsageError) << args.join(' ').toStdString();
        EXPECT_FALSE(o.error.isEmpty());
    }
}

TEST(ReportOptions, Target) {
    ReportOptions o = parseReportOptions({"--check", "--target", "127.0.0.1:4000"});
    EXPECT_EQ(o.mode, Mode::Check);
    EXPECT_EQ(o.targetHost, "127.0.0.1");
    EXPECT_EQ(o.targetPort, 4000);
    o = parseReportOptions({"--target=relay.example", "--check", "--json"});
    EXPECT_EQ(o.targetHost, "relay.example");
    EXPECT_EQ(o.targetPort, 0);
    EXPECT_TRUE(o.json);
}

TEST(LevelMeter, SineAndSilence) {
    std::vector<std::int16_t> sine(8000);
    for (size_t i = 0; i < sine.size(); ++i)
        sine[i] = std::int16_t(
            std::lround(3277 * std::sin(2 * M_PI * 440 * double(i) / 8000))); // 0.1 of full scale
    const LevelStats s = measureLevels(sine.data(), sine.size());
    EXPECT_NEAR(s.peakDb, -20.0, 0.05);
    EXPECT_NEAR(s.rmsDb, -23.01, 0.05);
    EXPECT_FALSE(s.noSignal());
    EXPECT_FALSE(s.clipping());

    std::vector<std::int16_t> quiet(8000, 0);
    quiet[10] = 20;
    quiet[4000] = 1000; // one click: -30 dBFS peak, yet -69 dBFS RMS, so still no signal
    const LevelStats q = measureLevels(quiet.data(), quiet.size());
    EXPECT_TRUE(q.noSignal());
    EXPECT_EQ(measureLevels(nullptr, 0).rmsDb, LevelStats::MinimumDb);
}

TEST(LevelMeter, ClippingNeedsARunOfMoreThanSix) {
    std::vector<std::int16_t> pcm(100, 1000);
    for (int i = 10; i < 16; ++i)
        pcm[size_t(i)] = 32767; // six in a row: not yet clipping
    EXPECT_EQ(measureLevels(pcm.data(), pcm.size()).longestFullScaleRun, 6);
    EXPECT_FALSE(measureLevels(pcm.data(), pcm.size()).clipping());
    pcm[16] = -32768; // the negative rail counts too
    EXPECT_TRUE(measureLevels(pcm.data(), pcm.size()).clipping());
}

TEST(report, TextAndJson) {
    Report report;
    report.add({"connection", true, "connected", {{"ms", 3}}});
    report.add({"display", false, "800x600 pixels (below 1024x768)", {}});
    EXPECT_FALSE(report.ok());
    const QString text = report.text();
    EXPECT_TRUE(text.contains("PASS  connection  connected"));
    EXPECT_TRUE(text.contains("FAIL  display"));
    const QJsonObject root = QJsonDocument::fromJson(report.json()).object();
    EXPECT_EQ(root["ok"].toBool(true), false);
    const QJsonArray checks = root["checks"].toArray();
    ASSERT_EQ(checks.size(), 2);
    EXPECT_EQ(checks[0].toObject()["name"].toString(), "connection");
    EXPECT_EQ(checks[0].toObject()["figures"].toObject()["ms"].toInt(), 3);
    EXPECT_EQ(checks[1].toObject()["detail"].toString(), "800x600 pixels (below 1024x768)");
}

// The audio checks use the stored device while it is listed (where its
// remembered name has moved it, or at its number), and the first one once it
// is gone, as the pages do.
TEST(report, StoredDeviceOrTheFirst) {
    const QStringList devices{"Speakers (Windows Default)", "Headphones"};
    const std::vector<std::string> names{"spk", "phones"};
    CheckResult listed{"playback", false, {}, {}};
    const StoredDevice one = pickStoredDevice(listed, devices, names, 1, "");
    EXPECT_EQ(one.device, 1u);
    EXPECT_TRUE(one.storedListed);
    EXPECT_EQ(listed.figures["device_name"].toString(), "Headphones");

    CheckResult gone{"playback", false, {}, {}};
    const StoredDevice first = pickStoredDevice(gone, devices, names, 5, "usb-headset");
    EXPECT_EQ(first.device, 0u);
    EXPECT_FALSE(first.storedListed);
    EXPECT_EQ(gone.figures["stored_device"].toInt(), 5);
    EXPECT_EQ(gone.figures["device"].toInt(), 0);
    EXPECT_EQ(gone.figures["device_name"].toString(), "Speakers (Windows Default)");

    CheckResult moved{"playback", false, {}, {}};
    const StoredDevice named = pickStoredDevice(moved, devices, names, 0, "phones");
    EXPECT_EQ(named.device, 1u);
    EXPECT_TRUE(named.storedListed);
    EXPECT_EQ(moved.figures["stored_device"].toInt(), 0);
    EXPECT_EQ(moved.figures["device_name"].toString(), "Headphones");
}

// Failed name lookups, the usual offline case, are said in words; other
// socket errors keep their own message.
TEST(report, NameLookupFailuresInWords) {
    EXPECT_EQ(
        lookupFailureText(11002, "systemtest.example"),
        "the name systemtest.example could not be resolved: no name server answered (this computer may be "
        "offline, or its DNS server unreachable); try again later");
    for (int code : {11001, 11003, 11004})
        EXPECT_TRUE(lookupFailureText(code, "h").startsWith("the name h could not be resolved: ")) << code;
    EXPECT_TRUE(lookupFailureText(10061, "h").isEmpty());
}

// A settings file that is there but cannot be read is not reported as the
// source of the settings.
TEST(report, SettingsFileThatCannotBeRead) {
    QTemporaryDir config;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const QString file = config.filePath("tavora-live/user.reg");
    EXPECT_EQ(loadSettingsReadOnly().origin, "no settings file at " + file + " (defaults)");
    ASSERT_TRUE(QDir(config.path()).mkpath("tavora-live/user.reg"));
    EXPECT_EQ(loadSettingsReadOnly().origin, "settings file " + file + " cannot be read: Is a directory (defaults)");
    if (saved.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved);
}
