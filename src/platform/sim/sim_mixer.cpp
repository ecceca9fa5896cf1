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
    {"DST_UNDEFINED", kMixerLineComponentTypeDstUndefined},
    {"DST_DIGITAL", kMixerLineComponentTypeDstDigital},
    {"DST_LINE", kMixerLineComponentTypeDstLine},
    {"DST_MONITOR", kMixerLineComponentTypeDstMonitor},
    {"DST_SPEAKERS", kMixerLineComponentTypeDstSpeakers},
    {"DST_HEADPHONES", kMixerLineComponentTypeDstHeadphones},
    {"DST_TELEPHONE", kMixerLineComponentTypeDstTelephone},
    {"DST_WAVEIN", kMixerLineComponentTypeDstWaveIn},
    {"DST_VOICEIN", kMixerLineComponentTypeDstVoiceIn},
    {"SRC_UNDEFINED", kMixerLineComponentTypeSrcUndefined},
    {"SRC_DIGITAL", kMixerLineComponentTypeSrcDigital},
    {"SRC_LINE", kMixerLineComponentTypeSrcLine},
    {"SRC_MICROPHONE", kMixerLineComponentTypeSrcMicrophone},
    {"SRC_SYNTHESIZER", kMixerLineComponentTypeSrcSynthesizer},
    {"SRC_COMPACTDISC", kMixerLineComponentTypeSrcCompactDisc},
    {"SRC_TELEPHONE", kMixerLineComponentTypeSrcTelephone},
    {"SRC_PCSPEAKER", kMixerLineComponentTypeSrcPcSpeaker},
    {"SRC_WAVEOUT", kMixerLineComponentTypeSrcWaveOut},
    {"SRC_AUXILIARY", kMixerLineComponentTypeSrcAuxiliary},
    {"SRC_ANALOG", kMixerLineComponentTypeSrcAnalog},
};

const std::map<std::string, uint32_t> kControlTypes = {
    {"PEAKMETER", kMixerControlControlTypePeakMeter},
    {"BOOLEAN", kMixerControlControlTypeBoolean},
    {"ONOFF", kMixerControlControlTypeOnOff},
    {"MUTE", kMixerControlControlTypeMute},
    {"MONO", kMixerControlControlTypeMono},
    {"LOUDNESS", kMixerControlControlTypeLoudness},
    {"PAN", kMixerControlControlTypePan},
    {"FADER", kMixerControlControlTypeFader},
    {"VOLUME", kMixerControlControlTypeVolume},
    {"BASS", kMixerControlControlTypeBass},
    {"TREBLE", kMixerControlControlTypeTreble},
    {"SINGLESELECT", kMixerControlControlTypeSingleSelect},
    {"MUX", kMixerControlControlTypeMux},
    {"MULTIPLESELECT", kMixerControlControlTypeMultipleSelect},
    {"MIXER", kMixerControlControlTypeMixer},
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
    return (type & kMixerControlCtClassList) == kMixerControlCtClassList;
}

bool isSingleSelect(uint32_t type) {
    return type == kMixerControlControlTypeMux || type == kMixerControlControlTypeSingleSelect;
}

bool isBoolean(uint32_t type) {
    return (type & 0xFFFF0000u) == kMixerControlControlTypeBoolean;
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
            j.value("flags", kMixerControlControlFUniform | kMixerControlControlFMultiple);
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
    m.fdwLine = kMixerLineLineFActive;
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
                src.info.fdwLine |= kMixerLineLineFSource;
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
    if (!phmx) return kMmsyserrInvalParam;
    if (uMxId >= devices) return kMmsyserrBadDeviceId;
    if (faults.open) return kMmsyserrAllocated;
    if (fdwOpen != kCallbackWindow && fdwOpen != 0) return kMmsyserrInvalFlag;
    open_ = true;
    target_ = fdwOpen == kCallbackWindow ? target : nullptr;
    *phmx = kHandle;
    return kMmsyserrNoError;
}

MMRESULT SimMixer::mixerGetDevCapsA(uint32_t uMxId, MIXERCAPSA* pmxcaps, uint32_t cbmxcaps) {
    if (uMxId >= devices) return kMmsyserrBadDeviceId;
    if (!pmxcaps || cbmxcaps < sizeof(MIXERCAPSA)) return kMmsyserrInvalParam;
    if (faults.caps) return kMmsyserrNoDriver;
    *pmxcaps = caps;
    return kMmsyserrNoError;
}

MMRESULT SimMixer::checkHandle(HMIXER hmx) const {
    return open_ && hmx == kHandle ? kMmsyserrNoError : kMmsyserrInvalHandle;
}

MMRESULT SimMixer::mixerGetLineInfoA(HMIXER hmx, MIXERLINEA* pmxl, uint32_t fdwInfo) {
    if (MMRESULT rc = checkHandle(hmx)) return rc;
    if (!pmxl || pmxl->cbStruct < sizeof(MIXERLINEA)) return kMmsyserrInvalParam;
    if (pmxl->dwDestination >= destinations.size()) return kMixerrInvalLine;
    Line& dest = destinations[pmxl->dwDestination];
    const Line* line = nullptr;
    if (fdwInfo == kMixerGetLineInfoFDestination) {
        line = &dest;
    } else if (fdwInfo == kMixerGetLineInfoFSource) {
        if (pmxl->dwSource >= dest.sources.size()) return kMixerrInvalLine;
        line = &dest.sources[pmxl->dwSource];
    } else {
        return kMmsyserrInvalFlag;
    }
    if (line->failLineInfo) return kMmsyserrError;
    *pmxl = line->info;
    return kMmsyserrNoError;
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
    if (fdwControls != kMixerGetLineControlsFAll) return kMmsyserrInvalFlag;
    if (!pmxlc || pmxlc->cbmxctrl < sizeof(MIXERCONTROLA)) return kMmsyserrInvalParam;
    Line* line = lineById(pmxlc->dwLineID);
    if (!line) return kMixerrInvalLine;
    if (pmxlc->cControls == 0 || pmxlc->cControls != line->controls.size() || !pmxlc->pamxctrl)
        return kMmsyserrInvalParam;
    if (line->failControls) return kMmsyserrError;
    for (size_t i = 0; i < line->controls.size(); ++i)
        pmxlc->pamxctrl[i] = line->controls[i].info;
    return kMmsyserrNoError;
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
        return kMmsyserrInvalParam;
    c = control(d->dwControlID);
    if (!c) return kMixerrInvalControl;
    const bool list = isList(c->info.dwControlType);
    if (list ? d->cMultipleItems != c->info.cMultipleItems : d->cMultipleItems != 0)
        return kMmsyserrInvalParam;
    return kMmsyserrNoError;
}

MMRESULT SimMixer::mixerGetControlDetailsA(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                           uint32_t fdwDetails) {
    ++reads;
    if (onRead) onRead();
    Control* c = nullptr;
    if (MMRESULT rc = checkDetails(hmx, pmxcd, c)) return rc;
    if (fdwDetails != kMixerGetControlDetailsFValue) return kMmsyserrInvalFlag;
    if (faults.readControl.count(pmxcd->dwControlID)) return kMmsyserrError;
    std::memcpy(pmxcd->paDetails, c->values.data(), c->values.size() * sizeof(uint32_t));
    return kMmsyserrNoError;
}

MMRESULT SimMixer::mixerSetControlDetails(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                          uint32_t fdwDetails) {
    Control* c = nullptr;
    if (MMRESULT rc = checkDetails(hmx, pmxcd, c)) return rc;
    if (fdwDetails != kMixerSetControlDetailsFValue) return kMmsyserrInvalFlag;
    if (faults.writeControl.count(pmxcd->dwControlID)) return kMmsyserrError;
    const auto* in = static_cast<const uint32_t*>(pmxcd->paDetails);
    std::vector<uint32_t> values(in, in + c->values.size());
    const uint32_t type = c->info.dwControlType;
    if (isList(type) || isBoolean(type))
        for (uint32_t& v : values)
            v = v != 0;
    else
        for (uint32_t& v : values)
            if (v > c->info.Bounds.dwMaximum) return kMixerrInvalValue;
    if (isSingleSelect(type)) {
        size_t on = 0;
        for (uint32_t v : values)
            on += v;
        if (on != 1) return kMixerrInvalValue;
    }
    c->values = values;
    writes.emplace_back(pmxcd->dwControlID, values);
    if (target_)
        host().postMessage(target_, kMmMixmControlChange, static_cast<uintptr_t>(hmx),
                           static_cast<intptr_t>(pmxcd->dwControlID));
    return kMmsyserrNoError;
}

MMRESULT SimMixer::mixerClose(HMIXER hmx) {
    if (MMRESULT rc = checkHandle(hmx)) return rc;
    open_ = false;
    target_ = nullptr;
    return kMmsyserrNoError;
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
    const SimMixer::Control* mute = SimMixer::firstControl(line, kMixerControlControlTypeMute);
    return mute && mute->values[0] != 0;
}

double volumeOf(SimMixer::Line& line) {
    const SimMixer::Control* v = SimMixer::firstControl(line, kMixerControlControlTypeVolume);
    return v ? v->values[0] / 65535.0 : 1.0;
}
}  // namespace

double SimMixer::recordingGain() {
    Line* dest = destination(kMixerLineComponentTypeDstWaveIn);
    if (!dest) return 0.0;
    for (Control& c : dest->controls) {
        if (!isList(c.info.dwControlType)) continue;
        for (size_t i = 0; i < c.values.size() && i < dest->sources.size(); ++i)
            if (c.values[i]) return volumeOf(dest->sources[i]);
        return 0.0;
    }
    for (Line& s : dest->sources)
        if (firstControl(s, kMixerControlControlTypeMute) && !muted(s)) return volumeOf(s);
    return 0.0;
}

bool SimMixer::isAudible(uint32_t sourceComponentType) {
    Line* dest = destination(kMixerLineComponentTypeDstSpeakers);
    if (!dest) return false;
    Line* src = source(*dest, sourceComponentType);
    return src && !muted(*dest) && !muted(*src);
}

double SimMixer::playbackGain(uint32_t sourceComponentType) {
    if (!isAudible(sourceComponentType)) return 0.0;
    Line* dest = destination(kMixerLineComponentTypeDstSpeakers);
    return volumeOf(*dest) * volumeOf(*source(*dest, sourceComponentType));
}

}  // namespace sim
