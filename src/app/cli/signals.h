// SIGINT, SIGTERM, SIGHUP, SIGQUIT and every other signal that ends a
// program (SIGBREAK on Windows): never leave a temporary file behind, and end
// with the status that says which signal it was.
#pragma once

#include <string>

namespace cli::signals {

enum class Mode {
    Die,   // remove the temporary file and end at once
    Stop,  // the first signal only asks to stop (see received()); a second one dies
};

// Installs the handlers and ignores SIGPIPE and SIGXFSZ, so that a closed
// pipe or the file-size limit shows up as a write error instead.
void install(Mode mode);
// The file to remove when a signal ends the program; empty for none. A
// second slot holds another for the while that two exist.
void setTemporary(const std::string& path, int slot = 0);
// The signal that asked to stop, or 0.
int received();
// Ends the program the way the signal's default action would.
[[noreturn]] void dieBy(int signal);

}  // namespace cli::signals
