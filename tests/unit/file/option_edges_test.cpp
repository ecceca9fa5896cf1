// The ends of what tarnix-file takes: the ranges of its options (the ends
// get through, what lies just past them does not) and floating-point
// samples at and near full scale.
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/cli/audio_files.h"
#include "app/cli/numbers.h"
#include "app/file/options.h"
#include "parse_options.h"
#include "support/engine_rig.h"

namespace {

using file_test::parse;

TEST(OptionEdges, TheLongestRunIsAcceptedAndNothingLonger) {
    using cli::AboveMost;
    for (AboveMost above : {AboveMost::Refuse, AboveMost::Cap}) {
        double seconds = -1;
        EXPECT_EQ(cli::parseSeconds("86400", 86400, above, seconds), "");
        EXPECT_EQ(seconds, 86400);
    }
    double seconds = -1;
    EXPECT_NE(cli::parseSeconds("86400.5", 86400, AboveMost::Refuse, seconds), "");
    EXPECT_EQ(seconds, -1);
}

TEST(OptionEdges, EnhancementFloorRunsFromZeroToForty) {
    for (auto [floor, gain] : {std::pair{"0", 1.0}, std::pair{"40", 0.01}}) {
        const auto options = parse({"--enhance", "--enhance-floor", floor});
        ASSERT_TRUE(options) << floor;
        EngineRig<> rig(8000, 0);
        cli::applyOptions(*options, *rig.engine);
        EXPECT_TRUE(rig.engine->enhancement.on) << floor;
        EXPECT_NEAR(rig.engine->enhancement.floorGain, gain, 1e-12) << floor;
    }
    for (const char* bad : {"-1", "41"})
        EXPECT_FALSE(parse({"--enhance", "--enhance-floor", bad})) << bad;
}

TEST(FloatInput, FullScaleIs32768AndSamplesAreRounded) {
    const std::vector<double> values = {30000 / 32768.0, -30000 / 32768.0, 1.0,          -1.0,
                                        0.75 / 32768,    -0.75 / 32768,    0.25 / 32768, 1.5};
    const std::vector<int16_t> expected = {30000, -30000, 32767, -32768, 1, -1, 0, 32767};
    for (int subtype : {SF_FORMAT_FLOAT, SF_FORMAT_DOUBLE}) {
        char name[] = "/tmp/tarnix-float-XXXXXX";
        const int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        SF_INFO info{};
        info.samplerate = 8000;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | subtype;
        SNDFILE* f = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
        ASSERT_NE(f, nullptr);
        sf_write_double(f, values.data(), sf_count_t(values.size()));
        sf_close(f);
        std::vector<int16_t> got(values.size());
        {
            cli::InputFile in(name);
            EXPECT_EQ(in.read(got.data(), got.size()), got.size());
        }
        unlink(name);
        EXPECT_EQ(got, expected) << subtype;
    }
}

}  // namespace
