#include "net/ConnectThread.h"

#include "platform/net/SocketErrors.h"
#include "platform/net/SocketStack.h"

#include <exception>

namespace tavora {

ConnectThread::ConnectThread(SocketHandle& binding) : binding_(binding) {}

ConnectThread::~ConnectThread() {
    terminate();
    waitFor();
}

void ConnectThread::start() {
    thread_ = std::thread([this] { execute(); });
}

void ConnectThread::terminate() noexcept {
    finished_.store(true, std::memory_order_release);
    abandon_.signal();
}

void ConnectThread::waitFor() noexcept {
    if (thread_.joinable())
        thread_.join();
}

void ConnectThread::execute() noexcept {
    try {
        const int result = binding_.connect(&abandon_);
        // 10009 and 10038 are what an abandoned connect reports: the waiter
        // has given up and raises its own error.
        SocketStack::instance("connect").checkForSocketError(
            result, {WinsockError::BadHandle, WinsockError::NotSocket});
    } catch (const std::exception& e) {
        errorMessage_ = e.what();
    } catch (...) {
        errorMessage_ = "Unknown error.";
    }
    finished_.store(true, std::memory_order_release);
}

// ---------------------------------------------------------------------------

LookupThread::LookupThread(HostLookup lookup, std::string name) : state_(std::make_shared<State>()) {
    thread_ = std::thread([state = state_, lookup = std::move(lookup), name = std::move(name)] {
        try {
            state->result = lookup(name);
        } catch (...) {
            state->result = {std::nullopt, WinsockError::NoRecovery};
        }
        state->finished.store(true, std::memory_order_release);
        state->done.signal();
    });
}

LookupThread::~LookupThread() {
    if (finished())
        thread_.join();
    else
        thread_.detach();
}

} // namespace tavora
