// The audio mixer: each call is the winmm call of the same name. The seam's
// records hold only the fields the core reads, so they are copied to and from
// the platform's; nothing the caller owns is written when a call fails.
#include <windows.h>

#include <mmsystem.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace platform::win32 {
namespace {

static_assert(kMmMixmLineChange == MM_MIXM_LINE_CHANGE &&
              kMmMixmControlChange == MM_MIXM_CONTROL_CHANGE);
static_assert(kMixerGetLineInfoFSource == MIXER_GETLINEINFOF_SOURCE &&
              kMixerGetLineInfoFDestination == MIXER_GETLINEINFOF_DESTINATION);

template <size_t N, size_t M>
void copyName(char (&to)[N], const char (&from)[M]) {
    const size_t n = std::min(N, M);
    std::memcpy(to, from, n);
    to[n - 1] = '\0';
}

::HMIXEROBJ object(HMIXER h) {
    return reinterpret_cast<::HMIXEROBJ>(h);
}
// The core always names an open mixer by its handle.
constexpr DWORD kByHandle = MIXER_OBJECTF_HMIXER;

class Win32Mixer final : public MixerDevice {
  public:
    uint32_t mixerGetNumDevs() override { return ::mixerGetNumDevs(); }

    MMRESULT mixerOpen(HMIXER* phmx, uint32_t uMxId, MessageTarget* target, uintptr_t dwInstance,
                       uint32_t fdwOpen) override {
        ::HMIXER h = nullptr;
        const DWORD_PTR window =
            fdwOpen == kCallbackWindow ? reinterpret_cast<DWORD_PTR>(windowFor(target)) : 0;
        const MMRESULT rc = ::mixerOpen(&h, uMxId, window, dwInstance, fdwOpen);
        if (rc == MMSYSERR_NOERROR) *phmx = reinterpret_cast<HMIXER>(h);
        return rc;
    }

    MMRESULT mixerGetDevCapsA(uint32_t uMxId, platform::MIXERCAPSA* caps, uint32_t) override {
        ::MIXERCAPSA c{};
        const MMRESULT rc = ::mixerGetDevCapsA(uMxId, &c, sizeof c);
        if (rc != MMSYSERR_NOERROR) return rc;
        caps->wMid = c.wMid;
        caps->wPid = c.wPid;
        caps->vDriverVersion = c.vDriverVersion;
        copyName(caps->szPname, c.szPname);
        caps->fdwSupport = c.fdwSupport;
        caps->cDestinations = c.cDestinations;
        return rc;
    }

    MMRESULT mixerGetLineInfoA(HMIXER hmx, platform::MIXERLINEA* line, uint32_t fdwInfo) override {
        ::MIXERLINEA l{};
        l.cbStruct = sizeof l;
        l.dwDestination = line->dwDestination;
        l.dwSource = line->dwSource;
        l.dwLineID = line->dwLineID;
        l.dwComponentType = line->dwComponentType;
        const MMRESULT rc = ::mixerGetLineInfoA(object(hmx), &l, fdwInfo | kByHandle);
        if (rc != MMSYSERR_NOERROR) return rc;
        line->dwDestination = l.dwDestination;
        line->dwSource = l.dwSource;
        line->dwLineID = l.dwLineID;
        line->fdwLine = l.fdwLine;
        line->dwComponentType = l.dwComponentType;
        line->cChannels = l.cChannels;
        line->cConnections = l.cConnections;
        line->cControls = l.cControls;
        copyName(line->szShortName, l.szShortName);
        copyName(line->szName, l.szName);
        return rc;
    }

    MMRESULT mixerGetLineControlsA(HMIXER hmx, platform::MIXERLINECONTROLSA* request,
                                   uint32_t fdwControls) override {
        std::vector<::MIXERCONTROLA> controls(std::max<uint32_t>(request->cControls, 1));
        ::MIXERLINECONTROLSA r{};
        r.cbStruct = sizeof r;
        r.dwLineID = request->dwLineID;
        r.dwControlID = request->dwControlID;
        r.cControls = request->cControls;
        r.cbmxctrl = sizeof(::MIXERCONTROLA);
        r.pamxctrl = controls.data();
        const MMRESULT rc = ::mixerGetLineControlsA(object(hmx), &r, fdwControls | kByHandle);
        if (rc != MMSYSERR_NOERROR) return rc;
        for (uint32_t i = 0; i < request->cControls; ++i) {
            const ::MIXERCONTROLA& from = controls[i];
            platform::MIXERCONTROLA& to = request->pamxctrl[i];
            to.dwControlID = from.dwControlID;
            to.dwControlType = from.dwControlType;
            to.fdwControl = from.fdwControl;
            to.cMultipleItems = from.cMultipleItems;
            copyName(to.szShortName, from.szShortName);
            copyName(to.szName, from.szName);
            to.Bounds.dwMinimum = from.Bounds.dwMinimum;
            to.Bounds.dwMaximum = from.Bounds.dwMaximum;
            to.Metrics.cSteps = from.Metrics.cSteps;
        }
        return rc;
    }

    // Every value the core reads or writes is 32 bits, the size of the
    // platform's unsigned and Boolean details, so its buffer is passed as is.
    MMRESULT mixerGetControlDetailsA(HMIXER hmx, platform::MIXERCONTROLDETAILS* d,
                                     uint32_t fdwDetails) override {
        ::MIXERCONTROLDETAILS n = native(*d);
        return ::mixerGetControlDetailsA(object(hmx), &n, fdwDetails | kByHandle);
    }
    MMRESULT mixerSetControlDetails(HMIXER hmx, platform::MIXERCONTROLDETAILS* d,
                                    uint32_t fdwDetails) override {
        ::MIXERCONTROLDETAILS n = native(*d);
        return ::mixerSetControlDetails(object(hmx), &n, fdwDetails | kByHandle);
    }

    MMRESULT mixerClose(HMIXER hmx) override {
        return ::mixerClose(reinterpret_cast<::HMIXER>(hmx));
    }

  private:
    static ::MIXERCONTROLDETAILS native(const platform::MIXERCONTROLDETAILS& d) {
        ::MIXERCONTROLDETAILS n{};
        n.cbStruct = sizeof n;
        n.dwControlID = d.dwControlID;
        n.cChannels = d.cChannels;
        n.cMultipleItems = d.cMultipleItems;
        n.cbDetails = d.cbDetails;
        n.paDetails = d.paDetails;
        return n;
    }
};

}  // namespace

std::unique_ptr<MixerDevice> makeMixerDevice() {
    return std::make_unique<Win32Mixer>();
}

}  // namespace platform::win32
