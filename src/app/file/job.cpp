#include "app/file/job.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/cli/audio_files.h"
#include "app/cli/signals.h"
#include "engine/audio_engine.h"
#include "engine/audio_session.h"
#include "engine/pass_through_engine.h"
#include "platform/offline/file_devices.h"
#include "platform/offline/offline_host.h"
#include "platform/system.h"

namespace file_tool {

namespace sys = platform::sys;
using cli::FileError;
using cli::InputFile;
using cli::kPipelineDelay;
using cli::kWavMostDataBytes;
using cli::OutputFile;
using cli::sameFile;
namespace {

double decibels(int peak) {
    return peak > 0 ? 20.0 * std::log10(peak / 32768.0) : -INFINITY;
}

// The engine lives in a large block of its own (see sys::largeBlock).
struct EngineRelease {
    void* block;
    size_t bytes;
    void operator()(CAudioEngine* engine) const {
        engine->~CAudioEngine();
        sys::releaseLargeBlock(block, bytes);
    }
};
using EnginePointer = std::unique_ptr<CAudioEngine, EngineRelease>;

template <class Engine>
EnginePointer makeEngine() {
    void* block = sys::largeBlock(sizeof(Engine));
    try {
        return EnginePointer(new (block) Engine(), EngineRelease{block, sizeof(Engine)});
    } catch (...) {
        sys::releaseLargeBlock(block, sizeof(Engine));
        throw;
    }
}

class Progress {
  public:
    explicit Progress(bool show) : show_(show) {}
    ~Progress() { finish(); }
    void update(int64_t done, int64_t total) {
        if (!show_) return;
        const int percent = static_cast<int>(100 * std::min(done, total) / (total > 0 ? total : 1));
        if (percent == last_) return;
        last_ = percent;
        const int width = 40, filled = percent * width / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled,
                     "########################################", width - filled, "", percent);
        std::fflush(stderr);
        drawn_ = true;
    }
    void finish() {
        if (drawn_) std::fputc('\n', stderr);
        drawn_ = false;
    }

  private:
    bool show_;
    bool drawn_ = false;
    int last_ = -1;
};

// What one run through the engine leaves: how it ended and how long it took.
struct Outcome {
    bool deviceFailed = false;  // a device reported a failure in a message box
    std::optional<int> exitCode;
    double seconds = 0.0;
};

// Runs INPUT through the engine into OUTPUT on the offline platform until the
// input has ended and everything has been played.
Outcome process(const Options& o, InputFile& input, OutputFile& output, Progress& progress) {
    const bool streaming = o.input == kStandardStream;
    Outcome outcome;
    offline::OfflineHost host;
    platform::setHost(&host);
    host.onMessageBox = [&](const std::string& caption, const std::string& text) {
        progress.finish();
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        outcome.deviceFailed = true;
    };
    // Stop at the first write error rather than process the rest for nothing.
    output.onFailure = [&] { host.postQuitMessage(1); };

    // A file is read ahead, as fast as the engine takes it; a stream one
    // block at a time, so that a chain of programs waits for one block.
    offline::FileWaveIn in(input, streaming ? offline::FileWaveIn::Pacing::OnRequest
                                            : offline::FileWaveIn::Pacing::ReadAhead);
    offline::FileWaveOut out(output);
    engine::PeakOnlyInputLevel level;
    static engine::InputFilters filters;
    EnginePointer engine =
        o.passThrough ? makeEngine<engine::PassThroughEngine>() : makeEngine<CAudioEngine>();
    engine->attach(&in, &out, &level, &filters);
    engine::AudioSession session(*engine, filters);
    // A stream gets each output sample as soon as it is final; a file the
    // design's pump (the same samples).
    session.setLatencyMode(streaming ? engine::LatencyMode::Low : engine::LatencyMode::Design);

    const auto started = std::chrono::steady_clock::now();
    session.start(input.rate(), o.stereo);
    cli::applyOptions(o, *engine);
    bool closed = false;
    outcome.exitCode = host.run([&] {
        // Whatever is ready goes out before waiting for more input.
        if (out.drain() > 0) return true;
        if (streaming && in.deliverNext()) return true;
        // The stream has ended and everything has been played: close.
        if (closed) return false;
        closed = true;
        session.stop();
        return true;
    });
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    platform::setHost(nullptr);
    return outcome;
}

// Puts OUTPUT in place once everything went well; throws FileError otherwise.
void finishOutput(const Options& o, const InputFile& input, OutputFile& output,
                  const Outcome& outcome) {
    if (!output.error().empty()) output.commit();  // reports the write error
    if (input.ended() && input.frames() == 0)
        throw FileError(
            (o.input == kStandardStream ? std::string("standard input") : "'" + o.input + "'") +
            ": holds no audio samples");
    if (outcome.deviceFailed || !outcome.exitCode || !output.complete())
        throw FileError("'" + o.output + "' was not written: the audio path failed");
    output.commit();
    const auto declared = input.declaredFrames();
    if (declared && *declared != input.frames())
        std::fprintf(stderr,
                     "tarnix-file: warning: '%s': the header declares %lld frames but the file "
                     "holds %lld; all of these were written\n",
                     o.input.c_str(), static_cast<long long>(*declared),
                     static_cast<long long>(input.frames()));
}

void printSummary(const Options& o, const InputFile& input, const OutputFile& output, int64_t delay,
                  double seconds) {
    const int rate = input.rate();
    const double duration = static_cast<double>(input.frames()) / rate;
    const int64_t blockLength = engine::blockLengthFor(rate);
    const long long blocks = (input.frames() + delay + blockLength - 1) / blockLength;
    // Standard output may be carrying the samples.
    std::FILE* to = output.toStandardOutput() ? stderr : stdout;
    const std::string written =
        o.output == kStandardStream ? std::string("standard output") : "'" + o.output + "'";
    std::fprintf(to,
                 "tarnix-file: wrote %s: %.1f s at %d Hz %s, %lld blocks in %.2f s (%.0fx real "
                 "time); peak in %.1f dBFS, out %.1f dBFS.\n",
                 written.c_str(), duration, rate, o.stereo ? "simulated stereo" : "mono", blocks,
                 seconds, seconds > 0 ? duration / seconds : 0.0, decibels(input.peak()),
                 decibels(output.peak()));
}

JobResult run(const Options& o) {
    JobResult result;
    if (sameFile(o.input, o.output))
        throw FileError("'" + o.output + "': refusing to write over the input");
    std::unique_ptr<InputFile> input =
        o.input == kStandardStream
            ? std::make_unique<InputFile>(sys::kStandardInput, o.rawRate, o.input)
            : std::make_unique<InputFile>(o.input);
    const int rate = input->rate();
    result.rate = rate;
    input->setBlockLength(engine::blockLengthFor(rate));
    const int64_t delay = kPipelineDelay + engine::inputDelayFor(o.settings, rate);
    input->setDelay(delay);

    OutputFile output(o.output, o.raw ? OutputFile::Format::Raw : OutputFile::Format::Wav, rate,
                      o.stereo ? 2 : 1, delay, o.wavLimit > 0 ? o.wavLimit : kWavMostDataBytes);
    input->onEnd = [&](int64_t frames) { output.setFrames(frames); };
    const auto declared = input->declaredFrames();
    Progress progress(!o.quiet && sys::isTerminal(sys::kStandardError) && declared &&
                      *declared > 5 * rate);
    output.onProgress = [&](int64_t done) {
        if (declared) progress.update(done, *declared);
    };

    const Outcome outcome = process(o, *input, output, progress);
    progress.finish();
    result.frames = input->frames();
    result.interrupted = cli::signals::received();
    if (output.readerGone()) {
        result.readerGone = true;
        return result;
    }
    finishOutput(o, *input, output, outcome);
    if (!o.quiet) printSummary(o, *input, output, delay, outcome.seconds);
    result.status = 0;
    return result;
}

}  // namespace

JobResult runJob(const Options& options) {
    try {
        return run(options);
    } catch (const FileError& e) {
        platform::setHost(nullptr);
        std::fprintf(stderr, "tarnix-file: %s\n", e.what());
        JobResult failed;
        failed.interrupted = cli::signals::received();
        return failed;
    }
}

}  // namespace file_tool
