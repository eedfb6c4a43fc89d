#include "shell/ConnectionPage.h"

#include "BuildConfig.h"
#include "controls/Accessibility.h"
#include "controls/FontColour.h"
#include "net/TcpClient.h"
#include "settings/SystemTestSettings.h"
#include "shell/DesktopProxyOffer.h"
#include "shell/ProxyDialog.h"
#include "ui_ConnectionPage.h"

#include <QApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <optional>

namespace tavora {

ConnectionPage::ConnectionPage(TcpClient& client, SystemTestSettings& settings, QWidget* parent)
    : QWidget(parent), connectionTestHost(BuildConfig::ConnectionTestHost),
      sleep([this](int milliseconds) { waitProcessingEvents(milliseconds); }),
      ui(std::make_unique<Ui::ConnectionPage>()), client_(client), settings_(settings),
      test_(client, settings) {
    ui->setupUi(this);
    makeAnnouncedLabel(ui->resultLabel);
    client_.setSleep([this](int milliseconds) { waitProcessingEvents(milliseconds); });
    client_.setWaitReady([this](int fd, bool forWriting, int milliseconds) {
        waitProcessingEvents(milliseconds, fd, forWriting);
        return !stopRequested_;
    });
    connect(ui->testConnectionButton, &QPushButton::clicked, this, &ConnectionPage::runConnectionTest);
    connect(ui->proxySettingsButton, &QPushButton::clicked, this, &ConnectionPage::onProxySettingsClicked);
}

// The client belongs to the window and outlives the page.
ConnectionPage::~ConnectionPage() {
    client_.setSleep({});
    client_.setWaitReady({});
}

void ConnectionPage::showResult(const QString& text, const QColor& colour) {
    setFontColour(ui->resultLabel, colour);
    ui->resultLabel->setText(text);
    announce(ui->resultLabel);
    emit resultShown(text, colour);
    QApplication::processEvents();
}

// Input (a click, a key, the close box) waits during an attempt and the pause,
// and is taken whenever a text is shown. A close taken there, or at any other
// time, ends the test before its next attempt.
void ConnectionPage::runConnectionTest() {
    if (stopRequested_)
        return;
    const QString trying = tr("Trying to connect to Tavora Server...");
    showResult(trying, FontColours::Black);
    if (stopRequested_)
        return;
    connectionOk = connectionSucceeds(client_, connectionTestHost, connectionTestPort);
    if (stopRequested_)
        return;
    if (!connectionOk) {
        showResult(tr("First attempt failed..."), FontColours::Black);
        sleep(ConnectionTest::PauseBetweenAttemptsMs);
        if (stopRequested_)
            return;
        showResult(trying, FontColours::Black);
        if (stopRequested_)
            return;
        connectionOk = connectionSucceeds(client_, connectionTestHost, connectionTestPort);
        if (stopRequested_)
            return;
        if (!connectionOk)
            showResult(tr("Second attempt failed..."), FontColours::Black);
    }
    if (connectionOk)
        showResult(tr("Connection OK"), FontColours::Green);
    else
        showResult(
            tr("A connection cannot be astablish between your computer and the remote server.\r\n"
               "Please make sure you are connected to the internet. If there is a proxy server on your "
               "network please configure your proxy settings above. \r\n"
               "If you are running a personal Firewall or some anti virus software make sure they are not "
               "blocking this application. If the problem persists contact your network administrator or "
               "ISP for details."),
            FontColours::Red);
}

void ConnectionPage::stopConnectionTest() {
    stopRequested_ = true;
    if (wait_)
        wait_->quit();
}

// A stopped attempt's remaining waits take no time, so it ends as if its time
// were up, without a text.
void ConnectionPage::waitProcessingEvents(int milliseconds, int fd, bool forWriting) {
    if (stopRequested_ || milliseconds <= 0)
        return;
    QEventLoop wait;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &wait, &QEventLoop::quit);
    std::optional<QSocketNotifier> ready;
    if (fd >= 0) {
        ready.emplace(qintptr(fd), forWriting ? QSocketNotifier::Write : QSocketNotifier::Read);
        connect(&*ready, &QSocketNotifier::activated, &wait, &QEventLoop::quit);
    }
    wait_ = &wait;
    wait.exec(QEventLoop::ExcludeUserInputEvents);
    wait_ = nullptr;
}

// The attempt itself is shared with the headless report; the page only
// passes its client through.
bool ConnectionPage::connectionSucceeds(TcpClient& client, const std::string& host, int port) {
    Q_ASSERT(&client == &client_);
    (void)client;
    test_.timeoutMs = connectionTimeoutMs;
    return test_.connectionSucceeds(host, port);
}

void ConnectionPage::attachProxy(TcpClient&) {
    test_.attachProxy();
}

void ConnectionPage::detachProxy(TcpClient&) {
    test_.detachProxy();
}

void ConnectionPage::onProxySettingsClicked() {
    auto dialog = std::make_unique<ProxyDialog>(window());
    fillProxyDialog(*dialog, settings_);
    offerDesktopProxy(*dialog, settings_, desktopProxy, connectionTestHost, connectionTestPort);
    if (dialog->exec() == QDialog::Accepted) {
        dialog->hide();
        takeBackProxyDialog(*dialog, settings_);
    }
}

} // namespace tavora
