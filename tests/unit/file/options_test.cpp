// tarnix-file's options as the engine sees them: each value reaches the
// engine command it names.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/file/options.h"
#include "support/engine_rig.h"

namespace {

std::optional<file_tool::Options> parse(std::vector<std::string> args) {
    args.insert(args.begin(), "tarnix-file");
    args.push_back("in.wav");
    args.push_back("out.wav");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    int code = -1;
    return file_tool::parseOptions(static_cast<int>(argv.size()), argv.data(), code);
}

TEST(FileToolOptions, EveryExponentialValueSelectsItsOwnFactor) {
    for (int tenths = 0; tenths <= 9; ++tenths) {
        const std::string value = tenths == 0 ? "off" : "0." + std::to_string(tenths);
        const auto options = parse({"--exponential", value});
        ASSERT_TRUE(options) << value;
        EngineRig<> rig(8000, 0);
        file_tool::applyOptions(*options, *rig.engine);
        EXPECT_DOUBLE_EQ(rig.engine->exponentialFactor, tenths / 10.0) << value;
    }
}

TEST(FileToolOptions, RangesTakeTheBinsFromLowUpToButNotIncludingHigh) {
    // At 8000 Hz bin k lies at k * 7.8125 Hz: 1000 Hz is bin 128, 2000 Hz bin 256.
    const auto options = parse({"--stop", "1000-2000", "--stop", "1e-3-1.5e1"});
    ASSERT_TRUE(options);
    ASSERT_EQ(options->bands.size(), 2u);
    EXPECT_DOUBLE_EQ(options->bands[1].lowHz, 0.001);
    EXPECT_DOUBLE_EQ(options->bands[1].highHz, 15.0);
    EngineRig<> rig(8000, 0);
    file_tool::applyOptions(*options, *rig.engine);
    const auto& mask = rig.engine->bandMask;
    EXPECT_EQ(mask[127], 0u);
    EXPECT_EQ(mask[128], 1u);
    EXPECT_EQ(mask[255], 1u);
    EXPECT_EQ(mask[256], 0u);
}

}  // namespace
