#include "net/SocksInfo.h"

#include "net/ClientExceptions.h"
#include "net/IOHandler.h"
#include "platform/net/SocketErrors.h"
#include "platform/net/SocketStack.h"

namespace {

// The exchange's view of an IO handler: whole sends, exact-length receives.
class THandlerChannel : public TSocksChannel {
public:
    explicit THandlerChannel(TIOHandler& handler) : Handler_(handler) {}

    void Send(std::span<const std::uint8_t> data) override {
        std::size_t sent = 0;
        while (sent < data.size()) {
            const int rc = Handler_.Send(data.data() + sent, static_cast<int>(data.size() - sent));
            TSocketStack::Instance("send").CheckForSocketError(rc);
            if (rc == 0)
                throw ESocketError(WinsockError::Shutdown);
            sent += static_cast<std::size_t>(rc);
        }
    }

    bool Receive(std::span<std::uint8_t> buffer) override {
        std::size_t got = 0;
        while (got < buffer.size()) {
            const int rc = Handler_.Recv(buffer.data() + got, static_cast<int>(buffer.size() - got));
            if (rc <= 0)
                return false; // 0: the proxy closed; -1: failed or out of time
            got += static_cast<std::size_t>(rc);
        }
        return true;
    }

    void EnterStage(TConnectStage stage) override { Handler_.EnterStage(stage); }

private:
    TIOHandler& Handler_;
};

} // namespace

TSocksInfo::TSocksInfo(TComponent* owner) : TNetComponent(owner) {}

void TSocksInfo::Assign(const TSocksInfo& source) {
    Authentication_ = source.Authentication_;
    Host_ = source.Host_;
    Password_ = source.Password_;
    Port_ = source.Port_;
    Username_ = source.Username_;
    Version_ = source.Version_;
}

TIOHandler& TSocksInfo::Handler() const {
    if (!IOHandler_)
        throw EClosedSocket();
    return *IOHandler_;
}

void TSocksInfo::NegotiateProxy(const std::string& host, int port) {
    switch (Version_) {
    case svSocks4:
    case svSocks4A:
        NegotiateSocks4(host, port);
        break;
    case svSocks5:
        NegotiateSocks5(host, port);
        break;
    default:
        break;
    }
}

void TSocksInfo::NegotiateSocks4(const std::string& host, int port) {
    const bool socks4A = Version_ == svSocks4A;
    if (!socks4A)
        Handler().EnterStage(TConnectStage::ResolveTarget);
    const TIPv4Bytes address =
        socks4A ? socks::kSocks4AMarker
                : TSocketStack::AddressToBytes(TSocketStack::Instance("gethostbyname").ResolveHost(host));
    const TBytes request = socks::BuildSocks4Request(
        port, address, Username_, socks4A ? std::optional<std::string_view>(host) : std::nullopt);
    THandlerChannel channel(Handler());
    channel.EnterStage(TConnectStage::SocksConnectRequest);
    socks::ExchangeSocks4(channel, request);
}

void TSocksInfo::NegotiateSocks5(const std::string& host, int port) {
    THandlerChannel channel(Handler());
    socks::ExchangeSocks5(channel, {Authentication_, Username_, Password_, host, port});
}
