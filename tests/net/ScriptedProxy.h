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

namespace tavora {

namespace testnet {

using ByteList = std::vector<std::uint8_t>;

class ScriptedProxy {
public:
    ScriptedProxy() = default;
    ~ScriptedProxy() { finish(); }

    // Script steps, run in order once a client connects.
    ScriptedProxy& read(std::size_t count) { return add({Step::Read, count, {}}); }
    ScriptedProxy& write(ByteList bytes) { return add({Step::Write, 0, std::move(bytes)}); }
    ScriptedProxy& writeByteByByte(ByteList bytes) { return add({Step::Trickle, 0, std::move(bytes)}); }
    // Closes the connection here (the rest of the script is not run).
    ScriptedProxy& close() { return add({Step::Close, 0, {}}); }
    // After the last step the connection stays open, unanswered, and whatever
    // the client still sends is recorded, until the client closes or the
    // proxy is finished.

    int port() const { return listener_.port(); }
    void start() {
        thread_ = std::thread([this] { run(); });
    }
    // Stops serving and waits for the proxy thread.
    void finish() {
        if (thread_.joinable()) {
            stop_.signal();
            thread_.join();
        }
    }
    ByteList received() {
        std::lock_guard lock(lock_);
        return received_;
    }
    bool accepted() const { return accepted_; }

private:
    struct Step {
        enum Kind { Read, Write, Trickle, Close } Kind;
        std::size_t Count;
        ByteList bytes;
    };

    ScriptedProxy& add(Step step) {
        script_.push_back(std::move(step));
        return *this;
    }

    // Waits for `fd` or the stop request; false when stopped.
    bool waitFor(int fd, short events) {
        pollfd fds[2] = {{fd, events, 0}, {stop_.fd(), POLLIN, 0}};
        while (poll(fds, 2, -1) == -1) {
        }
        return fds[1].revents == 0;
    }

    // Reads up to `limit` bytes (0: any amount); false on end of stream or stop.
    bool readSome(int fd, std::size_t limit, std::size_t& got) {
        if (!waitFor(fd, POLLIN))
            return false;
        std::uint8_t buffer[512];
        const std::size_t want = limit == 0 || limit > sizeof buffer ? sizeof buffer : limit;
        const ssize_t n = ::recv(fd, buffer, want, 0);
        if (n <= 0)
            return false;
        std::lock_guard lock(lock_);
        received_.insert(received_.end(), buffer, buffer + n);
        got = static_cast<std::size_t>(n);
        return true;
    }

    bool sendAll(int fd, const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    void run() {
        if (!waitFor(listener_.fd(), POLLIN))
            return;
        Fd client(accept4(listener_.fd(), nullptr, nullptr, SOCK_CLOEXEC));
        if (client.get() == -1)
            return;
        accepted_ = true;
        const int fd = client.get();
        for (const Step& step : script_) {
            switch (step.Kind) {
            case Step::Read:
                for (std::size_t left = step.Count; left > 0;) {
                    std::size_t got = 0;
                    if (!readSome(fd, left, got))
                        return;
                    left -= got;
                }
                break;
            case Step::Write:
                if (!sendAll(fd, step.bytes.data(), step.bytes.size()))
                    return;
                break;
            case Step::Trickle:
                for (std::uint8_t byte : step.bytes) {
                    if (!sendAll(fd, &byte, 1))
                        return;
                    // Let each byte arrive on its own.
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                break;
            case Step::Close:
                return;
            }
        }
        std::size_t got = 0;
        while (readSome(fd, 0, got)) {
        }
    }

    LoopbackListener listener_;
    Wakeup stop_;
    std::vector<Step> script_;
    std::thread thread_;
    std::mutex lock_;
    ByteList received_;
    std::atomic<bool> accepted_{false};
};

inline ByteList bytes(std::initializer_list<int> values) {
    ByteList out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

inline ByteList concat(std::initializer_list<ByteList> parts) {
    ByteList out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

inline ByteList textBytes(const std::string& text) {
    return ByteList(text.begin(), text.end());
}

} // namespace testnet

} // namespace tavora
