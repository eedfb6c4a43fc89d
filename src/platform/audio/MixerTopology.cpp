#include "platform/audio/MixerTopology.h"

#include <algorithm>

namespace tavora::platform::audio {

namespace {

struct Found {
    const TopologyLine* line = nullptr;
    std::uint32_t destination = 0;
    std::uint32_t source = 0;
    bool isSource = false;
};

Found byId(const MixerTopology& dests, std::uint32_t lineId) {
    for (std::uint32_t d = 0; d < dests.size(); ++d) {
        if (dests[d].lineId == lineId)
            return {&dests[d], d, 0, false};
        for (std::uint32_t s = 0; s < dests[d].sources.size(); ++s)
            if (dests[d].sources[s].lineId == lineId)
                return {&dests[d].sources[s], d, s, true};
    }
    return {};
}

Found byType(const MixerTopology& dests, std::uint32_t componentType) {
    for (std::uint32_t d = 0; d < dests.size(); ++d)
        if (dests[d].componentType == componentType)
            return {&dests[d], d, 0, false};
    for (std::uint32_t d = 0; d < dests.size(); ++d)
        for (std::uint32_t s = 0; s < dests[d].sources.size(); ++s)
            if (dests[d].sources[s].componentType == componentType)
                return {&dests[d].sources[s], d, s, true};
    return {};
}

void fillControl(MixerControl& out, const TopologyControl& c) {
    out = MixerControl{};
    out.controlId = c.controlId;
    out.controlType = c.type;
    out.controlFlags = c.multipleItems ? MIXERCONTROL_CONTROLF_MULTIPLE : 0;
    out.multipleItems = c.multipleItems;
    setFixedText(out.shortName, c.name);
    setFixedText(out.name, c.name);
    const bool volume = c.type == MIXERCONTROL_CONTROLTYPE_VOLUME;
    out.maximum = volume ? 65535 : 1;
    out.steps = volume ? 65536 : 2;
}

} // namespace

MmResult topologyLineInfo(const MixerTopology& dests, MixerLine& line, std::uint32_t flags) {
    Found f;
    switch (flags & MIXER_GETLINEINFOF_QUERYMASK) {
    case MIXER_GETLINEINFOF_DESTINATION:
        if (line.destination < dests.size())
            f = {&dests[line.destination], line.destination, 0, false};
        break;
    case MIXER_GETLINEINFOF_SOURCE:
        if (line.destination < dests.size() && line.source < dests[line.destination].sources.size())
            f = {&dests[line.destination].sources[line.source], line.destination, line.source, true};
        break;
    case MIXER_GETLINEINFOF_LINEID:
        f = byId(dests, line.lineId);
        break;
    case MIXER_GETLINEINFOF_COMPONENTTYPE:
        f = byType(dests, line.componentType);
        break;
    default:
        return MMSYSERR_INVALFLAG;
    }
    if (!f.line)
        return MIXERR_INVALLINE;
    if (f.line->infoResult != MMSYSERR_NOERROR)
        return f.line->infoResult;
    line.destination = f.destination;
    line.source = f.isSource ? f.source : 0;
    line.lineId = f.line->lineId;
    line.status = MIXERLINE_LINEF_ACTIVE | (f.isSource ? MIXERLINE_LINEF_SOURCE : 0);
    line.componentType = f.line->componentType;
    line.channels = f.line->channels;
    line.connections = f.isSource ? 0 : static_cast<std::uint32_t>(f.line->sources.size());
    line.controls = static_cast<std::uint32_t>(f.line->controls.size());
    setFixedText(line.shortName, f.line->name);
    setFixedText(line.name, f.line->name);
    return MMSYSERR_NOERROR;
}

TopologyControl*
findTopologyControl(MixerTopology& dests,
                    const std::function<bool(const TopologyLine&, const TopologyControl&)>& match,
                    TopologyLine** owner) {
    auto visit = [&](TopologyLine& line) -> TopologyControl* {
        for (TopologyControl& c : line.controls)
            if (match(line, c)) {
                if (owner)
                    *owner = &line;
                return &c;
            }
        return nullptr;
    };
    for (TopologyLine& d : dests) {
        if (auto* c = visit(d))
            return c;
        for (TopologyLine& s : d.sources)
            if (auto* c = visit(s))
                return c;
    }
    return nullptr;
}

TopologyControl* topologyControl(MixerTopology& dests, std::uint32_t controlId, TopologyLine** owner) {
    return findTopologyControl(
        dests,
        [controlId](const TopologyLine&, const TopologyControl& c) { return c.controlId == controlId; },
        owner);
}

MmResult topologyLineControls(MixerTopology& dests, MixerLineControls& request, std::uint32_t flags) {
    const std::uint32_t kind = flags & MIXER_GETLINECONTROLSF_QUERYMASK;
    if (kind == MIXER_GETLINECONTROLSF_ONEBYID) {
        TopologyLine* line = nullptr;
        const TopologyControl* control = topologyControl(dests, request.controlId, &line);
        if (!control)
            return MIXERR_INVALCONTROL;
        if (line->controlsResult != MMSYSERR_NOERROR)
            return line->controlsResult;
        if (request.controls.empty())
            return MMSYSERR_INVALPARAM;
        fillControl(request.controls[0], *control);
        request.lineId = line->lineId;
        return MMSYSERR_NOERROR;
    }
    const TopologyLine* line = byId(dests, request.lineId).line;
    if (!line)
        return MIXERR_INVALLINE;
    if (line->controlsResult != MMSYSERR_NOERROR)
        return line->controlsResult;
    switch (kind) {
    case MIXER_GETLINECONTROLSF_ALL:
        if (request.controls.empty() || request.controls.size() != line->controls.size())
            return MMSYSERR_INVALPARAM;
        for (std::size_t i = 0; i < line->controls.size(); ++i)
            fillControl(request.controls[i], line->controls[i]);
        return MMSYSERR_NOERROR;
    case MIXER_GETLINECONTROLSF_ONEBYTYPE:
        if (request.controls.empty())
            return MMSYSERR_INVALPARAM;
        for (const TopologyControl& c : line->controls)
            if (c.type == request.controlType) {
                fillControl(request.controls[0], c);
                return MMSYSERR_NOERROR;
            }
        return MIXERR_INVALCONTROL;
    default:
        return MMSYSERR_INVALFLAG;
    }
}

MmResult topologyDetailsControl(MixerTopology& dests, const MixerControlDetails& details, std::uint32_t flags,
                                TopologyLine*& line, TopologyControl*& control) {
    // Reads and writes both ask for plain values (the same flag value).
    static_assert(MIXER_GETCONTROLDETAILSF_VALUE == MIXER_SETCONTROLDETAILSF_VALUE);
    if ((flags & MIXER_CONTROLDETAILSF_QUERYMASK) != MIXER_GETCONTROLDETAILSF_VALUE)
        return MMSYSERR_INVALFLAG;
    control = topologyControl(dests, details.controlId, &line);
    if (!control)
        return MIXERR_INVALCONTROL;
    if (details.channels != 1 && details.channels != line->channels)
        return MMSYSERR_INVALPARAM;
    if (details.multipleItems != control->multipleItems)
        return MMSYSERR_INVALPARAM;
    const std::size_t needed =
        std::size_t{details.channels} * std::max<std::uint32_t>(control->multipleItems, 1);
    if (details.values.size() < needed)
        return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

void assignLineIds(MixerTopology& dests) {
    for (std::uint32_t d = 0; d < dests.size(); ++d) {
        dests[d].lineId = 0xFFFF0000u | d;
        for (std::uint32_t s = 0; s < dests[d].sources.size(); ++s)
            dests[d].sources[s].lineId = ((s + 1) << 16) | d;
    }
}

} // namespace tavora::platform::audio
