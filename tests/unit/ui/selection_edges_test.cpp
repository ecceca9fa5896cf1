// The edges of the selection and of the paint: the ends of the per-bin tables,
// the limits of the level, the label near the right edge, truncated rows, and
// the menu states around a selection that starts at column 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/ui_rig.h"

using namespace ui;
using headless::DrawCall;

namespace {

class SelectionEdges : public ::testing::Test {
  protected:
    void SetUp() override { rig.create(); }  // 11025 Hz, 800 x 480, 1.5 pixels a bin
    // Enters minimum-amplitude mode on a dragged selection, past its first key.
    void minimumAmplitudeMode(int x0, int x1) {
        rig.drag(x0, x1);
        rig.command(ID_MINIMUM_AMPLITUDE);
        rig.key(kVkEscape);
    }
    std::vector<DrawCall> levelLines(const headless::RecordingCanvas& c) {
        std::vector<DrawCall> out;
        for (const DrawCall& d : c.calls)
            if (d.kind == DrawCall::Line && d.pen == kOrangePen && d.from.y == d.to.y)
                out.push_back(d);
        return out;
    }
    UiRig rig;
};

TEST_F(SelectionEdges, ShiftFromTheHiddenCursorUnderZoomHorizontalStartsAtBinZero) {
    // 400 pixels for 511 bins: column -1 is bin -1, which no operation may use.
    rig.send(kWmSize, kSizeRestored, sizeParam(400, 300));
    rig.command(ID_ZOOM_HORIZONTAL);
    const auto shiftSelect = [&] {
        rig.send(kWmKeyDown, kVkShift);
        rig.key(kVkPageUp);  // -1 + 20
        rig.send(kWmKeyUp, kVkShift);
        ASSERT_EQ(rig.s().nSelStart, -1);
        ASSERT_EQ(rig.s().nSelEnd, 19);
    };
    shiftSelect();
    rig.command(ID_STOP_BAND);  // bins 0 up to 19 * 511 / 400 = 24
    EXPECT_EQ(rig.engine->bandMask[0], 1u);
    EXPECT_EQ(rig.engine->bandMask[23], 1u);
    EXPECT_EQ(rig.engine->bandMask[24], 0u);

    const double lastFrequency = rig.engine->binFrequency[511];  // the table before
    shiftSelect();
    rig.command(ID_MINIMUM_AMPLITUDE);
    rig.key(kVkEscape);
    rig.key(kVkUp);  // from -1: 0, then 1
    rig.key(kVkUp);
    rig.key(kVkReturn);
    EXPECT_EQ(rig.engine->minimumAmplitude[0], 600.0);
    EXPECT_EQ(rig.engine->minimumAmplitude[23], 600.0);
    EXPECT_EQ(rig.engine->minimumAmplitude[24], 1200.0);
    EXPECT_EQ(rig.engine->binFrequency[511], lastFrequency);
}

TEST_F(SelectionEdges, ARangePastTheTableLeavesTheMemoryAfterItAlone) {
    const std::vector<double> gains(std::begin(rig.engine->equalizerGain),
                                    std::end(rig.engine->equalizerGain));
    minimumAmplitudeMode(700, 799);  // bins 466 to 532; the table has 512
    rig.key(kVkUp);
    rig.key(kVkUp);
    rig.key(kVkReturn);
    EXPECT_EQ(rig.engine->minimumAmplitude[511], 600.0);
    EXPECT_TRUE(std::equal(gains.begin(), gains.end(), rig.engine->equalizerGain));
}

TEST_F(SelectionEdges, TheLevelStaysWithinTheWindowAndIsDrawnFromOne) {
    minimumAmplitudeMode(150, 300);
    rig.key(kVkDown);  // -1 - 1, limited to 0: no line
    EXPECT_EQ(rig.s().nMinAmpLevel, 0);
    EXPECT_TRUE(levelLines(rig.paint()).empty());
    rig.key(kVkUp);
    auto lines = levelLines(rig.paint());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].from, (Point{150, 479}));
    EXPECT_EQ(lines[0].to, (Point{300, 479}));
    for (int i = 0; i < 30; ++i)
        rig.key(kVkPageUp);
    EXPECT_EQ(rig.s().nMinAmpLevel, 480);
    rig.key(kVkReturn);
    EXPECT_EQ(rig.engine->minimumAmplitude[100], 480 * 600.0);
}

TEST_F(SelectionEdges, ASelectionFromColumnZeroIsRememberedForReselect) {
    rig.command(ID_SELECT_ALL);
    rig.command(ID_PASS_BAND);
    EXPECT_TRUE(rig.enabled(ID_RESELECT));
    EXPECT_TRUE(rig.enabled(ID_RESELECT, Menu::Popup));
    rig.command(ID_RESELECT);
    EXPECT_EQ(rig.s().nSelStart, 0);
    EXPECT_EQ(rig.s().nSelEnd, 799);
    EXPECT_TRUE(rig.enabled(ID_PASS_BAND));
}

TEST_F(SelectionEdges, RowsAreTruncatedNotRounded) {
    rig.command(ID_SHOW_MIN_AMPLITUDE);
    std::fill(std::begin(rig.engine->minimumAmplitude), std::end(rig.engine->minimumAmplitude),
              1.5 * 600.0);
    const auto c = rig.paint();
    int white = 0;
    for (const DrawCall& d : c.calls) {
        if (d.kind != DrawCall::Line || d.pen != kWhitePen) continue;
        ++white;
        EXPECT_EQ(d.to.y, 479);
    }
    EXPECT_GT(white, 500);
}

TEST_F(SelectionEdges, TheCursorLabelTurnsLeftWhereItWouldReachTheRightEdge) {
    // " %5.0f Hz " is 10 characters of 8 pixels: 80 pixels.
    const auto labelColumn = [&](int x) {
        rig.mutableCursor(x);
        for (const DrawCall& d : rig.paint().calls)
            if (d.kind == DrawCall::Text && d.from.y == 150) return d.from.x;
        return -1000;
    };
    EXPECT_EQ(labelColumn(715), 720);           // ends at 800, inside: right of the line
    EXPECT_EQ(labelColumn(716), 716 - 5 - 80);  // would end past the edge: left of it
    EXPECT_EQ(labelColumn(40), 45);
    EXPECT_EQ(labelColumn(799), 799 - 5 - 80);
}

TEST_F(SelectionEdges, VoicePrefilterClearsMusic) {
    rig.command(ID_PREFILTER_MUSIC);
    rig.command(ID_PREFILTER_VOICE);
    EXPECT_EQ(rig.engine->voicePrefilterOn, 1u);
    EXPECT_EQ(rig.engine->musicPrefilterOn, 0u);
}

}  // namespace
