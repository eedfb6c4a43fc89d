#include "net/ClientExceptions.h"
#include "net/ScriptedProxy.h"
#include "net/SocketIOHandler.h"
#include "net/SocksExceptions.h"
#include "net/SocksInfo.h"
#include "net/TcpClient.h"
#include "platform/net/SocketErrors.h"
#include "platform/net/SocketStack.h"

#include "platform/net/TableLookup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <typeinfo>

using namespace std::chrono_literals;
using testnet::Bytes;
using testnet::Concat;
using testnet::TByteList;
using testnet::TextBytes;

namespace {

const TByteList kSocks4Granted = Bytes({0, 90, 0, 0, 0, 0, 0, 0});
const TByteList kSocks5Granted = Bytes({5, 0, 0, 1, 127, 0, 0, 1, 0x12, 0x34});

// The client connects through a scripted proxy the way the connection page
// does it: a transport with SOCKS settings owned by the window.
class SocksNegotiationTest : public ::testing::Test {
protected:
    void SetUp() override {
        testnet::InstallTableLookup(Lookups);
        Handler = new TSocketIOHandler(&Window);
        Info = new TSocksInfo(&Window);
        Handler->SetSocksInfo(Info);
        Client.SetIOHandler(Handler);
        Client.SetPort(9910);
        Client.SetStageObserver([this](TConnectStage stage) { Stages.push_back(stage); });
    }

    void Through(testnet::TScriptedProxy& proxy, TSocksVersion version, const std::string& target) {
        Info->SetVersion(version);
        Info->SetHost("127.0.0.1");
        Info->SetPort(proxy.Port());
        Client.SetHost(target);
        proxy.Start();
    }

    // Runs the connect and returns the failure's message ("" on success),
    // checking the exception's class.
    template <typename E = ENetException> std::string Connect(int timeoutMs = 5000) {
        try {
            Client.Connect(timeoutMs);
        } catch (const E& e) {
            return e.what();
        } catch (const std::exception& e) {
            return std::string("wrong class ") + typeid(e).name() + ": " + e.what();
        }
        return "";
    }

    TComponent Window;
    TTcpClient Client{&Window};
    TSocketIOHandler* Handler = nullptr;
    TSocksInfo* Info = nullptr;
    std::vector<std::string> Lookups;
    std::vector<TConnectStage> Stages; // what the client reported, in order
};

using enum TConnectStage;
using TStages = std::vector<TConnectStage>;

TByteList Socks5Connect(const std::string& host, int port = 9910) {
    return Concat({Bytes({5, 1, 0, 3, static_cast<int>(host.size())}), TextBytes(host),
                   Bytes({(port >> 8) & 0xFF, port & 0xFF})});
}

} // namespace

// --- SOCKS 4 and 4A --------------------------------------------------------

TEST_F(SocksNegotiationTest, Socks4RequestIsExactAndTargetResolvedLocally) {
    testnet::TScriptedProxy proxy;
    proxy.Read(9).Write(kSocks4Granted);
    Through(proxy, svSocks4, "classroom.test");
    EXPECT_EQ(Connect(), "");
    EXPECT_TRUE(Client.Connected());
    Client.Disconnect();
    proxy.Finish();
    EXPECT_EQ(proxy.Received(), Bytes({0x04, 0x01, 0x26, 0xB6, 127, 0, 0, 5, 0x00}));
    EXPECT_EQ(Lookups, (std::vector<std::string>{"classroom.test"}));
    EXPECT_EQ(Stages, (TStages{ResolveProxy, TcpConnect, ResolveTarget, SocksConnectRequest}));
}

TEST_F(SocksNegotiationTest, Socks4SendsUserNameEvenWithoutAuthenticationAndCutsIt) {
    testnet::TScriptedProxy proxy;
    const std::string longName(300, 'u');
    proxy.Read(9 + 255).Write(Bytes({4, 90, 1, 2, 3, 4, 5, 6}));
    Info->SetUsername(longName);
    Info->SetPassword("never-sent");
    Info->SetAuthentication(saNoAuthentication);
    Through(proxy, svSocks4, "LocalHost");
    EXPECT_EQ(Connect(), "");
    Client.Disconnect();
    proxy.Finish();
    EXPECT_EQ(proxy.Received(), Concat({Bytes({4, 1, 0x26, 0xB6, 127, 0, 0, 1}),
                                        TextBytes(longName.substr(0, 255)), Bytes({0})}));
    EXPECT_TRUE(Lookups.empty());
}

TEST_F(SocksNegotiationTest, Socks4AsendsHostTextWithoutResolvingIt) {
    testnet::TScriptedProxy proxy;
    const std::string target = "unknown-to-us.test";
    proxy.Read(10 + 3 + target.size()).WriteByteByByte(kSocks4Granted);
    Info->SetUsername("bob");
    Through(proxy, svSocks4A, target);
    EXPECT_EQ(Connect(), "");
    Client.Disconnect();
    proxy.Finish();
    EXPECT_EQ(proxy.Received(), Concat({Bytes({4, 1, 0x26, 0xB6, 0, 0, 0, 1}), TextBytes("bob"), Bytes({0}),
                                        TextBytes(target), Bytes({0})}));
    EXPECT_TRUE(Lookups.empty());
    EXPECT_EQ(Stages, (TStages{ResolveProxy, TcpConnect, SocksConnectRequest}));
}

TEST_F(SocksNegotiationTest, Socks4StatusCodes) {
    const std::pair<int, std::string> cases[] = {
        {91, "Request rejected or failed."},
        {92, "Request rejected because SOCKS server cannot connect."},
        {93, "Request rejected because the client program and identd report different user-ids."},
        {0, "Unknown socks error."},
        {89, "Unknown socks error."},
        {255, "Unknown socks error."},
    };
    for (const auto& [code, message] : cases) {
        testnet::TScriptedProxy proxy;
        proxy.Read(9).Write(Bytes({4, code, 0, 0, 0, 0, 0, 0}));
        Through(proxy, svSocks4, "127.0.0.1");
        EXPECT_EQ(Connect<ESocksError>(), message) << code;
        EXPECT_FALSE(Client.Connected()) << code;
    }
}

TEST_F(SocksNegotiationTest, Socks4UnknownTargetFailsBeforeSendingAnything) {
    testnet::TScriptedProxy proxy;
    Through(proxy, svSocks4, "nowhere.test");
    EXPECT_EQ(Connect<ESocketError>(), "Socket Error # 11001\r\nHost not found.");
    proxy.Finish();
    EXPECT_TRUE(proxy.Accepted());
    EXPECT_TRUE(proxy.Received().empty());
    ASSERT_FALSE(Stages.empty());
    EXPECT_EQ(Stages.back(), ResolveTarget);
}

TEST_F(SocksNegotiationTest, Socks4ReplyCutShortOrNeverSent) {
    {
        testnet::TScriptedProxy proxy;
        proxy.Read(9).Write(Bytes({0, 90, 0})).Close();
        Through(proxy, svSocks4, "127.0.0.1");
        EXPECT_EQ(Connect<ESocksServerRespondError>(), "Socks server did not respond.");
    }
    {
        testnet::TScriptedProxy proxy;
        proxy.Read(9).Write(Bytes({0, 90, 0})); // then silence
        Through(proxy, svSocks4A, "classroom.test");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Connect<ESocksServerRespondError>(400), "Socks server did not respond.");
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
        EXPECT_FALSE(Client.Connected());
    }
}

// --- SOCKS 5 ---------------------------------------------------------------

TEST_F(SocksNegotiationTest, Socks5WithoutAuthenticationGoesStraightToConnect) {
    testnet::TScriptedProxy proxy;
    proxy.Read(3).Write(Bytes({5, 0})).Read(7 + 14).Write(kSocks5Granted);
    Info->SetUsername("ignored");
    Through(proxy, svSocks5, "classroom.test");
    EXPECT_EQ(Connect(), "");
    EXPECT_TRUE(Client.Connected());
    Client.Disconnect();
    proxy.Finish();
    EXPECT_EQ(proxy.Received(), Concat({Bytes({0x05, 0x01, 0x00}), Socks5Connect("classroom.test")}));
    EXPECT_TRUE(Lookups.empty()) << "the proxy resolves the target";
    EXPECT_EQ(Stages, (TStages{ResolveProxy, TcpConnect, SocksGreeting, SocksConnectRequest}));
}

TEST_F(SocksNegotiationTest, Socks5WithUserNameAndPassword) {
    testnet::TScriptedProxy proxy;
    proxy.Read(3).Write(Bytes({5, 2})).Read(3 + 5 + 6).Write(Bytes({1, 0})).Read(7 + 9).Write(kSocks5Granted);
    Info->SetAuthentication(saUsernamePassword);
    Info->SetUsername("alice");
    Info->SetPassword("s3cret");
    Through(proxy, svSocks5, "127.0.0.1");
    EXPECT_EQ(Connect(), "");
    Client.Disconnect();
    proxy.Finish();
    EXPECT_EQ(proxy.Received(), Concat({Bytes({0x05, 0x01, 0x02}), Bytes({1, 5}), TextBytes("alice"),
                                        Bytes({6}), TextBytes("s3cret"),
                                        // A dotted target still goes as a name (type 3).
                                        Socks5Connect("127.0.0.1")}));
    EXPECT_EQ(Stages, (TStages{ResolveProxy, TcpConnect, SocksGreeting, SocksAuthentication, SocksConnectRequest}));
}

TEST_F(SocksNegotiationTest, Socks5EmptyCredentialsHaveZeroLengths) {
    testnet::TScriptedProxy proxy;
    proxy.Read(3).Write(Bytes({5, 2})).Read(3).Write(Bytes({1, 0})).Read(7 + 1).Write(kSocks5Granted);
    Info->SetAuthentication(saUsernamePassword);
    Through(proxy, svSocks5, "h");
    EXPECT_EQ(Connect(), "");
    Client.Disconnect();
    proxy.Finish();
    EXPECT_EQ(proxy.Received(), Concat({Bytes({5, 1, 2}), Bytes({1, 0, 0}), Socks5Connect("h")}));
}

TEST_F(SocksNegotiationTest, Socks5MethodRefusals) {
    const struct {
        TSocksAuthentication Offered;
        int Chosen;
    } cases[] = {{saUsernamePassword, 0x00},
                 {saUsernamePassword, 0xFF},
                 {saNoAuthentication, 0xFF},
                 {saNoAuthentication, 0x02}};
    for (const auto& c : cases) {
        testnet::TScriptedProxy proxy;
        proxy.Read(3).Write(Bytes({5, c.Chosen}));
        Info->SetAuthentication(c.Offered);
        Info->SetUsername("alice");
        Info->SetPassword("s3cret");
        Through(proxy, svSocks5, "classroom.test");
        EXPECT_EQ(Connect<ESocksAuthMethodError>(), "Invalid socks authentication method.") << c.Chosen;
        proxy.Finish();
        // Neither the credentials nor the connect request went out.
        EXPECT_EQ(proxy.Received().size(), 3u) << c.Chosen;
    }
}

TEST_F(SocksNegotiationTest, Socks5CredentialsRefused) {
    testnet::TScriptedProxy proxy;
    proxy.Read(3).Write(Bytes({5, 2})).Read(3 + 5 + 5).Write(Bytes({1, 1}));
    Info->SetAuthentication(saUsernamePassword);
    Info->SetUsername("alice");
    Info->SetPassword("wrong");
    Through(proxy, svSocks5, "classroom.test");
    EXPECT_EQ(Connect<ESocksAuthError>(), "Authentication error to socks server.");
    EXPECT_FALSE(Client.Connected());
    ASSERT_FALSE(Stages.empty());
    EXPECT_EQ(Stages.back(), SocksAuthentication);
}

TEST_F(SocksNegotiationTest, Socks5ReplyCodes) {
    const std::pair<int, std::string> cases[] = {
        {1, "General SOCKS server failure."}, {2, "Connection not allowed by ruleset."},
        {3, "Network unreachable."},          {4, "Host unreachable."},
        {5, "Connection refused."},           {6, "TTL expired."},
        {7, "Command not supported."},        {8, "Address type not supported."},
        {9, "Unknown socks error."},          {0xFF, "Unknown socks error."},
    };
    for (const auto& [code, message] : cases) {
        testnet::TScriptedProxy proxy;
        proxy.Read(3).Write(Bytes({5, 0})).Read(7 + 14).Write(Bytes({5, code, 0, 1, 0, 0, 0, 0, 0, 0}));
        Through(proxy, svSocks5, "classroom.test");
        EXPECT_EQ(Connect<ESocksError>(), message) << code;
        EXPECT_FALSE(Client.Connected()) << code;
    }
    // Same words as the platform's refusal, but not framed as a socket error.
    testnet::TScriptedProxy proxy;
    proxy.Read(3).Write(Bytes({5, 0})).Read(7 + 14).Write(Bytes({5, 5, 0, 1, 0, 0, 0, 0, 0, 0}));
    Through(proxy, svSocks5, "classroom.test");
    EXPECT_EQ(Connect<ESocksServerConnectionRefusedError>(), "Connection refused.");
}

TEST_F(SocksNegotiationTest, Socks5RepliesOfEveryAddressTypeAreReadExactly) {
    const TByteList name12 = TextBytes("proxy.local.");
    const TByteList replies[] = {
        Bytes({5, 0, 0, 1, 10, 1, 2, 3, 0x04, 0x38}),
        Concat({Bytes({5, 0, 0, 3, 12}), name12, Bytes({0x04, 0x38})}),
        Concat({Bytes({5, 0, 0, 4}), TByteList(16, 0xAB), Bytes({0x04, 0x38})}),
        Bytes({5, 0, 0, 3, 0, 0x04, 0x38}), // empty name
    };
    for (const TByteList& reply : replies) {
        testnet::TScriptedProxy proxy;
        // Every byte on its own, then one byte that belongs to the connection.
        proxy.Read(3).WriteByteByByte(Bytes({5, 0})).Read(7 + 14).WriteByteByByte(reply).Write(Bytes({'Z'}));
        Through(proxy, svSocks5, "classroom.test");
        ASSERT_EQ(Connect(), "") << reply.size();
        char next = 0;
        ASSERT_EQ(Handler->Recv(&next, 1), 1);
        EXPECT_EQ(next, 'Z') << "the reply was not read exactly, size " << reply.size();
        Client.Disconnect();
    }
}

TEST_F(SocksNegotiationTest, Socks5ReplyWithUnknownAddressTypeIsRefused) {
    testnet::TScriptedProxy proxy;
    proxy.Read(3).Write(Bytes({5, 0})).Read(7 + 14).Write(Bytes({5, 0, 0, 7, 1, 2, 3}));
    Through(proxy, svSocks5, "classroom.test");
    EXPECT_EQ(Connect<ESocksUnknownError>(), "Unknown socks error.");
    EXPECT_FALSE(Client.Connected());
}

// A proxy that closes, or falls silent, at each point of the exchange.
TEST_F(SocksNegotiationTest, Socks5ProxyStopsAnswering) {
    const std::string target = "classroom.test";
    const std::function<void(testnet::TScriptedProxy&)> scripts[] = {
        [](auto& p) { p.Read(3); },
        [](auto& p) { p.Read(3).Write(Bytes({5})); },
        [](auto& p) {
            p.Read(3).Write(Bytes({5, 2})).Read(3 + 5 + 6);
        },
        [](auto& p) {
            p.Read(3).Write(Bytes({5, 2})).Read(3 + 5 + 6).Write(Bytes({1, 0})).Read(7 + 14);
        },
        [](auto& p) {
            p.Read(3)
                .Write(Bytes({5, 2}))
                .Read(3 + 5 + 6)
                .Write(Bytes({1, 0}))
                .Read(7 + 14)
                .Write(Bytes({5, 0, 0, 1}));
        },
        [](auto& p) {
            p.Read(3)
                .Write(Bytes({5, 2}))
                .Read(3 + 5 + 6)
                .Write(Bytes({1, 0}))
                .Read(7 + 14)
                .Write(Bytes({5, 0, 0, 3, 20, 'a', 'b'}));
        },
    };
    Info->SetAuthentication(saUsernamePassword);
    Info->SetUsername("alice");
    Info->SetPassword("s3cret");
    for (bool closes : {true, false}) {
        int step = 0;
        for (const auto& script : scripts) {
            testnet::TScriptedProxy proxy;
            script(proxy);
            if (closes)
                proxy.Close();
            Through(proxy, svSocks5, target);
            const auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(Connect<ESocksServerRespondError>(closes ? 5000 : 300), "Socks server did not respond.")
                << (closes ? "closed" : "silent") << " at step " << step;
            EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
            EXPECT_FALSE(Client.Connected());
            ++step;
        }
    }
}

TEST_F(SocksNegotiationTest, Socks5TextsOverFieldLengthFailBeforeSending) {
    const std::string tooLong(256, 'x');
    const std::string fits(255, 'y');
    const struct {
        std::string User, Password, Host, Message;
    } cases[] = {
        {tooLong, "p", "classroom.test", "Socks user name is longer than 255 bytes."},
        {"u", tooLong, "classroom.test", "Socks password is longer than 255 bytes."},
        {"u", "p", tooLong, "Target host name is longer than 255 bytes."},
    };
    for (const auto& c : cases) {
        testnet::TScriptedProxy proxy;
        Info->SetAuthentication(saUsernamePassword);
        Info->SetUsername(c.User);
        Info->SetPassword(c.Password);
        Through(proxy, svSocks5, c.Host);
        EXPECT_EQ(Connect<ESocksTextTooLong>(), c.Message);
        proxy.Finish();
        EXPECT_TRUE(proxy.Received().empty()) << c.Message;
        EXPECT_TRUE(Lookups.empty()) << "no fall-back to a local lookup";
    }

    // 255 bytes still fit.
    testnet::TScriptedProxy proxy;
    proxy.Read(3)
        .Write(Bytes({5, 2}))
        .Read(3 + 255 + 255)
        .Write(Bytes({1, 0}))
        .Read(7 + 255)
        .Write(kSocks5Granted);
    Info->SetUsername(fits);
    Info->SetPassword(fits);
    Through(proxy, svSocks5, fits);
    EXPECT_EQ(Connect(), "");
}

TEST_F(SocksNegotiationTest, NoSocksAndUnknownVersionsConnectDirectly) {
    testnet::TLoopbackListener target;
    for (int version : {0, 7}) {
        Info->SetVersion(static_cast<TSocksVersion>(version));
        Info->SetHost("proxy.test"); // not used
        Client.SetHost("127.0.0.1");
        Client.SetPort(target.Port());
        EXPECT_EQ(Connect(), "") << version;
        EXPECT_EQ(Handler->Binding()->PeerPort, target.Port());
        Client.Disconnect();
    }
    EXPECT_TRUE(Lookups.empty());
}
