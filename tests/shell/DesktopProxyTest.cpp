// The desktop's proxy as libproxy reads it, from the environment and from a
// PAC file served on loopback. CTest runs this in a network namespace of its
// own (see CMakeLists.txt), where no name lookup can leave the machine; the
// test brings the namespace's loopback up for its PAC server.

#include "shell/DesktopProxy.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace tavora;

namespace {
const std::string TestHost = "systemtest.invalid";

// A namespace's loopback starts down; the PAC server needs it.
void loopbackUp() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    ifreq request{};
    std::strcpy(request.ifr_name, "lo");
    ASSERT_EQ(ioctl(fd, SIOCGIFFLAGS, &request), 0);
    if (!(request.ifr_flags & IFF_UP)) {
        request.ifr_flags |= IFF_UP;
        EXPECT_EQ(ioctl(fd, SIOCSIFFLAGS, &request), 0) << std::strerror(errno);
    }
    close(fd);
}

// Only the variables a test sets speak for the desktop: no desktop session is
// detected, so libproxy reads neither GNOME's nor KDE's settings.
void clearDesktop() {
    for (const char* name :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "ftp_proxy", "FTP_PROXY", "all_proxy",
          "ALL_PROXY", "socks_proxy", "SOCKS_PROXY", "no_proxy", "NO_PROXY", "DESKTOP_SESSION",
          "GNOME_DESKTOP_SESSION_ID", "KDE_FULL_SESSION", "KDE_SESSION_VERSION", "XDG_CURRENT_DESKTOP"})
        unsetenv(name);
}

// Serves `body` as a PAC file to every GET on 127.0.0.1 and records the
// request lines.
class PacServer {
public:
    explicit PacServer(std::string body) : body_(std::move(body)) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_, 8) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 || pipe(stop_) != 0)
            throw std::runtime_error(std::string("PAC server: ") + std::strerror(errno));
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~PacServer() {
        (void)!write(stop_[1], "x", 1);
        thread_.join();
        close(listener_);
        close(stop_[0]);
        close(stop_[1]);
    }
    int port() const { return port_; }
    std::vector<std::string> requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    void serve() {
        for (;;) {
            pollfd fds[] = {{listener_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 || fds[1].revents)
                return;
            const int client = accept(listener_, nullptr, nullptr);
            if (client < 0)
                continue;
            std::string request;
            char buffer[512];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = recv(client, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, static_cast<size_t>(n));
            }
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(request.substr(0, request.find("\r\n")));
            }
            const std::string response =
                "HTTP/1.1 200 OK\r\nContent-Type: application/x-ns-proxy-autoconfig\r\n"
                "Content-Length: " +
                std::to_string(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_;
            (void)!send(client, response.data(), response.size(), MSG_NOSIGNAL);
            close(client);
        }
    }

    std::string body_;
    int listener_ = -1;
    int stop_[2] = {-1, -1};
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> requests_;
};

class DesktopProxyTest : public ::testing::Test {
protected:
    void SetUp() override {
        loopbackUp();
        clearDesktop();
    }
    void TearDown() override { clearDesktop(); }

    std::optional<DesktopProxy> lookup() { return LibproxyLookup().lookup(TestHost, 9910); }
};

TEST_F(DesktopProxyTest, EnvironmentForm) {
    EXPECT_EQ(lookup(), std::nullopt);

    setenv("http_proxy", "socks5://127.0.0.1:1081", 1);
    EXPECT_EQ(lookup(), (DesktopProxy{Socks5, "127.0.0.1", 1081}));

    // An HTTP proxy is nothing the wizard can use; all_proxy still can be.
    setenv("http_proxy", "http://127.0.0.1:3128", 1);
    EXPECT_EQ(lookup(), std::nullopt);
    setenv("ALL_PROXY", "socks4a://127.0.0.1:1082", 1);
    EXPECT_EQ(lookup(), (DesktopProxy{Socks4A, "127.0.0.1", 1082}));
    setenv("socks_proxy", "socks4://127.0.0.1:1083", 1);
    EXPECT_EQ(lookup(), (DesktopProxy{Socks4, "127.0.0.1", 1083}));

    setenv("no_proxy", "localhost, .invalid", 1);
    EXPECT_EQ(lookup(), std::nullopt);
    setenv("no_proxy", "invalid.example,other.invalid", 1);
    EXPECT_EQ(lookup(), (DesktopProxy{Socks4, "127.0.0.1", 1083}));
}

TEST_F(DesktopProxyTest, PacForm) {
    PacServer server("function FindProxyForURL(url, host) {\n"
                     "  if (host == \"" +
                     TestHost +
                     "\")\n"
                     "    return \"PROXY 127.0.0.1:3128; SOCKS5 127.0.0.1:1084; DIRECT\";\n"
                     "  return \"DIRECT\";\n"
                     "}\n");
    const std::string pac = "pac+http://127.0.0.1:" + std::to_string(server.port()) + "/proxy.pac";
    setenv("http_proxy", pac.c_str(), 1);
    EXPECT_EQ(lookup(), (DesktopProxy{Socks5, "127.0.0.1", 1084}));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], "GET /proxy.pac HTTP/1.1");

    // Another destination is sent direct by the same file.
    EXPECT_EQ(LibproxyLookup().lookup("other.invalid", 9910), std::nullopt);
}

TEST(NoProxyTest, Entries) {
    EXPECT_TRUE(noProxyExempts("*", "a.b"));
    EXPECT_TRUE(noProxyExempts("x.org,a.B", "A.b"));
    EXPECT_TRUE(noProxyExempts(".b", "a.b"));
    EXPECT_TRUE(noProxyExempts("b", "a.b"));
    EXPECT_TRUE(noProxyExempts("b", "b"));
    EXPECT_FALSE(noProxyExempts("ab", "b"));
    EXPECT_FALSE(noProxyExempts("b", "ab"));
    EXPECT_FALSE(noProxyExempts("", "b"));
    EXPECT_FALSE(noProxyExempts(" , ,", "b"));
}
} // namespace
