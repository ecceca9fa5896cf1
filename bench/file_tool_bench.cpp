// tarnix-file's real-time factor, whole process included: the demo at
// 11025 Hz mono with defaults, and a 44100 Hz recording with --stereo.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <numbers>

#include <chrono>
#include <cmath>
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

// Speech-band tones in noise with a whistle, 30 s at 44100 Hz.
std::string make44100() {
    const std::string path =
        (std::filesystem::temp_directory_path() / "tarnix-bench-44100.wav").string();
    if (durationOf(path) > 0) return path;
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0.0, 1500.0);
    std::vector<short> block(44100);
    for (int s = 0; s < 30; ++s) {
        for (size_t i = 0; i < block.size(); ++i) {
            const double t = s + i / 44100.0;
            block[i] =
                static_cast<short>(6000 * std::sin(2 * std::numbers::pi * 440 * t) +
                                   3000 * std::sin(2 * std::numbers::pi * 5000 * t) + noise(rng));
        }
        sf_write_short(f, block.data(), static_cast<sf_count_t>(block.size()));
    }
    sf_close(f);
    return path;
}

void runTool(benchmark::State& state, const std::string& input, bool stereo) {
    const std::string output =
        (std::filesystem::temp_directory_path() / "tarnix-bench-out.wav").string();
    std::vector<std::string> args = {TARNIX_FILE_EXE, "-q"};
    if (stereo) args.push_back("--stereo");
    args.push_back(input);
    args.push_back(output);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        pid_t pid;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start tarnix-file");
            return;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("tarnix-file failed");
            return;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    // Seconds of audio per second of wall time.
    state.counters["x_real_time"] = benchmark::Counter(
        durationOf(input) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    std::filesystem::remove(output);
}

void demoMono11025(benchmark::State& state) {
    runTool(state, kDemo, false);
}
BENCHMARK(demoMono11025)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

void stereo44100(benchmark::State& state) {
    runTool(state, make44100(), true);
}
BENCHMARK(stereo44100)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
