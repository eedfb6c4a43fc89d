#pragma once

// Records and constants of the mixer: a mixer has destination lines (where
// audio goes: speakers, recording), each destination has source lines (what
// feeds it: microphone, line input, CD), and every line has controls
// (volume, mute, boost...) whose values are read and written as details.

#include "platform/audio/WaveTypes.h"

#include <array>
#include <cstdint>
#include <span>

namespace tavora::platform::audio {

// Line component types.
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_UNDEFINED = 0;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_DIGITAL = 1;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_LINE = 2;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_MONITOR = 3;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = 4;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_HEADPHONES = 5;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_TELEPHONE = 6;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 7;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_VOICEIN = 8;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED = 0x1000;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_DIGITAL = 0x1001;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_LINE = 0x1002;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = 0x1003;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER = 0x1004;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC = 0x1005;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE = 0x1006;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER = 0x1007;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT = 0x1008;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY = 0x1009;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_ANALOG = 0x100A;

// Line status bits.
inline constexpr std::uint32_t MIXERLINE_LINEF_ACTIVE = 0x00000001;
inline constexpr std::uint32_t MIXERLINE_LINEF_DISCONNECTED = 0x00008000;
inline constexpr std::uint32_t MIXERLINE_LINEF_SOURCE = 0x80000000;

// Control types.
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_BOOLEAN = 0x20010000;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_ONOFF = 0x20010001;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;

// Control flags.
inline constexpr std::uint32_t MIXERCONTROL_CONTROLF_UNIFORM = 0x00000001;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLF_MULTIPLE = 0x00000002;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLF_DISABLED = 0x80000000;

// Query kinds of Mixer::lineInfo.
inline constexpr std::uint32_t MIXER_GETLINEINFOF_DESTINATION = 0;
inline constexpr std::uint32_t MIXER_GETLINEINFOF_SOURCE = 1;
inline constexpr std::uint32_t MIXER_GETLINEINFOF_LINEID = 2;
inline constexpr std::uint32_t MIXER_GETLINEINFOF_COMPONENTTYPE = 3;
inline constexpr std::uint32_t MIXER_GETLINEINFOF_QUERYMASK = 0x0000000F;

// Query kinds of Mixer::lineControls.
inline constexpr std::uint32_t MIXER_GETLINECONTROLSF_ALL = 0;
inline constexpr std::uint32_t MIXER_GETLINECONTROLSF_ONEBYID = 1;
inline constexpr std::uint32_t MIXER_GETLINECONTROLSF_ONEBYTYPE = 2;
inline constexpr std::uint32_t MIXER_GETLINECONTROLSF_QUERYMASK = 0x0000000F;

// Query kinds of Mixer::controlDetails / setControlDetails.
inline constexpr std::uint32_t MIXER_GETCONTROLDETAILSF_VALUE = 0;
inline constexpr std::uint32_t MIXER_SETCONTROLDETAILSF_VALUE = 0;
inline constexpr std::uint32_t MIXER_CONTROLDETAILSF_QUERYMASK = 0x0000000F;

struct MixerCaps {
    std::uint16_t manufacturerId = 0;
    std::uint16_t productId = 0;
    std::uint32_t driverVersion = 0;
    std::array<char, 32> productName{};
    std::uint32_t support = 0;
    std::uint32_t destinations = 0;
};

// In/out record of Mixer::lineInfo. The query kind says which input fields
// are read: DESTINATION reads `destination`; SOURCE reads `destination` and
// `source`; LINEID reads `lineId`; COMPONENTTYPE reads `componentType`.
// A successful query fills every field; a failed one changes nothing.
struct MixerLine {
    std::uint32_t destination = 0;
    std::uint32_t source = 0;
    std::uint32_t lineId = 0;
    std::uint32_t status = 0;
    std::uint32_t componentType = 0;
    std::uint32_t channels = 0;
    std::uint32_t connections = 0; // source lines of a destination; 0 for a source
    std::uint32_t controls = 0;
    std::array<char, 16> shortName{};
    std::array<char, 64> name{};
};

struct MixerControl {
    std::uint32_t controlId = 0;
    std::uint32_t controlType = 0;
    std::uint32_t controlFlags = 0;
    std::uint32_t multipleItems = 0;
    std::array<char, 16> shortName{};
    std::array<char, 64> name{};
    std::uint32_t minimum = 0;
    std::uint32_t maximum = 0;
    std::uint32_t steps = 0;
};

// Request of Mixer::lineControls. ALL fills `controls`, whose size must equal
// the line's control count; ONEBYID and ONEBYTYPE fill controls[0].
struct MixerLineControls {
    std::uint32_t lineId = 0;
    std::uint32_t controlId = 0;   // ONEBYID
    std::uint32_t controlType = 0; // ONEBYTYPE
    std::span<MixerControl> controls;
};

// Request of Mixer::controlDetails / setControlDetails, with 32-bit unsigned
// (or boolean) values: channels x max(1, multipleItems) of them. One channel
// on a line of several reads the first channel and writes every channel.
struct MixerControlDetails {
    std::uint32_t controlId = 0;
    std::uint32_t channels = 0;
    std::uint32_t multipleItems = 0;
    std::span<std::uint32_t> values;
};

} // namespace tavora::platform::audio
