#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "shell/ConnectionTest.h"

class TComponent;
class TDesktopProxyLookup;
class TTcpClient;
namespace Ui {
class TConnectionPage;
}

// Body of the connection page: "Test My Connection" makes up to two attempts
// to open a TCP connection to the service's test host, directly or through
// the configured SOCKS proxy, and shows the outcome; "Proxy Settings" edits
// the proxy part of the settings record.
class TConnectionPage : public QWidget {
    Q_OBJECT
public:
    // `client` and `owner` belong to the window: the client is reused by
    // every attempt, and the owner owns the proxy transport of an attempt.
    TConnectionPage(TTcpClient& client, TComponent& owner, QWidget* parent = nullptr);
    ~TConnectionPage() override;

    void Button1Click();
    void XPButton2Click();
    // One attempt; true when it failed.
    bool TestConnect(TTcpClient& client, const std::string& host, int port);
    void AttachProxy(TTcpClient& client);
    void DetachProxy(TTcpClient& client);

    // Whether the last attempt succeeded.
    bool ConnectionOk = false;
    // The service's test host and port; tests aim them at a local listener.
    std::string ConnectionTestHost;
    int ConnectionTestPort = TConnectionTest::ConnectionTestPort;
    // How the pause between the attempts sleeps (the UI thread blocks).
    std::function<void(int milliseconds)> Sleep;
    // Where the proxy dialog learns the desktop's SOCKS proxy; none offers nothing.
    std::shared_ptr<TDesktopProxyLookup> DesktopProxy;

    std::unique_ptr<Ui::TConnectionPage> ui;

signals:
    // Every text the result label shows, in order.
    void resultShown(const QString& text, const QColor& colour);

private:
    void showResult(const QString& text, const QColor& colour);

    TTcpClient& m_client;
    TConnectionTest m_test;
};
