// The kilohertz labels never run into each other: where the grid lines stand
// closer than a label is wide, a label that would overlap the one before it
// is left out, and its line is still drawn. No grid line is drawn through a
// label, and every label ends inside the window, measured in the font's own
// widths.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/ui_rig.h"
#include "ui/dialog_templates.h"

using namespace ui;
using headless::DrawCall;

namespace {

// A narrow label font: digits 6 pixels, 'H' 8, 'z' 5, blank and comma 3; its
// widest character (11) is what the right-edge rule estimates with.
FontMetrics narrowFont() {
    FontMetrics m{11, 13};
    m.advance.fill(7);
    for (char ch = '0'; ch <= '9'; ++ch)
        m.advance[static_cast<size_t>(ch - ' ')] = 6;
    m.advance[0] = 3;
    m.advance[',' - ' '] = 3;
    m.advance['H' - ' '] = 8;
    m.advance['z' - ' '] = 5;
    return m;
}

int widthIn(const FontMetrics& m, const std::string& s) {
    int w = 0;
    for (char ch : s)
        w += m.advance[static_cast<size_t>(ch - ' ')];
    return w;
}

struct Grid {
    int lines = 0;
    std::vector<DrawCall> labels;  // in the order drawn, left to right
};

Grid gridOf(const headless::RecordingCanvas& c) {
    Grid g;
    for (const DrawCall& d : c.calls) {
        if (d.kind == DrawCall::Line && d.pen == kGreenPen && d.from.y == 0 && d.from.x == d.to.x)
            ++g.lines;
        if (d.kind == DrawCall::Text && d.from.y == 10) g.labels.push_back(d);
    }
    return g;
}

void expectApart(const Grid& g, const FontMetrics& m) {
    for (size_t i = 1; i < g.labels.size(); ++i)
        EXPECT_GE(g.labels[i].from.x, g.labels[i - 1].from.x + widthIn(m, g.labels[i - 1].text))
            << g.labels[i - 1].text << " runs into " << g.labels[i].text;
}

TEST(GridLabels, CloseLinesKeepTheirLinesButOnlyLabelsThatDoNotOverlap) {
    const FontMetrics font = narrowFont();
    UiRig rig;
    rig.view.metrics = font;
    rig.create(UiRig::choose(kIdRate44100, false), 960);

    // 44100 Hz, 3 pixels a bin: about 70 pixels a kilohertz, room for every label.
    Grid g = gridOf(rig.paint());
    EXPECT_EQ(g.lines, 14);
    EXPECT_EQ(g.labels.size(), 13u);  // the last one would reach the right edge
    expectApart(g, font);

    // Zoom Horizontal puts all 22 lines into 960 pixels, 44 apart: after the
    // short " 0 Hz ", every other label (46 to 52 pixels wide) is left out.
    rig.command(ID_ZOOM_HORIZONTAL);
    g = gridOf(rig.paint());
    EXPECT_EQ(g.lines, 22);
    EXPECT_EQ(g.labels.size(), 11u);
    expectApart(g, font);
    EXPECT_EQ(g.labels.front().text, " 0 Hz ");
    EXPECT_EQ(g.labels[1].text, " 1,000 Hz ");
    EXPECT_EQ(g.labels[2].text, " 3,000 Hz ");

    // Without the font's widths the widest character stands for each one.
    UiRig plain;
    plain.view.metrics = FontMetrics{11, 13};
    plain.create(UiRig::choose(kIdRate44100, false), 960);
    g = gridOf(plain.paint());
    EXPECT_EQ(g.lines, 14);
    for (size_t i = 1; i < g.labels.size(); ++i)
        EXPECT_GE(g.labels[i].from.x,
                  g.labels[i - 1].from.x + 11 * static_cast<int>(g.labels[i - 1].text.size()));
}

// Every label's extent in the font, and no grid line drawn after it within it.
void expectNoLineCrossesALabel(const headless::RecordingCanvas& c, const FontMetrics& m,
                               int width) {
    for (size_t i = 0; i < c.calls.size(); ++i) {
        const DrawCall& t = c.calls[i];
        if (t.kind != DrawCall::Text) continue;
        const int end = t.from.x + widthIn(m, t.text);
        EXPECT_GE(t.from.x, 0) << t.text;
        EXPECT_LE(end, width) << t.text << " runs out of the window";
        for (size_t j = i + 1; j < c.calls.size(); ++j) {
            const DrawCall& d = c.calls[j];
            const bool gridLine = d.kind == DrawCall::Line && d.pen == kGreenPen && d.from.y == 0 &&
                                  d.from.x == d.to.x;
            EXPECT_FALSE(gridLine && d.from.x >= t.from.x && d.from.x < end)
                << "the line at " << d.from.x << " crosses " << t.text;
        }
    }
}

const DrawCall* labelOf(const headless::RecordingCanvas& c, const std::string& text) {
    for (const DrawCall& d : c.calls)
        if (d.kind == DrawCall::Text && d.text == text) return &d;
    return nullptr;
}

TEST(GridLabels, NoLineCrossesALabelAndEveryLabelEndsInsideTheWindow) {
    const FontMetrics font = narrowFont();
    for (const int rate : {kIdRate11025, kIdRate44100}) {
        SCOPED_TRACE(rate);
        UiRig rig;
        rig.view.metrics = font;
        rig.create(UiRig::choose(rate, false), 800);
        rig.command(ID_SELECT_ALL);
        for (int zoom = 0; zoom < 2; ++zoom) {
            rig.mutableCursor(790);
            const auto c = rig.paint();
            expectNoLineCrossesALabel(c, font, 800);
            expectApart(gridOf(c), font);
            rig.command(ID_ZOOM_HORIZONTAL);
        }
    }

    // 11025 Hz under Zoom Horizontal: the 5 kHz line stands at column 727,
    // and its label (49 pixels) ends at 781, inside the window.
    UiRig rig;
    rig.view.metrics = font;
    rig.create({}, 800);
    rig.command(ID_ZOOM_HORIZONTAL);
    auto c = rig.paint();
    ASSERT_NE(labelOf(c, " 5,000 Hz "), nullptr);
    EXPECT_EQ(labelOf(c, " 5,000 Hz ")->from.x, 732);

    // Select All without the zoom: the end's label, past the last bin, ends
    // 5 pixels left of the last column.
    rig.command(ID_ZOOM_HORIZONTAL);
    rig.command(ID_SELECT_ALL);
    c = rig.paint();
    const DrawCall* end = labelOf(c, " >5502 Hz ");
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(end->from.x + widthIn(font, end->text), 799 - 5);
}

}  // namespace
