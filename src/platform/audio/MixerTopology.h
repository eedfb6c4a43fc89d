#pragma once

// Line and control look-ups over a mixer described as destination lines with
// their source lines and controls. The in-memory mixer keeps its values in
// the description; the PulseAudio mixer builds one at open and reads values
// from the server.

#include "platform/audio/MixerTypes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tavora::platform::audio {

// One control of a line; the in-memory mixer also scripts its answers here.
struct TopologyControl {
    std::uint32_t type = MIXERCONTROL_CONTROLTYPE_VOLUME;
    std::string name;
    std::uint32_t multipleItems = 0;
    // channels x max(1, multipleItems) values; missing ones read as 0.
    std::vector<std::uint32_t> values;
    MmResult getResult = MMSYSERR_NOERROR;
    MmResult setResult = MMSYSERR_NOERROR;
    std::uint32_t controlId = 0; // assigned when the mixer is built
};

struct TopologyLine {
    std::uint32_t componentType = 0;
    std::string name;
    std::uint32_t channels = 1;
    std::vector<TopologyControl> controls;
    std::vector<TopologyLine> sources;          // destinations only
    MmResult infoResult = MMSYSERR_NOERROR;     // answer of lineInfo for this line
    MmResult controlsResult = MMSYSERR_NOERROR; // answer of lineControls for this line
    std::uint32_t lineId = 0;                   // assigned by assignLineIds
};

using MixerTopology = std::vector<TopologyLine>;

MmResult topologyLineInfo(const MixerTopology& destinations, MixerLine& line, std::uint32_t flags);
MmResult topologyLineControls(MixerTopology& destinations, MixerLineControls& request, std::uint32_t flags);
// The first control, destinations before their sources, for which
// `match(line, control)` holds, and the line it belongs to; null if none.
TopologyControl*
findTopologyControl(MixerTopology& destinations,
                    const std::function<bool(const TopologyLine&, const TopologyControl&)>& match,
                    TopologyLine** owner = nullptr);
// The control with this identifier and the line it belongs to; null if none.
TopologyControl* topologyControl(MixerTopology& destinations, std::uint32_t controlId, TopologyLine** owner);
// The control a details request names and its line, once the request has
// passed the checks both directions make: plain values asked for, a known
// control, channel count 1 or the line's, the control's item count, room for
// every value.
MmResult topologyDetailsControl(MixerTopology& destinations, const MixerControlDetails& details,
                                std::uint32_t flags, TopologyLine*& line, TopologyControl*& control);
// Line identifiers: destination d is 0xFFFF0000 | d, its source s is
// ((s + 1) << 16) | d.
void assignLineIds(MixerTopology& destinations);

} // namespace tavora::platform::audio
