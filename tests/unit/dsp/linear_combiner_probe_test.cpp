// The size of the combiner's probe: 0.001 times the matrix's number.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "dsp/linear_combiner.h"

namespace {

TEST(LinearCombinerProbe, MovesOneWeightByItsMatrixsStepOrNotAtAll) {
    CLinearCombiner c;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> dist(-20000.0, 20000.0);
    int accepted[3] = {}, wrong = 0;
    std::ostringstream first;
    for (int i = 0; i < 27 * 40; ++i) {
        const CLinearCombiner before = c;
        c.filter(dist(rng));
        const uint32_t q = 9 * c.nProbeMatrix + 3 * c.nProbeRow + c.nProbeColumn;
        const double step = (c.nProbeMatrix + 1) * 0.001;
        for (uint32_t k = 0; k < 27; ++k) {
            const double now = c.daWeights[k], old = before.daWeights[k];
            if (now == old) continue;
            if (k == q && (now == old + step || now == old - step)) {
                ++accepted[c.nProbeMatrix];
            } else if (wrong++ == 0) {
                first << "weight " << k << " moved by " << now - old << " probing " << q;
            }
        }
    }
    EXPECT_EQ(wrong, 0) << first.str();
    // W1's reaching column, W2 and W3 all learn.
    for (int m = 0; m < 3; ++m)
        EXPECT_GT(accepted[m], 0) << m;
}

}  // namespace
