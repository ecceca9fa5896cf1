// tarnix-file's command line: where the samples come from and go to, on top
// of the processing options every program shares.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/processing_options.h"

namespace file_tool {

struct Options : cli::ProcessingOptions {
    std::string input;                // "-": raw samples from standard input
    std::string output;               // "-": standard output
    std::vector<std::string> inputs;  // a batch: every INPUT, written into outputDir
    std::string outputDir;
    int jobs = 0;      // a batch's worker processes; 0 before parsing
    bool raw = false;  // OUTPUT holds raw 16-bit little-endian samples, no header
    int rawRate = 0;   // the rate of raw samples on standard input; 0 when not given
    bool stereo = false;
    bool quiet = false;
    bool passThrough = false;  // hidden: checks the pipeline's alignment
    int64_t wavLimit = 0;      // hidden: a WAV file's most data bytes, lowered for tests
};

// Signed 16-bit little-endian raw samples on standard input and output.
inline constexpr const char* kStandardStream = "-";

// Parses and checks the command line, before any work starts. On --help or --version prints and
// returns exit code 0 in `exitCode`; on a usage error prints the reason and sets 2.
std::optional<Options> parseOptions(int argc, char** argv, int& exitCode);

}  // namespace file_tool
