#pragma once

#include "net/IOHandler.h"
#include "platform/net/NetComponent.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tavora {

// A TCP connection over an IO handler: the connected test and disconnect.
//
// The connection owns its handler, which is either one it made itself in
// connect (freed again by disconnect) or one handed to it with setIOHandler
// (kept until another one, or none, is set, or the connection goes).
class TcpConnection : public NetComponent {
public:
    TcpConnection() = default;
    ~TcpConnection() override;

    IOHandler* ioHandler() const { return ioHandler_.get(); }
    // Frees the handler held so far (closing its socket) and takes `handler`;
    // nullptr leaves none.
    void setIOHandler(std::unique_ptr<IOHandler> handler);

    // True only while a handler is attached and its socket is allocated.
    bool connected() noexcept;
    // Closes the socket if there is one and frees a handler made by Connect.
    // Without a socket it makes no platform call.
    void disconnect() noexcept;

protected:
    void closeSocket() noexcept;

    std::unique_ptr<IOHandler> ioHandler_;
    // The handler was made by connect, so disconnect frees it.
    bool freeIOHandlerOnDisconnect_ = false;
    bool closedGracefully_ = false;
    std::vector<std::uint8_t> inputBuffer_;
};

class TcpClient : public TcpConnection {
public:
    const std::string& host() const { return host_; }
    void setHost(const std::string& host) { host_ = host; }
    int port() const { return port_; }
    void setPort(int port) { port_ = port; }
    const std::string& boundIP() const { return boundIP_; }
    void setBoundIP(const std::string& boundIP) { boundIP_ = boundIP; }
    int boundPort() const { return boundPort_; }
    void setBoundPort(int boundPort) { boundPort_ = boundPort; }
    int boundPortMin() const { return boundPortMin_; }
    int boundPortMax() const { return boundPortMax_; }
    void setBoundPortRange(int minimum, int maximum) {
        boundPortMin_ = minimum;
        boundPortMax_ = maximum;
    }

    // Opens the connection to Host:Port, through the handler's SOCKS proxy if
    // it has one. timeoutMs: -1 (default) or 0 connect on this thread without
    // a limit; -2 on a connect thread without a limit; > 0 at most about that
    // long, waiting in 125 ms slices. Raises AlreadyConnectedError while a socket
    // is held; on any other failure the socket is closed, the handler stays
    // attached and the exception is passed on.
    void connect(int timeoutMs = -1);

    // Told of each stage of the next connects as it begins (whatever handler
    // they use); empty for none.
    void setStageObserver(StageObserver observer) { stageObserver_ = std::move(observer); }
    // How the next timed connects wait between their checks (whatever handler
    // they use); empty leaves the handler's own.
    void setSleep(IOHandler::Sleep sleep) { sleep_ = std::move(sleep); }
    // How the next timed connects wait for a proxy's reply and a name lookup
    // (whatever handler they use); empty leaves the handler's own.
    void setWaitReady(IOHandler::WaitReady wait) { waitReady_ = std::move(wait); }

private:
    std::string host_;
    int port_ = 0;
    std::string boundIP_;
    int boundPort_ = 0;
    int boundPortMin_ = 0;
    int boundPortMax_ = 0;
    StageObserver stageObserver_;
    IOHandler::Sleep sleep_;
    IOHandler::WaitReady waitReady_;
};

} // namespace tavora
