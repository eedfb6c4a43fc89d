#pragma once

#include "platform/net/SocketHandle.h"

#include <atomic>
#include <string>
#include <thread>

// Performs one platform connect on a socket handle for a timed connect, while
// the thread that created it sleeps in slices and watches Finished().
//
// The connect thread writes its error message and then sets the finished
// flag (release); the waiter reads the flag (acquire) before the message, so
// the message is complete when the flag is seen. At time-up the waiter calls
// Terminate(), which also fires the wake-up the pending connect waits on, and
// then WaitFor(): the socket is closed only after that, when no other thread
// uses it any more.
class TConnectThread {
public:
    // Created suspended; Start() runs it.
    explicit TConnectThread(TSocketHandle& binding);
    // Stops the thread if it is still connecting and waits for it to end.
    ~TConnectThread();
    TConnectThread(const TConnectThread&) = delete;
    TConnectThread& operator=(const TConnectThread&) = delete;

    void Start();
    bool Finished() const noexcept { return Finished_.load(std::memory_order_acquire); }
    // The stop request at time-up: sets the finished flag and ends a pending
    // connect at once.
    void Terminate() noexcept;
    void WaitFor() noexcept;
    // Empty unless the connect failed. Read only after Finished() is seen.
    const std::string& ErrorMessage() const noexcept { return ErrorMessage_; }

private:
    void Execute() noexcept;

    TSocketHandle& Binding_;
    TWakeup Abandon_;
    std::atomic<bool> Finished_{false};
    std::string ErrorMessage_;
    std::thread Thread_;
};
