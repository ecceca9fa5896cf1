#include "dsp/power.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "dsp/math_functions.h"

namespace {

// Every value must be dsp::pow's own, bit for bit; NaN only where it gives NaN.
void expectSameAsPow(const std::vector<double>& inputs, double exponent) {
    std::vector<double> values(inputs.size());
    dsp::powMany(inputs.data(), values.data(), static_cast<uint32_t>(values.size()), exponent);
    int shown = 0;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const double want = dsp::pow(inputs[i], exponent);
        const bool same = std::isnan(want)
                              ? std::isnan(values[i])
                              : std::bit_cast<uint64_t>(want) == std::bit_cast<uint64_t>(values[i]);
        if (!same && shown++ < 5)
            ADD_FAILURE() << std::hexfloat << inputs[i] << " ^ " << exponent << ": " << values[i]
                          << " instead of " << want;
    }
}

TEST(PowMany, GivesTheLibraryBitsOverTheMagnitudesRange) {
    // Magnitudes of 16-bit spectra span about 1e-3 to 1e9; the exponent the
    // expandor uses and others of both signs, with lengths that leave tails
    // of every kind (lone values, and a last group of four without a pair).
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> logOf(std::log(1e-3), std::log(1e9));
    size_t length = 400'003;
    for (double exponent : {1.2, 0.5, 2.5, -1.3, 1.0}) {
        std::vector<double> inputs(length);
        length += 4;
        for (double& x : inputs)
            x = std::exp(logOf(rng));
        expectSameAsPow(inputs, exponent);
    }
}

TEST(PowMany, HandsEdgeValuesToTheLibrary) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> inputs = {0.0,       -0.0,      -1.0,     1.0,      2.0,   0x1p-1074,
                                        0x1p-1022, 0x1p-1000, 0x1p1000, 0x1p1023, 1e300, inf,
                                        -inf,      nan,       650.0,    4.0,      0.25,  1e-300};
    for (double exponent : {1.2, 0.0, -0.5, 700.0, nan, inf})
        expectSameAsPow(inputs, exponent);
}

}  // namespace
