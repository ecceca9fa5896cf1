// What a dialog is made of, in dialog units: the controls of every dialog
// of the program, for the front ends' one dialog builder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace dialogs {

enum class ItemKind {
    AutoCheckBox,     // toggles itself when clicked
    CheckBox,         // the program sets its state
    AutoRadioButton,  // checks itself and clears the other buttons of its group
    HorizontalScrollBar,
    PushButton,
    DefaultPushButton,
    StaticText,
    ListBox,      // border, vertical scroll bar, notifies, unsorted, not resized to whole lines
    GroupBox,     // a frame with its text as a caption; takes no input
    CentredText,  // static text, centred in its box
};

// Every automatic radio button of a dialog belongs to one group (each of the
// seven dialogs has at most one group), whatever stands between them.

struct DialogItem {
    int id;  // -1: none
    ItemKind kind;
    const char* text;
    int x, y, width, height;
    bool tabStop;
};

struct DialogTemplate {
    int resourceId;
    const char* caption;
    int width, height;
    bool centred;
    std::span<const DialogItem> items;
};

// Every dialog's font.
inline constexpr const char* kFontName = "MS Sans Serif";
inline constexpr int kFontSize = 8;

}  // namespace dialogs
