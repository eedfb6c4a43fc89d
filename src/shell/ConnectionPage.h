#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "shell/ConnectionTest.h"

class QEventLoop;
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
    // every attempt (its timed connects wait the page's way), and the owner
    // owns the proxy transport of an attempt.
    TConnectionPage(TTcpClient& client, TComponent& owner, QWidget* parent = nullptr);
    ~TConnectionPage() override;

    void Button1Click();
    void XPButton2Click();
    // The window is closing: a test that runs gives up at once and shows
    // nothing more.
    void StopConnectionTest();
    // One attempt; true when it failed.
    bool TestConnect(TTcpClient& client, const std::string& host, int port);
    void AttachProxy(TTcpClient& client);
    void DetachProxy(TTcpClient& client);

    // Whether the last attempt succeeded.
    bool ConnectionOk = false;
    // The service's test host and port; tests aim them at a local listener.
    std::string ConnectionTestHost;
    int ConnectionTestPort = TConnectionTest::ConnectionTestPort;
    // The time limit of one attempt.
    int ConnectionTimeoutMs = TConnectionTest::ConnectionTimeoutMs;
    // How the pause between the attempts passes; by default as the waits of
    // an attempt do (see WaitProcessingEvents).
    std::function<void(int milliseconds)> Sleep;
    // Where the proxy dialog learns the desktop's SOCKS proxy; none offers nothing.
    std::shared_ptr<TDesktopProxyLookup> DesktopProxy;

    std::unique_ptr<Ui::TConnectionPage> ui;

signals:
    // Every text the result label shows, in order.
    void resultShown(const QString& text, const QColor& colour);

private:
    void showResult(const QString& text, const QColor& colour);
    // Waits while the test runs: the window repaints and answers its desktop
    // (which offers to end a window that does not), but user input waits
    // until the test is over, as it always has. Returns at once after the test
    // is stopped.
    void WaitProcessingEvents(int milliseconds);

    TTcpClient& m_client;
    TConnectionTest m_test;
    bool m_stopRequested = false;
    // The wait in progress, if any.
    QEventLoop* m_wait = nullptr;
};
