#pragma once

#include <string>

namespace tavora {

class TcpClient;
struct SystemTestSettings;

// One connection attempt as the connection page makes it: connect the client
// to host:port with the attempt's time limit, through a SOCKS transport built
// from the settings when they ask for a proxy, and close the connection again
// at once. The page and the headless report share it.
class ConnectionTest {
public:
    // The service's test port, the time limit of one attempt, and the pause
    // before the second attempt when the first one failed.
    static constexpr int ConnectionTestPort = 9910;
    static constexpr int ConnectionTimeoutMs = 60000;
    static constexpr int PauseBetweenAttemptsMs = 2000;
    // The pause as the program takes it: the calling thread sleeps.
    static void sleepFor(int milliseconds);

    // `client` is reused by every attempt; it owns the proxy transport of an
    // attempt while the attempt runs.
    ConnectionTest(TcpClient& client, const SystemTestSettings& settings);

    // One attempt; true when it connected. The error of a failed attempt is
    // kept in lastError and lastErrorCode.
    bool connectionSucceeds(const std::string& host, int port);
    void attachProxy();
    void detachProxy();

    std::string lastError;
    // The Windows Sockets number of a failed attempt's socket error; 0 for
    // any other failure.
    int lastErrorCode = 0;
    int timeoutMs = ConnectionTimeoutMs;

private:
    TcpClient& client_;
    const SystemTestSettings& settings_;
    // The client holds a proxy transport that attachProxy made.
    bool proxyAttached_ = false;
};

} // namespace tavora
