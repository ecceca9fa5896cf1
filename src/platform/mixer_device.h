// The mixer seam: the audio-mixer calls the mixer code makes, with the
// platform's records and constants under their platform names and values, so
// that the same topology reads (and lists) the same on every platform.
//
// What the core guarantees to a backend:
// - Every call comes from the loop's thread, one at a time.
// - mixerOpen is called at most once per run (device 0); every later call uses
//   the handle it returned, and mixerClose ends the use of it. mixerClose may
//   also be called with the handle 0 after a failed open.
// - Records passed in carry cbStruct set to their size; the line-information
//   request carries dwDestination (and dwSource for a source) set.
// - A control-details request names one control, cChannels 1, cbDetails 4, and
//   a paDetails buffer of max(1, cMultipleItems) 32-bit values; the core never
//   asks for more items than its buffer holds.
//
// What every backend must do:
// - Return kMmsyserrNoError (0) on success and a nonzero MMSYSERR_* or
//   MIXERR_* code on failure. On failure nothing the caller owns is written
//   (records, control arrays and details buffers stay as they were).
// - Fill strings NUL-terminated within their arrays, truncating long names.
// - Number destinations 0 .. cDestinations-1 and the sources of each
//   destination 0 .. cConnections-1, in a fixed order for the whole run.
//   dwLineID and dwControlID values are unique and stay fixed for the run; no
//   real control has the identifier 0xFFFFFFFF (the core's "none").
// - mixerGetLineControlsA with kMixerGetLineControlsFAll fills exactly
//   cControls entries and fails with kMmsyserrInvalParam when cControls is not
//   the line's control count, including a request for a line with none.
// - Control values: volumes 0..65535, Booleans 0/1, list controls one Boolean
//   per item (cMultipleItems must equal the control's item count). A
//   single-select list (MUX, SINGLESELECT) accepts a write only with exactly
//   one item set, else kMixerrInvalValue.
// - After every successful mixerSetControlDetails, and whenever the device
//   changes a control by itself, post kMmMixmControlChange (wParam: the
//   handle, lParam: the control identifier) through platform::host() to the
//   target given at open; a change of a line's state posts
//   kMmMixmLineChange (lParam: the line identifier). Posting may happen from
//   a backend thread; nothing else may.
// Calls that may fail: every one but mixerGetNumDevs (which returns 0 when
// there is no mixer). mixerClose of a handle that is not open returns
// kMmsyserrInvalHandle and does nothing else.
#pragma once

#include <cstdint>

#include "platform/host.h"
#include "platform/mmresult.h"

namespace platform {

using HMIXER = uintptr_t;  // 0: no open device

inline constexpr MMRESULT kMixerrInvalLine = 1024;
inline constexpr MMRESULT kMixerrInvalControl = 1025;
inline constexpr MMRESULT kMixerrInvalValue = 1026;

inline constexpr uint32_t kMaxPNameLen = 32;
inline constexpr uint32_t kMixerShortNameChars = 16;
inline constexpr uint32_t kMixerLongNameChars = 64;

inline constexpr uint32_t kCallbackWindow = 0x00010000;

inline constexpr uint32_t kMixerGetLineInfoFDestination = 0x00000000;
inline constexpr uint32_t kMixerGetLineInfoFSource = 0x00000001;
inline constexpr uint32_t kMixerGetLineControlsFAll = 0x00000000;
inline constexpr uint32_t kMixerGetControlDetailsFValue = 0x00000000;
inline constexpr uint32_t kMixerSetControlDetailsFValue = 0x00000000;

inline constexpr uint32_t kMixerLineLineFActive = 0x00000001;
inline constexpr uint32_t kMixerLineLineFSource = 0x80000000;

// Component types.
inline constexpr uint32_t kMixerLineComponentTypeDstUndefined = 0x0000;
inline constexpr uint32_t kMixerLineComponentTypeDstDigital = 0x0001;
inline constexpr uint32_t kMixerLineComponentTypeDstLine = 0x0002;
inline constexpr uint32_t kMixerLineComponentTypeDstMonitor = 0x0003;
inline constexpr uint32_t kMixerLineComponentTypeDstSpeakers = 0x0004;
inline constexpr uint32_t kMixerLineComponentTypeDstHeadphones = 0x0005;
inline constexpr uint32_t kMixerLineComponentTypeDstTelephone = 0x0006;
inline constexpr uint32_t kMixerLineComponentTypeDstWaveIn = 0x0007;
inline constexpr uint32_t kMixerLineComponentTypeDstVoiceIn = 0x0008;
inline constexpr uint32_t kMixerLineComponentTypeSrcUndefined = 0x1000;
inline constexpr uint32_t kMixerLineComponentTypeSrcDigital = 0x1001;
inline constexpr uint32_t kMixerLineComponentTypeSrcLine = 0x1002;
inline constexpr uint32_t kMixerLineComponentTypeSrcMicrophone = 0x1003;
inline constexpr uint32_t kMixerLineComponentTypeSrcSynthesizer = 0x1004;
inline constexpr uint32_t kMixerLineComponentTypeSrcCompactDisc = 0x1005;
inline constexpr uint32_t kMixerLineComponentTypeSrcTelephone = 0x1006;
inline constexpr uint32_t kMixerLineComponentTypeSrcPcSpeaker = 0x1007;
inline constexpr uint32_t kMixerLineComponentTypeSrcWaveOut = 0x1008;
inline constexpr uint32_t kMixerLineComponentTypeSrcAuxiliary = 0x1009;
inline constexpr uint32_t kMixerLineComponentTypeSrcAnalog = 0x100A;

// Control classes and types.
inline constexpr uint32_t kMixerControlCtClassMask = 0xF0000000;
inline constexpr uint32_t kMixerControlCtClassMeter = 0x10000000;
inline constexpr uint32_t kMixerControlCtClassSwitch = 0x20000000;
inline constexpr uint32_t kMixerControlCtClassSlider = 0x40000000;
inline constexpr uint32_t kMixerControlCtClassFader = 0x50000000;
inline constexpr uint32_t kMixerControlCtClassList = 0x70000000;
inline constexpr uint32_t kMixerControlControlTypePeakMeter = 0x10020001;
inline constexpr uint32_t kMixerControlControlTypeBoolean = 0x20010000;
inline constexpr uint32_t kMixerControlControlTypeOnOff = 0x20010001;
inline constexpr uint32_t kMixerControlControlTypeMute = 0x20010002;
inline constexpr uint32_t kMixerControlControlTypeMono = 0x20010003;
inline constexpr uint32_t kMixerControlControlTypeLoudness = 0x20010004;
inline constexpr uint32_t kMixerControlControlTypePan = 0x40020001;
inline constexpr uint32_t kMixerControlControlTypeFader = 0x50030000;
inline constexpr uint32_t kMixerControlControlTypeVolume = 0x50030001;
inline constexpr uint32_t kMixerControlControlTypeBass = 0x50030002;
inline constexpr uint32_t kMixerControlControlTypeTreble = 0x50030003;
inline constexpr uint32_t kMixerControlControlTypeSingleSelect = 0x70010000;
inline constexpr uint32_t kMixerControlControlTypeMux = 0x70010001;
inline constexpr uint32_t kMixerControlControlTypeMultipleSelect = 0x71010000;
inline constexpr uint32_t kMixerControlControlTypeMixer = 0x71010001;

inline constexpr uint32_t kMixerControlControlFUniform = 0x00000001;
inline constexpr uint32_t kMixerControlControlFMultiple = 0x00000002;
inline constexpr uint32_t kMixerControlControlFDisabled = 0x80000000;

struct MIXERCAPSA {
    uint16_t wMid;
    uint16_t wPid;
    uint32_t vDriverVersion;
    char szPname[kMaxPNameLen];
    uint32_t fdwSupport;
    uint32_t cDestinations;
};

struct MIXERLINEA {
    uint32_t cbStruct;
    uint32_t dwDestination;
    uint32_t dwSource;
    uint32_t dwLineID;
    uint32_t fdwLine;
    uint32_t dwComponentType;
    uint32_t cChannels;
    uint32_t cConnections;
    uint32_t cControls;
    char szShortName[kMixerShortNameChars];
    char szName[kMixerLongNameChars];
};

struct MIXERCONTROLA {
    uint32_t cbStruct;
    uint32_t dwControlID;
    uint32_t dwControlType;
    uint32_t fdwControl;
    uint32_t cMultipleItems;
    char szShortName[kMixerShortNameChars];
    char szName[kMixerLongNameChars];
    struct {
        uint32_t dwMinimum;
        uint32_t dwMaximum;
    } Bounds;
    struct {
        uint32_t cSteps;
    } Metrics;
};

struct MIXERLINECONTROLSA {
    uint32_t cbStruct;
    uint32_t dwLineID;
    uint32_t dwControlID;  // unused with kMixerGetLineControlsFAll
    uint32_t cControls;
    uint32_t cbmxctrl;
    MIXERCONTROLA* pamxctrl;
};

struct MIXERCONTROLDETAILS {
    uint32_t cbStruct;
    uint32_t dwControlID;
    uint32_t cChannels;
    uint32_t cMultipleItems;  // 0 for an ordinary control
    uint32_t cbDetails;
    void* paDetails;
};

class MixerDevice {
  public:
    virtual ~MixerDevice() = default;

    virtual uint32_t mixerGetNumDevs() = 0;
    // Opens device uMxId; with kCallbackWindow, notifications go to target.
    virtual MMRESULT mixerOpen(HMIXER* phmx, uint32_t uMxId, MessageTarget* target,
                               uintptr_t dwInstance, uint32_t fdwOpen) = 0;
    virtual MMRESULT mixerGetDevCapsA(uint32_t uMxId, MIXERCAPSA* pmxcaps, uint32_t cbmxcaps) = 0;
    virtual MMRESULT mixerGetLineInfoA(HMIXER hmx, MIXERLINEA* pmxl, uint32_t fdwInfo) = 0;
    virtual MMRESULT mixerGetLineControlsA(HMIXER hmx, MIXERLINECONTROLSA* pmxlc,
                                           uint32_t fdwControls) = 0;
    virtual MMRESULT mixerGetControlDetailsA(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                             uint32_t fdwDetails) = 0;
    virtual MMRESULT mixerSetControlDetails(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                            uint32_t fdwDetails) = 0;
    virtual MMRESULT mixerClose(HMIXER hmx) = 0;
};

}  // namespace platform
