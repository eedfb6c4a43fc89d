#include "net/TcpClient.h"

#include "net/ClientExceptions.h"
#include "net/SocketIOHandler.h"

namespace tavora {

TcpConnection::~TcpConnection() {
    closeSocket();
}

void TcpConnection::setIOHandler(std::unique_ptr<IOHandler> handler) {
    ioHandler_ = std::move(handler);
    freeIOHandlerOnDisconnect_ = false;
}

void TcpConnection::closeSocket() noexcept {
    if (!ioHandler_)
        return;
    closedGracefully_ = true;
    ioHandler_->close();
}

bool TcpConnection::connected() noexcept {
    if (closedGracefully_ && ioHandler_ && ioHandler_->connected())
        closeSocket();
    return ioHandler_ && ioHandler_->connected();
}

void TcpConnection::disconnect() noexcept {
    closeSocket();
    if (freeIOHandlerOnDisconnect_) {
        ioHandler_.reset();
        freeIOHandlerOnDisconnect_ = false;
    }
}

// ---------------------------------------------------------------------------

void TcpClient::connect(int timeoutMs) {
    if (ioHandler_ && ioHandler_->connected())
        throw AlreadyConnectedError();
    if (!ioHandler_) {
        ioHandler_ = std::make_unique<SocketIOHandler>();
        freeIOHandlerOnDisconnect_ = true;
    }
    // The handler hears the stages and waits the client's way only during
    // this connect; the hooks set on the handler itself are back afterwards.
    struct ObserverScope {
        IOHandler* Handler;
        IOHandler::Sleep handlerSleep;
        IOHandler::WaitReady handlerWait;
        bool observed;
        bool slept;
        bool waited;
        ~ObserverScope() {
            if (observed)
                Handler->setStageObserver({});
            if (slept)
                Handler->setSleep(std::move(handlerSleep));
            if (waited)
                Handler->setWaitReady(std::move(handlerWait));
        }
    } scope{ioHandler_.get(),     ioHandler_->sleep(), ioHandler_->waitReady(),
            bool(stageObserver_), bool(sleep_),        bool(waitReady_)};
    if (stageObserver_)
        ioHandler_->setStageObserver(stageObserver_);
    if (sleep_)
        ioHandler_->setSleep(sleep_);
    if (waitReady_)
        ioHandler_->setWaitReady(waitReady_);
    try {
        ioHandler_->open();
        inputBuffer_.clear();
        closedGracefully_ = false;
        ioHandler_->connectClient(host_, port_, boundIP_, boundPort_, boundPortMin_, boundPortMax_,
                                  timeoutMs);
    } catch (...) {
        closeSocket();
        throw;
    }
}

} // namespace tavora
