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
#include <future>
#include <memory>
#include <mutex>
#include <numeric>
#include <vector>

using namespace tavora;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

int threadCount() {
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
class SleepLog {
public:
    explicit SleepLog(bool sleepForReal = true) : real_(sleepForReal) {}
    SocketIOHandler::Sleep sleeper() {
        return [this](int ms) {
            {
                std::lock_guard lock(lock_);
                slices_.push_back(ms);
            }
            if (real_)
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        };
    }
    std::vector<int> slices() {
        std::lock_guard lock(lock_);
        return slices_;
    }

private:
    bool real_;
    std::mutex lock_;
    std::vector<int> slices_;
};

std::vector<int> slices(int count, int each, int last) {
    std::vector<int> out(static_cast<std::size_t>(count), each);
    out.push_back(last);
    return out;
}

// The client with a transport of the test's own (as the connection page
// attaches one), answering name lookups from a table.
class TcpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        testnet::installTableLookup(lookups_);
        client_.setHost("127.0.0.1");
    }

    void useHandler(SleepLog& log) {
        auto handler = std::make_unique<SocketIOHandler>();
        handler->setSleep(log.sleeper());
        handler_ = handler.get();
        client_.setIOHandler(std::move(handler));
    }

    template <typename E> std::string fails(int timeoutMs) {
        try {
            client_.connect(timeoutMs);
        } catch (const E& e) {
            return e.what();
        } catch (const std::exception& e) {
            return std::string("wrong exception: ") + e.what();
        }
        return "(nothing raised)";
    }

    TcpClient client_;
    SocketIOHandler* handler_ = nullptr; // held by client_
    std::vector<std::string> lookups_;
};

} // namespace

TEST_F(TcpClientTest, TimedConnectToListenerSucceedsAfterOneSlice) {
    testnet::LoopbackListener listener;
    SleepLog log;
    useHandler(log);
    client_.setPort(listener.port());
    client_.connect(1000);
    EXPECT_TRUE(client_.connected());
    EXPECT_EQ(log.slices(), (std::vector<int>{125, 0}));
    EXPECT_EQ(handler_->binding()->peerPort, listener.port());
    client_.disconnect();
    EXPECT_FALSE(client_.connected());
    EXPECT_EQ(client_.ioHandler(), handler_); // a handler handed in stays
}

TEST_F(TcpClientTest, TimedConnectToClosedPortIsRefused) {
    testnet::RefusingPort closed;
    SleepLog log;
    useHandler(log);
    client_.setPort(closed.port());
    EXPECT_EQ(fails<ConnectException>(60000), "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(log.slices(), (std::vector<int>{125, 0}));
    EXPECT_FALSE(client_.connected());
    EXPECT_EQ(client_.ioHandler(), handler_);
}

TEST_F(TcpClientTest, TimedConnectToSilentHostTimesOutAndEndsItsThread) {
    testnet::SilentListener silent;
    SleepLog log;
    useHandler(log);
    client_.setPort(silent.port());
    const int threadsBefore = threadCount();
    const auto start = Clock::now();
    EXPECT_EQ(fails<ConnectTimeoutError>(300), "Connect timed out.");
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(threadCount(), threadsBefore);
    EXPECT_GE(elapsed, 300ms);
    EXPECT_LT(elapsed, 3s) << "the pending connect was not ended promptly";
    EXPECT_EQ(log.slices(), (std::vector<int>{125, 125, 50}));
    EXPECT_FALSE(client_.connected());
    EXPECT_FALSE(handler_->binding()->handleAllocated());
}

TEST_F(TcpClientTest, SliceArithmeticOfTheTimeLimit) {
    testnet::SilentListener silent;
    client_.setPort(silent.port());
    const struct {
        int limit;
        std::vector<int> expected;
    } cases[] = {
        {100, {100}},
        {125, {125}},
        {130, {125, 5}},
        {250, {125, 125}},
        {1000, slices(7, 125, 125)},
        {60000, slices(479, 125, 125)},
    };
    for (const auto& c : cases) {
        SleepLog log(false); // no real sleeping: the host never answers anyway
        useHandler(log);
        EXPECT_EQ(fails<ConnectTimeoutError>(c.limit), "Connect timed out.") << c.limit;
        EXPECT_EQ(log.slices(), c.expected) << c.limit;
        client_.setIOHandler(nullptr);
    }
}

TEST_F(TcpClientTest, UntimedModes) {
    testnet::LoopbackListener listener;
    testnet::RefusingPort closed;
    for (int mode : {-1, 0}) {
        SleepLog log;
        useHandler(log);
        client_.setPort(listener.port());
        client_.connect(mode);
        EXPECT_TRUE(client_.connected()) << mode;
        EXPECT_TRUE(log.slices().empty()) << "no connect thread for mode " << mode;
        client_.disconnect();

        // On the calling thread a refusal is the socket error itself.
        client_.setPort(closed.port());
        EXPECT_EQ(fails<SocketError>(mode), "Socket Error # 10061\r\nConnection refused.");
        client_.setIOHandler(nullptr);
    }

    // -2: a connect thread without a limit.
    SleepLog log;
    useHandler(log);
    client_.setPort(listener.port());
    client_.connect(-2);
    EXPECT_TRUE(client_.connected());
    EXPECT_EQ(log.slices(), (std::vector<int>{125, 0}));
    client_.disconnect();
    client_.setPort(closed.port());
    EXPECT_EQ(fails<ConnectException>(-2), "Socket Error # 10061\r\nConnection refused.");
}

TEST_F(TcpClientTest, SecondConnectIsAlreadyConnectedAndKeepsTheFirst) {
    testnet::LoopbackListener listener;
    client_.setPort(listener.port());
    client_.connect();
    testnet::Fd peer = listener.accept();
    ASSERT_NE(peer.get(), -1);
    EXPECT_EQ(fails<AlreadyConnectedError>(-1), "Already connected.");
    EXPECT_TRUE(client_.connected());
    char byte;
    EXPECT_EQ(::recv(peer.get(), &byte, 1, MSG_DONTWAIT), -1) << "the first connection was closed";
    EXPECT_EQ(errno, EAGAIN);
    client_.disconnect();
    EXPECT_EQ(::recv(peer.get(), &byte, 1, 0), 0); // now the peer sees the close
}

TEST_F(TcpClientTest, OwnHandlerIsMadeByConnectAndFreedByDisconnect) {
    testnet::LoopbackListener listener;
    client_.setPort(listener.port());
    const int baseline = NetComponent::liveCount();
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(client_.ioHandler(), nullptr);
        client_.connect(-1);
        ASSERT_NE(client_.ioHandler(), nullptr);
        EXPECT_TRUE(client_.connected());
        client_.disconnect();
        EXPECT_FALSE(client_.connected());
        EXPECT_EQ(NetComponent::liveCount(), baseline) << "own handler not freed";
    }

    // After a failure the own handler stays until the next disconnect.
    testnet::RefusingPort closed;
    client_.setPort(closed.port());
    EXPECT_THROW(client_.connect(-1), SocketError);
    EXPECT_NE(client_.ioHandler(), nullptr);
    EXPECT_FALSE(client_.connected());
    client_.setPort(listener.port());
    client_.connect(-1); // starts cleanly, no "Already connected."
    EXPECT_TRUE(client_.connected());
    client_.disconnect();
    EXPECT_EQ(client_.ioHandler(), nullptr);
}

TEST_F(TcpClientTest, DisconnectWithoutSocketTouchesNothing) {
    client_.disconnect(); // never connected, no handler
    EXPECT_FALSE(client_.connected());

    testnet::LoopbackListener listener;
    SleepLog log;
    useHandler(log);
    client_.disconnect(); // handler never opened
    client_.setPort(listener.port());
    client_.connect(-1);
    const int number = handler_->binding()->handle();
    client_.disconnect();

    // The number is free again; something else takes it. Further disconnects
    // and connected tests must not close it a second time.
    testnet::Fd other(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(other.get(), number);
    client_.disconnect();
    EXPECT_FALSE(client_.connected());
    client_.setIOHandler(nullptr); // destroying the handler must not close it either
    EXPECT_NE(fcntl(number, F_GETFD), -1) << "a descriptor of someone else was closed";
}

TEST_F(TcpClientTest, UnknownHostFailsBeforeAnyConnect) {
    SleepLog log;
    useHandler(log);
    client_.setHost("nowhere.test");
    client_.setPort(9910);
    try {
        client_.connect(60000);
        FAIL() << "no exception";
    } catch (const SocketError& e) {
        EXPECT_EQ(e.errorCode(), 11001);
        EXPECT_STREQ(e.what(), "Socket Error # 11001\r\nHost not found.");
    }
    EXPECT_TRUE(log.slices().empty()) << "a connect was started";
    EXPECT_TRUE(handler_->binding()->peerIP.empty());
    EXPECT_FALSE(handler_->binding()->handleAllocated()); // closed by connect's guard
    EXPECT_FALSE(client_.connected());
}

// A name service that never answers: the lookup runs on a thread of its own,
// awaited in slices through the wait hook, and is given up at the attempt's
// limit; its late answer, once it comes, lands where it harms nothing.
TEST_F(TcpClientTest, HangingLookupIsAwaitedInSlicesAndGivenUpAtTheLimit) {
    std::promise<void> release;
    SocketStack::instance("test").setHostLookup([answer = release.get_future().share()](const std::string&) {
        answer.wait_for(std::chrono::seconds(5)); // a wait that cannot hang the test
        return LookupResult{IPv4Bytes{127, 0, 0, 5}, 0};
    });
    const int threadsBefore = threadCount();
    SleepLog log;
    useHandler(log);
    std::vector<int> waits;
    handler_->setWaitReady([&](int fd, bool forWriting, int ms) {
        waits.push_back(ms);
        waitDescriptor(fd, forWriting, ms);
        return true;
    });
    client_.setHost("slow.test");
    EXPECT_EQ(fails<SocketError>(300), "Socket Error # 11002\r\n");
    ASSERT_GE(waits.size(), 3u);
    EXPECT_EQ(waits[0], 125);
    EXPECT_LE(std::accumulate(waits.begin(), waits.end(), 0), 300);
    EXPECT_TRUE(log.slices().empty()) << "a connect was started";
    release.set_value();
    const auto end = Clock::now() + 5s;
    while (threadCount() > threadsBefore && Clock::now() < end)
        std::this_thread::yield();
    EXPECT_EQ(threadCount(), threadsBefore) << "the lookup thread did not end after its late answer";
}

TEST_F(TcpClientTest, WithProxyOnlyTheProxyHostIsResolvedHere) {
    SleepLog log;
    useHandler(log);
    for (SocksVersion version : {Socks4, Socks4A, Socks5}) {
        lookups_.clear();
        handler_->socksInfo().setVersion(version);
        handler_->socksInfo().setHost("proxy.test");
        client_.setHost("target.test");
        EXPECT_THROW(client_.connect(1000), SocketError);
        EXPECT_EQ(lookups_, (std::vector<std::string>{"proxy.test"})) << int(version);
    }
}

TEST_F(TcpClientTest, SettingHandlers) {
    const int baseline = NetComponent::liveCount();
    testnet::LoopbackListener listener;
    client_.setPort(listener.port());
    client_.connect(-1); // makes its own handler
    client_.disconnect();
    client_.connect(-1);
    EXPECT_EQ(NetComponent::liveCount(), baseline + 2); // the handler and its SOCKS settings

    // Handing in a handler frees the own one (and its settings) first; the
    // new one counts two again.
    SleepLog log;
    useHandler(log);
    EXPECT_EQ(NetComponent::liveCount(), baseline + 2);
    EXPECT_EQ(client_.ioHandler(), handler_);

    // Setting none frees the handed-in one with its connection.
    client_.connect(-1);
    client_.setIOHandler(nullptr);
    EXPECT_EQ(client_.ioHandler(), nullptr);
    EXPECT_FALSE(client_.connected());
    client_.disconnect();
    EXPECT_EQ(NetComponent::liveCount(), baseline);
}

TEST_F(TcpClientTest, DestroyingTheClientClosesItsConnection) {
    testnet::LoopbackListener listener;
    const int baseline = NetComponent::liveCount();
    auto client = std::make_unique<TcpClient>();
    client->setHost("LOCALHOST");
    client->setPort(listener.port());
    client->connect(500);
    testnet::Fd peer = listener.accept();
    client.reset();
    EXPECT_EQ(NetComponent::liveCount(), baseline) << "the client's handler or settings outlived it";
    char byte;
    EXPECT_EQ(::recv(peer.get(), &byte, 1, 0), 0);
}

TEST_F(TcpClientTest, RepeatedTimeUpsLeaveNoThreadBehind) {
    testnet::SilentListener silent;
    client_.setPort(silent.port());
    const int threadsBefore = threadCount();
    for (int i = 0; i < 5; ++i) {
        EXPECT_THROW(client_.connect(20 + i * 30), ConnectTimeoutError);
        EXPECT_FALSE(client_.connected());
    }
    EXPECT_EQ(threadCount(), threadsBefore);
}

TEST_F(TcpClientTest, SendAndReceiveWithoutSocketRaiseDisconnected) {
    SleepLog log;
    useHandler(log);
    char buffer[4] = {};
    try {
        handler_->send(buffer, 4);
        FAIL() << "no exception";
    } catch (const ClosedSocketError& e) {
        EXPECT_STREQ(e.what(), "Disconnected.");
    }
    EXPECT_THROW(handler_->recv(buffer, 4), ClosedSocketError);
}
