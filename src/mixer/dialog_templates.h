// The mixer dialogs' templates, identifiers and texts, for the front ends that
// build the windows (dialog units, font MS Sans Serif 8).
#pragma once

#include "dialogs/dialog_template.h"

namespace mixer_ui {

using dialogs::DialogItem;
using dialogs::DialogTemplate;
using dialogs::ItemKind;

// Audio Level Controls (modeless).
inline constexpr int IDC_MASTER_MUTE = 1028;
inline constexpr int IDC_MASTER_VOLUME = 1006;
inline constexpr int IDC_UNFILTERED = 1015;
inline constexpr int IDC_LINE_OUT_VOLUME = 1007;
inline constexpr int IDC_FILTERED = 1016;
inline constexpr int IDC_WAVE_OUT_VOLUME = 1008;
inline constexpr int IDC_AUTO_INPUT_LEVEL = 1023;
inline constexpr int IDC_WAVE_IN_VOLUME = 1009;

inline constexpr DialogItem kAudioLevelItems[] = {
    {1028, ItemKind::AutoCheckBox, "&Master Volume", 5, 5, 75, 10, true},
    {1006, ItemKind::HorizontalScrollBar, "", 85, 5, 115, 11, true},
    {1015, ItemKind::AutoRadioButton, "&Unfiltered Input", 15, 20, 65, 10, false},
    {1007, ItemKind::HorizontalScrollBar, "", 85, 20, 115, 11, true},
    {1016, ItemKind::AutoRadioButton, "&Filtered Output", 15, 35, 65, 10, false},
    {1008, ItemKind::HorizontalScrollBar, "", 85, 35, 115, 11, true},
    {1023, ItemKind::CheckBox, "Auto &Input Level", 5, 50, 75, 10, true},
    {1009, ItemKind::HorizontalScrollBar, "", 85, 50, 115, 10, false},
};
inline constexpr DialogTemplate kAudioLevelDialog{118,  "Audio Level Controls", 204, 67,
                                                  true, kAudioLevelItems};

// The two assignment dialogs (modal).
inline constexpr int IDC_DESTINATION_LIST = 1029;
inline constexpr int IDC_SOURCE_LIST = 1030;
inline constexpr int IDC_WAVE_OUT_LIST = 1032;

inline constexpr DialogItem kRecordAssignmentItems[] = {
    {1, ItemKind::DefaultPushButton, "OK", 105, 180, 50, 14, true},
    {-1, ItemKind::StaticText, "Assign Mixer devices to program inputs and output", 10, 15, 225, 15,
     false},
    {-1, ItemKind::StaticText,
     "NOTE: These are settings are set automatically at program start and usually should not "
     "be changed",
     10, 40, 240, 25, false},
    {-1, ItemKind::StaticText,
     "All possible values are listed but many combinations are not allowed.", 10, 75, 240, 15,
     false},
    {-1, ItemKind::StaticText, "Record", 10, 100, 70, 15, false},
    {1029, ItemKind::ListBox, "", 10, 120, 70, 40, true},
    {-1, ItemKind::StaticText, "Source", 95, 100, 70, 13, false},
    {1030, ItemKind::ListBox, "", 95, 120, 70, 40, true},
};
inline constexpr DialogTemplate kRecordAssignmentDialog{120,   "Mixer Record Assignments", 264, 212,
                                                        false, kRecordAssignmentItems};

inline constexpr DialogItem kPlaybackAssignmentItems[] = {
    {1, ItemKind::DefaultPushButton, "OK", 105, 180, 50, 14, true},
    {-1, ItemKind::StaticText, "Assign Mixer devices to program inputs and output", 10, 15, 225, 15,
     false},
    {-1, ItemKind::StaticText,
     "NOTE: These are settings are set automatically at program start and usually should not "
     "be changed",
     10, 40, 240, 25, false},
    {-1, ItemKind::StaticText,
     "All possible values are listed but many combinations are not allowed.", 10, 75, 240, 15,
     false},
    {-1, ItemKind::StaticText, "Master Volume", 10, 100, 70, 15, false},
    {1029, ItemKind::ListBox, "", 10, 120, 70, 40, true},
    {-1, ItemKind::StaticText, "Unfiltered Input", 95, 100, 70, 13, false},
    {1030, ItemKind::ListBox, "", 95, 120, 70, 40, true},
    {-1, ItemKind::StaticText, "Filtered Output", 180, 100, 70, 15, false},
    {1032, ItemKind::ListBox, "", 180, 120, 70, 40, true},
};
inline constexpr DialogTemplate kPlaybackAssignmentDialog{
    121, "Mixer Playback Assignments", 264, 212, false, kPlaybackAssignmentItems};

// Dump Mixer Settings to Disk File (modal).
inline constexpr DialogItem kDumpItems[] = {
    {1, ItemKind::PushButton, "Create File", 15, 95, 70, 14, true},
    {2, ItemKind::PushButton, "Cancel", 105, 95, 70, 14, true},
    {-1, ItemKind::StaticText,
     "Creates a text file named \"TarnixMixerList.TXT\" in the same directory as the program.", 15,
     15, 160, 30, false},
    {-1, ItemKind::StaticText,
     "The file contains a detailed list of the current Mixer settings and available "
     "capabilites.",
     15, 50, 160, 30, false},
};
inline constexpr DialogTemplate kDumpDialog{
    123, "Dump Mixer Settings to Disk File", 187, 122, false, kDumpItems};

}  // namespace mixer_ui
