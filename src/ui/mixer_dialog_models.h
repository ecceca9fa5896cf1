// The mixer's four dialogs behind the one dialog interface, so that the
// front ends' generic builder shows them like the main window's own.
#pragma once

#include "mixer/assignment_dialogs.h"
#include "mixer/level_controls.h"
#include "mixer/listing.h"
#include "ui/dialog_model.h"

namespace ui {

// "Audio Level Controls" (modeless). Closed by OK or Cancel. A control with
// no mixer control behind it (a sound server's mixer has no line controls)
// is disabled and shows no check mark, since using it would change nothing.
class AudioLevelDialogModel final : public DialogModel {
  public:
    explicit AudioLevelDialogModel(AudioLevelDialog& dialog) : d_(dialog) {}
    const DialogTemplate& dialogTemplate() const override;
    void initDialog() override { d_.initDialog(); }
    void command(int id) override { d_.command(id); }
    void horizontalScroll(int id, int code, uint16_t position) override {
        d_.hScroll(id, code, position);
    }
    bool checked(int id) const override { return d_.isChecked(id) && d_.hasMixerControl(id); }
    bool enabled(int id) const override { return d_.hasMixerControl(id); }
    ScrollRange scrollRange(int id) const override;
    int32_t scrollPosition(int id) const override { return static_cast<int32_t>(d_.thumb(id)); }
    bool ended() const override { return !d_.isOpen(); }

  private:
    AudioLevelDialog& d_;
};

// "Mixer Record Assignments" and "Mixer Playback Assignments" (modal).
class AssignmentDialogModel final : public DialogModel {
  public:
    AssignmentDialogModel(AssignmentDialog& dialog, const DialogTemplate& t) : d_(dialog), t_(t) {}
    const DialogTemplate& dialogTemplate() const override { return t_; }
    void initDialog() override { d_.initDialog(); }
    void command(int id) override { d_.command(id); }
    void listSelectionChanged(int id, int32_t index) override { d_.selectionChanged(id, index); }
    std::vector<std::string> listItems(int id) const override;
    int32_t listSelection(int id) const override;
    bool ended() const override { return d_.ended(); }
    intptr_t result() const override { return d_.result(); }

  private:
    bool hasList(int id) const;
    AssignmentDialog& d_;
    const DialogTemplate& t_;
};

// "Dump Mixer Settings to Disk File" (modal).
class DumpDialogModel final : public DialogModel {
  public:
    explicit DumpDialogModel(DumpDialog& dialog) : d_(dialog) {}
    const DialogTemplate& dialogTemplate() const override { return mixer_ui::kDumpDialog; }
    void initDialog() override { d_.initDialog(); }
    void command(int id) override { d_.command(id); }
    bool ended() const override { return d_.ended(); }
    intptr_t result() const override { return d_.result(); }

  private:
    DumpDialog& d_;
};

}  // namespace ui
