// Short-time Fourier analysis and synthesis of one captured block: windowed
// 1024-sample frames advanced by 256, filtered in the frequency domain and
// overlap-added with clipping into the output ring.
#include "engine/block_pipeline.h"

#include <cmath>

void CAudioEngine::processBlock() {
    runBlockWith<CAudioEngine, &CAudioEngine::filterSpectrum>();
}

void CAudioEngine::readFrame(double* destination, uint32_t count) {
    // Positions past the block come from the next slot.
    uint32_t n = 0;
    for (; n < count && readPos < blockLength; ++n, ++readPos)
        destination[n] = inputRing[readSlot][readPos];
    for (; n < count; ++n, ++readPos)
        destination[n] = inputRing[readNextSlot][readPos - blockLength];
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
// 16-bit input; clamping first keeps the conversion defined all the same.
int32_t truncateToInt(double v) {
    if (!(v > -2147483648.0)) return v != v ? 0 : INT32_MIN;
    if (v >= 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(v);
}

}  // namespace

// Adds v to a stored value with the clipping to +-32767 (never -32768); a
// value clipped by one frame stays clipped while later frames add to it.
inline void addClipped(int16_t& target, int32_t v) {
    // 64-bit so that even the clamped extremes cannot overflow the sum.
    int64_t s = static_cast<int64_t>(target) + v;
    if (s > 32767 || s < -32767) s = s > 0 ? 32767 : -32767;
    target = static_cast<int16_t>(s);
}

void CAudioEngine::overlapAdd(const double* first, const double* second, uint32_t count,
                              int32_t divisor) {
    const uint32_t channels = second ? 2 : 1;
    for (uint32_t i = 0; i < count; ++i) {
        for (uint32_t c = 0; c < channels; ++c) {
            const double value = c == 0 ? first[i] : second[i];
            const uint32_t p = writePos++;
            // A frame starts below the block length and spans at most two
            // blocks, so the end of the next slot is never reached.
            if (p < blockLength)
                addClipped(outputRing[writeSlot][p], truncateToInt(value) / divisor);
            else if (p < 2 * blockLength)
                addClipped(outputRing[writeNextSlot][p - blockLength],
                           truncateToInt(value) / divisor);
        }
    }
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
