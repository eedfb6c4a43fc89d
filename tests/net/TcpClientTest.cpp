#include "net/TcpClient.h"
#include "net/ClientExceptions.h"
#include "net/SocketIOHandler.h"
#include "net/SocksInfo.h"
#include "platform/net/NetExceptions.h"
#include "platform/net/SocketErrors.h"
#include "platform/net/SocketStack.h"
#include "platform/net/TestSockets.h"

#include "platform/net/TableLookup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

int ThreadCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                ++count;
        closedir(dir);
    }
    return count;
}

// Records the slices of a timed connect; sleeps for real unless told not to.
class TSleepLog {
public:
    explicit TSleepLog(bool sleepForReal = true) : Real_(sleepForReal) {}
    TSocketIOHandler::TSleep Sleeper() {
        return [this](int ms) {
            {
                std::lock_guard lock(Lock_);
                Slices_.push_back(ms);
            }
            if (Real_)
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        };
    }
    std::vector<int> Slices() {
        std::lock_guard lock(Lock_);
        return Slices_;
    }

private:
    bool Real_;
    std::mutex Lock_;
    std::vector<int> Slices_;
};

std::vector<int> Slices(int count, int each, int last) {
    std::vector<int> out(static_cast<std::size_t>(count), each);
    out.push_back(last);
    return out;
}

// The client with a transport of the test's own (as the connection page
// attaches one), answering name lookups from a table.
class TcpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        testnet::InstallTableLookup(Lookups);
        Client.SetHost("127.0.0.1");
    }

    void UseHandler(TSleepLog& log) {
        Handler = new TSocketIOHandler(&Window);
        Handler->SetSleep(log.Sleeper());
        Client.SetIOHandler(Handler);
    }

    template <typename E> std::string Fails(int timeoutMs) {
        try {
            Client.Connect(timeoutMs);
        } catch (const E& e) {
            return e.what();
        } catch (const std::exception& e) {
            return std::string("wrong exception: ") + e.what();
        }
        return "(nothing raised)";
    }

    TComponent Window;
    TTcpClient Client{&Window};
    TSocketIOHandler* Handler = nullptr;
    std::vector<std::string> Lookups;
};

} // namespace

TEST_F(TcpClientTest, TimedConnectToListenerSucceedsAfterOneSlice) {
    testnet::TLoopbackListener listener;
    TSleepLog log;
    UseHandler(log);
    Client.SetPort(listener.Port());
    Client.Connect(1000);
    EXPECT_TRUE(Client.Connected());
    EXPECT_EQ(log.Slices(), (std::vector<int>{125, 0}));
    EXPECT_EQ(Handler->Binding()->PeerPort, listener.Port());
    Client.Disconnect();
    EXPECT_FALSE(Client.Connected());
    EXPECT_EQ(Client.IOHandler(), Handler); // a foreign handler stays
}

TEST_F(TcpClientTest, TimedConnectToClosedPortIsRefused) {
    testnet::TRefusingPort closed;
    TSleepLog log;
    UseHandler(log);
    Client.SetPort(closed.Port());
    EXPECT_EQ(Fails<EConnectException>(60000), "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(log.Slices(), (std::vector<int>{125, 0}));
    EXPECT_FALSE(Client.Connected());
    EXPECT_EQ(Client.IOHandler(), Handler);
}

TEST_F(TcpClientTest, TimedConnectToSilentHostTimesOutAndEndsItsThread) {
    testnet::TSilentListener silent;
    TSleepLog log;
    UseHandler(log);
    Client.SetPort(silent.Port());
    const int threadsBefore = ThreadCount();
    const auto start = Clock::now();
    EXPECT_EQ(Fails<EConnectTimeout>(300), "Connect timed out.");
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(ThreadCount(), threadsBefore);
    EXPECT_GE(elapsed, 300ms);
    EXPECT_LT(elapsed, 3s) << "the pending connect was not ended promptly";
    EXPECT_EQ(log.Slices(), (std::vector<int>{125, 125, 50}));
    EXPECT_FALSE(Client.Connected());
    EXPECT_FALSE(Handler->Binding()->HandleAllocated());
}

TEST_F(TcpClientTest, SliceArithmeticOfTheTimeLimit) {
    testnet::TSilentListener silent;
    Client.SetPort(silent.Port());
    const struct {
        int Limit;
        std::vector<int> Expected;
    } cases[] = {
        {100, {100}},
        {125, {125}},
        {130, {125, 5}},
        {250, {125, 125}},
        {1000, Slices(7, 125, 125)},
        {60000, Slices(479, 125, 125)},
    };
    for (const auto& c : cases) {
        TSleepLog log(false); // no real sleeping: the host never answers anyway
        UseHandler(log);
        EXPECT_EQ(Fails<EConnectTimeout>(c.Limit), "Connect timed out.") << c.Limit;
        EXPECT_EQ(log.Slices(), c.Expected) << c.Limit;
        Client.SetIOHandler(nullptr);
        delete Handler;
    }
}

TEST_F(TcpClientTest, UntimedModes) {
    testnet::TLoopbackListener listener;
    testnet::TRefusingPort closed;
    for (int mode : {-1, 0}) {
        TSleepLog log;
        UseHandler(log);
        Client.SetPort(listener.Port());
        Client.Connect(mode);
        EXPECT_TRUE(Client.Connected()) << mode;
        EXPECT_TRUE(log.Slices().empty()) << "no connect thread for mode " << mode;
        Client.Disconnect();

        // On the calling thread a refusal is the socket error itself.
        Client.SetPort(closed.Port());
        EXPECT_EQ(Fails<ESocketError>(mode), "Socket Error # 10061\r\nConnection refused.");
        Client.SetIOHandler(nullptr);
        delete Handler;
    }

    // -2: a connect thread without a limit.
    TSleepLog log;
    UseHandler(log);
    Client.SetPort(listener.Port());
    Client.Connect(-2);
    EXPECT_TRUE(Client.Connected());
    EXPECT_EQ(log.Slices(), (std::vector<int>{125, 0}));
    Client.Disconnect();
    Client.SetPort(closed.Port());
    EXPECT_EQ(Fails<EConnectException>(-2), "Socket Error # 10061\r\nConnection refused.");
}

TEST_F(TcpClientTest, SecondConnectIsAlreadyConnectedAndKeepsTheFirst) {
    testnet::TLoopbackListener listener;
    Client.SetPort(listener.Port());
    Client.Connect();
    testnet::TFd peer = listener.Accept();
    ASSERT_NE(peer.Get(), -1);
    EXPECT_EQ(Fails<EAlreadyConnected>(-1), "Already connected.");
    EXPECT_TRUE(Client.Connected());
    char byte;
    EXPECT_EQ(::recv(peer.Get(), &byte, 1, MSG_DONTWAIT), -1) << "the first connection was closed";
    EXPECT_EQ(errno, EAGAIN);
    Client.Disconnect();
    EXPECT_EQ(::recv(peer.Get(), &byte, 1, 0), 0); // now the peer sees the close
}

TEST_F(TcpClientTest, OwnHandlerIsMadeByConnectAndFreedByDisconnect) {
    testnet::TLoopbackListener listener;
    Client.SetPort(listener.Port());
    const int baseline = TNetComponent::LiveCount();
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(Client.IOHandler(), nullptr);
        Client.Connect(-1);
        ASSERT_NE(Client.IOHandler(), nullptr);
        EXPECT_EQ(Client.IOHandler()->Owner(), &Client);
        EXPECT_TRUE(Client.Connected());
        Client.Disconnect();
        EXPECT_FALSE(Client.Connected());
        EXPECT_EQ(TNetComponent::LiveCount(), baseline) << "own handler not freed";
    }

    // After a failure the own handler stays until the next disconnect.
    testnet::TRefusingPort closed;
    Client.SetPort(closed.Port());
    EXPECT_THROW(Client.Connect(-1), ESocketError);
    EXPECT_NE(Client.IOHandler(), nullptr);
    EXPECT_FALSE(Client.Connected());
    Client.SetPort(listener.Port());
    Client.Connect(-1); // starts cleanly, no "Already connected."
    EXPECT_TRUE(Client.Connected());
    Client.Disconnect();
    EXPECT_EQ(Client.IOHandler(), nullptr);
}

TEST_F(TcpClientTest, DisconnectWithoutSocketTouchesNothing) {
    Client.Disconnect(); // never connected, no handler
    EXPECT_FALSE(Client.Connected());

    testnet::TLoopbackListener listener;
    TSleepLog log;
    UseHandler(log);
    Client.Disconnect(); // handler never opened
    Client.SetPort(listener.Port());
    Client.Connect(-1);
    const int number = Handler->Binding()->Handle();
    Client.Disconnect();

    // The number is free again; something else takes it. Further disconnects
    // and connected tests must not close it a second time.
    testnet::TFd other(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(other.Get(), number);
    Client.Disconnect();
    EXPECT_FALSE(Client.Connected());
    delete Handler; // destroying the handler must not close it either
    EXPECT_NE(fcntl(number, F_GETFD), -1) << "a descriptor of someone else was closed";
}

TEST_F(TcpClientTest, UnknownHostFailsBeforeAnyConnect) {
    TSleepLog log;
    UseHandler(log);
    Client.SetHost("nowhere.test");
    Client.SetPort(9910);
    try {
        Client.Connect(60000);
        FAIL() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.ErrorCode(), 11001);
        EXPECT_STREQ(e.what(), "Socket Error # 11001\r\nHost not found.");
    }
    EXPECT_TRUE(log.Slices().empty()) << "a connect was started";
    EXPECT_TRUE(Handler->Binding()->PeerIP.empty());
    EXPECT_FALSE(Handler->Binding()->HandleAllocated()); // closed by connect's guard
    EXPECT_FALSE(Client.Connected());
}

TEST_F(TcpClientTest, WithProxyOnlyTheProxyHostIsResolvedHere) {
    TSleepLog log;
    UseHandler(log);
    for (TSocksVersion version : {svSocks4, svSocks4A, svSocks5}) {
        Lookups.clear();
        Handler->SocksInfo()->SetVersion(version);
        Handler->SocksInfo()->SetHost("proxy.test");
        Client.SetHost("target.test");
        EXPECT_THROW(Client.Connect(1000), ESocketError);
        EXPECT_EQ(Lookups, (std::vector<std::string>{"proxy.test"})) << int(version);
    }
}

TEST_F(TcpClientTest, SettingHandlers) {
    const int baseline = TNetComponent::LiveCount();
    testnet::TLoopbackListener listener;
    Client.SetPort(listener.Port());
    Client.Connect(-1); // makes its own handler
    Client.Disconnect();
    Client.Connect(-1);
    EXPECT_EQ(TNetComponent::LiveCount(), baseline + 2); // the handler and its SOCKS settings

    // Attaching a foreign handler frees the own one (and its settings) first.
    TSleepLog log;
    UseHandler(log);
    EXPECT_EQ(TNetComponent::LiveCount(), baseline + 1);
    EXPECT_EQ(Client.IOHandler(), Handler);

    // A foreign handler destroyed by its owner is forgotten.
    Client.Connect(-1);
    delete Handler;
    EXPECT_EQ(Client.IOHandler(), nullptr);
    EXPECT_FALSE(Client.Connected());
    Client.Disconnect();
    EXPECT_EQ(TNetComponent::LiveCount(), baseline);
}

TEST_F(TcpClientTest, DestroyingTheClientClosesItsConnection) {
    testnet::TLoopbackListener listener;
    auto* client = new TTcpClient(&Window);
    client->SetHost("LOCALHOST");
    client->SetPort(listener.Port());
    client->Connect(500);
    testnet::TFd peer = listener.Accept();
    delete client;
    char byte;
    EXPECT_EQ(::recv(peer.Get(), &byte, 1, 0), 0);
}

TEST_F(TcpClientTest, RepeatedTimeUpsLeaveNoThreadBehind) {
    testnet::TSilentListener silent;
    Client.SetPort(silent.Port());
    const int threadsBefore = ThreadCount();
    for (int i = 0; i < 5; ++i) {
        EXPECT_THROW(Client.Connect(20 + i * 30), EConnectTimeout);
        EXPECT_FALSE(Client.Connected());
    }
    EXPECT_EQ(ThreadCount(), threadsBefore);
}

TEST_F(TcpClientTest, SendAndReceiveWithoutSocketRaiseDisconnected) {
    TSleepLog log;
    UseHandler(log);
    char buffer[4] = {};
    try {
        Handler->Send(buffer, 4);
        FAIL() << "no exception";
    } catch (const EClosedSocket& e) {
        EXPECT_STREQ(e.what(), "Disconnected.");
    }
    EXPECT_THROW(Handler->Recv(buffer, 4), EClosedSocket);
}
