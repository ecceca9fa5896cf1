#include "mixer/level_controls.h"

#include <algorithm>
#include <cstdlib>

#include "mixer/dialog_templates.h"

using namespace platform;
using namespace dialogs;
using namespace mixer_ui;

namespace {
constexpr int32_t kClipping = 32000;
constexpr int32_t kTarget = 14000;
constexpr uint32_t kHalvingLimit = 0xF000;
constexpr uint32_t kRestartLevel = 4096;
constexpr uint32_t kSlowRegion = 0xC000;
constexpr int32_t kMaxMultiple = 20;
// Far beyond kMaxMultiple, so the step never overflows in a long run.
constexpr int32_t kStepLimit = 1 << 20;
}  // namespace

void AutoInputLevel::adjustInputLevel(int32_t& inputPeak) {
    const int32_t p = inputPeak;
    inputPeak = 0;
    CMixerExtend& m = mixer_;
    if (m.bAutoInputLevelOff) return;
    const uint32_t v = m.dwWaveInVolume;

    if (p > kClipping) {
        m.setMuteSwitch(m.dwWaveInVolumeCtrl, v < kHalvingLimit ? v / 2 : kRestartLevel,
                        m.dwWaveInVolume);
        return;
    }
    const int32_t e = (kTarget - p) / 256;
    if (e > -20 && e < 20) {
        nAutoLevelStep = 0;
        return;
    }
    if (e > 0) {
        if (nAutoLevelStep < 0) nAutoLevelStep = 0;
        nAutoLevelStep = v >= kSlowRegion ? 1 : std::min(nAutoLevelStep + 1, kStepLimit);
    } else {
        if (nAutoLevelStep > 0) nAutoLevelStep = 0;
        nAutoLevelStep = v >= kSlowRegion ? -2 : std::max(nAutoLevelStep - 1, -kStepLimit);
    }
    const int64_t multiple = std::min(std::abs(nAutoLevelStep), kMaxMultiple);
    const int64_t n = static_cast<int64_t>(v) + e * multiple;

    const int32_t rc = m.readControl(m.dwWaveInVolumeCtrl, 0);
    if (rc == -10) return;  // no input level control: the cache stays
    if (n >= 0 && n <= 65535) {
        m.adwDetails[0] = static_cast<uint32_t>(n);
        m.writeControl();
    } else if (rc != 0) {
        return;  // nothing was read, so the buffer holds no level of this control
    }
    m.dwWaveInVolume = m.adwDetails[0];
}

void applyStartUpRouting(CMixerExtend& m) {
    m.setMuteSwitch(m.dwMasterMuteCtrl, 0, m.dwMasterMute);
    m.setMuteSwitch(m.dwLineOutMuteCtrl, 1, m.dwLineOutMute);
    m.setMuteSwitch(m.dwWaveOutMuteCtrl, 0, m.dwWaveOutMute);
}

void applyShutdownRouting(CMixerExtend& m) {
    m.setMuteSwitch(m.dwMasterMuteCtrl, 0, m.dwMasterMute);
    m.setMuteSwitch(m.dwLineOutMuteCtrl, 0, m.dwLineOutMute);
    m.setMuteSwitch(m.dwWaveOutMuteCtrl, 0, m.dwWaveOutMute);
}

bool AudioLevelDialog::showAudioLevelDialog() {
    if (bOpen) {
        ++nRaised;
        return false;
    }
    return initDialog();
}

bool AudioLevelDialog::initDialog() {
    if (bOpen) return false;
    bOpen = true;
    bRangeSet = true;  // 0 to 65535 on all four scroll bars
    updateAudioLevelDialog();
    return true;
}

void AudioLevelDialog::updateAudioLevelDialog() {
    if (!bOpen) return;
    bMasterChecked = mixer_.dwMasterMute == 0;
    bUnfilteredChecked = mixer_.dwLineOutMute == 0;
    bFilteredChecked = mixer_.dwWaveOutMute == 0;
    adwThumb[0] = mixer_.dwMasterVolume;
    adwThumb[1] = mixer_.dwLineOutVolume;
    adwThumb[2] = mixer_.dwWaveOutVolume;
    adwThumb[3] = mixer_.dwWaveInVolume;
    bAutoChecked = mixer_.bAutoInputLevelOff == 0;
}

bool AudioLevelDialog::isChecked(int id) const {
    switch (id) {
        case IDC_MASTER_MUTE:
            return bMasterChecked;
        case IDC_UNFILTERED:
            return bUnfilteredChecked;
        case IDC_FILTERED:
            return bFilteredChecked;
        case IDC_AUTO_INPUT_LEVEL:
            return bAutoChecked;
        default:
            return false;
    }
}

bool AudioLevelDialog::hasMixerControl(int id) const {
    const CMixerExtend& m = mixer_;
    switch (id) {
        case IDC_MASTER_MUTE:
            return m.dwMasterMuteCtrl != kMixerNone;
        case IDC_MASTER_VOLUME:
            return m.dwMasterVolumeCtrl != kMixerNone;
        case IDC_UNFILTERED:
        case IDC_FILTERED:
            return m.dwLineOutMuteCtrl != kMixerNone || m.dwWaveOutMuteCtrl != kMixerNone;
        case IDC_LINE_OUT_VOLUME:
            return m.dwLineOutVolumeCtrl != kMixerNone;
        case IDC_WAVE_OUT_VOLUME:
            return m.dwWaveOutVolumeCtrl != kMixerNone;
        case IDC_AUTO_INPUT_LEVEL:
        case IDC_WAVE_IN_VOLUME:
            return m.dwWaveInVolumeCtrl != kMixerNone;
        default:
            return true;
    }
}

uint32_t AudioLevelDialog::thumb(int scrollBarId) const {
    const int i = scrollBarId - IDC_MASTER_VOLUME;
    return i >= 0 && i < 4 ? adwThumb[i] : 0;
}

bool AudioLevelDialog::command(int id) {
    CMixerExtend& m = mixer_;
    switch (id) {
        case IDC_AUTO_INPUT_LEVEL:
            m.bAutoInputLevelOff = m.bAutoInputLevelOff == 0 ? 1 : 0;
            updateAudioLevelDialog();
            return false;
        case IDC_MASTER_MUTE:
            bMasterChecked = !bMasterChecked;  // an automatic check box toggles itself
            m.setMuteSwitch(m.dwMasterMuteCtrl, m.dwMasterMute != 0 ? 0 : 1, m.dwMasterMute);
            return false;
        case IDC_UNFILTERED:
        case IDC_FILTERED:
            // An automatic radio button checks itself and clears its partner.
            bUnfilteredChecked = id == IDC_UNFILTERED;
            bFilteredChecked = id == IDC_FILTERED;
            if (bUnfilteredChecked) {
                m.setMuteSwitch(m.dwLineOutMuteCtrl, 0, m.dwLineOutMute);
                m.setMuteSwitch(m.dwWaveOutMuteCtrl, 1, m.dwWaveOutMute);
            } else {
                m.setMuteSwitch(m.dwLineOutMuteCtrl, 1, m.dwLineOutMute);
                m.setMuteSwitch(m.dwWaveOutMuteCtrl, 0, m.dwWaveOutMute);
            }
            return false;
        case kIdOk:
        case kIdCancel:
            bOpen = false;
            return true;
        default:
            return false;
    }
}

bool AudioLevelDialog::horizontalScroll(int scrollBarId, int code, uint16_t position) {
    CMixerExtend& m = mixer_;
    uint32_t* cached = nullptr;
    uint32_t control = kMixerNone;
    switch (scrollBarId) {
        case IDC_MASTER_VOLUME:
            cached = &m.dwMasterVolume;
            control = m.dwMasterVolumeCtrl;
            break;
        case IDC_LINE_OUT_VOLUME:
            cached = &m.dwLineOutVolume;
            control = m.dwLineOutVolumeCtrl;
            break;
        case IDC_WAVE_OUT_VOLUME:
            cached = &m.dwWaveOutVolume;
            control = m.dwWaveOutVolumeCtrl;
            break;
        case IDC_WAVE_IN_VOLUME:
            cached = &m.dwWaveInVolume;
            control = m.dwWaveInVolumeCtrl;
            break;
        default:
            return false;
    }
    int64_t value = *cached;
    switch (code) {
        case kSbLineLeft:
            value -= 100;
            break;
        case kSbLineRight:
            value += 100;
            break;
        case kSbPageLeft:
            value -= 5000;
            break;
        case kSbPageRight:
            value += 5000;
            break;
        case kSbThumbTrack:
            value = position;
            break;
        case kSbLeft:
            value = 65535;
            break;
        case kSbRight:
            value = 0;
            break;
        default:
            break;
    }
    value = std::clamp<int64_t>(value, 0, 65535);
    // The thumb is not moved here: the write's change notification refreshes
    // the cache and the dialog from the device.
    if (m.readControl(control, 0) == -10) return true;
    *cached = m.writeControlValue(static_cast<int32_t>(value));
    return true;
}

const dialogs::DialogTemplate& AudioLevelDialog::dialogTemplate() const {
    return mixer_ui::kAudioLevelDialog;
}

dialogs::ScrollRange AudioLevelDialog::scrollRange(int id) const {
    const bool bar = id >= mixer_ui::IDC_MASTER_VOLUME && id <= mixer_ui::IDC_WAVE_IN_VOLUME;
    if (!bar || !bRangeSet) return {};
    return {0, 65535};
}
