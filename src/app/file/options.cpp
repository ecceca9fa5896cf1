#include "app/file/options.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <map>

#include "engine/audio_engine.h"
#include "ui/engine_commands.h"

namespace file_tool {

namespace {

const std::map<std::string, uint32_t>& bandPresets() {
    static const std::map<std::string, uint32_t> presets = {
        {"pass-all", ui::ID_PASS_ALL},
        {"stop-all", ui::ID_STOP_ALL},
        {"voice-narrow", ui::ID_VOICE_NARROW},
        {"voice-middle", ui::ID_VOICE_MIDDLE},
        {"voice-wide", ui::ID_VOICE_WIDE},
        {"music-narrow", ui::ID_MUSIC_NARROW},
        {"music-wide", ui::ID_MUSIC_WIDE},
        {"notch-narrow", ui::ID_NOTCH_NARROW},
        {"notch-wide", ui::ID_NOTCH_WIDE},
        {"stop-below-100", ui::ID_STOP_BELOW_100},
        {"stop-below-200", ui::ID_STOP_BELOW_200},
        {"stop-below-300", ui::ID_STOP_BELOW_300},
        {"stop-above-3000", ui::ID_STOP_ABOVE_3000},
        {"stop-above-4000", ui::ID_STOP_ABOVE_4000},
        {"stop-above-5000", ui::ID_STOP_ABOVE_5000},
        {"stop-above-6000", ui::ID_STOP_ABOVE_6000},
    };
    return presets;
}

std::vector<std::string> names(const std::map<std::string, uint32_t>& m) {
    std::vector<std::string> v;
    for (const auto& [name, id] : m)
        v.push_back(name);
    return v;
}

// "LO-HI" in hertz, LO < HI, both at least 0.
std::string parseRange(const std::string& text, double& lo, double& hi) {
    const auto dash = text.find('-', 1);
    try {
        if (dash == std::string::npos) throw std::invalid_argument("");
        size_t used = 0;
        lo = std::stod(text.substr(0, dash), &used);
        if (used != dash) throw std::invalid_argument("");
        const std::string rest = text.substr(dash + 1);
        hi = std::stod(rest, &used);
        if (used != rest.size()) throw std::invalid_argument("");
    } catch (const std::exception&) {
        return "expected LO-HI in Hz, for example 300-3000: " + text;
    }
    if (!(lo >= 0.0) || !(hi > lo)) return "expected 0 <= LO < HI: " + text;
    return {};
}

}  // namespace

void addProcessingOptions(CLI::App& app, Options& o, ProcessingArgs& pending) {
    app.add_option("--prefilter", o.prefilter, "FIR prefilter")
        ->check(CLI::IsMember({"off", "voice", "music"}))
        ->capture_default_str();
    app.add_flag("--lms", o.lms, "Least mean square filter");
    app.add_flag("--combiner", o.combiner, "Linear combiner filter");
    app.add_option("--exponential", o.exponential, "Exponential filter factor")
        ->check(
            CLI::IsMember({"off", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9"}))
        ->capture_default_str();
    app.add_option("--noise-floor", o.noiseFloor,
                   "Noise floor averaging: off or 10..150 in steps of 10 (150 is the factor 2.5)")
        ->check(CLI::IsMember({"off", "10", "20", "30", "40", "50", "60", "70", "80", "90", "100",
                               "110", "120", "130", "140", "150"}))
        ->capture_default_str();
    app.add_option("--heterodyne", o.heterodyne, "Automatic heterodyne (steady tone) reduction")
        ->check(CLI::IsMember({"off", "5000", "slow", "fast"}))
        ->capture_default_str();
    app.add_flag("--no-equalizer", o.noEqualizer, "Turn the flattening equalizer off");
    app.add_flag("--no-expandor", o.noExpandor, "Turn the expandor off");
    app.add_flag("--averaging", o.averaging, "Average magnitudes over three frames");

    auto band = [&pending](const char* kind) {
        return [&pending, kind](const std::vector<std::string>& values) {
            for (const auto& v : values)
                pending.bandArgs.emplace_back(kind, v);
        };
    };
    app.add_option_function<std::vector<std::string>>("--band", band("band"),
                                                      "Band preset, repeatable")
        ->check(CLI::IsMember(names(bandPresets())))
        ->trigger_on_parse()
        ->allow_extra_args(false);
    app.add_option_function<std::vector<std::string>>(
           "--pass", band("pass"), "Pass the bins with LO <= f < HI (Hz), repeatable; LO-HI")
        ->trigger_on_parse()
        ->allow_extra_args(false);
    app.add_option_function<std::vector<std::string>>(
           "--stop", band("stop"), "Stop the bins with LO <= f < HI (Hz), repeatable; LO-HI")
        ->trigger_on_parse()
        ->allow_extra_args(false);
    app.add_option("--min-amplitude", o.minAmplitude,
                   "Set every minimum amplitude (at least 0.1; 1200 at start)");
}

std::string finishProcessingOptions(Options& o, const ProcessingArgs& pending) {
    for (const auto& [kind, value] : pending.bandArgs) {
        BandStep step{BandStep::Preset};
        if (kind == "band") {
            step.command = bandPresets().at(value);
        } else {
            step.kind = kind == "pass" ? BandStep::Pass : BandStep::Stop;
            const std::string error = parseRange(value, step.lowHz, step.highHz);
            if (!error.empty()) return "--" + kind + ": " + error;
        }
        o.bands.push_back(step);
    }
    if (o.minAmplitude && !std::isfinite(*o.minAmplitude))
        return "--min-amplitude: expected a number";
    return {};
}

std::optional<Options> parseOptions(int argc, char** argv, int& exitCode) {
    Options o;
    CLI::App app{
        "Runs Tarnix's noise filter on an audio file and writes what the sound card would "
        "play, aligned to the input.",
        "tarnix-file"};
    app.set_version_flag("--version", "tarnix-file " TARNIX_VERSION);
    app.add_option("INPUT", o.input, "Audio file to clean (WAV, FLAC, AIFF, OGG, ...)")->required();
    app.add_option("OUTPUT", o.output, "16-bit WAV file to write")->required();
    app.add_flag("--stereo", o.stereo, "Simulated stereo output (two channels)");
    ProcessingArgs pending;
    addProcessingOptions(app, o, pending);
    app.add_flag("-q,--quiet", o.quiet, "Print nothing but errors");
    app.add_flag("--check-pass-through", o.passThrough)->group("");  // hidden

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        exitCode = code == 0 ? 0 : 2;
        return std::nullopt;
    }

    const std::string error = finishProcessingOptions(o, pending);
    if (!error.empty()) {
        std::fprintf(stderr, "tarnix-file: %s\n", error.c_str());
        exitCode = 2;
        return std::nullopt;
    }
    exitCode = 0;
    return o;
}

void applyOptions(const Options& o, CAudioEngine& engine) {
    auto command = [&](uint32_t id) { ui::applyEngineCommand(engine, id); };

    if (o.prefilter == "voice") command(ui::ID_PREFILTER_VOICE);
    if (o.prefilter == "music") command(ui::ID_PREFILTER_MUSIC);
    if (o.lms) command(ui::ID_LMS_FILTER);
    if (o.combiner) command(ui::ID_LINEAR_COMBINER);
    if (o.exponential != "off") {
        const int tenths = o.exponential[2] - '0';  // "0.N"
        command(ui::kExponentialCommands[10 - tenths]);
    }
    if (o.noiseFloor != "off") command(ui::kNoiseFloorCommands[std::stoi(o.noiseFloor) / 10]);
    if (o.heterodyne == "off") command(ui::ID_HETERODYNE_OFF);
    if (o.heterodyne == "slow") command(ui::ID_HETERODYNE_SLOW);
    if (o.heterodyne == "fast") command(ui::ID_HETERODYNE_FAST);
    if (o.noEqualizer && engine.equalizerOn) command(ui::ID_EQUALIZER);
    if (o.noExpandor && engine.expandorOn) command(ui::ID_EXPANDOR);
    // No menu command sets averaging; this is the control that does.
    if (o.averaging) engine.averagingOn = 1;
    for (const BandStep& b : o.bands) {
        if (b.kind == BandStep::Preset) {
            command(b.command);
            continue;
        }
        const ui::BinRange r = ui::binsForFrequencies(engine, b.lowHz, b.highHz);
        engine.applyBandOperation(b.kind == BandStep::Pass ? engine::kBandPass : engine::kBandStop,
                                  r.low, r.high);
    }
    if (o.minAmplitude) engine.setAllMinimumAmplitudes(*o.minAmplitude);
}

}  // namespace file_tool
