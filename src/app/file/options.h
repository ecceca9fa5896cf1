// tarnix-file's command line and how each option maps onto the engine's
// settings and operations.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/settings.h"

class CAudioEngine;
namespace CLI {
class App;
}

namespace file_tool {

struct BandStep {
    enum Kind { Preset, Pass, Stop } kind;
    engine::BandPreset preset = engine::BandPreset::PassAll;
    double lowHz = 0.0, highHz = 0.0;
};

struct Options {
    std::string input;                // "-": raw samples from standard input
    std::string output;               // "-": standard output
    std::vector<std::string> inputs;  // a batch: every INPUT, written into outputDir
    std::string outputDir;
    int jobs = 0;      // a batch's worker processes; 0 before parsing
    bool raw = false;  // OUTPUT holds raw 16-bit little-endian samples, no header
    int rawRate = 0;   // the rate of raw samples on standard input
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
    engine::Settings settings;    // the switches and choices above, typed
    std::vector<BandStep> bands;  // in the order given
    std::optional<double> minAmplitude;
    bool quiet = false;
    bool passThrough = false;  // hidden: checks the pipeline's alignment
};

// Signed 16-bit little-endian raw samples on standard input and output.
inline constexpr const char* kStandardStream = "-";

// Parses and checks the command line, before any work starts. On --help or --version prints and
// returns exit code 0 in `exitCode`; on a usage error prints the reason and sets 2.
std::optional<Options> parseOptions(int argc, char** argv, int& exitCode);

// The processing options, shared by every program that runs the engine:
// addProcessingOptions declares them on a command line, and after parsing
// finishProcessingOptions checks and completes them (an error text, or empty).
struct ProcessingArgs {
    std::vector<std::pair<std::string, std::string>> bandArgs;  // kind, value, in order
    std::optional<std::string> minAmplitude;                    // checked when finishing
};
void addProcessingOptions(CLI::App& app, Options& options, ProcessingArgs& pending);
std::string finishProcessingOptions(Options& options, const ProcessingArgs& pending);

// Applies the options to a started engine, through the same settings the
// menus make.
void applyOptions(const Options& options, CAudioEngine& engine);

}  // namespace file_tool
