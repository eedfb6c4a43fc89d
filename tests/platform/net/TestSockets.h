#pragma once

// Loopback peers for the network tests: a listener, a listener whose backlog
// is full (connects to it hang until the caller gives up), and a port that
// refuses. Everything stays on 127.0.0.1.

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace tavora {

namespace testnet {

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ != -1)
            ::close(fd_);
    }
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            if (fd_ != -1)
                ::close(fd_);
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
    int get() const { return fd_; }

private:
    int fd_;
};

inline sockaddr_in loopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

inline int localPort(int fd) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("getsockname failed");
    return ntohs(address.sin_port);
}

// A socket bound to a loopback port. Without listen() a connect to that port
// is refused; the binding keeps anybody else from taking the port meanwhile.
inline Fd bindLoopback(int port = 0) {
    Fd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = loopbackAddress(port);
    if (fd.get() == -1 || bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot bind a loopback socket");
    return fd;
}

class RefusingPort {
public:
    RefusingPort() : fd_(bindLoopback()), port_(localPort(fd_.get())) {}
    int port() const { return port_; }

private:
    Fd fd_;
    int port_;
};

class LoopbackListener {
public:
    explicit LoopbackListener(int backlog = 16) : fd_(bindLoopback()), port_(localPort(fd_.get())) {
        if (listen(fd_.get(), backlog) != 0)
            throw std::runtime_error("listen failed");
    }
    int port() const { return port_; }
    int fd() const { return fd_.get(); }

    // Accepts one pending connection, waiting at most `timeoutMs`; -1 on time-up.
    Fd accept(int timeoutMs = 5000) const {
        pollfd fd{fd_.get(), POLLIN, 0};
        if (poll(&fd, 1, timeoutMs) != 1)
            return Fd();
        return Fd(accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    }

private:
    Fd fd_;
    int port_;
};

// Starts a non-blocking connect and reports whether it completed within
// `waitMs`.
inline bool connectCompletes(int port, int waitMs, Fd& out) {
    out = Fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const sockaddr_in address = loopbackAddress(port);
    if (connect(out.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return true;
    if (errno != EINPROGRESS)
        return false;
    pollfd fd{out.get(), POLLOUT, 0};
    return poll(&fd, 1, waitMs) == 1;
}

// A listener that never accepts, with backlog 0, filled up by connections of
// its own: after that, a new connect to it gets no answer at all (the kernel
// drops the SYN), the loopback stand-in for a host that never replies.
class SilentListener {
public:
    SilentListener() : listener_(0) {
        for (int i = 0; i < 8; ++i) {
            Fd client;
            const bool completed = connectCompletes(listener_.port(), 200, client);
            fillers_.push_back(std::move(client));
            if (!completed)
                return;
        }
        throw std::runtime_error("the listener's backlog does not fill up");
    }
    int port() const { return listener_.port(); }

private:
    LoopbackListener listener_;
    std::vector<Fd> fillers_;
};

} // namespace testnet

} // namespace tavora
