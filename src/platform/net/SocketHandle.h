#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace tavora {

using Deadline = std::optional<std::chrono::steady_clock::time_point>; // none: wait for ever

// A wake-up another thread can fire to make a waiting socket call give up
// (an eventfd). signal() may be called from any thread, any number of times.
class Wakeup {
public:
    Wakeup();
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    void signal();
    int fd() const { return fd_; }

private:
    int fd_;
};

// Whether `fd` becomes readable (or writable) within `milliseconds`. An error
// or a hang-up on it counts as ready: the next call on it reports that.
bool waitDescriptor(int fd, bool forWriting, int milliseconds);

// One IPv4 stream socket and its addresses.
//
// Life: no socket (handle -1) -> allocated (allocateSocket, then bind) ->
// connected -> closed (closeSocket). handleAllocated() alone is what
// "connected" means to the IO handler above.
//
// Failing calls record their error for SocketStack::checkForSocketError;
// Connect and the raw Send/Recv return the platform result for the caller to
// check, the others raise.
class SocketHandle {
public:
    SocketHandle() = default;
    ~SocketHandle();
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;

    // Back to "no socket" with all addresses cleared (closes a socket still held).
    void reset();

    // Closes a socket still held and creates a new one. InvalidSocketError when
    // the platform refuses.
    void allocateSocket();

    // Binds to IP (empty: any) and Port (0: the platform's choice), or to the
    // first free port of clientPortMin..clientPortMax when both are set and
    // Port is 0; then reads the bound address back into IP and Port.
    // CouldNotBindSocketError when the address is in use, SocketError otherwise.
    void bind();

    void setPeer(const std::string& peerIP, int peerPort);

    // Connects to peerIP:peerPort (the low 16 bits of the port). Returns 0 or
    // -1 like the platform call; on success the local and peer addresses are
    // read back. Without `abandon` the call blocks the calling thread as long
    // as the platform takes. With it, the connect is made non-blocking and
    // ends as soon as `abandon` fires, returning -1 with error 10009: the
    // caller has given up and will close the socket once this call is over.
    int connect(const Wakeup* abandon = nullptr);

    // Shuts the sending side and closes the socket, if one is held. The handle
    // number stays readable until the next Reset, but is no longer used.
    void closeSocket();

    // One platform send / receive (flags 0; no SIGPIPE). Returns the byte
    // count or -1.
    int send(const void* buffer, int length);
    int recv(void* buffer, int length);

    // Waits until the socket can be read (or written) or the deadline passes.
    // Returns false at the deadline, with error 10060 recorded.
    bool waitReady(bool forWriting, const Deadline& deadline);

    bool handleAllocated() const { return allocated_; }
    int handle() const { return handle_; }

    std::string IP; // local address
    int port = 0;   // local port
    std::string peerIP;
    int peerPort = 0;
    int clientPortMin = 0;
    int clientPortMax = 0;

private:
    int bindTo(int port);
    void readNames(bool withPeer);

    int handle_ = -1;
    bool allocated_ = false;
};

} // namespace tavora
