// CMixerExtend: the program's own view of the mixer. Chooses the playback
// destination with its line-out and wave-out sources and the recording
// destination with its source, keeps the identifiers of their volume, mute and
// list controls, and caches the controls' values.
#pragma once

#include <cstdint>

#include "mixer/mixer.h"

class CMixerExtend final : public CMixer {
  public:
    void lineChanged(uint32_t lineId) override;
    void controlChanged(uint32_t controlId) override;
    void writeAssignedDefaults(TextFile& file) override;

    // Run once after initialize, whatever its outcome.
    void startUpAssignment();

    // 0; -10 no speaker destination; -20 invalid destination or no line-out
    // source; -30 no wave-out source. Stores only on success.
    int32_t setDefaultPlayback();
    // 0; -10 no recording destination; -20 invalid destination or no
    // controls to select the input with; -30 no recording source.
    int32_t setDefaultRecording();
    // Turns on the list item of the recording source, and only it.
    void selectRecordingSource();
    // Re-reads every assigned control into its cached value.
    void refreshLevels();
    // kMixerNone in a source argument asks for the rule-based choice; a
    // refused assignment leaves the previous one in force.
    void applyPlaybackAssignment(uint32_t destination, uint32_t lineOutSource,
                                 uint32_t waveOutSource);
    void applyRecordingAssignment(uint32_t destination, uint32_t source);

    // Reads a control, sets its value and writes it back; the cached field
    // takes the value unless the control does not exist.
    void setMuteSwitch(uint32_t controlId, uint32_t value, uint32_t& cached);

    // The first control of a type among a line's controls, or kMixerNone.
    static uint32_t firstControl(const platform::MIXERCONTROLA* controls, uint32_t count,
                                 uint32_t type);
    // The source choice: line, else the last auxiliary "Line...", else the
    // last microphone; kMixerNone when none of them exists.
    static uint32_t chooseSource(const CMixerMixerLine_dest& destination);

    uint32_t dwPlaybackDest = 0;
    uint32_t dwLineOutSrc = 0;
    uint32_t dwWaveOutSrc = 0;
    uint32_t dwMasterVolume = 0;
    uint32_t dwMasterVolumeCtrl = 0;
    uint32_t dwMasterMute = 0;
    uint32_t dwMasterMuteCtrl = 0;
    uint32_t dwLineOutVolume = 0;
    uint32_t dwLineOutVolumeCtrl = 0;
    uint32_t dwLineOutMute = 0;
    uint32_t dwLineOutMuteCtrl = 0;
    uint32_t dwWaveOutVolume = 0;
    uint32_t dwWaveOutVolumeCtrl = 0;
    uint32_t dwWaveOutMute = 0;
    uint32_t dwWaveOutMuteCtrl = 0;
    uint32_t dwRecordDest = 0;
    uint32_t dwRecordSrc = 0;
    uint32_t dwMuxCtrl = 0;
    uint32_t dwMuxMult = 0;
    uint32_t dwWaveInVolume = 0;
    uint32_t dwWaveInVolumeCtrl = 0;
    uint32_t dwWaveInMuteCtrl = 0;
    uint32_t bAutoInputLevelOff = 0;
    uint32_t dwMasterVolumeInCtrl = 0;

  private:
    // The input level of a new recording assignment.
    void setStartInputLevel();
    // readControl into the cache; the cache stays when nothing could be read.
    void refresh(uint32_t controlId, uint32_t& cached);
    const CMixerMixerLine_dest* destination(uint32_t d) const;
    const CMixerMixerLine_src* source(const CMixerMixerLine_dest& dest, uint32_t s) const;

    // Keeps refreshLevels from running inside itself through a nested loop.
    bool bRefreshInProgress = false;
};
