#include "net/SocksInfo.h"

#include "net/ClientExceptions.h"
#include "net/IOHandler.h"
#include "platform/net/SocketErrors.h"
#include "platform/net/SocketStack.h"

namespace tavora {

namespace {

// The exchange's view of an IO handler: whole sends, exact-length receives.
class HandlerChannel : public SocksChannel {
public:
    explicit HandlerChannel(IOHandler& handler) : handler_(handler) {}

    void send(std::span<const std::uint8_t> data) override {
        std::size_t sent = 0;
        while (sent < data.size()) {
            const int rc = handler_.send(data.data() + sent, static_cast<int>(data.size() - sent));
            SocketStack::instance("send").checkForSocketError(rc);
            if (rc == 0)
                throw SocketError(WinsockError::Shutdown);
            sent += static_cast<std::size_t>(rc);
        }
    }

    bool receive(std::span<std::uint8_t> buffer) override {
        std::size_t got = 0;
        while (got < buffer.size()) {
            const int rc = handler_.recv(buffer.data() + got, static_cast<int>(buffer.size() - got));
            if (rc <= 0)
                return false; // 0: the proxy closed; -1: failed or out of time
            got += static_cast<std::size_t>(rc);
        }
        return true;
    }

    void enterStage(ConnectStage stage) override { handler_.enterStage(stage); }

private:
    IOHandler& handler_;
};

} // namespace

void SocksInfo::assign(const SocksInfo& source) {
    authentication_ = source.authentication_;
    host_ = source.host_;
    password_ = source.password_;
    port_ = source.port_;
    username_ = source.username_;
    version_ = source.version_;
}

IOHandler& SocksInfo::handler() const {
    if (!ioHandler_)
        throw ClosedSocketError();
    return *ioHandler_;
}

void SocksInfo::negotiateProxy(const std::string& host, int port) {
    switch (version_) {
    case Socks4:
    case Socks4A:
        negotiateSocks4(host, port);
        break;
    case Socks5:
        negotiateSocks5(host, port);
        break;
    default:
        break;
    }
}

void SocksInfo::negotiateSocks4(const std::string& host, int port) {
    const bool socks4A = version_ == Socks4A;
    if (!socks4A)
        handler().enterStage(ConnectStage::ResolveTarget);
    const IPv4Bytes address =
        socks4A ? socks::Socks4AMarker : SocketStack::addressToBytes(handler().resolveHost(host));
    const Bytes request = socks::buildSocks4Request(
        port, address, username_, socks4A ? std::optional<std::string_view>(host) : std::nullopt);
    HandlerChannel channel(handler());
    channel.enterStage(ConnectStage::SocksConnectRequest);
    socks::exchangeSocks4(channel, request);
}

void SocksInfo::negotiateSocks5(const std::string& host, int port) {
    HandlerChannel channel(handler());
    socks::exchangeSocks5(channel, {authentication_, username_, password_, host, port});
}

} // namespace tavora
