#pragma once

#include "net/IOHandler.h"
#include "platform/net/SocketHandle.h"

#include <memory>

namespace tavora {

class SocksInfo;

// The socket transport: one socket handle object and one SOCKS settings
// object.
//
// SocksInfo is either the handler's own object (made on first access with the
// defaults, freed with the handler) or a foreign one owned by another
// component, held by reference and forgotten when that component is destroyed.
class SocketIOHandler : public IOHandler {
public:
    // The wait of a timed connect: slices of this length, checked after each.
    static constexpr int kConnectSliceMs = 125;

    explicit SocketIOHandler(Component* owner = nullptr);
    ~SocketIOHandler() override;

    void open() override;
    void close() noexcept override;
    void connectClient(const std::string& host, int port, const std::string& boundIP, int boundPort,
                       int boundPortMin, int boundPortMax, int timeoutMs) override;
    bool connected() const noexcept override;
    // While a proxy exchange runs inside ConnectClient, both wait at most
    // until the attempt's time limit is used up; then Recv returns -1 (error
    // 10060) and Send does too. A timed connect waits in slices (WaitReady).
    int send(const void* buffer, int length) override;
    int recv(void* buffer, int length) override;
    // Inside a timed ConnectClient the lookup runs on a thread of its own and
    // is awaited in slices within the attempt's time limit; one that does not
    // answer in time (or that the waiter gives up) fails with error 11002.
    std::string resolveHost(const std::string& host) override;

    // Creates the own object with the defaults when none is held.
    SocksInfo* socksInfo();
    // nullptr forgets the held object. An object with an owner is held by
    // reference (an own object held so far is freed); one without an owner is
    // copied into the own object.
    void setSocksInfo(SocksInfo* socksInfo);

    // The socket handle object; null before the first Open.
    SocketHandle* binding() const { return binding_.get(); }

protected:
    void notification(Component* component) override;

private:
    void timedConnect(int timeoutMs);
    void sleepSlice(int milliseconds);
    bool waitForSocket(bool forWriting);
    bool waitInSlices(int fd, bool forWriting);
    void forgetSocksInfo();

    std::unique_ptr<SocketHandle> binding_;
    SocksInfo* socksInfo_ = nullptr;
    // The end of the running attempt's time limit, and whether its waits go
    // in slices: both only during a timed ConnectClient.
    Deadline exchangeDeadline_;
    bool waitsInSlices_ = false;
};

} // namespace tavora
