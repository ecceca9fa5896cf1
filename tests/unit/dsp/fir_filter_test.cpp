#include "dsp/fir_filter.h"

#include <cmath>
#include <complex>
#include <cstdlib>
#include <numbers>

#include "support/host_fixture.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

// |H(f)| of a designed filter, straight from its coefficients.
double response(const CFirFilter& f, double hz) {
    std::complex<double> sum = 0.0;
    for (uint32_t j = 0; j < f.nTaps; ++j) {
        const double angle = -kTwoPi * hz / f.nDesignRate * j;
        sum += f.pdaCoefficents[j] * std::complex<double>(std::cos(angle), std::sin(angle));
    }
    return std::abs(sum);
}

TEST(FirFilter, DesignsAreSymmetricWithZeroEndsAtEveryRate) {
    for (uint32_t rate : {8000u, 11025u, 22050u, 44100u}) {
        Prefilters p;
        designPrefilters(p, rate);
        for (const CFirFilter* f : {&p.voiceLow, &p.voiceHigh, &p.music}) {
            ASSERT_NE(f->pdaCoefficents, nullptr);
            EXPECT_EQ(f->nDesignRate, rate);
            EXPECT_EQ(f->pdaCoefficents[0], 0.0);
            EXPECT_EQ(f->pdaCoefficents[f->nTaps - 1], 0.0);
            for (uint32_t i = 0; i < f->nTaps; ++i)
                EXPECT_EQ(f->pdaCoefficents[i], f->pdaCoefficents[f->nTaps - 1 - i]);
            for (uint32_t i = 0; i < f->nTaps; ++i)
                EXPECT_TRUE(std::isfinite(f->pdaCoefficents[i]));
        }
        EXPECT_EQ(p.voiceLow.nTaps, 71u);
        EXPECT_EQ(p.voiceHigh.nTaps, 31u);
        EXPECT_EQ(p.music.nTaps, 101u);
    }
}

TEST(FirFilter, CentreCoefficientBeforeAndAfterWindowing) {
    CFirFilter f;
    ASSERT_EQ(f.designBandPass(71, 11025, 100.0, 800.0), 0);
    const double unwindowed = 2.0 * (800.0 - 100.0) / 11025.0;
    EXPECT_NEAR(unwindowed, 0.12698, 1e-5);
    const double h = 0.5 - 0.5 * std::cos(35 * (kTwoPi / 71));
    EXPECT_NEAR(f.pdaCoefficents[35], unwindowed * h, 1e-16);
    // The unwindowed value is recoverable from the window itself.
    EXPECT_NEAR(f.pdaCoefficents[35] / h, unwindowed, 1e-15);
}

TEST(FirFilter, ImpulseReturnsTheCoefficientsAndPositionWraps) {
    CFirFilter f;
    ASSERT_EQ(f.designBandPass(31, 11025, 1300.0, 4400.0), 0);
    for (uint32_t j = 0; j < 31; ++j) {
        EXPECT_EQ(f.filter(j == 0 ? 1.0 : 0.0), f.pdaCoefficents[j]) << j;
        EXPECT_EQ(f.nPosition, (j + 1) % 31);
    }
    EXPECT_EQ(f.nPosition, 0u);
    // Across the wrap the impulse has left the line, and a new one starts over.
    EXPECT_EQ(f.filter(2.0), 2.0 * f.pdaCoefficents[0]);
    EXPECT_EQ(f.filter(0.0), 2.0 * f.pdaCoefficents[1]);
}

TEST(FirFilter, PassAndStopBandsWhereTheEdgesSay) {
    Prefilters p;
    designPrefilters(p, 11025);
    // Music: 80-4800 Hz with 101 taps.
    EXPECT_NEAR(response(p.music, 1000.0), 1.0, 0.02);
    EXPECT_NEAR(response(p.music, 3000.0), 1.0, 0.02);
    EXPECT_LT(response(p.music, 5400.0), 0.05);
    // Voice low band: 100-800 Hz with 71 taps.
    EXPECT_NEAR(response(p.voiceLow, 400.0), 1.0, 0.05);
    EXPECT_LT(response(p.voiceLow, 2500.0), 0.01);
    // Voice high band: 1300-4400 Hz with only 31 taps: wide transitions.
    EXPECT_NEAR(response(p.voiceHigh, 2800.0), 1.0, 0.05);
    EXPECT_LT(response(p.voiceHigh, 100.0), 0.05);
}

TEST(FirFilter, EdgesAboveNyquistAreAppliedUnchanged) {
    CFirFilter f;
    ASSERT_EQ(f.designBandPass(101, 8000, 80.0, 4800.0), 0);
    const double w1 = kTwoPi * 80.0 / 8000, w2 = kTwoPi * 4800.0 / 8000;
    const double h = 0.5 - 0.5 * std::cos(50 * (kTwoPi / 101));
    EXPECT_NEAR(f.pdaCoefficents[50], (w2 - w1) / std::numbers::pi * h, 1e-15);
}

int allocations = 0;
int failAt = 0;
void* failingAllocator(size_t count, size_t size) {
    return ++allocations == failAt ? nullptr : std::calloc(count, size);
}

class FirAllocation : public HostTest {
  protected:
    void TearDown() override {
        CFirFilter::allocator = saved;
        HostTest::TearDown();
    }
    CFirFilter::Allocator saved = CFirFilter::allocator;
};

TEST_F(FirAllocation, FailureLeavesASilentFilterAndIsCounted) {
    for (int which : {1, 2}) {
        host.boxes.clear();
        allocations = 0;
        failAt = which;
        CFirFilter::allocator = failingAllocator;
        CFirFilter f;
        EXPECT_EQ(f.designBandPass(71, 11025, 100.0, 800.0), which == 1 ? -10 : -20);
        EXPECT_EQ(f.pdaCoefficents, nullptr);
        EXPECT_EQ(f.pdaDelayLine, nullptr);
        EXPECT_EQ(f.filter(1000.0), 0.0);
    }
    // The caller reports the failures, one per filter.
    allocations = 0;
    failAt = 3;
    Prefilters p;
    EXPECT_EQ(designPrefilters(p, 11025), 1);
    EXPECT_EQ(p.voiceHigh.pdaCoefficents, nullptr);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(FirAllocation, ConstructorReportsItsStatus) {
    allocations = 0;
    failAt = 2;
    CFirFilter::allocator = failingAllocator;
    CFirFilter f(71, 11025);
    EXPECT_EQ(f.status(), -20);
    CFirFilter::allocator = saved;
    CFirFilter g(71, 11025);
    EXPECT_EQ(g.status(), 0);
    EXPECT_EQ(g.nTaps, 71u);
    EXPECT_EQ(g.filter(5.0), 0.0);  // all coefficients still zero
}

}  // namespace
