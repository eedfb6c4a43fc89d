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

namespace testnet {

class TFd {
public:
    explicit TFd(int fd = -1) : Fd_(fd) {}
    ~TFd() {
        if (Fd_ != -1)
            ::close(Fd_);
    }
    TFd(TFd&& other) noexcept : Fd_(other.Fd_) { other.Fd_ = -1; }
    TFd& operator=(TFd&& other) noexcept {
        if (this != &other) {
            if (Fd_ != -1)
                ::close(Fd_);
            Fd_ = other.Fd_;
            other.Fd_ = -1;
        }
        return *this;
    }
    int Get() const { return Fd_; }

private:
    int Fd_;
};

inline sockaddr_in LoopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

inline int LocalPort(int fd) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("getsockname failed");
    return ntohs(address.sin_port);
}

// A socket bound to a loopback port. Without listen() a connect to that port
// is refused; the binding keeps anybody else from taking the port meanwhile.
inline TFd BindLoopback(int port = 0) {
    TFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = LoopbackAddress(port);
    if (fd.Get() == -1 || bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot bind a loopback socket");
    return fd;
}

class TRefusingPort {
public:
    TRefusingPort() : Fd_(BindLoopback()), Port_(LocalPort(Fd_.Get())) {}
    int Port() const { return Port_; }

private:
    TFd Fd_;
    int Port_;
};

class TLoopbackListener {
public:
    explicit TLoopbackListener(int backlog = 16) : Fd_(BindLoopback()), Port_(LocalPort(Fd_.Get())) {
        if (listen(Fd_.Get(), backlog) != 0)
            throw std::runtime_error("listen failed");
    }
    int Port() const { return Port_; }
    int Fd() const { return Fd_.Get(); }

    // Accepts one pending connection, waiting at most `timeoutMs`; -1 on time-up.
    TFd Accept(int timeoutMs = 5000) const {
        pollfd fd{Fd_.Get(), POLLIN, 0};
        if (poll(&fd, 1, timeoutMs) != 1)
            return TFd();
        return TFd(accept4(Fd_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    }

private:
    TFd Fd_;
    int Port_;
};

// Starts a non-blocking connect and reports whether it completed within
// `waitMs`.
inline bool ConnectCompletes(int port, int waitMs, TFd& out) {
    out = TFd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const sockaddr_in address = LoopbackAddress(port);
    if (connect(out.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return true;
    if (errno != EINPROGRESS)
        return false;
    pollfd fd{out.Get(), POLLOUT, 0};
    return poll(&fd, 1, waitMs) == 1;
}

// A listener that never accepts, with backlog 0, filled up by connections of
// its own: after that, a new connect to it gets no answer at all (the kernel
// drops the SYN), the loopback stand-in for a host that never replies.
class TSilentListener {
public:
    TSilentListener() : Listener_(0) {
        for (int i = 0; i < 8; ++i) {
            TFd client;
            const bool completed = ConnectCompletes(Listener_.Port(), 200, client);
            Fillers_.push_back(std::move(client));
            if (!completed)
                return;
        }
        throw std::runtime_error("the listener's backlog does not fill up");
    }
    int Port() const { return Listener_.Port(); }

private:
    TLoopbackListener Listener_;
    std::vector<TFd> Fillers_;
};

} // namespace testnet
