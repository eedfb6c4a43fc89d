#pragma once

#include "net/ConnectStage.h"

// The SOCKS 4 / 4A / 5 client exchange, kept free of sockets: requests are
// built into byte vectors, replies are checked from byte spans, and the
// exchange runs over a TSocksChannel. So the whole exchange can be driven from
// a byte string (tests, fuzzing) as well as over a real connection.

#include "platform/net/SocketStack.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

enum TSocksVersion : std::uint8_t { svNoSocks = 0, svSocks4 = 1, svSocks4A = 2, svSocks5 = 3 };
enum TSocksAuthentication : std::uint8_t { saNoAuthentication = 0, saUsernamePassword = 1 };

using TBytes = std::vector<std::uint8_t>;

// The connection to the proxy as the exchange sees it.
class TSocksChannel {
public:
    virtual ~TSocksChannel() = default;
    // Sends all bytes or raises.
    virtual void Send(std::span<const std::uint8_t> data) = 0;
    // Fills `buffer` completely; false when the proxy closed the connection,
    // the receive failed or the time ran out first.
    virtual bool Receive(std::span<std::uint8_t> buffer) = 0;
    // The exchange is entering `stage`.
    virtual void EnterStage(TConnectStage) {}
};

namespace socks {

inline constexpr std::size_t kMaxField = 255;
inline constexpr TIPv4Bytes kSocks4AMarker{0, 0, 0, 1};

// version 4, command 1, port, address, user id (cut to 255 bytes), 0, and for
// 4A the host text and 0.
TBytes BuildSocks4Request(int port, const TIPv4Bytes& address, std::string_view userId,
                          std::optional<std::string_view> host4A);
// version 5, one method: 0x00 or 0x02.
TBytes BuildSocks5Greeting(TSocksAuthentication authentication);
// RFC 1929: version 1, user name, password. ESocksTextTooLong over 255 bytes.
TBytes BuildSocks5Login(std::string_view username, std::string_view password);
// CONNECT by domain name (type 3), also for dotted texts. ESocksTextTooLong
// for a host over 255 bytes.
TBytes BuildSocks5Connect(std::string_view host, int port);

// Reply checks: return normally for success, raise the exception of the code.
void CheckSocks4Reply(std::span<const std::uint8_t, 8> reply);
void CheckSocks5MethodReply(std::span<const std::uint8_t, 2> reply, std::uint8_t offeredMethod);
void CheckSocks5LoginReply(std::span<const std::uint8_t, 2> reply);
// Checks the first five bytes of a CONNECT reply and returns how many bytes of
// it are still to come (bound address and port).
std::size_t CheckSocks5ConnectReplyHead(std::span<const std::uint8_t, 5> reply);

// Request, then the full 8-byte reply.
void ExchangeSocks4(TSocksChannel& channel, std::span<const std::uint8_t> request);

struct TSocks5Request {
    TSocksAuthentication Authentication = saNoAuthentication;
    std::string_view Username;
    std::string_view Password;
    std::string_view Host;
    int Port = 0;
};
// Greeting, method reply, optional login, CONNECT, and the whole reply read.
// All texts are checked before the first byte goes out.
void ExchangeSocks5(TSocksChannel& channel, const TSocks5Request& request);

} // namespace socks
