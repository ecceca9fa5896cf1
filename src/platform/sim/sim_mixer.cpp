#include "platform/sim/sim_mixer.h"

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace sim {
namespace {

using namespace platform;
using nlohmann::json;

constexpr HMIXER kHandle = 0x5100;

const std::map<std::string, uint32_t> kComponentTypes = {
    {"DST_UNDEFINED", MIXERLINE_COMPONENTTYPE_DST_UNDEFINED},
    {"DST_DIGITAL", MIXERLINE_COMPONENTTYPE_DST_DIGITAL},
    {"DST_LINE", MIXERLINE_COMPONENTTYPE_DST_LINE},
    {"DST_MONITOR", MIXERLINE_COMPONENTTYPE_DST_MONITOR},
    {"DST_SPEAKERS", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS},
    {"DST_HEADPHONES", MIXERLINE_COMPONENTTYPE_DST_HEADPHONES},
    {"DST_TELEPHONE", MIXERLINE_COMPONENTTYPE_DST_TELEPHONE},
    {"DST_WAVEIN", MIXERLINE_COMPONENTTYPE_DST_WAVEIN},
    {"DST_VOICEIN", MIXERLINE_COMPONENTTYPE_DST_VOICEIN},
    {"SRC_UNDEFINED", MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED},
    {"SRC_DIGITAL", MIXERLINE_COMPONENTTYPE_SRC_DIGITAL},
    {"SRC_LINE", MIXERLINE_COMPONENTTYPE_SRC_LINE},
    {"SRC_MICROPHONE", MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE},
    {"SRC_SYNTHESIZER", MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER},
    {"SRC_COMPACTDISC", MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC},
    {"SRC_TELEPHONE", MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE},
    {"SRC_PCSPEAKER", MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER},
    {"SRC_WAVEOUT", MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT},
    {"SRC_AUXILIARY", MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY},
    {"SRC_ANALOG", MIXERLINE_COMPONENTTYPE_SRC_ANALOG},
};

const std::map<std::string, uint32_t> kControlTypes = {
    {"PEAKMETER", MIXERCONTROL_CONTROLTYPE_PEAKMETER},
    {"BOOLEAN", MIXERCONTROL_CONTROLTYPE_BOOLEAN},
    {"ONOFF", MIXERCONTROL_CONTROLTYPE_ONOFF},
    {"MUTE", MIXERCONTROL_CONTROLTYPE_MUTE},
    {"MONO", MIXERCONTROL_CONTROLTYPE_MONO},
    {"LOUDNESS", MIXERCONTROL_CONTROLTYPE_LOUDNESS},
    {"PAN", MIXERCONTROL_CONTROLTYPE_PAN},
    {"FADER", MIXERCONTROL_CONTROLTYPE_FADER},
    {"VOLUME", MIXERCONTROL_CONTROLTYPE_VOLUME},
    {"BASS", MIXERCONTROL_CONTROLTYPE_BASS},
    {"TREBLE", MIXERCONTROL_CONTROLTYPE_TREBLE},
    {"SINGLESELECT", MIXERCONTROL_CONTROLTYPE_SINGLESELECT},
    {"MUX", MIXERCONTROL_CONTROLTYPE_MUX},
    {"MULTIPLESELECT", MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT},
    {"MIXER", MIXERCONTROL_CONTROLTYPE_MIXER},
};

uint32_t typeOf(const json& j, const std::map<std::string, uint32_t>& names) {
    if (!j.contains("type")) return 0;
    const json& t = j.at("type");
    if (t.is_number()) return t.get<uint32_t>();
    const auto it = names.find(t.get<std::string>());
    if (it == names.end()) throw std::runtime_error("unknown type " + t.get<std::string>());
    return it->second;
}

template <size_t N>
void copyName(char (&to)[N], const std::string& from) {
    std::memset(to, 0, N);
    std::strncpy(to, from.c_str(), N - 1);
}

bool isList(uint32_t type) {
    return (type & MIXERCONTROL_CT_CLASS_LIST) == MIXERCONTROL_CT_CLASS_LIST;
}

bool isSingleSelect(uint32_t type) {
    return type == MIXERCONTROL_CONTROLTYPE_MUX || type == MIXERCONTROL_CONTROLTYPE_SINGLESELECT;
}

bool isBoolean(uint32_t type) {
    return (type & 0xFFFF0000u) == MIXERCONTROL_CONTROLTYPE_BOOLEAN;
}

SimMixer::Control parseControl(const json& j, uint32_t id, uint32_t sourceCount) {
    SimMixer::Control c;
    MIXERCONTROLA& m = c.info;
    m.cbStruct = sizeof(MIXERCONTROLA);
    m.dwControlID = id;
    m.dwControlType = typeOf(j, kControlTypes);
    copyName(m.szShortName, j.value("shortName", std::string()));
    copyName(m.szName, j.value("name", std::string()));
    m.Bounds.dwMinimum = 0;
    m.Bounds.dwMaximum = isBoolean(m.dwControlType) || isList(m.dwControlType) ? 1 : 65535;
    m.Metrics.cSteps = m.Bounds.dwMaximum == 1 ? 0 : 64;
    if (isList(m.dwControlType)) {
        m.cMultipleItems = j.value("items", sourceCount);
        m.fdwControl =
            j.value("flags", MIXERCONTROL_CONTROLF_UNIFORM | MIXERCONTROL_CONTROLF_MULTIPLE);
        c.values.assign(m.cMultipleItems, 0);
        if (j.contains("values")) {
            const auto v = j.at("values").get<std::vector<uint32_t>>();
            for (size_t i = 0; i < v.size() && i < c.values.size(); ++i)
                c.values[i] = v[i];
        } else if (!c.values.empty()) {
            c.values[0] = 1;
        }
    } else {
        m.cMultipleItems = j.value("items", 0u);
        m.fdwControl = j.value("flags", 0u);
        c.values.assign(1, j.value("value", 0u));
    }
    return c;
}

SimMixer::Line parseLine(const json& j, uint32_t lineId, uint32_t& nextControlId,
                         uint32_t sourceCount) {
    SimMixer::Line line;
    MIXERLINEA& m = line.info;
    m.cbStruct = sizeof(MIXERLINEA);
    m.dwLineID = lineId;
    m.fdwLine = MIXERLINE_LINEF_ACTIVE;
    m.dwComponentType = typeOf(j, kComponentTypes);
    m.cChannels = j.value("channels", 2u);
    copyName(m.szShortName, j.value("shortName", std::string()));
    copyName(m.szName, j.value("name", std::string()));
    line.failLineInfo = j.value("failLineInfo", false);
    line.failControls = j.value("failControls", false);
    if (j.contains("controls"))
        for (const json& c : j.at("controls"))
            line.controls.push_back(parseControl(c, nextControlId++, sourceCount));
    m.cControls = static_cast<uint32_t>(line.controls.size());
    return line;
}

}  // namespace

std::unique_ptr<SimMixer> parseSimMixer(const std::string& text) {
    auto card = std::make_unique<SimMixer>();
    try {
        const json j = json::parse(text);
        card->devices = j.value("devices", 1u);
        if (j.contains("caps")) {
            const json& c = j.at("caps");
            card->caps.wMid = c.value("wMid", uint16_t{0});
            card->caps.wPid = c.value("wPid", uint16_t{0});
            card->caps.vDriverVersion = c.value("vDriverVersion", 0u);
            copyName(card->caps.szPname, c.value("szPname", std::string()));
            card->caps.fdwSupport = c.value("fdwSupport", 0u);
        }
        if (j.contains("faults")) {
            card->faults.open = j.at("faults").value("open", false);
            card->faults.caps = j.at("faults").value("caps", false);
        }
        uint32_t nextControlId = 0;
        const json none = json::array();
        const json& dests = j.contains("destinations") ? j.at("destinations") : none;
        for (size_t d = 0; d < dests.size(); ++d) {
            const json& dj = dests[d];
            const json& sj = dj.contains("sources") ? dj.at("sources") : none;
            const auto dIndex = static_cast<uint32_t>(d);
            SimMixer::Line dest = parseLine(dj, 0xFFFF0000u + dIndex, nextControlId,
                                            static_cast<uint32_t>(sj.size()));
            dest.info.dwDestination = dIndex;
            for (size_t s = 0; s < sj.size(); ++s) {
                const auto sIndex = static_cast<uint32_t>(s);
                SimMixer::Line src =
                    parseLine(sj[s], ((sIndex + 1) << 16) + dIndex, nextControlId, 0);
                src.info.dwDestination = dIndex;
                src.info.dwSource = sIndex;
                src.info.fdwLine |= MIXERLINE_LINEF_SOURCE;
                dest.sources.push_back(std::move(src));
            }
            dest.info.cConnections = static_cast<uint32_t>(dest.sources.size());
            card->destinations.push_back(std::move(dest));
        }
        // Control faults are keyed by identifier, known only now.
        auto collect = [&](const json& lineJson, const SimMixer::Line& line) {
            if (!lineJson.contains("controls")) return;
            const json& cs = lineJson.at("controls");
            for (size_t c = 0; c < cs.size(); ++c) {
                if (cs[c].value("failRead", false))
                    card->faults.readControl.insert(line.controls[c].info.dwControlID);
                if (cs[c].value("failWrite", false))
                    card->faults.writeControl.insert(line.controls[c].info.dwControlID);
            }
        };
        for (size_t d = 0; d < dests.size(); ++d) {
            collect(dests[d], card->destinations[d]);
            if (!dests[d].contains("sources")) continue;
            const json& sj = dests[d].at("sources");
            for (size_t s = 0; s < sj.size(); ++s)
                collect(sj[s], card->destinations[d].sources[s]);
        }
        card->caps.cDestinations = static_cast<uint32_t>(card->destinations.size());
    } catch (const json::exception& e) {
        throw std::runtime_error(std::string("mixer fixture: ") + e.what());
    }
    return card;
}

std::unique_ptr<SimMixer> loadSimMixer(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("mixer fixture: cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return parseSimMixer(text.str());
}

uint32_t SimMixer::mixerGetNumDevs() {
    return devices;
}

MMRESULT SimMixer::mixerOpen(HMIXER* phmx, uint32_t uMxId, MessageTarget* target, uintptr_t,
                             uint32_t fdwOpen) {
    if (!phmx) return MMSYSERR_INVALPARAM;
    if (uMxId >= devices) return MMSYSERR_BADDEVICEID;
    if (faults.open) return MMSYSERR_ALLOCATED;
    if (fdwOpen != CALLBACK_WINDOW && fdwOpen != 0) return MMSYSERR_INVALFLAG;
    open_ = true;
    target_ = fdwOpen == CALLBACK_WINDOW ? target : nullptr;
    *phmx = kHandle;
    return MMSYSERR_NOERROR;
}

MMRESULT SimMixer::mixerGetDevCapsA(uint32_t uMxId, MIXERCAPSA* pmxcaps, uint32_t cbmxcaps) {
    if (uMxId >= devices) return MMSYSERR_BADDEVICEID;
    if (!pmxcaps || cbmxcaps < sizeof(MIXERCAPSA)) return MMSYSERR_INVALPARAM;
    if (faults.caps) return MMSYSERR_NODRIVER;
    *pmxcaps = caps;
    return MMSYSERR_NOERROR;
}

MMRESULT SimMixer::checkHandle(HMIXER hmx) const {
    return open_ && hmx == kHandle ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT SimMixer::mixerGetLineInfoA(HMIXER hmx, MIXERLINEA* pmxl, uint32_t fdwInfo) {
    if (MMRESULT rc = checkHandle(hmx)) return rc;
    if (!pmxl || pmxl->cbStruct < sizeof(MIXERLINEA)) return MMSYSERR_INVALPARAM;
    if (pmxl->dwDestination >= destinations.size()) return MIXERR_INVALLINE;
    Line& dest = destinations[pmxl->dwDestination];
    const Line* line = nullptr;
    if (fdwInfo == MIXER_GETLINEINFOF_DESTINATION) {
        line = &dest;
    } else if (fdwInfo == MIXER_GETLINEINFOF_SOURCE) {
        if (pmxl->dwSource >= dest.sources.size()) return MIXERR_INVALLINE;
        line = &dest.sources[pmxl->dwSource];
    } else {
        return MMSYSERR_INVALFLAG;
    }
    if (line->failLineInfo) return MMSYSERR_ERROR;
    *pmxl = line->info;
    return MMSYSERR_NOERROR;
}

SimMixer::Line* SimMixer::lineById(uint32_t lineId) {
    for (Line& d : destinations) {
        if (d.info.dwLineID == lineId) return &d;
        for (Line& s : d.sources)
            if (s.info.dwLineID == lineId) return &s;
    }
    return nullptr;
}

MMRESULT SimMixer::mixerGetLineControlsA(HMIXER hmx, MIXERLINECONTROLSA* pmxlc,
                                         uint32_t fdwControls) {
    if (MMRESULT rc = checkHandle(hmx)) return rc;
    if (fdwControls != MIXER_GETLINECONTROLSF_ALL) return MMSYSERR_INVALFLAG;
    if (!pmxlc || pmxlc->cbmxctrl < sizeof(MIXERCONTROLA)) return MMSYSERR_INVALPARAM;
    Line* line = lineById(pmxlc->dwLineID);
    if (!line) return MIXERR_INVALLINE;
    if (pmxlc->cControls == 0 || pmxlc->cControls != line->controls.size() || !pmxlc->pamxctrl)
        return MMSYSERR_INVALPARAM;
    if (line->failControls) return MMSYSERR_ERROR;
    for (size_t i = 0; i < line->controls.size(); ++i)
        pmxlc->pamxctrl[i] = line->controls[i].info;
    return MMSYSERR_NOERROR;
}

SimMixer::Control* SimMixer::control(uint32_t id) {
    for (Line& d : destinations) {
        for (Control& c : d.controls)
            if (c.info.dwControlID == id) return &c;
        for (Line& s : d.sources)
            for (Control& c : s.controls)
                if (c.info.dwControlID == id) return &c;
    }
    return nullptr;
}

MMRESULT SimMixer::checkDetails(HMIXER hmx, const MIXERCONTROLDETAILS* d, Control*& c) {
    if (MMRESULT rc = checkHandle(hmx)) return rc;
    if (!d || d->cbStruct < sizeof(MIXERCONTROLDETAILS) || d->cbDetails != sizeof(uint32_t) ||
        !d->paDetails || d->cChannels != 1)
        return MMSYSERR_INVALPARAM;
    c = control(d->dwControlID);
    if (!c) return MIXERR_INVALCONTROL;
    const bool list = isList(c->info.dwControlType);
    if (list ? d->cMultipleItems != c->info.cMultipleItems : d->cMultipleItems != 0)
        return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

MMRESULT SimMixer::mixerGetControlDetailsA(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                           uint32_t fdwDetails) {
    ++reads;
    if (onRead) onRead();
    Control* c = nullptr;
    if (MMRESULT rc = checkDetails(hmx, pmxcd, c)) return rc;
    if (fdwDetails != MIXER_GETCONTROLDETAILSF_VALUE) return MMSYSERR_INVALFLAG;
    if (faults.readControl.count(pmxcd->dwControlID)) return MMSYSERR_ERROR;
    std::memcpy(pmxcd->paDetails, c->values.data(), c->values.size() * sizeof(uint32_t));
    return MMSYSERR_NOERROR;
}

MMRESULT SimMixer::mixerSetControlDetails(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                          uint32_t fdwDetails) {
    Control* c = nullptr;
    if (MMRESULT rc = checkDetails(hmx, pmxcd, c)) return rc;
    if (fdwDetails != MIXER_SETCONTROLDETAILSF_VALUE) return MMSYSERR_INVALFLAG;
    if (faults.writeControl.count(pmxcd->dwControlID)) return MMSYSERR_ERROR;
    const auto* in = static_cast<const uint32_t*>(pmxcd->paDetails);
    std::vector<uint32_t> values(in, in + c->values.size());
    const uint32_t type = c->info.dwControlType;
    if (isList(type) || isBoolean(type))
        for (uint32_t& v : values)
            v = v != 0;
    else
        for (uint32_t& v : values)
            if (v > c->info.Bounds.dwMaximum) return MIXERR_INVALVALUE;
    if (isSingleSelect(type)) {
        size_t on = 0;
        for (uint32_t v : values)
            on += v;
        if (on != 1) return MIXERR_INVALVALUE;
    }
    c->values = values;
    writes.emplace_back(pmxcd->dwControlID, values);
    if (target_)
        host().postMessage(target_, MM_MIXM_CONTROL_CHANGE, static_cast<uintptr_t>(hmx),
                           static_cast<intptr_t>(pmxcd->dwControlID));
    return MMSYSERR_NOERROR;
}

MMRESULT SimMixer::mixerClose(HMIXER hmx) {
    if (MMRESULT rc = checkHandle(hmx)) return rc;
    open_ = false;
    target_ = nullptr;
    return MMSYSERR_NOERROR;
}

SimMixer::Control* SimMixer::firstControl(Line& line, uint32_t type) {
    for (Control& c : line.controls)
        if (c.info.dwControlType == type) return &c;
    return nullptr;
}

SimMixer::Line* SimMixer::destination(uint32_t componentType) {
    for (Line& d : destinations)
        if (d.info.dwComponentType == componentType) return &d;
    return nullptr;
}

SimMixer::Line* SimMixer::source(Line& destination, uint32_t componentType) {
    for (Line& s : destination.sources)
        if (s.info.dwComponentType == componentType) return &s;
    return nullptr;
}

namespace {
bool muted(SimMixer::Line& line) {
    const SimMixer::Control* mute = SimMixer::firstControl(line, MIXERCONTROL_CONTROLTYPE_MUTE);
    return mute && mute->values[0] != 0;
}

double volumeOf(SimMixer::Line& line) {
    const SimMixer::Control* v = SimMixer::firstControl(line, MIXERCONTROL_CONTROLTYPE_VOLUME);
    return v ? v->values[0] / 65535.0 : 1.0;
}
}  // namespace

double SimMixer::recordingGain() {
    Line* dest = destination(MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    if (!dest) return 0.0;
    for (Control& c : dest->controls) {
        if (!isList(c.info.dwControlType)) continue;
        for (size_t i = 0; i < c.values.size() && i < dest->sources.size(); ++i)
            if (c.values[i]) return volumeOf(dest->sources[i]);
        return 0.0;
    }
    for (Line& s : dest->sources)
        if (firstControl(s, MIXERCONTROL_CONTROLTYPE_MUTE) && !muted(s)) return volumeOf(s);
    return 0.0;
}

bool SimMixer::isAudible(uint32_t sourceComponentType) {
    Line* dest = destination(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    if (!dest) return false;
    Line* src = source(*dest, sourceComponentType);
    return src && !muted(*dest) && !muted(*src);
}

double SimMixer::playbackGain(uint32_t sourceComponentType) {
    if (!isAudible(sourceComponentType)) return 0.0;
    Line* dest = destination(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    return volumeOf(*dest) * volumeOf(*source(*dest, sourceComponentType));
}

}  // namespace sim
