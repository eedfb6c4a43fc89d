#pragma once

#include "net/SocksProtocol.h"
#include "platform/net/Component.h"

#include <string>

class TIOHandler;

// SOCKS proxy settings of one IO handler, and the exchange with the proxy
// once the handler has connected to it.
class TSocksInfo : public TNetComponent {
public:
    explicit TSocksInfo(TComponent* owner = nullptr);

    // Copies Authentication, Host, Password, Port, Username and Version (not
    // the IO handler reference).
    void Assign(const TSocksInfo& source);

    TSocksVersion Version() const { return Version_; }
    void SetVersion(TSocksVersion version) { Version_ = version; }
    const std::string& Host() const { return Host_; }
    void SetHost(const std::string& host) { Host_ = host; }
    int Port() const { return Port_; }
    void SetPort(int port) { Port_ = port; }
    TSocksAuthentication Authentication() const { return Authentication_; }
    void SetAuthentication(TSocksAuthentication authentication) { Authentication_ = authentication; }
    const std::string& Username() const { return Username_; }
    void SetUsername(const std::string& username) { Username_ = username; }
    const std::string& Password() const { return Password_; }
    void SetPassword(const std::string& password) { Password_ = password; }

    // The handler the exchange sends and receives through; set by the handler
    // that this object is attached to.
    TIOHandler* IOHandler() const { return IOHandler_; }
    void SetIOHandler(TIOHandler* handler) { IOHandler_ = handler; }

    // Asks the proxy, over the fresh connection to it, to connect on to
    // host:port. Does nothing unless Version is SOCKS 4, 4A or 5.
    void NegotiateProxy(const std::string& host, int port);
    // SOCKS 4 resolves the host here and sends its address; 4A sends the text.
    void NegotiateSocks4(const std::string& host, int port);
    void NegotiateSocks5(const std::string& host, int port);

private:
    TIOHandler& Handler() const;

    TSocksVersion Version_ = svNoSocks;
    std::string Host_;
    int Port_ = 1080;
    TSocksAuthentication Authentication_ = saNoAuthentication;
    std::string Username_;
    std::string Password_;
    TIOHandler* IOHandler_ = nullptr;
};
