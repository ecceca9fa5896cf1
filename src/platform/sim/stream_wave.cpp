#include "platform/sim/stream_wave.h"

namespace sim {

bool StreamWaveIn::deliverNext() {
    if (!started_ || exhausted_ || queue_.empty()) return false;
    const size_t capacity = queue_.front()->dwBufferLength / 2;
    scratch_.resize(capacity);
    size_t got = 0;
    while (got < capacity) {
        const size_t n = source_.read(scratch_.data() + got, capacity - got);
        if (n == 0) break;
        got += n;
    }
    if (got == 0) {
        exhausted_ = true;
        return false;
    }
    return fill(scratch_.data(), got);
}

}  // namespace sim
