// Figures of the playback test (see README.md), on a private PulseAudio
// daemon whose pipe sink writes what it plays into a fifo:
//   bench-player SERVER SINK_FIFO [RUNS] [FULL_PLAYS]
// Play to first sound: the playback page's Play handler is run and the time
// to the first sample of the voice sample arriving from the fifo is taken,
// RUNS times (each run is stopped once the sound has arrived).
// CPU while playing: the process's CPU time over FULL_PLAYS whole plays of the
// sample (18.72 s each), less the fifo reader thread's own.

#include "audio/player/PlaybackPage.h"
#include "audio/player/WaveResource.h"
#include "platform/audio/PulseAudioPlatform.h"
#include "settings/SystemTestSettings.h"
#include "ui_PlaybackPage.h"

#include <gsm.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QIODevice>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tavora;

using namespace tavora::audio;
namespace mm = tavora::platform::audio;
using Clock = std::chrono::steady_clock;

namespace {

double cpuSeconds(clockid_t clock) {
    timespec ts;
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Reads the sink fifo and notes when the first non-zero sample arrives.
class SinkReader {
public:
    explicit SinkReader(const char* fifo) : fd_(open(fifo, O_RDONLY | O_NONBLOCK)) {
        if (fd_ < 0) {
            std::perror(fifo);
            std::exit(1);
        }
        thread_ = std::thread([this] { run(); });
    }
    ~SinkReader() {
        stop_ = true;
        thread_.join();
        close(fd_);
    }
    void arm() {
        std::lock_guard lock(mutex_);
        first_.reset();
    }
    std::optional<Clock::time_point> first() {
        std::lock_guard lock(mutex_);
        return first_;
    }
    // CPU time the reader thread has used so far.
    double cpuUsed() {
        clockid_t id;
        pthread_getcpuclockid(thread_.native_handle(), &id);
        return cpuSeconds(id);
    }

private:
    void run() {
        int16_t buffer[4096];
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            const auto now = Clock::now();
            for (ssize_t i = 0; i < n / 2; ++i) {
                if (buffer[i] != 0) {
                    std::lock_guard lock(mutex_);
                    if (!first_)
                        first_ = now;
                    break;
                }
            }
        }
    }

    int fd_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::optional<Clock::time_point> first_;
    std::thread thread_;
};

// Seconds of the sample before its first non-zero decoded sample.
double leadIn() {
    auto stream = openResourceStream("sample", "WAVE");
    WaveImage wave;
    wave.loadFromStream(*stream);
    gsm handle = gsm_create();
    int one = 1;
    gsm_option(handle, GSM_OPT_WAV49, &one);
    auto* data = reinterpret_cast<gsm_byte*>(wave.memory()) + wave.dataOffset();
    gsm_signal pcm[320];
    double lead = -1;
    for (uint32_t b = 0; b < wave.dataSize() / 65 && lead < 0; ++b) {
        gsm_decode(handle, data + b * 65, pcm);
        gsm_decode(handle, data + b * 65 + 33, pcm + 160);
        for (int i = 0; i < 320; ++i)
            if (pcm[i] != 0) {
                lead = (b * 320 + i) / 8000.0;
                break;
            }
    }
    gsm_destroy(handle);
    return lead;
}

bool runUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SERVER SINK_FIFO [RUNS] [FULL_PLAYS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 3 ? std::atoi(argv[3]) : 20;
    const int fullPlays = argc > 4 ? std::atoi(argv[4]) : 1;

    mm::PulseAudioPlatform platform(argv[1]);
    SystemTestSettings settings; // a stop asks to store them; nobody does here
    PlaybackPage page(platform, settings);
    page.enterPlaybackPage();
    const int pipe = page.ui->outputDeviceList->findText("Pipe_Sink");
    if (pipe < 0) {
        std::fprintf(stderr, "no Pipe_Sink device\n");
        return 1;
    }
    const double lead = leadIn();
    SinkReader reader(argv[2]);
    auto idle = [&] { return !page.samplePlayer->active(); };

    std::vector<double> latencies;
    for (int r = 0; r < runs; ++r) {
        page.ui->outputDeviceList->setCurrentIndex(pipe);
        runUntil([] { return false; }, 300); // the sink plays silence meanwhile
        reader.arm();
        const auto start = Clock::now();
        page.ui->playButton->click();
        if (!runUntil([&] { return reader.first().has_value(); }, 5000)) {
            std::fprintf(stderr, "no sound in run %d\n", r);
            return 1;
        }
        const double ms =
            std::chrono::duration<double, std::milli>(*reader.first() - start).count() - lead * 1000;
        latencies.push_back(ms);
        page.ui->stopButton->click();
        runUntil(idle, 5000);
    }
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty())
        std::printf("play_to_first_sound_ms min %.1f median %.1f max %.1f (runs %zu, sample lead-in %.1f ms "
                    "taken off)\n",
                    latencies.front(), latencies[latencies.size() / 2], latencies.back(), latencies.size(),
                    lead * 1000);

    for (int r = 0; r < fullPlays; ++r) {
        page.ui->outputDeviceList->setCurrentIndex(pipe);
        runUntil([] { return false; }, 300);
        const double cpu0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - reader.cpuUsed();
        const auto t0 = Clock::now();
        page.ui->playButton->click();
        // The event loop sleeps between events, so that the figure is the player's.
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (idle())
                loop.quit();
        });
        check.start(100);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        const double cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - reader.cpuUsed() - cpu0;
        std::printf("full_play wall %.2f s cpu %.3f s (%.2f %% of one core)\n", wall, cpu, 100 * cpu / wall);
    }
    return 0;
}
