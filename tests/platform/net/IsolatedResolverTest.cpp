// Runs the system's name lookup with unknown names. It must run in a network
// namespace of its own (see CMakeLists.txt), where no query can leave the
// machine; anywhere else it skips itself.

#include "platform/net/NetComponent.h"
#include "platform/net/NetExceptions.h"
#include "platform/net/SocketStack.h"

#include <gtest/gtest.h>

#include <ifaddrs.h>
#include <net/if.h>
#include <string>

using namespace tavora;

namespace {

// True when the only interface is a loopback that is down: a fresh namespace.
bool networkIsolated() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool isolated = true;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next)
        if (std::string(entry->ifa_name) != "lo" || (entry->ifa_flags & IFF_UP))
            isolated = false;
    freeifaddrs(list);
    return isolated;
}

class IsolatedResolverTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!networkIsolated())
            GTEST_SKIP() << "not in an isolated network namespace";
    }
    NetComponent keepAlive_;
};

int resolveError(const std::string& name, std::string& message) {
    try {
        SocketStack::instance("test").resolveHost(name);
    } catch (const SocketError& e) {
        message = e.what();
        return e.errorCode();
    }
    return 0;
}

} // namespace

TEST_F(IsolatedResolverTest, MalformedNameIsHostNotFound) {
    std::string message;
    EXPECT_EQ(resolveError("a..b", message), 11001);
    EXPECT_EQ(message, "Socket Error # 11001\r\nHost not found.");
    EXPECT_EQ(resolveError("", message), 11001);
}

TEST_F(IsolatedResolverTest, UnreachableNameServiceIsTryAgainWithoutText) {
    std::string message;
    EXPECT_EQ(resolveError("no-such-host.invalid", message), 11002);
    EXPECT_EQ(message, "Socket Error # 11002\r\n");
}

TEST_F(IsolatedResolverTest, LocalhostAndDottedNeedNoNameService) {
    EXPECT_EQ(SocketStack::instance("test").resolveHost("LocalHost"), "127.0.0.1");
    EXPECT_EQ(SocketStack::instance("test").resolveHost("127.1.2.3"), "127.1.2.3");
}
