// tarnix-file: the engine run on an audio file, through the simulated
// platform's file-backed wave devices and the same message loop as the
// desktop program, so that the output is what the sound card would play.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>

#include "app/file/audio_files.h"
#include "app/file/options.h"
#include "engine/audio_engine.h"
#include "engine/hidden_audio_window.h"
#include "engine/pass_through_engine.h"
#include "platform/sim/sim_host.h"
#include "platform/sim/sim_wave.h"

namespace {

// The pipeline delays by two hops: output sample n is engine output n + 512.
constexpr int64_t kPipelineDelay = 512;

double decibels(int peak) {
    return peak > 0 ? 20.0 * std::log10(peak / 32768.0) : -INFINITY;
}

class Progress {
  public:
    Progress(bool show) : show_(show) {}
    ~Progress() { finish(); }
    void update(int64_t done, int64_t total) {
        if (!show_) return;
        const int percent = static_cast<int>(100 * done / (total > 0 ? total : 1));
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

int run(const file_tool::Options& o) {
    using namespace file_tool;
    if (sameFile(o.input, o.output)) {
        std::fprintf(stderr, "tarnix-file: '%s': refusing to write over the input\n",
                     o.output.c_str());
        return 1;
    }
    InputFile input(o.input);
    const int rate = input.rate();
    const int channels = o.stereo ? 2 : 1;
    const int64_t frames = input.frames();
    const int64_t blockLength = rate < 22050 ? 2048 : 4096;
    // Enough blocks for every input sample to come out, and the two more
    // that must have been captured before the last of them is processed.
    const int64_t processed = (frames + kPipelineDelay + blockLength - 1) / blockLength;
    input.setTotal((processed + 2) * blockLength);

    OutputFile output(o.output, rate, channels, frames, kPipelineDelay);
    Progress progress(!o.quiet && isatty(STDERR_FILENO) && frames > 5 * rate);
    output.onProgress = [&](int64_t done, int64_t total) { progress.update(done, total); };

    sim::SimHost host;
    platform::setHost(&host);
    bool deviceFailed = false;
    host.onMessageBox = [&](const sim::MessageBoxRecord& box) {
        progress.finish();
        std::fprintf(stderr, "%s: %s\n", box.caption.c_str(), box.text.c_str());
        deviceFailed = true;
    };

    sim::FileWaveIn in(input);
    sim::FileWaveOut out(output);
    engine::PeakOnlyInputLevel level;
    static engine::InputFilters filters;
    engine::designInputFilters(filters, static_cast<uint32_t>(rate));
    std::unique_ptr<CAudioEngine> engine = o.passThrough
                                               ? std::make_unique<engine::PassThroughEngine>()
                                               : std::make_unique<CAudioEngine>();
    engine->attach(&in, &out, &level, &filters);
    engine::HiddenAudioWindow window(*engine, rate, o.stereo ? 1 : 0);

    const auto started = std::chrono::steady_clock::now();
    window.create();
    applyOptions(o, *engine);
    bool closed = false;
    const auto exitCode = host.run([&] {
        // The stream has ended: play out what the device still holds, then close.
        if (out.drain() > 0) return true;
        if (closed) return false;
        closed = true;
        window.destroy();
        return true;
    });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    platform::setHost(nullptr);
    progress.finish();

    if (deviceFailed || !exitCode || !output.complete()) {
        std::fprintf(stderr, "tarnix-file: '%s' was not written: the audio path failed\n",
                     o.output.c_str());
        return 1;
    }
    output.commit();

    if (!o.quiet) {
        const double duration = static_cast<double>(frames) / rate;
        std::printf(
            "tarnix-file: wrote '%s': %.1f s at %d Hz %s, %lld blocks in %.2f s (%.0fx real "
            "time); peak in %.1f dBFS, out %.1f dBFS.\n",
            o.output.c_str(), duration, rate, o.stereo ? "simulated stereo" : "mono",
            static_cast<long long>(processed), seconds, seconds > 0 ? duration / seconds : 0.0,
            decibels(input.peak()), decibels(output.peak()));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    const auto options = file_tool::parseOptions(argc, argv, exitCode);
    if (!options) return exitCode;
    try {
        return run(*options);
    } catch (const file_tool::FileError& e) {
        std::fprintf(stderr, "tarnix-file: %s\n", e.what());
        return 1;
    }
}
