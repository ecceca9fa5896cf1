#include "app/file/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <thread>

#include "app/cli/numbers.h"
#include "engine/version.h"

namespace file_tool {

namespace {

// The rates a raw stream may have: those an input file may have.
constexpr int kMinRate = 8000;
constexpr int kMaxRate = 48000;

// Shows both forms of the command line in the usage line.
class UsageFormatter : public CLI::Formatter {
  public:
    std::string make_usage(const CLI::App*, std::string name) const override {
        return "Usage: " + name + " [OPTIONS] INPUT OUTPUT\n  or:  " + name +
               " [OPTIONS] --output-dir DIR INPUT...\n";
    }
};

// The text of the options that are checked after parsing, and the files.
struct Pending {
    cli::ProcessingArgs processing;
    std::vector<std::string> files;
    std::string jobs, rate;
};

void declareOptions(CLI::App& app, Options& o, Pending& p) {
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
    app.add_option("FILES", p.files, "INPUT OUTPUT, or with --output-dir every INPUT")
        ->required()
        ->type_name("");
    app.add_option("--output-dir", o.outputDir,
                   "Batch: write DIR/NAME.wav for every INPUT (NAME.raw with --raw)")
        ->type_name("DIR");
    app.add_option("--jobs", p.jobs,
                   "Batch: files processed at once, 1 to 1024 (default: processors)")
        ->type_name("N");
    app.add_flag("--raw", o.raw, "Write OUTPUT as raw signed 16-bit little-endian samples");
    app.add_option("--rate", p.rate,
                   "Sampling rate of raw samples read from '-' (Hz, 8000 to 48000)")
        ->type_name("R");
    app.add_flag("--stereo", o.stereo, "Simulated stereo output (two channels)");
    cli::addProcessingOptions(app, p.processing);
    app.add_flag("-q,--quiet", o.quiet, "Print nothing but errors");
    app.add_flag("--check-pass-through", o.passThrough)->group("");  // hidden
    app.add_option("--check-wav-limit", o.wavLimit)->group("");      // hidden
}

// Where the samples come from and go to: a pair of files or a batch. What is
// wrong, or empty.
std::string finishFiles(const CLI::App& app, const std::vector<std::string>& files, Options& o) {
    if (app.count("--output-dir") > 0) {
        if (o.outputDir.empty()) return "--output-dir: empty directory name";
        for (const auto& f : files) {
            if (f.empty()) return "INPUT: empty file name";
            if (f == kStandardStream) return "'-' (standard input) cannot be part of a batch";
        }
        o.inputs = files;
        if (o.jobs == 0)
            o.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    } else {
        if (files.size() != 2)
            return "expected INPUT and OUTPUT (or --output-dir DIR INPUT...); see --help";
        if (app.count("--jobs")) return "--jobs: only for a batch (--output-dir)";
        o.input = files[0];
        o.output = files[1];
        if (o.input.empty()) return "INPUT: empty file name";
        if (o.output.empty()) return "OUTPUT: empty file name";
        if (o.output == kStandardStream && !o.raw)
            return "'-' as OUTPUT writes raw samples to standard output: add --raw";
    }
    const bool rawInput = o.input == kStandardStream;
    if (rawInput && o.rawRate == 0)
        return "'-' as INPUT reads raw samples from standard input: give --rate";
    if (!rawInput && o.rawRate != 0)
        return "--rate: only for raw samples from standard input ('-' as INPUT)";
    return {};
}

// Everything checked after parsing, in the order the messages are given.
std::string finish(const CLI::App& app, const Pending& p, Options& o) {
    if (std::string error = cli::finishProcessingOptions(p.processing, o); !error.empty())
        return error;
    if (app.count("--rate")) {
        const std::string error = cli::parseRate(p.rate, kMinRate, kMaxRate, {}, o.rawRate);
        if (!error.empty()) return "--rate: " + error;
    }
    if (app.count("--jobs")) {
        const std::string error = cli::parseWhole(p.jobs, 1, 1024, o.jobs);
        if (!error.empty()) return "--jobs: " + error;
    }
    return finishFiles(app, p.files, o);
}

}  // namespace

std::optional<Options> parseOptions(int argc, char** argv, int& exitCode) {
    Options o;
    Pending pending;
    CLI::App app{
        "Runs Tarnix's noise filter on an audio file and writes what the sound card would "
        "play, aligned to the input.",
        "tarnix-file"};
    declareOptions(app, o, pending);
    auto usageError = [&](const std::string& message) {
        std::fprintf(stderr, "tarnix-file: %s\n", message.c_str());
        exitCode = 2;
        return std::nullopt;
    };
    if (const std::string error = cli::secondValueError(argc, argv); !error.empty())
        return usageError(error);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        exitCode = code == 0 ? 0 : 2;
        return std::nullopt;
    }
    if (const std::string error = finish(app, pending, o); !error.empty()) return usageError(error);
    exitCode = 0;
    return o;
}

}  // namespace file_tool
