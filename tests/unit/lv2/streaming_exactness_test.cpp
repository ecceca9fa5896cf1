// The streaming path against the block path: for every rate, mono and
// simulated stereo, and the option sets the build comparison uses, a stream
// fed in calls of any size plays the block path's samples, bit for bit, a
// fixed engine::kStreamingLatency frames after their input.
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/file/options.h"
#include "app/lv2/engine_stream.h"
#include "engine/pass_through_engine.h"
#include "support/engine_rig.h"

namespace {

const char* const kOptionSets[] = {
    "",
    "--stereo",
    "--no-equalizer --noise-floor 30",
    "--heterodyne fast --no-equalizer",
    "--heterodyne slow --averaging",
    "--heterodyne off --no-expandor",
    "--prefilter voice --lms --exponential 0.7",
    "--prefilter music --combiner --exponential 0.1",
    "--noise-floor 150 --band voice-middle --min-amplitude 400",
    "--band stop-all --pass 300-3000 --stop 900-1100 --band notch-wide",
    "--stereo --no-equalizer --noise-floor 70 --band music-wide",
    "--enhance",
    "--stereo --enhance --enhance-floor 20 --no-expandor --band voice-wide",
    "--blanker",
    "--stereo --blanker --blanker-threshold 4 --enhance",
};

file_tool::Options parse(const std::string& line) {
    std::vector<std::string> words{"tarnix-file", "-q"};
    std::istringstream in(line);
    for (std::string w; in >> w;)
        words.push_back(w);
    words.push_back("in.wav");
    words.push_back("out.wav");
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    int code = 0;
    auto o = file_tool::parseOptions(static_cast<int>(argv.size()), argv.data(), code);
    EXPECT_TRUE(o.has_value()) << line;
    return o.value_or(file_tool::Options{});
}

// Speech-like bursts over noise, a steady whistle and a stretch that clips.
std::vector<int16_t> signal(int32_t rate, size_t n) {
    std::mt19937 rng(static_cast<unsigned>(rate));
    std::normal_distribution<double> noise(0.0, 1500.0);
    std::vector<int16_t> x(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double burst = std::fmod(t, 0.4) < 0.25 ? 9000.0 : 500.0;
        double v = noise(rng) + burst * std::sin(2 * M_PI * 700 * t) * std::sin(2 * M_PI * 3 * t) +
                   2500.0 * std::sin(2 * M_PI * 1800 * t);
        if (i > n / 2 && i < n / 2 + rate / 20) v *= 6.0;
        x[i] = static_cast<int16_t>(std::lround(std::fmax(-32768.0, std::fmin(32767.0, v))));
    }
    return x;
}

// The design's pump on scripted devices, as the file tool runs it: block
// after block, every buffer finished as soon as the device will play it.
template <class Engine = CAudioEngine>
std::vector<int16_t> blockPath(int32_t rate, const file_tool::Options& o,
                               const std::vector<int16_t>& input) {
    EngineRig<Engine> rig(rate, o.stereo ? 1 : 0);
    cli::applyOptions(o, *rig.engine);
    const size_t length = rig.engine->blockLength;
    // Silence after the input until all of it has been played.
    const size_t delay = engine::kPipelineDelay + engine::inputDelayFor(o.settings, rate);
    const size_t values = (input.size() + delay) * (o.stereo ? 2 : 1);
    for (size_t at = 0; rig.out.played.size() < values; at += length) {
        std::vector<int16_t> block(length, 0);
        for (size_t i = 0; i < length && at + i < input.size(); ++i)
            block[i] = input[at + i];
        rig.capture(block);
        while (rig.finish()) {
        }
    }
    // Aligned to the input, as the file tool writes it.
    const size_t skip = delay * (o.stereo ? 2 : 1);
    return std::vector<int16_t>(rig.out.played.begin() + skip, rig.out.played.end());
}

std::vector<int16_t> streamingPath(int32_t rate, const file_tool::Options& o,
                                   const std::vector<int16_t>& input, size_t call) {
    const uint32_t channels = o.stereo ? 2 : 1;
    auto s = lv2_plugin::EngineStream::create(rate, channels);
    if (!s) return {};
    cli::applyOptions(o, s->engine());
    EXPECT_EQ(s->latency(), engine::kStreamingLatency + engine::inputDelayFor(o.settings, rate));
    std::vector<float> in(input.size()), out[2];
    for (size_t i = 0; i < input.size(); ++i)
        in[i] = static_cast<float>(input[i]) / 32768.0f;
    for (auto& c : out)
        c.resize(input.size());
    for (size_t at = 0; at < input.size(); at += call) {
        float* outs[2] = {out[0].data() + at, out[1].data() + at};
        s->process(in.data() + at, outs, static_cast<uint32_t>(std::min(call, input.size() - at)));
    }
    std::vector<int16_t> played;
    for (size_t i = 0; i < input.size(); ++i)
        for (uint32_t c = 0; c < channels; ++c)
            played.push_back(static_cast<int16_t>(std::lround(out[c][i] * 32768.0f)));
    return played;
}

TEST(StreamingPath, PlaysTheBlockPathsSamplesForAnySplitOfTheInput) {
    const size_t kCalls[] = {1, 37, 256, 4096};
    size_t call = 0;
    for (int32_t rate : {8000, 11025, 22050, 44100, 48000}) {
        const auto input = signal(rate, static_cast<size_t>(rate) * 3 / 2);
        for (const char* line : kOptionSets) {
            const auto o = parse(line);
            const size_t ch = o.stereo ? 2 : 1;
            const auto block = blockPath(rate, o, input);
            // Every split at the first rate, then one split per case in turn.
            for (size_t k = 0; k < (rate == 8000 ? 4u : 1u); ++k, ++call) {
                const size_t split = kCalls[call % 4];
                const auto stream = streamingPath(rate, o, input, split);
                ASSERT_EQ(stream.size(), input.size() * ch);
                const size_t latency =
                    (engine::kStreamingLatency + engine::inputDelayFor(o.settings, rate)) * ch;
                // Before the pipeline's first output; after it, a blanker's
                // look-ahead may hold what a frame spreads ahead of the input.
                for (size_t i = 0; i < engine::kStreamingLatency * ch; ++i)
                    ASSERT_EQ(stream[i], 0);
                const size_t common = std::min(stream.size() - latency, block.size());
                ASSERT_EQ(common, stream.size() - latency);
                size_t differing = 0;
                for (size_t i = 0; i < common; ++i)
                    differing += stream[latency + i] != block[i];
                EXPECT_EQ(differing, 0u)
                    << rate << " Hz, calls of " << split << ", options '" << line << "'";
            }
        }
    }
}

TEST(StreamingPath, TheBlankerWithNothingToTakeOutOnlyDelaysAndTheFileToolRealigns) {
    // Through the spectrum unchanged: the filter's frames would fall
    // elsewhere on the delayed signal.
    for (int32_t rate : {8000, 44100}) {
        auto input = signal(rate, static_cast<size_t>(rate));
        input.resize(input.size() / 2);  // before the stretch that clips
        const auto on = blockPath<engine::PassThroughEngine>(rate, parse("--blanker"), input);
        const auto off = blockPath<engine::PassThroughEngine>(rate, parse(""), input);
        ASSERT_GE(on.size(), input.size());
        ASSERT_GE(off.size(), input.size());
        // From where the frames overlap fully without the delay; a sample
        // out of place would leave far more than the synthesis' rounding.
        double error = 0.0, power = 0.0;
        for (size_t i = engine::kFftSize; i < input.size(); ++i) {
            error += (on[i] - off[i]) * double(on[i] - off[i]);
            power += off[i] * double(off[i]);
        }
        EXPECT_LT(10 * std::log10(error / power), -50.0) << rate;
    }
}

// The device seams at low latency: hop-sized buffers, and a playback device
// that holds on to its buffers stalls processing and then capture (at the
// device, as on the block path) without losing or reordering a sample.
TEST(StreamingPath, AStalledPlaybackDeviceStallsCaptureWithoutLosingASample) {
    const int32_t rate = 11025;
    EngineRig<> rig(rate, 0, false);
    rig.engine->latencyMode = engine::LatencyMode::Low;
    rig.window->create();
    ASSERT_EQ(rig.engine->captureHeaders[0].dwBufferLength, engine::kHop * 2);
    const auto input = signal(rate, static_cast<size_t>(rate) * 5);
    auto hopAt = [&](size_t at) {
        std::vector<int16_t> hop(engine::kHop, 0);
        for (size_t i = 0; i < hop.size() && at + i < input.size(); ++i)
            hop[i] = input[at + i];
        return hop;
    };
    size_t fed = 0;
    while (rig.capture(hopAt(fed)))
        fed += engine::kHop;
    EXPECT_EQ(rig.out.queued(), engine::kBufferCount);
    EXPECT_LT(fed, input.size() / 2);  // the ring is full: capture has stalled
    const size_t values = input.size() + engine::kPipelineDelay;
    while (rig.out.played.size() < values) {
        if (rig.capture(hopAt(fed))) fed += engine::kHop;
        while (rig.finish()) {
        }
    }
    EXPECT_EQ(rig.out.played.size() % engine::kHop, 0u);
    const auto block = blockPath(rate, parse(""), input);
    const std::vector<int16_t> stream(rig.out.played.begin() + engine::kPipelineDelay,
                                      rig.out.played.begin() + values);
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), block.begin()));
}

}  // namespace
