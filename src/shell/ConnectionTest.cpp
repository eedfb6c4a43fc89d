#include "shell/ConnectionTest.h"

#include "net/SocketIOHandler.h"
#include "net/SocksInfo.h"
#include "net/TcpClient.h"
#include "platform/net/NetExceptions.h"
#include "settings/SystemTestSettings.h"

#include <chrono>
#include <thread>

namespace tavora {

ConnectionTest::ConnectionTest(TcpClient& client, Component& owner, const SystemTestSettings& settings)
    : client_(client), owner_(owner), settings_(settings) {}

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
    // Both belong to the owner until DetachProxy releases them.
    auto* handler = new SocketIOHandler(&owner_);
    auto* socksInfo = new SocksInfo(&owner_);
    handler->setSocksInfo(socksInfo);
    client_.setIOHandler(handler);
    proxyHandler_ = handler;
    socksInfo->setAuthentication(settings_.proxyAuthentication ? UsernamePassword : NoAuthentication);
    socksInfo->setHost(settings_.proxyHost);
    socksInfo->setPort(settings_.proxyPort);
    socksInfo->setUsername(settings_.proxyUserName);
    socksInfo->setPassword(settings_.proxyPassword);
    socksInfo->setVersion(static_cast<SocksVersion>(settings_.socksVersion));
}

void ConnectionTest::detachProxy() {
    if (!proxyHandler_)
        return;
    try {
        if (client_.connected())
            return;
        SocketIOHandler* handler = proxyHandler_;
        SocksInfo* socksInfo = handler->socksInfo();
        client_.setIOHandler(nullptr);
        handler->setSocksInfo(nullptr);
        proxyHandler_ = nullptr;
        delete socksInfo;
        delete handler;
    } catch (...) {
        // Detaching never fails the attempt.
    }
}

void ConnectionTest::sleepFor(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace tavora
