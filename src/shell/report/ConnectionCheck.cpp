#include "shell/report/ConnectionCheck.h"

#include "net/ConnectStage.h"
#include "net/TcpClient.h"
#include "shell/ConnectionTest.h"
#include "settings/SystemTestSettings.h"

#include <QJsonArray>

#include <chrono>
#include <cmath>
#include <optional>

namespace tavora {

namespace {
using Clock = std::chrono::steady_clock;

struct StageTime {
    ConnectStage stage;
    double ms = 0;
};

struct Attempt {
    bool ok = false;
    std::string error;
    std::vector<StageTime> stages_;
    double totalMs = 0;
};

bool proxied(const SystemTestSettings& s) {
    return s.useProxy && s.socksVersion >= 1 && s.socksVersion <= 3;
}

QString route(const SystemTestSettings& s) {
    if (!proxied(s))
        return s.useProxy ? "directly (proxy on, but no SOCKS version chosen)" : "directly";
    static const char* const versions[] = {"", "SOCKS 4", "SOCKS 4A", "SOCKS 5"};
    return QString("through %1 proxy %2:%3%4")
        .arg(versions[s.socksVersion], QString::fromStdString(s.proxyHost))
        .arg(s.proxyPort)
        .arg(s.socksVersion == 3 && s.proxyAuthentication ? " with user name and password" : "");
}

// The name the failed stage looked up, when it was a lookup.
QString lookedUp(const Attempt& a, const SystemTestSettings& s, const ConnectionCheckOptions& options) {
    if (!a.stages_.empty() && a.stages_.back().stage == ConnectStage::ResolveProxy)
        return QString::fromStdString(s.proxyHost);
    if (!a.stages_.empty() && a.stages_.back().stage == ConnectStage::ResolveTarget)
        return QString::fromStdString(options.host);
    return {};
}

Attempt attempt(ConnectionTest& test, TcpClient& client, const SystemTestSettings& settings,
                 const ConnectionCheckOptions& options) {
    Attempt result;
    const Clock::time_point start = Clock::now();
    Clock::time_point stageStart = start;
    client.setStageObserver([&](ConnectStage stage) {
        const Clock::time_point now = Clock::now();
        if (!result.stages_.empty())
            result.stages_.back().ms = std::chrono::duration<double, std::milli>(now - stageStart).count();
        result.stages_.push_back({stage, 0});
        stageStart = now;
    });
    result.ok = test.connectionSucceeds(options.host, options.port);
    const Clock::time_point end = Clock::now();
    client.setStageObserver({});
    if (!result.stages_.empty())
        result.stages_.back().ms = std::chrono::duration<double, std::milli>(end - stageStart).count();
    result.totalMs = std::chrono::duration<double, std::milli>(end - start).count();
    result.error = test.lastError;
    const QString lookup = lookupFailureText(test.lastErrorCode, lookedUp(result, settings, options));
    if (!lookup.isEmpty())
        result.error = QString("Socket Error # %1: %2").arg(test.lastErrorCode).arg(lookup).toStdString();
    return result;
}

QJsonObject toJson(const Attempt& a) {
    QJsonArray stages;
    for (const StageTime& s : a.stages_)
        stages.append(QJsonObject{{"stage", connectStageName(s.stage)}, {"ms", std::round(s.ms * 10) / 10}});
    QJsonObject o{{"ok", a.ok}, {"ms", std::round(a.totalMs * 10) / 10}, {"stages", stages}};
    if (!a.ok) {
        o["failed_stage"] = a.stages_.empty() ? "setup" : connectStageName(a.stages_.back().stage);
        o["error"] = QString::fromStdString(a.error).replace("\r\n", " ");
    }
    return o;
}
} // namespace

CheckResult checkConnection(const SystemTestSettings& settings, const ConnectionCheckOptions& options) {
    TcpClient client;
    ConnectionTest test(client, settings);
    test.timeoutMs = options.timeoutMs;

    const QString target = QString("%1:%2").arg(QString::fromStdString(options.host)).arg(options.port);
    QJsonArray attempts;
    std::optional<Attempt> last;
    for (int i = 0; i < 2; ++i) {
        if (i > 0)
            options.sleep(options.pauseMs);
        last = attempt(test, client, settings, options);
        attempts.append(toJson(*last));
        if (last->ok)
            break;
    }

    CheckResult result{"connection", last->ok, {}, {}};
    result.figures = {{"target", target}, {"route", route(settings)}, {"attempts", attempts}};
    if (last->ok) {
        result.detail = QString("connected to %1 %2 (%3 attempt, %4 ms)")
                            .arg(target, route(settings), attempts.size() == 1 ? "first" : "second")
                            .arg(qRound(last->totalMs));
    } else {
        const QJsonObject failed = attempts.last().toObject();
        result.detail =
            QString("cannot connect to %1 %2: both attempts failed at %3: %4")
                .arg(target, route(settings), failed["failed_stage"].toString(), failed["error"].toString());
    }
    return result;
}

QString lookupFailureText(int errorCode, const QString& host) {
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

} // namespace tavora
