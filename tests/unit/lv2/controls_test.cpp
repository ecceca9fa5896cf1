// The plugin's control values as engine settings, and its latency as the
// delay its output really has.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "app/lv2/controls.h"
#include "app/lv2/engine_stream.h"
#include "engine/settings.h"

namespace {

using lv2_plugin::ControlMapper;
using lv2_plugin::Controls;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The port defaults: every switch as the engine starts, the noise floor off.
Controls defaults() {
    return Controls{1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1200, 0, 30, 0, 8};
}

// The plugins' lists name the engine's vocabularies item for item, in order.
TEST(Lv2Description, ItsListsAreTheEnginesVocabularies) {
    std::ifstream in(TARNIX_LV2_PORTS);
    const std::string ttl((std::istreambuf_iterator<char>(in)), {});
    ASSERT_FALSE(ttl.empty());
    const auto expect = [&](const std::string& symbol, const auto& vocabulary) {
        const size_t from = ttl.find("lv2:symbol \"" + symbol + "\"");
        ASSERT_NE(from, std::string::npos) << symbol;
        const size_t to = std::min(ttl.find("lv2:symbol", from + 1), ttl.size());
        const std::regex label("rdfs:label \"([^\"]*)\"");
        std::vector<std::string> listed, named;
        for (std::sregex_iterator i(ttl.begin() + static_cast<std::ptrdiff_t>(from),
                                    ttl.begin() + static_cast<std::ptrdiff_t>(to), label),
             end;
             i != end; ++i)
            listed.push_back((*i)[1]);
        for (const auto& item : vocabulary)
            named.push_back(item.label);
        EXPECT_EQ(listed, named) << symbol;
    };
    expect("band", engine::kBandPresets);
    expect("heterodyne", engine::kHeterodyneModes);
    expect("prefilter", engine::kPrefilters);
}

TEST(Lv2Controls, AnUnconnectedPortLeavesItsSettingAlone) {
    auto engine = std::make_unique<CAudioEngine>();
    ControlMapper mapper;
    Controls c = defaults();
    c.equalizer = 0;
    c.heterodyne = 2;  // slow
    c.prefilter = 2;   // music
    mapper.apply(c, *engine);
    ASSERT_EQ(engine->equalizerOn, 0u);
    ASSERT_EQ(engine->heterodyneMode, 20u);
    for (float Controls::*field : lv2_plugin::kControlFields)
        c.*field = kNaN;
    engine->expandorOn = 1;
    mapper.apply(c, *engine);
    EXPECT_EQ(engine->equalizerOn, 0u);
    EXPECT_EQ(engine->expandorOn, 1u);
    EXPECT_EQ(engine->heterodyneMode, 20u);
    EXPECT_EQ(engine->musicPrefilterOn, 1u);
    EXPECT_EQ(engine->minimumAmplitude[100], 1200.0);

    // The same on the very first call: nothing is applied for them.
    auto fresh = std::make_unique<CAudioEngine>();
    fresh->heterodyneMode = 6;
    fresh->equalizerOn = 0;
    ControlMapper first;
    first.apply(c, *fresh);
    EXPECT_EQ(fresh->heterodyneMode, 6u);
    EXPECT_EQ(fresh->equalizerOn, 0u);
}

TEST(Lv2Controls, AToggleAtOneHalfIsOnAndTheSmootherGoesBackOff) {
    auto engine = std::make_unique<CAudioEngine>();
    ControlMapper mapper;
    Controls c = defaults();
    c.lms = 0.5f;
    c.exponential = 0.5f;
    mapper.apply(c, *engine);
    EXPECT_EQ(engine->lmsFilterOn, 1u);
    EXPECT_EQ(engine->exponentialFactor, 0.5);
    c.lms = 0.49f;
    c.exponential = 0.0f;
    mapper.apply(c, *engine);
    EXPECT_EQ(engine->lmsFilterOn, 0u);
    EXPECT_EQ(engine->exponentialFactor, 0.0);

    c.enhance = 1.0f;
    c.enhanceFloor = 12.4f;
    mapper.apply(c, *engine);
    EXPECT_TRUE(engine->enhancement.on);
    EXPECT_NEAR(engine->enhancement.floorGain, std::pow(10.0, -12.0 / 20.0), 1e-12);

    c.blanker = 1.0f;
    c.blankerThreshold = 5.0f;
    mapper.apply(c, *engine);
    EXPECT_TRUE(engine->blankerOn);
    EXPECT_EQ(engine->blanker.threshold(), 5.0);
}

// An impulse comes out exactly `latency` frames later: the number the
// plugin reports is the delay itself, not just consistent with it.
TEST(Lv2Latency, IsTheDelayOfAnImpulseToTheSample) {
    // The streaming path's floor, whatever the rate: a frame and the
    // pipeline's two hops, less the sample that completes the frame.
    const std::pair<int32_t, uint32_t> cases[] = {{11025, 1535}, {44100, 1535}};
    for (auto [rate, expected] : cases) {
        // Whatever the host's calls, down to one frame each.
        for (uint32_t call : {1u, 37u, 0u}) {
            const auto stream = lv2_plugin::EngineStream::create(rate, 1);
            ASSERT_NE(stream, nullptr);
            EXPECT_EQ(stream->latency(), expected) << rate;
            const size_t at = 10000;
            std::vector<float> in(at + expected + 3 * 4096, 0.0f);
            // On a quiet bed of noise: a click in pure silence does not come out.
            std::mt19937 rng(3);
            std::uniform_real_distribution<float> bed(-0.01f, 0.01f);
            for (float& x : in)
                x = bed(rng);
            in[at] = 0.9f;
            std::vector<float> out(in.size());
            const size_t size = call ? call : in.size();
            for (size_t done = 0; done < in.size(); done += size) {
                float* outs[] = {out.data() + done};
                stream->process(in.data() + done, outs,
                                static_cast<uint32_t>(std::min(size, in.size() - done)));
            }
            const auto peak = std::max_element(out.begin(), out.end(), [](float a, float b) {
                return std::fabs(a) < std::fabs(b);
            });
            ASSERT_GT(std::fabs(*peak), 0.02f) << rate;  // above the bed
            EXPECT_EQ(static_cast<size_t>(peak - out.begin()), at + stream->latency())
                << rate << " Hz, calls of " << call;
        }
    }
}

}  // namespace
