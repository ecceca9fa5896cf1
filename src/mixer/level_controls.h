// The level controls: the automatic input level the engine runs after every
// captured block, the start-up and shutdown mute routing, and the Audio Level
// Controls dialog as a model a front end shows.
#pragma once

#include <cstdint>

#include "dialogs/dialog_model.h"
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

// The Audio Level Controls dialog (modeless): check marks and thumb positions
// from the cached values, and the commands and scroll codes of its dialog
// procedure. Closed by OK or Cancel. A control with no mixer control behind it
// (a sound server's mixer has no line controls) is disabled and shows no
// check mark, since using it would change nothing.
class AudioLevelDialog final : public dialogs::DialogModel {
  public:
    explicit AudioLevelDialog(CMixerExtend& mixer) : mixer_(mixer) {}

    // Creates the dialog, or brings the open one to the top; true when it was
    // created (the front end then makes its window and shows this model).
    bool showAudioLevelDialog();
    // kWmInitDialog: false when the dialog is already recorded.
    bool initDialog() override;
    // Sets the check marks and thumbs from the cached values, when open.
    void updateAudioLevelDialog();
    // kWmCommand from a control (a click on a button or check box); true for
    // the commands that close the dialog.
    bool command(int id) override;
    // kWmHScroll from a scroll bar with its scroll code and 16-bit position.
    bool horizontalScroll(int scrollBarId, int code, uint16_t position) override;

    const dialogs::DialogTemplate& dialogTemplate() const override;
    bool checked(int id) const override { return isChecked(id) && hasMixerControl(id); }
    bool enabled(int id) const override { return hasMixerControl(id); }
    dialogs::ScrollRange scrollRange(int id) const override;
    int32_t scrollPosition(int id) const override { return static_cast<int32_t>(thumb(id)); }
    bool ended() const override { return !bOpen; }

    bool isOpen() const { return bOpen; }
    // The check mark the dialog procedure keeps, whatever stands behind it.
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
