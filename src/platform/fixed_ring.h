// A first-in, first-out ring of at most N values in fixed storage: nothing
// is allocated after construction, so the audio path can queue into it.
#pragma once

#include <cstdint>

namespace platform {

template <class T, uint32_t N>
class FixedRing {
  public:
    static constexpr uint32_t kCapacity = N;

    // False, and nothing stored, when the ring is full.
    bool push(const T& value) {
        if (count_ == N) return false;
        items_[(head_ + count_) % N] = value;
        ++count_;
        return true;
    }
    // The oldest value, taken off; the ring must not be empty.
    T pop() {
        const T value = items_[head_];
        head_ = (head_ + 1) % N;
        --count_;
        return value;
    }
    // The oldest value; the ring must not be empty.
    const T& front() const { return items_[head_]; }
    bool empty() const { return count_ == 0; }
    bool full() const { return count_ == N; }
    uint32_t size() const { return count_; }
    void clear() { head_ = count_ = 0; }

  private:
    T items_[N] = {};
    uint32_t head_ = 0;
    uint32_t count_ = 0;
};

}  // namespace platform
