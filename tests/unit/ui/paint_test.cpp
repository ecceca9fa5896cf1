// The spectrum paint, recorded on a canvas.
#include <gtest/gtest.h>

#include "support/ui_rig.h"
#include "ui/dialog_templates.h"

using namespace ui;
using headless::DrawCall;
using headless::RecordingCanvas;

namespace {

std::vector<DrawCall> only(const RecordingCanvas& c, DrawCall::Kind kind, const Pen* pen = nullptr,
                           const Brush* brush = nullptr) {
    std::vector<DrawCall> out;
    for (const DrawCall& d : c.calls)
        if (d.kind == kind && (!pen || d.pen == *pen) && (!brush || d.brush == *brush))
            out.push_back(d);
    return out;
}

const DrawCall* textAt(const RecordingCanvas& c, const std::string& text) {
    for (const DrawCall& d : c.calls)
        if (d.kind == DrawCall::Text && d.text == text) return &d;
    return nullptr;
}

// The vertical grid lines (green, from row 0) and their columns.
std::vector<int> gridColumns(const RecordingCanvas& c) {
    std::vector<int> xs;
    for (const DrawCall& d : only(c, DrawCall::Line, &kGreenPen))
        if (d.from.y == 0 && d.from.x == d.to.x) xs.push_back(d.from.x);
    return xs;
}

TEST(Paint, GridStandsAtTheFirstBinOfEachKilohertz) {
    UiRig rig8k;
    rig8k.create(UiRig::choose(kIdRate8000, false));
    // 7.8125 Hz a bin, 1.5 pixels: line n at bin 128 n.
    auto c = rig8k.paint();
    EXPECT_EQ(gridColumns(c), (std::vector<int>{0, 192, 384, 576}));
    ASSERT_NE(textAt(c, " 0 Hz "), nullptr);
    EXPECT_EQ(textAt(c, " 0 Hz ")->from, (Point{5, 10}));
    ASSERT_NE(textAt(c, " 3,000 Hz "), nullptr);
    EXPECT_EQ(textAt(c, " 3,000 Hz ")->from, (Point{581, 10}));
    EXPECT_EQ(textAt(c, " 3,000 Hz ")->colour, kLabelColour);
    EXPECT_EQ(textAt(c, " 3,000 Hz ")->background, kLabelBackground);

    // 11025 Hz: 1 kHz at bin 93, 5 kHz at bin 465 (column 697); a label that
    // would reach the right edge is left out, its line is not.
    UiRig rig;
    rig.create({}, 770);
    c = rig.paint();
    const auto xs = gridColumns(c);
    ASSERT_EQ(xs.size(), 6u);
    EXPECT_EQ(xs[1], 139);
    EXPECT_EQ(xs[5], 697);
    EXPECT_NE(textAt(c, " 4,000 Hz "), nullptr);
    EXPECT_EQ(textAt(c, " 5,000 Hz "), nullptr);
}

TEST(Paint, StoppedRunsIncludingHeterodyneAndOneOpenAtTheRightEdge) {
    UiRig rig;
    rig.create();
    CAudioEngine& e = *rig.engine;
    for (int k = 10; k < 20; ++k)
        e.bandMask[k] = 1;
    for (int k = 20; k < 25; ++k)
        e.bandMask[k] = 2;  // suppressed by heterodyne reduction: one run with the above
    for (int k = 500; k < 511; ++k)
        e.bandMask[k] = 1;
    auto runs = only(rig.paint(), DrawCall::Rectangle, &kInitialPen, &kStopBrush);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].rect, (Rect{15, 0, 37, 479}));
    EXPECT_EQ(runs[1].rect, (Rect{750, 0, 765, 479}));  // closed at the last bin's column

    // A narrower window: the walk stops at the first bin right of it (bin 200)
    // and closes the open run there.
    for (int k = 150; k < 300; ++k)
        e.bandMask[k] = 1;
    rig.send(kWmSize, kSizeRestored, sizeParam(300, 480));
    runs = only(rig.paint(), DrawCall::Rectangle, &kInitialPen, &kStopBrush);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].rect, (Rect{225, 0, 300, 479}));
}

TEST(Paint, SelectionCursorAndTheLabelRule) {
    UiRig rig;
    rig.create();
    rig.drag(200, 100);
    auto c = rig.paint();
    const auto sel = only(c, DrawCall::Rectangle, &kInitialPen, &kLightGrayBrush);
    ASSERT_EQ(sel.size(), 1u);
    EXPECT_EQ(sel[0].rect, (Rect{100, 0, 200, 479}));
    // Bin 66 (710.6 Hz) at row 90, bin 133 (1432.0 Hz) at row 120.
    ASSERT_NE(textAt(c, "   711 Hz "), nullptr);
    EXPECT_EQ(textAt(c, "   711 Hz ")->from, (Point{105, 90}));
    ASSERT_NE(textAt(c, "  1432 Hz "), nullptr);
    EXPECT_EQ(textAt(c, "  1432 Hz ")->from, (Point{205, 120}));

    // The cursor near the right edge: the label ends 5 pixels left of it; its
    // column lies right of the spectrum (bin 526).
    rig.command(ID_PASS_BAND);  // clears the selection
    rig.mutableCursor(790);
    c = rig.paint();
    const DrawCall* label = textAt(c, " >5502 Hz ");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->from, (Point{790 - 5 - 80, 150}));
    const auto orange = only(c, DrawCall::Line, &kOrangePen);
    ASSERT_EQ(orange.size(), 1u);
    EXPECT_EQ(orange[0].from, (Point{790, 0}));
    EXPECT_EQ(orange[0].to, (Point{790, 480}));
}

TEST(Paint, AverageTraceConsumesTheSumsAndPeaksAreClearedWhereDrawn) {
    UiRig rig;
    rig.create({}, 300);
    CAudioEngine& e = *rig.engine;
    // No frame since the last paint: the trace lies on the baseline.
    auto c = rig.paint();
    auto trace = only(c, DrawCall::Line, &kGreenPen);
    std::erase_if(trace, [](const DrawCall& d) { return d.from.y == 0; });  // grid
    ASSERT_EQ(trace.size(), 199u);  // bins 1 to 199 lie left of column 300
    EXPECT_EQ(trace[0].from, (Point{0, 480}));
    for (const DrawCall& d : trace)
        EXPECT_EQ(d.to.y, 480);

    // Two frames summed: bin k at k pixels; every sum is then cleared, visible or not.
    for (uint32_t k = 0; k < 512; ++k)
        e.displaySum[k] = 2.0 * 600.0 * k;
    e.frameCount = 2;
    e.showPeaks = 1;
    for (double& p : e.peakSpectrum)
        p = 6000.0;
    c = rig.paint();
    trace = only(c, DrawCall::Line, &kGreenPen);
    std::erase_if(trace, [](const DrawCall& d) { return d.from.y == 0; });
    EXPECT_EQ(trace[9].to, (Point{15, 470}));  // bin 10
    EXPECT_EQ(e.frameCount, 0u);
    EXPECT_EQ(e.displaySum[10], 0.0);
    EXPECT_EQ(e.displaySum[400], 0.0);
    const auto peaks = only(c, DrawCall::Line, &kOrangePen);
    ASSERT_EQ(peaks.size(), 199u);
    EXPECT_EQ(peaks[0].to, (Point{1, 470}));
    EXPECT_EQ(e.peakSpectrum[199], 0.0);
    EXPECT_EQ(e.peakSpectrum[200], 6000.0);  // right of the window: kept

    // The equalizer is updated only after more than 30 frames.
    e.equalizerSum[5] = 7.0;
    e.frameCount = 30;
    rig.paint();
    EXPECT_EQ(e.equalizerSum[5], 7.0);
    e.frameCount = 31;
    rig.paint();
    EXPECT_EQ(e.equalizerSum[5], 0.0);
}

TEST(Paint, OutputSpectrumOverTheInputOnlyWhileShown) {
    UiRig rig;
    rig.create({}, 300);
    CAudioEngine& e = *rig.engine;
    EXPECT_TRUE(only(rig.paint(), DrawCall::Line, &kOutputPen).empty());  // off by default

    rig.command(ID_SHOW_OUTPUT);
    for (uint32_t k = 0; k < 512; ++k)
        e.outputSum[k] = 2.0 * 600.0 * k;
    e.outputFrameCount = 2;
    const auto c = rig.paint();
    const auto output = only(c, DrawCall::Line, &kOutputPen);
    ASSERT_EQ(output.size(), 199u);
    EXPECT_EQ(output[0].from, (Point{0, 480}));
    EXPECT_EQ(output[9].to, (Point{15, 470}));  // bin 10
    // Drawn after the input's trace, and its sums consumed.
    size_t lastGreen = 0, firstOutput = c.calls.size();
    for (size_t i = 0; i < c.calls.size(); ++i) {
        if (c.calls[i].pen == kGreenPen && c.calls[i].kind == DrawCall::Line) lastGreen = i;
        if (c.calls[i].pen == kOutputPen && firstOutput == c.calls.size()) firstOutput = i;
    }
    EXPECT_LT(lastGreen, firstOutput);
    EXPECT_EQ(e.outputFrameCount, 0u);
    EXPECT_EQ(e.outputSum[10], 0.0);
    EXPECT_EQ(e.outputSum[400], 0.0);

    rig.command(ID_SHOW_OUTPUT);
    EXPECT_EQ(e.showOutput, 0u);
    EXPECT_TRUE(only(rig.paint(), DrawCall::Line, &kOutputPen).empty());
}

TEST(Paint, MinimumAmplitudesAndTheLevelLine) {
    UiRig rig;
    rig.create();
    rig.command(ID_SHOW_MIN_AMPLITUDE);
    auto c = rig.paint();
    const auto white = only(c, DrawCall::Line, &kWhitePen);
    ASSERT_EQ(white.size(), 510u);
    EXPECT_EQ(white[0].to, (Point{1, 478}));  // 1200 at 600 per pixel
    rig.drag(100, 200);
    rig.command(ID_MINIMUM_AMPLITUDE);
    rig.key(kVkReturn);  // the first key: ignored
    rig.key(kVkUp);
    c = rig.paint();
    const auto level = only(c, DrawCall::Line, &kOrangePen);
    ASSERT_EQ(level.size(), 1u);
    EXPECT_EQ(level[0].from, (Point{100, 479}));
    EXPECT_EQ(level[0].to, (Point{200, 479}));
}

}  // namespace
