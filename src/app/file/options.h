// tarnix-file's command line and how each option maps onto the engine's
// own commands and operations.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class CAudioEngine;
namespace CLI {
class App;
}

namespace file_tool {

struct BandStep {
    enum Kind { Preset, Pass, Stop } kind;
    uint32_t command = 0;  // for a preset: its menu command
    double lowHz = 0.0, highHz = 0.0;
};

struct Options {
    std::string input;
    std::string output;
    bool stereo = false;
    std::string prefilter = "off";
    bool lms = false;
    bool combiner = false;
    std::string exponential = "off";
    std::string noiseFloor = "off";
    std::string heterodyne = "5000";
    bool noEqualizer = false;
    bool noExpandor = false;
    bool averaging = false;
    std::vector<BandStep> bands;  // in the order given
    std::optional<double> minAmplitude;
    bool quiet = false;
    bool passThrough = false;  // hidden: checks the pipeline's alignment
};

// Parses the command line. On --help or --version prints and returns exit
// code 0 in `exitCode`; on a usage error prints the reason and sets 2.
std::optional<Options> parseOptions(int argc, char** argv, int& exitCode);

// The processing options, shared by every program that runs the engine:
// addProcessingOptions declares them on a command line, and after parsing
// finishProcessingOptions checks and completes them (an error text, or empty).
struct ProcessingArgs {
    std::vector<std::pair<std::string, std::string>> bandArgs;  // kind, value, in order
};
void addProcessingOptions(CLI::App& app, Options& options, ProcessingArgs& pending);
std::string finishProcessingOptions(Options& options, const ProcessingArgs& pending);

// Applies the options to a started engine, through the same commands the
// menus use.
void applyOptions(const Options& options, CAudioEngine& engine);

}  // namespace file_tool
