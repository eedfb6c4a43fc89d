#include "platform/net/SocketStack.h"
#include "platform/net/NetComponent.h"
#include "platform/net/NetExceptions.h"
#include "platform/net/SocketErrors.h"

#include "platform/net/TableLookup.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <netdb.h>
#include <string>
#include <vector>

using namespace tavora;

namespace {

// Keeps the socket layer alive and answers name lookups from a table, so no
// query ever leaves the machine.
class SocketStackTest : public ::testing::Test {
protected:
    void SetUp() override { testnet::installTableLookup(lookups_); }
    SocketStack& stack() { return SocketStack::instance("test"); }

    NetComponent keepAlive_;
    std::vector<std::string> lookups_;
};

template <typename Fn> std::string messageOf(Fn fn) {
    try {
        fn();
    } catch (const NetException& e) {
        return e.what();
    }
    return "(nothing raised)";
}

} // namespace

TEST(DottedAddressTest, AcceptsFourDecimalOctetsOnly) {
    for (const char* text : {"1.2.3.4", "0.0.0.0", "255.255.255.255", "127.0.0.1", "001.002.003.004"})
        EXPECT_TRUE(SocketStack::isIP(text)) << text;
    for (const char* text :
         {"1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.256", "localhost", "", "1..2.3", "1.2.3.", ".1.2.3",
          "1.2.3.-4", " 1.2.3.4", "1.2.3.4 ", "1.2.3.4x", "a.b.c.d", "99999999999.1.1.1"})
        EXPECT_FALSE(SocketStack::isIP(text)) << text;
}

TEST(DottedAddressTest, ConvertsBetweenTextAndNetworkOrderBytes) {
    EXPECT_EQ(SocketStack::addressToBytes("127.0.0.5"), (IPv4Bytes{127, 0, 0, 5}));
    EXPECT_EQ(SocketStack::addressToBytes("0.0.0.1"), (IPv4Bytes{0, 0, 0, 1}));
    EXPECT_EQ(SocketStack::bytesToAddress({127, 168, 255, 0}), "127.168.255.0");
    EXPECT_THROW(SocketStack::addressToBytes("1.2.3"), SocketError);
}

TEST_F(SocketStackTest, LocalhostInAnyCaseNeedsNoLookup) {
    for (const char* name : {"localhost", "LOCALHOST", "LocalHost", "lOcAlHoSt"})
        EXPECT_EQ(stack().resolveHost(name), "127.0.0.1") << name;
    EXPECT_TRUE(lookups_.empty());
}

TEST_F(SocketStackTest, DottedTextIsItselfAndNamesGoToTheLookup) {
    EXPECT_EQ(stack().resolveHost("192.0.2.7"), "192.0.2.7");
    EXPECT_TRUE(lookups_.empty());
    EXPECT_EQ(stack().resolveHost("classroom.test"), "127.0.0.5");
    // Not an address, so it is a name for the lookup.
    EXPECT_THROW(stack().resolveHost("256.1.1.1"), SocketError);
    EXPECT_EQ(lookups_, (std::vector<std::string>{"classroom.test", "256.1.1.1"}));
}

TEST_F(SocketStackTest, UnknownHostRaisesHostNotFound) {
    try {
        stack().resolveHost("nowhere.test");
        FAIL() << "no exception";
    } catch (const SocketError& e) {
        EXPECT_EQ(e.errorCode(), 11001);
        EXPECT_STREQ(e.what(), "Socket Error # 11001\r\nHost not found.");
    }
    EXPECT_EQ(stack().lastError(), 11001);
}

TEST_F(SocketStackTest, ErrorCheckRaisesStoresOrIgnores) {
    EXPECT_FALSE(stack().checkForSocketError(0));
    EXPECT_FALSE(stack().checkForSocketError(17));

    SocketStack::recordPlatformError(10038);
    EXPECT_TRUE(stack().checkForSocketError(-1, {10009, 10038}));
    EXPECT_EQ(stack().lastError(), 10038);

    SocketStack::recordPlatformError(10061);
    EXPECT_EQ(messageOf([&] {
                  stack().checkForSocketError(-1, {10009, 10038});
              }),
              "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(stack().lastError(), 10061);
}

TEST(SocketErrorTextTest, TableEntriesAndUnknownNumbers) {
    EXPECT_EQ(socketErrorText(10004), "Interrupted system call.");
    EXPECT_EQ(socketErrorText(10035), "Operation would block. ");
    EXPECT_EQ(socketErrorText(10047), "Address family not supported by protocol family.");
    EXPECT_EQ(socketErrorText(10060), "Connection timed out.");
    EXPECT_EQ(socketErrorText(10066), "Directory not empty");
    EXPECT_EQ(socketErrorText(11001), "Host not found.");
    for (int number : {0, 10000, 10067, 10093, 11002, -1, 61})
        EXPECT_EQ(socketErrorText(number), "") << number;
    EXPECT_STREQ(SocketError(11002).what(), "Socket Error # 11002\r\n");
}

TEST(SocketErrorTextTest, LinuxErrorsMapOntoWindowsSocketsNumbers) {
    EXPECT_EQ(winsockErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(winsockErrorFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(winsockErrorFromErrno(ENETUNREACH), 10051);
    EXPECT_EQ(winsockErrorFromErrno(EHOSTUNREACH), 10065);
    EXPECT_EQ(winsockErrorFromErrno(EADDRINUSE), 10048);
    EXPECT_EQ(winsockErrorFromErrno(EADDRNOTAVAIL), 10049);
    EXPECT_EQ(winsockErrorFromErrno(EBADF), 10009);
    EXPECT_EQ(winsockErrorFromErrno(ENOTSOCK), 10038);
    EXPECT_EQ(winsockErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(winsockErrorFromErrno(EPIPE), 10058);
    // ENODATA is 61 on Linux: it must not become 10061 "Connection refused.".
    EXPECT_EQ(winsockErrorFromErrno(ENODATA), ENODATA);
    EXPECT_EQ(socketErrorText(winsockErrorFromErrno(ENODATA)), "");

    EXPECT_EQ(winsockErrorFromLookup(EAI_NONAME, 0), 11001);
    EXPECT_EQ(winsockErrorFromLookup(EAI_AGAIN, 0), 11002);
    EXPECT_EQ(winsockErrorFromLookup(EAI_FAIL, 0), 11003);
    EXPECT_EQ(winsockErrorFromLookup(EAI_SYSTEM, ENETUNREACH), 10051);
}

TEST(NetExceptionTest, FixedMessagesAndCommonBase) {
    EXPECT_STREQ(InvalidSocketError().what(), "Cannot allocate socket.");
    EXPECT_STREQ(CouldNotBindSocketError().what(), "Could not bind socket. Address and port are already in use.");
    EXPECT_STREQ(SocketStackInitializationFailedError().what(), "Winsock Initialization Error.");
    EXPECT_STREQ(EWS2StubError::loadFailed("libc.so.6", 2).what(),
                 "Error on loading Winsock2 library (libc.so.6)");
    const auto call = EWS2StubError::callFailed("socket");
    EXPECT_STREQ(call.what(), "Error on call Winsock2 library function socket");
    EXPECT_EQ(call.errorCode(), 10093);

    // Catching the family base catches them all.
    EXPECT_THROW(throw CouldNotBindSocketError(), SocketHandleError);
    EXPECT_THROW(throw CouldNotBindSocketError(), NetException);
    EXPECT_THROW(throw SocketStackInitializationFailedError(), SocketStackError);
    EXPECT_THROW(throw SocketError(10061), std::exception);
}
