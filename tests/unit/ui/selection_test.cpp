// Band selection by mouse and keys, the minimum-amplitude mode and the menu
// states that follow the selection.
#include <gtest/gtest.h>

#include "support/ui_rig.h"

using namespace ui;

namespace {

class Selection : public ::testing::Test {
  protected:
    void SetUp() override { rig.create(); }  // 11025 Hz: 1.5 pixels a bin
    bool editEnabled(uint32_t id) {
        // The main menu and the popup always agree.
        EXPECT_EQ(rig.enabled(id, Menu::Main), rig.enabled(id, Menu::Popup)) << id;
        return rig.enabled(id, Menu::Main);
    }
    UiRig rig;
};

TEST_F(Selection, DragInEitherDirectionMakesTheSameSelection) {
    EXPECT_FALSE(editEnabled(ID_RESELECT));
    EXPECT_FALSE(editEnabled(ID_PASS_BAND));
    EXPECT_TRUE(editEnabled(ID_SELECT_ALL));
    const int before = rig.view.invalidations;
    rig.drag(300, 150);
    EXPECT_EQ(rig.view.invalidations, before + 1);  // the move repaints, the release does not
    EXPECT_EQ(rig.s().nSelStart, 150);
    EXPECT_EQ(rig.s().nSelEnd, 300);
    EXPECT_TRUE(editEnabled(ID_PASS_BAND));
    EXPECT_TRUE(editEnabled(ID_STOP_BAND));
    EXPECT_TRUE(editEnabled(ID_MINIMUM_AMPLITUDE));
    EXPECT_FALSE(editEnabled(ID_RESELECT));
    EXPECT_FALSE(editEnabled(ID_SELECT_ALL));

    // Stop Band: bins 100 up to 200, then the selection is cleared and remembered.
    rig.command(ID_STOP_BAND);
    EXPECT_EQ(rig.engine->bandMask[99], 0u);
    EXPECT_EQ(rig.engine->bandMask[100], 1u);
    EXPECT_EQ(rig.engine->bandMask[199], 1u);
    EXPECT_EQ(rig.engine->bandMask[200], 0u);
    EXPECT_EQ(rig.s().nSelStart, -1);
    EXPECT_EQ(rig.s().nLastSelStart, 150);
    EXPECT_TRUE(editEnabled(ID_RESELECT));
    EXPECT_FALSE(editEnabled(ID_STOP_BAND));

    rig.drag(150, 300);
    EXPECT_EQ(rig.s().nSelStart, 150);
    EXPECT_EQ(rig.s().nSelEnd, 300);
}

TEST_F(Selection, AClickClearsAndGraysReselectEvenWithOneRemembered) {
    rig.drag(100, 200);
    rig.command(ID_PASS_BAND);
    EXPECT_TRUE(editEnabled(ID_RESELECT));
    rig.command(ID_RESELECT);
    EXPECT_EQ(rig.s().nSelStart, 100);
    EXPECT_EQ(rig.s().nSelEnd, 200);
    rig.send(kWmLButtonDown, 0, pointParam(50, 10));
    rig.send(kWmLButtonUp, 0, pointParam(50, 10));
    EXPECT_EQ(rig.s().nSelStart, -1);
    EXPECT_FALSE(editEnabled(ID_RESELECT));
    // Pass Band without a selection changes nothing.
    rig.engine->bandMask[0] = 1;
    rig.command(ID_PASS_BAND);
    EXPECT_EQ(rig.engine->bandMask[0], 1u);
    rig.command(ID_SELECT_ALL);
    EXPECT_EQ(rig.s().nSelEnd, 799);
}

TEST_F(Selection, ShiftWithTheCursorKeys) {
    rig.key(kVkHome);
    EXPECT_EQ(rig.s().nCursorX, 0);
    rig.key(kVkPageUp);
    EXPECT_EQ(rig.s().nCursorX, 20);
    rig.send(kWmKeyDown, kVkShift);
    rig.send(kWmKeyDown, kVkShift);  // repeats
    rig.key(kVkRight);               // one bin: 15 / 10 = 1 pixel
    rig.key(kVkPageUp);
    EXPECT_EQ(rig.s().nSelEnd, 41);
    rig.send(kWmKeyUp, kVkShift);
    EXPECT_EQ(rig.s().nSelStart, 20);
    EXPECT_EQ(rig.s().nSelEnd, 41);
    EXPECT_TRUE(editEnabled(ID_PASS_BAND));
    rig.key(kVkEnd);
    EXPECT_EQ(rig.s().nCursorX, 799);
    rig.key(kVkPageUp);
    EXPECT_EQ(rig.s().nCursorX, 799);  // limited to the width
    // Shift pressed and released without a move clears.
    rig.key(kVkShift);
    EXPECT_EQ(rig.s().nSelStart, -1);
    EXPECT_EQ(rig.s().nCursorX, -1);
    rig.key(kVkPageDown);
    EXPECT_EQ(rig.s().nCursorX, -1);
}

// A Shift held through a drag, repeating as a held key does, and released
// after the mouse: the selection stays as dragged, and Stop Band stops only it.
TEST_F(Selection, ShiftReleasedAfterAMouseSelectionLeavesItAsDragged) {
    rig.send(kWmKeyDown, kVkShift);
    rig.send(kWmLButtonDown, 0, pointParam(470, 100));
    rig.send(kWmKeyDown, kVkShift);  // a repeat during the drag
    rig.send(kWmMouseMove, 0, pointParam(430, 100));
    rig.send(kWmLButtonUp, 0, pointParam(430, 100));
    rig.send(kWmKeyDown, kVkShift);  // and after it
    rig.send(kWmKeyUp, kVkShift);
    EXPECT_EQ(rig.s().nSelStart, 430);
    EXPECT_EQ(rig.s().nSelEnd, 470);
    EXPECT_TRUE(editEnabled(ID_STOP_BAND));
    rig.command(ID_STOP_BAND);
    // Columns 430 to 470 are bins 286 to 313 at 1.5 pixels a bin.
    EXPECT_EQ(rig.engine->bandMask[285], 0u);
    EXPECT_EQ(rig.engine->bandMask[286], 1u);
    EXPECT_EQ(rig.engine->bandMask[312], 1u);
    EXPECT_EQ(rig.engine->bandMask[313], 0u);
    EXPECT_EQ(rig.engine->bandMask[10], 0u);

    // The next Shift selects with the keys again.
    rig.key(kVkHome);
    rig.send(kWmKeyDown, kVkShift);
    rig.key(kVkPageUp);
    rig.send(kWmKeyUp, kVkShift);
    EXPECT_EQ(rig.s().nSelStart, 0);
    EXPECT_EQ(rig.s().nSelEnd, 20);
}

TEST_F(Selection, ZoomHorizontalInANarrowWindowMovesTheCursorByNothing) {
    rig.send(kWmSize, kSizeRestored, sizeParam(400, 300));
    rig.command(ID_ZOOM_HORIZONTAL);
    rig.key(kVkHome);
    rig.key(kVkRight);
    EXPECT_EQ(rig.s().nCursorX, 0);
    rig.key(kVkEnd);
    EXPECT_EQ(rig.s().nCursorX, 399);
}

TEST_F(Selection, UpAndDownShiftEveryMinimumAmplitude) {
    rig.key(kVkUp);
    EXPECT_EQ(rig.s().bShowMinAmplitude, 1u);
    EXPECT_TRUE(rig.checked(ID_SHOW_MIN_AMPLITUDE));
    EXPECT_EQ(rig.engine->minimumAmplitude[0], 2200.0);
    EXPECT_EQ(rig.engine->minimumAmplitude[511], 2200.0);
    rig.command(ID_RESET_MIN_AMPLITUDES);
    rig.key(kVkDown);
    rig.key(kVkDown);
    EXPECT_EQ(rig.engine->minimumAmplitude[300], 0.1);
}

TEST_F(Selection, MinimumAmplitudeModeIgnoresTheFirstKeyThenSetsTheLevel) {
    rig.command(ID_MINIMUM_AMPLITUDE);  // no selection: no mode
    EXPECT_EQ(rig.s().bMinAmpMode, 0u);
    rig.drag(150, 300);
    rig.command(ID_MINIMUM_AMPLITUDE);
    EXPECT_EQ(rig.s().bMinAmpMode, 1u);
    rig.key(kVkReturn);  // the Enter that chose the command
    EXPECT_EQ(rig.s().bMinAmpMode, 1u);
    EXPECT_EQ(rig.engine->minimumAmplitude[100], 1200.0);
    rig.key(kVkPageUp);
    rig.key(kVkUp);
    EXPECT_EQ(rig.s().nMinAmpLevel, 21);  // the ignored Enter still limits -1 to 0
    rig.key(kVkReturn);
    EXPECT_EQ(rig.engine->minimumAmplitude[99], 1200.0);
    EXPECT_EQ(rig.engine->minimumAmplitude[100], 21 * 600.0);
    EXPECT_EQ(rig.engine->minimumAmplitude[199], 21 * 600.0);
    EXPECT_EQ(rig.engine->minimumAmplitude[200], 1200.0);
    EXPECT_EQ(rig.s().bMinAmpMode, 0u);
    EXPECT_EQ(rig.s().nSelStart, -1);
}

TEST_F(Selection, TheMouseSetsTheLevelAtItsRow) {
    rig.command(ID_ZOOM_IN);
    rig.drag(150, 300);
    rig.command(ID_MINIMUM_AMPLITUDE);
    rig.send(kWmLButtonDown, 0, pointParam(10, 440));
    rig.send(kWmMouseMove, 0, pointParam(600, 440));  // changes nothing in this mode
    EXPECT_EQ(rig.s().nSelEnd, 300);
    rig.send(kWmLButtonUp, 0, pointParam(600, 440));  // 40 rows above the baseline
    EXPECT_EQ(rig.engine->minimumAmplitude[150], 1200.0);
    EXPECT_EQ(rig.engine->minimumAmplitude[100], 40 * 30.0);
    EXPECT_EQ(rig.s().bMinAmpMode, 0u);
}

TEST_F(Selection, ASelectionPastTheSpectrumTouchesOnlyItsBins) {
    // At 11025 Hz the spectrum ends at column 765 of the 800.
    for (double& m : rig.engine->minimumAmplitude)
        m = 5.0;
    rig.drag(700, 799);  // bins 466 to 532
    rig.command(ID_MINIMUM_AMPLITUDE);
    rig.key(kVkEscape);  // any other key only ends the first-key rule
    rig.key(kVkUp);
    rig.key(kVkUp);
    rig.key(kVkReturn);
    EXPECT_EQ(rig.engine->minimumAmplitude[465], 5.0);
    EXPECT_EQ(rig.engine->minimumAmplitude[466], 600.0);
    EXPECT_EQ(rig.engine->minimumAmplitude[511], 600.0);
    rig.drag(700, 799);
    rig.command(ID_STOP_BAND);
    EXPECT_EQ(rig.engine->bandMask[510], 1u);
    EXPECT_EQ(rig.engine->bandMask[511], 0u);
}

}  // namespace
