#include "net/ConnectThread.h"

#include "platform/net/SocketErrors.h"
#include "platform/net/SocketStack.h"

#include <exception>

TConnectThread::TConnectThread(TSocketHandle& binding) : Binding_(binding) {}

TConnectThread::~TConnectThread() {
    Terminate();
    WaitFor();
}

void TConnectThread::Start() {
    Thread_ = std::thread([this] { Execute(); });
}

void TConnectThread::Terminate() noexcept {
    Finished_.store(true, std::memory_order_release);
    Abandon_.Signal();
}

void TConnectThread::WaitFor() noexcept {
    if (Thread_.joinable())
        Thread_.join();
}

void TConnectThread::Execute() noexcept {
    try {
        const int result = Binding_.Connect(&Abandon_);
        // 10009 and 10038 are what an abandoned connect reports: the waiter
        // has given up and raises its own error.
        TSocketStack::Instance("connect").CheckForSocketError(
            result, {WinsockError::BadHandle, WinsockError::NotSocket});
    } catch (const std::exception& e) {
        ErrorMessage_ = e.what();
    } catch (...) {
        ErrorMessage_ = "Unknown error.";
    }
    Finished_.store(true, std::memory_order_release);
}
