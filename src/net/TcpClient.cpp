#include "net/TcpClient.h"

#include "net/ClientExceptions.h"
#include "net/SocketIOHandler.h"

namespace tavora {

TcpConnection::TcpConnection(Component* owner) : NetComponent(owner) {}

TcpConnection::~TcpConnection() {
    closeSocket();
    detachHandler();
}

void TcpConnection::detachHandler() noexcept {
    if (freeIOHandlerOnDisconnect_)
        releaseOwnHandler();
    else if (ioHandler_)
        ioHandler_->removeFreeNotification(this);
    ioHandler_ = nullptr;
}

void TcpConnection::setIOHandler(IOHandler* handler) {
    if (handler == ioHandler_)
        return;
    detachHandler();
    ioHandler_ = handler;
    if (ioHandler_)
        ioHandler_->freeNotification(this);
}

void TcpConnection::releaseOwnHandler() noexcept {
    IOHandler* handler = ioHandler_;
    ioHandler_ = nullptr;
    freeIOHandlerOnDisconnect_ = false;
    if (handler) {
        handler->removeFreeNotification(this);
        delete handler;
    }
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
    if (freeIOHandlerOnDisconnect_)
        releaseOwnHandler();
}

void TcpConnection::notification(Component* component) {
    if (component == ioHandler_) {
        ioHandler_ = nullptr;
        freeIOHandlerOnDisconnect_ = false;
    }
    NetComponent::notification(component);
}

// ---------------------------------------------------------------------------

TcpClient::TcpClient(Component* owner) : TcpConnection(owner) {}

void TcpClient::connect(int timeoutMs) {
    if (ioHandler_ && ioHandler_->connected())
        throw AlreadyConnectedError();
    if (!ioHandler_) {
        setIOHandler(new SocketIOHandler(this));
        freeIOHandlerOnDisconnect_ = true;
    }
    // The handler hears the stages and waits the client's way only during
    // this connect; a foreign one may be reused by someone else afterwards.
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
    } scope{ioHandler_,           ioHandler_->sleep(), ioHandler_->waitReady(),
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
