// The sound card's mixer over ALSA's simple mixer API, as the mixer seam's
// topology: a speaker destination (the master volume and switch, with the
// playback elements as its sources) and a recording destination (the capture
// volume, with the capture source selector or the capture switches as its
// list control). Mixer device 0 is the first card's own mixer, which has the
// analog lines also while a sound server runs; without a card it is the
// default mixer, and without any mixer there is no device.
//
// The mapping from elements to lines and controls is a pure function, so it is
// tested on recorded cards without ALSA.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/mixer_device.h"

namespace alsa {

// One simple-mixer element, as the mapping sees it.
struct Element {
    std::string name;
    unsigned index = 0;
    bool playbackVolume = false;
    bool playbackSwitch = false;
    bool captureVolume = false;
    bool captureSwitch = false;
    bool captureEnum = false;        // a capture source selector
    std::vector<std::string> items;  // its choices
    unsigned channels = 2;
};

// What a control does on the element(s) it is bound to.
enum class Role {
    PlaybackVolume,
    PlaybackMute,  // the inverted playback switch
    CaptureVolume,
    CaptureMute,      // the inverted capture switch
    SourceSelect,     // one item of an enumeration (a single-select list)
    CaptureSwitches,  // one capture switch per item (a multiple-select list)
};

struct MappedControl {
    platform::MIXERCONTROLA info{};
    Role role = Role::PlaybackVolume;
    int element = -1;        // index into the element list
    std::vector<int> items;  // CaptureSwitches: the element of each item
};

struct MappedLine {
    platform::MIXERLINEA info{};
    std::vector<MappedControl> controls;
    std::vector<MappedLine> sources;
};

struct MappedMixer {
    platform::MIXERCAPSA caps{};
    std::vector<MappedLine> destinations;
};

// Maps a card's elements (in ALSA's order) to the two destinations, with line
// and control identifiers numbered in a fixed order.
MappedMixer mapElements(const std::string& cardName, const std::vector<Element>& elements);

// An element's volume range to 0..65535 and back, to the nearest step;
// fromLevel(toLevel(v)) == v whenever the range has at most 65536 values.
uint32_t toLevel(long value, long min, long max);
long fromLevel(uint32_t level, long min, long max);

std::unique_ptr<platform::MixerDevice> makeMixerDevice();

}  // namespace alsa
