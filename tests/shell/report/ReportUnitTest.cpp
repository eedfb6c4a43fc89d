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

using Mode = TReportOptions::TMode;

TEST(ReportOptions, OnlyALeadingOptionLeavesTheWindow) {
    EXPECT_EQ(ParseReportOptions({}).Mode, Mode::Window);
    EXPECT_EQ(ParseReportOptions({"audio", "12", "34"}).Mode, Mode::Window);
    EXPECT_EQ(ParseReportOptions({"12", "--check"}).Mode, Mode::Window); // a message number first
    EXPECT_EQ(ParseReportOptions({"--frobnicate"}).Mode, Mode::Window);  // as before: not an option we know
    EXPECT_EQ(ParseReportOptions({"--check"}).Mode, Mode::Check);
    EXPECT_FALSE(ParseReportOptions({"--check"}).Json);
    EXPECT_TRUE(ParseReportOptions({"--json", "--check"}).Json);
    EXPECT_EQ(ParseReportOptions({"--help"}).Mode, Mode::Help);
    EXPECT_EQ(ParseReportOptions({"-h"}).Mode, Mode::Help);
    EXPECT_EQ(ParseReportOptions({"--version"}).Mode, Mode::Version);
}

TEST(ReportOptions, UsageErrors) {
    for (const QStringList& args :
         {QStringList{"--json"}, QStringList{"--check", "audio"}, QStringList{"--check", "--bogus"},
          QStringList{"--target", "h"}, QStringList{"--check", "--target"},
          QStringList{"--check", "--target", "h:0"}, QStringList{"--check", "--target", "h:70000"},
          QStringList{"--check", "--target=:80"}}) {
        const TReportOptions o = ParseReportOptions(args);
        EXPECT_EQ(o.Mode, Mode::UsageError) << args.join(' ').toStdString();
        EXPECT_FALSE(o.Error.isEmpty());
    }
}

TEST(ReportOptions, Target) {
    TReportOptions o = ParseReportOptions({"--check", "--target", "127.0.0.1:4000"});
    EXPECT_EQ(o.Mode, Mode::Check);
    EXPECT_EQ(o.TargetHost, "127.0.0.1");
    EXPECT_EQ(o.TargetPort, 4000);
    o = ParseReportOptions({"--target=relay.example", "--check", "--json"});
    EXPECT_EQ(o.TargetHost, "relay.example");
    EXPECT_EQ(o.TargetPort, 0);
    EXPECT_TRUE(o.Json);
}

TEST(LevelMeter, SineAndSilence) {
    std::vector<std::int16_t> sine(8000);
    for (size_t i = 0; i < sine.size(); ++i)
        sine[i] = std::int16_t(
            std::lround(3277 * std::sin(2 * M_PI * 440 * double(i) / 8000))); // 0.1 of full scale
    const TLevelStats s = MeasureLevels(sine.data(), sine.size());
    EXPECT_NEAR(s.PeakDb, -20.0, 0.05);
    EXPECT_NEAR(s.RmsDb, -23.01, 0.05);
    EXPECT_FALSE(s.NoSignal());
    EXPECT_FALSE(s.Clipping());

    std::vector<std::int16_t> quiet(8000, 0);
    quiet[10] = 20; // -64 dBFS peak, far lower RMS
    const TLevelStats q = MeasureLevels(quiet.data(), quiet.size());
    EXPECT_TRUE(q.NoSignal());
    EXPECT_EQ(MeasureLevels(nullptr, 0).RmsDb, TLevelStats::MinimumDb);
}

TEST(LevelMeter, ClippingNeedsARunOfMoreThanSix) {
    std::vector<std::int16_t> pcm(100, 1000);
    for (int i = 10; i < 16; ++i)
        pcm[size_t(i)] = 32767; // six in a row: not yet clipping
    EXPECT_EQ(MeasureLevels(pcm.data(), pcm.size()).LongestFullScaleRun, 6);
    EXPECT_FALSE(MeasureLevels(pcm.data(), pcm.size()).Clipping());
    pcm[16] = -32768; // the negative rail counts too
    EXPECT_TRUE(MeasureLevels(pcm.data(), pcm.size()).Clipping());
}

TEST(Report, TextAndJson) {
    TReport report;
    report.Add({"connection", true, "connected", {{"ms", 3}}});
    report.Add({"display", false, "800x600 pixels (below 1024x768)", {}});
    EXPECT_FALSE(report.Ok());
    const QString text = report.Text();
    EXPECT_TRUE(text.contains("PASS  connection  connected"));
    EXPECT_TRUE(text.contains("FAIL  display"));
    const QJsonObject root = QJsonDocument::fromJson(report.Json()).object();
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
TEST(Report, StoredDeviceOrTheFirst) {
    const QStringList devices{"Speakers (Windows Default)", "Headphones"};
    const std::vector<std::string> names{"spk", "phones"};
    TCheckResult listed{"playback", false, {}, {}};
    const TStoredDevice one = PickStoredDevice(listed, devices, names, 1, "");
    EXPECT_EQ(one.Device, 1u);
    EXPECT_TRUE(one.StoredListed);
    EXPECT_EQ(listed.Figures["device_name"].toString(), "Headphones");

    TCheckResult gone{"playback", false, {}, {}};
    const TStoredDevice first = PickStoredDevice(gone, devices, names, 5, "usb-headset");
    EXPECT_EQ(first.Device, 0u);
    EXPECT_FALSE(first.StoredListed);
    EXPECT_EQ(gone.Figures["stored_device"].toInt(), 5);
    EXPECT_EQ(gone.Figures["device"].toInt(), 0);
    EXPECT_EQ(gone.Figures["device_name"].toString(), "Speakers (Windows Default)");

    TCheckResult moved{"playback", false, {}, {}};
    const TStoredDevice named = PickStoredDevice(moved, devices, names, 0, "phones");
    EXPECT_EQ(named.Device, 1u);
    EXPECT_TRUE(named.StoredListed);
    EXPECT_EQ(moved.Figures["stored_device"].toInt(), 0);
    EXPECT_EQ(moved.Figures["device_name"].toString(), "Headphones");
}

// Failed name lookups, the usual offline case, are said in words; other
// socket errors keep their own message.
TEST(Report, NameLookupFailuresInWords) {
    EXPECT_EQ(
        LookupFailureText(11002, "systemtest.example"),
        "the name systemtest.example could not be resolved: no name server answered (this computer may be "
        "offline, or its DNS server unreachable); try again later");
    for (int code : {11001, 11003, 11004})
        EXPECT_TRUE(LookupFailureText(code, "h").startsWith("the name h could not be resolved: ")) << code;
    EXPECT_TRUE(LookupFailureText(10061, "h").isEmpty());
}

// A settings file that is there but cannot be read is not reported as the
// source of the settings.
TEST(Report, SettingsFileThatCannotBeRead) {
    QTemporaryDir config;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const QString file = config.filePath("tavora-live/user.reg");
    EXPECT_EQ(LoadSettingsReadOnly(), "no settings file at " + file + " (defaults)");
    ASSERT_TRUE(QDir(config.path()).mkpath("tavora-live/user.reg"));
    EXPECT_EQ(LoadSettingsReadOnly(), "settings file " + file + " cannot be read: Is a directory (defaults)");
    if (saved.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved);
}
