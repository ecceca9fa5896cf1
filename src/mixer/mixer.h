// CMixer: opens mixer device 0, copies its whole topology (destinations, their
// controls, their sources and the sources' controls) once at start-up, and
// owns the one control-details request every control read and write goes
// through.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/mixer_device.h"

class TextFile;

// An index or control identifier that names nothing.
inline constexpr uint32_t kMixerNone = 0xFFFFFFFFu;

// A source line of a destination and its controls.
struct CMixerMixerLine_src : platform::MIXERLINEA {
    platform::MIXERCONTROLA* psaMixerControl;  // cControls entries
};

// A destination line, its controls and its sources.
struct CMixerMixerLine_dest : platform::MIXERLINEA {
    platform::MIXERCONTROLA* psaMixerControl;     // cControls entries
    CMixerMixerLine_src* psaCMixerMixerLine_src;  // cConnections entries
};

class CMixer {
  public:
    static constexpr size_t kDetailsValues = 20;

    CMixer() = default;
    CMixer(const CMixer&) = delete;
    CMixer& operator=(const CMixer&) = delete;
    // Frees a copy that release() did not; the device is not touched.
    ~CMixer();

    // Opens the device and copies its topology. device may be null (no mixer
    // support at all: the same as a machine without a mixer device).
    void initialize(platform::MixerDevice* device, platform::MessageTarget* owner,
                    const char* version);
    // Closes the device and frees the copy.
    void release();

    // Called for kMmMixmLineChange and kMmMixmControlChange, and to write
    // the assignment section of the listing; in this slot order.
    virtual void lineChanged(uint32_t lineId);
    virtual void controlChanged(uint32_t controlId);
    virtual void writeAssignedDefaults(TextFile& file);

    // The long name of destination d, or null.
    const char* getDestinationName(uint32_t d) const;
    // The long name of source s of destination d, or null.
    const char* getSourceName(uint32_t d, uint32_t s) const;

    // 0, -10 for the identifier kMixerNone, -20 on a platform error (and for a
    // list control with more items than adwDetails holds, which is never
    // read nor written).
    int32_t readControl(uint32_t controlId, uint32_t items);
    // Writes the request if it still names the control read last: 0, -10
    // (not written), -20 (platform error).
    int32_t writeControl();
    // Stores a value 0..65535 in element 0 and writes it under the same rule;
    // returns element 0.
    uint32_t writeControlValue(int32_t value);

    // Zero-filled allocation for the copy; replaceable so that a failed
    // allocation can be exercised.
    using Allocator = void* (*)(size_t count, size_t size);
    static Allocator allocator;

    platform::MessageTarget* hWndOwner = nullptr;
    platform::HMIXER hMixer = 0;
    uint32_t uMxId = 0;
    platform::MIXERCAPSA sMixerCaps{};
    CMixerMixerLine_dest* pasCMixerMixerLine_dest = nullptr;
    char szMessage[256]{};
    platform::MIXERCONTROLDETAILS sControlDetails{};
    uint32_t adwDetails[kDetailsValues]{};
    uint32_t dwCurrentCtrl = 0;
    const char* pszVersion = nullptr;

  protected:
    void showMessage(const char* text, const char* caption);

  private:
    // The phases of initialize: the device and its capabilities, then each
    // destination with its controls and sources.
    bool openDevice();
    void readDestination(uint32_t d);
    void readDestinationControls(CMixerMixerLine_dest& dest);
    // Reads the controls of one source; the platform's result.
    platform::MMRESULT getAllControls(CMixerMixerLine_src& source);
    void freeCopy();

    platform::MixerDevice* pDevice = nullptr;
};
