// The level controls: the automatic input level the engine runs after every
// captured block, the start-up and shutdown mute routing, and the Audio Level
// Controls dialog as a model a front end shows.
#pragma once

#include <cstdint>

#include "engine/input_level.h"
#include "mixer/mixer_extend.h"

// Keeps the block peaks inside a target band by moving the recording
// source's volume, accelerating while it keeps moving one way.
class AutoInputLevel final : public engine::InputLevel {
  public:
    explicit AutoInputLevel(CMixerExtend& mixer) : mixer_(mixer) {}

    // Reads and clears the peak; when the automatic level is on, halves the
    // level on a near-clipping block or steps it towards the band.
    void adjustInputLevel(int32_t& inputPeak) override;

    // Positive while raising, negative while lowering.
    int32_t nAutoLevelStep = 0;

  private:
    CMixerExtend& mixer_;
};

// The routing of the first timer tick: master on, receiver path muted,
// filtered path on.
void applyStartUpRouting(CMixerExtend& mixer);
// The routing left behind at exit: all three paths audible.
void applyShutdownRouting(CMixerExtend& mixer);

// The Audio Level Controls dialog: check marks and thumb positions from the
// cached values, and the commands and scroll codes of its dialog procedure.
class AudioLevelDialog {
  public:
    explicit AudioLevelDialog(CMixerExtend& mixer) : mixer_(mixer) {}

    // Creates the dialog, or brings the open one to the top; true when it was
    // created (the front end then makes its window and shows this model).
    bool showAudioLevelDialog();
    // kWmInitDialog: false when the dialog is already recorded.
    bool initDialog();
    // Sets the check marks and thumbs from the cached values, when open.
    void updateAudioLevelDialog();
    // kWmCommand from a control (a click on a button or check box); true for
    // the commands that close the dialog.
    bool command(int id);
    // kWmHScroll from a scroll bar with its scroll code and 16-bit position.
    bool hScroll(int scrollBarId, int code, uint16_t position);

    bool isOpen() const { return bOpen; }
    bool isChecked(int id) const;
    // Whether a mixer control stands behind a control of the dialog: without
    // one, using it writes nothing. The two routing buttons need one of the
    // two mutes they set.
    bool hasMixerControl(int id) const;
    // The thumb position of a scroll bar.
    uint32_t thumb(int scrollBarId) const;
    bool rangeSet() const { return bRangeSet; }
    int timesRaised() const { return nRaised; }

  private:
    CMixerExtend& mixer_;
    bool bOpen = false;
    bool bRangeSet = false;
    int nRaised = 0;
    bool bMasterChecked = false;
    bool bUnfilteredChecked = false;
    bool bFilteredChecked = false;
    bool bAutoChecked = false;
    uint32_t adwThumb[4]{};  // 1006 to 1009
};
