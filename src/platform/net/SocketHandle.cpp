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

namespace {

void RecordErrno() {
    TSocketStack::RecordPlatformError(WinsockErrorFromErrno(errno));
}

sockaddr_in MakeAddress(const std::string& ip, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port & 0xFFFF));
    if (!ip.empty()) {
        const TIPv4Bytes bytes = TSocketStack::AddressToBytes(ip);
        std::memcpy(&address.sin_addr.s_addr, bytes.data(), 4);
    } else {
        address.sin_addr.s_addr = htonl(INADDR_ANY);
    }
    return address;
}

bool SetNonBlocking(int fd, bool on) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags == -1)
        return false;
    return fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) != -1;
}

int PollTimeout(const TDeadline& deadline) {
    if (!deadline)
        return -1;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0)
        return 0;
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

} // namespace

// --- TWakeup ---------------------------------------------------------------

TWakeup::TWakeup() : Fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (Fd_ == -1)
        throw ESocketError(WinsockErrorFromErrno(errno));
}

TWakeup::~TWakeup() {
    close(Fd_);
}

void TWakeup::Signal() {
    const std::uint64_t one = 1;
    // A full counter (never reached here) still leaves the fd readable.
    [[maybe_unused]] const ssize_t written = write(Fd_, &one, sizeof one);
}

// --- TSocketHandle ---------------------------------------------------------

TSocketHandle::~TSocketHandle() {
    CloseSocket();
}

void TSocketHandle::Reset() {
    CloseSocket();
    Handle_ = -1;
    IP.clear();
    Port = 0;
    PeerIP.clear();
    PeerPort = 0;
}

void TSocketHandle::AllocateSocket() {
    CloseSocket();
    Handle_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (Handle_ == -1) {
        RecordErrno();
        throw EInvalidSocket();
    }
    Allocated_ = true;
}

int TSocketHandle::BindTo(int port) {
    const sockaddr_in address = MakeAddress(IP, port);
    const int rc = bind(Handle_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (rc == -1)
        RecordErrno();
    return rc;
}

void TSocketHandle::Bind() {
    TSocketStack& stack = TSocketStack::Instance("bind");
    if (Port != 0 || ClientPortMin == 0 || ClientPortMax == 0) {
        if (stack.CheckForSocketError(BindTo(Port), {WinsockError::AddressInUse}))
            throw ECouldNotBindSocket();
    } else {
        bool bound = false;
        for (int port = ClientPortMin; port <= ClientPortMax && !bound; ++port) {
            const int rc = BindTo(port);
            bound = !stack.CheckForSocketError(rc, {WinsockError::AddressInUse});
        }
        if (!bound)
            throw ECouldNotBindSocket();
    }
    ReadNames(false);
}

void TSocketHandle::SetPeer(const std::string& peerIP, int peerPort) {
    PeerIP = peerIP;
    PeerPort = peerPort;
}

int TSocketHandle::Connect(const TWakeup* abandon) {
    const sockaddr_in address = MakeAddress(PeerIP, PeerPort);
    const auto* target = reinterpret_cast<const sockaddr*>(&address);

    if (!abandon) {
        const int rc = connect(Handle_, target, sizeof address);
        if (rc == -1) {
            RecordErrno();
            return -1;
        }
        ReadNames(true);
        return 0;
    }

    if (!SetNonBlocking(Handle_, true)) {
        RecordErrno();
        return -1;
    }
    int result = 0;
    if (connect(Handle_, target, sizeof address) == -1) {
        if (errno != EINPROGRESS) {
            RecordErrno();
            result = -1;
        } else {
            pollfd fds[2] = {{Handle_, POLLOUT, 0}, {abandon->Fd(), POLLIN, 0}};
            int ready;
            do {
                ready = poll(fds, 2, -1);
            } while (ready == -1 && errno == EINTR);
            if (ready == -1) {
                RecordErrno();
                result = -1;
            } else if (fds[1].revents != 0) {
                TSocketStack::RecordPlatformError(WinsockError::BadHandle);
                result = -1;
            } else {
                int error = 0;
                socklen_t size = sizeof error;
                if (getsockopt(Handle_, SOL_SOCKET, SO_ERROR, &error, &size) == -1)
                    error = errno;
                if (error != 0) {
                    TSocketStack::RecordPlatformError(WinsockErrorFromErrno(error));
                    result = -1;
                }
            }
        }
    }
    if (!SetNonBlocking(Handle_, false) && result == 0) {
        RecordErrno();
        result = -1;
    }
    if (result == 0)
        ReadNames(true);
    return result;
}

void TSocketHandle::CloseSocket() {
    if (!Allocated_)
        return;
    Allocated_ = false;
    shutdown(Handle_, SHUT_WR);
    close(Handle_);
}

int TSocketHandle::Send(const void* buffer, int length) {
    const ssize_t rc = send(Handle_, buffer, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    if (rc == -1)
        RecordErrno();
    return static_cast<int>(rc);
}

int TSocketHandle::Recv(void* buffer, int length) {
    const ssize_t rc = recv(Handle_, buffer, static_cast<std::size_t>(length), 0);
    if (rc == -1)
        RecordErrno();
    return static_cast<int>(rc);
}

bool TSocketHandle::WaitReady(bool forWriting, const TDeadline& deadline) {
    pollfd fd{Handle_, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
    for (;;) {
        const int ready = poll(&fd, 1, PollTimeout(deadline));
        if (ready > 0)
            return true; // readable, writable, or an error the next call reports
        if (ready == 0) {
            TSocketStack::RecordPlatformError(WinsockError::TimedOut);
            return false;
        }
        if (errno != EINTR) {
            RecordErrno();
            return true; // let the send / receive itself report it
        }
    }
}

namespace {
// The socket's own address, or its peer's; left as they are on failure.
void ReadAddress(int fd, bool peer, std::string& ip, int& port) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? getpeername(fd, raw, &size) : getsockname(fd, raw, &size)) != 0)
        return;
    TIPv4Bytes bytes{};
    std::memcpy(bytes.data(), &address.sin_addr.s_addr, 4);
    ip = TSocketStack::BytesToAddress(bytes);
    port = ntohs(address.sin_port);
}
} // namespace

void TSocketHandle::ReadNames(bool withPeer) {
    ReadAddress(Handle_, false, IP, Port);
    if (withPeer)
        ReadAddress(Handle_, true, PeerIP, PeerPort);
}
