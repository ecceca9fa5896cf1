// Where the build links the fixed sin, cos and pow (Windows, 64-bit ARM),
// they must give the fixed implementation's bits on every processor:
// arguments where C libraries round the last bit differently, with musl's
// results. A build that picked up the C library's functions, or compiled the
// fixed ones with contraction or a fused multiply-add, fails here.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "dsp/math_functions.h"

namespace {

void expectBits(double got, double want, const char* call) {
    EXPECT_EQ(std::bit_cast<uint64_t>(got), std::bit_cast<uint64_t>(want))
        << call << ": " << std::hexfloat << got << " instead of " << want;
}

TEST(PortableMath, GivesTheFixedImplementationsBits) {
#ifndef TARNIX_PORTABLE_MATH
    GTEST_SKIP() << "this build uses the C library's sin, cos and pow";
#endif
    expectBits(dsp::pow(0x1.31941ddf21fa3p+2, 0x1p-2), 0x1.7a6be1816ccacp+0, "pow");
    expectBits(dsp::pow(0x1.528c1fcc52ec5p+10, 0x1.199999999999ap+1), 0x1.d973631cce974p+22, "pow");
    expectBits(dsp::pow(0x1.434780b56b24dp+3, -0x1.999999999999ap-5), 0x1.c816819313624p-1, "pow");
    expectBits(dsp::cos(0x1.521179c05e8cap+1), -0x1.c137327168e28p-1, "cos");
    expectBits(dsp::cos(0x1.012008f1c4fa8p-1), 0x1.c0c821f3393cfp-1, "cos");
    expectBits(dsp::sin(0x1.539b88f76d064p+2), -0x1.a84e062eb2a5dp-1, "sin");
    expectBits(dsp::sin(0x1.86eac94390979p+1), 0x1.662841c3d02b6p-4, "sin");
}

}  // namespace
