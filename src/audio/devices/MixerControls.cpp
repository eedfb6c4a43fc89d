#include "audio/devices/MixerControls.h"

#include "platform/audio/AudioPlatform.h"

#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <string>
#include <vector>

namespace tavora::audio {

namespace pa = platform::audio;

namespace {

// Opens the mixer, or answers null when there is none to open. A mixer that
// exists but cannot be opened has no level to show: the callers report
// false for it, so the slider is not left enabled at a level it never read.
std::unique_ptr<pa::Mixer> openMixer(pa::AudioPlatform& platform, std::uint32_t mixerId) {
    if (platform.mixerCount() < 1)
        return nullptr;
    std::unique_ptr<pa::Mixer> mixer;
    if (platform.openMixer(mixer, mixerId) != pa::MMSYSERR_NOERROR)
        return nullptr;
    return mixer;
}

// The volume control of `line`; false when the line has none.
bool volumeControl(pa::Mixer& mixer, const pa::MixerLine& line, pa::MixerControl& control) {
    pa::MixerLineControls request;
    request.lineId = line.lineId;
    request.controlType = pa::MIXERCONTROL_CONTROLTYPE_VOLUME;
    request.controls = std::span(&control, 1);
    return mixer.lineControls(request, pa::MIXER_GETLINECONTROLSF_ONEBYTYPE) == pa::MMSYSERR_NOERROR;
}

// Reads or writes a level through a one-channel request, which on a line of
// several channels reads the first and writes all of them alike.
bool getLevel(pa::Mixer& mixer, const pa::MixerLine& line, std::uint16_t& value) {
    pa::MixerControl control;
    if (!volumeControl(mixer, line, control))
        return false;
    std::uint32_t v = 0;
    pa::MixerControlDetails details{control.controlId, 1, 0, std::span(&v, 1)};
    if (mixer.controlDetails(details, pa::MIXER_GETCONTROLDETAILSF_VALUE) != pa::MMSYSERR_NOERROR)
        return false;
    value = static_cast<std::uint16_t>(v & 0xFFFF);
    return true;
}

bool setLevel(pa::Mixer& mixer, const pa::MixerLine& line, std::uint16_t value) {
    pa::MixerControl control;
    if (!volumeControl(mixer, line, control))
        return false;
    std::uint32_t v = value;
    pa::MixerControlDetails details{control.controlId, 1, 0, std::span(&v, 1)};
    return mixer.setControlDetails(details, pa::MIXER_SETCONTROLDETAILSF_VALUE) == pa::MMSYSERR_NOERROR;
}

bool speakerLine(pa::Mixer& mixer, pa::MixerLine& line) {
    line.componentType = pa::MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    return mixer.lineInfo(line, pa::MIXER_GETLINEINFOF_COMPONENTTYPE) == pa::MMSYSERR_NOERROR;
}

// The recording destination's microphone source. Without one the line is
// the last source examined, and with no sources the destination itself.
bool micLine(pa::Mixer& mixer, pa::MixerLine& line) {
    line.componentType = pa::MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    if (mixer.lineInfo(line, pa::MIXER_GETLINEINFOF_COMPONENTTYPE) != pa::MMSYSERR_NOERROR)
        return false;
    const std::uint32_t connections = line.connections;
    for (std::uint32_t s = 0; s < connections; ++s) {
        // The destination index stays what the previous answer left; a
        // failed query leaves the record as it was.
        line.source = s;
        mixer.lineInfo(line, pa::MIXER_GETLINEINFOF_SOURCE);
        if (line.componentType == pa::MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE)
            break;
    }
    return true;
}

bool containsBoost(const std::array<char, 64>& name) {
    std::string lower = pa::fixedText(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return lower.find("boost") != std::string::npos;
}

// Finds the boost control and reads all of its values; the caller gets the
// request (pointing into `values`) to read or write.
bool readBoost(pa::AudioPlatform& platform, pa::Mixer& mixer, std::uint32_t mixerId,
               pa::MixerControlDetails& details, std::vector<std::uint32_t>& values) {
    pa::MixerCaps caps;
    if (platform.mixerCaps(mixerId, caps) != pa::MMSYSERR_NOERROR)
        return false;

    // The first microphone line over all destinations, then their sources.
    pa::MixerLine line;
    bool found = false;
    for (std::uint32_t d = 0; d < caps.destinations && !found; ++d) {
        pa::MixerLine dest;
        dest.destination = d;
        if (mixer.lineInfo(dest, pa::MIXER_GETLINEINFOF_DESTINATION) != pa::MMSYSERR_NOERROR)
            break;
        for (std::uint32_t s = 0; s < dest.connections; ++s) {
            pa::MixerLine source;
            source.destination = d;
            source.source = s;
            if (mixer.lineInfo(source, pa::MIXER_GETLINEINFOF_SOURCE) == pa::MMSYSERR_NOERROR &&
                source.componentType == pa::MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE) {
                line = source;
                found = true;
                break;
            }
        }
    }
    if (!found || line.controls == 0)
        return false;

    std::vector<pa::MixerControl> controls(line.controls);
    pa::MixerLineControls all;
    all.lineId = line.lineId;
    all.controls = controls;
    if (mixer.lineControls(all, pa::MIXER_GETLINECONTROLSF_ALL) != pa::MMSYSERR_NOERROR)
        return false;
    const auto boost = std::find_if(controls.begin(), controls.end(),
                                    [](const pa::MixerControl& c) { return containsBoost(c.name); });
    if (boost == controls.end())
        return false;

    pa::MixerControl control;
    pa::MixerLineControls one;
    one.controlId = boost->controlId;
    one.controls = std::span(&control, 1);
    if (mixer.lineControls(one, pa::MIXER_GETLINECONTROLSF_ONEBYID) != pa::MMSYSERR_NOERROR)
        return false;

    const std::uint32_t channels = std::max<std::uint32_t>(line.channels, 1);
    values.assign(std::size_t{channels} * std::max<std::uint32_t>(control.multipleItems, 1), 0);
    details = pa::MixerControlDetails{control.controlId, channels, control.multipleItems, values};
    return mixer.controlDetails(details, pa::MIXER_GETCONTROLDETAILSF_VALUE) == pa::MMSYSERR_NOERROR;
}

void refreshSlider(QSlider* slider, QLabel* notAvailable, bool available, std::uint16_t level) {
    if (slider) {
        const QSignalBlocker quiet(slider);
        slider->setRange(0, 65535);
        slider->setEnabled(available);
        slider->setValue(available ? level : 0);
    }
    if (notAvailable)
        notAvailable->setVisible(!available);
}

} // namespace

bool getSpeakerVolume(pa::AudioPlatform& platform, std::uint32_t MixerId, std::uint16_t& value) {
    auto mixer = openMixer(platform, MixerId);
    pa::MixerLine line;
    return mixer && speakerLine(*mixer, line) && getLevel(*mixer, line, value);
}

bool setSpeakerVolume(pa::AudioPlatform& platform, std::uint32_t MixerId, std::uint16_t value) {
    auto mixer = openMixer(platform, MixerId);
    pa::MixerLine line;
    return mixer && speakerLine(*mixer, line) && setLevel(*mixer, line, value);
}

bool getMicVolume(pa::AudioPlatform& platform, std::uint32_t MixerId, std::uint16_t& value) {
    auto mixer = openMixer(platform, MixerId);
    pa::MixerLine line;
    return mixer && micLine(*mixer, line) && getLevel(*mixer, line, value);
}

bool setMicVolume(pa::AudioPlatform& platform, std::uint32_t MixerId, std::uint16_t value) {
    auto mixer = openMixer(platform, MixerId);
    pa::MixerLine line;
    return mixer && micLine(*mixer, line) && setLevel(*mixer, line, value);
}

bool getMicBoost(pa::AudioPlatform& platform, std::uint32_t MixerId, std::uint32_t& value) {
    auto mixer = openMixer(platform, MixerId);
    pa::MixerControlDetails details;
    std::vector<std::uint32_t> values;
    if (!mixer || !readBoost(platform, *mixer, MixerId, details, values))
        return false;
    value = values[0];
    return true;
}

bool setMicBoost(pa::AudioPlatform& platform, std::uint32_t MixerId, std::uint32_t value) {
    auto mixer = openMixer(platform, MixerId);
    pa::MixerControlDetails details;
    std::vector<std::uint32_t> values;
    if (!mixer || !readBoost(platform, *mixer, MixerId, details, values))
        return false;
    // Only the first channel changes; the others are written back as read.
    values[0] = value;
    return mixer->setControlDetails(details, pa::MIXER_SETCONTROLDETAILSF_VALUE) == pa::MMSYSERR_NOERROR;
}

void refreshLevelControls(pa::AudioPlatform& platform, std::uint32_t audioInDeviceID,
                          std::uint32_t audioOutDeviceID, QSlider* microphoneLevelSlider, QLabel* microphoneLevelUnavailableLabel,
                          QSlider* speakerLevelSlider, QLabel* speakerLevelUnavailableLabel) {
    if (microphoneLevelSlider || microphoneLevelUnavailableLabel) {
        std::uint16_t level = 0;
        const bool available = getMicVolume(platform, audioInDeviceID, level);
        refreshSlider(microphoneLevelSlider, microphoneLevelUnavailableLabel, available, level);
    }
    if (speakerLevelSlider || speakerLevelUnavailableLabel) {
        std::uint16_t level = 0;
        const bool available = getSpeakerVolume(platform, audioOutDeviceID, level);
        refreshSlider(speakerLevelSlider, speakerLevelUnavailableLabel, available, level);
    }
}

} // namespace tavora::audio
