#include "app/cli/signals.h"

#include <limits.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "platform/system.h"

namespace cli::signals {

namespace sys = platform::sys;
namespace {

// Only what a handler may touch: a fixed buffer and atomic flags.
char temporary[2][PATH_MAX + 1];
volatile sig_atomic_t temporarySet[2] = {0, 0};
volatile sig_atomic_t stopRequested = 0;
Mode currentMode = Mode::Die;

void onSignal(int signal) {
    if (currentMode == Mode::Stop && !stopRequested) {
        stopRequested = signal;
        return;
    }
    for (int slot = 0; slot < 2; ++slot)
        if (temporarySet[slot]) unlink(temporary[slot]);
    dieBy(signal);
}

}  // namespace

void install(Mode mode) {
    currentMode = mode;
    sys::onEndingSignals(onSignal);
}

void setTemporary(const std::string& path, int slot) {
    temporarySet[slot] = 0;
    if (path.empty() || path.size() > PATH_MAX) return;
    std::memcpy(temporary[slot], path.c_str(), path.size() + 1);
    temporarySet[slot] = 1;
}

int received() {
    return stopRequested;
}

void dieBy(int signal) {
    sys::dieBy(signal);
}

}  // namespace cli::signals
