// The desktop program's command line, the same on every platform: the
// timing of the output and the usual --help and --version. Everything else
// is chosen in the window.
#pragma once

#include <string>

#include "engine/constants.h"

namespace ui {

struct DesktopCommandLine {
    engine::LatencyMode latency = engine::LatencyMode::Design;
    bool help = false;
    bool version = false;
    std::string error;  // what is wrong, for a message; empty when all is well
    // The mistake is an argument this parser does not know, which a toolkit
    // may still take as its own.
    bool unknownArgument = false;
};

// The arguments after the program's name (a toolkit has taken its own).
DesktopCommandLine parseDesktopCommandLine(int argc, const char* const* argv);

// The text --help shows: lined up in columns for a terminal, or in
// paragraphs for a message box (which wraps them itself).
enum class HelpLayout { Terminal, MessageBox };
std::string desktopHelp(const std::string& program, HelpLayout layout = HelpLayout::Terminal);

}  // namespace ui
