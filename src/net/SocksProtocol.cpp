#include "net/SocksProtocol.h"

#include "net/SocksExceptions.h"

#include <array>

namespace tavora {

namespace socks {

namespace {

void appendPort(Bytes& out, int port) {
    out.push_back(static_cast<std::uint8_t>((port >> 8) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(port & 0xFF));
}

void appendText(Bytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

void requireFieldLength(std::string_view text, const char* message) {
    if (text.size() > MaxField)
        throw SocksTextTooLongError(message);
}

template <std::size_t N> std::array<std::uint8_t, N> receiveReply(SocksChannel& channel) {
    std::array<std::uint8_t, N> reply{};
    if (!channel.receive(reply))
        throw SocksServerRespondError();
    return reply;
}

} // namespace

Bytes buildSocks4Request(int port, const IPv4Bytes& address, std::string_view userId,
                          std::optional<std::string_view> host4A) {
    const std::string_view user = userId.substr(0, MaxField);
    Bytes out;
    out.reserve(10 + user.size() + (host4A ? host4A->size() : 0));
    out.push_back(4);
    out.push_back(1);
    appendPort(out, port);
    out.insert(out.end(), address.begin(), address.end());
    appendText(out, user);
    out.push_back(0);
    if (host4A) {
        appendText(out, *host4A);
        out.push_back(0);
    }
    return out;
}

Bytes buildSocks5Greeting(SocksAuthMethod authentication) {
    return {5, 1, static_cast<std::uint8_t>(authentication == UsernamePassword ? 0x02 : 0x00)};
}

Bytes buildSocks5Login(std::string_view username, std::string_view password) {
    requireFieldLength(username, "Socks user name is longer than 255 bytes.");
    requireFieldLength(password, "Socks password is longer than 255 bytes.");
    Bytes out;
    out.reserve(3 + username.size() + password.size());
    out.push_back(1);
    out.push_back(static_cast<std::uint8_t>(username.size()));
    appendText(out, username);
    out.push_back(static_cast<std::uint8_t>(password.size()));
    appendText(out, password);
    return out;
}

Bytes buildSocks5Connect(std::string_view host, int port) {
    requireFieldLength(host, "Target host name is longer than 255 bytes.");
    Bytes out;
    out.reserve(7 + host.size());
    out.insert(out.end(), {5, 1, 0, 3, static_cast<std::uint8_t>(host.size())});
    appendText(out, host);
    appendPort(out, port);
    return out;
}

void checkSocks4Reply(std::span<const std::uint8_t, 8> reply) {
    switch (reply[1]) {
    case 90:
        return;
    case 91:
        throw SocksRequestFailedError();
    case 92:
        throw SocksRequestServerFailedError();
    case 93:
        throw SocksRequestIdentFailedError();
    default:
        throw SocksUnknownError();
    }
}

void checkSocks5MethodReply(std::span<const std::uint8_t, 2> reply, std::uint8_t offeredMethod) {
    if (reply[1] != offeredMethod)
        throw SocksAuthMethodError();
}

void checkSocks5LoginReply(std::span<const std::uint8_t, 2> reply) {
    if (reply[1] != 0)
        throw SocksAuthError();
}

std::size_t checkSocks5ConnectReplyHead(std::span<const std::uint8_t, 5> reply) {
    switch (reply[1]) {
    case 0:
        break;
    case 1:
        throw SocksServerGeneralError();
    case 2:
        throw SocksServerPermissionError();
    case 3:
        throw SocksServerNetUnreachableError();
    case 4:
        throw SocksServerHostUnreachableError();
    case 5:
        throw SocksServerConnectionRefusedError();
    case 6:
        throw SocksServerTTLExpiredError();
    case 7:
        throw SocksServerCommandError();
    case 8:
        throw SocksServerAddressError();
    default:
        throw SocksUnknownError();
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
        throw SocksUnknownError();
    }
}

void exchangeSocks4(SocksChannel& channel, std::span<const std::uint8_t> request) {
    channel.send(request);
    const auto reply = receiveReply<8>(channel);
    checkSocks4Reply(reply);
}

void exchangeSocks5(SocksChannel& channel, const Socks5Request& request) {
    const bool login = request.authentication == UsernamePassword;
    // Build everything first so that a text that does not fit fails the
    // attempt before the proxy has seen a byte.
    const Bytes greeting = buildSocks5Greeting(request.authentication);
    const Bytes loginRequest = login ? buildSocks5Login(request.username, request.password) : Bytes{};
    const Bytes connect = buildSocks5Connect(request.host, request.port);

    channel.enterStage(ConnectStage::SocksGreeting);
    channel.send(greeting);
    checkSocks5MethodReply(receiveReply<2>(channel), greeting[2]);

    if (login) {
        channel.enterStage(ConnectStage::SocksAuthentication);
        channel.send(loginRequest);
        checkSocks5LoginReply(receiveReply<2>(channel));
    }

    channel.enterStage(ConnectStage::SocksConnectRequest);
    channel.send(connect);
    const auto head = receiveReply<5>(channel);
    const std::size_t rest = checkSocks5ConnectReplyHead(head);
    std::array<std::uint8_t, 255 + 2> tail{};
    if (!channel.receive(std::span(tail.data(), rest)))
        throw SocksServerRespondError();
}

} // namespace socks

} // namespace tavora
