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
#include <memory>
#include <string>
#include <typeinfo>

using namespace tavora;

using namespace std::chrono_literals;
using testnet::bytes;
using testnet::concat;
using testnet::ByteList;
using testnet::textBytes;

namespace {

const ByteList Socks4Granted = bytes({0, 90, 0, 0, 0, 0, 0, 0});
const ByteList Socks5Granted = bytes({5, 0, 0, 1, 127, 0, 0, 1, 0x12, 0x34});

// The client connects through a scripted proxy the way the connection page
// does it: a transport of its own, with its SOCKS settings, handed to the client.
class SocksNegotiationTest : public ::testing::Test {
protected:
    void SetUp() override {
        testnet::installTableLookup(lookups_);
        auto handler = std::make_unique<SocketIOHandler>();
        handler_ = handler.get();
        info_ = &handler->socksInfo();
        client_.setIOHandler(std::move(handler));
        client_.setPort(9910);
        client_.setStageObserver([this](ConnectStage stage) { stages_.push_back(stage); });
    }

    void through(testnet::ScriptedProxy& proxy, SocksVersion version, const std::string& target) {
        info_->setVersion(version);
        info_->setHost("127.0.0.1");
        info_->setPort(proxy.port());
        client_.setHost(target);
        proxy.start();
    }

    // Runs the connect and returns the failure's message ("" on success),
    // checking the exception's class.
    template <typename E = NetException> std::string connect(int timeoutMs = 5000) {
        try {
            client_.connect(timeoutMs);
        } catch (const E& e) {
            return e.what();
        } catch (const std::exception& e) {
            return std::string("wrong class ") + typeid(e).name() + ": " + e.what();
        }
        return "";
    }

    TcpClient client_;
    // The transport and its SOCKS settings, held by client_.
    SocketIOHandler* handler_ = nullptr;
    SocksInfo* info_ = nullptr;
    std::vector<std::string> lookups_;
    std::vector<ConnectStage> stages_; // what the client reported, in order
};

using enum ConnectStage;
using Stages = std::vector<ConnectStage>;

ByteList socks5Connect(const std::string& host, int port = 9910) {
    return concat({bytes({5, 1, 0, 3, static_cast<int>(host.size())}), textBytes(host),
                   bytes({(port >> 8) & 0xFF, port & 0xFF})});
}

} // namespace

// --- SOCKS 4 and 4A --------------------------------------------------------

TEST_F(SocksNegotiationTest, Socks4RequestIsExactAndTargetResolvedLocally) {
    testnet::ScriptedProxy proxy;
    proxy.read(9).write(Socks4Granted);
    through(proxy, Socks4, "classroom.test");
    EXPECT_EQ(connect(), "");
    EXPECT_TRUE(client_.connected());
    client_.disconnect();
    proxy.finish();
    EXPECT_EQ(proxy.received(), bytes({0x04, 0x01, 0x26, 0xB6, 127, 0, 0, 5, 0x00}));
    EXPECT_EQ(lookups_, (std::vector<std::string>{"classroom.test"}));
    EXPECT_EQ(stages_, (Stages{ResolveProxy, TcpConnect, ResolveTarget, SocksConnectRequest}));
}

TEST_F(SocksNegotiationTest, Socks4SendsUserNameEvenWithoutAuthenticationAndCutsIt) {
    testnet::ScriptedProxy proxy;
    const std::string longName(300, 'u');
    proxy.read(9 + 255).write(bytes({4, 90, 1, 2, 3, 4, 5, 6}));
    info_->setUsername(longName);
    info_->setPassword("never-sent");
    info_->setAuthentication(NoAuthentication);
    through(proxy, Socks4, "LocalHost");
    EXPECT_EQ(connect(), "");
    client_.disconnect();
    proxy.finish();
    EXPECT_EQ(proxy.received(), concat({bytes({4, 1, 0x26, 0xB6, 127, 0, 0, 1}),
                                        textBytes(longName.substr(0, 255)), bytes({0})}));
    EXPECT_TRUE(lookups_.empty());
}

TEST_F(SocksNegotiationTest, Socks4AsendsHostTextWithoutResolvingIt) {
    testnet::ScriptedProxy proxy;
    const std::string target = "unknown-to-us.test";
    proxy.read(10 + 3 + target.size()).writeByteByByte(Socks4Granted);
    info_->setUsername("bob");
    through(proxy, Socks4A, target);
    EXPECT_EQ(connect(), "");
    client_.disconnect();
    proxy.finish();
    EXPECT_EQ(proxy.received(), concat({bytes({4, 1, 0x26, 0xB6, 0, 0, 0, 1}), textBytes("bob"), bytes({0}),
                                        textBytes(target), bytes({0})}));
    EXPECT_TRUE(lookups_.empty());
    EXPECT_EQ(stages_, (Stages{ResolveProxy, TcpConnect, SocksConnectRequest}));
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
        testnet::ScriptedProxy proxy;
        proxy.read(9).write(bytes({4, code, 0, 0, 0, 0, 0, 0}));
        through(proxy, Socks4, "127.0.0.1");
        EXPECT_EQ(connect<SocksError>(), message) << code;
        EXPECT_FALSE(client_.connected()) << code;
    }
}

TEST_F(SocksNegotiationTest, Socks4UnknownTargetFailsBeforeSendingAnything) {
    testnet::ScriptedProxy proxy;
    through(proxy, Socks4, "nowhere.test");
    EXPECT_EQ(connect<SocketError>(), "Socket Error # 11001\r\nHost not found.");
    proxy.finish();
    EXPECT_TRUE(proxy.accepted());
    EXPECT_TRUE(proxy.received().empty());
    ASSERT_FALSE(stages_.empty());
    EXPECT_EQ(stages_.back(), ResolveTarget);
}

TEST_F(SocksNegotiationTest, Socks4ReplyCutShortOrNeverSent) {
    {
        testnet::ScriptedProxy proxy;
        proxy.read(9).write(bytes({0, 90, 0})).close();
        through(proxy, Socks4, "127.0.0.1");
        EXPECT_EQ(connect<SocksServerRespondError>(), "Socks server did not respond.");
    }
    {
        testnet::ScriptedProxy proxy;
        proxy.read(9).write(bytes({0, 90, 0})); // then silence
        through(proxy, Socks4A, "classroom.test");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(connect<SocksServerRespondError>(400), "Socks server did not respond.");
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
        EXPECT_FALSE(client_.connected());
    }
}

// --- SOCKS 5 ---------------------------------------------------------------

TEST_F(SocksNegotiationTest, Socks5WithoutAuthenticationGoesStraightToConnect) {
    testnet::ScriptedProxy proxy;
    proxy.read(3).write(bytes({5, 0})).read(7 + 14).write(Socks5Granted);
    info_->setUsername("ignored");
    through(proxy, Socks5, "classroom.test");
    EXPECT_EQ(connect(), "");
    EXPECT_TRUE(client_.connected());
    client_.disconnect();
    proxy.finish();
    EXPECT_EQ(proxy.received(), concat({bytes({0x05, 0x01, 0x00}), socks5Connect("classroom.test")}));
    EXPECT_TRUE(lookups_.empty()) << "the proxy resolves the target";
    EXPECT_EQ(stages_, (Stages{ResolveProxy, TcpConnect, SocksGreeting, SocksConnectRequest}));
}

TEST_F(SocksNegotiationTest, Socks5WithUserNameAndPassword) {
    testnet::ScriptedProxy proxy;
    proxy.read(3).write(bytes({5, 2})).read(3 + 5 + 6).write(bytes({1, 0})).read(7 + 9).write(Socks5Granted);
    info_->setAuthentication(UsernamePassword);
    info_->setUsername("alice");
    info_->setPassword("s3cret");
    through(proxy, Socks5, "127.0.0.1");
    EXPECT_EQ(connect(), "");
    client_.disconnect();
    proxy.finish();
    EXPECT_EQ(proxy.received(), concat({bytes({0x05, 0x01, 0x02}), bytes({1, 5}), textBytes("alice"),
                                        bytes({6}), textBytes("s3cret"),
                                        // A dotted target still goes as a name (type 3).
                                        socks5Connect("127.0.0.1")}));
    EXPECT_EQ(stages_, (Stages{ResolveProxy, TcpConnect, SocksGreeting, SocksAuthentication, SocksConnectRequest}));
}

TEST_F(SocksNegotiationTest, Socks5EmptyCredentialsHaveZeroLengths) {
    testnet::ScriptedProxy proxy;
    proxy.read(3).write(bytes({5, 2})).read(3).write(bytes({1, 0})).read(7 + 1).write(Socks5Granted);
    info_->setAuthentication(UsernamePassword);
    through(proxy, Socks5, "h");
    EXPECT_EQ(connect(), "");
    client_.disconnect();
    proxy.finish();
    EXPECT_EQ(proxy.received(), concat({bytes({5, 1, 2}), bytes({1, 0, 0}), socks5Connect("h")}));
}

TEST_F(SocksNegotiationTest, Socks5MethodRefusals) {
    const struct {
        SocksAuthMethod offered;
        int chosen;
    } cases[] = {{UsernamePassword, 0x00},
                 {UsernamePassword, 0xFF},
                 {NoAuthentication, 0xFF},
                 {NoAuthentication, 0x02}};
    for (const auto& c : cases) {
        testnet::ScriptedProxy proxy;
        proxy.read(3).write(bytes({5, c.chosen}));
        info_->setAuthentication(c.offered);
        info_->setUsername("alice");
        info_->setPassword("s3cret");
        through(proxy, Socks5, "classroom.test");
        EXPECT_EQ(connect<SocksAuthMethodError>(), "Invalid socks authentication method.") << c.chosen;
        proxy.finish();
        // Neither the credentials nor the connect request went out.
        EXPECT_EQ(proxy.received().size(), 3u) << c.chosen;
    }
}

TEST_F(SocksNegotiationTest, Socks5CredentialsRefused) {
    testnet::ScriptedProxy proxy;
    proxy.read(3).write(bytes({5, 2})).read(3 + 5 + 5).write(bytes({1, 1}));
    info_->setAuthentication(UsernamePassword);
    info_->setUsername("alice");
    info_->setPassword("wrong");
    through(proxy, Socks5, "classroom.test");
    EXPECT_EQ(connect<SocksAuthError>(), "Authentication error to socks server.");
    EXPECT_FALSE(client_.connected());
    ASSERT_FALSE(stages_.empty());
    EXPECT_EQ(stages_.back(), SocksAuthentication);
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
        testnet::ScriptedProxy proxy;
        proxy.read(3).write(bytes({5, 0})).read(7 + 14).write(bytes({5, code, 0, 1, 0, 0, 0, 0, 0, 0}));
        through(proxy, Socks5, "classroom.test");
        EXPECT_EQ(connect<SocksError>(), message) << code;
        EXPECT_FALSE(client_.connected()) << code;
    }
    // Same words as the platform's refusal, but not framed as a socket error.
    testnet::ScriptedProxy proxy;
    proxy.read(3).write(bytes({5, 0})).read(7 + 14).write(bytes({5, 5, 0, 1, 0, 0, 0, 0, 0, 0}));
    through(proxy, Socks5, "classroom.test");
    EXPECT_EQ(connect<SocksServerConnectionRefusedError>(), "Connection refused.");
}

TEST_F(SocksNegotiationTest, Socks5RepliesOfEveryAddressTypeAreReadExactly) {
    const ByteList name12 = textBytes("proxy.local.");
    const ByteList replies[] = {
        bytes({5, 0, 0, 1, 10, 1, 2, 3, 0x04, 0x38}),
        concat({bytes({5, 0, 0, 3, 12}), name12, bytes({0x04, 0x38})}),
        concat({bytes({5, 0, 0, 4}), ByteList(16, 0xAB), bytes({0x04, 0x38})}),
        bytes({5, 0, 0, 3, 0, 0x04, 0x38}), // empty name
    };
    for (const ByteList& reply : replies) {
        testnet::ScriptedProxy proxy;
        // Every byte on its own, then one byte that belongs to the connection.
        proxy.read(3).writeByteByByte(bytes({5, 0})).read(7 + 14).writeByteByByte(reply).write(bytes({'Z'}));
        through(proxy, Socks5, "classroom.test");
        ASSERT_EQ(connect(), "") << reply.size();
        char next = 0;
        ASSERT_EQ(handler_->recv(&next, 1), 1);
        EXPECT_EQ(next, 'Z') << "the reply was not read exactly, size " << reply.size();
        client_.disconnect();
    }
}

TEST_F(SocksNegotiationTest, Socks5ReplyWithUnknownAddressTypeIsRefused) {
    testnet::ScriptedProxy proxy;
    proxy.read(3).write(bytes({5, 0})).read(7 + 14).write(bytes({5, 0, 0, 7, 1, 2, 3}));
    through(proxy, Socks5, "classroom.test");
    EXPECT_EQ(connect<SocksUnknownError>(), "Unknown socks error.");
    EXPECT_FALSE(client_.connected());
}

// A proxy that closes, or falls silent, at each point of the exchange.
TEST_F(SocksNegotiationTest, Socks5ProxyStopsAnswering) {
    const std::string target = "classroom.test";
    const std::function<void(testnet::ScriptedProxy&)> scripts[] = {
        [](auto& p) { p.read(3); },
        [](auto& p) { p.read(3).write(bytes({5})); },
        [](auto& p) {
            p.read(3).write(bytes({5, 2})).read(3 + 5 + 6);
        },
        [](auto& p) {
            p.read(3).write(bytes({5, 2})).read(3 + 5 + 6).write(bytes({1, 0})).read(7 + 14);
        },
        [](auto& p) {
            p.read(3)
                .write(bytes({5, 2}))
                .read(3 + 5 + 6)
                .write(bytes({1, 0}))
                .read(7 + 14)
                .write(bytes({5, 0, 0, 1}));
        },
        [](auto& p) {
            p.read(3)
                .write(bytes({5, 2}))
                .read(3 + 5 + 6)
                .write(bytes({1, 0}))
                .read(7 + 14)
                .write(bytes({5, 0, 0, 3, 20, 'a', 'b'}));
        },
    };
    info_->setAuthentication(UsernamePassword);
    info_->setUsername("alice");
    info_->setPassword("s3cret");
    for (bool closes : {true, false}) {
        int step = 0;
        for (const auto& script : scripts) {
            testnet::ScriptedProxy proxy;
            script(proxy);
            if (closes)
                proxy.close();
            through(proxy, Socks5, target);
            const auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(connect<SocksServerRespondError>(closes ? 5000 : 300), "Socks server did not respond.")
                << (closes ? "closed" : "silent") << " at step " << step;
            EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
            EXPECT_FALSE(client_.connected());
            ++step;
        }
    }
}

TEST_F(SocksNegotiationTest, Socks5TextsOverFieldLengthFailBeforeSending) {
    const std::string tooLong(256, 'x');
    const std::string fits(255, 'y');
    const struct {
        std::string user, password, host, message;
    } cases[] = {
        {tooLong, "p", "classroom.test", "Socks user name is longer than 255 bytes."},
        {"u", tooLong, "classroom.test", "Socks password is longer than 255 bytes."},
        {"u", "p", tooLong, "Target host name is longer than 255 bytes."},
    };
    for (const auto& c : cases) {
        testnet::ScriptedProxy proxy;
        info_->setAuthentication(UsernamePassword);
        info_->setUsername(c.user);
        info_->setPassword(c.password);
        through(proxy, Socks5, c.host);
        EXPECT_EQ(connect<SocksTextTooLongError>(), c.message);
        proxy.finish();
        EXPECT_TRUE(proxy.received().empty()) << c.message;
        EXPECT_TRUE(lookups_.empty()) << "no fall-back to a local lookup";
    }

    // 255 bytes still fit.
    testnet::ScriptedProxy proxy;
    proxy.read(3)
        .write(bytes({5, 2}))
        .read(3 + 255 + 255)
        .write(bytes({1, 0}))
        .read(7 + 255)
        .write(Socks5Granted);
    info_->setUsername(fits);
    info_->setPassword(fits);
    through(proxy, Socks5, fits);
    EXPECT_EQ(connect(), "");
}

TEST_F(SocksNegotiationTest, NoSocksAndUnknownVersionsConnectDirectly) {
    testnet::LoopbackListener target;
    for (int version : {0, 7}) {
        info_->setVersion(static_cast<SocksVersion>(version));
        info_->setHost("proxy.test"); // not used
        client_.setHost("127.0.0.1");
        client_.setPort(target.port());
        EXPECT_EQ(connect(), "") << version;
        EXPECT_EQ(handler_->binding()->peerPort, target.port());
        client_.disconnect();
    }
    EXPECT_TRUE(lookups_.empty());
}
