#include "ui/menu_state.h"

namespace ui {

void MenuState::enableBoth(uint32_t id, bool enabled) {
    view_.setMenuItemEnabled(Menu::Main, id, enabled);
    view_.setMenuItemEnabled(Menu::Popup, id, enabled);
}

void MenuState::selectionMade() {
    enableBoth(ID_RESELECT, false);
    enableBoth(ID_SELECT_ALL, false);
    enableBoth(ID_PASS_BAND, true);
    enableBoth(ID_STOP_BAND, true);
    enableBoth(ID_MINIMUM_AMPLITUDE, true);
}

void MenuState::selectionCleared(int32_t selStart) {
    enableBoth(ID_RESELECT, selStart >= 0);
    enableBoth(ID_SELECT_ALL, true);
    enableBoth(ID_PASS_BAND, false);
    enableBoth(ID_STOP_BAND, false);
    enableBoth(ID_MINIMUM_AMPLITUDE, false);
}

void MenuState::checkRadio(RadioGroup group, uint32_t chosen) {
    if (group == RadioGroup::Exponential) {
        clearExponentialMarks();
    } else if (group == RadioGroup::NoiseFloor) {
        clearNoiseFloorMarks();
    } else {
        for (uint32_t id : radioGroupItems(group))
            if (id != chosen) view_.setMenuItemChecked(Menu::Main, id, false);
    }
    view_.setMenuItemChecked(Menu::Main, chosen, true);
}

void MenuState::setChecked(uint32_t id, bool checked) {
    view_.setMenuItemChecked(Menu::Main, id, checked);
}

void MenuState::gray(uint32_t id) {
    view_.setMenuItemEnabled(Menu::Main, id, false);
}

void MenuState::setAsideByEnhancement(bool on) {
    view_.setMenuItemEnabled(Menu::Main, ID_EQUALIZER, !on);
    for (uint32_t id : kNoiseFloorCommands)
        view_.setMenuItemEnabled(Menu::Main, id, !on);
}

void MenuState::clearExponentialMarks() {
    for (uint32_t id : kExponentialCommands)
        view_.setMenuItemChecked(Menu::Main, id, false);
}

void MenuState::clearNoiseFloorMarks() {
    for (uint32_t id : kNoiseFloorCommands)
        view_.setMenuItemChecked(Menu::Main, id, false);
}

}  // namespace ui
