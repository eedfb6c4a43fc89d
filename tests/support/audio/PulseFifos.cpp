#include "support/audio/PulseFifos.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace tavora::test {

std::string pulseDir() {
    const char* dir = std::getenv("TAVORA_TEST_PULSE_DIR");
    return dir ? dir : "";
}

std::string pulseServer() {
    const std::string dir = pulseDir();
    return dir.empty() ? std::string() : "unix:" + dir + "/run/native";
}

namespace {

// Streams of `kind` ("sink-inputs", "source-outputs") that name this
// process as theirs.
int countOwnStreams(const std::string& server, const char* kind) {
    bool ok = false;
    std::istringstream out(pactl(std::string("list ") + kind, &ok, server));
    const std::string mine = "application.process.id = \"" + std::to_string(::getpid()) + "\"";
    int count = 0;
    for (std::string line; std::getline(out, line);)
        if (line.find(mine) != std::string::npos)
            ++count;
    return ok ? count : -1;
}

int countEntries(const char* directory) {
    DIR* dir = ::opendir(directory);
    if (!dir)
        return -1;
    int n = 0;
    while (const dirent* e = ::readdir(dir))
        if (e->d_name[0] != '.')
            ++n;
    ::closedir(dir);
    return n - (std::string(directory) == "/proc/self/fd" ? 1 : 0); // the listing's own
}

} // namespace

LoadedPulseModule::LoadedPulseModule(const std::string& arguments) {
    bool ok = false;
    std::istringstream out(pactl("load-module " + arguments, &ok));
    if (int index = -1; out >> index && ok)
        index_ = index;
}

LoadedPulseModule::~LoadedPulseModule() {
    unload();
}

bool LoadedPulseModule::unload() {
    if (index_ < 0)
        return false;
    bool ok = false;
    pactl("unload-module " + std::to_string(index_), &ok);
    index_ = -1;
    return ok;
}

OwnPulseDaemon::OwnPulseDaemon() {
    const char* script = std::getenv("TAVORA_PULSE_HARNESS");
    char pattern[] = "/tmp/tavora-pulse-XXXXXX";
    if (script && ::mkdtemp(pattern)) {
        script_ = script;
        dir_ = pattern;
    }
}

OwnPulseDaemon::~OwnPulseDaemon() {
    stop();
    if (!dir_.empty())
        std::system(("rm -rf '" + dir_ + "'").c_str());
}

bool OwnPulseDaemon::start() {
    return available() &&
           std::system(("'" + script_ + "' start '" + dir_ + "' >/dev/null 2>&1").c_str()) == 0;
}

void OwnPulseDaemon::stop() {
    if (available())
        std::system(("'" + script_ + "' stop '" + dir_ + "' >/dev/null 2>&1").c_str());
}

ServerStreams ownServerStreams(const std::string& server) {
    return {countOwnStreams(server, "sink-inputs"), countOwnStreams(server, "source-outputs")};
}

ProcessResources processResources() {
    return {countEntries("/proc/self/fd"), countEntries("/proc/self/task")};
}

long long heapInUse() {
    ::malloc_trim(0);
    return static_cast<long long>(::mallinfo2().uordblks);
}

std::string RunLeaks::afterRun() {
    const ServerStreams left = ownServerStreams(server_);
    if (!first_) {
        first_ = processResources();
        firstHeap_ = heapInUse();
    }
    if (left.sinkInputs == 0 && left.sourceOutputs == 0)
        return {};
    return std::to_string(left.sinkInputs) + " playback and " + std::to_string(left.sourceOutputs) +
           " recording streams left on the server";
}

std::string RunLeaks::grown(std::optional<long long> heapSlack) const {
    if (!first_)
        return "no run was counted";
    const ProcessResources now = processResources();
    std::string grew;
    if (now.fds > first_->fds)
        grew += "file descriptors " + std::to_string(first_->fds) + " -> " + std::to_string(now.fds) + "; ";
    if (now.threads > first_->threads)
        grew += "threads " + std::to_string(first_->threads) + " -> " + std::to_string(now.threads) + "; ";
    if (const long long heap = heapInUse() - firstHeap_; heapSlack && heap > *heapSlack)
        grew +=
            "heap in use +" + std::to_string(heap) + " bytes (allowed " + std::to_string(*heapSlack) + ")";
    return grew;
}

std::string pactl(const std::string& arguments, bool* ok, const std::string& server) {
    const std::string command = "pactl --server='" + server + "' " + arguments + " 2>/dev/null";
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (p) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
    }
    const bool succeeded = p && ::pclose(p) == 0;
    if (ok)
        *ok = succeeded;
    return out;
}

long pactlVolume(const std::string& what, const std::string& name) {
    const std::string out = pactl("get-" + what + "-volume " + name);
    std::smatch m;
    if (!std::regex_search(out, m, std::regex(R"(: (\d+) /)")))
        return -1;
    return std::stol(m[1]);
}

std::map<std::string, std::string> pactlSinkInputs() {
    // "list short" prints tab-separated rows: a sink's index and name, a
    // sink input's index and its sink's index.
    std::map<std::string, std::string> sinkNames;
    std::istringstream sinks(pactl("list short sinks"));
    for (std::string line; std::getline(sinks, line);) {
        std::istringstream fields(line);
        std::string index, name;
        if (fields >> index >> name)
            sinkNames[index] = name;
    }
    std::map<std::string, std::string> playing;
    std::istringstream inputs(pactl("list short sink-inputs"));
    for (std::string line; std::getline(inputs, line);) {
        std::istringstream fields(line);
        std::string index, sink;
        if (fields >> index >> sink)
            playing[index] = sinkNames.count(sink) ? sinkNames[sink] : "#" + sink;
    }
    return playing;
}

PipeSinkReader::PipeSinkReader(const std::string& fifo) {
    fd_ = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        throw std::runtime_error("cannot open " + fifo);
    clear();
    thread_ = std::thread([this] { run(); });
}

PipeSinkReader::~PipeSinkReader() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
}

void PipeSinkReader::run() {
    std::vector<std::uint8_t> buffer(4096);
    std::uint8_t odd = 0;
    bool haveOdd = false;
    while (!stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0)
            continue;
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n <= 0)
            continue;
        const auto now = std::chrono::steady_clock::now();
        std::lock_guard lock(mutex_);
        for (ssize_t i = 0; i < n; ++i) {
            if (!haveOdd) {
                odd = buffer[static_cast<std::size_t>(i)];
                haveOdd = true;
                continue;
            }
            const auto s = static_cast<std::int16_t>(
                odd | static_cast<std::uint16_t>(buffer[static_cast<std::size_t>(i)]) << 8);
            haveOdd = false;
            samples_.push_back(s);
            if (s != 0 && !firstSound_)
                firstSound_ = now;
        }
    }
}

void PipeSinkReader::clear() {
    std::lock_guard lock(mutex_);
    if (!thread_.joinable()) {
        std::uint8_t scratch[4096];
        while (::read(fd_, scratch, sizeof scratch) > 0) {
        }
    }
    samples_.clear();
    firstSound_.reset();
}

std::vector<std::int16_t> PipeSinkReader::samples() const {
    std::lock_guard lock(mutex_);
    return samples_;
}

bool PipeSinkReader::waitFor(const std::function<bool(const std::vector<std::int16_t>&)>& done,
                             std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (done(samples_))
                return true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::optional<std::chrono::steady_clock::time_point> PipeSinkReader::firstSound() const {
    std::lock_guard lock(mutex_);
    return firstSound_;
}

PipeSourceWriter::PipeSourceWriter(const std::string& fifo) {
    // The pipe source reads its fifo only while something records, so an
    // earlier test may have left samples in it; a new feed starts empty.
    if (const int stale = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); stale >= 0) {
        char buffer[4096];
        while (::read(stale, buffer, sizeof buffer) > 0) {
        }
        ::close(stale);
    }
    // The pipe source keeps the fifo open for reading, so this does not block.
    fd_ = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        throw std::runtime_error("cannot open " + fifo);
}

PipeSourceWriter::~PipeSourceWriter() {
    wait();
    ::close(fd_);
}

void PipeSourceWriter::wait() {
    if (thread_.joinable())
        thread_.join();
}

void PipeSourceWriter::write(std::vector<std::int16_t> samples, bool realTime) {
    wait();
    thread_ = std::thread([this, samples = std::move(samples), realTime] {
        constexpr std::size_t chunk = 160; // 20 ms
        auto next = std::chrono::steady_clock::now();
        for (std::size_t at = 0; at < samples.size(); at += chunk) {
            const std::size_t n = std::min(chunk, samples.size() - at);
            const auto* p = reinterpret_cast<const char*>(samples.data() + at);
            std::size_t left = n * 2;
            while (left > 0) {
                const ssize_t w = ::write(fd_, p, left);
                if (w < 0) {
                    if (errno == EINTR)
                        continue;
                    // A full fifo that nobody empties within two seconds
                    // ends the feed: the test then sees what was recorded
                    // instead of hanging on a source that stopped reading.
                    pollfd ready{fd_, POLLOUT, 0};
                    if (errno == EAGAIN && ::poll(&ready, 1, 2000) > 0)
                        continue;
                    return;
                }
                p += w;
                left -= static_cast<std::size_t>(w);
            }
            if (realTime) {
                next += std::chrono::milliseconds(20);
                std::this_thread::sleep_until(next);
            }
        }
    });
}

std::size_t findSamples(std::span<const std::int16_t> hay, std::span<const std::int16_t> needle) {
    if (needle.empty() || needle.size() > hay.size())
        return std::string::npos;
    const auto it = std::search(hay.begin(), hay.end(), needle.begin(), needle.end());
    return it == hay.end() ? std::string::npos : static_cast<std::size_t>(it - hay.begin());
}

std::vector<std::int16_t> testSignal(std::size_t samples, unsigned seed) {
    std::vector<std::int16_t> out(samples);
    double phaseA = 0, phaseB = 0;
    for (std::size_t i = 0; i < samples; ++i) {
        const std::size_t step = i / 800 + seed;
        const double fa = 200.0 + static_cast<double>((step * 37) % 900);
        const double fb = 330.0 + static_cast<double>((step * 53) % 1100);
        phaseA += 2 * M_PI * fa / 8000.0;
        phaseB += 2 * M_PI * fb / 8000.0;
        out[i] = static_cast<std::int16_t>(6000 * std::sin(phaseA) + 4000 * std::sin(phaseB));
        if (out[i] == 0)
            out[i] = 1; // no zero samples, so that the first sound is easy to see
    }
    return out;
}

} // namespace tavora::test
