// tarnix-file's real-time factor, whole process included: the demo at
// 11025 Hz mono with defaults; a 10-minute 11025 Hz recording with defaults
// and with --no-equalizer --noise-floor 30; a 44100 Hz recording in mono and
// with --stereo. The long inputs are made here, in the temporary directory.
// x_real_time counts seconds of audio per second of wall time, x_real_time_cpu
// per second of the process's own CPU time (steadier on a busy machine), and
// x_real_time_cpu_best the same for the fastest single run.
// TARNIX_FILE=path measures another tarnix-file build instead.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <numbers>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

extern char** environ;

namespace {

const std::string kDemo = std::string(TARNIX_SOURCE_DIR) + "/samples/demo-noisy.wav";

double durationOf(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return 0.0;
    sf_close(f);
    return static_cast<double>(info.frames) / info.samplerate;
}

// Speech-band tones in noise with a whistle: a syllable-like envelope on two
// tones, noise throughout and a steady 5000 Hz whistle.
std::string makeRecording(int rate, int seconds) {
    const std::string path =
        (std::filesystem::temp_directory_path() /
         ("tarnix-bench-" + std::to_string(rate) + "-" + std::to_string(seconds) + "s.wav"))
            .string();
    if (durationOf(path) >= seconds) return path;
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return path;
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0.0, 1500.0);
    std::vector<short> block(static_cast<size_t>(rate));
    for (int s = 0; s < seconds; ++s) {
        for (size_t i = 0; i < block.size(); ++i) {
            const double t = s + static_cast<double>(i) / rate;
            const double envelope = 0.5 + 0.5 * std::sin(2 * std::numbers::pi * 3 * t);
            block[i] =
                static_cast<short>(envelope * (6000 * std::sin(2 * std::numbers::pi * 440 * t) +
                                               2500 * std::sin(2 * std::numbers::pi * 1320 * t)) +
                                   3000 * std::sin(2 * std::numbers::pi * 5000 * t) + noise(rng));
        }
        sf_write_short(f, block.data(), static_cast<sf_count_t>(block.size()));
    }
    sf_close(f);
    return path;
}

void runTool(benchmark::State& state, const std::string& input,
             const std::vector<std::string>& options) {
    const std::string output =
        (std::filesystem::temp_directory_path() / "tarnix-bench-out.wav").string();
    // TARNIX_FILE names another build to measure, for a before and after.
    const char* other = std::getenv("TARNIX_FILE");
    std::vector<std::string> args = {other ? other : TARNIX_FILE_EXE, "-q"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(input);
    args.push_back(output);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    double cpuSeconds = 0.0, bestCpu = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        pid_t pid;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start tarnix-file");
            return;
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 +
                           usage.ru_stime.tv_sec + usage.ru_stime.tv_usec * 1e-6;
        cpuSeconds += cpu;
        bestCpu = bestCpu > 0.0 && bestCpu < cpu ? bestCpu : cpu;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("tarnix-file failed");
            return;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    // Seconds of audio per second of wall time, and per second of CPU time.
    const double audio = durationOf(input) * static_cast<double>(state.iterations());
    state.counters["x_real_time"] = benchmark::Counter(audio, benchmark::Counter::kIsRate);
    state.counters["x_real_time_cpu"] = cpuSeconds > 0 ? audio / cpuSeconds : 0.0;
    // The least disturbed run: on a shared machine the others lose time to
    // neighbours, which the average keeps.
    state.counters["x_real_time_cpu_best"] = bestCpu > 0 ? durationOf(input) / bestCpu : 0.0;
    std::filesystem::remove(output);
}

void demoMono11025(benchmark::State& state) {
    runTool(state, kDemo, {});
}
BENCHMARK(demoMono11025)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

void tenMinutesMono11025(benchmark::State& state) {
    runTool(state, makeRecording(11025, 600), {});
}
BENCHMARK(tenMinutesMono11025)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(4.0);

void tenMinutesMono11025NoEqualizerFloor30(benchmark::State& state) {
    runTool(state, makeRecording(11025, 600), {"--no-equalizer", "--noise-floor", "30"});
}
BENCHMARK(tenMinutesMono11025NoEqualizerFloor30)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(4.0);

void mono44100(benchmark::State& state) {
    runTool(state, makeRecording(44100, 30), {});
}
BENCHMARK(mono44100)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

void stereo44100(benchmark::State& state) {
    runTool(state, makeRecording(44100, 30), {"--stereo"});
}
BENCHMARK(stereo44100)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
