// A small three-stage linear network over the last three samples. One weight
// is probed per sample and a change is kept only when it brings the output
// closer to the current sample.
#pragma once

#include <cstdint>

class CLinearCombiner {
  public:
    CLinearCombiner();

    double filter(double x);
    void evaluate();

    uint32_t nWrite = 0;
    uint32_t nRead = 0;
    double daHistory[3] = {};
    double dOutput = 0.0;
    double dErrorBefore = 0.0;
    double dErrorAfter = 0.0;
    double daStage1[3] = {};
    double daStage2[3] = {};
    double daStage3[3] = {};
    // W1, W2, W3: three row-major 3 x 3 matrices; index 9 * matrix + 3 * row + column.
    double daWeights[27];

    // The probe selector. The program has one combiner, so keeping the selector
    // with it is the same as keeping it once for the program.
    uint32_t nProbeMatrix = 0;
    uint32_t nProbeRow = 0;
    uint32_t nProbeColumn = 0;
};
