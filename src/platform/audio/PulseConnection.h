#pragma once

// The PulseAudio connection shared by the platform and its open devices: one
// threaded main loop and one context, plus RAII helpers for libpulse objects.
// Every libpulse call is made with the main loop locked; callbacks of
// libpulse run on the main loop's thread with the lock already held.

#include "platform/audio/PulseAudioPlatform.h"
#include "platform/audio/WaveDeviceSupport.h"

#include "platform/audio/PulseLibrary.h"

#include <QLoggingCategory>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tavora {

Q_DECLARE_LOGGING_CATEGORY(lcAudio)

namespace platform::audio {

// Holds the main loop lock for a scope.
class MainloopLock {
public:
    explicit MainloopLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
    ~MainloopLock() { pa_threaded_mainloop_unlock(loop_); }
    MainloopLock(const MainloopLock&) = delete;
    MainloopLock& operator=(const MainloopLock&) = delete;

private:
    pa_threaded_mainloop* loop_;
};

// Owns one reference to an operation.
class Operation {
public:
    explicit Operation(pa_operation* op = nullptr) : op_(op) {}
    ~Operation() {
        if (op_)
            pa_operation_unref(op_);
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;
    pa_operation* get() const { return op_; }
    explicit operator bool() const { return op_ != nullptr; }

private:
    pa_operation* op_;
};

// A sink or source as the device tables show it.
struct PulseDevice {
    std::string name;        // the server's name, used to address it
    std::string description; // what the user sees
    std::uint32_t index = PA_INVALID_INDEX;
    std::uint8_t channels = 0;
    pa_channel_map channelMap{};
    pa_cvolume volume{};
    bool mute = false;
};

struct PulseAudioPlatform::Connection {
    Connection(std::string server, std::string applicationName);
    ~Connection();

    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    std::string server;
    std::string applicationName;

    // With the lock held: connects (again) if the context is not ready.
    bool ensureConnected();
    // With the lock held: waits, releasing the lock meanwhile, until `done`
    // answers true or the timeout passes; answers `done()`.
    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // With the lock held: waits until the operation has ended.
    bool waitOperation(const Operation& op, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    void signal() { pa_threaded_mainloop_signal(loop, 0); }

    // With the lock held: the sinks or non-monitor sources in table order
    // (the server's default first); false when the server cannot be asked.
    bool sinks(std::vector<PulseDevice>& out);
    bool sources(std::vector<PulseDevice>& out);
    // With the lock held: one sink or source by name, fresh from the server.
    bool sinkByName(const std::string& name, PulseDevice& out);
    bool sourceByName(const std::string& name, PulseDevice& out);

    // The answer for a call that failed: the server's last error, or
    // `fallback` when the server names none (a server that did not answer
    // in time has reported nothing, which is no success).
    MmResult lastError(MmResult fallback = MMSYSERR_NODRIVER) const;

private:
    template <typename Info, typename Start> bool collect(std::vector<PulseDevice>& out, Start start);
    void dropContext();
    bool serverDefaults(std::string& sink, std::string& source);
};

// Conversions between the device formats and libpulse.
bool pulseSampleSpec(const StreamFormat& format, pa_sample_spec& sampleSpec);
MmResult pulseErrorToResult(int error);

} // namespace platform::audio

} // namespace tavora
