#include "shell/ConnectionPage.h"
#include "controls/FontColour.h"
#include "net/TcpClient.h"
#include "platform/net/NetComponent.h"
#include "platform/net/TestSockets.h"
#include "shell/ProxyDialog.h"
#include "settings/SystemTestSettings.h"
#include "ui_ConnectionPage.h"
#include "ui_ProxyDialog.h"

#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

using namespace tavora;

namespace {
using testnet::LoopbackListener;
using testnet::RefusingPort;

// A minimal SOCKS 5 proxy that accepts one client, checks nothing but records
// the CONNECT request, and answers success without connecting on.
class FakeSocks5 {
public:
    FakeSocks5() {
        thread_ = std::thread([this] {
            const int c = accept(listener_.fd(), nullptr, nullptr);
            if (c < 0)
                return;
            accepted_ = true;
            unsigned char greeting[3];
            if (readAll(c, greeting, 3)) {
                const unsigned char choose[2] = {5, 0};
                write(c, choose, 2);
                unsigned char head[5];
                if (readAll(c, head, 5) && head[3] == 3) {
                    std::string host(head[4], '\0');
                    unsigned char port[2];
                    if (readAll(c, host.data(), host.size()) && readAll(c, port, 2)) {
                        host_ = host;
                        port_ = port[0] << 8 | port[1];
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
        if (!accepted_) {
            const int s = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(listener_.port());
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
            close(s);
        }
        thread_.join();
    }
    int port() const { return listener_.port(); }
    bool accepted() const { return accepted_; }
    std::string host() const { return host_; }
    int requestedPort() const { return port_; }

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
    LoopbackListener listener_;
    std::atomic<bool> accepted_{false};
    std::string host_;
    int port_ = 0;
    std::thread thread_;
};

struct Shown {
    QString text;
    QColor colour;
};
} // namespace

class ConnectionPageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TcpClient> client;
    SystemTestSettings settings;
    std::unique_ptr<ConnectionPage> page;
    QList<Shown> shown;
    QList<int> sleeps;

    void runTest() {
        shown.clear();
        sleeps.clear();
        page->runConnectionTest();
    }
    QStringList shownTexts() const {
        QStringList list;
        for (const Shown& s : shown)
            list << s.text;
        return list;
    }

private slots:
    void init() {
        settings = SystemTestSettings{};
        settings.proxyPort = 1080;
        client = std::make_unique<TcpClient>();
        page = std::make_unique<ConnectionPage>(*client, settings);
        page->connectionTestHost = "127.0.0.1";
        page->sleep = [this](int ms) { sleeps << ms; };
        connect(page.get(), &ConnectionPage::resultShown, this,
                [this](const QString& text, const QColor& colour) {
                    shown << Shown{text, colour};
                });
    }
    void cleanup() {
        page.reset();
        client.reset();
    }

    void texts() {
        QCOMPARE(page->ui->testConnectionButton->text(), QString("Test My Connection"));
        QCOMPARE(page->ui->proxySettingsButton->text(), QString("Proxy Settings"));
        QCOMPARE(page->ui->testConnectionButton->geometry(), QRect(10, 15, 136, 31));
        QCOMPARE(page->ui->proxySettingsButton->geometry(), QRect(155, 15, 136, 31));
        QVERIFY(page->ui->resultLabel->text().isEmpty());
        QCOMPARE(page->connectionTestPort, 9910);
    }

    void reachableHostNeedsOneAttempt() {
        LoopbackListener target;
        page->connectionTestPort = target.port();
        const int before = NetComponent::liveCount();
        runTest();
        QCOMPARE(shownTexts(), QStringList({"Trying to connect to Tavora Server...", "Connection OK"}));
        QCOMPARE(shown.first().colour, FontColours::Black);
        QCOMPARE(shown.last().colour, FontColours::Green);
        QCOMPARE(fontColour(page->ui->resultLabel), FontColours::Green);
        QVERIFY(sleeps.isEmpty());
        QVERIFY(page->connectionOk);
        QVERIFY(!client->connected());
        QCOMPARE(NetComponent::liveCount(), before);
    }

    void refusedPortMakesTwoAttempts() {
        RefusingPort closed;
        page->connectionTestPort = closed.port();
        runTest();
        QCOMPARE(shownTexts(),
                 QStringList({"Trying to connect to Tavora Server...", "First attempt failed...",
                              "Trying to connect to Tavora Server...", "Second attempt failed...",
                              page->ui->resultLabel->text()}));
        QVERIFY(page->ui->resultLabel->text().startsWith(
            "A connection cannot be astablish between your computer and the remote server.\r\n"));
        QVERIFY(page->ui->resultLabel->text().endsWith(
            "contact your network administrator or ISP for details."));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(shown[i].colour, FontColours::Black);
        QCOMPARE(shown.last().colour, FontColours::Red);
        QCOMPARE(sleeps, QList<int>({2000}));
        QVERIFY(!page->connectionOk);
    }

    // The service comes up during the pause: the second attempt succeeds and
    // its result replaces the first one's.
    void secondAttemptCanSucceed() {
        RefusingPort closed;
        LoopbackListener target;
        page->connectionTestPort = closed.port();
        page->sleep = [&](int ms) {
            sleeps << ms;
            page->connectionTestPort = target.port();
        };
        runTest();
        QCOMPARE(shownTexts(), QStringList({"Trying to connect to Tavora Server...", "First attempt failed...",
                                            "Trying to connect to Tavora Server...", "Connection OK"}));
        QCOMPARE(shown.last().colour, FontColours::Green);
        QCOMPARE(sleeps, QList<int>({2000}));
        QVERIFY(page->connectionOk);
        QVERIFY(!client->connected());
    }

    void proxyOnlyWhenUseProxyIsSet() {
        LoopbackListener target;
        page->connectionTestPort = target.port();
        const int before = NetComponent::liveCount();
        {
            FakeSocks5 proxy;
            settings.useProxy = true;
            settings.socksVersion = 3;
            settings.proxyHost = "127.0.0.1";
            settings.proxyPort = proxy.port();
            runTest();
            QVERIFY(page->connectionOk);
            QVERIFY(proxy.accepted());
            QCOMPARE(proxy.host(), std::string("127.0.0.1"));
            QCOMPARE(proxy.requestedPort(), target.port());
            // The transport and its SOCKS settings are gone after the attempt.
            QVERIFY(client->ioHandler() == nullptr);
            QCOMPARE(NetComponent::liveCount(), before);
        }
        for (const auto& [useProxy, version] : {std::pair{false, 3}, std::pair{true, 0}}) {
            FakeSocks5 proxy;
            settings.useProxy = useProxy;
            settings.socksVersion = uint8_t(version);
            settings.proxyPort = proxy.port();
            runTest();
            QVERIFY(page->connectionOk);
            QVERIFY(!proxy.accepted()); // a direct connection
            QCOMPARE(NetComponent::liveCount(), before);
        }
    }

    void refusingProxyFailsBothAttempts() {
        LoopbackListener target;
        page->connectionTestPort = target.port();
        settings.useProxy = true;
        settings.socksVersion = 3;
        settings.proxyHost = "127.0.0.1";
        RefusingPort refusingProxy;
        settings.proxyPort = refusingProxy.port();
        const int before = NetComponent::liveCount();
        runTest();
        QVERIFY(!page->connectionOk);
        QCOMPARE(shown.last().colour, FontColours::Red);
        QCOMPARE(sleeps.size(), 1);
        QVERIFY(client->ioHandler() == nullptr);
        QCOMPARE(NetComponent::liveCount(), before);
        // The dialog clears the proxy: the next test connects directly.
        settings.useProxy = false;
        runTest();
        QVERIFY(page->connectionOk);
    }

    // A close in the pause is taken, as input is, when the next text shows:
    // no second attempt follows, here through a proxy that never answers.
    void closeInThePauseMakesNoFurtherAttempt() {
        LoopbackListener proxy;
        settings.useProxy = true;
        settings.socksVersion = 3;
        settings.proxyHost = "127.0.0.1";
        settings.proxyPort = proxy.port();
        page->connectionTimeoutMs = 300;
        int connects = 0;
        client->setStageObserver(
            [&](ConnectStage stage) { connects += stage == ConnectStage::TcpConnect; });
        page->sleep = [&](int ms) {
            sleeps << ms;
            QMetaObject::invokeMethod(
                page.get(), [&] { page->stopConnectionTest(); }, Qt::QueuedConnection);
        };
        runTest();
        QCOMPARE(shownTexts(),
                 QStringList({"Trying to connect to Tavora Server...", "First attempt failed...",
                              "Trying to connect to Tavora Server..."}));
        QCOMPARE(connects, 1);
        int atProxy = 0;
        while (proxy.accept(0).get() != -1)
            ++atProxy;
        QCOMPARE(atProxy, 1);
    }
};

QTEST_MAIN(ConnectionPageTest)
#include "ConnectionPageTest.moc"
