#include "shell/report/ConnectionCheck.h"

#include "net/ConnectStage.h"
#include "net/TcpClient.h"
#include "platform/net/Component.h"
#include "shell/ConnectionTest.h"
#include "settings/SystemTestSettings.h"

#include <QJsonArray>

#include <chrono>
#include <cmath>
#include <optional>

namespace {
using Clock = std::chrono::steady_clock;

struct TStageTime {
    TConnectStage Stage;
    double Ms = 0;
};

struct TAttempt {
    bool Ok = false;
    std::string Error;
    std::vector<TStageTime> Stages;
    double TotalMs = 0;
};

bool proxied(const TSystemTestSettings& s) {
    return s.UseProxy && s.SocksVersion >= 1 && s.SocksVersion <= 3;
}

QString route(const TSystemTestSettings& s) {
    if (!proxied(s))
        return s.UseProxy ? "directly (proxy on, but no SOCKS version chosen)" : "directly";
    static const char* const versions[] = {"", "SOCKS 4", "SOCKS 4A", "SOCKS 5"};
    return QString("through %1 proxy %2:%3%4")
        .arg(versions[s.SocksVersion], QString::fromStdString(s.ProxyHost))
        .arg(s.ProxyPort)
        .arg(s.SocksVersion == 3 && s.ProxyAuthentication ? " with user name and password" : "");
}

// The name the failed stage looked up, when it was a lookup.
QString lookedUp(const TAttempt& a, const TSystemTestSettings& s, const TConnectionCheckOptions& options) {
    if (!a.Stages.empty() && a.Stages.back().Stage == TConnectStage::ResolveProxy)
        return QString::fromStdString(s.ProxyHost);
    if (!a.Stages.empty() && a.Stages.back().Stage == TConnectStage::ResolveTarget)
        return QString::fromStdString(options.Host);
    return {};
}

TAttempt attempt(TConnectionTest& test, TTcpClient& client, const TSystemTestSettings& settings,
                 const TConnectionCheckOptions& options) {
    TAttempt result;
    const Clock::time_point start = Clock::now();
    Clock::time_point stageStart = start;
    client.SetStageObserver([&](TConnectStage stage) {
        const Clock::time_point now = Clock::now();
        if (!result.Stages.empty())
            result.Stages.back().Ms = std::chrono::duration<double, std::milli>(now - stageStart).count();
        result.Stages.push_back({stage, 0});
        stageStart = now;
    });
    result.Ok = !test.TestConnect(options.Host, options.Port);
    const Clock::time_point end = Clock::now();
    client.SetStageObserver({});
    if (!result.Stages.empty())
        result.Stages.back().Ms = std::chrono::duration<double, std::milli>(end - stageStart).count();
    result.TotalMs = std::chrono::duration<double, std::milli>(end - start).count();
    result.Error = test.LastError;
    const QString lookup = LookupFailureText(test.LastErrorCode, lookedUp(result, settings, options));
    if (!lookup.isEmpty())
        result.Error = QString("Socket Error # %1: %2").arg(test.LastErrorCode).arg(lookup).toStdString();
    return result;
}

QJsonObject toJson(const TAttempt& a) {
    QJsonArray stages;
    for (const TStageTime& s : a.Stages)
        stages.append(QJsonObject{{"stage", ConnectStageName(s.Stage)}, {"ms", std::round(s.Ms * 10) / 10}});
    QJsonObject o{{"ok", a.Ok}, {"ms", std::round(a.TotalMs * 10) / 10}, {"stages", stages}};
    if (!a.Ok) {
        o["failed_stage"] = a.Stages.empty() ? "setup" : ConnectStageName(a.Stages.back().Stage);
        o["error"] = QString::fromStdString(a.Error).replace("\r\n", " ");
    }
    return o;
}
} // namespace

TCheckResult CheckConnection(const TSystemTestSettings& settings, const TConnectionCheckOptions& options) {
    TComponent owner;
    auto* client = new TTcpClient(&owner);
    TConnectionTest test(*client, owner, settings);
    test.TimeoutMs = options.TimeoutMs;

    const QString target = QString("%1:%2").arg(QString::fromStdString(options.Host)).arg(options.Port);
    QJsonArray attempts;
    std::optional<TAttempt> last;
    for (int i = 0; i < 2; ++i) {
        if (i > 0)
            options.Sleep(options.PauseMs);
        last = attempt(test, *client, settings, options);
        attempts.append(toJson(*last));
        if (last->Ok)
            break;
    }

    TCheckResult result{"connection", last->Ok, {}, {}};
    result.Figures = {{"target", target}, {"route", route(settings)}, {"attempts", attempts}};
    if (last->Ok) {
        result.Detail = QString("connected to %1 %2 (%3 attempt, %4 ms)")
                            .arg(target, route(settings), attempts.size() == 1 ? "first" : "second")
                            .arg(qRound(last->TotalMs));
    } else {
        const QJsonObject failed = attempts.last().toObject();
        result.Detail =
            QString("cannot connect to %1 %2: both attempts failed at %3: %4")
                .arg(target, route(settings), failed["failed_stage"].toString(), failed["error"].toString());
    }
    return result;
}

QString LookupFailureText(int errorCode, const QString& host) {
    const QString name = host.isEmpty() ? QString("a host name") : QString("the name %1").arg(host);
    switch (errorCode) {
    case 11001:
        return QString("%1 could not be resolved: no such host is known (check the spelling)").arg(name);
    case 11002:
        return QString("%1 could not be resolved: no name server answered (this computer may be offline, or "
                       "its DNS server unreachable); try again later")
            .arg(name);
    case 11003:
        return QString("%1 could not be resolved: the name server failed and cannot answer").arg(name);
    case 11004:
        return QString("%1 could not be resolved: the name exists but has no IPv4 address").arg(name);
    default:
        return {};
    }
}
