#pragma once

#include "net/IOHandler.h"
#include "platform/net/Component.h"

#include <cstdint>
#include <string>
#include <vector>

// A TCP connection over an IO handler: the connected test and disconnect.
//
// The handler is either one the connection made itself (in Connect, freed by
// Disconnect or when another handler is set) or a foreign one attached with
// SetIOHandler, which is never freed here and is forgotten when its owner
// destroys it.
class TTcpConnection : public TNetComponent {
public:
    explicit TTcpConnection(TComponent* owner = nullptr);
    ~TTcpConnection() override;

    TIOHandler* IOHandler() const { return IOHandler_; }
    void SetIOHandler(TIOHandler* handler);

    // True only while a handler is attached and its socket is allocated.
    bool Connected() noexcept;
    // Closes the socket if there is one and frees a handler made by Connect.
    // Without a socket it makes no platform call.
    void Disconnect() noexcept;

protected:
    void CloseSocket() noexcept;
    void Notification(TComponent* component) override;
    void ReleaseOwnHandler() noexcept;
    // Lets go of the handler: releases one of its own, else stops being
    // told when a foreign one goes.
    void DetachHandler() noexcept;

    TIOHandler* IOHandler_ = nullptr;
    bool FreeIOHandlerOnDisconnect_ = false;
    bool ClosedGracefully_ = false;
    std::vector<std::uint8_t> InputBuffer_;
};

class TTcpClient : public TTcpConnection {
public:
    explicit TTcpClient(TComponent* owner = nullptr);

    const std::string& Host() const { return Host_; }
    void SetHost(const std::string& host) { Host_ = host; }
    int Port() const { return Port_; }
    void SetPort(int port) { Port_ = port; }
    const std::string& BoundIP() const { return BoundIP_; }
    void SetBoundIP(const std::string& boundIP) { BoundIP_ = boundIP; }
    int BoundPort() const { return BoundPort_; }
    void SetBoundPort(int boundPort) { BoundPort_ = boundPort; }
    int BoundPortMin() const { return BoundPortMin_; }
    int BoundPortMax() const { return BoundPortMax_; }
    void SetBoundPortRange(int minimum, int maximum) {
        BoundPortMin_ = minimum;
        BoundPortMax_ = maximum;
    }

    // Opens the connection to Host:Port, through the handler's SOCKS proxy if
    // it has one. timeoutMs: -1 (default) or 0 connect on this thread without
    // a limit; -2 on a connect thread without a limit; > 0 at most about that
    // long, waiting in 125 ms slices. Raises EAlreadyConnected while a socket
    // is held; on any other failure the socket is closed, the handler stays
    // attached and the exception is passed on.
    void Connect(int timeoutMs = -1);

    // Told of each stage of the next connects as it begins (whatever handler
    // they use); empty for none.
    void SetStageObserver(TStageObserver observer) { StageObserver_ = std::move(observer); }
    // How the next timed connects wait between their checks (whatever handler
    // they use); empty leaves the handler's own.
    void SetSleep(TIOHandler::TSleep sleep) { Sleep_ = std::move(sleep); }

private:
    std::string Host_;
    int Port_ = 0;
    std::string BoundIP_;
    int BoundPort_ = 0;
    int BoundPortMin_ = 0;
    int BoundPortMax_ = 0;
    TStageObserver StageObserver_;
    TIOHandler::TSleep Sleep_;
};
