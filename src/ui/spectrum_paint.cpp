// The spectrum display: stopped bands, the selection, the kilohertz grid and
// the labels, the minimum amplitudes, the average spectrum since the last
// paint (and the output's, when shown), the peaks, the keyboard cursor and the
// minimum-amplitude level, in that order. The paint consumes the engine's
// display sums (and the drawn peaks).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "ui/main_window.h"

namespace ui {

namespace {

// The row offset of an amplitude: truncated toward zero and taken as a signed
// 16-bit value. Values beyond 32 bits (and NaN) come out as 0, as the
// conversion the display was built on gives.
int32_t heightOf(double amplitude, double perPixel) {
    const double t = std::trunc(amplitude / perPixel);
    if (!(std::fabs(t) < 2147483648.0)) return 0;
    return static_cast<int16_t>(static_cast<int32_t>(t));
}

// The grid has a line for each kilohertz up to half the highest rate.
constexpr uint32_t kMaxGridLines = 64;

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

}  // namespace

int32_t MainWindow::textWidth(std::string_view text) const {
    int32_t w = 0;
    for (const char ch : text) {
        const auto i = static_cast<unsigned char>(ch) - 32u;
        const int advance = i < charAdvance_.size() ? charAdvance_[i] : 0;
        w += advance > 0 ? advance : s_.nCharWidth;
    }
    return w;
}

// The window's scale for one paint: bin k's column, and an amplitude's row.
struct MainWindow::PaintScale {
    int32_t height, width;
    uint32_t num, den;
    double perPixel;
    int32_t column(uint32_t k) const { return den == 0 ? 0 : static_cast<int32_t>(k * num / den); }
    bool inside(int32_t x) const { return static_cast<int64_t>(x) < width; }
    int32_t row(double a) const { return height - heightOf(a, perPixel); }
};

void MainWindow::paint(Canvas& c) {
    if (!created_ || destroyed_) return;
    const PaintScale g{s_.nClientHeight, s_.nClientWidth, static_cast<uint32_t>(s_.nScaleNum),
                       static_cast<uint32_t>(s_.nScaleDen), s_.dAmplitudePerPixel};
    paintStoppedBands(c, g);
    if (s_.nSelStart >= 0 && s_.nSelEnd >= 0)
        c.rectangle(kInitialPen, kLightGrayBrush, {s_.nSelStart, 0, s_.nSelEnd, g.height - 1});
    paintGrid(c, g);
    // The selection's labels, over the grid.
    if (s_.nSelStart >= 0 && s_.nSelEnd >= 0) {
        paintLabel(c, g, s_.nSelStart, 90, frequencyText(s_.nSelStart));
        paintLabel(c, g, s_.nSelEnd, 120, frequencyText(s_.nSelEnd));
    }
    paintTraces(c, g);
    if (s_.nCursorX > -1) {
        c.line(kOrangePen, {s_.nCursorX, 0}, {s_.nCursorX, g.height});
        paintLabel(c, g, s_.nCursorX, 150, frequencyText(s_.nCursorX));
    }
    if (s_.nMinAmpLevel >= 1) {
        const int32_t y = g.height - s_.nMinAmpLevel;
        c.line(kOrangePen, {s_.nSelStart, y}, {s_.nSelEnd, y});
    }
}

// A label for column x stands 5 pixels right of it when it ends inside the
// window there, else it ends 5 pixels left of it (never left of the window),
// measured in the window's font.
void MainWindow::paintLabel(Canvas& c, const PaintScale& g, int32_t x, int32_t y,
                            const std::string& text) const {
    const int64_t w = textWidth(text);
    const int64_t right = static_cast<int64_t>(x) + 5;
    const int64_t at = right + w <= g.width ? right : std::max<int64_t>(right - 10 - w, 0);
    c.text({static_cast<int32_t>(at), y}, text, kLabelColour, kLabelBackground);
}

// A column right of the spectrum has no bin in the table: its label says it
// lies beyond the last bin's frequency.
std::string MainWindow::frequencyText(int32_t x) const {
    const CAudioEngine& e = engine_;
    const int32_t b = binOfColumn(x);
    if (b >= 0 && static_cast<uint32_t>(b) < e.binCount)
        return format(" %5.0f Hz ", e.binFrequency[b]);
    if (e.binCount == 0) return std::string(" ----- Hz ");
    return format(" >%.0f Hz ", e.binFrequency[e.binCount - 1]);
}

// Stopped bands (by the user or by heterodyne reduction).
void MainWindow::paintStoppedBands(Canvas& c, const PaintScale& g) const {
    const CAudioEngine& e = engine_;
    bool open = false;
    int32_t start = 0;
    int32_t x = 0;
    for (uint32_t k = 0; k < e.binHigh; ++k) {
        x = g.column(k);
        if (!g.inside(x)) break;
        if (e.bandMask[k] != 0) {
            if (!open) {
                open = true;
                start = x;
            }
        } else if (open) {
            c.rectangle(kInitialPen, kStopBrush, {start, 0, x, g.height - 1});
            open = false;
        }
    }
    if (open) c.rectangle(kInitialPen, kStopBrush, {start, 0, x, g.height - 1});
}

// Kilohertz grid: line n at the first bin of n kHz or more. The labels are
// drawn after every line, so that no line runs through one (a line passes
// behind a label that reaches over it); where the lines stand closer than a
// label is wide (a high rate, Zoom Horizontal), a label that would run into
// the one before it is left out, as is one that would not end inside the
// window. Their lines are drawn all the same.
void MainWindow::paintGrid(Canvas& c, const PaintScale& g) const {
    const CAudioEngine& e = engine_;
    struct GridLine {
        int32_t x;
        int32_t n;
    };
    GridLine lines[kMaxGridLines];
    uint32_t count = 0;
    int32_t last = 1000;
    int32_t next = 0;
    for (uint32_t k = 0; k < e.binHigh && count < kMaxGridLines; ++k) {
        const int32_t x = g.column(k);
        if (!g.inside(x)) break;
        const int32_t m = static_cast<int32_t>(e.binFrequency[k]) / 1000;
        if (m == last) continue;
        c.line(kGreenPen, {x, 0}, {x, g.height});
        lines[count++] = {x, next};
        last = next;
        ++next;
    }
    int64_t labelEnd = INT64_MIN;
    for (uint32_t i = 0; i < count; ++i) {
        const int64_t at = static_cast<int64_t>(lines[i].x) + 5;
        const std::string text =
            lines[i].n == 0 ? std::string(" 0 Hz ") : format(" %.0f,000 Hz ", lines[i].n);
        const int64_t end = at + textWidth(text);
        if (end > g.width || at < labelEnd) continue;
        c.text({static_cast<int32_t>(at), 10}, text, kLabelColour, kLabelBackground);
        labelEnd = end;
    }
}

// The minimum amplitudes, the average spectrum since the last paint (and the
// output's, when shown) and the peaks. The paint consumes the display sums
// and the drawn peaks.
void MainWindow::paintTraces(Canvas& c, const PaintScale& g) {
    CAudioEngine& e = engine_;
    // A trace from the baseline's left end through bins 1 to 510 while they are visible.
    auto trace = [&](const Pen& pen, auto amplitudeOf) {
        Point from{0, g.height};
        for (uint32_t k = 1; k < e.binHigh; ++k) {
            const int32_t x = g.column(k);
            if (!g.inside(x)) break;
            const Point to{x, g.row(amplitudeOf(k))};
            c.line(pen, from, to);
            from = to;
        }
    };

    if (s_.bShowMinAmplitude == 1)
        trace(kWhitePen, [&](uint32_t k) { return e.minimumAmplitude[k]; });

    if (e.frameCount > 30) e.updateEqualizer();

    // With no frame since the last paint the average is drawn on the baseline.
    const uint32_t frames = e.frameCount;
    trace(kGreenPen, [&](uint32_t k) {
        return frames == 0 ? 0.0 : e.displaySum[k] / static_cast<double>(frames);
    });
    for (uint32_t k = 1; k < e.binHigh; ++k)
        e.displaySum[k] = 0.0;
    e.frameCount = 0;

    // The output's spectrum over it, in the same scale.
    if (e.showOutput == 1) {
        const uint32_t outputFrames = e.outputFrameCount;
        trace(kOutputPen, [&](uint32_t k) {
            return outputFrames == 0 ? 0.0 : e.outputSum[k] / static_cast<double>(outputFrames);
        });
        for (uint32_t k = 1; k < e.binHigh; ++k)
            e.outputSum[k] = 0.0;
        e.outputFrameCount = 0;
    }

    // Peaks are cleared only where they were drawn.
    if (e.showPeaks == 1) {
        trace(kOrangePen, [&](uint32_t k) {
            const double p = e.peakSpectrum[k];
            e.peakSpectrum[k] = 0.0;
            return p;
        });
    }
}

}  // namespace ui
