#pragma once

#include "net/ConnectStage.h"
#include "platform/net/NetComponent.h"
#include "platform/net/SocketStack.h"

#include <functional>
#include <string>

namespace tavora {

// What a TCP connection needs from its transport.
class IOHandler : public NetComponent {
public:
    // Prepares for a new connection (no socket, addresses cleared).
    virtual void open() = 0;
    // Closes the socket if there is one. Never raises.
    virtual void close() noexcept = 0;
    // Opens the connection to host:port (through a proxy if the transport
    // has one), binding locally to boundIP:boundPort or the port range first.
    // timeoutMs: -1 or 0 no limit on the calling thread, -2 no limit on a
    // connect thread, > 0 at most about that long. Raises on every failure.
    virtual void connectClient(const std::string& host, int port, const std::string& boundIP, int boundPort,
                               int boundPortMin, int boundPortMax, int timeoutMs) = 0;
    virtual bool connected() const noexcept = 0;
    // One send / receive; the byte count or -1 (error recorded in the socket
    // layer). ClosedSocketError without a socket.
    virtual int send(const void* buffer, int length) = 0;
    virtual int recv(void* buffer, int length) = 0;

    // Told of each stage of connectClient as it begins; empty for none.
    void setStageObserver(StageObserver observer) { stageObserver_ = std::move(observer); }
    void enterStage(ConnectStage stage) const {
        if (stageObserver_)
            stageObserver_(stage);
    }

    // How a timed connect waits between its checks of the connect thread;
    // empty sleeps the calling thread. Tests record the slices with it, and a
    // window keeps answering its desktop meanwhile.
    using Sleep = std::function<void(int milliseconds)>;
    void setSleep(Sleep sleep) { sleep_ = std::move(sleep); }
    const Sleep& sleep() const { return sleep_; }

    // How a timed connect waits for the proxy's reply and for a name lookup,
    // one slice at a time: at most `milliseconds`, returning early once `fd`
    // is ready (readable, or writable when `forWriting`). It answers false
    // when the attempt is to be given up (the window is closing); the wait
    // then fails as if its time were up. Empty waits on the calling thread.
    using WaitReady = std::function<bool(int fd, bool forWriting, int milliseconds)>;
    void setWaitReady(WaitReady wait) { waitReady_ = std::move(wait); }
    const WaitReady& waitReady() const { return waitReady_; }

    // The address of a host name for this transport's connects; the socket
    // layer's lookup unless the transport waits its own way.
    virtual std::string resolveHost(const std::string& host) {
        return SocketStack::instance("gethostbyname").resolveHost(host);
    }

private:
    StageObserver stageObserver_;
    Sleep sleep_;
    WaitReady waitReady_;
};

} // namespace tavora
