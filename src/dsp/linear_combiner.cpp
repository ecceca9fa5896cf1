#include "dsp/linear_combiner.h"

#include <cmath>

namespace {
// The stored starting weights; with them the network is a gentle three-tap
// smoother.
constexpr double kStartingWeights[27] = {
    1.0,
    1.0,
    0.7141119999997576,  //
    1.0,
    1.0,
    0.7298039999999519,  //
    1.0,
    1.0,
    0.8415110000002198,  //
    0.43214600000004094,
    0.470166000000053,
    0.6757199999996701,  //
    0.4165180000000435,
    0.4604940000000542,
    0.6857999999996616,  //
    0.4114980000000436,
    0.48239200000005145,
    0.686891999999675,  //
    0.17453800000003686,
    0.17409400000003825,
    0.1659070000000389,  //
    0.1784320000000374,
    0.20086900000003816,
    0.16855600000003912,  //
    0.18012400000003725,
    0.15894700000003867,
    0.1729330000000383,  //
};
}  // namespace

CLinearCombiner::CLinearCombiner() {
    for (int q = 0; q < 27; ++q)
        daWeights[q] = kStartingWeights[q];
}

void CLinearCombiner::evaluate() {
    const double* w1 = daWeights;
    const double* w2 = daWeights + 9;
    const double* w3 = daWeights + 18;
    nRead = nWrite;
    dOutput = 0.0;
    // Only the last column of W1 reaches the output.
    for (int r = 0; r < 3; ++r) {
        daStage1[r] = daHistory[nRead] * w1[3 * r + 2];
        nRead = (nRead + 1) % 3;
    }
    for (int j = 0; j < 3; ++j) {
        double sum = 0.0;
        for (int i = 0; i < 3; ++i)
            sum += daStage1[i] * w2[3 * j + i];
        daStage2[j] = sum;
    }
    for (int j = 0; j < 3; ++j) {
        double sum = 0.0;
        for (int i = 0; i < 3; ++i)
            sum += daStage2[i] * w3[3 * j + i];
        daStage3[j] = sum;
    }
    // W3 serves a second time as the output weights.
    for (int i = 0; i < 3; ++i)
        dOutput += daStage3[i] * (w3[3 * i + 0] + w3[3 * i + 1] + w3[3 * i + 2]);
}

double CLinearCombiner::filter(double x) {
    daHistory[nWrite] = x;
    nWrite = (nWrite + 1) % 3;

    // Advance the selector like an odometer.
    if (++nProbeMatrix == 3) {
        nProbeMatrix = 0;
        if (++nProbeRow == 3) {
            nProbeRow = 0;
            if (++nProbeColumn == 3) nProbeColumn = 0;
        }
    }
    const uint32_t q = 9 * nProbeMatrix + 3 * nProbeRow + nProbeColumn;
    const double old = daWeights[q];
    const double step = (nProbeMatrix + 1) * 0.001;

    evaluate();
    const double y1 = dOutput;
    dErrorBefore = std::fabs(x - y1);

    daWeights[q] = old + step;
    evaluate();
    dErrorAfter = std::fabs(x - dOutput);
    if (dErrorAfter < dErrorBefore) return dOutput;

    daWeights[q] = old - step;
    evaluate();
    dErrorAfter = std::fabs(x - dOutput);
    if (dErrorAfter < dErrorBefore) return dOutput;

    daWeights[q] = old;
    return y1;
}
