#include "platform/net/SocketHandle.h"
#include "platform/net/NetComponent.h"
#include "platform/net/NetExceptions.h"
#include "platform/net/SocketStack.h"
#include "platform/net/TestSockets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

using namespace tavora;

using namespace std::chrono_literals;

namespace {

class SocketHandleTest : public ::testing::Test {
protected:
    SocketStack& stack() { return SocketStack::instance("test"); }

    // Allocated and bound to any local address, peer set to loopback:port.
    void prepare(int port) {
        handle_.allocateSocket();
        handle_.bind();
        handle_.setPeer("127.0.0.1", port);
    }

    NetComponent keepAlive_;
    SocketHandle handle_;
};

} // namespace

TEST_F(SocketHandleTest, LifecycleFromNoSocketToClosed) {
    EXPECT_FALSE(handle_.handleAllocated());
    EXPECT_EQ(handle_.handle(), -1);

    testnet::LoopbackListener listener;
    prepare(listener.port());
    EXPECT_TRUE(handle_.handleAllocated());
    EXPECT_EQ(handle_.IP, "0.0.0.0");
    EXPECT_NE(handle_.port, 0); // read back after the bind

    ASSERT_EQ(handle_.connect(), 0);
    EXPECT_EQ(handle_.IP, "127.0.0.1");
    EXPECT_EQ(handle_.peerIP, "127.0.0.1");
    EXPECT_EQ(handle_.peerPort, listener.port());

    const int fd = handle_.handle();
    handle_.closeSocket();
    EXPECT_FALSE(handle_.handleAllocated());
    EXPECT_EQ(handle_.handle(), fd); // kept until the next reset
    handle_.closeSocket();           // nothing to do the second time

    handle_.reset();
    EXPECT_EQ(handle_.handle(), -1);
    EXPECT_TRUE(handle_.IP.empty());
    EXPECT_EQ(handle_.port, 0);
    EXPECT_TRUE(handle_.peerIP.empty());
    EXPECT_EQ(handle_.peerPort, 0);
}

TEST_F(SocketHandleTest, RefusedConnectReturnsFailureWithRefusedNumber) {
    testnet::RefusingPort closed;
    prepare(closed.port());
    EXPECT_EQ(handle_.connect(), -1);
    EXPECT_EQ(SocketStack::platformError(), 10061);
    try {
        stack().checkForSocketError(-1);
        FAIL() << "no exception";
    } catch (const SocketError& e) {
        EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
    }

    // The same through the non-blocking path the connect thread uses.
    Wakeup wakeup;
    prepare(closed.port());
    EXPECT_EQ(handle_.connect(&wakeup), -1);
    EXPECT_EQ(SocketStack::platformError(), 10061);
}

TEST_F(SocketHandleTest, InterruptibleConnectSucceedsAndLeavesSocketBlocking) {
    testnet::LoopbackListener listener;
    Wakeup wakeup;
    prepare(listener.port());
    ASSERT_EQ(handle_.connect(&wakeup), 0);
    EXPECT_EQ(handle_.peerPort, listener.port());
    testnet::Fd peer = listener.accept();
    ASSERT_NE(peer.get(), -1);
    ASSERT_EQ(::send(peer.get(), "x", 1, 0), 1);
    char byte = 0;
    EXPECT_EQ(handle_.recv(&byte, 1), 1);
    EXPECT_EQ(byte, 'x');
}

TEST_F(SocketHandleTest, PendingConnectEndsPromptlyWhenAbandoned) {
    testnet::SilentListener silent;
    prepare(silent.port());
    Wakeup wakeup;
    auto pending = std::async(std::launch::async, [&] {
        const int rc = handle_.connect(&wakeup);
        return std::make_pair(rc, SocketStack::platformError());
    });
    EXPECT_EQ(pending.wait_for(300ms), std::future_status::timeout) << "the connect should hang";
    const auto start = std::chrono::steady_clock::now();
    wakeup.signal();
    ASSERT_EQ(pending.wait_for(2s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    const auto [rc, error] = pending.get();
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(error, 10009);               // in the connect thread's ignore list
    EXPECT_TRUE(handle_.handleAllocated()); // closing is the caller's job, afterwards
}

TEST_F(SocketHandleTest, BindFailures) {
    testnet::LoopbackListener taken;
    handle_.allocateSocket();
    handle_.IP = "127.0.0.1";
    handle_.port = taken.port();
    EXPECT_THROW(handle_.bind(), CouldNotBindSocketError);
    EXPECT_EQ(stack().lastError(), 10048);

    // An address that is not this machine's: refused by the kernel, nothing is sent.
    handle_.allocateSocket();
    handle_.IP = "192.0.2.1";
    handle_.port = 0;
    try {
        handle_.bind();
        FAIL() << "no exception";
    } catch (const SocketError& e) {
        EXPECT_EQ(e.errorCode(), 10049);
        EXPECT_STREQ(e.what(), "Socket Error # 10049\r\nCannot assign requested address.");
    }
}

TEST_F(SocketHandleTest, PortRangeTakesFirstFreePort) {
    testnet::LoopbackListener taken;
    // Find a free port right after the taken one (the range's second port).
    testnet::Fd probe;
    int next = taken.port() + 1;
    for (;; ++next) {
        try {
            probe = testnet::bindLoopback(next);
            break;
        } catch (const std::runtime_error&) {
        }
    }
    probe = testnet::Fd();

    handle_.allocateSocket();
    handle_.IP = "127.0.0.1";
    handle_.clientPortMin = taken.port();
    handle_.clientPortMax = next;
    handle_.bind();
    EXPECT_EQ(handle_.port, next);

    SocketHandle second;
    second.allocateSocket();
    second.IP = "127.0.0.1";
    second.clientPortMin = taken.port();
    second.clientPortMax = taken.port();
    EXPECT_THROW(second.bind(), CouldNotBindSocketError);
}

TEST_F(SocketHandleTest, WaitReadyHonoursTheDeadline) {
    testnet::LoopbackListener listener;
    prepare(listener.port());
    ASSERT_EQ(handle_.connect(), 0);
    testnet::Fd peer = listener.accept();

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(handle_.waitReady(false, start + 100ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
    EXPECT_EQ(SocketStack::platformError(), 10060);

    EXPECT_TRUE(handle_.waitReady(true, start)); // writable at once, even past the deadline
    ::send(peer.get(), "y", 1, 0);
    EXPECT_TRUE(handle_.waitReady(false, std::nullopt));
}
