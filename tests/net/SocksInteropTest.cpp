// The client against real SOCKS servers (dante, microsocks) started by the
// harness on loopback; every target is a listener of this test on 127.0.0.1.

#include "net/SocketIOHandler.h"
#include "net/SocksExceptions.h"
#include "net/SocksInfo.h"
#include "net/TcpClient.h"
#include "platform/net/TestSockets.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <typeinfo>

using namespace tavora;

namespace {

std::map<std::string, std::string> readPorts() {
    std::map<std::string, std::string> values;
    const char* dir = std::getenv("TAVORA_TEST_SOCKS_DIR");
    if (!dir)
        return values;
    std::ifstream file(std::string(dir) + "/ports.env");
    std::string line;
    while (std::getline(file, line)) {
        const auto equals = line.find('=');
        if (equals != std::string::npos)
            values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

struct Proxy {
    std::string name;
    int port;
    std::string user, password;
};

class SocksInteropTest : public ::testing::Test {
protected:
    void SetUp() override {
        env_ = readPorts();
        if (env_.empty())
            GTEST_SKIP() << "no SOCKS servers (TAVORA_TEST_SOCKS_DIR/ports.env)";
        auto handler = std::make_unique<SocketIOHandler>();
        handler_ = handler.get();
        info_ = &handler->socksInfo();
        client_.setIOHandler(std::move(handler));
    }

    Proxy proxyFor(const std::string& prefix) {
        return {prefix, std::stoi(env_.at(prefix + "_PORT")),
                env_.count(prefix + "_USER") ? env_.at(prefix + "_USER") : "",
                env_.count(prefix + "_PASSWORD") ? env_.at(prefix + "_PASSWORD") : ""};
    }
    Proxy authProxy(const std::string& prefix) {
        Proxy proxy = proxyFor(prefix);
        proxy.port = std::stoi(env_.at(prefix + "_AUTH_PORT"));
        return proxy;
    }

    void configure(int proxyPort, SocksVersion version,
                   SocksAuthMethod authentication = NoAuthentication, const std::string& user = "",
                   const std::string& password = "") {
        info_->setVersion(version);
        info_->setHost("127.0.0.1");
        info_->setPort(proxyPort);
        info_->setAuthentication(authentication);
        info_->setUsername(user);
        info_->setPassword(password);
    }

    // "" on success, else the exception's class and message.
    std::string connectTo(const std::string& host, int port) {
        if (client_.connected())
            client_.disconnect();
        client_.setHost(host);
        client_.setPort(port);
        try {
            client_.connect(5000);
        } catch (const std::exception& e) {
            return e.what();
        }
        return "";
    }

    // Bytes sent through the proxied connection arrive at the target.
    void expectEndToEnd(testnet::LoopbackListener& target) {
        ASSERT_TRUE(client_.connected());
        testnet::Fd peer = target.accept();
        ASSERT_NE(peer.get(), -1) << "the proxy did not connect to the target";
        ASSERT_EQ(handler_->send("ping", 4), 4);
        char buffer[4] = {};
        ASSERT_EQ(::recv(peer.get(), buffer, 4, MSG_WAITALL), 4);
        EXPECT_EQ(std::string(buffer, 4), "ping");
        client_.disconnect();
    }

    std::map<std::string, std::string> env_;
    TcpClient client_;
    // The transport and its SOCKS settings, held by client_.
    SocketIOHandler* handler_ = nullptr;
    SocksInfo* info_ = nullptr;
};

} // namespace

TEST_F(SocksInteropTest, DanteWithoutAuthentication) {
    const Proxy dante = proxyFor("DANTE");
    testnet::LoopbackListener target;
    testnet::RefusingPort closed;

    configure(dante.port, Socks4);
    EXPECT_EQ(connectTo("127.0.0.1", target.port()), "");
    expectEndToEnd(target);
    EXPECT_EQ(connectTo("localhost", target.port()), ""); // resolved here for SOCKS 4
    expectEndToEnd(target);
    EXPECT_EQ(connectTo("127.0.0.1", closed.port()), "Request rejected or failed.");

    configure(dante.port, Socks5);
    EXPECT_EQ(connectTo("127.0.0.1", target.port()), "");
    expectEndToEnd(target);
    EXPECT_EQ(connectTo("localhost", target.port()), ""); // resolved by the proxy
    expectEndToEnd(target);
    EXPECT_EQ(connectTo("127.0.0.1", closed.port()), "Connection refused.");
    EXPECT_FALSE(client_.connected());
}

TEST_F(SocksInteropTest, DanteWithUserNameMethod) {
    const Proxy dante = authProxy("DANTE");
    testnet::LoopbackListener target;

    configure(dante.port, Socks5, UsernamePassword, dante.user, dante.password);
    EXPECT_EQ(connectTo("127.0.0.1", target.port()), "");
    expectEndToEnd(target);

    configure(dante.port, Socks5, UsernamePassword, dante.user, dante.password + "x");
    EXPECT_EQ(connectTo("127.0.0.1", target.port()), "Authentication error to socks server.");
    EXPECT_FALSE(client_.connected());

    configure(dante.port, Socks5, NoAuthentication);
    EXPECT_EQ(connectTo("127.0.0.1", target.port()), "Invalid socks authentication method.");

    // SOCKS 4 cannot carry a password: this server refuses it.
    configure(dante.port, Socks4, UsernamePassword, dante.user, dante.password);
    EXPECT_NE(connectTo("127.0.0.1", target.port()), "");
    EXPECT_FALSE(client_.connected());
}

TEST_F(SocksInteropTest, MicrosocksWithoutAuthentication) {
    const Proxy micro = proxyFor("MICROSOCKS");
    testnet::LoopbackListener target;
    testnet::RefusingPort closed;

    configure(micro.port, Socks5);
    EXPECT_EQ(connectTo("127.0.0.1", target.port()), "");
    expectEndToEnd(target);
    EXPECT_EQ(connectTo("LOCALHOST", target.port()), "");
    expectEndToEnd(target);
    EXPECT_EQ(connectTo("127.0.0.1", closed.port()), "Connection refused.");
    EXPECT_FALSE(client_.connected());
}

TEST_F(SocksInteropTest, MicrosocksWithUserNameAndPassword) {
    const Proxy micro = authProxy("MICROSOCKS");
    testnet::LoopbackListener target;

    configure(micro.port, Socks5, UsernamePassword, micro.user, micro.password);
    EXPECT_EQ(connectTo("127.0.0.1", target.port()), "");
    expectEndToEnd(target);

    configure(micro.port, Socks5, UsernamePassword, micro.user, "wrong");
    EXPECT_EQ(connectTo("127.0.0.1", target.port()), "Authentication error to socks server.");
    EXPECT_FALSE(client_.connected());

    configure(micro.port, Socks5, NoAuthentication);
    EXPECT_EQ(connectTo("127.0.0.1", target.port()), "Invalid socks authentication method.");

    // The next attempt with the right settings works again on the same client.
    configure(micro.port, Socks5, UsernamePassword, micro.user, micro.password);
    EXPECT_EQ(connectTo("127.0.0.1", target.port()), "");
    expectEndToEnd(target);
}
