#include "net/SocksProtocol.h"
#include "net/SocksExceptions.h"

#include <gtest/gtest.h>

#include <array>

using namespace tavora;

// What the exchanges through the scripted proxy do not reach: ports above
// 16 bits and the largest reply the exchange has to size.

TEST(SocksProtocolTest, OnlyTheLowSixteenBitsOfAPortGoOnTheWire) {
    // 70000 is 0x11170.
    const Bytes socks4 = socks::buildSocks4Request(70000, {1, 2, 3, 4}, "", std::nullopt);
    EXPECT_EQ(socks4[2], 0x11);
    EXPECT_EQ(socks4[3], 0x70);
    const Bytes socks5 = socks::buildSocks5Connect("h", 70000);
    EXPECT_EQ(socks5[socks5.size() - 2], 0x11);
    EXPECT_EQ(socks5.back(), 0x70);
}

TEST(SocksProtocolTest, ConnectReplyHeadSizesTheRest) {
    using Head = std::array<std::uint8_t, 5>;
    EXPECT_EQ(socks::checkSocks5ConnectReplyHead(Head{5, 0, 0, 1, 9}), 5u);
    EXPECT_EQ(socks::checkSocks5ConnectReplyHead(Head{5, 0, 0, 3, 255}), 257u);
    EXPECT_EQ(socks::checkSocks5ConnectReplyHead(Head{0, 0, 9, 4, 0}), 17u); // version, reserved unchecked
    EXPECT_THROW(socks::checkSocks5ConnectReplyHead(Head{5, 0, 0, 2, 0}), SocksUnknownError);
}
