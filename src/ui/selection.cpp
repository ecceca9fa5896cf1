// Band selection with the mouse and the keys, the minimum-amplitude mode, and
// the operations that use a selection.
#include <algorithm>
#include <limits>

#include "ui/main_window.h"
#include "ui/window_messages.h"

namespace ui {

int32_t MainWindow::binOfColumn(int32_t x) const {
    // A zero width under Zoom Horizontal (minimised) leaves no bin under any column.
    if (s_.nScaleNum <= 0) return std::numeric_limits<int32_t>::max();
    const int64_t b = static_cast<int64_t>(x) * s_.nScaleDen / s_.nScaleNum;
    return static_cast<int32_t>(std::clamp<int64_t>(b, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

void MainWindow::orderSelection() {
    if (s_.nSelStart > s_.nSelEnd) std::swap(s_.nSelStart, s_.nSelEnd);
}

void MainWindow::selectionMade() {
    menus_.selectionMade();
}

void MainWindow::clearSelection() {
    menus_.selectionCleared(s_.nSelStart);
    s_.nMinAmpLevel = -1;
    s_.nCursorX = -1;
    if (s_.nSelStart > -1) {
        s_.nLastSelStart = s_.nSelStart;
        s_.nLastSelEnd = s_.nSelEnd;
    }
    s_.nSelStart = -1;
    s_.nSelEnd = -1;
    s_.bMinAmpMode = 0;
}

void MainWindow::passOrStop(uint32_t code) {
    // A selection can start at column -1 (Shift with the cursor hidden), which
    // is bin -1 at some scales: the operations start at bin 0.
    const int32_t b0 = std::max(binOfColumn(s_.nSelStart), 0);
    const int32_t b1 = std::max(binOfColumn(s_.nSelEnd), 0);
    engine_.applyBandOperation(code, static_cast<uint32_t>(b0), static_cast<uint32_t>(b1));
    clearSelection();
}

void MainWindow::setMinimumAmplitudes(double value) {
    const int32_t b0 = std::max(binOfColumn(s_.nSelStart), 0);
    const int32_t b1 = binOfColumn(s_.nSelEnd);
    // Bins past the table (a selection right of the spectrum) are not written.
    const int64_t end = std::min<int64_t>(b1, engine_.binCount);
    for (int64_t k = b0; k < end; ++k)
        engine_.minimumAmplitude[k] = value;
}

void MainWindow::mouseDown(intptr_t lParam) {
    s_.bButtonDown = 1;
    if (s_.bMinAmpMode) return;
    s_.nSelStart = lowWord(lParam);
    // The mouse takes the selection over: a Shift held meanwhile (a Shift-drag)
    // no longer selects with the keys, so its release leaves this selection
    // as dragged instead of ending it at the hidden cursor's column.
    s_.bShiftSelect = 0;
}

void MainWindow::mouseMove(intptr_t lParam) {
    if (s_.bMinAmpMode || !s_.bButtonDown) return;
    s_.nSelEnd = lowWord(lParam);
    view_.invalidate(true);
}

void MainWindow::mouseUp(intptr_t lParam) {
    s_.bButtonDown = 0;
    if (s_.bMinAmpMode) {
        if (binOfColumn(s_.nSelStart) < binOfColumn(s_.nSelEnd))
            setMinimumAmplitudes((s_.nClientHeight - highWord(lParam)) * s_.dAmplitudePerPixel);
        clearSelection();
        return;
    }
    const int32_t x = lowWord(lParam);
    if (x != s_.nSelStart) {
        s_.nSelEnd = x;
        orderSelection();
        selectionMade();
    } else {
        s_.nSelStart = -1;
        clearSelection();
    }
}

void MainWindow::keyDown(uintptr_t key) {
    if (key != kVkShift) return;
    // The repeats of a Shift held through a mouse selection would restart a
    // keyboard selection at the cursor and lose the dragged one.
    const bool repeat = shiftDown_;
    shiftDown_ = true;
    if (repeat && s_.bShiftSelect == 0) return;
    s_.bShiftSelect = 1;
    s_.nSelStart = s_.nCursorX;
    s_.nSelEnd = s_.nCursorX;
}

void MainWindow::keyUp(uintptr_t key) {
    if (key == kVkShift) shiftDown_ = false;
    if (s_.bMinAmpMode) {
        minAmpKeyUp(key);
        return;
    }
    const int32_t step = s_.nScaleDen != 0 ? s_.nScaleNum / s_.nScaleDen : 0;
    switch (key) {
        case kVkShift:
            // Only a keyboard selection ends here; a mouse selection stays.
            if (s_.bShiftSelect == 0) return;
            s_.bShiftSelect = 0;
            if (s_.nSelStart != s_.nCursorX) {
                s_.nSelEnd = s_.nCursorX;
                orderSelection();
                selectionMade();
            } else {
                s_.nSelStart = -1;
                clearSelection();
            }
            break;
        case kVkPageUp:
            s_.nCursorX += 20;
            break;
        case kVkPageDown:
            s_.nCursorX -= 20;
            break;
        case kVkHome:
            s_.nCursorX = 0;
            break;
        case kVkEnd:
            s_.nCursorX = s_.nClientWidth - step;
            break;
        case kVkLeft:
            s_.nCursorX -= step;
            break;
        case kVkRight:
            s_.nCursorX += step;
            break;
        case kVkUp:
        case kVkDown:
            s_.bShowMinAmplitude = 1;
            menus_.setChecked(ID_SHOW_MIN_AMPLITUDE, true);
            engine_.shiftAllMinimumAmplitudes(key == kVkUp ? 1000.0 : -1000.0);
            break;
        default:
            return;
    }
    if (s_.nCursorX > s_.nClientWidth - 1) s_.nCursorX = s_.nClientWidth - 1;
    if (s_.nCursorX < -1) s_.nCursorX = -1;
    if (s_.bShiftSelect) s_.nSelEnd = s_.nCursorX;
    view_.invalidate(true);
}

void MainWindow::minAmpKeyUp(uintptr_t key) {
    switch (key) {
        case kVkPageUp:
            s_.nMinAmpLevel += 20;
            break;
        case kVkPageDown:
            s_.nMinAmpLevel -= 20;
            break;
        case kVkUp:
            s_.nMinAmpLevel += 1;
            break;
        case kVkDown:
            s_.nMinAmpLevel -= 1;
            break;
        case kVkReturn:
            // The key that chose the command (often this Enter) is not a choice of level.
            if (!s_.bMinAmpFirstKey) {
                if (binOfColumn(s_.nSelStart) < binOfColumn(s_.nSelEnd))
                    setMinimumAmplitudes(s_.nMinAmpLevel * s_.dAmplitudePerPixel);
                clearSelection();
            }
            break;
        default:
            s_.bMinAmpFirstKey = 0;
            return;
    }
    s_.bMinAmpFirstKey = 0;
    s_.nMinAmpLevel = std::clamp(s_.nMinAmpLevel, 0, std::max(s_.nClientHeight, 0));
    view_.invalidate(true);
}

}  // namespace ui
