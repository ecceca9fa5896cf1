// Short-time Fourier analysis and synthesis of one captured block: windowed
// 1024-sample frames advanced by 256, filtered in the frequency domain and
// overlap-added with clipping into the output ring.
#include "engine/block_pipeline.h"

#include "dsp/cpu.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

void CAudioEngine::processBlock() {
    runBlockWith<CAudioEngine, &CAudioEngine::filterSpectrum>();
}

void CAudioEngine::processFrame() {
    runFrameWith<CAudioEngine, &CAudioEngine::filterSpectrum>();
}

void CAudioEngine::inverseTransforms() {
    constexpr uint32_t N = engine::kFftSize;
    CFft::toLanes(lanes_.stageRe, lanes_.lanesRe, N);
    CFft::toLanes(lanes_.stageIm, lanes_.lanesIm, N);
    fft.transformLanesRealOut(N, 1, lanes_.lanesRe, lanes_.lanesIm, lanes_.lanesIn,
                              lanes_.lanesWork);
    CFft::fromLanes(lanes_.lanesIn, lanes_.stageRe, N);
    if (simulatedStereo) {
        CFft::toLanes(lanes_.stageSecondRe, lanes_.lanesRe, N);
        CFft::toLanes(lanes_.stageSecondIm, lanes_.lanesIm, N);
        fft.transformLanesRealOut(N, 1, lanes_.lanesRe, lanes_.lanesIm, lanes_.lanesIn,
                                  lanes_.lanesWork);
        CFft::fromLanes(lanes_.lanesIn, lanes_.stageIm, N);
    }
}

void CAudioEngine::addFrameOutput(uint32_t lane) {
    constexpr uint32_t N = engine::kFftSize;
    const double* first = lanes_.stageRe + lane * N;
    const double* second = lanes_.stageIm + lane * N;
    if (enhancement.on) {
        enhancedOverlapAdd(first, simulatedStereo ? second : nullptr);
        advanceWrite(simulatedStereo ? 2 * hop : hop);
    } else if (simulatedStereo) {
        overlapAdd(first, second, N, 32);
        advanceWrite(2 * hop);
    } else {
        overlapAdd(first, nullptr, N, 2);
        advanceWrite(hop);
    }
}

void CAudioEngine::readFrame(double* destination, uint32_t count) {
    // Positions past the block come from the next slot.
    const uint32_t pos = readPos;
    const uint32_t first = pos < blockLength ? std::min(count, blockLength - pos) : 0;
    std::memcpy(destination, &inputRing[readSlot][pos], first * sizeof(double));
    if (first < count)
        std::memcpy(destination + first, &inputRing[readNextSlot][pos + first - blockLength],
                    (count - first) * sizeof(double));
    readPos = pos + count;
}

void CAudioEngine::advanceRead(uint32_t step) {
    readFrameStart += step;
    if (readFrameStart >= blockLength) {
        readSlot = (readSlot + 1) % engine::kBufferCount;
        readNextSlot = (readNextSlot + 1) % engine::kBufferCount;
        readFrameStart = 0;
    }
    readPos = readFrameStart;
}

namespace {

// Truncates toward zero. A value outside the 32-bit range cannot come from
// 16-bit input; clamping first keeps the conversion defined all the same
// (written without branches so that runs of it vectorise).
TARNIX_INLINE int32_t truncateToInt(double v) {
    v = v > -2147483648.0 ? v : -2147483648.0;  // NaN lands here too
    v = v < 2147483647.0 ? v : 2147483647.0;
    return static_cast<int32_t>(v);
}

// Adds `count` frame values into a run of stored values `Stride` apart, each
// truncated and divided, with the clipping to +-32767 (never -32768); a value
// clipped by one frame stays clipped while later frames add to it. The
// divisors the pipeline uses are compile-time constants, so the loop is a
// straight one the compiler can vectorise.
template <int32_t Divisor, uint32_t Stride>
TARNIX_INLINE void addRun(int16_t* __restrict target, const double* __restrict values,
                          uint32_t count, int32_t divisor) {
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t v = truncateToInt(values[i]) / (Divisor != 0 ? Divisor : divisor);
        // With a divisor of at least 2 the 32-bit sum cannot overflow; any
        // other divisor takes 64 bits.
        using Sum = std::conditional_t<Divisor >= 2, int32_t, int64_t>;
        Sum s = static_cast<Sum>(target[i * Stride]) + v;
        s = s > 32767 ? 32767 : s;
        s = s < -32767 ? -32767 : s;
        target[i * Stride] = static_cast<int16_t>(s);
    }
}

template <uint32_t Stride>
TARNIX_INLINE void addRun(int16_t* target, const double* values, uint32_t count, int32_t divisor) {
    if (divisor == 2)
        addRun<2, Stride>(target, values, count, divisor);
    else if (divisor == 32)
        addRun<32, Stride>(target, values, count, divisor);
    else
        addRun<0, Stride>(target, values, count, divisor);
}

// The runs of the divisors the pipeline uses, written on vectors: the
// clamping to the 32-bit range is done on the doubles, where the compiler
// otherwise narrows the comparisons' masks with many shuffles.
typedef double Doubles4 __attribute__((vector_size(32)));
typedef int32_t Ints4 __attribute__((vector_size(16)));
typedef int32_t Ints8 __attribute__((vector_size(32)));
typedef int16_t Shorts8 __attribute__((vector_size(16)));

// truncateToInt on four values, divided.
template <int32_t Divisor>
TARNIX_INLINE Ints4 truncatedFour(const double* values) {
    Doubles4 v;
    std::memcpy(&v, values, sizeof v);
    v = v > -2147483648.0 ? v : -2147483648.0;
    v = v < 2147483647.0 ? v : 2147483647.0;
    return __builtin_convertvector(v, Ints4) / Divisor;
}

// Adds eight values into eight consecutive stored ones, with the clipping.
TARNIX_INLINE void addEight(int16_t* target, Ints8 v) {
    Shorts8 stored;
    std::memcpy(&stored, target, sizeof stored);
    Ints8 sum = __builtin_convertvector(stored, Ints8) + v;
    sum = sum > 32767 ? 32767 : sum;
    sum = sum < -32767 ? -32767 : sum;
    stored = __builtin_convertvector(sum, Shorts8);
    std::memcpy(target, &stored, sizeof stored);
}

template <int32_t Divisor>
TARNIX_INLINE uint32_t addRunEights(int16_t* target, const double* values, uint32_t count) {
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8)
        addEight(target + i, __builtin_shufflevector(truncatedFour<Divisor>(values + i),
                                                     truncatedFour<Divisor>(values + i + 4), 0, 1,
                                                     2, 3, 4, 5, 6, 7));
    return i;
}

TARNIX_INLINE void addMonoRun(int16_t* target, const double* values, uint32_t count,
                              int32_t divisor) {
    uint32_t i = 0;
    if (divisor == 2)
        i = addRunEights<2>(target, values, count);
    else if (divisor == 32)
        i = addRunEights<32>(target, values, count);
    addRun<1>(target + i, values + i, count - i, divisor);
}

// The two channels of a stereo run, left and right values alternating in
// the target. Each stored value still gets only its own frame value, as in
// two runs of a stride of 2; taking the pairs together lets the loop run on
// vectors. The divisor of stereo is 32.
TARNIX_INLINE void addPairRun(int16_t* target, const double* left, const double* right,
                              uint32_t count, int32_t divisor) {
    uint32_t i = 0;
    if (divisor == 32)
        for (; i + 4 <= count; i += 4)
            addEight(target + 2 * i,
                     __builtin_shufflevector(truncatedFour<32>(left + i),
                                             truncatedFour<32>(right + i), 0, 4, 1, 5, 2, 6, 3, 7));
    addRun<2>(target + 2 * i, left + i, count - i, divisor);
    addRun<2>(target + 2 * i + 1, right + i, count - i, divisor);
}

}  // namespace

void CAudioEngine::overlapAdd(const double* first, const double* second, uint32_t count,
                              int32_t divisor) {
    if (dsp::runAvx2())
        overlapAddAvx2(first, second, count, divisor);
    else
        overlapAddBaseline(first, second, count, divisor);
}

void CAudioEngine::overlapAddBaseline(const double* first, const double* second, uint32_t count,
                                      int32_t divisor) {
    overlapAddBody(first, second, count, divisor);
}

TARNIX_AVX2 void CAudioEngine::overlapAddAvx2(const double* first, const double* second,
                                              uint32_t count, int32_t divisor) {
    overlapAddBody(first, second, count, divisor);
}

TARNIX_INLINE void CAudioEngine::overlapAddBody(const double* first, const double* second,
                                                uint32_t count, int32_t divisor) {
    // Output values alternate left and right in stereo. Positions below the
    // block length fall into writeSlot, the next block's worth into
    // writeNextSlot; anything beyond is never written (a frame starts below
    // the block length and spans at most two blocks).
    const uint32_t stride = second ? 2 : 1;
    auto at = [&](uint32_t p) -> int16_t* {
        if (p < blockLength) return &outputRing[writeSlot][p];
        if (p < 2 * blockLength) return &outputRing[writeNextSlot][p - blockLength];
        return nullptr;
    };
    uint32_t i = 0;
    while (i < count) {
        const uint32_t p = writePos + i * stride;
        int16_t* run = at(p);
        if (!run) break;
        const uint32_t room = (p < blockLength ? blockLength : 2 * blockLength) - p;
        const uint32_t n = std::min(count - i, room / stride);
        if (n == 0) {
            // A left value at the end of one slot, its right value at the start of the next.
            addRun<1>(run, first + i, 1, divisor);
            if (int16_t* right = at(p + 1)) addRun<1>(right, second + i, 1, divisor);
            ++i;
            continue;
        }
        if (second) {
            addPairRun(run, first + i, second + i, n, divisor);
        } else {
            addMonoRun(run, first + i, n, divisor);
        }
        i += n;
    }
    writePos += count * stride;
}

void CAudioEngine::advanceWrite(uint32_t step) {
    writeFrameStart += step;
    if (writeFrameStart >= blockLength) {
        writeSlot = (writeSlot + 1) % engine::kBufferCount;
        writeNextSlot = (writeNextSlot + 1) % engine::kBufferCount;
        writeFrameStart = 0;
    }
    writePos = writeFrameStart;
}
