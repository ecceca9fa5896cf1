#include "mixer/mixer_extend.h"

#include <cstring>

#include "mixer/text_file.h"

using namespace platform;

namespace {
constexpr const char* kPlayback = "CMixerExtend::setDefaultPlayback";
constexpr const char* kRecording = "CMixerExtend::setDefaultRecording";
constexpr uint32_t kStartInputLevel = 4096;
constexpr uint32_t kMasterVolumeIn = 0x7FFF;

bool isListControl(uint32_t type) {
    return (type & kMixerControlCtClassList) == kMixerControlCtClassList;
}
}  // namespace

void CMixerExtend::lineChanged(uint32_t) {
    refreshLevels();
}

void CMixerExtend::controlChanged(uint32_t) {
    refreshLevels();
}

const CMixerMixerLine_dest* CMixerExtend::destination(uint32_t d) const {
    if (d >= sMixerCaps.cDestinations || !pasCMixerMixerLine_dest) return nullptr;
    return &pasCMixerMixerLine_dest[d];
}

const CMixerMixerLine_src* CMixerExtend::source(const CMixerMixerLine_dest& dest,
                                                uint32_t s) const {
    if (s >= dest.cConnections) return nullptr;
    return &dest.psaCMixerMixerLine_src[s];
}

uint32_t CMixerExtend::firstControl(const MIXERCONTROLA* controls, uint32_t count, uint32_t type) {
    for (uint32_t i = 0; i < count; ++i)
        if (controls[i].dwControlType == type) return controls[i].dwControlID;
    return kMixerNone;
}

uint32_t CMixerExtend::chooseSource(const CMixerMixerLine_dest& dest) {
    uint32_t auxiliary = kMixerNone;
    uint32_t microphone = kMixerNone;
    for (uint32_t s = 0; s < dest.cConnections; ++s) {
        const CMixerMixerLine_src& src = dest.psaCMixerMixerLine_src[s];
        switch (src.dwComponentType) {
            case kMixerLineComponentTypeSrcLine:
                return s;
            case kMixerLineComponentTypeSrcAuxiliary:
                if (std::strncmp(src.szShortName, "Line", 4) == 0) auxiliary = s;
                break;
            case kMixerLineComponentTypeSrcMicrophone:
                microphone = s;
                break;
            default:
                break;
        }
    }
    return auxiliary != kMixerNone ? auxiliary : microphone;
}

int32_t CMixerExtend::setDefaultPlayback() {
    uint32_t d = dwPlaybackDest;
    uint32_t lineOut = dwLineOutSrc;
    uint32_t waveOut = dwWaveOutSrc;
    if (d == kMixerNone) {
        lineOut = kMixerNone;
        waveOut = kMixerNone;
        for (uint32_t i = 0; i < sMixerCaps.cDestinations && d == kMixerNone; ++i)
            if (pasCMixerMixerLine_dest[i].dwComponentType == kMixerLineComponentTypeDstSpeakers)
                d = i;
        if (d == kMixerNone) {
            showMessage("Unable to find destination 'Speakers'", kPlayback);
            return -10;
        }
    }
    const CMixerMixerLine_dest* dest = destination(d);
    if (!dest || dest->dwComponentType != kMixerLineComponentTypeDstSpeakers) {
        showMessage("Invalid playback destination assignment", kPlayback);
        return -20;
    }
    if (lineOut == kMixerNone) lineOut = chooseSource(*dest);
    // A source given by the user is taken without a type check, but it must
    // exist.
    const CMixerMixerLine_src* lineOutLine = source(*dest, lineOut);
    if (!lineOutLine) {
        showMessage("Unable to find appropriate source for destination", kPlayback);
        return -20;
    }
    if (waveOut == kMixerNone)
        for (uint32_t s = 0; s < dest->cConnections && waveOut == kMixerNone; ++s)
            if (dest->psaCMixerMixerLine_src[s].dwComponentType ==
                kMixerLineComponentTypeSrcWaveOut)
                waveOut = s;
    const CMixerMixerLine_src* waveOutLine = source(*dest, waveOut);
    if (!waveOutLine) {
        showMessage("Unable to find appropriate source for waveout destination", kPlayback);
        return -30;
    }

    dwPlaybackDest = d;
    dwLineOutSrc = lineOut;
    dwWaveOutSrc = waveOut;
    dwMasterVolumeCtrl =
        firstControl(dest->psaMixerControl, dest->cControls, kMixerControlControlTypeVolume);
    dwMasterMuteCtrl =
        firstControl(dest->psaMixerControl, dest->cControls, kMixerControlControlTypeMute);
    dwLineOutVolumeCtrl = firstControl(lineOutLine->psaMixerControl, lineOutLine->cControls,
                                       kMixerControlControlTypeVolume);
    dwLineOutMuteCtrl = firstControl(lineOutLine->psaMixerControl, lineOutLine->cControls,
                                     kMixerControlControlTypeMute);
    dwWaveOutVolumeCtrl = firstControl(waveOutLine->psaMixerControl, waveOutLine->cControls,
                                       kMixerControlControlTypeVolume);
    dwWaveOutMuteCtrl = firstControl(waveOutLine->psaMixerControl, waveOutLine->cControls,
                                     kMixerControlControlTypeMute);
    return 0;
}

int32_t CMixerExtend::setDefaultRecording() {
    uint32_t d = dwRecordDest;
    uint32_t s = dwRecordSrc;
    if (d == kMixerNone) {
        s = kMixerNone;
        for (uint32_t i = 0; i < sMixerCaps.cDestinations && d == kMixerNone; ++i)
            if (pasCMixerMixerLine_dest[i].dwComponentType == kMixerLineComponentTypeDstWaveIn)
                d = i;
        if (d == kMixerNone) {
            showMessage("Unable to find a recording destination", kRecording);
            return -10;
        }
    }
    const CMixerMixerLine_dest* dest = destination(d);
    if (!dest || dest->dwComponentType != kMixerLineComponentTypeDstWaveIn) {
        showMessage("Invalid recording destination assignment", kRecording);
        return -20;
    }

    uint32_t masterVolumeIn = kMixerNone;
    uint32_t mux = kMixerNone;
    uint32_t muxItems = kMixerNone;
    for (uint32_t c = 0; c < dest->cControls; ++c) {
        const MIXERCONTROLA& control = dest->psaMixerControl[c];
        if (control.dwControlType == kMixerControlControlTypeVolume)
            masterVolumeIn = control.dwControlID;
        if (mux == kMixerNone && isListControl(control.dwControlType)) {
            mux = control.dwControlID;
            muxItems = control.cMultipleItems;
        }
    }

    if (s == kMixerNone) s = chooseSource(*dest);
    const CMixerMixerLine_src* src = source(*dest, s);
    if (!src) {
        showMessage("Unable to find appropriate source for destination", kRecording);
        return -30;
    }
    const uint32_t waveInVolume =
        firstControl(src->psaMixerControl, src->cControls, kMixerControlControlTypeVolume);
    const uint32_t waveInMute =
        firstControl(src->psaMixerControl, src->cControls, kMixerControlControlTypeMute);
    if (mux == kMixerNone && waveInMute == kMixerNone) {
        showMessage("Unable to identify proper recording controls", kRecording);
        return -20;
    }

    dwMuxCtrl = mux;
    dwMuxMult = muxItems;
    dwRecordDest = d;
    dwRecordSrc = s;
    dwWaveInVolumeCtrl = waveInVolume;
    if (waveInMute != kMixerNone && readControl(waveInMute, 0) != -10) {
        adwDetails[0] = 0;
        writeControl();
    }
    dwWaveInMuteCtrl = waveInMute;
    if (masterVolumeIn != kMixerNone && readControl(masterVolumeIn, 0) != -10) {
        adwDetails[0] = kMasterVolumeIn;
        writeControl();
    }
    dwMasterVolumeInCtrl = masterVolumeIn;
    return 0;
}

void CMixerExtend::selectRecordingSource() {
    if (dwMuxMult == kMixerNone) return;
    // An item the list does not have (or the buffer cannot hold) is not
    // selected, and the device keeps its current input.
    if (dwMuxMult > kDetailsValues || dwRecordSrc >= dwMuxMult) return;
    if (readControl(dwMuxCtrl, dwMuxMult) == -10) return;
    for (uint32_t i = 0; i < dwMuxMult; ++i)
        adwDetails[i] = 0;
    adwDetails[dwRecordSrc] = 1;
    writeControl();
}

void CMixerExtend::setMuteSwitch(uint32_t controlId, uint32_t value, uint32_t& cached) {
    if (readControl(controlId, 0) == -10) return;
    adwDetails[0] = value;
    writeControl();
    cached = adwDetails[0];
}

void CMixerExtend::setStartInputLevel() {
    setMuteSwitch(dwWaveInVolumeCtrl, kStartInputLevel, dwWaveInVolume);
}

void CMixerExtend::startUpAssignment() {
    for (uint32_t* field :
         {&dwPlaybackDest, &dwLineOutSrc, &dwWaveOutSrc, &dwMasterVolumeCtrl, &dwMasterMuteCtrl,
          &dwLineOutVolumeCtrl, &dwLineOutMuteCtrl, &dwWaveOutVolumeCtrl, &dwWaveOutMuteCtrl,
          &dwRecordDest, &dwRecordSrc, &dwMuxCtrl, &dwMuxMult, &dwMasterVolumeInCtrl,
          &dwWaveInVolumeCtrl, &dwWaveInMuteCtrl})
        *field = kMixerNone;
    setDefaultPlayback();
    setDefaultRecording();
    setStartInputLevel();
    if (dwMuxMult != kMixerNone) selectRecordingSource();
}

void CMixerExtend::applyPlaybackAssignment(uint32_t d, uint32_t lineOut, uint32_t waveOut) {
    const uint32_t oldDest = dwPlaybackDest;
    const uint32_t oldLineOut = dwLineOutSrc;
    const uint32_t oldWaveOut = dwWaveOutSrc;
    dwPlaybackDest = d;
    dwLineOutSrc = lineOut;
    dwWaveOutSrc = waveOut;
    if (setDefaultPlayback() < 0) {
        dwPlaybackDest = oldDest;
        dwLineOutSrc = oldLineOut;
        dwWaveOutSrc = oldWaveOut;
    }
    refreshLevels();
}

void CMixerExtend::applyRecordingAssignment(uint32_t d, uint32_t s) {
    const uint32_t oldDest = dwRecordDest;
    const uint32_t oldSource = dwRecordSrc;
    dwRecordDest = d;
    dwRecordSrc = s;
    if (setDefaultRecording() >= 0) {
        setStartInputLevel();
        if (dwMuxMult != kMixerNone) selectRecordingSource();
    } else {
        dwRecordDest = oldDest;
        dwRecordSrc = oldSource;
    }
    refreshLevels();
}

void CMixerExtend::refresh(uint32_t controlId, uint32_t& cached) {
    if (readControl(controlId, 0) == 0) cached = adwDetails[0];
}

void CMixerExtend::refreshLevels() {
    if (bRefreshInProgress) return;
    bRefreshInProgress = true;
    refresh(dwMasterVolumeCtrl, dwMasterVolume);
    refresh(dwMasterMuteCtrl, dwMasterMute);
    refresh(dwLineOutVolumeCtrl, dwLineOutVolume);
    refresh(dwLineOutMuteCtrl, dwLineOutMute);
    refresh(dwWaveOutVolumeCtrl, dwWaveOutVolume);
    refresh(dwWaveOutMuteCtrl, dwWaveOutMute);
    refresh(dwWaveInVolumeCtrl, dwWaveInVolume);
    bRefreshInProgress = false;
}

void CMixerExtend::writeAssignedDefaults(TextFile& file) {
    file.print("\nAssigned Defaults\n\n");
    file.print("Playback Destination=[%X] Source: Line Out=[%X] Wave Out=[%X]\n", dwPlaybackDest,
               dwLineOutSrc, dwWaveOutSrc);
    file.print("    Master Volume:   Value=[%X] Ctrl=[%X] Mute=[%X] Ctrl=[%X] \n", dwMasterVolume,
               dwMasterVolumeCtrl, dwMasterMute, dwMasterMuteCtrl);
    file.print("    Line Out Volume: Value=[%X] Ctrl=[%X] Mute=[%X] Ctrl=[%X] \n", dwLineOutVolume,
               dwLineOutVolumeCtrl, dwLineOutMute, dwLineOutMuteCtrl);
    file.print("    Wave Out Volume: Value=[%X] Ctrl=[%X] Mute=[%X] Ctrl=[%X] \n", dwWaveOutVolume,
               dwWaveOutVolumeCtrl, dwWaveOutMute, dwWaveOutMuteCtrl);
    file.print("\nRecording Destination=[%X] Recording Source=[%X]\n", dwRecordDest, dwRecordSrc);
    file.print("    Mux Control: MuxCtrl=[%X] MuxMult=[%X]\n", dwMuxCtrl, dwMuxMult);
    file.print("    Master Volume In: Ctrl=[%X]\n", dwMasterVolumeInCtrl);
    file.print("    Wave In Volume: Value=[%X] Ctrl=[%X] Mute Ctrl=[%X]\n", dwWaveInVolume,
               dwWaveInVolumeCtrl, dwWaveInMuteCtrl);
    file.print("\n");
}
