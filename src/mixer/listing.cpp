#include "mixer/listing.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "mixer/text_file.h"

using namespace platform;

std::string listingDate(std::time_t now) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm t{};
#ifdef _WIN32
    localtime_s(&t, &now);
#else
    localtime_r(&now, &t);
#endif
    char text[64];
    std::snprintf(text, sizeof(text), "%s %s %02d %02d:%02d:%02d %d\n", kDays[t.tm_wday % 7],
                  kMonths[t.tm_mon % 12], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                  t.tm_year + 1900);
    return text;
}

namespace {
void writeControls(TextFile& file, const MIXERCONTROLA* controls, uint32_t count) {
    for (uint32_t c = 0; c < count; ++c) {
        const MIXERCONTROLA& ctrl = controls[c];
        file.print("       Ctrl: [%X] Cid=[%X] Ct=[%X] Flg=[%X] [%s] [%s] Mult=[%d]\n", c,
                   ctrl.dwControlID, ctrl.dwControlType, ctrl.fdwControl, ctrl.szShortName,
                   ctrl.szName, static_cast<int>(ctrl.cMultipleItems));
    }
}
}  // namespace

bool writeMixerListing(CMixer& mixer, const char* path, std::time_t now) {
    TextFile file;
    if (!file.open(path)) {
        host().messageBox(mixer.hWndOwner, "debug file fopen Error!", "CMixer::initialize", kMbOk);
        return false;
    }
    file.print("Tarnix DSP %s\n%s\nMixer List:\n\n", mixer.pszVersion ? mixer.pszVersion : "",
               listingDate(now).c_str());
    const MIXERCAPSA& caps = mixer.sMixerCaps;
    file.print("Manufacturer Code: [%X] Product Code: [%X]\n", caps.wMid, caps.wPid);
    file.print("Product Name: [%s]\n\n", caps.szPname);
    file.print("Total Destinations: %X\n", caps.cDestinations);
    for (uint32_t d = 0; d < caps.cDestinations && mixer.pasCMixerMixerLine_dest; ++d) {
        const CMixerMixerLine_dest& dest = mixer.pasCMixerMixerLine_dest[d];
        file.print("\nDestination: [%X] LID=[%X] [%s] [%s] Connections=[%X] Ctrls=[%X]\n", d,
                   dest.dwComponentType, dest.szShortName, dest.szName, dest.cConnections,
                   dest.cControls);
        writeControls(file, dest.psaMixerControl, dest.cControls);
        for (uint32_t s = 0; s < dest.cConnections; ++s) {
            const CMixerMixerLine_src& src = dest.psaCMixerMixerLine_src[s];
            file.print("     Source: [%X] CT=[%X] [%s] [%s] ctrls=[%X] chans=[%X]\n", s,
                       src.dwComponentType, src.szShortName, src.szName, src.cControls,
                       src.cChannels);
            writeControls(file, src.psaMixerControl, src.cControls);
        }
    }
    mixer.writeAssignedDefaults(file);
    file.print("\nEnd-of-List\n");
    file.close();
    return true;
}

bool DumpDialog::command(int id) {
    if (id == kIdOk) {
        if (writeMixerListing(mixer_, pszPath, now())) {
            std::error_code error;
            const std::filesystem::path full = std::filesystem::absolute(pszPath, error);
            sWrittenTo = error ? std::string(pszPath) : full.string();
        }
    } else if (id != kIdCancel) {
        return false;
    }
    bEnded = true;
    return true;
}
