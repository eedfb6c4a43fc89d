#include "net/SocksProtocol.h"
#include "net/SocksExceptions.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

// The requests on their own: lengths, port bytes and boundaries, without a
// connection.

TEST(SocksProtocolTest, RequestLengthsAndPortBytes) {
    const std::string user = "bob";
    const std::string host = "example.test";
    EXPECT_EQ(socks::BuildSocks4Request(9910, {1, 2, 3, 4}, user, std::nullopt).size(), 9 + user.size());
    EXPECT_EQ(socks::BuildSocks4Request(9910, socks::kSocks4AMarker, user, host).size(),
              10 + user.size() + host.size());
    EXPECT_EQ(socks::BuildSocks5Login("alice", "pw").size(), 3u + 5 + 2);
    const TBytes connect = socks::BuildSocks5Connect(host, 9910);
    ASSERT_EQ(connect.size(), 7 + host.size());
    EXPECT_EQ(connect[connect.size() - 2], 0x26);
    EXPECT_EQ(connect.back(), 0xB6);

    // Only the low 16 bits of a port go on the wire: 70000 is 0x11170.
    const TBytes wide = socks::BuildSocks4Request(70000, {1, 2, 3, 4}, "", std::nullopt);
    EXPECT_EQ(wide[2], 0x11);
    EXPECT_EQ(wide[3], 0x70);

    EXPECT_EQ(socks::BuildSocks5Greeting(saNoAuthentication), (TBytes{5, 1, 0}));
    EXPECT_EQ(socks::BuildSocks5Greeting(saUsernamePassword), (TBytes{5, 1, 2}));
}

TEST(SocksProtocolTest, FieldLimits) {
    const std::string fits(255, 'a');
    const std::string over(256, 'a');
    EXPECT_EQ(socks::BuildSocks5Login(fits, fits)[1], 255);
    EXPECT_THROW(socks::BuildSocks5Login(over, ""), ESocksTextTooLong);
    EXPECT_THROW(socks::BuildSocks5Login("", over), ESocksTextTooLong);
    EXPECT_EQ(socks::BuildSocks5Connect(fits, 1)[4], 255);
    EXPECT_THROW(socks::BuildSocks5Connect(over, 1), ESocksTextTooLong);
    // The SOCKS 4 user id is cut instead.
    EXPECT_EQ(socks::BuildSocks4Request(1, {}, over, std::nullopt).size(), 9u + 255);
}

TEST(SocksProtocolTest, ConnectReplyHeadSizesTheRest) {
    using Head = std::array<std::uint8_t, 5>;
    EXPECT_EQ(socks::CheckSocks5ConnectReplyHead(Head{5, 0, 0, 1, 9}), 5u);
    EXPECT_EQ(socks::CheckSocks5ConnectReplyHead(Head{5, 0, 0, 3, 12}), 14u);
    EXPECT_EQ(socks::CheckSocks5ConnectReplyHead(Head{5, 0, 0, 3, 255}), 257u);
    EXPECT_EQ(socks::CheckSocks5ConnectReplyHead(Head{0, 0, 9, 4, 0}), 17u); // version and reserved unchecked
    EXPECT_THROW(socks::CheckSocks5ConnectReplyHead(Head{5, 0, 0, 2, 0}), ESocksUnknownError);
    EXPECT_THROW(socks::CheckSocks5ConnectReplyHead(Head{5, 4, 0, 1, 0}), ESocksServerHostUnreachableError);
}
