// The simulated sound card's mixer: a topology loaded from a JSON fixture,
// with faults a test can inject, keeping every promise of the mixer seam.
//
// Fixture format (every key optional unless marked):
// {
//   "devices": 1,                        0: no mixer at all
//   "caps": { "wMid": 1, "wPid": 2, "vDriverVersion": 256, "szPname": "..." },
//   "faults": { "open": false, "caps": false },
//   "destinations": [ {                  each line, destination or source:
//     "type": "DST_SPEAKERS",            component type, name or number
//     "shortName": "...", "name": "...", "channels": 2,
//     "failLineInfo": false,             its line information cannot be read
//     "failControls": false,             its controls query fails
//     "controls": [ {
//       "type": "VOLUME",                control type, name or number
//       "shortName": "...", "name": "...",
//       "flags": 0,                      fdwControl (lists default to UNIFORM|MULTIPLE)
//       "items": 3,                      list controls: item count
//       "value": 0,                      ordinary controls
//       "values": [1, 0, 0],             list controls, one Boolean per item
//       "failRead": false, "failWrite": false } ],
//     "sources": [ { ...a line... } ] } ]
// }
// Line identifiers: destination d is 0xFFFF0000 + d, source s of destination d
// is ((s + 1) << 16) + d. Control identifiers count from 0 in the order the
// fixture lists them (each destination's controls, then its sources').
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/mixer_device.h"

namespace sim {

class SimMixer final : public platform::MixerDevice {
  public:
    struct Control {
        platform::MIXERCONTROLA info{};
        std::vector<uint32_t> values;  // one per item; one for an ordinary control
    };
    struct Line {
        platform::MIXERLINEA info{};
        std::vector<Control> controls;
        std::vector<Line> sources;  // destinations only
        bool failLineInfo = false;
        bool failControls = false;
    };
    struct Faults {
        bool open = false;
        bool caps = false;
        std::set<uint32_t> readControl;   // control identifiers whose reads fail
        std::set<uint32_t> writeControl;  // ... whose writes fail
    };

    uint32_t mixerGetNumDevs() override;
    platform::MMRESULT mixerOpen(platform::HMIXER* phmx, uint32_t uMxId,
                                 platform::MessageTarget* target, uintptr_t dwInstance,
                                 uint32_t fdwOpen) override;
    platform::MMRESULT mixerGetDevCapsA(uint32_t uMxId, platform::MIXERCAPSA* pmxcaps,
                                        uint32_t cbmxcaps) override;
    platform::MMRESULT mixerGetLineInfoA(platform::HMIXER hmx, platform::MIXERLINEA* pmxl,
                                         uint32_t fdwInfo) override;
    platform::MMRESULT mixerGetLineControlsA(platform::HMIXER hmx,
                                             platform::MIXERLINECONTROLSA* pmxlc,
                                             uint32_t fdwControls) override;
    platform::MMRESULT mixerGetControlDetailsA(platform::HMIXER hmx,
                                               platform::MIXERCONTROLDETAILS* pmxcd,
                                               uint32_t fdwDetails) override;
    platform::MMRESULT mixerSetControlDetails(platform::HMIXER hmx,
                                              platform::MIXERCONTROLDETAILS* pmxcd,
                                              uint32_t fdwDetails) override;
    platform::MMRESULT mixerClose(platform::HMIXER hmx) override;

    // The topology, for tests to inspect and change.
    uint32_t devices = 1;
    platform::MIXERCAPSA caps{};
    std::vector<Line> destinations;
    Faults faults;

    // A control by identifier, or null.
    Control* control(uint32_t id);
    // The first control of a type on a line, or null.
    static Control* firstControl(Line& line, uint32_t type);
    // The first destination (or source of a destination) of a component type.
    Line* destination(uint32_t componentType);
    static Line* source(Line& destination, uint32_t componentType);

    // Couplings for the simulated wave devices:
    // The capture gain, 0..1: the volume of the recording source the first
    // wave-in destination's list control selects (without a list control, its
    // first unmuted source); 0 when nothing is selected.
    double recordingGain();
    // Whether the first source of a type on the first speaker destination is
    // heard: the destination and the source both unmuted.
    bool isAudible(uint32_t sourceComponentType);
    // The gain of that path, 0..1: destination volume times source volume,
    // 0 when it is not audible.
    double playbackGain(uint32_t sourceComponentType);

    bool isOpen() const { return open_; }
    platform::MessageTarget* target() const { return target_; }
    // Every successful write: (control identifier, values written).
    std::vector<std::pair<uint32_t, std::vector<uint32_t>>> writes;
    size_t reads = 0;
    // Runs inside every details read, as a nested message loop of the real
    // platform might; tests use it to provoke re-entry.
    std::function<void()> onRead;

    // Rebuilds the lookup of controls by identifier (the loader calls it).
    void index();

  private:
    platform::MMRESULT checkHandle(platform::HMIXER hmx) const;
    Line* lineById(uint32_t lineId);
    platform::MMRESULT checkDetails(platform::HMIXER hmx, const platform::MIXERCONTROLDETAILS* d,
                                    Control*& c);

    bool open_ = false;
    platform::MessageTarget* target_ = nullptr;
    struct Place {
        size_t destination, line, control;  // line 0: the destination, s + 1: its source s
    };
    std::unordered_map<uint32_t, Place> controlIndex_;
};

// Loads a card from a fixture file; throws std::runtime_error, naming the
// file and the key, when the file cannot be read or does not describe a card
// (every number is checked against its field's range).
std::unique_ptr<SimMixer> loadSimMixer(const std::string& path);
// The same from JSON text; `source` names it in errors.
std::unique_ptr<SimMixer> parseSimMixer(const std::string& json,
                                        const std::string& source = "mixer fixture");

}  // namespace sim
