#include "shell/ConnectionPage.h"

#include "BuildConfig.h"
#include "controls/FontColour.h"
#include "net/TcpClient.h"
#include "settings/SystemTestSettings.h"
#include "shell/DesktopProxyOffer.h"
#include "shell/ProxyDialog.h"
#include "ui_TConnectionPage.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

namespace {
const char* const Trying = "Trying to connect to Tavora Server...";
const char* const FirstFailed = "First attempt failed...";
const char* const SecondFailed = "Second attempt failed...";
const char* const ConnectionOkText = "Connection OK";
const char* const FailureText =
    "A connection cannot be astablish between your computer and the remote server.\r\n"
    "Please make sure you are connected to the internet. If there is a proxy server on your network please "
    "configure your proxy settings above. \r\n"
    "If you are running a personal Firewall or some anti virus software make sure they are not blocking this "
    "application. If the problem persists contact your network administrator or ISP for details.";
} // namespace

TConnectionPage::TConnectionPage(TTcpClient& client, TComponent& owner, QWidget* parent)
    : QWidget(parent), ConnectionTestHost(BuildConfig::ConnectionTestHost),
      Sleep([this](int milliseconds) { WaitProcessingEvents(milliseconds); }),
      ui(std::make_unique<Ui::TConnectionPage>()), m_client(client),
      m_test(client, owner, SystemTestSettings) {
    ui->setupUi(this);
    m_client.SetSleep([this](int milliseconds) { WaitProcessingEvents(milliseconds); });
    connect(ui->XPButton1, &QPushButton::clicked, this, &TConnectionPage::Button1Click);
    connect(ui->XPButton2, &QPushButton::clicked, this, &TConnectionPage::XPButton2Click);
}

// The client belongs to the window and outlives the page.
TConnectionPage::~TConnectionPage() {
    m_client.SetSleep({});
}

void TConnectionPage::showResult(const QString& text, const QColor& colour) {
    SetFontColour(ui->lbConnectionRes, colour);
    ui->lbConnectionRes->setText(text);
    emit resultShown(text, colour);
    QApplication::processEvents();
}

void TConnectionPage::Button1Click() {
    m_stopRequested = false;
    showResult(Trying, FontColours::Black);
    ConnectionOk = !TestConnect(m_client, ConnectionTestHost, ConnectionTestPort);
    if (m_stopRequested)
        return;
    if (!ConnectionOk) {
        showResult(FirstFailed, FontColours::Black);
        Sleep(TConnectionTest::PauseBetweenAttemptsMs);
        if (m_stopRequested)
            return;
        showResult(Trying, FontColours::Black);
        ConnectionOk = !TestConnect(m_client, ConnectionTestHost, ConnectionTestPort);
        if (m_stopRequested)
            return;
        if (!ConnectionOk)
            showResult(SecondFailed, FontColours::Black);
    }
    if (ConnectionOk)
        showResult(ConnectionOkText, FontColours::Green);
    else
        showResult(FailureText, FontColours::Red);
}

void TConnectionPage::StopConnectionTest() {
    m_stopRequested = true;
    if (m_wait)
        m_wait->quit();
}

// A stopped attempt's remaining waits take no time, so it ends as if its time
// were up, without a text.
void TConnectionPage::WaitProcessingEvents(int milliseconds) {
    if (m_stopRequested || milliseconds <= 0)
        return;
    QEventLoop wait;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &wait, &QEventLoop::quit);
    m_wait = &wait;
    wait.exec(QEventLoop::ExcludeUserInputEvents);
    m_wait = nullptr;
}

// The attempt itself is shared with the headless report; the page only
// passes its client through.
bool TConnectionPage::TestConnect(TTcpClient& client, const std::string& host, int port) {
    Q_ASSERT(&client == &m_client);
    (void)client;
    m_test.TimeoutMs = ConnectionTimeoutMs;
    return m_test.TestConnect(host, port);
}

void TConnectionPage::AttachProxy(TTcpClient&) {
    m_test.AttachProxy();
}

void TConnectionPage::DetachProxy(TTcpClient&) {
    m_test.DetachProxy();
}

void TConnectionPage::XPButton2Click() {
    auto dialog = std::make_unique<TfrmProxy>(window());
    FillProxyDialog(*dialog, SystemTestSettings);
    OfferDesktopProxy(*dialog, SystemTestSettings, DesktopProxy, ConnectionTestHost, ConnectionTestPort);
    if (dialog->exec() == QDialog::Accepted) {
        dialog->hide();
        TakeBackProxyDialog(*dialog, SystemTestSettings);
    }
}
