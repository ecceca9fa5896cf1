// The dialog seam: one interface over the logic of all seven dialogs (Welcome,
// Quick Help and About in ui/; Audio Level Controls, the two assignment
// dialogs and Dump Mixer Settings in mixer/, each implementing it itself), so
// that one generic builder in each front end shows every dialog from its
// template.
//
// Contract between the core and a front end's dialog builder:
// - The builder makes the dialog from dialogTemplate() (dialog units, the
//   template's font), owned by the main window, then calls initDialog() once
//   (kWmInitDialog) before the dialog is shown.
// - It forwards the user's input, on the loop's thread:
//   * a click on a push button, check box or radio button: command(id); an
//     automatic check box or radio button changes its own mark first, as the
//     platform's do;
//   * Enter: command(kIdOk); Escape and the close box: command(kIdCancel);
//   * a horizontal scroll bar's scroll code and 16-bit thumb position:
//     horizontalScroll(id, code, position) (the codes of kWmHScroll);
//   * a list box's changed selection: listSelectionChanged(id, index), -1
//     when nothing is selected.
// - After initDialog(), after every forwarded input and whenever the core
//   asks (MainView::refreshDialog), the builder sets every control from the
//   model: check marks of check boxes and radio buttons (checked), texts that
//   the model replaces (text), list boxes' items and selection (listItems,
//   listSelection), scroll bars' ranges and thumbs (scrollRange,
//   scrollPosition), and whether each control takes input (enabled).
//   Controls the model says nothing about keep their template state.
// - Once ended() is true after an input, the builder destroys the dialog (a
//   modal one's run call then returns result()). ended() is meaningful only
//   after initDialog().
// - The model never calls the builder and never runs a message loop: every
//   call returns at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/dialog_template.h"
#include "platform/host.h"

namespace dialogs {

// The buttons every dialog shares: a message box's answers.
using platform::kIdCancel;
using platform::kIdOk;

// The dialog procedure's messages and the scroll codes of kWmHScroll.
inline constexpr uint32_t kWmInitDialog = 0x0110;
inline constexpr uint32_t kWmCommand = 0x0111;
inline constexpr uint32_t kWmHScroll = 0x0114;
inline constexpr int kSbLineLeft = 0;
inline constexpr int kSbLineRight = 1;
inline constexpr int kSbPageLeft = 2;
inline constexpr int kSbPageRight = 3;
inline constexpr int kSbThumbPosition = 4;
inline constexpr int kSbThumbTrack = 5;
inline constexpr int kSbLeft = 6;
inline constexpr int kSbRight = 7;
inline constexpr int kSbEndScroll = 8;

struct ScrollRange {
    int32_t minimum = 0;
    int32_t maximum = 0;
};

class DialogModel {
  public:
    virtual ~DialogModel() = default;

    virtual const DialogTemplate& dialogTemplate() const = 0;

    // kWmInitDialog. Each input returns what the dialog procedure returns
    // for it: true when it was the dialog's to handle.
    virtual bool initDialog() = 0;
    // A button, check box or radio button was clicked (or Enter, Escape).
    virtual bool command(int id) = 0;
    virtual bool horizontalScroll(int /*id*/, int /*code*/, uint16_t /*position*/) { return false; }
    virtual bool listSelectionChanged(int /*id*/, int32_t /*index*/) { return false; }

    // The state the builder shows.
    virtual bool checked(int /*id*/) const { return false; }
    // A control that can do nothing is shown disabled.
    virtual bool enabled(int /*id*/) const { return true; }
    // A text that replaces the template's, or nothing.
    virtual std::optional<std::string> text(int /*id*/) const { return std::nullopt; }
    virtual std::vector<std::string> listItems(int /*id*/) const { return {}; }
    virtual int32_t listSelection(int /*id*/) const { return -1; }
    virtual ScrollRange scrollRange(int /*id*/) const { return {}; }
    virtual int32_t scrollPosition(int /*id*/) const { return 0; }

    // The dialog has ended (modal) or closed itself (modeless).
    virtual bool ended() const = 0;
    // A modal dialog's result (EndDialog's value).
    virtual intptr_t result() const { return 0; }
};

}  // namespace dialogs
