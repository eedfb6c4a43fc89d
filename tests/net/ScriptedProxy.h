#pragma once

// A stand-in proxy on a loopback port that follows a script: read so many
// bytes, write these bytes (whole or one at a time), close, or fall silent.
// It records every byte the client sent, so tests can compare requests byte
// for byte. It serves one connection.

#include "platform/net/SocketHandle.h"
#include "platform/net/TestSockets.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace testnet {

using TByteList = std::vector<std::uint8_t>;

class TScriptedProxy {
public:
    TScriptedProxy() = default;
    ~TScriptedProxy() { Finish(); }

    // Script steps, run in order once a client connects.
    TScriptedProxy& Read(std::size_t count) { return Add({TStep::Read, count, {}}); }
    TScriptedProxy& Write(TByteList bytes) { return Add({TStep::Write, 0, std::move(bytes)}); }
    TScriptedProxy& WriteByteByByte(TByteList bytes) { return Add({TStep::Trickle, 0, std::move(bytes)}); }
    // Closes the connection here (the rest of the script is not run).
    TScriptedProxy& Close() { return Add({TStep::Close, 0, {}}); }
    // After the last step the connection stays open, unanswered, and whatever
    // the client still sends is recorded, until the client closes or the
    // proxy is finished.

    int Port() const { return Listener_.Port(); }
    void Start() {
        Thread_ = std::thread([this] { Run(); });
    }
    // Stops serving and waits for the proxy thread.
    void Finish() {
        if (Thread_.joinable()) {
            Stop_.Signal();
            Thread_.join();
        }
    }
    TByteList Received() {
        std::lock_guard lock(Lock_);
        return Received_;
    }
    bool Accepted() const { return Accepted_; }

private:
    struct TStep {
        enum Kind { Read, Write, Trickle, Close } Kind;
        std::size_t Count;
        TByteList Bytes;
    };

    TScriptedProxy& Add(TStep step) {
        Script_.push_back(std::move(step));
        return *this;
    }

    // Waits for `fd` or the stop request; false when stopped.
    bool WaitFor(int fd, short events) {
        pollfd fds[2] = {{fd, events, 0}, {Stop_.Fd(), POLLIN, 0}};
        while (poll(fds, 2, -1) == -1) {
        }
        return fds[1].revents == 0;
    }

    // Reads up to `limit` bytes (0: any amount); false on end of stream or stop.
    bool ReadSome(int fd, std::size_t limit, std::size_t& got) {
        if (!WaitFor(fd, POLLIN))
            return false;
        std::uint8_t buffer[512];
        const std::size_t want = limit == 0 || limit > sizeof buffer ? sizeof buffer : limit;
        const ssize_t n = ::recv(fd, buffer, want, 0);
        if (n <= 0)
            return false;
        std::lock_guard lock(Lock_);
        Received_.insert(Received_.end(), buffer, buffer + n);
        got = static_cast<std::size_t>(n);
        return true;
    }

    bool SendAll(int fd, const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    void Run() {
        if (!WaitFor(Listener_.Fd(), POLLIN))
            return;
        TFd client(accept4(Listener_.Fd(), nullptr, nullptr, SOCK_CLOEXEC));
        if (client.Get() == -1)
            return;
        Accepted_ = true;
        const int fd = client.Get();
        for (const TStep& step : Script_) {
            switch (step.Kind) {
            case TStep::Read:
                for (std::size_t left = step.Count; left > 0;) {
                    std::size_t got = 0;
                    if (!ReadSome(fd, left, got))
                        return;
                    left -= got;
                }
                break;
            case TStep::Write:
                if (!SendAll(fd, step.Bytes.data(), step.Bytes.size()))
                    return;
                break;
            case TStep::Trickle:
                for (std::uint8_t byte : step.Bytes) {
                    if (!SendAll(fd, &byte, 1))
                        return;
                    // Let each byte arrive on its own.
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                break;
            case TStep::Close:
                return;
            }
        }
        std::size_t got = 0;
        while (ReadSome(fd, 0, got)) {
        }
    }

    TLoopbackListener Listener_;
    TWakeup Stop_;
    std::vector<TStep> Script_;
    std::thread Thread_;
    std::mutex Lock_;
    TByteList Received_;
    std::atomic<bool> Accepted_{false};
};

inline TByteList Bytes(std::initializer_list<int> values) {
    TByteList out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

inline TByteList Concat(std::initializer_list<TByteList> parts) {
    TByteList out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

inline TByteList TextBytes(const std::string& text) {
    return TByteList(text.begin(), text.end());
}

} // namespace testnet
