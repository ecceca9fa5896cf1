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

TEST(DelayKeeperTiming, ALossOver8MsIsGivenBackWithinASecondWithoutOvershoot) {
    for (double lost : {0.1, 0.02, -0.02}) {
        KeptDelay d;
        ASSERT_TRUE(d.run(2000).empty());
        d.captured -= d.frames(lost);
        // A loss inside a measuring window shows in part in that window's
        // mean: the rest follows with the next one, if it is over 8 ms.
        const auto changes = d.run(1000);
        ASSERT_FALSE(changes.empty()) << lost;
        EXPECT_LE(changes.size(), 2u) << lost;
        long sum = 0;
        for (long c : changes) {
            EXPECT_EQ(c<0, lost> 0) << lost;  // all one way: none taken back
            sum += c;
        }
        // What is left is within the 8 ms the keeper tolerates.
        EXPECT_NEAR(sum, -d.frames(lost), d.frames(0.008)) << lost;
        EXPECT_TRUE(d.run(3000).empty()) << lost;
    }
    // Less than the tolerance is left alone.
    KeptDelay d;
    d.run(2000);
    d.captured -= d.frames(0.006);
    EXPECT_TRUE(d.run(3000).empty());
}

}  // namespace
