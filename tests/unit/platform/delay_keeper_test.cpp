// The delay keeper on a scripted clock: when it measures, what it keeps and
// how it gives a loss back.
#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "platform/alsa/delay_keeper.h"

namespace {

using namespace std::chrono;

// Capture and playback moving at the rate in steps of 10 ms, with a little
// jitter in the capture position; every correction is applied to it.
struct KeptDelay {
    static constexpr unsigned kRate = 11025;
    alsa::detail::DelayKeeper keeper{kRate};
    alsa::detail::Clock::time_point t{};
    double captured = 4000, played = 0;
    long applied = 0;
    int steps = 0;
    // The corrections made in `ms` milliseconds of playback.
    std::vector<long> run(int ms) {
        std::vector<long> changes;
        for (int i = 0; i < ms / 10; ++i, ++steps) {
            t += milliseconds(10);
            captured += kRate / 100.0;
            played += kRate / 100.0;
            const double jitter = (steps % 3 - 1) * 20.0;
            const long change = keeper.step(captured + jitter - applied, true, played, t);
            if (change != 0) changes.push_back(change);
            applied += change;
        }
        return changes;
    }
    double frames(double seconds) const { return kRate * seconds; }
};

TEST(DelayKeeperTiming, TheFirstHalfSecondIsLeftAloneAndWhatItEndsAtIsKept) {
    KeptDelay d;
    EXPECT_TRUE(d.run(200).empty());
    d.captured += d.frames(0.03);  // the start settling: 30 ms more in the devices
    EXPECT_TRUE(d.run(3000).empty());
    ASSERT_TRUE(d.keeper.known());
    EXPECT_NEAR(d.keeper.baseline(), 4000 + d.frames(0.03), 25);
}

TEST(DelayKeeperTiming, ALossOver8MsIsGivenBackInOneCorrectionWithinHalfASecond) {
    for (double lost : {0.1, 0.02, -0.02}) {
        for (int phase : {0, 50, 150}) {  // where in a measuring window it falls
            KeptDelay d;
            ASSERT_TRUE(d.run(2000 + phase).empty());
            d.captured -= d.frames(lost);
            const auto changes = d.run(500);
            ASSERT_EQ(changes.size(), 1u) << lost << " at " << phase;
            // What is left is within the jitter.
            EXPECT_NEAR(changes[0], -d.frames(lost), 25) << lost << " at " << phase;
            EXPECT_TRUE(d.run(3000).empty()) << lost << " at " << phase;
        }
    }
    // Less than the tolerance is left alone.
    KeptDelay d;
    d.run(2000);
    d.captured -= d.frames(0.006);
    EXPECT_TRUE(d.run(3000).empty());
}

}  // namespace
