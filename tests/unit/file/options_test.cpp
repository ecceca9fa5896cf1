// tarnix-file's options as the engine sees them: each value reaches the
// engine command it names.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/cli/numbers.h"
#include "app/file/options.h"
#include "parse_options.h"
#include "support/engine_rig.h"

namespace {

using file_test::parse;

TEST(FileToolOptions, EveryExponentialValueSelectsItsOwnFactor) {
    for (int tenths = 0; tenths <= 9; ++tenths) {
        const std::string value = tenths == 0 ? "off" : "0." + std::to_string(tenths);
        const auto options = parse({"--exponential", value});
        ASSERT_TRUE(options) << value;
        EngineRig<> rig(8000, 0);
        cli::applyOptions(*options, *rig.engine);
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
    cli::applyOptions(*options, *rig.engine);
    const auto& mask = rig.engine->bandMask;
    EXPECT_EQ(mask[127], 0u);
    EXPECT_EQ(mask[128], 1u);
    EXPECT_EQ(mask[255], 1u);
    EXPECT_EQ(mask[256], 0u);
}

TEST(FileToolOptions, EnhanceTurnsTheExpandorOffUnlessItIsAskedFor) {
    const std::vector<std::pair<std::vector<std::string>, bool>> cases{
        {{}, true},
        {{"--no-expandor"}, false},
        {{"--enhance"}, false},
        {{"--enhance", "--expandor"}, true},
        {{"--enhance", "--no-expandor"}, false},
    };
    for (const auto& [args, expandor] : cases) {
        const auto options = parse(args);
        ASSERT_TRUE(options) << ::testing::PrintToString(args);
        EXPECT_EQ(options->settings.expandor, expandor) << ::testing::PrintToString(args);
    }
    EXPECT_FALSE(parse({"--enhance", "--expandor", "--no-expandor"}));
    // What only means something with --enhance is refused without it.
    EXPECT_FALSE(parse({"--expandor"}));
    EXPECT_FALSE(parse({"--enhance-floor", "20"}));
    const auto floor = parse({"--enhance", "--enhance-floor", "010"});
    ASSERT_TRUE(floor);
    EXPECT_EQ(floor->settings.enhancementFloor, 10);  // decimal, not octal
}

TEST(FileToolOptions, TheBlankerThresholdNeedsTheBlankerAndItsRange) {
    auto options = parse({"--blanker"});
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->settings.blanker);
    EXPECT_EQ(options->settings.blankerThreshold, CNoiseBlanker::kDefaultThreshold);
    options = parse({"--blanker", "--blanker-threshold", "5.5"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->settings.blankerThreshold, 5.5);
    EXPECT_FALSE(parse({"--blanker-threshold", "5"}));
    EXPECT_FALSE(parse({"--blanker", "--blanker-threshold", "2"}));
    EXPECT_FALSE(parse({"--blanker", "--blanker-threshold", "nan"}));
    EXPECT_FALSE(parse({}).value().settings.blanker);
}

}  // namespace

namespace {

// The number checks every program's command line shares: what is wrong is said
// in words, and nothing that is not a usable value gets through.
TEST(CommandLineNumbers, NothingUnusableGetsThroughAndOverflowIsCappedOrRefused) {
    // The programs' own messages are checked end to end; these are the edges.
    int rate = -1;
    for (const char* bad : {"99999999999999999999", "nan", "12000", "-8000"})
        EXPECT_NE(cli::parseRate(bad, 0, 0, {8000, 11025, 22050, 44100}, rate), "") << bad;
    EXPECT_EQ(rate, -1);
    EXPECT_EQ(cli::parseRate("48000", 8000, 48000, {}, rate), "");
    EXPECT_EQ(rate, 48000);

    double seconds = -1;
    for (const char* bad : {"", "nan", "-nan", "inf", "-1", "0", "-0", "1e-400", "x1"})
        EXPECT_NE(cli::parseSeconds(bad, 100, cli::AboveMost::Cap, seconds), "") << bad;
    EXPECT_EQ(seconds, -1);
    // What overflows is cut to the longest run, or refused in words.
    for (const char* huge : {"1e300", "2e15", "1e400"}) {
        EXPECT_EQ(cli::parseSeconds(huge, 100, cli::AboveMost::Cap, seconds), "");
        EXPECT_EQ(seconds, 100);
        const std::string error = cli::parseSeconds(huge, 100, cli::AboveMost::Refuse, seconds);
        EXPECT_NE(error.find("at most 100 seconds"), std::string::npos) << error;
        EXPECT_LT(error.size(), 80u) << error;
    }
    EXPECT_EQ(cli::parseSeconds("2.5", 100, cli::AboveMost::Refuse, seconds), "");
    EXPECT_EQ(seconds, 2.5);

    // Too small to hold is a value near 0 (the engine's floor applies); too large is an error.
    double value = -1;
    EXPECT_EQ(cli::parseNumber("1e-320", value), "");
    EXPECT_GE(value, 0.0);
    EXPECT_LT(value, 1e-300);
    EXPECT_NE(cli::parseNumber("1e400", value).find("too large"), std::string::npos);

    // Whole numbers are decimal, leading zeros and all; anything else says what it is.
    int whole = -1;
    EXPECT_EQ(cli::parseWhole("0100", 16, 4096, whole), "");
    EXPECT_EQ(whole, 100);
    const std::pair<const char*, const char*> wrong[] = {
        {"", "expected a whole number from 0 to 40; found nothing"},
        {"40.0", "'40.0' is not written as a whole number; write 40"},
        {"1e1", "'1e1' is not written as a whole number; write 10"},
        {"0x10", "'0x10' is not written as a whole number; write 16"},
        {"2.5", "'2.5' is not a whole number; expected one from 0 to 40"},
        {"abc", "'abc' is not a number; expected a whole number from 0 to 40"},
        {"41", "'41' is out of range; expected from 0 to 40"},
        {"-1", "'-1' is out of range; expected from 0 to 40"},
        {"99999999999999999999", "is out of range"},
    };
    for (const auto& [text, message] : wrong) {
        const std::string error = cli::parseWhole(text, 0, 40, whole);
        EXPECT_NE(error.find(message), std::string::npos) << text << ": " << error;
    }
    EXPECT_EQ(whole, 100);
}

}  // namespace
