// Raising many values to one power at once, with exactly the results of
// dsp::pow for each: the expandor's inner loop.
#pragma once

#include <cstdint>

namespace dsp {

// out[i] = dsp::pow(x[i], exponent) for every i < count, the same bits. The
// arrays must not overlap.
//
// Where the processor has AVX2 and FMA, four values are computed side by side
// to well beyond double precision (within 0.005 units in the last place), as
// the rounded x^y and how far x^y lies from it. The C library's pow is within
// 0.515 units of x^y here (0.511 is the most seen in 10^8 values), so where
// x^y lies more than 1/32 of a unit inside its rounding interval, both give
// the same double. The others (about one in sixteen) and every value outside
// the range the vector code handles go to dsp::pow itself.
void powMany(const double* x, double* out, uint32_t count, double exponent);

}  // namespace dsp
