#include "platform/net/SocketHandle.h"

#include "platform/net/NetExceptions.h"
#include "platform/net/SocketErrors.h"
#include "platform/net/SocketStack.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavora {

namespace {

void recordErrno() {
    SocketStack::recordPlatformError(winsockErrorFromErrno(errno));
}

sockaddr_in makeAddress(const std::string& ip, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port & 0xFFFF));
    if (!ip.empty()) {
        const IPv4Bytes bytes = SocketStack::addressToBytes(ip);
        std::memcpy(&address.sin_addr.s_addr, bytes.data(), 4);
    } else {
        address.sin_addr.s_addr = htonl(INADDR_ANY);
    }
    return address;
}

bool setNonBlocking(int fd, bool on) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags == -1)
        return false;
    return fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) != -1;
}

int pollTimeout(const Deadline& deadline) {
    if (!deadline)
        return -1;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0)
        return 0;
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

} // namespace

bool waitDescriptor(int fd, bool forWriting, int milliseconds) {
    pollfd one{fd, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
    // An interrupted wait counts as not ready: callers wait again.
    return poll(&one, 1, milliseconds < 0 ? 0 : milliseconds) > 0;
}

// --- Wakeup ---------------------------------------------------------------

Wakeup::Wakeup() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ == -1)
        throw SocketError(winsockErrorFromErrno(errno));
}

Wakeup::~Wakeup() {
    close(fd_);
}

void Wakeup::signal() {
    const std::uint64_t one = 1;
    // A full counter (never reached here) still leaves the fd readable.
    [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}

// --- SocketHandle ---------------------------------------------------------

SocketHandle::~SocketHandle() {
    closeSocket();
}

void SocketHandle::reset() {
    closeSocket();
    handle_ = -1;
    IP.clear();
    port = 0;
    peerIP.clear();
    peerPort = 0;
}

void SocketHandle::allocateSocket() {
    closeSocket();
    handle_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle_ == -1) {
        recordErrno();
        throw InvalidSocketError();
    }
    allocated_ = true;
}

int SocketHandle::bindTo(int port) {
    const sockaddr_in address = makeAddress(IP, port);
    const int rc = ::bind(handle_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (rc == -1)
        recordErrno();
    return rc;
}

void SocketHandle::bind() {
    SocketStack& stack = SocketStack::instance("bind");
    if (port != 0 || clientPortMin == 0 || clientPortMax == 0) {
        if (stack.checkForSocketError(bindTo(port), {WinsockError::AddressInUse}))
            throw CouldNotBindSocketError();
    } else {
        bool bound = false;
        for (int port = clientPortMin; port <= clientPortMax && !bound; ++port) {
            const int rc = bindTo(port);
            bound = !stack.checkForSocketError(rc, {WinsockError::AddressInUse});
        }
        if (!bound)
            throw CouldNotBindSocketError();
    }
    readNames(false);
}

void SocketHandle::setPeer(const std::string& peerIP, int peerPort) {
    this->peerIP = peerIP;
    this->peerPort = peerPort;
}

int SocketHandle::connect(const Wakeup* abandon) {
    const sockaddr_in address = makeAddress(peerIP, peerPort);
    const auto* target = reinterpret_cast<const sockaddr*>(&address);

    if (!abandon) {
        const int rc = ::connect(handle_, target, sizeof address);
        if (rc == -1) {
            recordErrno();
            return -1;
        }
        readNames(true);
        return 0;
    }

    if (!setNonBlocking(handle_, true)) {
        recordErrno();
        return -1;
    }
    int result = 0;
    if (::connect(handle_, target, sizeof address) == -1) {
        if (errno != EINPROGRESS) {
            recordErrno();
            result = -1;
        } else {
            pollfd fds[2] = {{handle_, POLLOUT, 0}, {abandon->fd(), POLLIN, 0}};
            int ready;
            do {
                ready = poll(fds, 2, -1);
            } while (ready == -1 && errno == EINTR);
            if (ready == -1) {
                recordErrno();
                result = -1;
            } else if (fds[1].revents != 0) {
                SocketStack::recordPlatformError(WinsockError::BadHandle);
                result = -1;
            } else {
                int error = 0;
                socklen_t size = sizeof error;
                if (getsockopt(handle_, SOL_SOCKET, SO_ERROR, &error, &size) == -1)
                    error = errno;
                if (error != 0) {
                    SocketStack::recordPlatformError(winsockErrorFromErrno(error));
                    result = -1;
                }
            }
        }
    }
    if (!setNonBlocking(handle_, false) && result == 0) {
        recordErrno();
        result = -1;
    }
    if (result == 0)
        readNames(true);
    return result;
}

void SocketHandle::closeSocket() {
    if (!allocated_)
        return;
    allocated_ = false;
    shutdown(handle_, SHUT_WR);
    close(handle_);
}

int SocketHandle::send(const void* buffer, int length) {
    const ssize_t rc = ::send(handle_, buffer, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    if (rc == -1)
        recordErrno();
    return static_cast<int>(rc);
}

int SocketHandle::recv(void* buffer, int length) {
    const ssize_t rc = ::recv(handle_, buffer, static_cast<std::size_t>(length), 0);
    if (rc == -1)
        recordErrno();
    return static_cast<int>(rc);
}

bool SocketHandle::waitReady(bool forWriting, const Deadline& deadline) {
    pollfd fd{handle_, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
    for (;;) {
        const int ready = poll(&fd, 1, pollTimeout(deadline));
        if (ready > 0)
            return true; // readable, writable, or an error the next call reports
        if (ready == 0) {
            SocketStack::recordPlatformError(WinsockError::TimedOut);
            return false;
        }
        if (errno != EINTR) {
            recordErrno();
            return true; // let the send / receive itself report it
        }
    }
}

namespace {
// The socket's own address, or its peer's; left as they are on failure.
void readAddress(int fd, bool peer, std::string& ip, int& port) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? getpeername(fd, raw, &size) : getsockname(fd, raw, &size)) != 0)
        return;
    IPv4Bytes bytes{};
    std::memcpy(bytes.data(), &address.sin_addr.s_addr, 4);
    ip = SocketStack::bytesToAddress(bytes);
    port = ntohs(address.sin_port);
}
} // namespace

void SocketHandle::readNames(bool withPeer) {
    readAddress(handle_, false, IP, port);
    if (withPeer)
        readAddress(handle_, true, peerIP, peerPort);
}

} // namespace tavora
