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
// - Return MMSYSERR_NOERROR (0) on success and a nonzero MMSYSERR_* or
//   MIXERR_* code on failure. On failure nothing the caller owns is written
//   (records, control arrays and details buffers stay as they were).
// - Fill strings NUL-terminated within their arrays, truncating long names.
// - Number destinations 0 .. cDestinations-1 and the sources of each
//   destination 0 .. cConnections-1, in a fixed order for the whole run.
//   dwLineID and dwControlID values are unique and stay fixed for the run; no
//   real control has the identifier 0xFFFFFFFF (the core's "none").
// - mixerGetLineControlsA with MIXER_GETLINECONTROLSF_ALL fills exactly
//   cControls entries and fails with MMSYSERR_INVALPARAM when cControls is not
//   the line's control count, including a request for a line with none.
// - Control values: volumes 0..65535, Booleans 0/1, list controls one Boolean
//   per item (cMultipleItems must equal the control's item count). A
//   single-select list (MUX, SINGLESELECT) accepts a write only with exactly
//   one item set, else MIXERR_INVALVALUE.
// - After every successful mixerSetControlDetails, and whenever the device
//   changes a control by itself, post MM_MIXM_CONTROL_CHANGE (wParam: the
//   handle, lParam: the control identifier) through platform::host() to the
//   target given at open; a change of a line's state posts
//   MM_MIXM_LINE_CHANGE (lParam: the line identifier). Posting may happen from
//   a backend thread; nothing else may.
// Calls that may fail: every one but mixerGetNumDevs (which returns 0 when
// there is no mixer). mixerClose of a handle that is not open returns
// MMSYSERR_INVALHANDLE and does nothing else.
#pragma once

#include <cstdint>

#include "platform/host.h"
#include "platform/mmresult.h"

namespace platform {

using HMIXER = uintptr_t;  // 0: no open device

inline constexpr MMRESULT MIXERR_INVALLINE = 1024;
inline constexpr MMRESULT MIXERR_INVALCONTROL = 1025;
inline constexpr MMRESULT MIXERR_INVALVALUE = 1026;

inline constexpr uint32_t MAXPNAMELEN = 32;
inline constexpr uint32_t MIXER_SHORT_NAME_CHARS = 16;
inline constexpr uint32_t MIXER_LONG_NAME_CHARS = 64;

inline constexpr uint32_t CALLBACK_WINDOW = 0x00010000;

inline constexpr uint32_t MIXER_GETLINEINFOF_DESTINATION = 0x00000000;
inline constexpr uint32_t MIXER_GETLINEINFOF_SOURCE = 0x00000001;
inline constexpr uint32_t MIXER_GETLINECONTROLSF_ALL = 0x00000000;
inline constexpr uint32_t MIXER_GETCONTROLDETAILSF_VALUE = 0x00000000;
inline constexpr uint32_t MIXER_SETCONTROLDETAILSF_VALUE = 0x00000000;

inline constexpr uint32_t MIXERLINE_LINEF_ACTIVE = 0x00000001;
inline constexpr uint32_t MIXERLINE_LINEF_SOURCE = 0x80000000;

// Component types.
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_DST_UNDEFINED = 0x0000;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_DST_DIGITAL = 0x0001;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_DST_LINE = 0x0002;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_DST_MONITOR = 0x0003;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = 0x0004;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_DST_HEADPHONES = 0x0005;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_DST_TELEPHONE = 0x0006;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 0x0007;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_DST_VOICEIN = 0x0008;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED = 0x1000;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_DIGITAL = 0x1001;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_LINE = 0x1002;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = 0x1003;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER = 0x1004;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC = 0x1005;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE = 0x1006;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER = 0x1007;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT = 0x1008;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY = 0x1009;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_ANALOG = 0x100A;

// Control classes and types.
inline constexpr uint32_t MIXERCONTROL_CT_CLASS_MASK = 0xF0000000;
inline constexpr uint32_t MIXERCONTROL_CT_CLASS_METER = 0x10000000;
inline constexpr uint32_t MIXERCONTROL_CT_CLASS_SWITCH = 0x20000000;
inline constexpr uint32_t MIXERCONTROL_CT_CLASS_SLIDER = 0x40000000;
inline constexpr uint32_t MIXERCONTROL_CT_CLASS_FADER = 0x50000000;
inline constexpr uint32_t MIXERCONTROL_CT_CLASS_LIST = 0x70000000;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_PEAKMETER = 0x10020001;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_BOOLEAN = 0x20010000;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_ONOFF = 0x20010001;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_MONO = 0x20010003;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_LOUDNESS = 0x20010004;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_PAN = 0x40020001;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_FADER = 0x50030000;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_BASS = 0x50030002;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_TREBLE = 0x50030003;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_SINGLESELECT = 0x70010000;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_MUX = 0x70010001;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT = 0x71010000;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_MIXER = 0x71010001;

inline constexpr uint32_t MIXERCONTROL_CONTROLF_UNIFORM = 0x00000001;
inline constexpr uint32_t MIXERCONTROL_CONTROLF_MULTIPLE = 0x00000002;
inline constexpr uint32_t MIXERCONTROL_CONTROLF_DISABLED = 0x80000000;

struct MIXERCAPSA {
    uint16_t wMid;
    uint16_t wPid;
    uint32_t vDriverVersion;
    char szPname[MAXPNAMELEN];
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
    char szShortName[MIXER_SHORT_NAME_CHARS];
    char szName[MIXER_LONG_NAME_CHARS];
};

struct MIXERCONTROLA {
    uint32_t cbStruct;
    uint32_t dwControlID;
    uint32_t dwControlType;
    uint32_t fdwControl;
    uint32_t cMultipleItems;
    char szShortName[MIXER_SHORT_NAME_CHARS];
    char szName[MIXER_LONG_NAME_CHARS];
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
    uint32_t dwControlID;  // unused with MIXER_GETLINECONTROLSF_ALL
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
    // Opens device uMxId; with CALLBACK_WINDOW, notifications go to target.
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
