#pragma once

#include "net/SocksProtocol.h"
#include "platform/net/NetComponent.h"

#include <string>

namespace tavora {

class IOHandler;

// SOCKS proxy settings of one IO handler, and the exchange with the proxy
// once the handler has connected to it.
class SocksInfo : public NetComponent {
public:
    SocksInfo() = default;

    // Copies Authentication, Host, Password, Port, Username and Version (not
    // the IO handler reference).
    void assign(const SocksInfo& source);

    SocksVersion version() const { return version_; }
    void setVersion(SocksVersion version) { version_ = version; }
    const std::string& host() const { return host_; }
    void setHost(const std::string& host) { host_ = host; }
    int port() const { return port_; }
    void setPort(int port) { port_ = port; }
    SocksAuthMethod authentication() const { return authentication_; }
    void setAuthentication(SocksAuthMethod authentication) { authentication_ = authentication; }
    const std::string& username() const { return username_; }
    void setUsername(const std::string& username) { username_ = username; }
    const std::string& password() const { return password_; }
    void setPassword(const std::string& password) { password_ = password; }

    // The handler the exchange sends and receives through; set by the handler
    // that holds this object, which outlives it.
    IOHandler* ioHandler() const { return ioHandler_; }
    void setIOHandler(IOHandler* handler) { ioHandler_ = handler; }

    // Asks the proxy, over the fresh connection to it, to connect on to
    // host:port. Does nothing unless Version is SOCKS 4, 4A or 5.
    void negotiateProxy(const std::string& host, int port);
    // SOCKS 4 resolves the host here and sends its address; 4A sends the text.
    void negotiateSocks4(const std::string& host, int port);
    void negotiateSocks5(const std::string& host, int port);

private:
    IOHandler& handler() const;

    SocksVersion version_ = NoSocks;
    std::string host_;
    int port_ = 1080;
    SocksAuthMethod authentication_ = NoAuthentication;
    std::string username_;
    std::string password_;
    IOHandler* ioHandler_ = nullptr;
};

} // namespace tavora
