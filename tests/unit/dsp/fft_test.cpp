#include "dsp/fft.h"
#include "dsp/cpu.h"

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "support/host_fixture.h"

namespace {

using Complex = std::complex<double>;

// Direct DFT with the sign the tables and the recurrence define: the forward
// flag turns the twiddle by +delta per step.
std::vector<Complex> directDft(const std::vector<Complex>& x, double sign) {
    const size_t n = x.size();
    std::vector<Complex> out(n);
    for (size_t k = 0; k < n; ++k) {
        Complex sum = 0.0;
        for (size_t m = 0; m < n; ++m) {
            const double angle =
                sign * 2.0 * std::numbers::pi * static_cast<double>((k * m) % n) / n;
            sum += x[m] * Complex(std::cos(angle), std::sin(angle));
        }
        out[k] = sum;
    }
    return out;
}

double maxAbs(const std::vector<Complex>& v) {
    double m = 0.0;
    for (const auto& c : v)
        m = std::max(m, std::abs(c));
    return m;
}

class FftTest : public HostTest {};

TEST_F(FftTest, ForwardAndInverseMatchDirectDftAtSeveralSizes) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> dist(-32768.0, 32767.0);
    for (uint32_t n : {2u, 4u, 8u, 64u, 512u, 1024u, 2048u}) {
        CFft fft;
        ASSERT_EQ(fft.initialize(n), 0);
        std::vector<double> re(n), im(n), outRe(n), outIm(n);
        std::vector<Complex> x(n);
        for (uint32_t i = 0; i < n; ++i) {
            re[i] = dist(rng);
            im[i] = dist(rng);
            x[i] = {re[i], im[i]};
        }

        fft.transform(n, 0, re.data(), im.data(), outRe.data(), outIm.data());
        auto expected = directDft(x, +1.0);
        double scale = maxAbs(expected), worst = 0.0;
        for (uint32_t k = 0; k < n; ++k)
            worst = std::max(worst, std::abs(Complex(outRe[k], outIm[k]) - expected[k]));
        EXPECT_LT(worst / scale, 1e-10) << "forward, n = " << n;

        fft.transform(n, 1, re.data(), im.data(), outRe.data(), outIm.data());
        expected = directDft(x, -1.0);
        worst = 0.0;
        for (uint32_t k = 0; k < n; ++k)
            worst =
                std::max(worst, std::abs(Complex(outRe[k], outIm[k]) * double(n) - expected[k]));
        EXPECT_LT(worst / scale, 1e-10) << "inverse, n = " << n;
    }
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(FftTest, RealInputClearsImaginaryOutputAndRoundTrips) {
    const uint32_t n = 1024;
    CFft fft;
    ASSERT_EQ(fft.initialize(n), 0);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> dist(-1000.0, 1000.0);
    std::vector<double> x(n), re(n), im(n, 12345.0), back(n), backIm(n);
    for (auto& v : x)
        v = dist(rng);

    fft.transform(n, 0, x.data(), nullptr, re.data(), im.data());
    // Real input: the spectrum is conjugate-symmetric, which stale imaginary
    // values would break.
    for (uint32_t k = 1; k < n / 2; ++k) {
        EXPECT_NEAR(re[k], re[n - k], 1e-6);
        EXPECT_NEAR(im[k], -im[n - k], 1e-6);
    }
    EXPECT_NEAR(im[0], 0.0, 1e-9);

    fft.transform(n, 1, re.data(), im.data(), back.data(), backIm.data());
    for (uint32_t i = 0; i < n; ++i) {
        EXPECT_NEAR(back[i], x[i], 1e-8);
        EXPECT_NEAR(backIm[i], 0.0, 1e-8);
    }
}

TEST_F(FftTest, ImpulseGivesFlatSpectrum) {
    const uint32_t n = 256;
    CFft fft;
    ASSERT_EQ(fft.initialize(n), 0);
    std::vector<double> x(n, 0.0), re(n), im(n);
    x[0] = 1.0;
    fft.transform(n, 0, x.data(), nullptr, re.data(), im.data());
    for (uint32_t k = 0; k < n; ++k) {
        EXPECT_DOUBLE_EQ(re[k], 1.0);
        EXPECT_DOUBLE_EQ(im[k], 0.0);
    }
}

TEST_F(FftTest, SizesOneAndTwo) {
    CFft one;
    ASSERT_EQ(one.initialize(1), 0);
    EXPECT_EQ(one.nLog2Size, 0u);
    EXPECT_EQ(one.nArrayBytes, 8u);
    EXPECT_EQ(one.daForwardTwoCos[0], 0.0);  // no tables for a single point
    double re = 0, im = 0, in = 5.5, inIm = -2.0;
    one.transform(1, 0, &in, &inIm, &re, &im);
    EXPECT_EQ(re, 5.5);
    EXPECT_EQ(im, -2.0);
    one.transform(1, 1, &in, nullptr, &re, &im);
    EXPECT_EQ(re, 5.5);
    EXPECT_EQ(im, 0.0);

    CFft two;
    ASSERT_EQ(two.initialize(2), 0);
    EXPECT_EQ(two.nLog2Size, 1u);
    double x[2] = {3.0, 1.0}, r[2], i[2];
    two.transform(2, 0, x, nullptr, r, i);
    EXPECT_DOUBLE_EQ(r[0], 4.0);
    EXPECT_DOUBLE_EQ(r[1], 2.0);
    EXPECT_NEAR(i[0], 0.0, 1e-15);
    EXPECT_NEAR(i[1], 0.0, 1e-15);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(FftTest, RefusesSizesThatAreNotPowersOfTwoOrAboveTheTables) {
    for (uint32_t n : {0u, 1000u}) {
        CFft fft;
        EXPECT_EQ(fft.initialize(n), CFft::kNotPowerOfTwo);
    }
    CFft big;
    EXPECT_EQ(big.initialize(131072), CFft::kTooBig);
    EXPECT_STREQ(CFft::refusalText(CFft::kNotPowerOfTwo), "NOT power of 2!");
    EXPECT_STREQ(CFft::refusalText(CFft::kTooBig), "Too big power of 2!");
    EXPECT_STREQ(CFft::kRefusalCaption, "CFft::initialize");

    CFft largest;
    EXPECT_EQ(largest.initialize(65536), 0);
    EXPECT_EQ(largest.nLog2Size, 16u);
    // The transform itself never shows anything.
    EXPECT_TRUE(host.boxes.empty());
}

TEST(FftTables, HoldTheStageValues) {
    CFft fft;
    ASSERT_EQ(fft.initialize(8), 0);
    const double delta = 6.283185307179586 / 4;  // stage 1: blocks of 4
    EXPECT_EQ(fft.daForwardSin1[1], std::sin(-delta));
    EXPECT_EQ(fft.daForwardCos2[1], std::cos(-2 * delta));
    EXPECT_EQ(fft.daInverseTwoCos[1], 2 * std::cos(delta));
    EXPECT_EQ(fft.daInverseSin2[2], std::sin(2 * (6.283185307179586 / 8)));
    EXPECT_EQ(fft.daForwardSin1[3], 0.0);  // beyond the last stage
}

TEST(FftWindow, PeriodicHannAddsUpToTwoAtQuarterShifts) {
    const uint32_t n = 1024;
    std::vector<double> w(n);
    CFft::makeWindow(w.data(), n);
    EXPECT_EQ(w[0], 0.0);
    EXPECT_EQ(w[n / 2], 1.0);
    for (uint32_t i = 0; i < n / 4; ++i)
        EXPECT_NEAR(w[i] + w[i + 256] + w[i + 512] + w[i + 768], 2.0, 1e-15);

    std::vector<double> buf(n, 3.0);
    CFft::applyWindow(w.data(), buf.data(), n);
    EXPECT_EQ(buf[0], 0.0);
    EXPECT_EQ(buf[n / 2], 3.0);
    EXPECT_EQ(buf[100], 3.0 * w[100]);
}

TEST(FftBinFraction, Edges) {
    EXPECT_EQ(CFft::binFraction(1024, 0), 0.0);
    EXPECT_EQ(CFft::binFraction(1024, 1), 1.0 / 1024);
    EXPECT_EQ(CFft::binFraction(1024, 511), 511.0 / 1024);
    EXPECT_EQ(CFft::binFraction(1024, 512), 0.5);
    EXPECT_EQ(CFft::binFraction(1024, 513), 511.0 / 1024);
    EXPECT_EQ(CFft::binFraction(1024, 1023), 1.0 / 1024);
    EXPECT_EQ(CFft::binFraction(1024, 1024), 0.0);
    EXPECT_EQ(CFft::binFraction(1024, 5000), 0.0);
}

}  // namespace

namespace {

// The transform exactly as its steps are laid down: the recurrence restarted
// for every block from the stage tables, and the division by the size. The
// product may order independent butterflies differently but must give the
// same bits.
void referenceTransform(const CFft& f, uint32_t n, uint32_t inverse, const double* reIn,
                        const double* imIn, double* reOut, double* imOut) {
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t bits = i, j = 0;
        for (uint32_t b = 0; b < f.nLog2Size; ++b, bits >>= 1)
            j = (j << 1) | (bits & 1);
        reOut[j] = reIn[i];
        imOut[j] = imIn ? imIn[i] : 0.0;
    }
    uint32_t end = 1, s = 0;
    for (uint32_t block = 2; block <= n; block <<= 1, ++s) {
        const double sm2 = inverse ? f.daInverseSin2[s] : f.daForwardSin2[s];
        const double sm1 = inverse ? f.daInverseSin1[s] : f.daForwardSin1[s];
        const double cm2 = inverse ? f.daInverseCos2[s] : f.daForwardCos2[s];
        const double cm1 = inverse ? f.daInverseCos1[s] : f.daForwardCos1[s];
        const double w = inverse ? f.daInverseTwoCos[s] : f.daForwardTwoCos[s];
        for (uint32_t b = 0; b < n; b += block) {
            double ar2 = cm2, ar1 = cm1, ai2 = sm2, ai1 = sm1;
            for (uint32_t j = b; j < b + end; ++j) {
                const double ar0 = w * ar1 - ar2;
                ar2 = ar1;
                ar1 = ar0;
                const double ai0 = w * ai1 - ai2;
                ai2 = ai1;
                ai1 = ai0;
                const uint32_t k = j + end;
                const double tr = ar0 * reOut[k] - ai0 * imOut[k];
                const double ti = ar0 * imOut[k] + ai0 * reOut[k];
                reOut[k] = reOut[j] - tr;
                imOut[k] = imOut[j] - ti;
                reOut[j] = reOut[j] + tr;
                imOut[j] = imOut[j] + ti;
            }
        }
        end = block;
    }
    if (inverse)
        for (uint32_t i = 0; i < n; ++i) {
            reOut[i] = reOut[i] / f.dSize;
            imOut[i] = imOut[i] / f.dSize;
        }
}

// Runs a check once with the vector code chosen for this machine and once
// with the baseline copy.
template <class Check>
void withEachVectorCopy(Check check) {
    for (bool baseline : {false, true}) {
        SCOPED_TRACE(baseline ? "baseline copy" : "chosen copy");
        dsp::useBaselineOnly(baseline);
        check();
        dsp::useBaselineOnly(false);
    }
}

TEST(FftExactness, SameBitsAsTheStepByStepTransform) {
    withEachVectorCopy([] {
        std::mt19937 rng(21);
        std::uniform_real_distribution<double> dist(-40000.0, 40000.0);
        for (uint32_t n : {1u, 2u, 4u, 8u, 16u, 32u, 1024u, 2048u, 4096u}) {
            CFft fft;
            ASSERT_EQ(fft.initialize(n), 0);
            std::vector<double> re(n), im(n), a(n), b(n), c(n), d(n);
            for (uint32_t i = 0; i < n; ++i) {
                re[i] = dist(rng);
                im[i] = dist(rng);
            }
            for (uint32_t inverse : {0u, 1u})
                for (bool real : {false, true}) {
                    const double* imIn = real ? nullptr : im.data();
                    fft.transform(n, inverse, re.data(), imIn, a.data(), b.data());
                    referenceTransform(fft, n, inverse, re.data(), imIn, c.data(), d.data());
                    for (uint32_t i = 0; i < n; ++i) {
                        ASSERT_EQ(a[i], c[i]) << n << " " << inverse << " " << i;
                        ASSERT_EQ(b[i], d[i]) << n << " " << inverse << " " << i;
                    }
                }
        }
    });
}

}  // namespace

namespace {

TEST(FftExactness, EachLaneGivesTheBitsOfTheStepByStepTransform) {
    withEachVectorCopy([] {
        constexpr uint32_t L = CFft::kLanes;
        std::mt19937 rng(22);
        std::uniform_real_distribution<double> dist(-40000.0, 40000.0);
        for (uint32_t n : {1u, 2u, 4u, 8u, 16u, 32u, 256u, 1024u, 2048u, 4096u}) {
            CFft fft;
            ASSERT_EQ(fft.initialize(n), 0);
            std::vector<double> re(n * L), im(n * L), a(n * L), b(n * L), e(n * L), work(n * L);
            for (uint32_t i = 0; i < n * L; ++i) {
                re[i] = dist(rng);
                im[i] = dist(rng);
            }
            // Exact zeros in one lane, where a left-out zero term could show.
            for (uint32_t i = 0; i < n; i += 3)
                re[i * L + 1] = 0.0;
            std::vector<double> x(n), y(n), c(n), d(n);
            for (uint32_t inverse : {0u, 1u})
                for (bool real : {false, true}) {
                    fft.transformLanes(n, inverse, re.data(), real ? nullptr : im.data(), a.data(),
                                       b.data());
                    // Asking for the real parts alone must not change them.
                    fft.transformLanesRealOut(n, inverse, re.data(), real ? nullptr : im.data(),
                                              e.data(), work.data());
                    for (uint32_t l = 0; l < L; ++l) {
                        for (uint32_t i = 0; i < n; ++i) {
                            x[i] = re[i * L + l];
                            y[i] = im[i * L + l];
                        }
                        referenceTransform(fft, n, inverse, x.data(), real ? nullptr : y.data(),
                                           c.data(), d.data());
                        for (uint32_t i = 0; i < n; ++i) {
                            ASSERT_EQ(a[i * L + l], c[i])
                                << n << " " << inverse << " " << l << " " << i;
                            ASSERT_EQ(b[i * L + l], d[i])
                                << n << " " << inverse << " " << l << " " << i;
                            ASSERT_EQ(e[i * L + l], c[i])
                                << n << " " << inverse << " " << l << " " << i << " real only";
                        }
                    }
                }
        }
    });
}

TEST(FftLanes, TransposesPutValueIOfArrayLAtILanesPlusL) {
    withEachVectorCopy([] {
        constexpr uint32_t L = CFft::kLanes, n = 64;
        std::vector<double> arrays(n * L), lanes(n * L), back(n * L);
        for (uint32_t i = 0; i < n * L; ++i)
            arrays[i] = i;
        CFft::toLanes(arrays.data(), lanes.data(), n);
        for (uint32_t l = 0; l < L; ++l)
            for (uint32_t i = 0; i < n; ++i)
                ASSERT_EQ(lanes[i * L + l], arrays[l * n + i]) << l << " " << i;
        CFft::fromLanes(lanes.data(), back.data(), n);
        EXPECT_EQ(back, arrays);
    });
}

}  // namespace
