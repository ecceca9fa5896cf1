#include "app/cli/processing_options.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <map>

#include "app/cli/numbers.h"
#include "engine/audio_engine.h"

namespace cli {

namespace {

// A vocabulary's command-line words: by word (in the order of the alphabet),
// and as a list in the vocabulary's order.
template <class T, size_t N>
std::map<std::string, T> byWord(const engine::Named<T> (&vocabulary)[N]) {
    std::map<std::string, T> m;
    for (const auto& item : vocabulary)
        m.emplace(item.option, item.value);
    return m;
}
template <class T, size_t N>
std::vector<std::string> words(const engine::Named<T> (&vocabulary)[N]) {
    std::vector<std::string> v;
    for (const auto& item : vocabulary)
        v.push_back(item.option);
    return v;
}
template <size_t N>
std::vector<std::string> words(const char* const (&names)[N]) {
    return {std::begin(names), std::end(names)};
}
// The value of a word CLI11 has already checked against the vocabulary.
template <class T, size_t N>
T valueOf(const engine::Named<T> (&vocabulary)[N], const std::string& word) {
    for (const auto& item : vocabulary)
        if (word == item.option) return item.value;
    return vocabulary[0].value;
}
template <size_t N>
int stepOf(const char* const (&names)[N], const std::string& word) {
    for (size_t i = 0; i < N; ++i)
        if (word == names[i]) return static_cast<int>(i);
    return 0;
}

const std::map<std::string, engine::BandPreset>& bandPresets() {
    static const std::map<std::string, engine::BandPreset> presets = byWord(engine::kBandPresets);
    return presets;
}

template <class T>
std::vector<std::string> names(const std::map<std::string, T>& m) {
    std::vector<std::string> v;
    for (const auto& [name, id] : m)
        v.push_back(name);
    return v;
}

bool isNumber(const std::string& text, double& value) {
    return parseNumber(text, value).empty();
}

// "LO-HI" in hertz, 0 <= LO < HI. The dash that separates them is the first
// one with a number on both sides, so "1e-3-5" is 0.001 to 5.
std::string parseRange(const std::string& text, double& lo, double& hi) {
    bool parsed = false;
    for (size_t dash = text.find('-', 1); dash != std::string::npos && !parsed;
         dash = text.find('-', dash + 1))
        parsed = isNumber(text.substr(0, dash), lo) && isNumber(text.substr(dash + 1), hi);
    if (!parsed) return "expected LO-HI in Hz, for example 300-3000: '" + text + "'";
    if (!(lo >= 0.0) || !(hi > lo)) return "expected 0 <= LO < HI: '" + text + "'";
    return {};
}

// The bands in the order given: presets by name, ranges checked.
std::string finishBands(const ProcessingArgs& a, ProcessingOptions& o) {
    for (const auto& [kind, value] : a.bandArgs) {
        BandStep step{BandStep::Preset};
        if (kind == "band") {
            step.preset = bandPresets().at(value);
        } else {
            step.kind = kind == "pass" ? BandStep::Pass : BandStep::Stop;
            const std::string error = parseRange(value, step.lowHz, step.highHz);
            if (!error.empty()) return "--" + kind + ": " + error;
        }
        o.bands.push_back(step);
    }
    return {};
}

// The numbers that come with the enhancement and the blanker, each only with
// its own switch: an option that only means something with another is not
// silently dropped.
std::string finishFactors(const ProcessingArgs& a, engine::Settings& s) {
    if (!a.enhance && (a.enhanceFloor || a.expandor))
        return std::string(a.enhanceFloor ? "--enhance-floor" : "--expandor") +
               ": only with --enhance";
    if (!a.blanker && a.blankerThreshold) return "--blanker-threshold: only with --blanker";
    if (a.blankerThreshold) {
        std::string error = parseNumber(*a.blankerThreshold, s.blankerThreshold);
        if (error.empty() && !(s.blankerThreshold >= CNoiseBlanker::kMinThreshold &&
                               s.blankerThreshold <= CNoiseBlanker::kMaxThreshold))
            error = quoted(*a.blankerThreshold) + " is out of range; from 3 to 100";
        if (!error.empty()) return "--blanker-threshold: " + error;
    }
    if (a.enhanceFloor) {
        const std::string error =
            parseWhole(*a.enhanceFloor, 0, engine::kMaxEnhancementFloorDb, s.enhancementFloor);
        if (!error.empty()) return "--enhance-floor: " + error;
    }
    return {};
}

// The choices CLI11 has already checked against their lists, typed.
void finishChoices(const ProcessingArgs& a, engine::Settings& s) {
    s.prefilter = valueOf(engine::kPrefilters, a.prefilter);
    s.lmsFilter = a.lms;
    s.linearCombiner = a.combiner;
    s.exponential = stepOf(engine::kExponentialNames, a.exponential);
    s.noiseFloor = stepOf(engine::kNoiseFloorNames, a.noiseFloor);
    s.heterodyne = valueOf(engine::kHeterodyneModes, a.heterodyne);
    s.equalizer = !a.noEqualizer;
    // The enhancement already takes down what is left between words; the expandor's
    // level-dependent gain on top only bends the speech.
    s.expandor = a.enhance ? a.expandor : !a.noExpandor;
    s.averaging = a.averaging;
    s.enhancement = a.enhance;
    s.blanker = a.blanker;
}

}  // namespace

std::string secondValueError(int argc, char** argv) {
    for (int i = 1; i + 2 < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--") break;
        const bool range = option == "--pass" || option == "--stop";
        if (!range && option != "--band") continue;
        const std::string next = argv[i + 2];
        double lo, hi;
        const bool looksLikeValue =
            range ? parseRange(next, lo, hi).empty() : bandPresets().count(next) > 0;
        std::error_code ec;
        if (looksLikeValue && !std::filesystem::exists(next, ec))
            return option + " takes one value; repeat it for each: " + option + " " + argv[i + 1] +
                   " " + option + " " + next;
    }
    return {};
}

void addProcessingOptions(CLI::App& app, ProcessingArgs& o) {
    app.add_option("--prefilter", o.prefilter, "FIR prefilter")
        ->check(CLI::IsMember(words(engine::kPrefilters)))
        ->capture_default_str();
    app.add_flag("--lms", o.lms, "Least mean square filter");
    app.add_flag("--combiner", o.combiner, "Linear combiner filter");
    app.add_option("--exponential", o.exponential, "Exponential filter factor")
        ->check(CLI::IsMember(words(engine::kExponentialNames)))
        ->capture_default_str();
    app.add_option("--noise-floor", o.noiseFloor,
                   "Noise floor averaging: off or 10..150 in steps of 10 (150 is the factor 2.5)")
        ->check(CLI::IsMember(words(engine::kNoiseFloorNames)))
        ->capture_default_str();
    app.add_option("--heterodyne", o.heterodyne, "Automatic heterodyne (steady tone) reduction")
        ->check(CLI::IsMember(words(engine::kHeterodyneModes)))
        ->capture_default_str();
    app.add_flag("--no-equalizer", o.noEqualizer, "Turn the flattening equalizer off");
    auto* noExpandor = app.add_flag("--no-expandor", o.noExpandor, "Turn the expandor off");
    app.add_flag("--expandor", o.expandor,
                 "With --enhance: keep the expandor on (--enhance turns it off)")
        ->excludes(noExpandor);
    app.add_flag("--averaging", o.averaging, "Average magnitudes over three frames");
    app.add_flag("--enhance", o.enhance,
                 "Speech enhancement: takes out broadband hiss, in place of the equalizer, "
                 "averaging, the noise floor and (unless --expandor) the expandor");
    app.add_option("--enhance-floor", o.enhanceFloor,
                   "With --enhance: the most a bin is turned down, in dB (0 to 40; default " +
                       std::to_string(engine::kDefaultEnhancementFloorDb) + ")")
        ->type_name("DB");
    app.add_flag("--blanker", o.blanker,
                 "Noise blanker: replaces clicks and crackle (up to 6 ms) from the samples around "
                 "them, before every other stage");
    app.add_option("--blanker-threshold", o.blankerThreshold,
                   "With --blanker: how far a click must stand out of the signal's prediction "
                   "error, as a factor (3 to 100; default 5; lower catches more)")
        ->type_name("FACTOR");

    auto band = [&o](const char* kind) {
        return [&o, kind](const std::vector<std::string>& values) {
            for (const auto& v : values)
                o.bandArgs.emplace_back(kind, v);
        };
    };
    // The presets go into the description, where a help text or man page can
    // wrap them, rather than into one unbreakable word after the option.
    std::string presets;
    for (const auto& name : names(bandPresets()))
        presets += (presets.empty() ? "" : ", ") + name;
    app.add_option_function<std::vector<std::string>>("--band", band("band"),
                                                      "Band preset, repeatable: " + presets)
        ->check(CLI::IsMember(names(bandPresets())).description(""))
        ->type_name("NAME")
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

std::string finishProcessingOptions(const ProcessingArgs& a, ProcessingOptions& o) {
    if (std::string error = finishBands(a, o); !error.empty()) return error;
    if (std::string error = finishFactors(a, o.settings); !error.empty()) return error;
    finishChoices(a, o.settings);
    if (a.minAmplitude) {
        double value = 0.0;
        if (const std::string error = parseNumber(*a.minAmplitude, value); !error.empty())
            return "--min-amplitude: " + error;
        o.minAmplitude = value;
    }
    return {};
}

void applyOptions(const ProcessingOptions& o, CAudioEngine& engine) {
    engine::applySettings(engine, o.settings);
    for (const BandStep& b : o.bands) {
        if (b.kind == BandStep::Preset)
            engine::applyBandPreset(engine, b.preset);
        else if (b.kind == BandStep::Pass)
            engine::passBand(engine, b.lowHz, b.highHz);
        else
            engine::stopBand(engine, b.lowHz, b.highHz);
    }
    if (o.minAmplitude) engine.setAllMinimumAmplitudes(*o.minAmplitude);
}

}  // namespace cli
