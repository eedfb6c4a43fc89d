#pragma once

#include "net/IOHandler.h"
#include "net/SocksInfo.h"
#include "platform/net/SocketHandle.h"

#include <memory>

namespace tavora {

// The socket transport: one socket handle object and its own SOCKS settings
// object, which starts with the defaults and goes with the handler.
class SocketIOHandler : public IOHandler {
public:
    // The wait of a timed connect: slices of this length, checked after each.
    static constexpr int kConnectSliceMs = 125;

    SocketIOHandler();
    ~SocketIOHandler() override;

    void open() override;
    void close() noexcept override;
    void connectClient(const std::string& host, int port, const std::string& boundIP, int boundPort,
                       int boundPortMin, int boundPortMax, int timeoutMs) override;
    bool connected() const noexcept override;
    // While a proxy exchange runs inside connectClient, both wait at most
    // until the attempt's time limit is used up; then Recv returns -1 (error
    // 10060) and Send does too. A timed connect waits in slices (WaitReady).
    int send(const void* buffer, int length) override;
    int recv(void* buffer, int length) override;
    // Inside a timed connectClient the lookup runs on a thread of its own and
    // is awaited in slices within the attempt's time limit; one that does not
    // answer in time (or that the waiter gives up) fails with error 11002.
    std::string resolveHost(const std::string& host) override;

    // The SOCKS settings that connectClient uses; fill them in place.
    SocksInfo& socksInfo() { return socksInfo_; }
    const SocksInfo& socksInfo() const { return socksInfo_; }
    // Copies the six settings of `socksInfo` into the handler's own.
    void setSocksInfo(const SocksInfo& socksInfo) { socksInfo_.assign(socksInfo); }

    // The socket handle object; null before the first Open.
    SocketHandle* binding() const { return binding_.get(); }

private:
    void timedConnect(int timeoutMs);
    void sleepSlice(int milliseconds);
    bool waitForSocket(bool forWriting);
    bool waitInSlices(int fd, bool forWriting);

    std::unique_ptr<SocketHandle> binding_;
    SocksInfo socksInfo_;
    // The end of the running attempt's time limit, and whether its waits go
    // in slices: both only during a timed connectClient.
    Deadline exchangeDeadline_;
    bool waitsInSlices_ = false;
};

} // namespace tavora
