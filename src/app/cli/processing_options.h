// The processing options, the same in every program that runs the engine
// (tarnix-file, tarnix-live): addProcessingOptions declares them on a command
// line, finishProcessingOptions checks what was given and turns it into the
// engine's settings, and applyOptions sets them on a started engine.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/settings.h"

class CAudioEngine;
namespace CLI {
class App;
}

namespace cli {

struct BandStep {
    enum Kind { Preset, Pass, Stop } kind;
    engine::BandPreset preset = engine::BandPreset::PassAll;
    double lowHz = 0.0, highHz = 0.0;
};

// The choices, as the engine takes them.
struct ProcessingOptions {
    engine::Settings settings;
    std::vector<BandStep> bands;  // in the order given
    std::optional<double> minAmplitude;
};

// What the command line gave, before it is checked.
struct ProcessingArgs {
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
    bool blanker = false;
    std::vector<std::pair<std::string, std::string>> bandArgs;  // kind, value, in order
    std::optional<std::string> minAmplitude;
    std::optional<std::string> enhanceFloor;
    std::optional<std::string> blankerThreshold;
};

void addProcessingOptions(CLI::App& app, ProcessingArgs& args);
// What is wrong with the arguments (a message that starts with the option's
// name), or empty when `options` holds them.
std::string finishProcessingOptions(const ProcessingArgs& args, ProcessingOptions& options);

// "--pass 300-400 500-600" would take the second range as the next argument:
// the message that says so, or empty. Looked at before parsing.
std::string secondValueError(int argc, char** argv);

// Applies the options to a started engine, through the same settings the
// menus make.
void applyOptions(const ProcessingOptions& options, CAudioEngine& engine);

}  // namespace cli
