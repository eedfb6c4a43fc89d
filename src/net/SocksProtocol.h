#pragma once

#include "net/ConnectStage.h"

// The SOCKS 4 / 4A / 5 client exchange, kept free of sockets: requests are
// built into byte vectors, replies are checked from byte spans, and the
// exchange runs over a SocksChannel. So the whole exchange can be driven from
// a byte string (tests, fuzzing) as well as over a real connection.

#include "platform/net/SocketStack.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tavora {

enum SocksVersion : std::uint8_t { NoSocks = 0, Socks4 = 1, Socks4A = 2, Socks5 = 3 };
enum SocksAuthMethod : std::uint8_t { NoAuthentication = 0, UsernamePassword = 1 };

using Bytes = std::vector<std::uint8_t>;

// The connection to the proxy as the exchange sees it.
class SocksChannel {
public:
    virtual ~SocksChannel() = default;
    // Sends all bytes or raises.
    virtual void send(std::span<const std::uint8_t> data) = 0;
    // Fills `buffer` completely; false when the proxy closed the connection,
    // the receive failed or the time ran out first.
    virtual bool receive(std::span<std::uint8_t> buffer) = 0;
    // The exchange is entering `stage`.
    virtual void enterStage(ConnectStage) {}
};

namespace socks {

inline constexpr std::size_t MaxField = 255;
inline constexpr IPv4Bytes Socks4AMarker{0, 0, 0, 1};

// version 4, command 1, port, address, user id (cut to 255 bytes), 0, and for
// 4A the host text and 0.
Bytes buildSocks4Request(int port, const IPv4Bytes& address, std::string_view userId,
                          std::optional<std::string_view> host4A);
// version 5, one method: 0x00 or 0x02.
Bytes buildSocks5Greeting(SocksAuthMethod authentication);
// RFC 1929: version 1, user name, password. SocksTextTooLongError over 255 bytes.
Bytes buildSocks5Login(std::string_view username, std::string_view password);
// CONNECT by domain name (type 3), also for dotted texts. SocksTextTooLongError
// for a host over 255 bytes.
Bytes buildSocks5Connect(std::string_view host, int port);

// Reply checks: return normally for success, raise the exception of the code.
void checkSocks4Reply(std::span<const std::uint8_t, 8> reply);
void checkSocks5MethodReply(std::span<const std::uint8_t, 2> reply, std::uint8_t offeredMethod);
void checkSocks5LoginReply(std::span<const std::uint8_t, 2> reply);
// Checks the first five bytes of a CONNECT reply and returns how many bytes of
// it are still to come (bound address and port).
std::size_t checkSocks5ConnectReplyHead(std::span<const std::uint8_t, 5> reply);

// Request, then the full 8-byte reply.
void exchangeSocks4(SocksChannel& channel, std::span<const std::uint8_t> request);

struct Socks5Request {
    SocksAuthMethod authentication = NoAuthentication;
    std::string_view username;
    std::string_view password;
    std::string_view host;
    int port = 0;
};
// Greeting, method reply, optional login, CONNECT, and the whole reply read.
// All texts are checked before the first byte goes out.
void exchangeSocks5(SocksChannel& channel, const Socks5Request& request);

} // namespace socks

} // namespace tavora
