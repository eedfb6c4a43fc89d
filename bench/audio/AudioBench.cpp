// Figures of the audio platform (see README.md):
//   bench-audio codec SPEECH.raw [ROUNDS]
//       CPU time to encode and decode the speech (8000 Hz mono s16le) with
//       the GSM 6.10 codec the wave devices convert with.
//   bench-audio latency SERVER SINK_FIFO DEVICE [COUNT]
//       time from a wave-out write to the first sound in the pipe sink's
//       fifo, for 16-bit PCM and for GSM 6.10 through the mapper.

#include "platform/audio/Gsm610.h"
#include "platform/audio/PulseAudioPlatform.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tavora;

using namespace tavora::platform::audio;
using Clock = std::chrono::steady_clock;

namespace {

double cpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int codec(const char* path, int rounds) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<std::int16_t> pcm(bytes.size() / 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    const std::size_t blocks = pcm.size() / gsm610::BlockSamples;
    const double seconds = static_cast<double>(pcm.size()) / 8000.0;
    std::vector<std::uint8_t> gsm(blocks * gsm610::BlockBytes);
    std::vector<std::int16_t> back(blocks * gsm610::BlockSamples);
    std::vector<double> enc, dec;
    for (int r = 0; r < rounds; ++r) {
        gsm610::Encoder e;
        gsm610::Decoder d;
        double t0 = cpuSeconds();
        e.encode(pcm, gsm);
        double t1 = cpuSeconds();
        d.decode(gsm, back);
        double t2 = cpuSeconds();
        enc.push_back(t1 - t0);
        dec.push_back(t2 - t1);
    }
    const double e = median(enc), d = median(dec);
    std::printf("audio: %.1f s of speech, %zu blocks, %d rounds (median)\n", seconds, blocks, rounds);
    std::printf("encode: %.1f ms CPU (%.0fx real time)\n", e * 1000, seconds / e);
    std::printf("decode: %.1f ms CPU (%.0fx real time)\n", d * 1000, seconds / d);
    std::printf("encode+decode: %.1f ms CPU (%.0fx real time)\n", (e + d) * 1000, seconds / (e + d));
    return 0;
}

// Reads the sink fifo and notes when a non-zero sample arrives.
class FifoWatch {
public:
    explicit FifoWatch(const char* path) : fd_(::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
        thread_ = std::thread([this] {
            std::uint8_t buf[4096];
            while (!stop_) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 5) <= 0)
                    continue;
                const ssize_t n = ::read(fd_, buf, sizeof buf);
                const auto now = Clock::now();
                bool sound = false;
                for (ssize_t i = 0; i + 1 < n; i += 2)
                    sound = sound || buf[i] != 0 || buf[i + 1] != 0;
                std::lock_guard lock(mutex_);
                if (sound && !first_)
                    first_ = now;
            }
        });
    }
    ~FifoWatch() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    void reset() {
        std::lock_guard lock(mutex_);
        first_.reset();
    }
    std::optional<Clock::time_point> first() {
        std::lock_guard lock(mutex_);
        return first_;
    }

private:
    int fd_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::optional<Clock::time_point> first_;
    std::thread thread_;
};

void pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!done() && Clock::now() < deadline) {
        QCoreApplication::processEvents();
        QThread::usleep(200);
    }
}

int latency(const char* server, const char* fifo, std::uint32_t device, int count) {
    PulseAudioPlatform platform(server);
    if (!platform.connected()) {
        std::fprintf(stderr, "no sound server at %s\n", server);
        return 1;
    }
    FifoWatch watch(fifo);
    if (!watch.ok())
        return 1;
    // 200 ms of a 440 Hz tone, as PCM and as GSM 6.10 blocks.
    std::vector<std::int16_t> tone(1600);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] =
            static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440 * static_cast<double>(i) / 8000) + 1);
    std::vector<std::uint8_t> pcmBytes(tone.size() * 2);
    std::memcpy(pcmBytes.data(), tone.data(), pcmBytes.size());
    std::vector<std::uint8_t> gsmBytes(5 * gsm610::BlockBytes);
    gsm610::Encoder().encode(tone, gsmBytes);

    const WaveFormatEx pcm = pcmFormat(8000, 16, 1);
    const Gsm610WaveFormat gsm = gsm610Format8k();
    struct Case {
        const char* name;
        const WaveFormatEx* format;
        std::uint32_t flags;
        std::vector<std::uint8_t>* data;
    } cases[] = {{"PCM 16-bit", &pcm, CALLBACK_WINDOW, &pcmBytes},
                 {"GSM 6.10 (mapper)", &gsm.wfx, CALLBACK_WINDOW | WAVE_MAPPED, &gsmBytes}};
    for (const Case& c : cases) {
        int done = 0;
        WaveNotifyReceiver receiver([&](WaveMessage m, WaveHeader*) { done += m == WaveMessage::WomDone; });
        std::unique_ptr<WaveOutDevice> dev;
        if (MmResult r = platform.openWaveOut(&dev, device, c.format, &receiver, c.flags)) {
            std::fprintf(stderr, "open failed: %u\n", r);
            return 1;
        }
        // Let the stream settle into steady silence first.
        pumpUntil([] { return false; }, std::chrono::milliseconds(300));
        std::vector<double> ms;
        for (int i = 0; i < count; ++i) {
            watch.reset();
            WaveHeader h;
            h.data = c.data->data();
            h.bufferLength = static_cast<std::uint32_t>(c.data->size());
            dev->prepareHeader(h);
            const auto t0 = Clock::now();
            dev->write(h);
            pumpUntil([&] { return watch.first().has_value(); }, std::chrono::seconds(5));
            if (auto t = watch.first())
                ms.push_back(std::chrono::duration<double, std::milli>(*t - t0).count());
            pumpUntil([&] { return done == i + 1; }, std::chrono::seconds(5));
            dev->unprepareHeader(h);
            pumpUntil([] { return false; }, std::chrono::milliseconds(100));
        }
        dev->close();
        std::sort(ms.begin(), ms.end());
        if (ms.empty())
            return 1;
        std::printf(
            "%s: write to first sound in the sink, %zu runs: min %.1f ms, median %.1f ms, max %.1f ms\n",
            c.name, ms.size(), ms.front(), ms[ms.size() / 2], ms.back());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc >= 3 && std::string(argv[1]) == "codec")
        return codec(argv[2], argc > 3 ? std::atoi(argv[3]) : 20);
    if (argc >= 5 && std::string(argv[1]) == "latency")
        return latency(argv[2], argv[3], static_cast<std::uint32_t>(std::atoi(argv[4])),
                       argc > 5 ? std::atoi(argv[5]) : 20);
    std::fprintf(stderr,
                 "usage: bench-audio codec SPEECH.raw [ROUNDS] | latency SERVER FIFO DEVICE [COUNT]\n");
    return 2;
}
