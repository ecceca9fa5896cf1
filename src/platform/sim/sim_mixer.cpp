#include "platform/sim/sim_mixer.h"

#include <algorithm>
#include <cstdint>
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

// A fixture is a handful of levels deep; nothing deeper is read, so that
// neither the parser nor an error message can run out of stack.
constexpr int kMaxDepth = 32;
// How much of a wrong value or of the parser's complaint an error quotes.
constexpr size_t kMaxQuote = 60;

std::string cut(std::string text) {
    if (text.size() > kMaxQuote) text = text.substr(0, kMaxQuote) + "...";
    return text;
}

std::string quote(const json& v) {
    return cut(v.dump(-1, ' ', false, json::error_handler_t::replace));
}

// Throws when arrays and objects nest deeper than kMaxDepth (brackets inside
// strings do not count).
void checkDepth(const std::string& text, const std::string& source) {
    int depth = 0;
    bool inString = false, escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth)
                throw std::runtime_error(source + ": nested more than " +
                                         std::to_string(kMaxDepth) + " levels deep");
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
}

// Reads a fixture's values with their ranges checked; every error names the
// fixture and the key, as "classic.json: destinations[0].controls[2].items: ...".
class Reader {
  public:
    Reader(const std::string& source, const json& j, std::string key)
        : source_(source), j_(j), key_(std::move(key)) {}

    Reader at(const char* key) const { return {source_, j_.at(key), path(key)}; }
    Reader at(size_t i) const { return {source_, j_.at(i), key_ + "[" + std::to_string(i) + "]"}; }
    // An entry that must be an object (a line, a control, "caps", "faults").
    Reader object(const char* key) const { return at(key).mustBeObject(); }
    Reader object(size_t i) const { return at(i).mustBeObject(); }
    bool has(const char* key) const { return j_.is_object() && j_.contains(key); }
    const json& value() const { return j_; }

    // A whole number from lo to hi, or the fallback when the key is absent.
    uint32_t number(const char* key, uint32_t fallback, uint32_t lo, uint32_t hi) const {
        if (!has(key)) return fallback;
        const json& v = j_.at(key);
        if (!v.is_number())
            fail(path(key), "expected a number, found " + std::string(v.type_name()));
        const double d = v.get<double>();
        if (!(d >= lo && d <= hi) || d != static_cast<double>(static_cast<uint64_t>(d)))
            fail(path(key), "expected a whole number from " + std::to_string(lo) + " to " +
                                std::to_string(hi) + ", found " + quote(v));
        return static_cast<uint32_t>(d);
    }
    bool flag(const char* key) const {
        if (!has(key)) return false;
        if (!j_.at(key).is_boolean()) fail(path(key), "expected true or false");
        return j_.at(key).get<bool>();
    }
    std::string text(const char* key) const {
        if (!has(key)) return {};
        if (!j_.at(key).is_string()) fail(path(key), "expected a string");
        return j_.at(key).get<std::string>();
    }
    // A list under key (empty when absent), at most `most` long.
    size_t list(const char* key, size_t most) const {
        if (!has(key)) return 0;
        const json& v = j_.at(key);
        if (!v.is_array()) fail(path(key), "expected a list");
        if (v.size() > most)
            fail(path(key),
                 "at most " + std::to_string(most) + " entries, found " + std::to_string(v.size()));
        return v.size();
    }
    uint32_t type(const std::map<std::string, uint32_t>& names) const {
        if (!has("type")) return 0;
        const json& t = j_.at("type");
        if (t.is_number()) return number("type", 0, 0, UINT32_MAX);
        const std::string name = text("type");
        const auto it = names.find(name);
        if (it == names.end()) fail(path("type"), "unknown type " + cut(name));
        return it->second;
    }
    const Reader& mustBeObject() const {
        if (!j_.is_object())
            fail(key_,
                 "expected an object, found " + std::string(j_.type_name()) + " " + quote(j_));
        return *this;
    }
    [[noreturn]] void fail(const std::string& key, const std::string& what) const {
        throw std::runtime_error(source_ + ": " + key + ": " + what);
    }
    const std::string& key() const { return key_; }

  private:
    std::string path(const char* key) const { return key_.empty() ? key : key_ + "." + key; }
    const std::string& source_;
    const json& j_;
    std::string key_;
};

// Line identifiers hold the destination in 16 bits and the source plus one in
// the other 16, so the counts stop below those limits.
constexpr size_t kMaxDestinations = 0xFFFF;
constexpr size_t kMaxSources = 0xFFFE;
// A generous bound on channels and list items; real cards have a handful.
constexpr uint32_t kMaxItems = 4096;

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

SimMixer::Control parseControl(const Reader& r, uint32_t id, uint32_t sourceCount) {
    SimMixer::Control c;
    MIXERCONTROLA& m = c.info;
    m.cbStruct = sizeof(MIXERCONTROLA);
    m.dwControlID = id;
    m.dwControlType = r.type(kControlTypes);
    copyName(m.szShortName, r.text("shortName"));
    copyName(m.szName, r.text("name"));
    m.Bounds.dwMinimum = 0;
    m.Bounds.dwMaximum = isBoolean(m.dwControlType) || isList(m.dwControlType) ? 1 : 65535;
    m.Metrics.cSteps = m.Bounds.dwMaximum == 1 ? 0 : 64;
    if (isList(m.dwControlType)) {
        m.cMultipleItems = r.number("items", std::min(sourceCount, kMaxItems), 0, kMaxItems);
        m.fdwControl = r.number(
            "flags", kMixerControlControlFUniform | kMixerControlControlFMultiple, 0, UINT32_MAX);
        c.values.assign(m.cMultipleItems, 0);
        if (r.has("values")) {
            const size_t n = r.list("values", m.cMultipleItems);
            const Reader values = r.at("values");
            for (size_t i = 0; i < n; ++i) {
                const json& v = values.value().at(i);
                if (!(v.is_boolean() || (v.is_number() && (v == 0 || v == 1))))
                    values.fail(values.key() + "[" + std::to_string(i) + "]",
                                "expected 0, 1, true or false, found " + quote(v));
                c.values[i] = v.is_boolean() ? v.get<bool>() : v.get<uint32_t>();
            }
        } else if (!c.values.empty()) {
            c.values[0] = 1;
        }
    } else {
        m.cMultipleItems = r.number("items", 0, 0, kMaxItems);
        m.fdwControl = r.number("flags", 0, 0, UINT32_MAX);
        c.values.assign(1, r.number("value", 0, 0, m.Bounds.dwMaximum));
    }
    return c;
}

SimMixer::Line parseLine(const Reader& r, uint32_t lineId, uint32_t& nextControlId,
                         uint32_t sourceCount) {
    SimMixer::Line line;
    MIXERLINEA& m = line.info;
    m.cbStruct = sizeof(MIXERLINEA);
    m.dwLineID = lineId;
    m.fdwLine = kMixerLineLineFActive;
    m.dwComponentType = r.type(kComponentTypes);
    m.cChannels = r.number("channels", 2, 1, 64);
    copyName(m.szShortName, r.text("shortName"));
    copyName(m.szName, r.text("name"));
    line.failLineInfo = r.flag("failLineInfo");
    line.failControls = r.flag("failControls");
    const size_t controls = r.list("controls", kMaxItems);
    for (size_t c = 0; c < controls; ++c)
        line.controls.push_back(
            parseControl(r.at("controls").object(c), nextControlId++, sourceCount));
    m.cControls = static_cast<uint32_t>(line.controls.size());
    return line;
}

}  // namespace

std::unique_ptr<SimMixer> parseSimMixer(const std::string& text, const std::string& source) {
    auto card = std::make_unique<SimMixer>();
    checkDepth(text, source);
    json j;
    try {
        j = json::parse(text);
    } catch (const json::exception& e) {
        // The parser quotes what it read last, which may be long.
        std::string what = e.what();
        if (what.size() > 4 * kMaxQuote) what = what.substr(0, 4 * kMaxQuote) + "...";
        throw std::runtime_error(source + ": not JSON: " + what);
    }
    try {
        const Reader r(source, j, "");
        if (!j.is_object()) r.fail("(top)", "expected an object");
        card->devices = r.number("devices", 1, 0, 255);
        if (r.has("caps")) {
            const Reader c = r.object("caps");
            card->caps.wMid = static_cast<uint16_t>(c.number("wMid", 0, 0, 0xFFFF));
            card->caps.wPid = static_cast<uint16_t>(c.number("wPid", 0, 0, 0xFFFF));
            card->caps.vDriverVersion = c.number("vDriverVersion", 0, 0, UINT32_MAX);
            copyName(card->caps.szPname, c.text("szPname"));
            card->caps.fdwSupport = c.number("fdwSupport", 0, 0, UINT32_MAX);
        }
        if (r.has("faults")) {
            card->faults.open = r.object("faults").flag("open");
            card->faults.caps = r.object("faults").flag("caps");
        }
        uint32_t nextControlId = 0;
        const size_t dests = r.list("destinations", kMaxDestinations);
        for (size_t d = 0; d < dests; ++d) {
            const Reader dr = r.at("destinations").object(d);
            const size_t sources = dr.list("sources", kMaxSources);
            const auto dIndex = static_cast<uint32_t>(d);
            SimMixer::Line dest =
                parseLine(dr, 0xFFFF0000u + dIndex, nextControlId, static_cast<uint32_t>(sources));
            dest.info.dwDestination = dIndex;
            for (size_t s = 0; s < sources; ++s) {
                const auto sIndex = static_cast<uint32_t>(s);
                SimMixer::Line src = parseLine(dr.at("sources").object(s),
                                               ((sIndex + 1) << 16) + dIndex, nextControlId, 0);
                src.info.dwDestination = dIndex;
                src.info.dwSource = sIndex;
                src.info.fdwLine |= kMixerLineLineFSource;
                dest.sources.push_back(std::move(src));
            }
            dest.info.cConnections = static_cast<uint32_t>(dest.sources.size());
            card->destinations.push_back(std::move(dest));
        }
        // Control faults are keyed by identifier, known only now.
        auto collect = [&](const Reader& lineReader, const SimMixer::Line& line) {
            for (size_t c = 0; c < line.controls.size(); ++c) {
                const Reader cr = lineReader.at("controls").at(c);
                if (cr.flag("failRead"))
                    card->faults.readControl.insert(line.controls[c].info.dwControlID);
                if (cr.flag("failWrite"))
                    card->faults.writeControl.insert(line.controls[c].info.dwControlID);
            }
        };
        for (size_t d = 0; d < dests; ++d) {
            const Reader dr = r.at("destinations").at(d);
            collect(dr, card->destinations[d]);
            for (size_t s = 0; s < card->destinations[d].sources.size(); ++s)
                collect(dr.at("sources").at(s), card->destinations[d].sources[s]);
        }
        card->caps.cDestinations = static_cast<uint32_t>(card->destinations.size());
    } catch (const json::exception& e) {
        throw std::runtime_error(source + ": " + e.what());
    }
    card->index();
    return card;
}

std::unique_ptr<SimMixer> loadSimMixer(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("mixer fixture: cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return parseSimMixer(text.str(), path);
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

void SimMixer::index() {
    controlIndex_.clear();
    for (size_t d = 0; d < destinations.size(); ++d) {
        Line& dest = destinations[d];
        for (size_t c = 0; c < dest.controls.size(); ++c)
            controlIndex_[dest.controls[c].info.dwControlID] = {d, 0, c};
        for (size_t s = 0; s < dest.sources.size(); ++s)
            for (size_t c = 0; c < dest.sources[s].controls.size(); ++c)
                controlIndex_[dest.sources[s].controls[c].info.dwControlID] = {d, s + 1, c};
    }
}

SimMixer::Line* SimMixer::lineById(uint32_t lineId) {
    // The identifier says where the line is; a topology a test has changed
    // since is searched instead.
    const uint32_t d = lineId & 0xFFFF, s = lineId >> 16;
    if (d < destinations.size()) {
        Line& dest = destinations[d];
        Line* line = s == 0xFFFF                   ? &dest
                     : s - 1 < dest.sources.size() ? &dest.sources[s - 1]
                                                   : nullptr;
        if (line && line->info.dwLineID == lineId) return line;
    }
    for (Line& dl : destinations) {
        if (dl.info.dwLineID == lineId) return &dl;
        for (Line& sl : dl.sources)
            if (sl.info.dwLineID == lineId) return &sl;
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
    const auto it = controlIndex_.find(id);
    if (it != controlIndex_.end()) {
        const auto [d, s, c] = it->second;
        if (d < destinations.size()) {
            Line& dest = destinations[d];
            Line* line = s == 0                        ? &dest
                         : s - 1 < dest.sources.size() ? &dest.sources[s - 1]
                                                       : nullptr;
            if (line && c < line->controls.size() && line->controls[c].info.dwControlID == id)
                return &line->controls[c];
        }
    }
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
