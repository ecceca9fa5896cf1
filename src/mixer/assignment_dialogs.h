// The Record and Playback assignment dialogs as models: their list boxes are
// rebuilt from the mixer object after every change, and a selection change
// is applied at once through the mixer's assignment operations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dialogs/dialog_model.h"
#include "mixer/dialog_templates.h"
#include "mixer/mixer_extend.h"

struct ListBoxModel {
    std::vector<std::string> items;  // item i names line i
    int32_t selection = -1;          // -1: no selection
};

class AssignmentDialog : public dialogs::DialogModel {
  public:
    const dialogs::DialogTemplate& dialogTemplate() const override { return template_; }
    // kWmInitDialog: fills the lists; true.
    bool initDialog() override;
    // A list box reports a changed selection; k < 0 when nothing is selected.
    bool listSelectionChanged(int listId, int32_t k) override;
    // kWmCommand from a button: kIdOk and kIdCancel end the dialog with 0.
    bool command(int id) override;
    std::vector<std::string> listItems(int id) const override;
    int32_t listSelection(int id) const override;

    const ListBoxModel& list(int listId) const;
    bool ended() const override { return bEnded; }
    intptr_t result() const override { return nResult; }

  protected:
    AssignmentDialog(CMixerExtend& mixer, const dialogs::DialogTemplate& t)
        : mixer_(mixer), template_(t) {}
    // The destinations with one selected, and the sources of that one.
    void fill(uint32_t destination, uint32_t sourceSelection);
    virtual void refill() = 0;
    // Applies the selection of item k of a list; false for lists the dialog
    // does not have.
    virtual bool apply(int listId, uint32_t k) = 0;

    CMixerExtend& mixer_;
    ListBoxModel destinations_;  // 1029
    ListBoxModel sources_;       // 1030
    ListBoxModel waveOut_;       // 1032, playback only

  private:
    bool hasList(int id) const;
    const dialogs::DialogTemplate& template_;
    bool bEnded = false;
    int nResult = 0;
};

// "Mixer Record Assignments": the recording destination and its source.
class RecordAssignmentDialog final : public AssignmentDialog {
  public:
    explicit RecordAssignmentDialog(CMixerExtend& mixer)
        : AssignmentDialog(mixer, mixer_ui::kRecordAssignmentDialog) {}

  private:
    void refill() override;
    bool apply(int listId, uint32_t k) override;
};

// "Mixer Playback Assignments": the playback destination, the line-out
// (unfiltered) and the wave-out (filtered) sources.
class PlaybackAssignmentDialog final : public AssignmentDialog {
  public:
    explicit PlaybackAssignmentDialog(CMixerExtend& mixer)
        : AssignmentDialog(mixer, mixer_ui::kPlaybackAssignmentDialog) {}

  private:
    void refill() override;
    bool apply(int listId, uint32_t k) override;
};
