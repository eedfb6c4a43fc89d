#pragma once

// The two fifos of the private PulseAudio daemon: what its pipe sink plays
// arrives in DIR/sink.fifo, what is written to DIR/src.fifo is what its pipe
// source records. Both carry 8000 Hz mono signed 16-bit little-endian audio.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace tavora::test {

// The daemon's directory (TAVORA_TEST_PULSE_DIR) and its server string;
// empty when the test does not run under the pulse fixture.
std::string pulseDir();
std::string pulseServer();

// Runs pactl against `server` (by default the fixture's daemon) with
// `arguments` (a shell word list) and answers what it printed; `ok`, when
// given, says whether it succeeded. pactl shares no code with the platform,
// so tests read the server's state back through it.
std::string pactl(const std::string& arguments, bool* ok = nullptr,
                  const std::string& server = pulseServer());
// The raw volume of the first channel of a sink or source (`what`) as pactl
// reports it (0..65536 = 100 %); -1 when it cannot be read.
long pactlVolume(const std::string& what, const std::string& name);
// The streams playing now: the index of each sink input with the name of
// the sink it goes to.
std::map<std::string, std::string> pactlSinkInputs();

// Reads the sink fifo on a thread of its own and keeps every sample, with
// the time the first non-zero sample arrived.
class PipeSinkReader {
public:
    explicit PipeSinkReader(const std::string& fifo = pulseDir() + "/sink.fifo");
    ~PipeSinkReader();
    PipeSinkReader(const PipeSinkReader&) = delete;
    PipeSinkReader& operator=(const PipeSinkReader&) = delete;

    // Throws away what has been read so far (and what the fifo holds now).
    void clear();
    std::vector<std::int16_t> samples() const;
    // Waits until `done(samples)` holds; false after the timeout.
    bool waitFor(const std::function<bool(const std::vector<std::int16_t>&)>& done,
                 std::chrono::milliseconds timeout) const;
    // Time the first non-zero sample came out of the fifo since clear().
    std::optional<std::chrono::steady_clock::time_point> firstSound() const;

private:
    void run();

    int fd_ = -1;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::int16_t> samples_;
    std::optional<std::chrono::steady_clock::time_point> firstSound_;
    std::thread thread_;
};

// Writes samples into the source fifo, at the pace of real time (8000 Hz)
// or at once, on a thread of its own. A fifo that takes nothing for two
// seconds ends the feed early rather than blocking the test for good.
class PipeSourceWriter {
public:
    explicit PipeSourceWriter(const std::string& fifo = pulseDir() + "/src.fifo");
    ~PipeSourceWriter();
    PipeSourceWriter(const PipeSourceWriter&) = delete;
    PipeSourceWriter& operator=(const PipeSourceWriter&) = delete;

    // Starts writing; a previous write is finished first.
    void write(std::vector<std::int16_t> samples, bool realTime = true);
    void wait();

private:
    int fd_ = -1;
    std::thread thread_;
};

// What this process holds on the daemon at `server` (default: the
// fixture's), as the daemon itself reports it (pactl, by the process id it
// records for each stream); -1 each when the daemon cannot be asked.
struct ServerStreams {
    int sinkInputs = -1;
    int sourceOutputs = -1;
    bool operator==(const ServerStreams&) const = default;
};
ServerStreams ownServerStreams(const std::string& server = pulseServer());

// A module the test loads into the fixture's daemon (pactl load-module
// ARGS); unloading it takes away every sink or source it made, at the
// latest when the object goes. Tests take away only what they loaded.
class LoadedPulseModule {
public:
    explicit LoadedPulseModule(const std::string& arguments);
    ~LoadedPulseModule();
    LoadedPulseModule(const LoadedPulseModule&) = delete;
    LoadedPulseModule& operator=(const LoadedPulseModule&) = delete;

    bool loaded() const { return index_ >= 0; }
    bool unload();

private:
    int index_ = -1;
};

// A daemon of the test's own (tests/harness/pulse.sh, named by
// TAVORA_PULSE_HARNESS) in a directory of its own, so that it can go away
// without harming the fixture's daemon or other tests.
class OwnPulseDaemon {
public:
    OwnPulseDaemon();
    ~OwnPulseDaemon();
    OwnPulseDaemon(const OwnPulseDaemon&) = delete;
    OwnPulseDaemon& operator=(const OwnPulseDaemon&) = delete;

    bool available() const { return !script_.empty(); }
    bool start();
    void stop();
    std::string dir() const { return dir_; }
    std::string server() const { return "unix:" + dir_ + "/run/native"; }

private:
    std::string script_;
    std::string dir_;
};

// Open file descriptors and threads of this process.
struct ProcessResources {
    int fds = 0;
    int threads = 0;
};
ProcessResources processResources();

// Bytes of the heap in use, after the allocator has given back what it can.
long long heapInUse();

// Whether runs of something, again and again, leave anything behind: after
// each run no stream of this process on the daemon at `server`; after the
// last no more file descriptors or threads than after the first run (an idle
// thread that ends in between is no leak) and, when asked, no more heap in
// use than then plus a slack.
class RunLeaks {
public:
    explicit RunLeaks(std::string server = pulseServer()) : server_(std::move(server)) {}
    // Call after each run: what the run left on the server, empty when
    // nothing. The first call takes the counts the others are held to.
    std::string afterRun();
    // Call after the last run: what grew since the first, empty when nothing.
    std::string grown(std::optional<long long> heapSlack = std::nullopt) const;

private:
    std::string server_;
    std::optional<ProcessResources> first_;
    long long firstHeap_ = 0;
};

// Index of the first place where `needle` occurs in `hay`, or npos.
std::size_t findSamples(std::span<const std::int16_t> hay, std::span<const std::int16_t> needle);

// A test signal: a sum of tones with a different pitch every 100 ms, so that
// any stretch of it is found in one place only.
std::vector<std::int16_t> testSignal(std::size_t samples, unsigned seed = 1);

} // namespace tavora::test
