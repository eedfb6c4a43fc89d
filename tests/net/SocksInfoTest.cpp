#include "net/SocksInfo.h"
#include "net/SocketIOHandler.h"
#include "net/SocksProtocol.h"
#include "net/TcpClient.h"
#include "platform/net/TestSockets.h"

#include <gtest/gtest.h>

namespace {

void Fill(TSocksInfo& info) {
    info.SetAuthentication(saUsernamePassword);
    info.SetHost("proxy.test");
    info.SetPassword("s3cret");
    info.SetPort(3128);
    info.SetUsername("alice");
    info.SetVersion(svSocks5);
}

void ExpectFilled(const TSocksInfo& info) {
    EXPECT_EQ(info.Authentication(), saUsernamePassword);
    EXPECT_EQ(info.Host(), "proxy.test");
    EXPECT_EQ(info.Password(), "s3cret");
    EXPECT_EQ(info.Port(), 3128);
    EXPECT_EQ(info.Username(), "alice");
    EXPECT_EQ(info.Version(), svSocks5);
}

} // namespace

TEST(SocksInfoTest, DefaultsAndCopy) {
    TSocksInfo info;
    EXPECT_EQ(info.Version(), svNoSocks);
    EXPECT_EQ(info.Host(), "");
    EXPECT_EQ(info.Port(), 1080);
    EXPECT_EQ(info.Authentication(), saNoAuthentication);
    EXPECT_EQ(info.Username(), "");
    EXPECT_EQ(info.Password(), "");
    EXPECT_EQ(info.IOHandler(), nullptr);

    TSocketIOHandler handler;
    TSocksInfo source;
    Fill(source);
    source.SetIOHandler(&handler);
    info.Assign(source);
    ExpectFilled(info);
    EXPECT_EQ(info.IOHandler(), nullptr) << "the handler reference is not copied";
    source.SetIOHandler(nullptr);
}

TEST(SocksInfoTest, HandlerMakesItsOwnObjectOnFirstUse) {
    const int baseline = TNetComponent::LiveCount();
    {
        TSocketIOHandler handler;
        TSocksInfo* own = handler.SocksInfo();
        ASSERT_NE(own, nullptr);
        EXPECT_EQ(own->Owner(), &handler);
        EXPECT_EQ(own->Version(), svNoSocks);
        EXPECT_EQ(own->IOHandler(), &handler);
        EXPECT_EQ(handler.SocksInfo(), own);
        EXPECT_EQ(TNetComponent::LiveCount(), baseline + 2);
    }
    EXPECT_EQ(TNetComponent::LiveCount(), baseline) << "own object not freed with the handler";
}

TEST(SocksInfoTest, ObjectWithOwnerIsHeldByReference) {
    TComponent window;
    const int baseline = TNetComponent::LiveCount();
    auto* handler = new TSocketIOHandler(&window);
    handler->SocksInfo(); // an own object first: replaced and freed
    auto* foreign = new TSocksInfo(&window);
    handler->SetSocksInfo(foreign);
    EXPECT_EQ(handler->SocksInfo(), foreign);
    EXPECT_EQ(foreign->IOHandler(), handler);
    EXPECT_EQ(TNetComponent::LiveCount(), baseline + 2);

    // Filled after attaching, as the connection page does: the handler sees it.
    Fill(*foreign);
    ExpectFilled(*handler->SocksInfo());

    // Destroying the handler leaves the foreign object alive, without a
    // reference to the dead handler.
    delete handler;
    EXPECT_EQ(TNetComponent::LiveCount(), baseline + 1);
    EXPECT_EQ(foreign->IOHandler(), nullptr);

    // Destroying the foreign object first makes the handler forget it.
    handler = new TSocketIOHandler(&window);
    handler->SetSocksInfo(foreign);
    delete foreign;
    TSocksInfo* fresh = handler->SocksInfo();
    EXPECT_EQ(fresh->Owner(), handler);
    EXPECT_EQ(fresh->Version(), svNoSocks);
}

TEST(SocksInfoTest, ObjectWithoutOwnerIsCopied) {
    TComponent window;
    TSocketIOHandler handler;
    auto* foreign = new TSocksInfo(&window);
    handler.SetSocksInfo(foreign);

    TSocksInfo loose; // no owner
    Fill(loose);
    handler.SetSocksInfo(&loose);
    TSocksInfo* held = handler.SocksInfo();
    EXPECT_NE(held, &loose);
    EXPECT_NE(held, foreign) << "the foreign object must be forgotten, not overwritten";
    EXPECT_EQ(held->Owner(), &handler);
    ExpectFilled(*held);
    EXPECT_EQ(foreign->Version(), svNoSocks);
    EXPECT_EQ(loose.IOHandler(), nullptr);

    loose.SetHost("changed.test");
    EXPECT_EQ(held->Host(), "proxy.test");
}

TEST(SocksInfoTest, SettingNoneForgetsWithoutFreeing) {
    TComponent window;
    TSocketIOHandler handler;
    auto* foreign = new TSocksInfo(&window);
    handler.SetSocksInfo(foreign);
    handler.SetSocksInfo(nullptr);
    EXPECT_EQ(foreign->IOHandler(), nullptr);
    foreign->SetHost("still.alive");
    EXPECT_EQ(handler.SocksInfo()->Host(), ""); // a new own object
    delete foreign;                             // the handler no longer cares
    EXPECT_NE(handler.SocksInfo(), nullptr);
}

// The connection page's order: attach a transport with SOCKS settings owned by
// the window, connect, disconnect, detach and free both; twice.
TEST(SocksInfoTest, AttachAndDetachPerAttemptLeavesNothingBehind) {
    testnet::TLoopbackListener listener;
    TComponent window;
    auto* client = new TTcpClient(&window);
    const int baseline = TNetComponent::LiveCount();
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (client->Connected())
            client->Disconnect();
        client->SetHost("127.0.0.1");
        client->SetPort(listener.Port());

        auto* handler = new TSocketIOHandler(&window);
        auto* info = new TSocksInfo(&window);
        handler->SetSocksInfo(info);
        client->SetIOHandler(handler);
        info->SetVersion(svNoSocks); // proxy in use but version 0: direct

        client->Connect(2000);
        client->Disconnect();

        ASSERT_FALSE(client->Connected());
        TSocksInfo* attached = static_cast<TSocketIOHandler*>(client->IOHandler())->SocksInfo();
        client->SetIOHandler(nullptr);
        handler->SetSocksInfo(nullptr);
        delete attached;
        delete handler;
        EXPECT_EQ(TNetComponent::LiveCount(), baseline) << attempt;
        EXPECT_EQ(client->IOHandler(), nullptr);
    }
}
