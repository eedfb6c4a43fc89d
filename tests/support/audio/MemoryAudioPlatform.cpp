#include "support/audio/MemoryAudioPlatform.h"

#include "platform/audio/MixerTopology.h"
#include "platform/audio/WaveDeviceSupport.h"

#include <QCoreApplication>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <thread>

namespace tavora::platform::audio {

namespace {

using Clock = std::chrono::steady_clock;

MmResult forced(const std::map<WaveOp, MmResult>& results, WaveOp op) {
    const auto it = results.find(op);
    return it == results.end() ? MMSYSERR_NOERROR : it->second;
}

// Turns a stretch of time into whole bytes of a format, carrying the
// fraction over to the next stretch so that nothing drifts.
std::uint64_t bytesForSpan(const StreamFormat& fmt, std::chrono::microseconds span, double& carry) {
    if (span.count() <= 0)
        return 0;
    const double exact =
        static_cast<double>(fmt.avgBytesPerSec) * static_cast<double>(span.count()) / 1e6 + carry;
    const auto whole = static_cast<std::uint64_t>(exact);
    carry = exact - static_cast<double>(whole);
    return whole;
}

// Runs `tick` with the time passed since the previous call, every few
// milliseconds, until stopped.
class ClockThread {
public:
    explicit ClockThread(std::function<void(std::chrono::microseconds)> tick)
        : thread_([this, tick = std::move(tick)] {
              auto last = Clock::now();
              std::unique_lock lock(mutex_);
              while (!stop_) {
                  cv_.wait_for(lock, std::chrono::milliseconds(5));
                  if (stop_)
                      break;
                  const auto now = Clock::now();
                  lock.unlock();
                  tick(std::chrono::duration_cast<std::chrono::microseconds>(now - last));
                  lock.lock();
                  last = now;
              }
          }) {}
    ~ClockThread() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stop_ = false;
    std::thread thread_;
};

void post(QObject* target, WaveMessage message, WaveHeader* header) {
    if (target)
        QCoreApplication::postEvent(target, new WaveNotifyEvent(message, header));
}

// What both directions of an in-memory device share: the lock, the state
// every call checks first, the notification target and the clock.
struct DeviceCore {
    QObject* target = nullptr;
    StreamFormat fmt;
    mutable std::mutex m;
    bool closed = false;
    std::map<WaveOp, MmResult> results;
    std::uint64_t positionBytes = 0;
    double carry = 0;
    std::unique_ptr<ClockThread> clock;

    // Runs `f` under the lock unless the device is closed or the test
    // forced an answer for `op`.
    template <typename F> MmResult call(WaveOp op, F f) {
        std::lock_guard lock(m);
        if (closed)
            return MMSYSERR_INVALHANDLE;
        if (MmResult r = forced(results, op))
            return r;
        return f();
    }

    template <typename F> auto locked(F f) const {
        std::lock_guard lock(m);
        return f();
    }

    // close(): refused while buffers are queued; the clock stops before the
    // close notification so that nothing is posted after it.
    template <typename F> MmResult close(F anyQueued, WaveMessage closeMessage) {
        const MmResult r = call(WaveOp::Close, [&] {
            if (anyQueued())
                return WAVERR_STILLPLAYING;
            closed = true;
            return MMSYSERR_NOERROR;
        });
        if (r != MMSYSERR_NOERROR)
            return r;
        clock.reset();
        std::lock_guard lock(m);
        post(target, closeMessage, nullptr);
        return MMSYSERR_NOERROR;
    }

    MmResult position(MmTime& time) {
        return call(WaveOp::Position, [&] {
            if (time.type == TIME_BYTES)
                time.value = static_cast<std::uint32_t>(positionBytes);
            else
                fillPosition(time, fmt.samplesIn(positionBytes), fmt);
            return MMSYSERR_NOERROR;
        });
    }
};

} // namespace

MemoryWaveDeviceSetup MemoryWaveDeviceSetup::named(std::string_view name, std::string_view serverName) {
    MemoryWaveDeviceSetup setup;
    setFixedText(setup.productName, name);
    setup.serverName = serverName;
    return setup;
}

// ---------------------------------------------------------------- output

struct MemoryWaveOut::State : DeviceCore {
    MemoryAudioPlatform* platform = nullptr;
    struct Entry {
        WaveHeader* header;
        std::uint32_t loopsLeft;
    };
    std::deque<Entry> queue;
    std::size_t headOffset = 0;
    bool paused = false;
    std::vector<std::uint8_t> played;
    std::uint32_t volume = 0xFFFFFFFF;

    void finishHead() {
        WaveHeader* h = queue.front().header;
        queue.pop_front();
        headOffset = 0;
        markWaveHeaderDone(*h);
        post(target, WaveMessage::WomDone, h);
    }

    // Plays up to `budget` bytes.
    void play(std::uint64_t budget) {
        while (budget > 0 && !queue.empty()) {
            Entry& e = queue.front();
            WaveHeader* h = e.header;
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(h->bufferLength - headOffset, budget));
            played.insert(played.end(), h->data + headOffset, h->data + headOffset + n);
            headOffset += n;
            budget -= n;
            positionBytes += n;
            if (headOffset < h->bufferLength)
                continue;
            if (e.loopsLeft > 1 && h->bufferLength > 0) {
                --e.loopsLeft;
                headOffset = 0;
            } else {
                finishHead();
            }
        }
    }
};

MemoryWaveOut::MemoryWaveOut(std::uint32_t deviceId, std::vector<std::uint8_t> format, QObject* callback,
                             std::uint32_t flags, std::map<WaveOp, MmResult> results, bool realTime)
    : deviceId_(deviceId), flags_(flags), format_(std::move(format)), s_(std::make_unique<State>()) {
    s_->target = callback;
    s_->results = std::move(results);
    checkWaveFormat(&this->format(), true, s_->fmt);
    if (realTime)
        s_->clock = std::make_unique<ClockThread>([this](std::chrono::microseconds span) { advance(span); });
}

MemoryWaveOut::~MemoryWaveOut() {
    s_->clock.reset();
    if (s_->platform)
        s_->platform->forget(this);
}

const WaveFormatEx& MemoryWaveOut::format() const {
    return *reinterpret_cast<const WaveFormatEx*>(format_.data());
}

std::size_t MemoryWaveOut::queued() const {
    return s_->locked([&] { return s_->queue.size(); });
}

bool MemoryWaveOut::paused() const {
    return s_->locked([&] { return s_->paused; });
}

bool MemoryWaveOut::closed() const {
    return s_->locked([&] { return s_->closed; });
}

std::vector<std::uint8_t> MemoryWaveOut::played() const {
    return s_->locked([&] { return s_->played; });
}

void MemoryWaveOut::setResult(WaveOp op, MmResult result) {
    s_->locked([&] { return s_->results[op] = result; });
}

bool MemoryWaveOut::completeNext() {
    std::lock_guard lock(s_->m);
    if (s_->queue.empty())
        return false;
    const State::Entry e = s_->queue.front();
    const std::uint64_t len = e.header->bufferLength;
    s_->play(len - s_->headOffset + len * (e.loopsLeft - 1));
    if (!s_->queue.empty() && s_->queue.front().header == e.header)
        s_->finishHead(); // an empty buffer plays in no time
    return true;
}

void MemoryWaveOut::advance(std::chrono::microseconds span) {
    std::lock_guard lock(s_->m);
    if (s_->paused || s_->closed)
        return;
    const std::uint64_t budget = bytesForSpan(s_->fmt, span, s_->carry);
    while (!s_->queue.empty() && s_->queue.front().header->bufferLength == 0)
        s_->finishHead();
    s_->play(budget);
}

MmResult MemoryWaveOut::prepareHeader(WaveHeader& header) {
    return s_->call(WaveOp::Prepare, [&] { return prepareWaveHeader(header); });
}

MmResult MemoryWaveOut::unprepareHeader(WaveHeader& header) {
    return s_->call(WaveOp::Unprepare, [&] { return unprepareWaveHeader(header); });
}

MmResult MemoryWaveOut::write(WaveHeader& header) {
    return s_->call(WaveOp::Write, [&] {
        const MmResult r = queueWaveHeader(header);
        if (r == MMSYSERR_NOERROR)
            s_->queue.push_back({&header, waveHeaderLoops(header)});
        return r;
    });
}

MmResult MemoryWaveOut::pause() {
    return s_->call(WaveOp::Pause, [&] { return s_->paused = true, MMSYSERR_NOERROR; });
}

MmResult MemoryWaveOut::restart() {
    return s_->call(WaveOp::Restart, [&] { return s_->paused = false, MMSYSERR_NOERROR; });
}

MmResult MemoryWaveOut::reset() {
    return s_->call(WaveOp::Reset, [&] {
        while (!s_->queue.empty())
            s_->finishHead();
        s_->paused = false;
        s_->positionBytes = 0;
        s_->carry = 0;
        return MMSYSERR_NOERROR;
    });
}

MmResult MemoryWaveOut::close() {
    return s_->close([&] { return !s_->queue.empty(); }, WaveMessage::WomClose);
}

MmResult MemoryWaveOut::position(MmTime& time) {
    return s_->position(time);
}

MmResult MemoryWaveOut::volume(std::uint32_t& value) {
    return s_->call(WaveOp::Volume, [&] { return value = s_->volume, MMSYSERR_NOERROR; });
}

MmResult MemoryWaveOut::setVolume(std::uint32_t value) {
    return s_->call(WaveOp::SetVolume, [&] { return s_->volume = value, MMSYSERR_NOERROR; });
}

MmResult MemoryWaveOut::pitch(std::uint32_t&) {
    return MMSYSERR_NOTSUPPORTED;
}
MmResult MemoryWaveOut::setPitch(std::uint32_t) {
    return MMSYSERR_NOTSUPPORTED;
}
MmResult MemoryWaveOut::playbackRate(std::uint32_t&) {
    return MMSYSERR_NOTSUPPORTED;
}
MmResult MemoryWaveOut::setPlaybackRate(std::uint32_t) {
    return MMSYSERR_NOTSUPPORTED;
}

// ---------------------------------------------------------------- input

struct MemoryWaveIn::State : DeviceCore {
    MemoryAudioPlatform* platform = nullptr;
    std::deque<WaveHeader*> queue;
    std::deque<std::uint8_t> source;
    bool started = false;

    void finishHead() {
        WaveHeader* h = queue.front();
        queue.pop_front();
        markWaveHeaderDone(*h);
        post(target, WaveMessage::WimData, h);
    }

    std::uint32_t block() const { return std::max<std::uint32_t>(fmt.blockAlign, 1); }
};

MemoryWaveIn::MemoryWaveIn(std::uint32_t deviceId, std::vector<std::uint8_t> format, QObject* callback,
                           std::uint32_t flags, std::map<WaveOp, MmResult> results, bool realTime)
    : deviceId_(deviceId), flags_(flags), format_(std::move(format)), s_(std::make_unique<State>()) {
    s_->target = callback;
    s_->results = std::move(results);
    checkWaveFormat(&this->format(), true, s_->fmt);
    if (realTime)
        s_->clock = std::make_unique<ClockThread>([this](std::chrono::microseconds span) { advance(span); });
}

MemoryWaveIn::~MemoryWaveIn() {
    s_->clock.reset();
    if (s_->platform)
        s_->platform->forget(this);
}

const WaveFormatEx& MemoryWaveIn::format() const {
    return *reinterpret_cast<const WaveFormatEx*>(format_.data());
}

std::size_t MemoryWaveIn::queued() const {
    return s_->locked([&] { return s_->queue.size(); });
}

bool MemoryWaveIn::started() const {
    return s_->locked([&] { return s_->started; });
}

bool MemoryWaveIn::closed() const {
    return s_->locked([&] { return s_->closed; });
}

void MemoryWaveIn::setResult(WaveOp op, MmResult result) {
    s_->locked([&] { return s_->results[op] = result; });
}

void MemoryWaveIn::appendSource(std::span<const std::uint8_t> bytes) {
    s_->locked([&] { return s_->source.insert(s_->source.end(), bytes.begin(), bytes.end()); });
}

bool MemoryWaveIn::deliver(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(s_->m);
    if (s_->queue.empty())
        return false;
    WaveHeader* h = s_->queue.front();
    const std::size_t n = std::min<std::size_t>(bytes.size(), h->bufferLength);
    std::copy_n(bytes.begin(), n, h->data);
    h->bytesRecorded = static_cast<std::uint32_t>(n);
    s_->positionBytes += n;
    s_->finishHead();
    return true;
}

void MemoryWaveIn::advance(std::chrono::microseconds span) {
    std::lock_guard lock(s_->m);
    if (!s_->started || s_->closed)
        return;
    const std::uint32_t block = s_->block();
    std::uint64_t budget = bytesForSpan(s_->fmt, span, s_->carry);
    // Whole blocks only; the rest of the budget waits for the next stretch.
    s_->carry += static_cast<double>(budget % block);
    budget -= budget % block;
    while (budget > 0 && !s_->queue.empty()) {
        WaveHeader* h = s_->queue.front();
        const std::uint32_t room = (h->bufferLength - h->bytesRecorded) / block * block;
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(room, budget));
        for (std::uint32_t i = 0; i < n; ++i) {
            std::uint8_t byte = 0;
            if (!s_->source.empty()) {
                byte = s_->source.front();
                s_->source.pop_front();
            }
            h->data[h->bytesRecorded + i] = byte;
        }
        h->bytesRecorded += n;
        budget -= n;
        s_->positionBytes += n;
        if (h->bufferLength - h->bytesRecorded < block)
            s_->finishHead();
    }
}

MmResult MemoryWaveIn::prepareHeader(WaveHeader& header) {
    return s_->call(WaveOp::Prepare, [&] { return prepareWaveHeader(header); });
}

MmResult MemoryWaveIn::unprepareHeader(WaveHeader& header) {
    return s_->call(WaveOp::Unprepare, [&] { return unprepareWaveHeader(header); });
}

MmResult MemoryWaveIn::addBuffer(WaveHeader& header) {
    return s_->call(WaveOp::Write, [&] {
        const MmResult r = queueWaveHeader(header);
        if (r == MMSYSERR_NOERROR) {
            header.bytesRecorded = 0;
            s_->queue.push_back(&header);
        }
        return r;
    });
}

MmResult MemoryWaveIn::start() {
    return s_->call(WaveOp::Start, [&] { return s_->started = true, MMSYSERR_NOERROR; });
}

MmResult MemoryWaveIn::stop() {
    return s_->call(WaveOp::Stop, [&] {
        s_->started = false;
        // A partly filled buffer comes back; empty ones stay queued.
        if (!s_->queue.empty() && s_->queue.front()->bytesRecorded > 0)
            s_->finishHead();
        return MMSYSERR_NOERROR;
    });
}

MmResult MemoryWaveIn::reset() {
    return s_->call(WaveOp::Reset, [&] {
        s_->started = false;
        while (!s_->queue.empty())
            s_->finishHead();
        s_->positionBytes = 0;
        s_->carry = 0;
        return MMSYSERR_NOERROR;
    });
}

MmResult MemoryWaveIn::close() {
    return s_->close([&] { return !s_->queue.empty(); }, WaveMessage::WimClose);
}

MmResult MemoryWaveIn::position(MmTime& time) {
    return s_->position(time);
}

// ---------------------------------------------------------------- mixer

MemoryMixerSetup MemoryMixerSetup::standard(std::string name, std::uint32_t speakerLevel,
                                            std::uint32_t micLevel, bool withBoost) {
    MemoryMixerSetup setup;
    setup.name = std::move(name);
    TopologyLine speakers{MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", 2, {}, {}};
    speakers.controls.push_back({MIXERCONTROL_CONTROLTYPE_VOLUME, "Volume", 0, {speakerLevel, speakerLevel}});
    speakers.controls.push_back({MIXERCONTROL_CONTROLTYPE_MUTE, "Mute", 0, {0, 0}});
    TopologyLine recording{MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording Control", 2, {}, {}};
    recording.controls.push_back({MIXERCONTROL_CONTROLTYPE_VOLUME, "Recording Volume", 0, {65535, 65535}});
    TopologyLine mic{MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone", 1, {}, {}};
    mic.controls.push_back({MIXERCONTROL_CONTROLTYPE_VOLUME, "Microphone Volume", 0, {micLevel}});
    if (withBoost)
        mic.controls.push_back({MIXERCONTROL_CONTROLTYPE_ONOFF, "Mic Boost", 0, {0}});
    recording.sources.push_back(std::move(mic));
    setup.destinations.push_back(std::move(speakers));
    setup.destinations.push_back(std::move(recording));
    return setup;
}

class MemoryAudioPlatform::MemoryMixer : public Mixer {
public:
    MemoryMixer(MemoryAudioPlatform& platform, std::uint32_t mixerId) : p_(platform), id_(mixerId) {}
    ~MemoryMixer() override {
        std::lock_guard lock(p_.mutex_);
        ++p_.mixerCounters_.closes;
        --p_.openMixers_;
    }

    MmResult lineInfo(MixerLine& line, std::uint32_t flags) override {
        std::lock_guard lock(p_.mutex_);
        return topologyLineInfo(lines(), line, flags);
    }

    MmResult lineControls(MixerLineControls& request, std::uint32_t flags) override {
        std::lock_guard lock(p_.mutex_);
        ++p_.mixerCounters_.lineControlsQueries;
        return topologyLineControls(lines(), request, flags);
    }

    MmResult controlDetails(MixerControlDetails& details, std::uint32_t flags) override {
        std::lock_guard lock(p_.mutex_);
        ++p_.mixerCounters_.detailReads;
        TopologyLine* line = nullptr;
        TopologyControl* c = nullptr;
        if (MmResult r = topologyDetailsControl(lines(), details, flags, line, c))
            return r;
        if (c->getResult != MMSYSERR_NOERROR)
            return c->getResult;
        const std::uint32_t items = std::max<std::uint32_t>(c->multipleItems, 1);
        for (std::uint32_t ch = 0; ch < details.channels; ++ch)
            for (std::uint32_t i = 0; i < items; ++i)
                details.values[ch * items + i] = c->values[ch * items + i];
        return MMSYSERR_NOERROR;
    }

    MmResult setControlDetails(const MixerControlDetails& details, std::uint32_t flags) override {
        std::lock_guard lock(p_.mutex_);
        ++p_.mixerCounters_.detailWrites;
        TopologyLine* line = nullptr;
        TopologyControl* c = nullptr;
        if (MmResult r = topologyDetailsControl(lines(), details, flags, line, c))
            return r;
        if (c->setResult != MMSYSERR_NOERROR)
            return c->setResult;
        const std::uint32_t items = std::max<std::uint32_t>(c->multipleItems, 1);
        // One channel on a line of several sets them all alike.
        for (std::uint32_t ch = 0; ch < line->channels; ++ch)
            for (std::uint32_t i = 0; i < items; ++i) {
                const std::uint32_t from = details.channels == 1 ? i : ch * items + i;
                c->values[ch * items + i] = details.values[from];
            }
        return MMSYSERR_NOERROR;
    }

private:
    MixerTopology& lines() { return p_.mixers_[id_].destinations; }

    MemoryAudioPlatform& p_;
    std::uint32_t id_;
};

// ---------------------------------------------------------------- platform

MemoryAudioPlatform::MemoryAudioPlatform() : codecs_(TableCodecManager::standardDrivers()) {}

MemoryAudioPlatform::~MemoryAudioPlatform() {
    // Devices that outlive the platform must not report back to it.
    std::lock_guard lock(mutex_);
    for (MemoryWaveOut* d : openOuts_)
        d->s_->platform = nullptr;
    for (MemoryWaveIn* d : openIns_)
        d->s_->platform = nullptr;
}

void MemoryAudioPlatform::addWaveOut(MemoryWaveDeviceSetup setup) {
    std::lock_guard lock(mutex_);
    outs_.push_back(std::move(setup));
}

void MemoryAudioPlatform::addWaveIn(MemoryWaveDeviceSetup setup) {
    std::lock_guard lock(mutex_);
    ins_.push_back(std::move(setup));
}

MemoryWaveDeviceSetup& MemoryAudioPlatform::waveOutSetup(std::uint32_t deviceId) {
    std::lock_guard lock(mutex_);
    return outs_.at(deviceId);
}

MemoryWaveDeviceSetup& MemoryAudioPlatform::waveInSetup(std::uint32_t deviceId) {
    std::lock_guard lock(mutex_);
    return ins_.at(deviceId);
}

void MemoryAudioPlatform::clearWaveDevices() {
    std::lock_guard lock(mutex_);
    outs_.clear();
    ins_.clear();
}

std::vector<MemoryWaveOut*> MemoryAudioPlatform::openedWaveOuts() const {
    std::lock_guard lock(mutex_);
    return openOuts_;
}

std::vector<MemoryWaveIn*> MemoryAudioPlatform::openedWaveIns() const {
    std::lock_guard lock(mutex_);
    return openIns_;
}

MemoryWaveOut* MemoryAudioPlatform::lastWaveOut() const {
    std::lock_guard lock(mutex_);
    return openOuts_.empty() ? nullptr : openOuts_.back();
}

MemoryWaveIn* MemoryAudioPlatform::lastWaveIn() const {
    std::lock_guard lock(mutex_);
    return openIns_.empty() ? nullptr : openIns_.back();
}

void MemoryAudioPlatform::forget(const void* device) {
    std::lock_guard lock(mutex_);
    std::erase(openOuts_, device);
    std::erase(openIns_, device);
}

std::uint32_t MemoryAudioPlatform::waveOutCount() {
    std::lock_guard lock(mutex_);
    return static_cast<std::uint32_t>(outs_.size());
}

std::uint32_t MemoryAudioPlatform::waveInCount() {
    std::lock_guard lock(mutex_);
    return static_cast<std::uint32_t>(ins_.size());
}

namespace {

template <typename Caps>
MmResult fillCaps(const std::vector<MemoryWaveDeviceSetup>& setups, std::uint32_t deviceId, Caps& caps) {
    if (deviceId == WAVE_MAPPER) {
        if (setups.empty())
            return MMSYSERR_NODRIVER;
        caps = Caps{};
        setFixedText(caps.productName, "Default Device");
        caps.formats = setups[0].formats;
        caps.channels = setups[0].channels;
        if constexpr (requires { caps.support; })
            caps.support = setups[0].support;
        return MMSYSERR_NOERROR;
    }
    if (deviceId >= setups.size())
        return MMSYSERR_BADDEVICEID;
    const MemoryWaveDeviceSetup& s = setups[deviceId];
    if (s.capsResult != MMSYSERR_NOERROR)
        return s.capsResult;
    caps = Caps{};
    caps.productName = s.productName;
    caps.formats = s.formats;
    caps.channels = s.channels;
    if constexpr (requires { caps.support; })
        caps.support = s.support;
    return MMSYSERR_NOERROR;
}

MmResult fillNames(const std::vector<MemoryWaveDeviceSetup>& setups, std::uint32_t deviceId,
                   WaveDeviceNames& names) {
    if (deviceId >= setups.size())
        return MMSYSERR_BADDEVICEID;
    const MemoryWaveDeviceSetup& s = setups[deviceId];
    if (s.capsResult != MMSYSERR_NOERROR)
        return s.capsResult;
    names.description = s.description.empty() ? fixedText(s.productName) : s.description;
    names.serverName = s.serverName;
    return MMSYSERR_NOERROR;
}

} // namespace

MmResult MemoryAudioPlatform::waveOutNames(std::uint32_t deviceId, WaveDeviceNames& names) {
    std::lock_guard lock(mutex_);
    return fillNames(outs_, deviceId, names);
}

MmResult MemoryAudioPlatform::waveInNames(std::uint32_t deviceId, WaveDeviceNames& names) {
    std::lock_guard lock(mutex_);
    return fillNames(ins_, deviceId, names);
}

MmResult MemoryAudioPlatform::waveOutCaps(std::uint32_t deviceId, WaveOutCaps& caps) {
    std::lock_guard lock(mutex_);
    return fillCaps(outs_, deviceId, caps);
}

MmResult MemoryAudioPlatform::waveInCaps(std::uint32_t deviceId, WaveInCaps& caps) {
    std::lock_guard lock(mutex_);
    return fillCaps(ins_, deviceId, caps);
}

template <typename Device, typename Interface>
MmResult MemoryAudioPlatform::openDevice(const std::vector<MemoryWaveDeviceSetup>& setups,
                                         std::vector<Device*>& opened, std::unique_ptr<Interface>* device,
                                         std::uint32_t deviceId, const WaveFormatEx* format,
                                         QObject* callback, std::uint32_t flags, WaveMessage openMessage) {
    std::unique_lock lock(mutex_);
    if (setups.empty())
        return deviceId == WAVE_MAPPER ? MMSYSERR_NODRIVER : MMSYSERR_BADDEVICEID;
    if (deviceId != WAVE_MAPPER && deviceId >= setups.size())
        return MMSYSERR_BADDEVICEID;
    if (MmResult r = checkOpenFlags(flags, callback))
        return r;
    StreamFormat fmt;
    if (MmResult r = checkWaveFormat(format, deviceId == WAVE_MAPPER || (flags & WAVE_MAPPED), fmt))
        return r;
    if (flags & WAVE_FORMAT_QUERY)
        return MMSYSERR_NOERROR;
    if (!device)
        return MMSYSERR_INVALPARAM;
    const MemoryWaveDeviceSetup& setup = setups[deviceId == WAVE_MAPPER ? 0 : deviceId];
    if (setup.openResult != MMSYSERR_NOERROR)
        return setup.openResult;
    QObject* target = (flags & CALLBACK_TYPEMASK) == CALLBACK_NULL ? nullptr : callback;
    std::unique_ptr<Device> d(
        new Device(deviceId, copyFormatRecord(*format), target, flags, setup.results, realTime_));
    d->s_->platform = this;
    opened.push_back(d.get());
    lock.unlock();
    {
        std::lock_guard deviceLock(d->s_->m);
        post(target, openMessage, nullptr);
    }
    *device = std::move(d);
    return MMSYSERR_NOERROR;
}

MmResult MemoryAudioPlatform::openWaveOut(std::unique_ptr<WaveOutDevice>* device, std::uint32_t deviceId,
                                          const WaveFormatEx* format, QObject* callback,
                                          std::uint32_t flags) {
    return openDevice(outs_, openOuts_, device, deviceId, format, callback, flags, WaveMessage::WomOpen);
}

MmResult MemoryAudioPlatform::openWaveIn(std::unique_ptr<WaveInDevice>* device, std::uint32_t deviceId,
                                         const WaveFormatEx* format, QObject* callback, std::uint32_t flags) {
    return openDevice(ins_, openIns_, device, deviceId, format, callback, flags, WaveMessage::WimOpen);
}

void MemoryAudioPlatform::addMixer(MemoryMixerSetup setup) {
    std::lock_guard lock(mutex_);
    assignLineIds(setup.destinations);
    auto prepareControls = [&](TopologyLine& line) {
        for (TopologyControl& c : line.controls) {
            if (c.controlId == 0)
                c.controlId = nextControlId_++;
            c.values.resize(std::size_t{line.channels} * std::max<std::uint32_t>(c.multipleItems, 1), 0);
        }
    };
    for (TopologyLine& dest : setup.destinations) {
        prepareControls(dest);
        for (TopologyLine& source : dest.sources)
            prepareControls(source);
    }
    mixers_.push_back(std::move(setup));
}

TopologyControl* MemoryAudioPlatform::findControl(std::uint32_t mixerId, std::string_view lineName,
                                                  std::string_view controlName) {
    std::lock_guard lock(mutex_);
    if (mixerId >= mixers_.size())
        return nullptr;
    return findTopologyControl(mixers_[mixerId].destinations,
                               [&](const TopologyLine& line, const TopologyControl& control) {
                                   return line.name == lineName && control.name == controlName;
                               });
}

MemoryMixerCounters MemoryAudioPlatform::mixerCounters() const {
    std::lock_guard lock(mutex_);
    return mixerCounters_;
}

int MemoryAudioPlatform::openMixers() const {
    std::lock_guard lock(mutex_);
    return openMixers_;
}

std::uint32_t MemoryAudioPlatform::mixerCount() {
    std::lock_guard lock(mutex_);
    return static_cast<std::uint32_t>(mixers_.size());
}

MmResult MemoryAudioPlatform::mixerCaps(std::uint32_t mixerId, MixerCaps& caps) {
    std::lock_guard lock(mutex_);
    if (mixerId >= mixers_.size())
        return MMSYSERR_BADDEVICEID;
    const MemoryMixerSetup& m = mixers_[mixerId];
    if (m.capsResult != MMSYSERR_NOERROR)
        return m.capsResult;
    caps = MixerCaps{};
    setFixedText(caps.productName, m.name);
    caps.destinations = static_cast<std::uint32_t>(m.destinations.size());
    return MMSYSERR_NOERROR;
}

MmResult MemoryAudioPlatform::openMixer(std::unique_ptr<Mixer>& mixer, std::uint32_t mixerId) {
    std::lock_guard lock(mutex_);
    if (mixerId >= mixers_.size())
        return MMSYSERR_BADDEVICEID;
    if (mixers_[mixerId].openResult != MMSYSERR_NOERROR)
        return mixers_[mixerId].openResult;
    ++mixerCounters_.opens;
    ++openMixers_;
    mixer = std::make_unique<MemoryMixer>(*this, mixerId);
    return MMSYSERR_NOERROR;
}

} // namespace tavora::platform::audio
