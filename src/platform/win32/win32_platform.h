// The Windows backend's factories, and the windows that stand for message
// targets: a target the program binds to its own window (the main window)
// receives its posted messages there; any other target (the audio window)
// gets a hidden window of class "Hidden Window" the first time a device or
// the host needs one, whose procedure hands the posted messages on.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/host.h"
#include "platform/mixer_device.h"
#include "platform/wave.h"

namespace platform::win32 {

// Call once on the loop's thread before anything else of this backend.
void initialize(HINSTANCE instance);

std::unique_ptr<Host> makeHost();
std::unique_ptr<WaveIn> makeWaveIn();
std::unique_ptr<WaveOut> makeWaveOut();
std::unique_ptr<MixerDevice> makeMixerDevice();

// The window that receives the messages for target. Called off the loop's
// thread, it only finds one (null when there is none).
HWND windowFor(MessageTarget* target);
void bindWindow(MessageTarget* target, HWND window);
void unbindWindow(MessageTarget* target);
// While a modal dialog of the target's window runs, the dialog owns the
// boxes shown for the target, so that they come up over it and give the
// input back to it; null when none runs.
void setBoxOwner(MessageTarget* target, HWND dialog);
// Destroys the hidden windows made for targets (at the end of the run).
void destroyHiddenWindows();

}  // namespace platform::win32
