#include "net/SocksProtocol.h"

#include "net/SocksExceptions.h"

#include <array>

namespace socks {

namespace {

void AppendPort(TBytes& out, int port) {
    out.push_back(static_cast<std::uint8_t>((port >> 8) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(port & 0xFF));
}

void AppendText(TBytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

void RequireFieldLength(std::string_view text, const char* message) {
    if (text.size() > kMaxField)
        throw ESocksTextTooLong(message);
}

template <std::size_t N> std::array<std::uint8_t, N> ReceiveReply(TSocksChannel& channel) {
    std::array<std::uint8_t, N> reply{};
    if (!channel.Receive(reply))
        throw ESocksServerRespondError();
    return reply;
}

} // namespace

TBytes BuildSocks4Request(int port, const TIPv4Bytes& address, std::string_view userId,
                          std::optional<std::string_view> host4A) {
    const std::string_view user = userId.substr(0, kMaxField);
    TBytes out;
    out.reserve(10 + user.size() + (host4A ? host4A->size() : 0));
    out.push_back(4);
    out.push_back(1);
    AppendPort(out, port);
    out.insert(out.end(), address.begin(), address.end());
    AppendText(out, user);
    out.push_back(0);
    if (host4A) {
        AppendText(out, *host4A);
        out.push_back(0);
    }
    return out;
}

TBytes BuildSocks5Greeting(TSocksAuthentication authentication) {
    return {5, 1, static_cast<std::uint8_t>(authentication == saUsernamePassword ? 0x02 : 0x00)};
}

TBytes BuildSocks5Login(std::string_view username, std::string_view password) {
    RequireFieldLength(username, "Socks user name is longer than 255 bytes.");
    RequireFieldLength(password, "Socks password is longer than 255 bytes.");
    TBytes out;
    out.reserve(3 + username.size() + password.size());
    out.push_back(1);
    out.push_back(static_cast<std::uint8_t>(username.size()));
    AppendText(out, username);
    out.push_back(static_cast<std::uint8_t>(password.size()));
    AppendText(out, password);
    return out;
}

TBytes BuildSocks5Connect(std::string_view host, int port) {
    RequireFieldLength(host, "Target host name is longer than 255 bytes.");
    TBytes out;
    out.reserve(7 + host.size());
    out.insert(out.end(), {5, 1, 0, 3, static_cast<std::uint8_t>(host.size())});
    AppendText(out, host);
    AppendPort(out, port);
    return out;
}

void CheckSocks4Reply(std::span<const std::uint8_t, 8> reply) {
    switch (reply[1]) {
    case 90:
        return;
    case 91:
        throw ESocksRequestFailed();
    case 92:
        throw ESocksRequestServerFailed();
    case 93:
        throw ESocksRequestIdentFailed();
    default:
        throw ESocksUnknownError();
    }
}

void CheckSocks5MethodReply(std::span<const std::uint8_t, 2> reply, std::uint8_t offeredMethod) {
    if (reply[1] != offeredMethod)
        throw ESocksAuthMethodError();
}

void CheckSocks5LoginReply(std::span<const std::uint8_t, 2> reply) {
    if (reply[1] != 0)
        throw ESocksAuthError();
}

std::size_t CheckSocks5ConnectReplyHead(std::span<const std::uint8_t, 5> reply) {
    switch (reply[1]) {
    case 0:
        break;
    case 1:
        throw ESocksServerGeneralError();
    case 2:
        throw ESocksServerPermissionError();
    case 3:
        throw ESocksServerNetUnreachableError();
    case 4:
        throw ESocksServerHostUnreachableError();
    case 5:
        throw ESocksServerConnectionRefusedError();
    case 6:
        throw ESocksServerTTLExpiredError();
    case 7:
        throw ESocksServerCommandError();
    case 8:
        throw ESocksServerAddressError();
    default:
        throw ESocksUnknownError();
    }
    // The fifth byte is the first of the bound address (the name length for
    // type 3); what follows is the rest of the address and the port.
    switch (reply[3]) {
    case 1:
        return 3 + 2;
    case 3:
        return std::size_t{reply[4]} + 2;
    case 4:
        return 15 + 2;
    default:
        // Without a known address type the reply cannot be sized, so where
        // the connection's own data would begin is unknown: refuse it.
        throw ESocksUnknownError();
    }
}

void ExchangeSocks4(TSocksChannel& channel, std::span<const std::uint8_t> request) {
    channel.Send(request);
    const auto reply = ReceiveReply<8>(channel);
    CheckSocks4Reply(reply);
}

void ExchangeSocks5(TSocksChannel& channel, const TSocks5Request& request) {
    const bool login = request.Authentication == saUsernamePassword;
    // Build everything first so that a text that does not fit fails the
    // attempt before the proxy has seen a byte.
    const TBytes greeting = BuildSocks5Greeting(request.Authentication);
    const TBytes loginRequest = login ? BuildSocks5Login(request.Username, request.Password) : TBytes{};
    const TBytes connect = BuildSocks5Connect(request.Host, request.Port);

    channel.EnterStage(TConnectStage::SocksGreeting);
    channel.Send(greeting);
    CheckSocks5MethodReply(ReceiveReply<2>(channel), greeting[2]);

    if (login) {
        channel.EnterStage(TConnectStage::SocksAuthentication);
        channel.Send(loginRequest);
        CheckSocks5LoginReply(ReceiveReply<2>(channel));
    }

    channel.EnterStage(TConnectStage::SocksConnectRequest);
    channel.Send(connect);
    const auto head = ReceiveReply<5>(channel);
    const std::size_t rest = CheckSocks5ConnectReplyHead(head);
    std::array<std::uint8_t, 255 + 2> tail{};
    if (!channel.Receive(std::span(tail.data(), rest)))
        throw ESocksServerRespondError();
}

} // namespace socks
