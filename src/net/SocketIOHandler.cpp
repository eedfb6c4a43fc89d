#include "net/SocketIOHandler.h"

#include "net/ClientExceptions.h"
#include "net/ConnectThread.h"
#include "net/SocksInfo.h"
#include "platform/net/SocketStack.h"

#include <chrono>
#include <thread>

TSocketIOHandler::TSocketIOHandler(TComponent* owner) : TIOHandler(owner) {}

TSocketIOHandler::~TSocketIOHandler() {
    if (SocksInfo_ && SocksInfo_->Owner() == this)
        delete SocksInfo_;
    else
        ForgetSocksInfo();
    SocksInfo_ = nullptr;
    Binding_.reset(); // closes the socket
}

void TSocketIOHandler::Open() {
    if (Binding_)
        Binding_->Reset();
    else
        Binding_ = std::make_unique<TSocketHandle>();
}

void TSocketIOHandler::Close() noexcept {
    if (Binding_)
        Binding_->CloseSocket();
}

bool TSocketIOHandler::Connected() const noexcept {
    return Binding_ && Binding_->HandleAllocated();
}

void TSocketIOHandler::ConnectClient(const std::string& host, int port, const std::string& boundIP,
                                     int boundPort, int boundPortMin, int boundPortMax, int timeoutMs) {
    const auto start = std::chrono::steady_clock::now();
    if (!Binding_)
        Open();

    TSocksInfo* socks = SocksInfo();
    const TSocksVersion version = socks->Version();
    const bool proxied = version == svSocks4 || version == svSocks4A || version == svSocks5;
    const std::string& address = proxied ? socks->Host() : host;
    const int addressPort = proxied ? socks->Port() : port;

    Binding_->AllocateSocket();
    Binding_->IP = boundIP;
    Binding_->Port = boundPort;
    Binding_->ClientPortMin = boundPortMin;
    Binding_->ClientPortMax = boundPortMax;
    Binding_->Bind();

    TSocketStack& stack = TSocketStack::Instance("gethostbyname");
    EnterStage(proxied ? TConnectStage::ResolveProxy : TConnectStage::ResolveTarget);
    Binding_->SetPeer(stack.ResolveHost(address), addressPort);

    EnterStage(TConnectStage::TcpConnect);
    if (timeoutMs == -1 || timeoutMs == 0)
        stack.CheckForSocketError(Binding_->Connect());
    else
        TimedConnect(timeoutMs);

    // The proxy exchange gets what is left of the attempt's time limit.
    struct TDeadlineScope {
        TDeadline& Deadline;
        ~TDeadlineScope() { Deadline.reset(); }
    } scope{ExchangeDeadline_};
    if (timeoutMs > 0)
        ExchangeDeadline_ = start + std::chrono::milliseconds(timeoutMs);
    socks->SetIOHandler(this);
    socks->NegotiateProxy(host, port);
}

void TSocketIOHandler::TimedConnect(int timeoutMs) {
    constexpr int slice = kConnectSliceMs;
    const bool unlimited = timeoutMs == -2;

    TConnectThread thread(*Binding_);
    thread.Start();

    int remaining = unlimited ? slice + 1 : timeoutMs;
    while (remaining > slice) {
        SleepSlice(slice);
        remaining -= slice;
        if (unlimited)
            remaining = slice + 1;
        if (thread.Finished()) {
            remaining = 0;
            break;
        }
    }
    SleepSlice(remaining > 0 ? remaining : 0);

    if (thread.Finished()) {
        if (!thread.ErrorMessage().empty())
            throw EConnectException(thread.ErrorMessage());
        return;
    }
    // Time is up. End the pending connect and wait for the thread before the
    // socket is closed: its number must not be released while the connect
    // thread may still poll it.
    thread.Terminate();
    thread.WaitFor();
    Close();
    throw EConnectTimeout();
}

void TSocketIOHandler::SleepSlice(int milliseconds) {
    if (Sleep())
        Sleep()(milliseconds);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int TSocketIOHandler::Send(const void* buffer, int length) {
    if (!Connected())
        throw EClosedSocket();
    if (!Binding_->WaitReady(true, ExchangeDeadline_))
        return -1;
    return Binding_->Send(buffer, length);
}

int TSocketIOHandler::Recv(void* buffer, int length) {
    if (!Connected())
        throw EClosedSocket();
    if (!Binding_->WaitReady(false, ExchangeDeadline_))
        return -1;
    return Binding_->Recv(buffer, length);
}

TSocksInfo* TSocketIOHandler::SocksInfo() {
    if (!SocksInfo_) {
        SocksInfo_ = new TSocksInfo(this);
        SocksInfo_->SetIOHandler(this);
    }
    return SocksInfo_;
}

void TSocketIOHandler::SetSocksInfo(TSocksInfo* socksInfo) {
    if (!socksInfo) {
        ForgetSocksInfo();
        return;
    }
    if (socksInfo == SocksInfo_) {
        socksInfo->SetIOHandler(this);
        return;
    }
    if (socksInfo->Owner()) {
        if (SocksInfo_ && SocksInfo_->Owner() == this) {
            delete SocksInfo_;
            SocksInfo_ = nullptr;
        } else {
            ForgetSocksInfo();
        }
        SocksInfo_ = socksInfo;
        socksInfo->FreeNotification(this);
    } else {
        if (SocksInfo_ && SocksInfo_->Owner() != this)
            ForgetSocksInfo();
        SocksInfo()->Assign(*socksInfo);
    }
    SocksInfo_->SetIOHandler(this);
}

void TSocketIOHandler::ForgetSocksInfo() {
    if (!SocksInfo_)
        return;
    if (SocksInfo_->IOHandler() == this)
        SocksInfo_->SetIOHandler(nullptr);
    if (SocksInfo_->Owner() != this)
        SocksInfo_->RemoveFreeNotification(this);
    SocksInfo_ = nullptr;
}

void TSocketIOHandler::Notification(TComponent* component) {
    if (component == SocksInfo_)
        SocksInfo_ = nullptr;
    TIOHandler::Notification(component);
}
