// Raising many values to one power at once, with exactly the results of
// dsp::pow for each: the expandor's inner loop.
#pragma once

#include <cstdint>

namespace dsp {

// out[i] = dsp::pow(x[i], exponent) for every i < count, the same bits. The
// arrays must not overlap.
//
// Where the processor has AVX2 and FMA, four values are computed side by side
// to well beyond double precision, as the exact rounding of x^y plus how far
// it lies from the nearest rounding boundary. The C library's pow is within
// 0.52 units in the last place of x^y, so where our value lies more than 1/16
// of a unit inside its rounding interval, both give the same double. The
// others (about one in eight) and every value outside the range the vector
// code handles go to dsp::pow itself.
void powMany(const double* x, double* out, uint32_t count, double exponent);

}  // namespace dsp
