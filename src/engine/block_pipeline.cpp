// Short-time Fourier analysis and synthesis of one captured block: windowed
// 1024-sample frames advanced by 256, filtered in the frequency domain and
// overlap-added with clipping into the output ring.
#include "engine/block_pipeline.h"

#include <cmath>

void CAudioEngine::processBlock() {
    runBlockWith<CAudioEngine, &CAudioEngine::filterSpectrum>();
}

void CAudioEngine::readFrame(double* destination, uint32_t count) {
    for (uint32_t n = 0; n < count; ++n) {
        destination[n] = readPos < blockLength ? inputRing[readSlot][readPos]
                                               : inputRing[readNextSlot][readPos - blockLength];
        ++readPos;
    }
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

void CAudioEngine::overlapAdd(const double* first, const double* second, uint32_t count,
                              int32_t divisor) {
    auto add = [&](double value) {
        const int32_t v = truncateToInt(value) / divisor;
        const uint32_t p = writePos;
        int16_t* target = nullptr;
        if (p < blockLength)
            target = &outputRing[writeSlot][p];
        else if (p < 2 * blockLength)
            target = &outputRing[writeNextSlot][p - blockLength];
        writePos += 1;
        if (!target) return;
        // 64-bit so that even the clamped extremes cannot overflow the sum.
        int64_t s = static_cast<int64_t>(*target) + v;
        if (s > 32767 || s < -32767) s = s > 0 ? 32767 : -32767;
        *target = static_cast<int16_t>(s);
    };
    for (uint32_t i = 0; i < count; ++i) {
        add(first[i]);
        if (second) add(second[i]);
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
