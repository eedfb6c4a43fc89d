#include "platform/net/SocketHandle.h"
#include "platform/net/Component.h"
#include "platform/net/NetExceptions.h"
#include "platform/net/SocketStack.h"
#include "platform/net/TestSockets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

using namespace std::chrono_literals;

namespace {

class SocketHandleTest : public ::testing::Test {
protected:
    TSocketStack& Stack() { return TSocketStack::Instance("test"); }

    // Allocated and bound to any local address, peer set to loopback:port.
    void Prepare(int port) {
        Handle.AllocateSocket();
        Handle.Bind();
        Handle.SetPeer("127.0.0.1", port);
    }

    TNetComponent KeepAlive;
    TSocketHandle Handle;
};

} // namespace

TEST_F(SocketHandleTest, LifecycleFromNoSocketToClosed) {
    EXPECT_FALSE(Handle.HandleAllocated());
    EXPECT_EQ(Handle.Handle(), -1);

    testnet::TLoopbackListener listener;
    Prepare(listener.Port());
    EXPECT_TRUE(Handle.HandleAllocated());
    EXPECT_EQ(Handle.IP, "0.0.0.0");
    EXPECT_NE(Handle.Port, 0); // read back after the bind

    ASSERT_EQ(Handle.Connect(), 0);
    EXPECT_EQ(Handle.IP, "127.0.0.1");
    EXPECT_EQ(Handle.PeerIP, "127.0.0.1");
    EXPECT_EQ(Handle.PeerPort, listener.Port());

    const int fd = Handle.Handle();
    Handle.CloseSocket();
    EXPECT_FALSE(Handle.HandleAllocated());
    EXPECT_EQ(Handle.Handle(), fd); // kept until the next reset
    Handle.CloseSocket();           // nothing to do the second time

    Handle.Reset();
    EXPECT_EQ(Handle.Handle(), -1);
    EXPECT_TRUE(Handle.IP.empty());
    EXPECT_EQ(Handle.Port, 0);
    EXPECT_TRUE(Handle.PeerIP.empty());
    EXPECT_EQ(Handle.PeerPort, 0);
}

TEST_F(SocketHandleTest, RefusedConnectReturnsFailureWithRefusedNumber) {
    testnet::TRefusingPort closed;
    Prepare(closed.Port());
    EXPECT_EQ(Handle.Connect(), -1);
    EXPECT_EQ(TSocketStack::PlatformError(), 10061);
    try {
        Stack().CheckForSocketError(-1);
        FAIL() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
    }

    // The same through the non-blocking path the connect thread uses.
    TWakeup wakeup;
    Prepare(closed.Port());
    EXPECT_EQ(Handle.Connect(&wakeup), -1);
    EXPECT_EQ(TSocketStack::PlatformError(), 10061);
}

TEST_F(SocketHandleTest, InterruptibleConnectSucceedsAndLeavesSocketBlocking) {
    testnet::TLoopbackListener listener;
    TWakeup wakeup;
    Prepare(listener.Port());
    ASSERT_EQ(Handle.Connect(&wakeup), 0);
    EXPECT_EQ(Handle.PeerPort, listener.Port());
    testnet::TFd peer = listener.Accept();
    ASSERT_NE(peer.Get(), -1);
    ASSERT_EQ(::send(peer.Get(), "x", 1, 0), 1);
    char byte = 0;
    EXPECT_EQ(Handle.Recv(&byte, 1), 1);
    EXPECT_EQ(byte, 'x');
}

TEST_F(SocketHandleTest, PendingConnectEndsPromptlyWhenAbandoned) {
    testnet::TSilentListener silent;
    Prepare(silent.Port());
    TWakeup wakeup;
    auto pending = std::async(std::launch::async, [&] {
        const int rc = Handle.Connect(&wakeup);
        return std::make_pair(rc, TSocketStack::PlatformError());
    });
    EXPECT_EQ(pending.wait_for(300ms), std::future_status::timeout) << "the connect should hang";
    const auto start = std::chrono::steady_clock::now();
    wakeup.Signal();
    ASSERT_EQ(pending.wait_for(2s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    const auto [rc, error] = pending.get();
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(error, 10009);               // in the connect thread's ignore list
    EXPECT_TRUE(Handle.HandleAllocated()); // closing is the caller's job, afterwards
}

TEST_F(SocketHandleTest, BindFailures) {
    testnet::TLoopbackListener taken;
    Handle.AllocateSocket();
    Handle.IP = "127.0.0.1";
    Handle.Port = taken.Port();
    EXPECT_THROW(Handle.Bind(), ECouldNotBindSocket);
    EXPECT_EQ(Stack().LastError(), 10048);

    // An address that is not this machine's: refused by the kernel, nothing is sent.
    Handle.AllocateSocket();
    Handle.IP = "192.0.2.1";
    Handle.Port = 0;
    try {
        Handle.Bind();
        FAIL() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.ErrorCode(), 10049);
        EXPECT_STREQ(e.what(), "Socket Error # 10049\r\nCannot assign requested address.");
    }
}

TEST_F(SocketHandleTest, PortRangeTakesFirstFreePort) {
    testnet::TLoopbackListener taken;
    // Find a free port right after the taken one (the range's second port).
    testnet::TFd probe;
    int next = taken.Port() + 1;
    for (;; ++next) {
        try {
            probe = testnet::BindLoopback(next);
            break;
        } catch (const std::runtime_error&) {
        }
    }
    probe = testnet::TFd();

    Handle.AllocateSocket();
    Handle.IP = "127.0.0.1";
    Handle.ClientPortMin = taken.Port();
    Handle.ClientPortMax = next;
    Handle.Bind();
    EXPECT_EQ(Handle.Port, next);

    TSocketHandle second;
    second.AllocateSocket();
    second.IP = "127.0.0.1";
    second.ClientPortMin = taken.Port();
    second.ClientPortMax = taken.Port();
    EXPECT_THROW(second.Bind(), ECouldNotBindSocket);
}

TEST_F(SocketHandleTest, WaitReadyHonoursTheDeadline) {
    testnet::TLoopbackListener listener;
    Prepare(listener.Port());
    ASSERT_EQ(Handle.Connect(), 0);
    testnet::TFd peer = listener.Accept();

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Handle.WaitReady(false, start + 100ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
    EXPECT_EQ(TSocketStack::PlatformError(), 10060);

    EXPECT_TRUE(Handle.WaitReady(true, start)); // writable at once, even past the deadline
    ::send(peer.Get(), "y", 1, 0);
    EXPECT_TRUE(Handle.WaitReady(false, std::nullopt));
}
