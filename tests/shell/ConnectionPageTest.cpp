#include "shell/ConnectionPage.h"
#include "controls/FontColour.h"
#include "net/TcpClient.h"
#include "platform/net/Component.h"
#include "platform/net/TestSockets.h"
#include "shell/ProxyDialog.h"
#include "settings/SystemTestSettings.h"
#include "ui_TConnectionPage.h"
#include "ui_TfrmProxy.h"

#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {
using testnet::TLoopbackListener;
using testnet::TRefusingPort;

// A minimal SOCKS 5 proxy that accepts one client, checks nothing but records
// the CONNECT request, and answers success without connecting on.
class FakeSocks5 {
public:
    FakeSocks5() {
        m_thread = std::thread([this] {
            const int c = accept(m_listener.Fd(), nullptr, nullptr);
            if (c < 0)
                return;
            m_accepted = true;
            unsigned char greeting[3];
            if (readAll(c, greeting, 3)) {
                const unsigned char choose[2] = {5, 0};
                write(c, choose, 2);
                unsigned char head[5];
                if (readAll(c, head, 5) && head[3] == 3) {
                    std::string host(head[4], '\0');
                    unsigned char port[2];
                    if (readAll(c, host.data(), host.size()) && readAll(c, port, 2)) {
                        m_host = host;
                        m_port = port[0] << 8 | port[1];
                        const unsigned char reply[10] = {5, 0, 0, 1, 127, 0, 0, 1, 0, 1};
                        write(c, reply, sizeof reply);
                    }
                }
            }
            char drain[16];
            while (read(c, drain, sizeof drain) > 0) {
            }
            close(c);
        });
    }
    ~FakeSocks5() {
        // Wake a thread that is still waiting for a client.
        if (!m_accepted) {
            const int s = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(m_listener.Port());
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
            close(s);
        }
        m_thread.join();
    }
    int port() const { return m_listener.Port(); }
    bool accepted() const { return m_accepted; }
    std::string host() const { return m_host; }
    int requestedPort() const { return m_port; }

private:
    static bool readAll(int fd, void* buffer, size_t size) {
        auto* p = static_cast<char*>(buffer);
        while (size > 0) {
            const ssize_t n = read(fd, p, size);
            if (n <= 0)
                return false;
            p += n;
            size -= size_t(n);
        }
        return true;
    }
    TLoopbackListener m_listener;
    std::atomic<bool> m_accepted{false};
    std::string m_host;
    int m_port = 0;
    std::thread m_thread;
};

struct Shown {
    QString text;
    QColor colour;
};
} // namespace

class ConnectionPageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TComponent> owner;
    TTcpClient* client = nullptr;
    std::unique_ptr<TConnectionPage> page;
    QList<Shown> shown;
    QList<int> sleeps;

    void runTest() {
        shown.clear();
        sleeps.clear();
        page->Button1Click();
    }
    QStringList shownTexts() const {
        QStringList list;
        for (const Shown& s : shown)
            list << s.text;
        return list;
    }

private slots:
    void init() {
        SystemTestSettings = TSystemTestSettings{};
        SystemTestSettings.ProxyPort = 1080;
        owner = std::make_unique<TComponent>();
        client = new TTcpClient(owner.get());
        page = std::make_unique<TConnectionPage>(*client, *owner);
        page->ConnectionTestHost = "127.0.0.1";
        page->Sleep = [this](int ms) { sleeps << ms; };
        connect(page.get(), &TConnectionPage::resultShown, this,
                [this](const QString& text, const QColor& colour) {
                    shown << Shown{text, colour};
                });
    }
    void cleanup() {
        page.reset();
        owner.reset();
    }

    void texts() {
        QCOMPARE(page->ui->XPButton1->text(), QString("Test My Connection"));
        QCOMPARE(page->ui->XPButton2->text(), QString("Proxy Settings"));
        QCOMPARE(page->ui->XPButton1->geometry(), QRect(10, 15, 136, 31));
        QCOMPARE(page->ui->XPButton2->geometry(), QRect(155, 15, 136, 31));
        QVERIFY(page->ui->lbConnectionRes->text().isEmpty());
        QCOMPARE(page->ConnectionTestPort, 9910);
    }

    void reachableHostNeedsOneAttempt() {
        TLoopbackListener target;
        page->ConnectionTestPort = target.Port();
        const int before = TNetComponent::LiveCount();
        runTest();
        QCOMPARE(shownTexts(), QStringList({"Trying to connect to Tavora Server...", "Connection OK"}));
        QCOMPARE(shown.first().colour, FontColours::Black);
        QCOMPARE(shown.last().colour, FontColours::Green);
        QCOMPARE(FontColour(page->ui->lbConnectionRes), FontColours::Green);
        QVERIFY(sleeps.isEmpty());
        QVERIFY(page->ConnectionOk);
        QVERIFY(!client->Connected());
        QCOMPARE(TNetComponent::LiveCount(), before);
    }

    void refusedPortMakesTwoAttempts() {
        TRefusingPort closed;
        page->ConnectionTestPort = closed.Port();
        runTest();
        QCOMPARE(shownTexts(),
                 QStringList({"Trying to connect to Tavora Server...", "First attempt failed...",
                              "Trying to connect to Tavora Server...", "Second attempt failed...",
                              page->ui->lbConnectionRes->text()}));
        QVERIFY(page->ui->lbConnectionRes->text().startsWith(
            "A connection cannot be astablish between your computer and the remote server.\r\n"));
        QVERIFY(page->ui->lbConnectionRes->text().endsWith(
            "contact your network administrator or ISP for details."));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(shown[i].colour, FontColours::Black);
        QCOMPARE(shown.last().colour, FontColours::Red);
        QCOMPARE(sleeps, QList<int>({2000}));
        QVERIFY(!page->ConnectionOk);
    }

    // The service comes up during the pause: the second attempt succeeds and
    // its result replaces the first one's.
    void secondAttemptCanSucceed() {
        TRefusingPort closed;
        TLoopbackListener target;
        page->ConnectionTestPort = closed.Port();
        page->Sleep = [&](int ms) {
            sleeps << ms;
            page->ConnectionTestPort = target.Port();
        };
        runTest();
        QCOMPARE(shownTexts(), QStringList({"Trying to connect to Tavora Server...", "First attempt failed...",
                                            "Trying to connect to Tavora Server...", "Connection OK"}));
        QCOMPARE(shown.last().colour, FontColours::Green);
        QCOMPARE(sleeps, QList<int>({2000}));
        QVERIFY(page->ConnectionOk);
        QVERIFY(!client->Connected());
    }

    void proxyOnlyWhenUseProxyIsSet() {
        TLoopbackListener target;
        page->ConnectionTestPort = target.Port();
        const int before = TNetComponent::LiveCount();
        {
            FakeSocks5 proxy;
            SystemTestSettings.UseProxy = true;
            SystemTestSettings.SocksVersion = 3;
            SystemTestSettings.ProxyHost = "127.0.0.1";
            SystemTestSettings.ProxyPort = proxy.port();
            runTest();
            QVERIFY(page->ConnectionOk);
            QVERIFY(proxy.accepted());
            QCOMPARE(proxy.host(), std::string("127.0.0.1"));
            QCOMPARE(proxy.requestedPort(), target.Port());
            // The transport and its SOCKS settings are gone after the attempt.
            QVERIFY(client->IOHandler() == nullptr);
            QCOMPARE(TNetComponent::LiveCount(), before);
        }
        for (const auto& [useProxy, version] : {std::pair{false, 3}, std::pair{true, 0}}) {
            FakeSocks5 proxy;
            SystemTestSettings.UseProxy = useProxy;
            SystemTestSettings.SocksVersion = uint8_t(version);
            SystemTestSettings.ProxyPort = proxy.port();
            runTest();
            QVERIFY(page->ConnectionOk);
            QVERIFY(!proxy.accepted()); // a direct connection
            QCOMPARE(TNetComponent::LiveCount(), before);
        }
    }

    void refusingProxyFailsBothAttempts() {
        TLoopbackListener target;
        page->ConnectionTestPort = target.Port();
        SystemTestSettings.UseProxy = true;
        SystemTestSettings.SocksVersion = 3;
        SystemTestSettings.ProxyHost = "127.0.0.1";
        TRefusingPort refusingProxy;
        SystemTestSettings.ProxyPort = refusingProxy.Port();
        const int before = TNetComponent::LiveCount();
        runTest();
        QVERIFY(!page->ConnectionOk);
        QCOMPARE(shown.last().colour, FontColours::Red);
        QCOMPARE(sleeps.size(), 1);
        QVERIFY(client->IOHandler() == nullptr);
        QCOMPARE(TNetComponent::LiveCount(), before);
        // The dialog clears the proxy: the next test connects directly.
        SystemTestSettings.UseProxy = false;
        runTest();
        QVERIFY(page->ConnectionOk);
    }
};

QTEST_MAIN(ConnectionPageTest)
#include "ConnectionPageTest.moc"
