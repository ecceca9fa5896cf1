// Menu state: the check marks that show the settings and the gray states that
// show which Edit commands apply to the selection, in the main menu and the
// popup, addressed by command identifier through the view. Nothing is read
// back from the menus: the settings live in the engine and the main window.
#pragma once

#include <cstdint>

#include "ui/command_table.h"
#include "ui/main_view.h"

namespace ui {

class MenuState {
  public:
    explicit MenuState(MainView& view) : view_(view) {}

    // A selection was made: Reselect and Select All grayed, Pass Band, Stop
    // Band and Minimum Amplitude enabled, in both menus.
    void selectionMade();
    // The selection is about to be cleared: Reselect enabled when a selection
    // exists (selStart >= 0), Select All enabled, the three others grayed.
    void selectionCleared(int32_t selStart);
    // Unchecks every item of a radio group, then checks `chosen` (main menu).
    void checkRadio(RadioGroup group, uint32_t chosen);
    // The check mark of a toggle (main menu).
    void setChecked(uint32_t id, bool checked);
    // Grays an item of the main menu for good.
    void gray(uint32_t id);

    // Speech enhancement sets the equalizer and the noise-floor subtraction
    // aside while it is on: their items are grayed, their marks kept.
    void setAsideByEnhancement(bool on);

    void clearExponentialMarks();
    void clearNoiseFloorMarks();

  private:
    void enableBoth(uint32_t id, bool enabled);
    MainView& view_;
};

// The six items the first timer tick grays for the rest of the run.
inline constexpr uint32_t kGrayedAfterFirstTick[6] = {
    ID_HETERODYNE_FAST,         ID_AVERAGING,    ID_COMPRESSOR, ID_LINEAR_PREDICTION,
    ID_RECURSIVE_LEAST_SQUARES, ID_KALMAN_FILTER};

}  // namespace ui
