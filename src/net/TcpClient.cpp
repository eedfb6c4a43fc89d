#include "net/TcpClient.h"

#include "net/ClientExceptions.h"
#include "net/SocketIOHandler.h"

TTcpConnection::TTcpConnection(TComponent* owner) : TNetComponent(owner) {}

TTcpConnection::~TTcpConnection() {
    CloseSocket();
    DetachHandler();
}

void TTcpConnection::DetachHandler() noexcept {
    if (FreeIOHandlerOnDisconnect_)
        ReleaseOwnHandler();
    else if (IOHandler_)
        IOHandler_->RemoveFreeNotification(this);
    IOHandler_ = nullptr;
}

void TTcpConnection::SetIOHandler(TIOHandler* handler) {
    if (handler == IOHandler_)
        return;
    DetachHandler();
    IOHandler_ = handler;
    if (IOHandler_)
        IOHandler_->FreeNotification(this);
}

void TTcpConnection::ReleaseOwnHandler() noexcept {
    TIOHandler* handler = IOHandler_;
    IOHandler_ = nullptr;
    FreeIOHandlerOnDisconnect_ = false;
    if (handler) {
        handler->RemoveFreeNotification(this);
        delete handler;
    }
}

void TTcpConnection::CloseSocket() noexcept {
    if (!IOHandler_)
        return;
    ClosedGracefully_ = true;
    IOHandler_->Close();
}

bool TTcpConnection::Connected() noexcept {
    if (ClosedGracefully_ && IOHandler_ && IOHandler_->Connected())
        CloseSocket();
    return IOHandler_ && IOHandler_->Connected();
}

void TTcpConnection::Disconnect() noexcept {
    CloseSocket();
    if (FreeIOHandlerOnDisconnect_)
        ReleaseOwnHandler();
}

void TTcpConnection::Notification(TComponent* component) {
    if (component == IOHandler_) {
        IOHandler_ = nullptr;
        FreeIOHandlerOnDisconnect_ = false;
    }
    TNetComponent::Notification(component);
}

// ---------------------------------------------------------------------------

TTcpClient::TTcpClient(TComponent* owner) : TTcpConnection(owner) {}

void TTcpClient::Connect(int timeoutMs) {
    if (IOHandler_ && IOHandler_->Connected())
        throw EAlreadyConnected();
    if (!IOHandler_) {
        SetIOHandler(new TSocketIOHandler(this));
        FreeIOHandlerOnDisconnect_ = true;
    }
    // The handler hears the stages and waits the client's way only during
    // this connect; a foreign one may be reused by someone else afterwards.
    struct TObserverScope {
        TIOHandler* Handler;
        TIOHandler::TSleep HandlerSleep;
        bool Observed;
        bool Slept;
        ~TObserverScope() {
            if (Observed)
                Handler->SetStageObserver({});
            if (Slept)
                Handler->SetSleep(std::move(HandlerSleep));
        }
    } scope{IOHandler_, IOHandler_->Sleep(), bool(StageObserver_), bool(Sleep_)};
    if (StageObserver_)
        IOHandler_->SetStageObserver(StageObserver_);
    if (Sleep_)
        IOHandler_->SetSleep(Sleep_);
    try {
        IOHandler_->Open();
        InputBuffer_.clear();
        ClosedGracefully_ = false;
        IOHandler_->ConnectClient(Host_, Port_, BoundIP_, BoundPort_, BoundPortMin_, BoundPortMax_,
                                  timeoutMs);
    } catch (...) {
        CloseSocket();
        throw;
    }
}
