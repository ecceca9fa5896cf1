// The mapping from ALSA's simple-mixer elements to the mixer seam's topology.
// Pure: no ALSA call, so recorded cards test it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/alsa/alsa_mixer.h"

namespace alsa {

using namespace platform;

namespace {

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// Elements that are outputs of the card rather than lines mixed into it.
bool isOutput(const std::string& name) {
    for (const char* o : {"Master", "Speaker", "Headphone", "Front", "Surround", "Center", "LFE",
                          "Side", "Bass Speaker", "Master Mono", "Mono", "Capture"})
        if (name == o) return true;
    return false;
}

// Gains in front of a line (boosts) are not lines themselves.
bool isGain(const std::string& name) {
    return name.size() >= 6 && name.compare(name.size() - 6, 6, " Boost") == 0;
}

// The line's component type and short name, by the element's name.
uint32_t componentType(const std::string& name, std::string& shortName) {
    shortName = name;
    if (name == "Line") return kMixerLineComponentTypeSrcLine;
    if (startsWith(name, "Line")) return kMixerLineComponentTypeSrcAuxiliary;
    if (startsWith(name, "Aux")) {
        // An auxiliary input is a line input: its short name says so.
        shortName = "Line " + name;
        return kMixerLineComponentTypeSrcAuxiliary;
    }
    if (name.find("Mic") != std::string::npos) return kMixerLineComponentTypeSrcMicrophone;
    if (startsWith(name, "PCM") || startsWith(name, "Wave"))
        return kMixerLineComponentTypeSrcWaveOut;
    if (startsWith(name, "CD")) return kMixerLineComponentTypeSrcCompactDisc;
    if (startsWith(name, "Synth") || startsWith(name, "FM") || startsWith(name, "MIDI"))
        return kMixerLineComponentTypeSrcSynthesizer;
    if (startsWith(name, "Phone")) return kMixerLineComponentTypeSrcTelephone;
    if (startsWith(name, "Beep") || startsWith(name, "PC Speaker"))
        return kMixerLineComponentTypeSrcPcSpeaker;
    if (startsWith(name, "IEC958") || startsWith(name, "Digital") || startsWith(name, "SPDIF"))
        return kMixerLineComponentTypeSrcDigital;
    if (startsWith(name, "Video") || startsWith(name, "Analog"))
        return kMixerLineComponentTypeSrcAnalog;
    return kMixerLineComponentTypeSrcUndefined;
}

template <size_t N>
void copyName(char (&to)[N], const std::string& from) {
    std::snprintf(to, N, "%s", from.c_str());
}

// Numbers controls and lines as they are made, so identifiers follow the
// mapping's fixed order.
struct Builder {
    uint32_t nextControl = 0;

    MappedControl control(Role role, int element, uint32_t type, const std::string& name,
                          const char* what, uint32_t items = 0) {
        MappedControl c;
        c.role = role;
        c.element = element;
        c.info.cbStruct = sizeof(MIXERCONTROLA);
        c.info.dwControlID = nextControl++;
        c.info.dwControlType = type;
        c.info.cMultipleItems = items;
        c.info.fdwControl =
            items ? kMixerControlControlFUniform | kMixerControlControlFMultiple : 0;
        copyName(c.info.szShortName, what);
        copyName(c.info.szName, name + " " + what);
        const bool level = (type & kMixerControlCtClassMask) == kMixerControlCtClassFader;
        c.info.Bounds.dwMinimum = 0;
        c.info.Bounds.dwMaximum = level ? 65535 : 1;
        c.info.Metrics.cSteps = level ? 65536 : items;
        return c;
    }
};

MappedLine line(uint32_t type, const std::string& shortName, const std::string& name,
                unsigned channels) {
    MappedLine l;
    l.info.cbStruct = sizeof(MIXERLINEA);
    l.info.dwComponentType = type;
    l.info.cChannels = channels;
    l.info.fdwLine = kMixerLineLineFActive;
    copyName(l.info.szShortName, shortName);
    copyName(l.info.szName, name);
    return l;
}

int find(const std::vector<Element>& elements, const std::string& name) {
    for (size_t i = 0; i < elements.size(); ++i)
        if (elements[i].name == name && elements[i].index == 0) return static_cast<int>(i);
    return -1;
}

// Element names with an index other than 0 keep it, as mixer programs show.
std::string displayName(const Element& e) {
    return e.index ? e.name + " " + std::to_string(e.index) : e.name;
}

// Speakers: the master element's volume and switch, the playback lines as
// sources.
MappedLine speakersLine(const std::vector<Element>& elements, Builder& b) {
    MappedLine speakers = line(kMixerLineComponentTypeDstSpeakers, "Speakers", "Speakers", 2);
    int master = find(elements, "Master");
    for (const char* alternative : {"Speaker", "Headphone"})
        if (master < 0) master = find(elements, alternative);
    if (master >= 0) {
        const Element& e = elements[master];
        speakers.info.cChannels = e.channels;
        if (e.playbackVolume)
            speakers.controls.push_back(b.control(
                Role::PlaybackVolume, master, kMixerControlControlTypeVolume, e.name, "Volume"));
        if (e.playbackSwitch)
            speakers.controls.push_back(b.control(Role::PlaybackMute, master,
                                                  kMixerControlControlTypeMute, e.name, "Mute"));
    }
    for (size_t i = 0; i < elements.size(); ++i) {
        const Element& e = elements[i];
        if (static_cast<int>(i) == master || isOutput(e.name) || isGain(e.name)) continue;
        if (!e.playbackVolume && !e.playbackSwitch) continue;
        std::string shortName;
        const uint32_t type = componentType(e.name, shortName);
        MappedLine source = line(type, shortName, displayName(e), e.channels);
        const int at = static_cast<int>(i);
        if (e.playbackVolume)
            source.controls.push_back(b.control(Role::PlaybackVolume, at,
                                                kMixerControlControlTypeVolume, e.name, "Volume"));
        if (e.playbackSwitch)
            source.controls.push_back(
                b.control(Role::PlaybackMute, at, kMixerControlControlTypeMute, e.name, "Mute"));
        speakers.sources.push_back(std::move(source));
    }
    return speakers;
}

// Without a selector: the elements with a capture switch or volume of their
// own, each a source.
std::vector<int> captureSwitches(const std::vector<Element>& elements, int capture) {
    std::vector<int> switches;
    for (size_t i = 0; i < elements.size(); ++i) {
        const Element& e = elements[i];
        if (static_cast<int>(i) == capture || isGain(e.name) || e.captureEnum) continue;
        if (!e.captureSwitch && !e.captureVolume) continue;
        switches.push_back(static_cast<int>(i));
    }
    return switches;
}

// Recording: the capture volume, and the sources the selector or the capture
// switches choose between; list item i is source i.
MappedLine recordingLine(const std::vector<Element>& elements, Builder& b) {
    MappedLine recording =
        line(kMixerLineComponentTypeDstWaveIn, "Capture", "Recording Control", 2);
    const int capture = find(elements, "Capture");
    int selector = -1;
    for (size_t i = 0; i < elements.size() && selector < 0; ++i)
        if (elements[i].captureEnum && !elements[i].items.empty()) selector = static_cast<int>(i);

    // A source's own capture volume and switch when it has them; otherwise
    // the capture element's, shared by every source.
    bool sharedVolume = false;
    auto addSource = [&](const std::string& name, int own) {
        std::string shortName;
        const uint32_t type = componentType(name, shortName);
        const Element* e = own >= 0 ? &elements[own] : nullptr;
        MappedLine source = line(type, shortName, name, e ? e->channels : 2);
        if (e && e->captureVolume) {
            source.controls.push_back(b.control(Role::CaptureVolume, own,
                                                kMixerControlControlTypeVolume, name, "Volume"));
        } else if (capture >= 0 && elements[capture].captureVolume) {
            sharedVolume = true;
            source.controls.push_back(b.control(Role::CaptureVolume, capture,
                                                kMixerControlControlTypeVolume, name, "Volume"));
        }
        if (e && e->captureSwitch)
            source.controls.push_back(
                b.control(Role::CaptureMute, own, kMixerControlControlTypeMute, name, "Mute"));
        else if (capture >= 0 && elements[capture].captureSwitch)
            source.controls.push_back(
                b.control(Role::CaptureMute, capture, kMixerControlControlTypeMute, name, "Mute"));
        recording.sources.push_back(std::move(source));
    };

    MappedControl list;
    bool hasList = false;
    if (selector >= 0) {
        const Element& s = elements[selector];
        list = b.control(Role::SourceSelect, selector, kMixerControlControlTypeMux, s.name,
                         "Select", static_cast<uint32_t>(s.items.size()));
        copyName(list.info.szName, s.name);
        hasList = true;
        for (const std::string& item : s.items) {
            const int own = find(elements, item);
            addSource(item, own >= 0 && own != capture ? own : -1);
        }
    } else {
        const std::vector<int> switches = captureSwitches(elements, capture);
        if (!switches.empty()) {
            list = b.control(Role::CaptureSwitches, -1, kMixerControlControlTypeMixer,
                             "Capture Switches", "Select", static_cast<uint32_t>(switches.size()));
            copyName(list.info.szName, "Capture Switches");
            list.items = switches;
            hasList = true;
        }
        for (int i : switches)
            addSource(displayName(elements[i]), i);
    }
    // The capture element's volume belongs to the destination unless the
    // sources already share it.
    if (capture >= 0 && elements[capture].captureVolume && !sharedVolume) {
        recording.controls.push_back(b.control(
            Role::CaptureVolume, capture, kMixerControlControlTypeVolume, "Capture", "Volume"));
        recording.info.cChannels = elements[capture].channels;
    }
    if (hasList) recording.controls.push_back(list);
    return recording;
}

// The line identifiers and counts, once every line is there.
void numberLines(MappedMixer& m) {
    m.caps.cDestinations = static_cast<uint32_t>(m.destinations.size());
    for (uint32_t d = 0; d < m.destinations.size(); ++d) {
        MappedLine& dest = m.destinations[d];
        dest.info.dwDestination = d;
        dest.info.dwLineID = 0xFFFF0000u + d;
        dest.info.cConnections = static_cast<uint32_t>(dest.sources.size());
        dest.info.cControls = static_cast<uint32_t>(dest.controls.size());
        for (uint32_t s = 0; s < dest.sources.size(); ++s) {
            MappedLine& src = dest.sources[s];
            src.info.dwDestination = d;
            src.info.dwSource = s;
            src.info.dwLineID = ((s + 1) << 16) + d;
            src.info.fdwLine |= kMixerLineLineFSource;
            src.info.cControls = static_cast<uint32_t>(src.controls.size());
        }
    }
}

}  // namespace

MappedMixer mapElements(const std::string& cardName, const std::vector<Element>& elements) {
    MappedMixer m;
    copyName(m.caps.szPname, cardName);
    Builder b;  // numbers the controls in the order they are made
    m.destinations.push_back(speakersLine(elements, b));
    m.destinations.push_back(recordingLine(elements, b));
    numberLines(m);
    return m;
}

uint32_t toLevel(long value, long min, long max) {
    if (max <= min) return 0;
    const double x = std::round(static_cast<double>(value - min) * 65535.0 / (max - min));
    return static_cast<uint32_t>(std::clamp(x, 0.0, 65535.0));
}

long fromLevel(uint32_t level, long min, long max) {
    if (max <= min) return min;
    return min + std::lround(static_cast<double>(std::min<uint32_t>(level, 65535)) * (max - min) /
                             65535.0);
}

}  // namespace alsa
