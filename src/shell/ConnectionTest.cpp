#include "shell/ConnectionTest.h"

#include "net/SocketIOHandler.h"
#include "net/SocksInfo.h"
#include "net/TcpClient.h"
#include "platform/net/NetExceptions.h"
#include "settings/SystemTestSettings.h"

#include <chrono>
#include <thread>

TConnectionTest::TConnectionTest(TTcpClient& client, TComponent& owner, const TSystemTestSettings& settings)
    : m_client(client), m_owner(owner), m_settings(settings) {}

bool TConnectionTest::TestConnect(const std::string& host, int port) {
    if (m_client.Connected())
        m_client.Disconnect();
    m_client.SetHost(host);
    m_client.SetPort(port);
    bool failed = false;
    LastError.clear();
    LastErrorCode = 0;
    try {
        AttachProxy();
        m_client.Connect(TimeoutMs);
        m_client.Disconnect();
    } catch (const std::exception& e) {
        // Every failure counts the same for the page, which never shows the
        // message; the report does.
        failed = true;
        LastError = e.what();
        if (const auto* socketError = dynamic_cast<const ESocketError*>(&e))
            LastErrorCode = socketError->ErrorCode();
    }
    DetachProxy();
    return failed;
}

void TConnectionTest::AttachProxy() {
    if (!m_settings.UseProxy)
        return;
    // Both belong to the owner until DetachProxy releases them.
    auto* handler = new TSocketIOHandler(&m_owner);
    auto* socksInfo = new TSocksInfo(&m_owner);
    handler->SetSocksInfo(socksInfo);
    m_client.SetIOHandler(handler);
    m_proxyHandler = handler;
    socksInfo->SetAuthentication(m_settings.ProxyAuthentication ? saUsernamePassword : saNoAuthentication);
    socksInfo->SetHost(m_settings.ProxyHost);
    socksInfo->SetPort(m_settings.ProxyPort);
    socksInfo->SetUsername(m_settings.ProxyUserName);
    socksInfo->SetPassword(m_settings.ProxyPassword);
    socksInfo->SetVersion(static_cast<TSocksVersion>(m_settings.SocksVersion));
}

void TConnectionTest::DetachProxy() {
    if (!m_proxyHandler)
        return;
    try {
        if (m_client.Connected())
            return;
        TSocketIOHandler* handler = m_proxyHandler;
        TSocksInfo* socksInfo = handler->SocksInfo();
        m_client.SetIOHandler(nullptr);
        handler->SetSocksInfo(nullptr);
        m_proxyHandler = nullptr;
        delete socksInfo;
        delete handler;
    } catch (...) {
        // Detaching never fails the attempt.
    }
}

void TConnectionTest::SleepFor(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
