#pragma once

#include "platform/net/SocketHandle.h"
#include "platform/net/SocketStack.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace tavora {

// Performs one platform connect on a socket handle for a timed connect, while
// the thread that created it sleeps in slices and watches finished().
//
// The connect thread writes its error message and then sets the finished
// flag (release); the waiter reads the flag (acquire) before the message, so
// the message is complete when the flag is seen. At time-up the waiter calls
// terminate(), which also fires the wake-up the pending connect waits on, and
// then waitFor(): the socket is closed only after that, when no other thread
// uses it any more.
class ConnectThread {
public:
    // Created suspended; start() runs it.
    explicit ConnectThread(SocketHandle& binding);
    // Stops the thread if it is still connecting and waits for it to end.
    ~ConnectThread();
    ConnectThread(const ConnectThread&) = delete;
    ConnectThread& operator=(const ConnectThread&) = delete;

    void start();
    bool finished() const noexcept { return finished_.load(std::memory_order_acquire); }
    // The stop request at time-up: sets the finished flag and ends a pending
    // connect at once.
    void terminate() noexcept;
    void waitFor() noexcept;
    // Empty unless the connect failed. Read only after finished() is seen.
    const std::string& errorMessage() const noexcept { return errorMessage_; }

private:
    void execute() noexcept;

    SocketHandle& binding_;
    Wakeup abandon_;
    std::atomic<bool> finished_{false};
    std::string errorMessage_;
    std::thread thread_;
};

// Runs one host lookup, which cannot be interrupted, on a thread of its own,
// so that the thread that asked can keep its window alive meanwhile: it waits
// until readyFd() is readable, then reads result().
//
// A waiter that gives up does not wait for the lookup: the thread goes on
// alone and ends when the lookup does. Everything it writes (the result and
// the descriptor) lives in a state that the thread shares, so the late
// answer lands there and is dropped with it.
class LookupThread {
public:
    LookupThread(HostLookup lookup, std::string name);
    // Joins a finished thread; lets one still looking up go on alone.
    ~LookupThread();
    LookupThread(const LookupThread&) = delete;
    LookupThread& operator=(const LookupThread&) = delete;

    int readyFd() const { return state_->done.fd(); }
    bool finished() const noexcept { return state_->finished.load(std::memory_order_acquire); }
    // Read only after finished() is seen.
    const LookupResult& result() const noexcept { return state_->result; }

private:
    struct State {
        Wakeup done;
        std::atomic<bool> finished{false};
        LookupResult result;
    };
    std::shared_ptr<State> state_;
    std::thread thread_;
};

} // namespace tavora
