#include "app/file/signals.h"

#include <limits.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "app/file/system.h"

namespace file_tool::signals {
namespace {

// Only what a handler may touch: a fixed buffer and atomic flags.
char temporary[PATH_MAX + 1];
volatile sig_atomic_t temporarySet = 0;
volatile sig_atomic_t stopRequested = 0;
Mode currentMode = Mode::Die;

void onSignal(int signal) {
    if (currentMode == Mode::Stop && !stopRequested) {
        stopRequested = signal;
        return;
    }
    if (temporarySet) unlink(temporary);
    dieBy(signal);
}

}  // namespace

void install(Mode mode) {
    currentMode = mode;
    sys::onEndingSignals(onSignal);
}

void setTemporary(const std::string& path) {
    temporarySet = 0;
    if (path.empty() || path.size() > PATH_MAX) return;
    std::memcpy(temporary, path.c_str(), path.size() + 1);
    temporarySet = 1;
}

int received() {
    return stopRequested;
}

void dieBy(int signal) {
    sys::dieBy(signal);
}

}  // namespace file_tool::signals
