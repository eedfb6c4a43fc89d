#include "platform/audio/Gsm610.h"
#include "platform/audio/PulseDevices.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>

namespace tavora::platform::audio {

namespace {

constexpr pa_usec_t FragmentUs = 20'000;

class PulseWaveIn final : public WaveInDevice, private PulseStreamDevice {
public:
    PulseWaveIn(std::shared_ptr<PulseAudioPlatform::Connection> connection, std::string device,
                const StreamFormat& format, const pa_sample_spec& sampleSpec, QObject* target)
        : PulseStreamDevice(std::move(connection), std::move(device), format, sampleSpec, target,
                            Direction::Input) {
        if (fmt_.kind == StreamFormat::Kind::Gsm)
            encoder_.emplace();
    }

    ~PulseWaveIn() override {
        MainloopLock lock(c_->loop);
        dropStream();
    }

    // With the lock held: connects the stream and waits until it runs.
    MmResult connect() {
        pa_buffer_attr attr;
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(FragmentUs, &spec_));
        // Recording begins with start(); until then the server sends nothing.
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
        if (MmResult r = openStream(attr, flags, nullptr))
            return r;
        post(WaveMessage::WimOpen, nullptr);
        return MMSYSERR_NOERROR;
    }

    MmResult prepareHeader(WaveHeader& header) override { return prepare(header); }
    MmResult unprepareHeader(WaveHeader& header) override { return unprepare(header); }

    MmResult addBuffer(WaveHeader& header) override {
        MainloopLock lock(c_->loop);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        if (failed())
            return failure();
        if (MmResult r = queueWaveHeader(header))
            return r;
        header.bytesRecorded = 0;
        entries_.push_back(&header);
        return MMSYSERR_NOERROR;
    }

    MmResult start() override {
        MainloopLock lock(c_->loop);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        if (failed())
            return failure();
        started_ = true;
        // Recording runs once start returns: sound that reaches the source
        // after this call is recorded, not lost while the server is still
        // being told to start.
        cork(false, true);
        return MMSYSERR_NOERROR;
    }

    MmResult stop() override {
        MainloopLock lock(c_->loop);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        started_ = false;
        cork(true);
        if (!entries_.empty() && entries_.front()->bytesRecorded > 0)
            finishHead();
        return MMSYSERR_NOERROR;
    }

    MmResult reset() override {
        MainloopLock lock(c_->loop);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        started_ = false;
        cork(true);
        if (ready())
            Operation(pa_stream_flush(stream_, nullptr, nullptr));
        returnAll();
        pending_.clear();
        recordedFrames_ = 0;
        if (fmt_.kind == StreamFormat::Kind::Gsm)
            encoder_.emplace();
        return MMSYSERR_NOERROR;
    }

    MmResult close() override {
        MainloopLock lock(c_->loop);
        return closeStream(!entries_.empty(), WaveMessage::WimClose);
    }

    MmResult position(MmTime& time) override {
        MainloopLock lock(c_->loop);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        fillPosition(time, recordedFrames_, fmt_);
        return MMSYSERR_NOERROR;
    }

private:
    void streamReadable() override { read(); }

    // Nothing more will be recorded: every buffer comes back now rather
    // than never.
    void streamLost() override {
        started_ = false;
        returnAll();
    }

    void finishHead() {
        WaveHeader* h = entries_.front();
        entries_.pop_front();
        markWaveHeaderDone(*h);
        post(WaveMessage::WimData, h);
    }

    void returnAll() {
        while (!entries_.empty())
            finishHead();
    }

    void read() {
        while (pa_stream_readable_size(stream_) > 0) {
            const void* data = nullptr;
            std::size_t n = 0;
            if (pa_stream_peek(stream_, &data, &n) < 0)
                return;
            if (!data && n == 0)
                return;
            // A hole (no data but a length) is lost audio: it is kept as
            // silence so that time stays right, and must still be dropped.
            if (started_) {
                if (data)
                    take(static_cast<const std::uint8_t*>(data), n);
                else
                    takeSilence(n);
            }
            pa_stream_drop(stream_);
        }
    }

    void takeSilence(std::size_t n) {
        std::vector<std::uint8_t> zeros(n, spec_.format == PA_SAMPLE_U8 ? 0x80 : 0);
        take(zeros.data(), n);
    }

    void take(const std::uint8_t* data, std::size_t n) {
        if (fmt_.kind == StreamFormat::Kind::Gsm) {
            pending_.insert(pending_.end(), data, data + n);
            std::size_t used = 0;
            while (pending_.size() - used >= gsm610::BlockPcmBytes) {
                std::int16_t block[gsm610::BlockSamples];
                std::memcpy(block, pending_.data() + used, gsm610::BlockPcmBytes);
                used += gsm610::BlockPcmBytes;
                recordedFrames_ += gsm610::BlockSamples;
                // A buffer with no room for a whole block goes back as it is.
                while (!entries_.empty() &&
                       entries_.front()->bufferLength - entries_.front()->bytesRecorded < gsm610::BlockBytes)
                    finishHead();
                if (entries_.empty())
                    continue; // no buffer: the block is lost, as on a full device
                WaveHeader* h = entries_.front();
                encoder_->encodeBlock(block, h->data + h->bytesRecorded);
                h->bytesRecorded += gsm610::BlockBytes;
                if (h->bufferLength - h->bytesRecorded < gsm610::BlockBytes)
                    finishHead();
            }
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used));
            return;
        }
        const std::size_t frame = pa_frame_size(&spec_);
        while (n > 0 && !entries_.empty()) {
            WaveHeader* h = entries_.front();
            const std::size_t room = (h->bufferLength - h->bytesRecorded) / frame * frame;
            const std::size_t k = std::min(room, n);
            std::memcpy(h->data + h->bytesRecorded, data, k);
            h->bytesRecorded += static_cast<std::uint32_t>(k);
            recordedFrames_ += k / frame;
            data += k;
            n -= k;
            if (h->bufferLength - h->bytesRecorded < frame)
                finishHead();
        }
        recordedFrames_ += n / frame; // recorded with nowhere to go
    }

    std::deque<WaveHeader*> entries_;
    std::vector<std::uint8_t> pending_; // linear audio not yet a whole block
    std::optional<gsm610::Encoder> encoder_;
    std::uint64_t recordedFrames_ = 0;
    bool started_ = false;
};

} // namespace

MmResult openPulseWaveIn(const std::shared_ptr<PulseAudioPlatform::Connection>& connection,
                         const std::string& device, const StreamFormat& format,
                         const pa_sample_spec& sampleSpec, QObject* target,
                         std::unique_ptr<WaveInDevice>& opened) {
    return openPulseDevice<PulseWaveIn>(connection, device, format, sampleSpec, target, opened);
}

} // namespace tavora::platform::audio
