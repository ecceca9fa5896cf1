#include "app/file/signals.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

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
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking read returns early so a stop request is seen.
    action.sa_flags = 0;
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaction(s, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
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
    ::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal);
}

}  // namespace file_tool::signals
