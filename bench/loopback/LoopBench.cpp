// Figures of the microphone loop (see README.md), on a private PulseAudio
// daemon with a pipe source and a pipe sink at 8000 Hz mono:
//   bench-loopback loop SERVER SRC_FIFO SINK_FIFO DAEMON_PID RUNS
//       the wizard's loop, run by its page: delay from a tone written into
//       the pipe source to the tone in the pipe sink, CPU of this process
//       and of the daemon while the loop runs, and the time Stop takes.
//   bench-loopback pipeline SRC_FIFO SINK_FIFO DAEMON_PID RUNS COMMAND
//       the same delay and CPU for a shell pipeline (COMMAND, run by sh)
//       such as `parec ... | pacat ...` on the same daemon.

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
void runEventLoop(SourceFeed& feed, std::chrono::milliseconds settle) {
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
    SystemTestSettings.AudioInDeviceID = deviceNamed(platform, true, "Pipe_Source");
    SystemTestSettings.AudioOutDeviceID = deviceNamed(platform, false, "Pipe_Sink");
    SinkWatch sink(sinkPath);
    SourceFeed feed(src);
    TMicrophonePage page(platform);
    page.EnterMicrophonePage();

    Stats delays, stops, startToReady;
    double ownCpu = 0, daemonCpu = 0, seconds = 0;
    for (int r = 0; r < runs; ++r) {
        sink.clear();
        const auto pressed = Clock::now();
        page.btnStartMikeClick();
        startToReady.add(ms(Clock::now() - pressed));
        if (!page.MikeTestRunning()) {
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
        page.StopMikeTest();
        stops.add(ms(Clock::now() - stopAt));
        collectDelays(feed.starts(), sink.onsets(), delays);
    }
    std::printf("== the wizard's loop (%d runs of %.0f s)\n", runs, runSeconds());
    delays.print("tone in -> tone out");
    stops.print("Stop (StopMikeTest)");
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

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "loop" && argc >= 7) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return loop(argv[2], argv[3], argv[4], static_cast<pid_t>(std::atoi(argv[5])), std::atoi(argv[6]));
    }
    if (mode == "pipeline" && argc >= 7)
        return pipeline(argv[2], argv[3], static_cast<pid_t>(std::atoi(argv[4])), std::atoi(argv[5]),
                        argv[6]);
    std::fprintf(stderr,
                 "usage: %s loop SERVER SRC_FIFO SINK_FIFO DAEMON_PID RUNS\n"
                 "       %s pipeline SRC_FIFO SINK_FIFO DAEMON_PID RUNS COMMAND\n",
                 argv[0], argv[0]);
    return 2;
}
