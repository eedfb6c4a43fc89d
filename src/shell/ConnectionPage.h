#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "shell/ConnectionTest.h"

class QEventLoop;

namespace Ui {
class ConnectionPage;
}

namespace tavora {

class DesktopProxyLookup;
class TcpClient;

// Body of the connection page: "Test My Connection" makes up to two attempts
// to open a TCP connection to the service's test host, directly or through
// the configured SOCKS proxy, and shows the outcome; "Proxy Settings" edits
// the proxy part of the settings record.
class ConnectionPage : public QWidget {
    Q_OBJECT
public:
    // `client` belongs to the window and outlives the page; it is reused by
    // every attempt (its timed connects wait the page's way). The settings
    // are the window's record: the test reads them, the proxy dialog
    // changes them.
    ConnectionPage(TcpClient& client, SystemTestSettings& settings, QWidget* parent = nullptr);
    ~ConnectionPage() override;

    void runConnectionTest();
    void onProxySettingsClicked();
    // The window is closing: a test that runs gives up at once and shows
    // nothing more, and no test starts any more.
    void stopConnectionTest();
    // One attempt; true when it connected.
    bool connectionSucceeds(TcpClient& client, const std::string& host, int port);
    void attachProxy(TcpClient& client);
    void detachProxy(TcpClient& client);

    // Whether the last attempt succeeded.
    bool connectionOk = false;
    // The service's test host and port; tests aim them at a local listener.
    std::string connectionTestHost;
    int connectionTestPort = ConnectionTest::ConnectionTestPort;
    // The time limit of one attempt.
    int connectionTimeoutMs = ConnectionTest::ConnectionTimeoutMs;
    // How the pause between the attempts passes; by default as the waits of
    // an attempt do (see waitProcessingEvents).
    std::function<void(int milliseconds)> sleep;
    // Where the proxy dialog learns the desktop's SOCKS proxy; none offers nothing.
    std::shared_ptr<DesktopProxyLookup> desktopProxy;

    std::unique_ptr<Ui::ConnectionPage> ui;

signals:
    // Every text the result label shows, in order.
    void resultShown(const QString& text, const QColor& colour);

private:
    void showResult(const QString& text, const QColor& colour);
    // Waits while the test runs: the window repaints and answers its desktop
    // (which offers to end a window that does not), but user input waits
    // until the next text is shown. Returns early once `fd` is ready (when
    // one is given), and at once after the test is stopped.
    void waitProcessingEvents(int milliseconds, int fd = -1, bool forWriting = false);

    TcpClient& client_;
    SystemTestSettings& settings_;
    ConnectionTest test_;
    bool stopRequested_ = false;
    // The wait in progress, if any.
    QEventLoop* wait_ = nullptr;
};

} // namespace tavora
