#include "net/SocksInfo.h"
#include "net/SocketIOHandler.h"
#include "net/SocksProtocol.h"
#include "net/TcpClient.h"
#include "platform/net/TestSockets.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tavora;

namespace {

void fill(SocksInfo& info) {
    info.setAuthentication(UsernamePassword);
    info.setHost("proxy.test");
    info.setPassword("s3cret");
    info.setPort(3128);
    info.setUsername("alice");
    info.setVersion(Socks5);
}

void expectFilled(const SocksInfo& info) {
    EXPECT_EQ(info.authentication(), UsernamePassword);
    EXPECT_EQ(info.host(), "proxy.test");
    EXPECT_EQ(info.password(), "s3cret");
    EXPECT_EQ(info.port(), 3128);
    EXPECT_EQ(info.username(), "alice");
    EXPECT_EQ(info.version(), Socks5);
}

} // namespace

TEST(SocksInfoTest, DefaultsAndCopy) {
    SocksInfo info;
    EXPECT_EQ(info.version(), NoSocks);
    EXPECT_EQ(info.host(), "");
    EXPECT_EQ(info.port(), 1080);
    EXPECT_EQ(info.authentication(), NoAuthentication);
    EXPECT_EQ(info.username(), "");
    EXPECT_EQ(info.password(), "");
    EXPECT_EQ(info.ioHandler(), nullptr);

    SocketIOHandler handler;
    SocksInfo source;
    fill(source);
    source.setIOHandler(&handler);
    info.assign(source);
    expectFilled(info);
    EXPECT_EQ(info.ioHandler(), nullptr) << "the handler reference is not copied";
    source.setIOHandler(nullptr);
}

TEST(SocksInfoTest, HandlerHasItsOwnObjectFreedWithIt) {
    const int baseline = NetComponent::liveCount();
    {
        SocketIOHandler handler;
        SocksInfo& own = handler.socksInfo();
        EXPECT_EQ(own.version(), NoSocks);
        EXPECT_EQ(own.ioHandler(), &handler);
        EXPECT_EQ(NetComponent::liveCount(), baseline + 2);
    }
    EXPECT_EQ(NetComponent::liveCount(), baseline) << "own object not freed with the handler";
}

// Filled after the client took the handler, as the connection test does: the
// handler sees it.
TEST(SocksInfoTest, ObjectFilledAfterAttachingIsTheOneInUse) {
    TcpClient client;
    auto handler = std::make_unique<SocketIOHandler>();
    SocketIOHandler* held = handler.get();
    client.setIOHandler(std::move(handler));
    fill(held->socksInfo());
    expectFilled(static_cast<SocketIOHandler*>(client.ioHandler())->socksInfo());
}

TEST(SocksInfoTest, ObjectSetIsCopied) {
    SocketIOHandler handler;
    SocksInfo loose;
    fill(loose);
    handler.setSocksInfo(loose);
    EXPECT_NE(&handler.socksInfo(), &loose);
    expectFilled(handler.socksInfo());
    EXPECT_EQ(loose.ioHandler(), nullptr);
    loose.setHost("changed.test");
    EXPECT_EQ(handler.socksInfo().host(), "proxy.test");
}

TEST(SocksInfoTest, CopyOutlivesItsSource) {
    SocketIOHandler handler;
    {
        SocksInfo source;
        fill(source);
        handler.setSocksInfo(source);
    }
    expectFilled(handler.socksInfo());
    EXPECT_EQ(handler.socksInfo().ioHandler(), &handler);
}

// The connection test's order: hand the client a transport with SOCKS
// settings, connect, disconnect, and take the transport away again; twice.
TEST(SocksInfoTest, AttachAndDetachPerAttemptLeavesNothingBehind) {
    testnet::LoopbackListener listener;
    TcpClient client;
    const int baseline = NetComponent::liveCount();
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (client.connected())
            client.disconnect();
        client.setHost("127.0.0.1");
        client.setPort(listener.port());

        auto handler = std::make_unique<SocketIOHandler>();
        handler->socksInfo().setVersion(NoSocks); // proxy in use but version 0: direct
        client.setIOHandler(std::move(handler));

        client.connect(2000);
        client.disconnect();

        ASSERT_FALSE(client.connected());
        EXPECT_EQ(NetComponent::liveCount(), baseline + 2) << "a handed-in handler stays after disconnect";
        client.setIOHandler(nullptr);
        EXPECT_EQ(NetComponent::liveCount(), baseline) << attempt;
        EXPECT_EQ(client.ioHandler(), nullptr);
    }
}
