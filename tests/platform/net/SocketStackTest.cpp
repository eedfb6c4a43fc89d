#include "platform/net/SocketStack.h"
#include "platform/net/Component.h"
#include "platform/net/NetExceptions.h"
#include "platform/net/SocketErrors.h"

#include "platform/net/TableLookup.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <netdb.h>
#include <string>
#include <vector>

namespace {

// Keeps the socket layer alive and answers name lookups from a table, so no
// query ever leaves the machine.
class SocketStackTest : public ::testing::Test {
protected:
    void SetUp() override { testnet::InstallTableLookup(Lookups); }
    TSocketStack& Stack() { return TSocketStack::Instance("test"); }

    TNetComponent KeepAlive;
    std::vector<std::string> Lookups;
};

template <typename Fn> std::string MessageOf(Fn fn) {
    try {
        fn();
    } catch (const ENetException& e) {
        return e.what();
    }
    return "(nothing raised)";
}

} // namespace

TEST(DottedAddressTest, AcceptsFourDecimalOctetsOnly) {
    for (const char* text : {"1.2.3.4", "0.0.0.0", "255.255.255.255", "127.0.0.1", "001.002.003.004"})
        EXPECT_TRUE(TSocketStack::IsIP(text)) << text;
    for (const char* text :
         {"1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.256", "localhost", "", "1..2.3", "1.2.3.", ".1.2.3",
          "1.2.3.-4", " 1.2.3.4", "1.2.3.4 ", "1.2.3.4x", "a.b.c.d", "99999999999.1.1.1"})
        EXPECT_FALSE(TSocketStack::IsIP(text)) << text;
}

TEST(DottedAddressTest, ConvertsBetweenTextAndNetworkOrderBytes) {
    EXPECT_EQ(TSocketStack::AddressToBytes("127.0.0.5"), (TIPv4Bytes{127, 0, 0, 5}));
    EXPECT_EQ(TSocketStack::AddressToBytes("0.0.0.1"), (TIPv4Bytes{0, 0, 0, 1}));
    EXPECT_EQ(TSocketStack::BytesToAddress({127, 168, 255, 0}), "127.168.255.0");
    EXPECT_THROW(TSocketStack::AddressToBytes("1.2.3"), ESocketError);
}

TEST_F(SocketStackTest, LocalhostInAnyCaseNeedsNoLookup) {
    for (const char* name : {"localhost", "LOCALHOST", "LocalHost", "lOcAlHoSt"})
        EXPECT_EQ(Stack().ResolveHost(name), "127.0.0.1") << name;
    EXPECT_TRUE(Lookups.empty());
}

TEST_F(SocketStackTest, DottedTextIsItselfAndNamesGoToTheLookup) {
    EXPECT_EQ(Stack().ResolveHost("192.0.2.7"), "192.0.2.7");
    EXPECT_TRUE(Lookups.empty());
    EXPECT_EQ(Stack().ResolveHost("classroom.test"), "127.0.0.5");
    // Not an address, so it is a name for the lookup.
    EXPECT_THROW(Stack().ResolveHost("256.1.1.1"), ESocketError);
    EXPECT_EQ(Lookups, (std::vector<std::string>{"classroom.test", "256.1.1.1"}));
}

TEST_F(SocketStackTest, UnknownHostRaisesHostNotFound) {
    try {
        Stack().ResolveHost("nowhere.test");
        FAIL() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.ErrorCode(), 11001);
        EXPECT_STREQ(e.what(), "Socket Error # 11001\r\nHost not found.");
    }
    EXPECT_EQ(Stack().LastError(), 11001);
}

TEST_F(SocketStackTest, ErrorCheckRaisesStoresOrIgnores) {
    EXPECT_FALSE(Stack().CheckForSocketError(0));
    EXPECT_FALSE(Stack().CheckForSocketError(17));

    TSocketStack::RecordPlatformError(10038);
    EXPECT_TRUE(Stack().CheckForSocketError(-1, {10009, 10038}));
    EXPECT_EQ(Stack().LastError(), 10038);

    TSocketStack::RecordPlatformError(10061);
    EXPECT_EQ(MessageOf([&] {
                  Stack().CheckForSocketError(-1, {10009, 10038});
              }),
              "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(Stack().LastError(), 10061);
}

TEST(SocketErrorTextTest, TableEntriesAndUnknownNumbers) {
    EXPECT_EQ(SocketErrorText(10004), "Interrupted system call.");
    EXPECT_EQ(SocketErrorText(10035), "Operation would block. ");
    EXPECT_EQ(SocketErrorText(10047), "Address family not supported by protocol family.");
    EXPECT_EQ(SocketErrorText(10060), "Connection timed out.");
    EXPECT_EQ(SocketErrorText(10066), "Directory not empty");
    EXPECT_EQ(SocketErrorText(11001), "Host not found.");
    for (int number : {0, 10000, 10067, 10093, 11002, -1, 61})
        EXPECT_EQ(SocketErrorText(number), "") << number;
    EXPECT_STREQ(ESocketError(11002).what(), "Socket Error # 11002\r\n");
}

TEST(SocketErrorTextTest, LinuxErrorsMapOntoWindowsSocketsNumbers) {
    EXPECT_EQ(WinsockErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(WinsockErrorFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(WinsockErrorFromErrno(ENETUNREACH), 10051);
    EXPECT_EQ(WinsockErrorFromErrno(EHOSTUNREACH), 10065);
    EXPECT_EQ(WinsockErrorFromErrno(EADDRINUSE), 10048);
    EXPECT_EQ(WinsockErrorFromErrno(EADDRNOTAVAIL), 10049);
    EXPECT_EQ(WinsockErrorFromErrno(EBADF), 10009);
    EXPECT_EQ(WinsockErrorFromErrno(ENOTSOCK), 10038);
    EXPECT_EQ(WinsockErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(WinsockErrorFromErrno(EPIPE), 10058);
    // ENODATA is 61 on Linux: it must not become 10061 "Connection refused.".
    EXPECT_EQ(WinsockErrorFromErrno(ENODATA), ENODATA);
    EXPECT_EQ(SocketErrorText(WinsockErrorFromErrno(ENODATA)), "");

    EXPECT_EQ(WinsockErrorFromLookup(EAI_NONAME, 0), 11001);
    EXPECT_EQ(WinsockErrorFromLookup(EAI_AGAIN, 0), 11002);
    EXPECT_EQ(WinsockErrorFromLookup(EAI_FAIL, 0), 11003);
    EXPECT_EQ(WinsockErrorFromLookup(EAI_SYSTEM, ENETUNREACH), 10051);
}

TEST(NetExceptionTest, FixedMessagesAndCommonBase) {
    EXPECT_STREQ(EInvalidSocket().what(), "Cannot allocate socket.");
    EXPECT_STREQ(ECouldNotBindSocket().what(), "Could not bind socket. Address and port are already in use.");
    EXPECT_STREQ(ESocketStackInitializationFailed().what(), "Winsock Initialization Error.");
    EXPECT_STREQ(EWS2StubError::LoadFailed("libc.so.6", 2).what(),
                 "Error on loading Winsock2 library (libc.so.6)");
    const auto call = EWS2StubError::CallFailed("socket");
    EXPECT_STREQ(call.what(), "Error on call Winsock2 library function socket");
    EXPECT_EQ(call.ErrorCode(), 10093);

    // Catching the family base catches them all.
    EXPECT_THROW(throw ECouldNotBindSocket(), ESocketHandleError);
    EXPECT_THROW(throw ECouldNotBindSocket(), ENetException);
    EXPECT_THROW(throw ESocketStackInitializationFailed(), ESocketStackError);
    EXPECT_THROW(throw ESocketError(10061), std::exception);
}
