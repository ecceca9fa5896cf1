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
    int rawRate = 0;   // the rate of raw samples on standard input; 0 when not given
    bool stereo = false;
    std::string prefilter = "off";
    bool lms = false;
    bool combiner = false;
    std::string exponential = "off";
    std::string noiseFloor = "off";
    std::string heterodyne = "5000";
    bool noEqualizer = false;
    bool noExpandor = false;
    bool expandor = false;  // asked for with --enhance, which otherwise turns it off
    bool averaging = false;
    bool enhance = false;
    int enhanceFloor = engine::kDefaultEnhancementFloorDb;
    bool blanker = false;
    double blankerThreshold = CNoiseBlanker::kDefaultThreshold;
    engine::Settings settings;    // the switches and choices above, typed
    std::vector<BandStep> bands;  // in the order given
    std::optional<double> minAmplitude;
    bool quiet = false;
    bool passThrough = false;  // hidden: checks the pipeline's alignment
    int64_t wavLimit = 0;      // hidden: a WAV file's most data bytes, lowered for tests
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
    std::optional<std::string> enhanceFloor;                    // checked when finishing
    std::optional<std::string> blankerThreshold;                // checked when finishing
};
void addProcessingOptions(CLI::App& app, Options& options, ProcessingArgs& pending);
std::string finishProcessingOptions(Options& options, const ProcessingArgs& pending);

// Numbers given on a command line, checked the same way by every program.
// Each returns what is wrong with the text ("" when it is good), for a
// message that starts with the option's name.

// A whole number from lo to hi written in decimal digits, with a sign at
// most (a leading zero is still decimal: "010" is ten; "0x10" is refused).
std::string parseWhole(const std::string& text, int lo, int hi, int& value);
// A finite number; a magnitude too small to hold reads as 0 or near it.
std::string parseNumber(const std::string& text, double& value);
// A sampling rate: a whole number of hertz written without a leading zero,
// from lo to hi, or (when `allowed` is not empty) one of `allowed`.
std::string parseRate(const std::string& text, int lo, int hi, const std::vector<int>& allowed,
                      int& rate);
// A duration: a finite number of seconds above 0. Above `most` it is either
// cut to `most` (a run that lasts longer than anyone waits) or refused.
enum class AboveMost { Cap, Refuse };
std::string parseSeconds(const std::string& text, double most, AboveMost above, double& seconds);

// Applies the options to a started engine, through the same settings the
// menus make.
void applyOptions(const Options& options, CAudioEngine& engine);

}  // namespace file_tool
