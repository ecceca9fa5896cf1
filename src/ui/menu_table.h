// The two menu resources as data: the main menu 101 and
// the menu 104 whose first submenu is the floating popup. Every front end
// builds its menus from these tables, with the initial check and gray states
// given here, and tests check the menus against them.
//
// A menu is a list of nodes: items (a command identifier and a label whose
// '&' marks the mnemonic; "&&" would be a literal ampersand), separators and
// submenus (a label and their own list). Top-level nodes of a menu bar are
// all submenus.
#pragma once

#include <cstdint>
#include <span>

#include "ui/command_table.h"

namespace ui {

enum class MenuNodeKind : uint8_t { Item, Separator, Submenu };

struct MenuNode {
    MenuNodeKind kind;
    uint32_t id;                         // items: the command identifier; 0 otherwise
    const char* label;                   // "" for separators
    bool checked;                        // initial check mark
    bool grayed;                         // initial gray state
    std::span<const MenuNode> children;  // submenus only
};

struct MenuResource {
    uint32_t resourceId;
    std::span<const MenuNode> bar;
};

namespace menu_nodes {
constexpr MenuNode item(uint32_t id, const char* label, bool checked = false, bool grayed = false) {
    return {MenuNodeKind::Item, id, label, checked, grayed, {}};
}
constexpr MenuNode separator() {
    return {MenuNodeKind::Separator, 0, "", false, false, {}};
}
constexpr MenuNode submenu(const char* label, std::span<const MenuNode> children) {
    return {MenuNodeKind::Submenu, 0, label, false, false, children};
}

constexpr bool kChecked = true;
constexpr bool kGrayed = true;

inline constexpr MenuNode kMixerInterface[] = {
    item(ID_RECORDING_ASSIGNMENTS, "&Recording Assignments"),
    item(ID_PLAYBACK_ASSIGNMENTS, "&Playback Assignments"),
    item(ID_DUMP_MIXER_SETTINGS, "&Dump settings to disk file"),
};
inline constexpr MenuNode kFile[] = {
    item(ID_AUDIO_LEVEL_CONTROLS, "&Audio Level Controls"),
    submenu("&Mixer Interface", kMixerInterface),
    separator(),
    item(ID_EXIT, "E&xit"),
};
// The Edit commands, the same in the main menu and the popup.
inline constexpr MenuNode kEdit[] = {
    item(ID_RESELECT, "&Reselect", false, kGrayed),
    item(ID_SELECT_ALL, "Select &All"),
    separator(),
    item(ID_PASS_BAND, "&Pass Band", false, kGrayed),
    item(ID_STOP_BAND, "&Stop Band", false, kGrayed),
    separator(),
    item(ID_MINIMUM_AMPLITUDE, "&Minimum Amplitude", false, kGrayed),
    // "R" is Reselect's: Reset takes its second letter, so that each
    // letter of the menu chooses one item.
    item(ID_RESET_MIN_AMPLITUDES, "R&eset Minimum Amplitudes"),
};
// Normal is in effect at start although unchecked.
inline constexpr MenuNode kZoomVertical[] = {
    item(ID_ZOOM_NORMAL, "&Normal"),
    item(ID_ZOOM_IN, "Zoom &In"),
    item(ID_ZOOM_OUT, "Zoom &Out"),
};
inline constexpr MenuNode kDisplay[] = {
    submenu("Zoom &Vertical", kZoomVertical),
    item(ID_ZOOM_HORIZONTAL, "Zoom &Horizontal"),
    separator(),
    item(ID_SHOW_PEAKS, "Show &Peak Amplitudes"),
    item(ID_SHOW_MIN_AMPLITUDE, "Show &Minimum Amplitude"),
    item(ID_SHOW_OUTPUT, "Show &Output Spectrum"),
};
inline constexpr MenuNode kPrefilters[] = {
    item(ID_PREFILTER_OFF, "&Off", kChecked),
    item(ID_PREFILTER_VOICE, "&Voice"),
    item(ID_PREFILTER_MUSIC, "&Music"),
};
inline constexpr MenuNode kFftFilters[] = {
    item(ID_PASS_ALL, "&Pass All"),
    item(ID_STOP_ALL, "&Stop All"),
    separator(),
    item(ID_VOICE_NARROW, "Voice - &Narrow"),
    item(ID_VOICE_MIDDLE, "Voice - &Middle"),
    item(ID_VOICE_WIDE, "Voice - &Wide"),
    separator(),
    item(ID_MUSIC_NARROW, "Music - N&arrow"),
    item(ID_MUSIC_WIDE, "Music - W&ide"),
    separator(),
    item(ID_NOTCH_NARROW, "Notch at 5000Hz (Na&rrow)"),
    item(ID_NOTCH_WIDE, "Notch at 5000Hz (Wi&de)"),
    separator(),
    item(ID_STOP_BELOW_100, "Stop all below &100Hz"),
    item(ID_STOP_BELOW_200, "Stop all below &200Hz"),
    item(ID_STOP_BELOW_300, "Stop all below &300Hz"),
    separator(),
    item(ID_STOP_ABOVE_3000, "Stop all abo&ve 3000"),
    item(ID_STOP_ABOVE_4000, "Stop all above &4000"),
    item(ID_STOP_ABOVE_5000, "Stop all above &5000"),
    item(ID_STOP_ABOVE_6000, "Stop all above &6000"),
};
inline constexpr MenuNode kHeterodyne[] = {
    item(ID_HETERODYNE_OFF, "&Off"),
    item(ID_HETERODYNE_5000, "&5000 Hz", kChecked),
    item(ID_HETERODYNE_SLOW, "&Slow (Music)"),
    item(ID_HETERODYNE_FAST, "&Fast (Voice)"),
};
inline constexpr MenuNode kExponential[] = {
    item(ID_EXPONENTIAL_OFF, "&Off", kChecked),
    item(ID_EXPONENTIAL_09, "0.&9"),
    item(ID_EXPONENTIAL_08, "0.&8"),
    item(ID_EXPONENTIAL_07, "0.&7"),
    item(ID_EXPONENTIAL_06, "0.&6"),
    item(ID_EXPONENTIAL_05, "0.&5"),
    item(ID_EXPONENTIAL_04, "0.&4"),
    item(ID_EXPONENTIAL_03, "0.&3"),
    item(ID_EXPONENTIAL_02, "0.&2"),
    item(ID_EXPONENTIAL_01, "0.&1"),
};
// Sixteen items written with the twelve characters of "Off" and the digits
// cannot all have keys of their own: Off and 10 to 100 have one each
// (100 its 0), and 110 to 150 have none, so that no key of the others is
// shared and each chooses its item at once.
inline constexpr MenuNode kNoiseFloor[] = {
    item(ID_NOISE_FLOOR_OFF, "&Off", kChecked),
    item(ID_NOISE_FLOOR_10, "&10"),
    item(ID_NOISE_FLOOR_20, "&20"),
    item(ID_NOISE_FLOOR_30, "&30"),
    item(ID_NOISE_FLOOR_40, "&40"),
    item(ID_NOISE_FLOOR_50, "&50"),
    item(ID_NOISE_FLOOR_60, "&60"),
    item(ID_NOISE_FLOOR_70, "&70"),
    item(ID_NOISE_FLOOR_80, "&80"),
    item(ID_NOISE_FLOOR_90, "&90"),
    item(ID_NOISE_FLOOR_100, "1&00"),
    item(ID_NOISE_FLOOR_110, "110"),
    item(ID_NOISE_FLOOR_120, "120"),
    item(ID_NOISE_FLOOR_130, "130"),
    item(ID_NOISE_FLOOR_140, "140"),
    item(ID_NOISE_FLOOR_150, "150"),
};
inline constexpr MenuNode kOptions[] = {
    submenu("Auto &Heterodyne Reduction", kHeterodyne),
    separator(),
    item(ID_AVERAGING, "A&veraging"),
    item(ID_COMPRESSOR, "C&ompressor"),
    item(ID_EQUALIZER, "E&qualizer", kChecked),
    item(ID_EXPANDOR, "E&xpandor", kChecked),
    item(ID_SPEECH_ENHANCEMENT, "Speech Enh&ancement"),
    item(ID_NOISE_BLANKER, "Noise &Blanker"),
    separator(),
    submenu("&Exponential Filter", kExponential),
    submenu("&Noise Floor Averaging", kNoiseFloor),
    separator(),
    item(ID_LMS_FILTER, "Least &Mean Square Filter"),
    item(ID_LINEAR_COMBINER, "Linear &Combiner Filter"),
    item(ID_LINEAR_PREDICTION, "Linear &Prediction Filter"),
    item(ID_RECURSIVE_LEAST_SQUARES, "&Recursive Least Squares Filter"),
    item(ID_KALMAN_FILTER, "&Steady State Kalman Filter"),
};
inline constexpr MenuNode kHelp[] = {
    item(ID_QUICK_HELP, "&Quick Help"),
    item(ID_ABOUT, "&About"),
};
inline constexpr MenuNode kMainBar[] = {
    submenu("&File", kFile),
    submenu("&Edit", kEdit),
    submenu("&Display", kDisplay),
    submenu("F&IR Prefilters", kPrefilters),
    submenu("FF&T Filters", kFftFilters),
    submenu("&Options", kOptions),
    submenu("&Help", kHelp),
};
// Menu 104: its first (and only) submenu is the popup, with the Edit commands.
inline constexpr MenuNode kPopupBar[] = {
    submenu("Popup", kEdit),
};
}  // namespace menu_nodes

inline constexpr MenuResource kMainMenu{101, menu_nodes::kMainBar};
inline constexpr MenuResource kPopupMenuResource{104, menu_nodes::kPopupBar};
// The popup's items: the first submenu of menu 104.
inline constexpr std::span<const MenuNode> kPopupItems = menu_nodes::kEdit;

// Calls f(node) for every item of a menu list, submenus included, depth first
// in menu order.
template <class F>
constexpr void forEachMenuItem(std::span<const MenuNode> nodes, F&& f) {
    for (const MenuNode& n : nodes) {
        if (n.kind == MenuNodeKind::Item) f(n);
        if (n.kind == MenuNodeKind::Submenu) forEachMenuItem(n.children, f);
    }
}

}  // namespace ui
