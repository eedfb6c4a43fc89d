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
#include <string>
#include <typeinfo>

namespace {

std::map<std::string, std::string> ReadPorts() {
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

struct TProxy {
    std::string Name;
    int Port;
    std::string User, Password;
};

class SocksInteropTest : public ::testing::Test {
protected:
    void SetUp() override {
        Env = ReadPorts();
        if (Env.empty())
            GTEST_SKIP() << "no SOCKS servers (TAVORA_TEST_SOCKS_DIR/ports.env)";
        Handler = new TSocketIOHandler(&Window);
        Info = new TSocksInfo(&Window);
        Handler->SetSocksInfo(Info);
        Client.SetIOHandler(Handler);
    }

    TProxy Proxy(const std::string& prefix) {
        return {prefix, std::stoi(Env.at(prefix + "_PORT")),
                Env.count(prefix + "_USER") ? Env.at(prefix + "_USER") : "",
                Env.count(prefix + "_PASSWORD") ? Env.at(prefix + "_PASSWORD") : ""};
    }
    TProxy AuthProxy(const std::string& prefix) {
        TProxy proxy = Proxy(prefix);
        proxy.Port = std::stoi(Env.at(prefix + "_AUTH_PORT"));
        return proxy;
    }

    void Configure(int proxyPort, TSocksVersion version,
                   TSocksAuthentication authentication = saNoAuthentication, const std::string& user = "",
                   const std::string& password = "") {
        Info->SetVersion(version);
        Info->SetHost("127.0.0.1");
        Info->SetPort(proxyPort);
        Info->SetAuthentication(authentication);
        Info->SetUsername(user);
        Info->SetPassword(password);
    }

    // "" on success, else the exception's class and message.
    std::string ConnectTo(const std::string& host, int port) {
        if (Client.Connected())
            Client.Disconnect();
        Client.SetHost(host);
        Client.SetPort(port);
        try {
            Client.Connect(5000);
        } catch (const std::exception& e) {
            return e.what();
        }
        return "";
    }

    // Bytes sent through the proxied connection arrive at the target.
    void ExpectEndToEnd(testnet::TLoopbackListener& target) {
        ASSERT_TRUE(Client.Connected());
        testnet::TFd peer = target.Accept();
        ASSERT_NE(peer.Get(), -1) << "the proxy did not connect to the target";
        ASSERT_EQ(Handler->Send("ping", 4), 4);
        char buffer[4] = {};
        ASSERT_EQ(::recv(peer.Get(), buffer, 4, MSG_WAITALL), 4);
        EXPECT_EQ(std::string(buffer, 4), "ping");
        Client.Disconnect();
    }

    std::map<std::string, std::string> Env;
    TComponent Window;
    TTcpClient Client{&Window};
    TSocketIOHandler* Handler = nullptr;
    TSocksInfo* Info = nullptr;
};

} // namespace

TEST_F(SocksInteropTest, DanteWithoutAuthentication) {
    const TProxy dante = Proxy("DANTE");
    testnet::TLoopbackListener target;
    testnet::TRefusingPort closed;

    Configure(dante.Port, svSocks4);
    EXPECT_EQ(ConnectTo("127.0.0.1", target.Port()), "");
    ExpectEndToEnd(target);
    EXPECT_EQ(ConnectTo("localhost", target.Port()), ""); // resolved here for SOCKS 4
    ExpectEndToEnd(target);
    EXPECT_EQ(ConnectTo("127.0.0.1", closed.Port()), "Request rejected or failed.");

    Configure(dante.Port, svSocks5);
    EXPECT_EQ(ConnectTo("127.0.0.1", target.Port()), "");
    ExpectEndToEnd(target);
    EXPECT_EQ(ConnectTo("localhost", target.Port()), ""); // resolved by the proxy
    ExpectEndToEnd(target);
    EXPECT_EQ(ConnectTo("127.0.0.1", closed.Port()), "Connection refused.");
    EXPECT_FALSE(Client.Connected());
}

TEST_F(SocksInteropTest, DanteWithUserNameMethod) {
    const TProxy dante = AuthProxy("DANTE");
    testnet::TLoopbackListener target;

    Configure(dante.Port, svSocks5, saUsernamePassword, dante.User, dante.Password);
    EXPECT_EQ(ConnectTo("127.0.0.1", target.Port()), "");
    ExpectEndToEnd(target);

    Configure(dante.Port, svSocks5, saUsernamePassword, dante.User, dante.Password + "x");
    EXPECT_EQ(ConnectTo("127.0.0.1", target.Port()), "Authentication error to socks server.");
    EXPECT_FALSE(Client.Connected());

    Configure(dante.Port, svSocks5, saNoAuthentication);
    EXPECT_EQ(ConnectTo("127.0.0.1", target.Port()), "Invalid socks authentication method.");

    // SOCKS 4 cannot carry a password: this server refuses it.
    Configure(dante.Port, svSocks4, saUsernamePassword, dante.User, dante.Password);
    EXPECT_NE(ConnectTo("127.0.0.1", target.Port()), "");
    EXPECT_FALSE(Client.Connected());
}

TEST_F(SocksInteropTest, MicrosocksWithoutAuthentication) {
    const TProxy micro = Proxy("MICROSOCKS");
    testnet::TLoopbackListener target;
    testnet::TRefusingPort closed;

    Configure(micro.Port, svSocks5);
    EXPECT_EQ(ConnectTo("127.0.0.1", target.Port()), "");
    ExpectEndToEnd(target);
    EXPECT_EQ(ConnectTo("LOCALHOST", target.Port()), "");
    ExpectEndToEnd(target);
    EXPECT_EQ(ConnectTo("127.0.0.1", closed.Port()), "Connection refused.");
    EXPECT_FALSE(Client.Connected());
}

TEST_F(SocksInteropTest, MicrosocksWithUserNameAndPassword) {
    const TProxy micro = AuthProxy("MICROSOCKS");
    testnet::TLoopbackListener target;

    Configure(micro.Port, svSocks5, saUsernamePassword, micro.User, micro.Password);
    EXPECT_EQ(ConnectTo("127.0.0.1", target.Port()), "");
    ExpectEndToEnd(target);

    Configure(micro.Port, svSocks5, saUsernamePassword, micro.User, "wrong");
    EXPECT_EQ(ConnectTo("127.0.0.1", target.Port()), "Authentication error to socks server.");
    EXPECT_FALSE(Client.Connected());

    Configure(micro.Port, svSocks5, saNoAuthentication);
    EXPECT_EQ(ConnectTo("127.0.0.1", target.Port()), "Invalid socks authentication method.");

    // The next attempt with the right settings works again on the same client.
    Configure(micro.Port, svSocks5, saUsernamePassword, micro.User, micro.Password);
    EXPECT_EQ(ConnectTo("127.0.0.1", target.Port()), "");
    ExpectEndToEnd(target);
}
