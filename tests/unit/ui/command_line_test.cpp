// The desktop program's command line, and its low latency reaching the engine
// through the window's creation.
#include "ui/command_line.h"

#include <gtest/gtest.h>

#include "support/ui_rig.h"

namespace {

ui::DesktopCommandLine parse(std::vector<const char*> args) {
    args.insert(args.begin(), "tarnix");
    return ui::parseDesktopCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(DesktopCommandLine, ChoosesTheTimingAndNamesEveryMistake) {
    EXPECT_EQ(parse({}).latency, engine::LatencyMode::Design);
    EXPECT_EQ(parse({"--latency", "low"}).latency, engine::LatencyMode::Low);
    EXPECT_EQ(parse({"--latency=low", "--latency", "design"}).latency, engine::LatencyMode::Design);
    EXPECT_EQ(parse({"--latency"}).error, "--latency needs a value: design or low");
    EXPECT_EQ(parse({"--latency", "fast"}).error, "--latency: 'fast' is not one of design, low");
    const auto unknown = parse({"-platform", "--help"});
    EXPECT_TRUE(unknown.unknownArgument);
    EXPECT_TRUE(unknown.help);  // answered even after a mistake
    EXPECT_TRUE(parse({"--version"}).version);
    EXPECT_NE(ui::desktopHelp("tarnix", ui::HelpLayout::MessageBox).find("1535 samples after"),
              std::string::npos);
}

TEST(DesktopCommandLine, LowLatencyPlaysEachHopAsSoonAsItIsFinal) {
    UiRig rig("classic.json", engine::LatencyMode::Low);
    rig.create();
    const CAudioEngine& e = *rig.engine;
    ASSERT_TRUE(e.lowLatency());
    EXPECT_EQ(e.captureHeaders[0].dwBufferLength, engine::kHop * 2);
    // Four hops complete the first frame, which makes the first hop final.
    for (int hop = 0; hop < 4; ++hop) {
        EXPECT_EQ(rig.out.queued(), 0u);
        ASSERT_TRUE(rig.in.fill(std::vector<int16_t>(engine::kHop, 1000)));
        rig.host.runUntilIdle();
    }
    EXPECT_EQ(rig.out.queued(), 1u);
    EXPECT_FALSE(rig.out.isPaused());
}

}  // namespace
