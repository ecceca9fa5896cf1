// The host seam: posting messages to targets, the quit message, message boxes
// and yielding the time slice.
//
// Contract for every backend:
// - The core runs on one thread, the loop's thread. postMessage may be called
//   from any thread (a device thread posting a completion); every other call
//   comes from the loop's thread.
// - Messages posted to a target are delivered in the order they were posted,
//   one at a time, on the loop's thread, by calling the target's handleMessage.
// - postQuitMessage ends the loop once the messages already queued before it
//   have been delivered; the loop returns the exit code.
// - messageBox blocks until the user answers and returns the button pressed
//   (kIdOk for a box with only OK). A backend without a display reports the box
//   in its own way (standard error, a record for tests) and returns kIdOk.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The platform's published message numbers, message-box styles and answers,
// kept with their values so behaviour reads the same on every platform. The
// dialogs' own messages are in dialogs/dialog_model.h, the main window's in
// ui/window_messages.h.
inline constexpr uint32_t kMmWomDone = 0x3BD;
inline constexpr uint32_t kMmWimData = 0x3C0;
inline constexpr uint32_t kMmMixmLineChange = 0x3D0;
inline constexpr uint32_t kMmMixmControlChange = 0x3D1;
inline constexpr uint32_t kWmCreate = 0x0001;
inline constexpr uint32_t kWmDestroy = 0x0002;

inline constexpr uint32_t kMbOk = 0x00000000;
inline constexpr uint32_t kMbIconExclamation = 0x00000030;
inline constexpr uint32_t kMbIconInformation = 0x00000040;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// A window handle: a receiver of posted messages and
// the owner of dialogs and message boxes.
class MessageTarget {
  public:
    virtual ~MessageTarget() = default;
    virtual intptr_t handleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};

class Host {
  public:
    virtual ~Host() = default;
    virtual void postMessage(MessageTarget* target, uint32_t message, uintptr_t wParam,
                             intptr_t lParam) = 0;
    virtual void postQuitMessage(int exitCode) = 0;
    // owner may be null (a box with no owner window).
    virtual int messageBox(MessageTarget* owner, const std::string& text,
                           const std::string& caption, uint32_t style) = 0;
    virtual void yieldTimeSlice() = 0;
};

// The process's host. Every program installs one before the core runs; until
// then a host that writes boxes to standard error and drops messages stands in.
Host& host();
void setHost(Host* h);

}  // namespace platform
