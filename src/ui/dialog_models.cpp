#include "ui/dialog_models.h"

namespace ui {

bool WelcomeDialog::initDialog() {
    nRate = kIdRate11025;
    bStereoChecked = false;
    return true;
}

bool WelcomeDialog::command(int id) {
    switch (id) {
        case kIdRate8000:
        case kIdRate11025:
        case kIdRate22050:
        case kIdRate44100:
            nRate = id;
            break;
        case kIdSimulatedStereo:
            bStereoChecked = !bStereoChecked;
            break;
        case kIdOk:
            // No button on (the dialog itself cannot do that) falls back to 11025.
            nSampleRate = nRate == kIdRate8000    ? 8000
                          : nRate == kIdRate22050 ? 22050
                          : nRate == kIdRate44100 ? 44100
                                                  : 11025;
            bSimulatedStereo = bStereoChecked ? 1 : 0;
            bEnded = true;
            nResult = 1;
            break;
        case kIdCancel:
            bEnded = true;
            nResult = 0;
            break;
        default:
            return false;
    }
    return true;
}

bool WelcomeDialog::checked(int id) const {
    if (id == kIdSimulatedStereo) return bStereoChecked;
    return id == nRate && nRate != 0;
}

std::vector<std::string> WelcomeDialog::listItems(int id) const {
    if (id != kIdNoticeList) return {};
    return {std::begin(kNoticeLines), std::end(kNoticeLines)};
}

bool QuickHelpDialog::command(int id) {
    if (id != kIdOk && id != kIdCancel) return false;
    bOpen = false;
    return true;
}

bool AboutDialog::command(int id) {
    if (id != kIdOk && id != kIdCancel) return false;
    bEnded = true;
    return true;
}

std::optional<std::string> AboutDialog::text(int id) const {
    if (id == kIdVersionText && bInitialized) return std::string(kVersionText);
    return std::nullopt;
}

}  // namespace ui
