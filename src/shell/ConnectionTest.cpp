#include "shell/ConnectionTest.h"

#include "net/SocketIOHandler.h"
#include "net/TcpClient.h"
#include "platform/net/NetExceptions.h"
#include "settings/SystemTestSettings.h"

#include <chrono>
#include <memory>
#include <thread>

namespace tavora {

ConnectionTest::ConnectionTest(TcpClient& client, const SystemTestSettings& settings)
    : client_(client), settings_(settings) {}

bool ConnectionTest::connectionSucceeds(const std::string& host, int port) {
    if (client_.connected())
        client_.disconnect();
    client_.setHost(host);
    client_.setPort(port);
    bool succeeded = true;
    lastError.clear();
    lastErrorCode = 0;
    try {
        attachProxy();
        client_.connect(timeoutMs);
        client_.disconnect();
    } catch (const std::exception& e) {
        // Every failure counts the same for the page, which never shows the
        // message; the report does.
        succeeded = false;
        lastError = e.what();
        if (const auto* socketError = dynamic_cast<const SocketError*>(&e))
            lastErrorCode = socketError->errorCode();
    }
    detachProxy();
    return succeeded;
}

void ConnectionTest::attachProxy() {
    if (!settings_.useProxy)
        return;
    auto handler = std::make_unique<SocketIOHandler>();
    SocksInfo& socksInfo = handler->socksInfo();
    socksInfo.setAuthentication(settings_.proxyAuthentication ? UsernamePassword : NoAuthentication);
    socksInfo.setHost(settings_.proxyHost);
    socksInfo.setPort(settings_.proxyPort);
    socksInfo.setUsername(settings_.proxyUserName);
    socksInfo.setPassword(settings_.proxyPassword);
    socksInfo.setVersion(static_cast<SocksVersion>(settings_.socksVersion));
    // The client owns the transport, and the transport its SOCKS settings,
    // until detachProxy frees both.
    client_.setIOHandler(std::move(handler));
    proxyAttached_ = true;
}

// A transport that is still connected stays with the client.
void ConnectionTest::detachProxy() {
    if (!proxyAttached_ || client_.connected())
        return;
    client_.setIOHandler(nullptr);
    proxyAttached_ = false;
}

void ConnectionTest::sleepFor(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace tavora
