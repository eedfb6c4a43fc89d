#pragma once

// Line and control look-ups over a mixer described as destination lines with
// their source lines and controls. The in-memory mixer keeps its values in
// the description; the PulseAudio mixer builds one at open and reads values
// from the server.

#include "platform/audio/MemoryAudioPlatform.h"

#include <vector>

namespace tavora::platform::audio {

using MixerTopology = std::vector<MemoryMixerLine>;

MmResult topologyLineInfo(const MixerTopology& destinations, MixerLine& line, std::uint32_t flags);
MmResult topologyLineControls(MixerTopology& destinations, MixerLineControls& request, std::uint32_t flags);
// The control with this identifier and the line it belongs to; null if none.
MemoryMixerControl* topologyControl(MixerTopology& destinations, std::uint32_t controlId,
                                    MemoryMixerLine** owner);
// The control a details request names and its line, once the request has
// passed the checks both directions make: plain values asked for, a known
// control, channel count 1 or the line's, the control's item count, room for
// every value.
MmResult topologyDetailsControl(MixerTopology& destinations, const MixerControlDetails& details,
                                std::uint32_t flags, MemoryMixerLine*& line, MemoryMixerControl*& control);
// Line identifiers: destination d is 0xFFFF0000 | d, its source s is
// ((s + 1) << 16) | d.
void assignLineIds(MixerTopology& destinations);

} // namespace tavora::platform::audio
