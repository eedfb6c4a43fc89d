#pragma once

#include <chrono>
#include <optional>
#include <string>

using TDeadline = std::optional<std::chrono::steady_clock::time_point>; // none: wait for ever

// A wake-up another thread can fire to make a waiting socket call give up
// (an eventfd). Signal() may be called from any thread, any number of times.
class TWakeup {
public:
    TWakeup();
    ~TWakeup();
    TWakeup(const TWakeup&) = delete;
    TWakeup& operator=(const TWakeup&) = delete;

    void Signal();
    int Fd() const { return Fd_; }

private:
    int Fd_;
};

// One IPv4 stream socket and its addresses.
//
// Life: no socket (handle -1) -> allocated (AllocateSocket, then Bind) ->
// connected -> closed (CloseSocket). HandleAllocated() alone is what
// "connected" means to the IO handler above.
//
// Failing calls record their error for TSocketStack::CheckForSocketError;
// Connect and the raw Send/Recv return the platform result for the caller to
// check, the others raise.
class TSocketHandle {
public:
    TSocketHandle() = default;
    ~TSocketHandle();
    TSocketHandle(const TSocketHandle&) = delete;
    TSocketHandle& operator=(const TSocketHandle&) = delete;

    // Back to "no socket" with all addresses cleared (closes a socket still held).
    void Reset();

    // Closes a socket still held and creates a new one. EInvalidSocket when
    // the platform refuses.
    void AllocateSocket();

    // Binds to IP (empty: any) and Port (0: the platform's choice), or to the
    // first free port of ClientPortMin..ClientPortMax when both are set and
    // Port is 0; then reads the bound address back into IP and Port.
    // ECouldNotBindSocket when the address is in use, ESocketError otherwise.
    void Bind();

    void SetPeer(const std::string& peerIP, int peerPort);

    // Connects to PeerIP:PeerPort (the low 16 bits of the port). Returns 0 or
    // -1 like the platform call; on success the local and peer addresses are
    // read back. Without `abandon` the call blocks the calling thread as long
    // as the platform takes. With it, the connect is made non-blocking and
    // ends as soon as `abandon` fires, returning -1 with error 10009: the
    // caller has given up and will close the socket once this call is over.
    int Connect(const TWakeup* abandon = nullptr);

    // Shuts the sending side and closes the socket, if one is held. The handle
    // number stays readable until the next Reset, but is no longer used.
    void CloseSocket();

    // One platform send / receive (flags 0; no SIGPIPE). Returns the byte
    // count or -1.
    int Send(const void* buffer, int length);
    int Recv(void* buffer, int length);

    // Waits until the socket can be read (or written) or the deadline passes.
    // Returns false at the deadline, with error 10060 recorded.
    bool WaitReady(bool forWriting, const TDeadline& deadline);

    bool HandleAllocated() const { return Allocated_; }
    int Handle() const { return Handle_; }

    std::string IP; // local address
    int Port = 0;   // local port
    std::string PeerIP;
    int PeerPort = 0;
    int ClientPortMin = 0;
    int ClientPortMax = 0;

private:
    int BindTo(int port);
    void ReadNames(bool withPeer);

    int Handle_ = -1;
    bool Allocated_ = false;
};
