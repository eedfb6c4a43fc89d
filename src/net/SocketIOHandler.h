#pragma once

#include "net/IOHandler.h"
#include "platform/net/SocketHandle.h"

#include <memory>

class TSocksInfo;

// The socket transport: one socket handle object and one SOCKS settings
// object.
//
// SocksInfo is either the handler's own object (made on first access with the
// defaults, freed with the handler) or a foreign one owned by another
// component, held by reference and forgotten when that component is destroyed.
class TSocketIOHandler : public TIOHandler {
public:
    // The wait of a timed connect: slices of this length, checked after each.
    static constexpr int kConnectSliceMs = 125;

    explicit TSocketIOHandler(TComponent* owner = nullptr);
    ~TSocketIOHandler() override;

    void Open() override;
    void Close() noexcept override;
    void ConnectClient(const std::string& host, int port, const std::string& boundIP, int boundPort,
                       int boundPortMin, int boundPortMax, int timeoutMs) override;
    bool Connected() const noexcept override;
    // While a proxy exchange runs inside ConnectClient, both wait at most
    // until the attempt's time limit is used up; then Recv returns -1 (error
    // 10060) and Send does too.
    int Send(const void* buffer, int length) override;
    int Recv(void* buffer, int length) override;

    // Creates the own object with the defaults when none is held.
    TSocksInfo* SocksInfo();
    // nullptr forgets the held object. An object with an owner is held by
    // reference (an own object held so far is freed); one without an owner is
    // copied into the own object.
    void SetSocksInfo(TSocksInfo* socksInfo);

    // The socket handle object; null before the first Open.
    TSocketHandle* Binding() const { return Binding_.get(); }

protected:
    void Notification(TComponent* component) override;

private:
    void TimedConnect(int timeoutMs);
    void SleepSlice(int milliseconds);
    void ForgetSocksInfo();

    std::unique_ptr<TSocketHandle> Binding_;
    TSocksInfo* SocksInfo_ = nullptr;
    TDeadline ExchangeDeadline_;
};
