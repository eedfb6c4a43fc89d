#include "net/SocksInfo.h"
#include "net/SocketIOHandler.h"
#include "net/SocksProtocol.h"
#include "net/TcpClient.h"
#include "platform/net/TestSockets.h"

#include <gtest/gtest.h>

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

TEST(SocksInfoTest, HandlerMakesItsOwnObjectOnFirstUse) {
    const int baseline = NetComponent::liveCount();
    {
        SocketIOHandler handler;
        SocksInfo* own = handler.socksInfo();
        ASSERT_NE(own, nullptr);
        EXPECT_EQ(own->owner(), &handler);
        EXPECT_EQ(own->version(), NoSocks);
        EXPECT_EQ(own->ioHandler(), &handler);
        EXPECT_EQ(handler.socksInfo(), own);
        EXPECT_EQ(NetComponent::liveCount(), baseline + 2);
    }
    EXPECT_EQ(NetComponent::liveCount(), baseline) << "own object not freed with the handler";
}

TEST(SocksInfoTest, ObjectWithOwnerIsHeldByReference) {
    Component window;
    const int baseline = NetComponent::liveCount();
    auto* handler = new SocketIOHandler(&window);
    handler->socksInfo(); // an own object first: replaced and freed
    auto* foreign = new SocksInfo(&window);
    handler->setSocksInfo(foreign);
    EXPECT_EQ(handler->socksInfo(), foreign);
    EXPECT_EQ(foreign->ioHandler(), handler);
    EXPECT_EQ(NetComponent::liveCount(), baseline + 2);

    // Filled after attaching, as the connection page does: the handler sees it.
    fill(*foreign);
    expectFilled(*handler->socksInfo());

    // Destroying the handler leaves the foreign object alive, without a
    // reference to the dead handler.
    delete handler;
    EXPECT_EQ(NetComponent::liveCount(), baseline + 1);
    EXPECT_EQ(foreign->ioHandler(), nullptr);

    // Destroying the foreign object first makes the handler forget it.
    handler = new SocketIOHandler(&window);
    handler->setSocksInfo(foreign);
    delete foreign;
    SocksInfo* fresh = handler->socksInfo();
    EXPECT_EQ(fresh->owner(), handler);
    EXPECT_EQ(fresh->version(), NoSocks);
}

TEST(SocksInfoTest, ObjectWithoutOwnerIsCopied) {
    Component window;
    SocketIOHandler handler;
    auto* foreign = new SocksInfo(&window);
    handler.setSocksInfo(foreign);

    SocksInfo loose; // no owner
    fill(loose);
    handler.setSocksInfo(&loose);
    SocksInfo* held = handler.socksInfo();
    EXPECT_NE(held, &loose);
    EXPECT_NE(held, foreign) << "the foreign object must be forgotten, not overwritten";
    EXPECT_EQ(held->owner(), &handler);
    expectFilled(*held);
    EXPECT_EQ(foreign->version(), NoSocks);
    EXPECT_EQ(loose.ioHandler(), nullptr);

    loose.setHost("changed.test");
    EXPECT_EQ(held->host(), "proxy.test");
}

TEST(SocksInfoTest, SettingNoneForgetsWithoutFreeing) {
    Component window;
    SocketIOHandler handler;
    auto* foreign = new SocksInfo(&window);
    handler.setSocksInfo(foreign);
    handler.setSocksInfo(nullptr);
    EXPECT_EQ(foreign->ioHandler(), nullptr);
    foreign->setHost("still.alive");
    EXPECT_EQ(handler.socksInfo()->host(), ""); // a new own object
    delete foreign;                             // the handler no longer cares
    EXPECT_NE(handler.socksInfo(), nullptr);
}

// The connection page's order: attach a transport with SOCKS settings owned by
// the window, connect, disconnect, detach and free both; twice.
TEST(SocksInfoTest, AttachAndDetachPerAttemptLeavesNothingBehind) {
    testnet::LoopbackListener listener;
    Component window;
    auto* client = new TcpClient(&window);
    const int baseline = NetComponent::liveCount();
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (client->connected())
            client->disconnect();
        client->setHost("127.0.0.1");
        client->setPort(listener.port());

        auto* handler = new SocketIOHandler(&window);
        auto* info = new SocksInfo(&window);
        handler->setSocksInfo(info);
        client->setIOHandler(handler);
        info->setVersion(NoSocks); // proxy in use but version 0: direct

        client->connect(2000);
        client->disconnect();

        ASSERT_FALSE(client->connected());
        SocksInfo* attached = static_cast<SocketIOHandler*>(client->ioHandler())->socksInfo();
        client->setIOHandler(nullptr);
        handler->setSocksInfo(nullptr);
        delete attached;
        delete handler;
        EXPECT_EQ(NetComponent::liveCount(), baseline) << attempt;
        EXPECT_EQ(client->ioHandler(), nullptr);
    }
}
