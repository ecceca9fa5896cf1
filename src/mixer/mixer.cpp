#include "mixer/mixer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace platform;

namespace {

void* zeroFilled(size_t count, size_t size) {
    return std::calloc(count, size);
}

constexpr const char* kInitialize = "CMixer::initialize";

// A line record as the platform filled it; names are cut to their arrays in
// case a backend forgot the terminator.
template <typename Line>
void terminateNames(Line& line) {
    line.szShortName[sizeof(line.szShortName) - 1] = '\0';
    line.szName[sizeof(line.szName) - 1] = '\0';
}

void terminateNames(MIXERCONTROLA* controls, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        terminateNames(controls[i]);
}

}  // namespace

CMixer::Allocator CMixer::allocator = zeroFilled;

CMixer::~CMixer() {
    freeCopy();
}

void CMixer::showMessage(const char* text, const char* caption) {
    host().messageBox(hWndOwner, text, caption, kMbOk);
}

// An array of count zeroed T; null both for count 0 and for a failed
// allocation, which failed() tells apart.
template <typename T>
static T* allocate(uint32_t count, bool& failed) {
    failed = false;
    if (count == 0) return nullptr;
    T* p = static_cast<T*>(CMixer::allocator(count, sizeof(T)));
    failed = p == nullptr;
    return p;
}

void CMixer::initialize(MixerDevice* device, MessageTarget* owner, const char* version) {
    pszVersion = version;
    hMixer = 0;
    uMxId = 0;
    hWndOwner = owner;
    pDevice = device;
    if (!openDevice()) return;

    bool failed = false;
    pasCMixerMixerLine_dest = allocate<CMixerMixerLine_dest>(sMixerCaps.cDestinations, failed);
    if (failed) {
        showMessage("Memory Allocation Error! (pasCMixerMixerLine_dest)", kInitialize);
        // Without the array there is nothing to copy into: the mixer counts as
        // having no destinations.
        sMixerCaps.cDestinations = 0;
        return;
    }
    for (uint32_t d = 0; d < sMixerCaps.cDestinations; ++d)
        readDestination(d);
}

// Opens mixer device 0 and reads its capabilities; false (with the message
// shown and the device closed again) when either fails.
bool CMixer::openDevice() {
    if (!pDevice || pDevice->mixerGetNumDevs() == 0) {
        showMessage("mixerGetNumDevs Error!", kInitialize);
        return false;
    }
    if (pDevice->mixerOpen(&hMixer, uMxId, hWndOwner, 0, kCallbackWindow) != kMmsyserrNoError) {
        showMessage("mixerOpen Error!", kInitialize);
        pDevice->mixerClose(hMixer);
        hMixer = 0;
        return false;
    }
    sMixerCaps.cDestinations = 0;
    if (pDevice->mixerGetDevCapsA(uMxId, &sMixerCaps, sizeof(MIXERCAPSA)) != kMmsyserrNoError) {
        sMixerCaps = MIXERCAPSA{};
        showMessage("mixerGetDevCaps Error!", kInitialize);
        pDevice->mixerClose(hMixer);
        hMixer = 0;
        return false;
    }
    sMixerCaps.szPname[sizeof(sMixerCaps.szPname) - 1] = '\0';
    return true;
}

// Destination d: its line, its controls and its sources. A part that cannot
// be read is shown and left empty; the rest is still read.
void CMixer::readDestination(uint32_t d) {
    CMixerMixerLine_dest& dest = pasCMixerMixerLine_dest[d];
    MIXERLINEA& line = dest;
    line.cbStruct = sizeof(MIXERLINEA);
    line.dwDestination = d;
    if (pDevice->mixerGetLineInfoA(hMixer, &line, kMixerGetLineInfoFDestination) !=
        kMmsyserrNoError) {
        line = MIXERLINEA{};
        showMessage("mixerGetLineInfo Error (Dest)", kInitialize);
        return;
    }
    terminateNames(line);
    readDestinationControls(dest);

    bool failed = false;
    dest.psaCMixerMixerLine_src = allocate<CMixerMixerLine_src>(line.cConnections, failed);
    if (failed) {
        showMessage("Memory Allocation Error! (psaCMixerMixerLine_src)", kInitialize);
        line.cConnections = 0;  // kept as a line without sources
    }
    for (uint32_t s = 0; s < line.cConnections; ++s) {
        CMixerMixerLine_src& source = dest.psaCMixerMixerLine_src[s];
        MIXERLINEA& sourceLine = source;
        sourceLine.cbStruct = sizeof(MIXERLINEA);
        sourceLine.dwDestination = d;
        sourceLine.dwSource = s;
        if (pDevice->mixerGetLineInfoA(hMixer, &sourceLine, kMixerGetLineInfoFSource) !=
            kMmsyserrNoError) {
            sourceLine = MIXERLINEA{};
            showMessage("mixerGetLineInfo Error (Source)", kInitialize);
            continue;
        }
        terminateNames(sourceLine);
        if (getAllControls(source) != kMmsyserrNoError) {
            // The source is dropped with its array, which release would
            // no longer reach.
            std::free(source.psaMixerControl);
            source.psaMixerControl = nullptr;
            line.cConnections = s;
            break;
        }
    }
}

void CMixer::readDestinationControls(CMixerMixerLine_dest& dest) {
    MIXERLINEA& line = dest;
    bool failed = false;
    dest.psaMixerControl = allocate<MIXERCONTROLA>(line.cControls, failed);
    if (failed) {
        showMessage("Memory Allocation Error! (pasCMixerMixerLine_dest)", kInitialize);
        line.cControls = 0;  // kept as a line without controls
    }
    if (line.cControls == 0) return;
    MIXERLINECONTROLSA request{};
    request.cbStruct = sizeof(MIXERLINECONTROLSA);
    request.dwLineID = line.dwLineID;
    request.cControls = line.cControls;
    request.cbmxctrl = sizeof(MIXERCONTROLA);
    request.pamxctrl = dest.psaMixerControl;
    const MMRESULT rc = pDevice->mixerGetLineControlsA(hMixer, &request, kMixerGetLineControlsFAll);
    if (rc != kMmsyserrNoError) {
        std::snprintf(szMessage, sizeof(szMessage), "mixerGetLineControls Error! rc=%X line=%X", rc,
                      line.dwLineID);
        showMessage(szMessage, kInitialize);
    } else {
        terminateNames(dest.psaMixerControl, line.cControls);
    }
}

MMRESULT CMixer::getAllControls(CMixerMixerLine_src& source) {
    bool failed = false;
    source.psaMixerControl = allocate<MIXERCONTROLA>(source.cControls, failed);
    if (failed) {
        showMessage("psaMixerControl Memory Alloc Error!", "CMixer::getAllControls");
        // Kept as a source without controls; its line information stays.
        source.cControls = 0;
        return kMmsyserrNoError;
    }
    // Asked even for a source without controls: the platform's answer decides
    // whether it stays in the copy.
    MIXERLINECONTROLSA request{};
    request.cbStruct = sizeof(MIXERLINECONTROLSA);
    request.dwLineID = source.dwLineID;
    request.cControls = source.cControls;
    request.cbmxctrl = sizeof(MIXERCONTROLA);
    request.pamxctrl = source.psaMixerControl;
    const MMRESULT rc = pDevice->mixerGetLineControlsA(hMixer, &request, kMixerGetLineControlsFAll);
    if (rc == kMmsyserrNoError) terminateNames(source.psaMixerControl, source.cControls);
    return rc;
}

void CMixer::release() {
    if (pDevice) pDevice->mixerClose(hMixer);
    hMixer = 0;
    freeCopy();
}

void CMixer::freeCopy() {
    if (!pasCMixerMixerLine_dest) return;
    for (uint32_t d = 0; d < sMixerCaps.cDestinations; ++d) {
        CMixerMixerLine_dest& dest = pasCMixerMixerLine_dest[d];
        std::free(dest.psaMixerControl);
        // A cut source list keeps the arrays of the dropped sources unallocated.
        for (uint32_t s = 0; s < dest.cConnections; ++s)
            std::free(dest.psaCMixerMixerLine_src[s].psaMixerControl);
        std::free(dest.psaCMixerMixerLine_src);
    }
    std::free(pasCMixerMixerLine_dest);
    pasCMixerMixerLine_dest = nullptr;
    sMixerCaps.cDestinations = 0;
}

void CMixer::lineChanged(uint32_t) {}

void CMixer::controlChanged(uint32_t) {}

void CMixer::writeAssignedDefaults(TextFile&) {}

const char* CMixer::getDestinationName(uint32_t d) const {
    if (d >= sMixerCaps.cDestinations || !pasCMixerMixerLine_dest) return nullptr;
    return pasCMixerMixerLine_dest[d].szName;
}

const char* CMixer::getSourceName(uint32_t d, uint32_t s) const {
    if (d >= sMixerCaps.cDestinations || !pasCMixerMixerLine_dest) return nullptr;
    const CMixerMixerLine_dest& dest = pasCMixerMixerLine_dest[d];
    if (s >= dest.cConnections) return nullptr;
    return dest.psaCMixerMixerLine_src[s].szName;
}

int32_t CMixer::readControl(uint32_t controlId, uint32_t items) {
    dwCurrentCtrl = controlId;
    if (controlId == kMixerNone) return -10;
    if (items > kDetailsValues) {
        // More items than the buffer holds: such a control is left alone, and
        // no write may follow this read.
        dwCurrentCtrl = kMixerNone;
        return -20;
    }
    sControlDetails.cbStruct = sizeof(MIXERCONTROLDETAILS);
    sControlDetails.dwControlID = controlId;
    sControlDetails.cChannels = 1;
    sControlDetails.cMultipleItems = items;
    sControlDetails.cbDetails = sizeof(uint32_t);
    sControlDetails.paDetails = adwDetails;
    if (!pDevice ||
        pDevice->mixerGetControlDetailsA(hMixer, &sControlDetails, kMixerGetControlDetailsFValue) !=
            kMmsyserrNoError)
        return -20;
    return 0;
}

int32_t CMixer::writeControl() {
    if (sControlDetails.dwControlID != dwCurrentCtrl) return -10;
    // Nothing has been read yet: the request names no control.
    if (sControlDetails.cbStruct == 0 || !pDevice) return -10;
    if (pDevice->mixerSetControlDetails(hMixer, &sControlDetails, kMixerSetControlDetailsFValue) !=
        kMmsyserrNoError)
        return -20;
    return 0;
}

uint32_t CMixer::writeControlValue(int32_t value) {
    if (value >= 0 && value <= 65535) {
        adwDetails[0] = static_cast<uint32_t>(value);
        writeControl();
    }
    return adwDetails[0];
}
