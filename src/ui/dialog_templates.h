// The main window's own dialogs: the start-up dialog "Welcome"
// (112), "Quick Help" (127) and "About" (108), as templates in dialog units
// with their identifiers and texts, in the same form as the mixer's dialogs
// (mixer/dialog_templates.h), so that one generic builder shows all seven.
// Font: dialogs::kFontName, dialogs::kFontSize. All three are centred and
// have a caption and a system menu.
#pragma once

#include "dialogs/dialog_model.h"
#include "engine/version.h"
#include "mixer/dialog_templates.h"

namespace ui {

// The dialog vocabulary every dialog of the program shares.
using dialogs::DialogItem;
using dialogs::DialogModel;
using dialogs::DialogTemplate;
using dialogs::ItemKind;
using dialogs::kIdCancel;
using dialogs::kIdOk;
using dialogs::ScrollRange;

using dialogs::DialogItem;
using dialogs::DialogTemplate;
using dialogs::ItemKind;

// Start-up dialog "Welcome" (modal).
inline constexpr int kIdNoticeList = 1013;
inline constexpr int kIdRate8000 = 1015;   // "8 Khz", the first of the radio group
inline constexpr int kIdRate11025 = 1016;  // "11 kHz", on at start
inline constexpr int kIdRate22050 = 1017;  // "22 kHz"
inline constexpr int kIdRate44100 = 1041;  // "44 kHz"
inline constexpr int kIdSimulatedStereo = 1028;

inline constexpr DialogItem kWelcomeItems[] = {
    {1013, ItemKind::ListBox, "", 10, 10, 205, 170, true},
    {1, ItemKind::DefaultPushButton, "Agree", 35, 190, 50, 14, true},
    {2, ItemKind::PushButton, "Disagree", 135, 190, 50, 14, true},
    {-1, ItemKind::GroupBox, "Select Sampling Rate", 10, 210, 205, 25, false},
    {1015, ItemKind::AutoRadioButton, "8 Khz", 20, 220, 40, 10, true},
    {1016, ItemKind::AutoRadioButton, "11 kHz", 70, 220, 40, 10, false},
    {1017, ItemKind::AutoRadioButton, "22 kHz", 120, 220, 40, 10, false},
    {1041, ItemKind::AutoRadioButton, "44 kHz", 170, 220, 35, 10, false},
    {1028, ItemKind::AutoCheckBox, "Simulated Stereo Output", 20, 240, 140, 10, true},
};
inline constexpr DialogTemplate kWelcomeDialog{112, "Welcome", 224, 257, true, kWelcomeItems};

// The notice lines of the list box, one entry each.
inline constexpr const char* kNoticeLines[] = {
    "Tarnix Digital Filter Program",
    "",
    "Tarnix filters the audio of a receiver in real time:",
    "it records from the sound card's input, removes",
    "noise and steady whistles in the frequency domain",
    "and plays the result back with a short delay.",
    "",
    "Before you start:",
    "- Connect the receiver's audio output to the",
    "  sound card's line input.",
    "- Tarnix chooses the mixer's recording and playback",
    "  lines by itself and changes their levels and",
    "  mutes while it runs; it makes every path audible",
    "  again when it ends.",
    "- Keep the volume low until you know how loud the",
    "  filtered output is.",
    "",
    "This program requires a 200Mhz PC (or faster) to run.",
    "",
    "Tarnix is provided as is, without warranty of any",
    "kind. You use it at your own risk.",
    "",
    "Choose the sampling rate and the output below.",
    "Agree to start, Disagree to quit.",
};

// "Quick Help" (modeless, owned by the main window).
inline constexpr DialogItem kQuickHelpItems[] = {
    {1, ItemKind::DefaultPushButton, "OK", 230, 5, 50, 14, true},
    {-1, ItemKind::StaticText, "Here are a few simple tips for using this program:", 5, 10, 220, 15,
     false},
    {-1, ItemKind::StaticText,
     "Select \"Unfiltered Input\" while tuning \"Filtered Output\" for listening.", 5, 25, 280, 15,
     false},
    {-1, ItemKind::StaticText, "Once the \"Auto Input Level\" has stabilized click it off.", 5, 40,
     280, 15, false},
    {-1, ItemKind::StaticText,
     "Best \"Noise Floor Averaging\" setting during heavy noise is probably 30.", 5, 55, 280, 15,
     false},
    {-1, ItemKind::StaticText,
     "Use Up/Down Arrow Keys to set \"Minimum Amplitude\" (Click on main window first).", 5, 70,
     280, 15, false},
    // The two features that show what the filter does, two rows more.
    {-1, ItemKind::StaticText,
     "Choose \"Show Output Spectrum\" (Display menu) to see what the filter takes out.", 5, 85, 280,
     15, false},
    {-1, ItemKind::StaticText,
     "While \"Speech Enhancement\" is on, the items it replaces are grayed.", 5, 100, 280, 15,
     false},
};
inline constexpr DialogTemplate kQuickHelpDialog{127, "Quick Help", 289,
                                                 122, true,         kQuickHelpItems};

// "About" (modal).
inline constexpr int kIdVersionText = 1014;

inline constexpr DialogItem kAboutItems[] = {
    {-1, ItemKind::CentredText, "The Tarnix Digital Filter Program", 10, 5, 160, 13, false},
    {1014, ItemKind::CentredText, "Version", 7, 59, 163, 11, false},
    {1, ItemKind::DefaultPushButton, "OK", 65, 165, 50, 14, true},
};
inline constexpr DialogTemplate kAboutDialog{108, "About", 177, 182, true, kAboutItems};

// The program's version text (the About box shows it) and the main window's
// title, with the stereo suffix when the output is simulated stereo.
using engine::kStereoSuffix;
using engine::kVersionText;
inline constexpr const char* kMainWindowTitle = "Tarnix Digital Filter Program ";
inline constexpr const char* kMainWindowClass = "Tarnix Digital Filter Program";

}  // namespace ui
