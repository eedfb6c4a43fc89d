#include "platform/audio/Gsm610.h"
#include "platform/audio/OutputSoundStep.h"
#include "platform/audio/PulseDevices.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>

namespace tavora::platform::audio {

namespace {

// The server holds about this much audio ahead of what is heard; the rest
// waits in the buffers the caller queued, so a reset stops sound quickly.
// Less than this and a client thread kept off the processor on a busy
// machine lets the server run dry, which cuts a gap into the sound.
constexpr pa_usec_t TargetLatencyUs = 250'000;
constexpr pa_usec_t RequestUs = 25'000;
// Sound that starts from silence (the first buffer, or one written after the
// sound has stopped) gets this much silence in front of it: the room that
// lets the next buffer, written a little late, follow on without a gap. Paid
// once when the sound starts, not at every buffer.
constexpr pa_usec_t LeadInUs = 100'000;
// With every queued byte written, the sound stops once no more than this of
// it is left to be heard, in the server's queue and in the device: silence
// then goes after the last audio, so that a server that plays whole periods
// only does not hold back a tail shorter than one. A buffer written before
// that follows on without a gap. A device that takes its data well ahead of
// playing it (a sink with a buffer of its own) empties the queue early;
// stopping then would put silence in front of a buffer still on time.
constexpr pa_usec_t StopAtUs = 2 * RequestUs;

class PulseWaveOut final : public WaveOutDevice, private PulseStreamDevice {
public:
    PulseWaveOut(std::shared_ptr<PulseAudioPlatform::Connection> connection, std::string device,
                 const StreamFormat& format, const pa_sample_spec& sampleSpec, QObject* target)
        : PulseStreamDevice(std::move(connection), std::move(device), format, sampleSpec, target,
                            Direction::Output) {
        frameBytes_ = pa_frame_size(&spec_);
        if (fmt_.kind == StreamFormat::Kind::Gsm)
            decoder_.emplace();
    }

    ~PulseWaveOut() override {
        MainloopLock lock(c_->loop);
        dropStream();
    }

    // With the lock held: connects the stream and waits until it plays.
    MmResult connect() {
        if (MmResult r = startStream())
            return r;
        post(WaveMessage::WomOpen, nullptr);
        return MMSYSERR_NOERROR;
    }

    MmResult prepareHeader(WaveHeader& header) override { return prepare(header); }
    MmResult unprepareHeader(WaveHeader& header) override { return unprepare(header); }

    MmResult write(WaveHeader& header) override {
        MainloopLock lock(c_->loop);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        // The stream comes first: a buffer the device cannot take is not
        // queued, so it never comes back.
        if (MmResult r = ensureStream())
            return r;
        if (MmResult r = queueWaveHeader(header))
            return r;
        entries_.push_back(Entry{&header, waveHeaderLoops(header)});
        pump();
        return MMSYSERR_NOERROR;
    }

    MmResult pause() override {
        MainloopLock lock(c_->loop);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        paused_ = true;
        cork(true);
        return MMSYSERR_NOERROR;
    }

    MmResult restart() override {
        MainloopLock lock(c_->loop);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        paused_ = false;
        cork(false);
        pump();
        return MMSYSERR_NOERROR;
    }

    MmResult reset() override {
        MainloopLock lock(c_->loop);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        returnAll();
        paused_ = false;
        // What the server still holds goes with the stream. The next write
        // starts a fresh one, whose byte count starts at 0 again as the
        // position must (a flush would not do that); a stop, which resets
        // before it closes, then creates no stream only to end it again.
        dropStream();
        if (fmt_.kind == StreamFormat::Kind::Gsm)
            decoder_.emplace();
        return MMSYSERR_NOERROR;
    }

    MmResult close() override {
        MainloopLock lock(c_->loop);
        return closeStream(!entries_.empty(), WaveMessage::WomClose);
    }

    MmResult position(MmTime& time) override {
        MainloopLock lock(c_->loop);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        // A device whose stream the server ended plays nothing any more;
        // this is how its last buffers, handed back unplayed, say so.
        if (failed())
            return failure();
        const std::uint64_t played = playedBytes();
        std::uint64_t frames = completedFrames_;
        for (const Segment& seg : segments_) {
            if (seg.start >= played)
                break;
            frames += (std::min(seg.end, played) - seg.start) / frameBytes_;
        }
        fillPosition(time, frames, fmt_);
        return MMSYSERR_NOERROR;
    }

    MmResult volume(std::uint32_t& value) override {
        MainloopLock lock(c_->loop);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        if (MmResult r = ensureStream())
            return r;
        struct Request {
            pa_threaded_mainloop* loop;
            pa_cvolume volume{};
            bool done = false;
            bool found = false;
        } r{c_->loop};
        Operation op(pa_context_get_sink_input_info(
            c_->context, pa_stream_get_index(stream_),
            [](pa_context*, const pa_sink_input_info* info, int eol, void* userdata) {
                auto* req = static_cast<Request*>(userdata);
                if (eol == 0 && info) {
                    req->volume = info->volume;
                    req->found = true;
                    return;
                }
                req->done = true;
                pa_threaded_mainloop_signal(req->loop, 0);
            },
            &r));
        if (!op || !c_->waitFor([&] { return r.done; }, std::chrono::seconds(10)) || !r.found)
            return MMSYSERR_ERROR;
        const std::uint32_t left = pulseVolumeToLevel(r.volume.values[0]);
        const std::uint32_t right = pulseVolumeToLevel(r.volume.values[r.volume.channels > 1 ? 1 : 0]);
        value = left | right << 16;
        return MMSYSERR_NOERROR;
    }

    MmResult setVolume(std::uint32_t value) override {
        MainloopLock lock(c_->loop);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
        volume_ = streamVolume(value);
        if (!stream_)
            return failure(); // the next stream starts at this volume
        if (!ready())
            return failed() ? failure() : MMSYSERR_NODRIVER;
        Operation op(pa_context_set_sink_input_volume(c_->context, pa_stream_get_index(stream_), &*volume_,
                                                      nullptr, nullptr));
        return c_->waitOperation(op) ? MMSYSERR_NOERROR : c_->lastError();
    }

    MmResult pitch(std::uint32_t&) override { return MMSYSERR_NOTSUPPORTED; }
    MmResult setPitch(std::uint32_t) override { return MMSYSERR_NOTSUPPORTED; }
    MmResult playbackRate(std::uint32_t&) override { return MMSYSERR_NOTSUPPORTED; }
    MmResult setPlaybackRate(std::uint32_t) override { return MMSYSERR_NOTSUPPORTED; }

private:
    struct Entry {
        WaveHeader* header;
        std::uint32_t loopsLeft;
        std::uint32_t offset = 0;
        bool written = false;       // every byte is in the stream
        std::uint64_t endIndex = 0; // stream byte after its last one
    };
    // Stream bytes that carry the caller's audio (the rest is silence).
    struct Segment {
        std::uint64_t start;
        std::uint64_t end;
    };

    void streamWritable() override {
        pump();
        checkDone();
    }
    void streamRanDry() override { ranDry(); }

    // Nothing queued will ever play: every buffer comes back now rather
    // than never.
    void streamLost() override { returnAll(); }

    pa_cvolume streamVolume(std::uint32_t value) const {
        pa_cvolume v;
        pa_cvolume_init(&v);
        v.channels = spec_.channels;
        const pa_volume_t left = levelToPulseVolume(value & 0xFFFF);
        const pa_volume_t right = levelToPulseVolume(value >> 16);
        for (unsigned ch = 0; ch < v.channels; ++ch)
            v.values[ch] = ch == 1 ? right : left;
        return v;
    }

    // A stream for what is written next, unless the device has failed.
    MmResult ensureStream() {
        while (!stream_ && !failed())
            if (MmResult r = startStream())
                return r;
        return failure();
    }

    MmResult startStream() {
        pa_buffer_attr attr;
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(TargetLatencyUs, &spec_));
        // After running dry the server starts again as soon as anything comes
        // (at least the lead-in), not only once a whole target is there.
        attr.prebuf = static_cast<std::uint32_t>(pa_usec_to_bytes(RequestUs, &spec_));
        attr.minreq = static_cast<std::uint32_t>(pa_usec_to_bytes(RequestUs, &spec_));
        attr.fragsize = static_cast<std::uint32_t>(-1);
        auto flags =
            static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                           PA_STREAM_ADJUST_LATENCY | (paused_ ? PA_STREAM_START_CORKED : 0));
        writeIndex_ = 0;
        lastPlayed_ = 0;
        audioEnd_ = 0;
        dry_ = true;
        silenceDue_ = 0;
        return openStream(attr, flags, volume_ ? &*volume_ : nullptr);
    }

    void returnAll() {
        for (Entry& e : entries_) {
            markWaveHeaderDone(*e.header);
            post(WaveMessage::WomDone, e.header);
        }
        entries_.clear();
        cursor_ = 0;
        staging_.clear();
        stagingPos_ = 0;
        segments_.clear();
        completedFrames_ = 0;
    }

    void noteData(std::uint64_t start, std::size_t n) {
        if (!segments_.empty() && segments_.back().end == start)
            segments_.back().end += n;
        else
            segments_.push_back({start, start + n});
        audioEnd_ = start + n;
    }

    bool audioToWrite() const { return stagingPos_ < staging_.size() || cursor_ < entries_.size(); }

    // Ends the sound: the lead-in of whatever comes next goes after the last
    // audio at once, and carries out a tail the server may hold back.
    void stopSound() {
        dry_ = true;
        silenceDue_ = frames(LeadInUs);
    }

    // The server has played everything it was given. Once the silence after
    // the last audio has run out too, everything written has been heard.
    void ranDry() {
        if (paused_)
            return; // a paused stream plays nothing, and nothing has been heard
        if (audioToWrite()) {
            pump(); // the client was late: the server starts again with what comes
            return;
        }
        if (!dry_) {
            stopSound();
            pump();
            return;
        }
        if (silenceDue_ == 0) {
            lastPlayed_ = writeIndex_;
            checkDone();
        }
    }

    // Bytes of whole frames in `us` of sound.
    std::size_t frames(pa_usec_t us) const {
        const std::size_t n = pa_usec_to_bytes(us, &spec_);
        return n - n % frameBytes_;
    }

    // Writes what the server asks for: the caller's audio, after a lead-in of
    // silence when the sound starts from silence. With nothing queued, nothing
    // is written until the server is about to run out (it asks for more as it
    // plays, so what it holds is what it was given less what it asks for):
    // the next buffer, written before then, is heard right after the last
    // instead of behind silence.
    void pump() {
        if (!ready() || paused_)
            return;
        OutputSoundState state{!dry_, audioToWrite(), writeIndex_, playedBytes()};
        const std::size_t asked = pa_stream_writable_size(stream_);
        if (const pa_buffer_attr* attr = pa_stream_get_buffer_attr(stream_);
            attr && asked != static_cast<std::size_t>(-1)) {
            state.asked = asked;
            state.target = attr->tlength;
        }
        state.stopAt = frames(StopAtUs);
        switch (outputSoundStep(state)) {
        case OutputSoundStep::Stop:
            stopSound();
            break;
        case OutputSoundStep::leadIn: {
            // Silence written since the audio stopped and not yet heard
            // counts towards the lead-in.
            const std::uint64_t pending = writeIndex_ - std::max(state.played, audioEnd_);
            const std::size_t lead = frames(LeadInUs);
            silenceDue_ = pending >= lead ? 0 : lead - static_cast<std::size_t>(pending);
            dry_ = false;
            break;
        }
        case OutputSoundStep::KeepGoing:
            break;
        }
        if (!audioToWrite() && silenceDue_ == 0) {
            checkDone();
            return;
        }
        std::size_t len = pa_stream_writable_size(stream_);
        if (len == 0 || len == static_cast<std::size_t>(-1))
            return;
        void* buffer = nullptr;
        if (pa_stream_begin_write(stream_, &buffer, &len) < 0 || !buffer)
            return;
        len -= len % frameBytes_;
        if (len == 0) {
            pa_stream_cancel_write(stream_);
            return;
        }
        auto* out = static_cast<std::uint8_t*>(buffer);
        const std::uint8_t silence = spec_.format == PA_SAMPLE_U8 ? 0x80 : 0;
        std::size_t produced = std::min(silenceDue_, len);
        std::memset(out, silence, produced);
        silenceDue_ -= produced;
        while (produced < len && silenceDue_ == 0) {
            if (stagingPos_ < staging_.size()) {
                const std::size_t k = std::min(len - produced, staging_.size() - stagingPos_);
                std::memcpy(out + produced, staging_.data() + stagingPos_, k);
                noteData(writeIndex_ + produced, k);
                stagingPos_ += k;
                produced += k;
                continue;
            }
            if (cursor_ >= entries_.size())
                break;
            Entry& e = entries_[cursor_];
            WaveHeader* h = e.header;
            if (e.offset >= h->bufferLength) {
                if (e.loopsLeft > 1 && h->bufferLength > 0) {
                    --e.loopsLeft;
                    e.offset = 0;
                } else {
                    e.written = true;
                    e.endIndex = writeIndex_ + produced;
                    ++cursor_;
                }
                continue;
            }
            if (fmt_.kind == StreamFormat::Kind::Gsm) {
                if (h->bufferLength - e.offset < gsm610::BlockBytes) {
                    e.offset = h->bufferLength; // a partial block cannot be decoded
                    continue;
                }
                staging_.resize(gsm610::BlockPcmBytes);
                decoder_->decodeBlock(h->data + e.offset, reinterpret_cast<std::int16_t*>(staging_.data()));
                stagingPos_ = 0;
                e.offset += gsm610::BlockBytes;
                continue;
            }
            const std::size_t k = std::min<std::size_t>(len - produced, h->bufferLength - e.offset);
            std::memcpy(out + produced, h->data + e.offset, k);
            noteData(writeIndex_ + produced, k);
            e.offset += static_cast<std::uint32_t>(k);
            produced += k;
        }
        if (produced == 0) {
            pa_stream_cancel_write(stream_);
            checkDone();
            return;
        }
        if (pa_stream_write(stream_, buffer, produced, nullptr, 0, PA_SEEK_RELATIVE) == 0)
            writeIndex_ += produced;
    }

    // Bytes of the stream heard so far.
    std::uint64_t playedBytes() {
        pa_usec_t t = 0;
        if (stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY &&
            pa_stream_get_time(stream_, &t) == 0) {
            std::uint64_t bytes = pa_usec_to_bytes(t, &spec_);
            lastPlayed_ = std::min<std::uint64_t>(std::max(bytes, lastPlayed_), writeIndex_);
        }
        return lastPlayed_;
    }

    // Returns, in order, every buffer whose last byte has been heard.
    void checkDone() {
        const std::uint64_t played = playedBytes();
        while (!entries_.empty() && entries_.front().written && entries_.front().endIndex <= played) {
            WaveHeader* h = entries_.front().header;
            entries_.pop_front();
            --cursor_;
            markWaveHeaderDone(*h);
            post(WaveMessage::WomDone, h);
        }
        while (!segments_.empty() && segments_.front().end <= played) {
            completedFrames_ += (segments_.front().end - segments_.front().start) / frameBytes_;
            segments_.pop_front();
        }
    }

    std::size_t frameBytes_ = 1;
    std::deque<Entry> entries_;
    std::size_t cursor_ = 0; // first entry not completely written
    std::vector<std::uint8_t> staging_;
    std::size_t stagingPos_ = 0;
    std::optional<gsm610::Decoder> decoder_;
    std::uint64_t writeIndex_ = 0;
    std::uint64_t lastPlayed_ = 0;
    std::uint64_t audioEnd_ = 0; // stream byte after the caller's last one written
    bool dry_ = true;            // the sound stopped: what comes next starts from silence
    std::size_t silenceDue_ = 0; // silence still to write before more audio
    std::deque<Segment> segments_;
    std::uint64_t completedFrames_ = 0;
    std::optional<pa_cvolume> volume_;
    bool paused_ = false;
};

} // namespace

OutputSoundStep outputSoundStep(const OutputSoundState& state) {
    if (!state.sounding)
        return state.audioWaiting ? OutputSoundStep::leadIn : OutputSoundStep::KeepGoing;
    if (state.audioWaiting || !state.asked)
        return OutputSoundStep::KeepGoing;
    const bool queueLow = *state.asked + state.stopAt >= state.target;
    const bool littleToHear = state.written - state.played <= state.stopAt;
    return queueLow && littleToHear ? OutputSoundStep::Stop : OutputSoundStep::KeepGoing;
}

MmResult openPulseWaveOut(const std::shared_ptr<PulseAudioPlatform::Connection>& connection,
                          const std::string& device, const StreamFormat& format,
                          const pa_sample_spec& sampleSpec, QObject* target,
                          std::unique_ptr<WaveOutDevice>& opened) {
    return openPulseDevice<PulseWaveOut>(connection, device, format, sampleSpec, target, opened);
}

} // namespace tavora::platform::audio
