// Figures of the microphone loop (see README.md), on a private PulseAudio
// daemon with a pipe source and a pipe sink at 8000 Hz mono:
//   bench-loopback loop SERVER SRC_FIFO SINK_FIFO DAEMON_PID RUNS
//       the wizard's loop, run by its page: delay from a tone written into
//       the pipe source to the tone in the pipe sink, CPU of this process
//       and of the daemon while the loop runs, and the time Stop takes.
//   bench-loopback pipeline SRC_FIFO SINK_FIFO DAEMON_PID RUNS COMMAND
//       the same delay and CPU for a shell pipeline (COMMAND, run by sh)
//       such as `parec ... | pacat ...` on the same daemon.
//   bench-loopback speech SERVER SRC_FIFO SINK_FIFO SPEECH_RAW [COMMAND]
//       speech (8000 Hz mono s16le) fed into the pipe source in real time
//       and found again in what the pipe sink plays: the delay over the run
//       and every gap (silence inserted into the sound) with its length,
//       through the wizard's loop, or through COMMAND when given.

#include "audio/loopback/MicrophonePage.h"
#include "platform/audio/PulseAudioPlatform.h"
#include "settings/SystemTestSettings.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tavora;

using namespace tavora::audio;
using namespace tavora::platform::audio;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr int Rate = 8000;
constexpr int ChunkSamples = 160; // 20 ms
constexpr int Threshold = 2000;   // the tone peaks at 8000; silence through GSM stays below 32
constexpr int Bursts = 4;         // tones per run
// Per burst: silence, tone, silence.
constexpr int LeadChunks = 50, ToneChunks = 15, TailChunks = 60;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double cpuSeconds(clockid_t clock) {
    timespec ts;
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// CPU seconds (user + system) a process has used so far.
double processCpu(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::vector<std::string> fields;
    std::size_t at = close + 2;
    while (at < text.size()) {
        const auto space = text.find(' ', at);
        fields.push_back(text.substr(at, space - at));
        if (space == std::string::npos)
            break;
        at = space + 1;
    }
    // utime and stime are fields 14 and 15 of the line; the list starts at field 3.
    if (fields.size() < 13)
        return 0;
    return (std::stod(fields[11]) + std::stod(fields[12])) / double(sysconf(_SC_CLK_TCK));
}

struct Stats {
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    double pick(double q) const {
        if (values.empty())
            return 0;
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        return v[std::min(v.size() - 1, static_cast<std::size_t>(q * double(v.size() - 1) + 0.5))];
    }
    void print(const char* what) const {
        std::printf("%-34s n=%zu min %.1f  median %.1f  max %.1f ms\n", what, values.size(), pick(0),
                    pick(0.5), pick(1));
    }
};

// Reads the sink fifo and keeps, for each stretch of sound above the
// threshold, the time its first such sample came out.
class SinkWatch {
public:
    explicit SinkWatch(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
        if (fd_ < 0)
            throw std::runtime_error("cannot open " + path);
        thread_ = std::thread([this] { run(); });
    }
    ~SinkWatch() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    std::vector<Clock::time_point> onsets() {
        std::lock_guard lock(mutex_);
        return onsets_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        onsets_.clear();
    }

private:
    void run() {
        std::vector<std::int16_t> buffer(2048);
        int quietRun = Rate; // samples since the last loud one
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0)
                continue;
            const ssize_t n = ::read(fd_, buffer.data(), buffer.size() * 2);
            if (n <= 0)
                continue;
            const auto now = Clock::now();
            const auto count = static_cast<std::size_t>(n / 2);
            std::lock_guard lock(mutex_);
            for (std::size_t i = 0; i < count; ++i) {
                if (std::abs(int(buffer[i])) < Threshold) {
                    ++quietRun;
                    continue;
                }
                // A new sound after at least half a second of quiet; the
                // sample came out (count - 1 - i) samples before the read.
                if (quietRun > Rate / 2)
                    onsets_.push_back(now - std::chrono::microseconds((count - 1 - i) * 1000000 / Rate));
                quietRun = 0;
            }
        }
    }

    int fd_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Clock::time_point> onsets_;
    std::thread thread_;
};

// Writes silence and tone bursts into the source fifo at the pace of real
// time, noting when each burst's first chunk went in.
class SourceFeed {
public:
    explicit SourceFeed(const std::string& path) : fd_(::open(path.c_str(), O_WRONLY | O_CLOEXEC)) {
        if (fd_ < 0)
            throw std::runtime_error("cannot open " + path);
    }
    ~SourceFeed() {
        wait();
        ::close(fd_);
    }
    void start() {
        wait();
        starts_.clear();
        running_ = true;
        thread_ = std::thread([this] {
            run();
            running_ = false;
        });
    }
    bool running() const { return running_; }
    void wait() {
        if (thread_.joinable())
            thread_.join();
    }
    const std::vector<Clock::time_point>& starts() const { return starts_; }

private:
    void run() {
        std::vector<std::int16_t> silence(ChunkSamples, 0), tone(ChunkSamples);
        double phase = 0;
        auto next = Clock::now();
        auto put = [&](const std::vector<std::int16_t>& chunk) {
            std::this_thread::sleep_until(next);
            next += 20ms;
            const auto* p = reinterpret_cast<const char*>(chunk.data());
            std::size_t left = chunk.size() * 2;
            while (left > 0) {
                const ssize_t w = ::write(fd_, p, left);
                if (w <= 0)
                    return;
                p += w;
                left -= static_cast<std::size_t>(w);
            }
        };
        for (int b = 0; b < Bursts; ++b) {
            for (int i = 0; i < LeadChunks; ++i)
                put(silence);
            for (int i = 0; i < ToneChunks; ++i) {
                for (auto& s : tone) {
                    phase += 2 * M_PI * 440.0 / Rate;
                    s = static_cast<std::int16_t>(8000 * std::sin(phase));
                }
                if (i == 0)
                    starts_.push_back(Clock::now());
                put(tone);
            }
            for (int i = 0; i < TailChunks; ++i)
                put(silence);
        }
    }

    int fd_;
    std::atomic<bool> running_{false};
    std::thread thread_;
    std::vector<Clock::time_point> starts_;
};

// Pairs each burst with the first sound after it.
void collectDelays(const std::vector<Clock::time_point>& starts, const std::vector<Clock::time_point>& onsets,
                   Stats& delays) {
    for (auto start : starts) {
        const auto it = std::find_if(onsets.begin(), onsets.end(), [&](auto t) { return t > start; });
        if (it != onsets.end() && *it - start < 5s)
            delays.add(ms(*it - start));
        else
            std::printf("a burst did not come out\n");
    }
}

// Runs the event loop, as the wizard does (the capture notifications come
// through it), while the feed writes and then for `settle` more.
template <typename Feed> void runEventLoop(Feed& feed, std::chrono::milliseconds settle) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!feed.running()) {
            poll.stop();
            QTimer::singleShot(settle, &loop, &QEventLoop::quit);
        }
    });
    poll.start(50);
    loop.exec();
    feed.wait();
}

std::int32_t deviceNamed(PulseAudioPlatform& platform, bool input, const char* name) {
    const std::uint32_t count = input ? platform.waveInCount() : platform.waveOutCount();
    for (std::uint32_t d = 0; d < count; ++d) {
        std::string found;
        if (input) {
            WaveInCaps caps;
            if (platform.waveInCaps(d, caps) == MMSYSERR_NOERROR)
                found = fixedText(caps.productName);
        } else {
            WaveOutCaps caps;
            if (platform.waveOutCaps(d, caps) == MMSYSERR_NOERROR)
                found = fixedText(caps.productName);
        }
        if (found == name)
            return static_cast<std::int32_t>(d);
    }
    return -1;
}

double runSeconds() {
    return (LeadChunks + ToneChunks + TailChunks) * Bursts * 0.02;
}

int loop(const char* server, const std::string& src, const std::string& sinkPath, pid_t daemon, int runs) {
    PulseAudioPlatform platform(server);
    if (!platform.connected()) {
        std::printf("no server at %s\n", server);
        return 1;
    }
    SystemTestSettings settings;
    settings.audioInDeviceID = deviceNamed(platform, true, "Pipe_Source");
    settings.audioOutDeviceID = deviceNamed(platform, false, "Pipe_Sink");
    SinkWatch sink(sinkPath);
    SourceFeed feed(src);
    MicrophonePage page(platform, settings);
    page.enterMicrophonePage();

    Stats delays, stops, startToReady;
    double ownCpu = 0, daemonCpu = 0, seconds = 0;
    for (int r = 0; r < runs; ++r) {
        sink.clear();
        const auto pressed = Clock::now();
        page.onStartClicked();
        startToReady.add(ms(Clock::now() - pressed));
        if (!page.mikeTestRunning()) {
            std::printf("the loop did not start\n");
            return 1;
        }
        const double own0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID), daemon0 = processCpu(daemon);
        const auto t0 = Clock::now();
        feed.start();
        runEventLoop(feed, 700ms); // the last block comes round before Stop
        seconds += std::chrono::duration<double>(Clock::now() - t0).count();
        ownCpu += cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - own0;
        daemonCpu += processCpu(daemon) - daemon0;

        const auto stopAt = Clock::now();
        page.stopMikeTest();
        stops.add(ms(Clock::now() - stopAt));
        collectDelays(feed.starts(), sink.onsets(), delays);
    }
    std::printf("== the wizard's loop (%d runs of %.0f s)\n", runs, runSeconds());
    delays.print("tone in -> tone out");
    stops.print("Stop (stopMikeTest)");
    startToReady.print("Start (btnStartMikeClick)");
    std::printf("%-34s wizard %.2f %% (with the bench's fifo threads), daemon %.2f %% of one core\n",
                "CPU while the loop runs", 100 * ownCpu / seconds, 100 * daemonCpu / seconds);
    return 0;
}

int pipeline(const std::string& src, const std::string& sinkPath, pid_t daemon, int runs,
             const char* command) {
    SinkWatch sink(sinkPath);
    SourceFeed feed(src);
    Stats delays;
    double childCpu = 0, daemonCpu = 0, ownCpu = 0, seconds = 0;
    for (int r = 0; r < runs; ++r) {
        sink.clear();
        const pid_t child = fork();
        if (child == 0) {
            setpgid(0, 0);
            execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
            _exit(127);
        }
        setpgid(child, child);
        std::this_thread::sleep_for(1s); // let both streams connect
        rusage before{};
        getrusage(RUSAGE_CHILDREN, &before);
        const double daemon0 = processCpu(daemon), own0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const auto t0 = Clock::now();
        feed.start();
        feed.wait();
        std::this_thread::sleep_for(3s); // generous: the pipeline buffers more
        seconds += std::chrono::duration<double>(Clock::now() - t0).count();
        daemonCpu += processCpu(daemon) - daemon0;
        ownCpu += cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - own0;
        kill(-child, SIGTERM);
        int status = 0;
        waitpid(child, &status, 0);
        rusage after{};
        getrusage(RUSAGE_CHILDREN, &after);
        auto secs = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
        childCpu +=
            secs(after.ru_utime) + secs(after.ru_stime) - secs(before.ru_utime) - secs(before.ru_stime);
        collectDelays(feed.starts(), sink.onsets(), delays);
    }
    std::printf("== %s (%d runs)\n", command, runs);
    delays.print("tone in -> tone out");
    std::printf("%-34s pipeline %.2f %% (their whole lives, start-up included), daemon %.2f %% "
                "of one core\n",
                "CPU while it runs", 100 * childCpu / seconds, 100 * daemonCpu / seconds);
    std::printf("%-34s %.2f %% of one core (feeding and watching the fifos)\n", "CPU of this bench alone",
                100 * ownCpu / seconds);
    return 0;
}

// Everything the pipe sink plays, with the time each read from its fifo
// came back: sample k came out at the end time of its read less the samples
// after it in that read.
class SinkRecorder {
public:
    explicit SinkRecorder(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
        if (fd_ < 0)
            throw std::runtime_error("cannot open " + path);
        thread_ = std::thread([this] { run(); });
    }
    ~SinkRecorder() {
        stop();
        ::close(fd_);
    }
    void stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    // Call after stop().
    const std::vector<std::int16_t>& samples() const { return samples_; }
    Clock::time_point timeOf(std::size_t k) const {
        const auto it = std::lower_bound(reads_.begin(), reads_.end(), k + 1,
                                         [](const Read& r, std::size_t end) { return r.end < end; });
        const Read& r = it == reads_.end() ? reads_.back() : *it;
        return r.at - std::chrono::microseconds(
                          (static_cast<long long>(r.end) - 1 - static_cast<long long>(k)) * 1000000 / Rate);
    }

private:
    struct Read {
        std::size_t end; // samples read so far
        Clock::time_point at;
    };
    void run() {
        std::vector<std::uint8_t> buffer(4096);
        std::vector<std::uint8_t> bytes;
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 2) <= 0)
                continue;
            const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
            if (n <= 0)
                continue;
            const auto now = Clock::now();
            bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + n);
            const std::size_t whole = bytes.size() / 2;
            for (std::size_t i = 0; i < whole; ++i)
                samples_.push_back(static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8));
            bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(whole * 2));
            reads_.push_back({samples_.size(), now});
        }
    }

    int fd_;
    std::atomic<bool> stop_{false};
    std::vector<std::int16_t> samples_;
    std::vector<Read> reads_;
    std::thread thread_;
};

// Writes `samples` into the source fifo at the pace of real time, 20 ms at
// a time; sample i went in at start() + i / Rate.
class SpeechFeed {
public:
    SpeechFeed(const std::string& path, std::vector<std::int16_t> samples)
        : fd_(::open(path.c_str(), O_WRONLY | O_CLOEXEC)), samples_(std::move(samples)) {
        if (fd_ < 0)
            throw std::runtime_error("cannot open " + path);
    }
    ~SpeechFeed() {
        if (thread_.joinable())
            thread_.join();
        ::close(fd_);
    }
    void start() {
        start_ = Clock::now();
        running_ = true;
        thread_ = std::thread([this] {
            auto next = start_;
            for (std::size_t at = 0; at < samples_.size(); at += ChunkSamples) {
                std::this_thread::sleep_until(next);
                next += 20ms;
                const std::size_t n = std::min<std::size_t>(ChunkSamples, samples_.size() - at);
                const auto* p = reinterpret_cast<const char*>(samples_.data() + at);
                std::size_t left = n * 2;
                while (left > 0) {
                    pollfd pf{fd_, POLLOUT, 0};
                    if (::poll(&pf, 1, 2000) <= 0) {
                        std::printf("the pipe source stopped taking samples\n");
                        running_ = false;
                        return;
                    }
                    const ssize_t w = ::write(fd_, p, left);
                    if (w <= 0)
                        break;
                    p += w;
                    left -= static_cast<std::size_t>(w);
                }
            }
            running_ = false;
        });
    }
    bool running() const { return running_; }
    void wait() {
        if (thread_.joinable())
            thread_.join();
    }
    Clock::time_point timeOf(std::size_t i) const {
        return start_ + std::chrono::microseconds(static_cast<long long>(i) * 1000000 / Rate);
    }
    const std::vector<std::int16_t>& samples() const { return samples_; }

private:
    int fd_;
    std::vector<std::int16_t> samples_;
    Clock::time_point start_;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

// Normalised cross-correlation of in[i, i + n) with out[k, k + n).
double correlation(const std::vector<std::int16_t>& in, std::size_t i, const std::vector<std::int16_t>& out,
                   std::size_t k, std::size_t n) {
    double xy = 0, xx = 0, yy = 0;
    for (std::size_t j = 0; j < n; ++j) {
        const double x = in[i + j], y = out[k + j];
        xy += x * y;
        xx += x * x;
        yy += y * y;
    }
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
}

// Where the window in[i, i + n) best matches the output, searching output
// positions [from, to); npos when nothing correlates well (GSM 6.10 keeps the
// waveform of speech: a true match correlates far above 0.8).
std::size_t findWindow(const std::vector<std::int16_t>& in, std::size_t i,
                       const std::vector<std::int16_t>& out, std::size_t from, std::size_t to,
                       std::size_t n) {
    to = std::min(to, out.size() >= n ? out.size() - n + 1 : 0);
    double best = 0.8;
    std::size_t at = std::string::npos;
    for (std::size_t k = from; k < to; ++k)
        if (const double c = correlation(in, i, out, k, n); c > best) {
            best = c;
            at = k;
        }
    return at;
}

// Follows the speech through the output 100 ms at a time: the offset
// between output and input positions stays the same while the sound flows
// and grows by the length of every stretch of silence inserted (a gap);
// audio left out makes it shrink.
void analyseSpeech(const SpeechFeed& feed, const SinkRecorder& sink) {
    const std::vector<std::int16_t>& in = feed.samples();
    const std::vector<std::int16_t>& out = sink.samples();
    constexpr std::size_t Window = Rate / 10;
    constexpr std::size_t Near = Rate / 20; // a gap or a cut of up to 50 ms between two windows
    Stats delays, firstSecond;
    std::vector<double> gaps, cuts;
    std::vector<double> gapsAt;      // input time of each gap, in seconds
    std::optional<long long> offset; // output position less input position
    double endDelay = 0;
    std::size_t matched = 0, windows = 0;
    for (std::size_t i = 0; i + Window <= in.size(); i += Window) {
        double energy = 0;
        for (std::size_t j = i; j < i + Window; ++j)
            energy += double(in[j]) * in[j];
        if (std::sqrt(energy / Window) < 300)
            continue; // a pause between words says nothing
        ++windows;
        std::size_t k = std::string::npos;
        if (offset) {
            const long long guess = static_cast<long long>(i) + *offset;
            k = findWindow(in, i, out, static_cast<std::size_t>(std::max(0LL, guess - long(Near))),
                           static_cast<std::size_t>(std::max(0LL, guess + long(Near) + 1)), Window);
        }
        if (k == std::string::npos && offset) { // a jump beyond the near search
            const long long guess = static_cast<long long>(i) + *offset;
            const long long reach = 3 * long(Rate) / 2;
            k = findWindow(in, i, out, static_cast<std::size_t>(std::max(0LL, guess - reach)),
                           static_cast<std::size_t>(guess + reach), Window);
        }
        if (k == std::string::npos && !offset) // the first window: anywhere after its input
            k = findWindow(in, i, out, i, out.size(), Window);
        if (k == std::string::npos)
            continue;
        ++matched;
        const long long now = static_cast<long long>(k) - static_cast<long long>(i);
        // A sample either way is the codec, not the timing.
        if (offset && std::abs(now - *offset) > 2) {
            const double step = 1000.0 * double(now - *offset) / Rate;
            (step > 0 ? gaps : cuts).push_back(std::abs(step));
            if (step > 0)
                gapsAt.push_back(double(i) / Rate);
        }
        if (!offset || std::abs(now - *offset) > 2)
            offset = now;
        const double delay = ms(sink.timeOf(k) - feed.timeOf(i));
        delays.add(delay);
        if (double(i) < Rate)
            firstSecond.add(delay);
        endDelay = delay;
    }
    double gapTotal = 0, cutTotal = 0;
    for (double g : gaps)
        gapTotal += g;
    for (double c : cuts)
        cutTotal += c;
    std::printf("%-34s %zu of %zu windows of 100 ms with speech found\n", "speech found again", matched,
                windows);
    std::printf("%-34s %zu, %.1f ms in all", "gaps (silence inserted)", gaps.size(), gapTotal);
    for (std::size_t g = 0; g < gaps.size(); ++g)
        std::printf(" %.1f (at %.1f s)", gaps[g], gapsAt[g]);
    std::printf("\n%-34s %zu, %.1f ms in all\n", "audio left out", cuts.size(), cutTotal);
    delays.print("delay over the run");
    firstSecond.print("delay in the first second");
    std::printf("%-34s %.1f ms\n", "delay at the end", endDelay);
}

std::vector<std::int16_t> readRaw(const char* path) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

int speech(const char* server, const std::string& src, const std::string& sinkPath, const char* raw,
           const char* command) {
    SpeechFeed feed(src, readRaw(raw));
    SinkRecorder sink(sinkPath);
    if (command) {
        const pid_t child = fork();
        if (child == 0) {
            setpgid(0, 0);
            execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
            _exit(127);
        }
        setpgid(child, child);
        std::this_thread::sleep_for(1s); // let both streams connect
        feed.start();
        feed.wait();
        std::this_thread::sleep_for(3s); // the pipeline may buffer more
        kill(-child, SIGTERM);
        waitpid(child, nullptr, 0);
        sink.stop();
        std::printf("== %s, %.0f s of speech\n", command, double(feed.samples().size()) / Rate);
    } else {
        PulseAudioPlatform platform(server);
        if (!platform.connected()) {
            std::printf("no server at %s\n", server);
            return 1;
        }
        SystemTestSettings settings;
        settings.audioInDeviceID = deviceNamed(platform, true, "Pipe_Source");
        settings.audioOutDeviceID = deviceNamed(platform, false, "Pipe_Sink");
        MicrophonePage page(platform, settings);
        page.enterMicrophonePage();
        page.onStartClicked();
        if (!page.mikeTestRunning()) {
            std::printf("the loop did not start\n");
            return 1;
        }
        feed.start();
        runEventLoop(feed, 1500ms);
        page.stopMikeTest();
        sink.stop();
        std::printf("== the wizard's loop, %.0f s of speech\n", double(feed.samples().size()) / Rate);
    }
    analyseSpeech(feed, sink);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "loop" && argc >= 7) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return loop(argv[2], argv[3], argv[4], static_cast<pid_t>(std::atoi(argv[5])), std::atoi(argv[6]));
    }
    if (mode == "speech" && argc >= 6) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return speech(argv[2], argv[3], argv[4], argv[5], argc >= 7 ? argv[6] : nullptr);
    }
    if (mode == "pipeline" && argc >= 7)
        return pipeline(argv[2], argv[3], static_cast<pid_t>(std::atoi(argv[4])), std::atoi(argv[5]),
                        argv[6]);
    std::fprintf(stderr,
                 "usage: %s loop SERVER SRC_FIFO SINK_FIFO DAEMON_PID RUNS\n"
                 "       %s pipeline SRC_FIFO SINK_FIFO DAEMON_PID RUNS COMMAND\n"
                 "       %s speech SERVER SRC_FIFO SINK_FIFO SPEECH_RAW [COMMAND]\n",
                 argv[0], argv[0], argv[0]);
    return 2;
}
