#pragma once

#include "shell/ConnectionTest.h"
#include "shell/report/Report.h"

#include <functional>
#include <string>

namespace tavora {

struct SystemTestSettings;

// The connection page's test without the page: the same attempts (two,
// 2000 ms apart, each with the page's time limit, through the stored proxy
// settings), reporting for each the stage where it failed, the error's own
// message and how long every stage took.
struct ConnectionCheckOptions {
    std::string host;
    int port = ConnectionTest::ConnectionTestPort;
    int timeoutMs = ConnectionTest::ConnectionTimeoutMs;
    int pauseMs = ConnectionTest::PauseBetweenAttemptsMs;
    std::function<void(int milliseconds)> sleep = ConnectionTest::sleepFor;
};

CheckResult checkConnection(const SystemTestSettings& settings, const ConnectionCheckOptions& options);

// A failed name lookup of `host` in words: the Windows Sockets numbers 11001
// to 11004 carry no text of their own that says what went wrong (11002 none
// at all), and the usual offline case is one of them. Empty for any other
// error number.
QString lookupFailureText(int errorCode, const QString& host);

} // namespace tavora
