#include "platform/audio/MixerTopology.h"
#include "platform/audio/PulseDevices.h"

#include <algorithm>

namespace tavora::platform::audio {

namespace {

// Control identifiers of a PulseAudio mixer.
enum ControlId : std::uint32_t { SpeakerVolume = 1, SpeakerMute, MicVolume, MicMute };

class PulseMixer final : public Mixer {
public:
    PulseMixer(std::shared_ptr<PulseAudioPlatform::Connection> connection, const PulseDevice* sink,
               const PulseDevice* source)
        : c_(std::move(connection)) {
        if (sink) {
            sink_ = sink->name;
            TopologyLine speakers{MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", sink->channels, {}, {}};
            speakers.controls.push_back(
                {MIXERCONTROL_CONTROLTYPE_VOLUME, "Speakers Volume", 0, {}, 0, 0, SpeakerVolume});
            speakers.controls.push_back(
                {MIXERCONTROL_CONTROLTYPE_MUTE, "Speakers Mute", 0, {}, 0, 0, SpeakerMute});
            lines_.push_back(std::move(speakers));
        }
        if (source) {
            source_ = source->name;
            TopologyLine recording{
                MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording Control", source->channels, {}, {}};
            TopologyLine mic{MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone", source->channels, {}, {}};
            mic.controls.push_back(
                {MIXERCONTROL_CONTROLTYPE_VOLUME, "Microphone Volume", 0, {}, 0, 0, MicVolume});
            mic.controls.push_back({MIXERCONTROL_CONTROLTYPE_MUTE, "Microphone Mute", 0, {}, 0, 0, MicMute});
            recording.sources.push_back(std::move(mic));
            lines_.push_back(std::move(recording));
        }
        assignLineIds(lines_);
    }

    MmResult lineInfo(MixerLine& line, std::uint32_t flags) override {
        return topologyLineInfo(lines_, line, flags);
    }

    MmResult lineControls(MixerLineControls& request, std::uint32_t flags) override {
        return topologyLineControls(lines_, request, flags);
    }

    MmResult controlDetails(MixerControlDetails& details, std::uint32_t flags) override {
        TopologyLine* line = nullptr;
        TopologyControl* control = nullptr;
        if (MmResult r = topologyDetailsControl(lines_, details, flags, line, control))
            return r;
        MainloopLock lock(c_->loop);
        PulseDevice dev;
        if (!fetch(details.controlId, dev))
            return c_->lastError(MMSYSERR_NODRIVER);
        const bool mute = details.controlId == SpeakerMute || details.controlId == MicMute;
        if (details.channels == 1) {
            details.values[0] = mute ? (dev.mute ? 1 : 0) : pulseVolumeToLevel(pa_cvolume_max(&dev.volume));
            return MMSYSERR_NOERROR;
        }
        for (std::uint32_t ch = 0; ch < details.channels; ++ch) {
            const pa_volume_t v = dev.volume.values[std::min<std::uint32_t>(ch, dev.volume.channels - 1)];
            details.values[ch] = mute ? (dev.mute ? 1 : 0) : pulseVolumeToLevel(v);
        }
        return MMSYSERR_NOERROR;
    }

    MmResult setControlDetails(const MixerControlDetails& details, std::uint32_t flags) override {
        TopologyLine* line = nullptr;
        TopologyControl* control = nullptr;
        if (MmResult r = topologyDetailsControl(lines_, details, flags, line, control))
            return r;
        MainloopLock lock(c_->loop);
        PulseDevice dev;
        if (!fetch(details.controlId, dev))
            return c_->lastError(MMSYSERR_NODRIVER);
        const bool onSink = details.controlId == SpeakerVolume || details.controlId == SpeakerMute;
        const std::string& name = onSink ? sink_ : source_;
        pa_operation* op = nullptr;
        if (details.controlId == SpeakerMute || details.controlId == MicMute) {
            const int mute = details.values[0] != 0 ? 1 : 0;
            op = onSink
                     ? pa_context_set_sink_mute_by_name(c_->context, name.c_str(), mute, nullptr, nullptr)
                     : pa_context_set_source_mute_by_name(c_->context, name.c_str(), mute, nullptr, nullptr);
        } else {
            pa_cvolume v;
            pa_cvolume_init(&v);
            // One value sets every channel of the device alike.
            if (details.channels == 1) {
                pa_cvolume_set(&v, dev.volume.channels, levelToPulseVolume(details.values[0] & 0xFFFF));
            } else {
                v.channels = dev.volume.channels;
                for (std::uint32_t ch = 0; ch < v.channels; ++ch)
                    v.values[ch] =
                        levelToPulseVolume(details.values[std::min(ch, details.channels - 1)] & 0xFFFF);
            }
            op = onSink
                     ? pa_context_set_sink_volume_by_name(c_->context, name.c_str(), &v, nullptr, nullptr)
                     : pa_context_set_source_volume_by_name(c_->context, name.c_str(), &v, nullptr, nullptr);
        }
        Operation operation(op);
        return c_->waitOperation(operation) ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
    }

private:
    bool fetch(std::uint32_t controlId, PulseDevice& dev) {
        if (controlId == SpeakerVolume || controlId == SpeakerMute)
            return c_->sinkByName(sink_, dev);
        return c_->sourceByName(source_, dev);
    }

    std::shared_ptr<PulseAudioPlatform::Connection> c_;
    std::string sink_;
    std::string source_;
    MixerTopology lines_;
};

} // namespace

std::unique_ptr<Mixer> makePulseMixer(const std::shared_ptr<PulseAudioPlatform::Connection>& connection,
                                      const PulseDevice* sink, const PulseDevice* source) {
    return std::make_unique<PulseMixer>(connection, sink, source);
}

} // namespace tavora::platform::audio
