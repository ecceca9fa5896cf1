// The messages a front end sends to the main window controller, with the
// platform's published values (so a Win32 front end passes its own messages
// through unchanged and the others translate theirs into these), the virtual
// key codes the controller handles, and the packing of their parameters.
//
// The names are spelled so that none is a macro of <windows.h>.
#pragma once

#include <cstdint>

#include "dialogs/dialog_model.h"
#include "platform/host.h"

namespace ui {

// Window messages.
using dialogs::kWmCommand;
using platform::kWmCreate;
using platform::kWmDestroy;
inline constexpr uint32_t kWmSize = 0x0005;
inline constexpr uint32_t kWmPaint = 0x000F;
inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmKeyDown = 0x0100;
inline constexpr uint32_t kWmKeyUp = 0x0101;
inline constexpr uint32_t kWmTimer = 0x0113;
inline constexpr uint32_t kWmMouseMove = 0x0200;
inline constexpr uint32_t kWmLButtonDown = 0x0201;
inline constexpr uint32_t kWmLButtonUp = 0x0202;
inline constexpr uint32_t kWmRButtonDown = 0x0204;
// The mixer's notifications are platform::kMmMixmLineChange (0x3D0) and
// platform::kMmMixmControlChange (0x3D1), lParam the line or control.

// wParam of kWmSize.
inline constexpr uintptr_t kSizeRestored = 0;
inline constexpr uintptr_t kSizeMinimized = 1;
inline constexpr uintptr_t kSizeMaximized = 2;

// Virtual keys (wParam of kWmKeyDown and kWmKeyUp).
inline constexpr uintptr_t kVkReturn = 0x0D;
inline constexpr uintptr_t kVkShift = 0x10;
inline constexpr uintptr_t kVkEscape = 0x1B;
inline constexpr uintptr_t kVkPageUp = 0x21;    // VK_PRIOR
inline constexpr uintptr_t kVkPageDown = 0x22;  // VK_NEXT
inline constexpr uintptr_t kVkEnd = 0x23;
inline constexpr uintptr_t kVkHome = 0x24;
inline constexpr uintptr_t kVkLeft = 0x25;
inline constexpr uintptr_t kVkUp = 0x26;
inline constexpr uintptr_t kVkRight = 0x27;
inline constexpr uintptr_t kVkDown = 0x28;

// The main window's timer: one tick a second.
inline constexpr uint32_t kTimerId = 275;
inline constexpr uint32_t kTimerPeriodMs = 1000;

// lParam of the size and mouse messages: low word and high word.
constexpr intptr_t packWords(uint16_t low, uint16_t high) {
    return static_cast<intptr_t>(static_cast<uint32_t>(low) | (static_cast<uint32_t>(high) << 16));
}
constexpr uint16_t lowWord(intptr_t lParam) {
    return static_cast<uint16_t>(static_cast<uintptr_t>(lParam) & 0xFFFF);
}
constexpr uint16_t highWord(intptr_t lParam) {
    return static_cast<uint16_t>((static_cast<uintptr_t>(lParam) >> 16) & 0xFFFF);
}
// The client size for kWmSize (the height may be given as a negative 16-bit value).
constexpr intptr_t sizeParam(int width, int height) {
    return packWords(static_cast<uint16_t>(width), static_cast<uint16_t>(height));
}
// The pointer position for the mouse messages, in client pixels.
constexpr intptr_t pointParam(int x, int y) {
    return packWords(static_cast<uint16_t>(x), static_cast<uint16_t>(y));
}

}  // namespace ui
