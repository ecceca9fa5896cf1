#include "app/file/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

#include "engine/audio_engine.h"
#include "engine/version.h"

namespace file_tool {

namespace {

// The rates a raw stream may have: those an input file may have.
constexpr int kMinRate = 8000;
constexpr int kMaxRate = 48000;

const std::map<std::string, engine::BandPreset>& bandPresets() {
    using engine::BandPreset;
    static const std::map<std::string, BandPreset> presets = {
        {"pass-all", BandPreset::PassAll},
        {"stop-all", BandPreset::StopAll},
        {"voice-narrow", BandPreset::VoiceNarrow},
        {"voice-middle", BandPreset::VoiceMiddle},
        {"voice-wide", BandPreset::VoiceWide},
        {"music-narrow", BandPreset::MusicNarrow},
        {"music-wide", BandPreset::MusicWide},
        {"notch-narrow", BandPreset::NotchNarrow},
        {"notch-wide", BandPreset::NotchWide},
        {"stop-below-100", BandPreset::StopBelow100},
        {"stop-below-200", BandPreset::StopBelow200},
        {"stop-below-300", BandPreset::StopBelow300},
        {"stop-above-3000", BandPreset::StopAbove3000},
        {"stop-above-4000", BandPreset::StopAbove4000},
        {"stop-above-5000", BandPreset::StopAbove5000},
        {"stop-above-6000", BandPreset::StopAbove6000},
    };
    return presets;
}

template <class T>
std::vector<std::string> names(const std::map<std::string, T>& m) {
    std::vector<std::string> v;
    for (const auto& [name, id] : m)
        v.push_back(name);
    return v;
}

// A whole string read as a number: strtod's forms, nothing before or after.
struct Reading {
    bool number = false;    // the whole text is a number (infinities and NaN included)
    bool tooLarge = false;  // beyond the largest double; value is then +-HUGE_VAL
    double value = 0.0;
};

Reading read(const std::string& text) {
    Reading r;
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return r;
    char* end = nullptr;
    errno = 0;
    r.value = std::strtod(text.c_str(), &end);
    r.number = end == text.c_str() + text.size();
    // Underflow leaves a value at or near 0, which is what was meant.
    r.tooLarge = errno == ERANGE && std::isinf(r.value);
    return r;
}

bool isNumber(const std::string& text, double& value) {
    return parseNumber(text, value).empty();
}

std::string quoted(const std::string& text) {
    return "'" + text + "'";
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

// "--pass 300-400 500-600" would take the second range as a file name; say so
// instead of complaining about an unexpected argument later.
std::string secondValue(int argc, char** argv) {
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

// Shows both forms of the command line in the usage line.
class UsageFormatter : public CLI::Formatter {
  public:
    std::string make_usage(const CLI::App*, std::string name) const override {
        return "Usage: " + name + " [OPTIONS] INPUT OUTPUT\n  or:  " + name +
               " [OPTIONS] --output-dir DIR INPUT...\n";
    }
};

}  // namespace

std::string parseNumber(const std::string& text, double& value) {
    const Reading r = read(text);
    if (!r.number) return "expected a number: " + quoted(text);
    if (r.tooLarge) return quoted(text) + " is too large a number";
    if (!std::isfinite(r.value)) return "expected a finite number: " + quoted(text);
    value = r.value;
    return {};
}

std::string parseWhole(const std::string& text, int lo, int hi, int& value) {
    const std::string range = "from " + std::to_string(lo) + " to " + std::to_string(hi);
    if (text.empty()) return "expected a whole number " + range + "; found nothing";
    const size_t sign = text[0] == '-' || text[0] == '+' ? 1 : 0;
    const std::string digits = text.substr(sign);
    if (!digits.empty() &&
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const size_t first = digits.find_first_not_of('0');
        const std::string plain = first == std::string::npos ? "0" : digits.substr(first);
        long long n = plain.size() > 12 ? LLONG_MAX : std::stoll(plain);
        if (text[0] == '-') n = -n;
        if (n < lo || n > hi) return quoted(text) + " is out of range; expected " + range;
        value = static_cast<int>(n);
        return {};
    }
    const Reading r = read(text);
    if (!r.number || std::isnan(r.value))
        return quoted(text) + " is not a number; expected a whole number " + range;
    if (std::isfinite(r.value) && r.value == std::floor(r.value) && std::fabs(r.value) < 1e12)
        return quoted(text) + " is not written as a whole number; write " +
               std::to_string(static_cast<long long>(r.value));
    return quoted(text) + " is not a whole number; expected one " + range;
}

std::string parseRate(const std::string& text, int lo, int hi, const std::vector<int>& allowed,
                      int& rate) {
    std::string range;
    if (allowed.empty()) {
        range = "from " + std::to_string(lo) + " to " + std::to_string(hi) + " Hz";
    } else {
        for (size_t i = 0; i < allowed.size(); ++i)
            range += (i == 0                    ? ""
                      : i + 1 == allowed.size() ? " or "
                                                : ", ") +
                     std::to_string(allowed[i]);
        range = "one of " + range + " Hz";
    }
    if (text.empty()) return "expected a rate, " + range + "; found nothing";
    long long value = 0;
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const size_t digit = text.find_first_not_of('0');
        const std::string plain = digit == std::string::npos ? "0" : text.substr(digit);
        if (plain != text) return quoted(text) + " has a leading zero; write " + plain;
        value = text.size() > 12 ? LLONG_MAX : std::stoll(text);
    } else {
        const Reading r = read(text);
        if (!r.number || std::isnan(r.value))
            return quoted(text) + " is not a number; expected a rate, " + range;
        if (std::isfinite(r.value) && r.value != std::floor(r.value))
            return quoted(text) + " is not a whole number of hertz";
        value = std::isfinite(r.value) && std::fabs(r.value) < 1e12
                    ? static_cast<long long>(r.value)
                    : (r.value < 0 ? LLONG_MIN : LLONG_MAX);
    }
    const bool listed = allowed.empty()
                            ? value >= lo && value <= hi
                            : std::find(allowed.begin(), allowed.end(), value) != allowed.end();
    if (!listed) return quoted(text) + " is out of range; the rate is " + range;
    rate = static_cast<int>(value);
    return {};
}

std::string parseSeconds(const std::string& text, double most, AboveMost above, double& seconds) {
    if (text.empty()) return "expected a number of seconds; found nothing";
    const Reading r = read(text);
    if (!r.number || std::isnan(r.value))
        return quoted(text) + " is not a number; expected a number of seconds";
    if (!(r.value > 0)) return quoted(text) + " is not more than 0 seconds";
    if (std::isinf(r.value) && !r.tooLarge)
        return quoted(text) + " is not a finite number of seconds";
    if (r.value > most) {
        if (above == AboveMost::Refuse) {
            char limit[32];
            std::snprintf(limit, sizeof limit, "%g", most);
            return quoted(text) + " is too long; at most " + limit + " seconds";
        }
        seconds = most;
        return {};
    }
    seconds = r.value;
    return {};
}

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
    auto* noExpandor = app.add_flag("--no-expandor", o.noExpandor, "Turn the expandor off");
    app.add_flag("--expandor", o.expandor,
                 "With --enhance: keep the expandor on (--enhance turns it off)")
        ->excludes(noExpandor);
    app.add_flag("--averaging", o.averaging, "Average magnitudes over three frames");
    app.add_flag("--enhance", o.enhance,
                 "Speech enhancement: takes out broadband hiss, in place of the equalizer, "
                 "averaging, the noise floor and (unless --expandor) the expandor");
    app.add_option("--enhance-floor", pending.enhanceFloor,
                   "With --enhance: the most a bin is turned down, in dB (0 to 40; default " +
                       std::to_string(o.enhanceFloor) + ")")
        ->type_name("DB");
    app.add_flag("--blanker", o.blanker,
                 "Noise blanker: replaces clicks and crackle (up to 6 ms) from the samples around "
                 "them, before every other stage");
    app.add_option("--blanker-threshold", pending.blankerThreshold,
                   "With --blanker: how far a click must stand out of the signal's prediction "
                   "error, as a factor (3 to 100; default 5; lower catches more)")
        ->type_name("FACTOR");

    auto band = [&pending](const char* kind) {
        return [&pending, kind](const std::vector<std::string>& values) {
            for (const auto& v : values)
                pending.bandArgs.emplace_back(kind, v);
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
    app.add_option("--min-amplitude", pending.minAmplitude,
                   "Set every minimum amplitude (at least 0.1; 1200 at start)");
}

std::string finishProcessingOptions(Options& o, const ProcessingArgs& pending) {
    for (const auto& [kind, value] : pending.bandArgs) {
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
    // An option that only means something with --enhance is not silently dropped.
    if (!o.enhance && (pending.enhanceFloor || o.expandor))
        return std::string(pending.enhanceFloor ? "--enhance-floor" : "--expandor") +
               ": only with --enhance";
    if (!o.blanker && pending.blankerThreshold) return "--blanker-threshold: only with --blanker";
    if (pending.blankerThreshold) {
        std::string error = parseNumber(*pending.blankerThreshold, o.blankerThreshold);
        if (error.empty() && !(o.blankerThreshold >= CNoiseBlanker::kMinThreshold &&
                               o.blankerThreshold <= CNoiseBlanker::kMaxThreshold))
            error = quoted(*pending.blankerThreshold) + " is out of range; from 3 to 100";
        if (!error.empty()) return "--blanker-threshold: " + error;
    }
    if (pending.enhanceFloor) {
        const std::string error =
            parseWhole(*pending.enhanceFloor, 0, engine::kMaxEnhancementFloorDb, o.enhanceFloor);
        if (!error.empty()) return "--enhance-floor: " + error;
    }
    engine::Settings& typed = o.settings;
    typed.prefilter = o.prefilter == "voice"   ? engine::Prefilter::Voice
                      : o.prefilter == "music" ? engine::Prefilter::Music
                                               : engine::Prefilter::Off;
    typed.lmsFilter = o.lms;
    typed.linearCombiner = o.combiner;
    typed.exponential = o.exponential == "off" ? 0 : o.exponential[2] - '0';  // "0.N"
    typed.noiseFloor = o.noiseFloor == "off" ? 0 : std::stoi(o.noiseFloor) / 10;
    typed.heterodyne = o.heterodyne == "off"    ? engine::HeterodyneMode::Off
                       : o.heterodyne == "slow" ? engine::HeterodyneMode::Slow
                       : o.heterodyne == "fast" ? engine::HeterodyneMode::Fast
                                                : engine::HeterodyneMode::Window5000;
    typed.equalizer = !o.noEqualizer;
    // The enhancement already takes down what is left between words; the expandor's
    // level-dependent gain on top only bends the speech.
    typed.expandor = o.enhance ? o.expandor : !o.noExpandor;
    typed.averaging = o.averaging;
    typed.enhancement = o.enhance;
    typed.enhancementFloor = o.enhanceFloor;
    typed.blanker = o.blanker;
    typed.blankerThreshold = o.blankerThreshold;
    if (pending.minAmplitude) {
        double value = 0.0;
        if (const std::string error = parseNumber(*pending.minAmplitude, value); !error.empty())
            return "--min-amplitude: " + error;
        o.minAmplitude = value;
    }
    return {};
}

std::optional<Options> parseOptions(int argc, char** argv, int& exitCode) {
    Options o;
    CLI::App app{
        "Runs Tarnix's noise filter on an audio file and writes what the sound card would "
        "play, aligned to the input.",
        "tarnix-file"};
    app.set_version_flag("--version", engine::versionNotice("tarnix-file " TARNIX_VERSION));
    // A path such as /tmp/out.wav is a file name, not a Windows-style option.
    app.allow_windows_style_options(false);
    app.formatter(std::make_shared<UsageFormatter>());
    app.footer(
        "INPUT is an audio file (WAV, FLAC, AIFF, OGG, ...) or '-', raw samples from standard "
        "input (with --rate). OUTPUT is a 16-bit WAV file (RF64 past 4 GiB, or when named .rf64; "
        "W64 when named .w64), or raw samples with --raw; '-' is "
        "standard output (with --raw). With --output-dir, every INPUT is written to "
        "DIR/NAME.wav. A regular OUTPUT is replaced only once it is complete, keeping its owner "
        "and "
        "mode; one with several hard links is rewritten in place.\nExit status: 0 success, 1 a "
        "file problem (the message names the file), "
        "2 a usage error; 128 + N after signal N.");
    std::vector<std::string> files;
    app.add_option("FILES", files, "INPUT OUTPUT, or with --output-dir every INPUT")
        ->required()
        ->type_name("");
    app.add_option("--output-dir", o.outputDir,
                   "Batch: write DIR/NAME.wav for every INPUT (NAME.raw with --raw)")
        ->type_name("DIR");
    std::string jobsText;
    app.add_option("--jobs", jobsText,
                   "Batch: files processed at once, 1 to 1024 (default: processors)")
        ->type_name("N");
    app.add_flag("--raw", o.raw, "Write OUTPUT as raw signed 16-bit little-endian samples");
    std::string rateText;
    app.add_option("--rate", rateText,
                   "Sampling rate of raw samples read from '-' (Hz, 8000 to 48000)")
        ->type_name("R");
    app.add_flag("--stereo", o.stereo, "Simulated stereo output (two channels)");
    ProcessingArgs pending;
    addProcessingOptions(app, o, pending);
    app.add_flag("-q,--quiet", o.quiet, "Print nothing but errors");
    app.add_flag("--check-pass-through", o.passThrough)->group("");  // hidden
    app.add_option("--check-wav-limit", o.wavLimit)->group("");      // hidden

    auto usageError = [&](const std::string& message) {
        std::fprintf(stderr, "tarnix-file: %s\n", message.c_str());
        exitCode = 2;
        return std::nullopt;
    };
    if (const std::string error = secondValue(argc, argv); !error.empty()) return usageError(error);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        exitCode = code == 0 ? 0 : 2;
        return std::nullopt;
    }

    if (const std::string error = finishProcessingOptions(o, pending); !error.empty())
        return usageError(error);
    if (app.count("--rate")) {
        const std::string error = parseRate(rateText, kMinRate, kMaxRate, {}, o.rawRate);
        if (!error.empty()) return usageError("--rate: " + error);
    }
    if (app.count("--jobs")) {
        const std::string error = parseWhole(jobsText, 1, 1024, o.jobs);
        if (!error.empty()) return usageError("--jobs: " + error);
    }

    // Where the samples come from and go to.
    const bool batch = app.count("--output-dir") > 0;
    if (batch) {
        if (o.outputDir.empty()) return usageError("--output-dir: empty directory name");
        for (const auto& f : files) {
            if (f.empty()) return usageError("INPUT: empty file name");
            if (f == kStandardStream)
                return usageError("'-' (standard input) cannot be part of a batch");
        }
        o.inputs = files;
        if (o.jobs == 0)
            o.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    } else {
        if (files.size() != 2)
            return usageError(
                "expected INPUT and OUTPUT (or --output-dir DIR INPUT...); see --help");
        if (app.count("--jobs")) return usageError("--jobs: only for a batch (--output-dir)");
        o.input = files[0];
        o.output = files[1];
        if (o.input.empty()) return usageError("INPUT: empty file name");
        if (o.output.empty()) return usageError("OUTPUT: empty file name");
        if (o.output == kStandardStream && !o.raw)
            return usageError("'-' as OUTPUT writes raw samples to standard output: add --raw");
    }
    const bool rawInput = o.input == kStandardStream;
    if (rawInput && o.rawRate == 0)
        return usageError("'-' as INPUT reads raw samples from standard input: give --rate");
    if (!rawInput && o.rawRate != 0)
        return usageError("--rate: only for raw samples from standard input ('-' as INPUT)");
    exitCode = 0;
    return o;
}

void applyOptions(const Options& o, CAudioEngine& engine) {
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

}  // namespace file_tool
