// Test signals and the measures taken of what the engine played.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace signals {

inline std::vector<int16_t> whiteNoise(size_t n, unsigned seed, double sigma) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> dist(0.0, sigma);
    std::vector<int16_t> v(n);
    for (auto& x : v)
        x = static_cast<int16_t>(std::clamp(std::lround(dist(rng)), -32767L, 32767L));
    return v;
}

// A sine of `amplitude` at `hz`, starting at sample `from` (silent before).
inline std::vector<int16_t> tone(size_t n, int32_t rate, double hz, double amplitude,
                                 size_t from = 0) {
    std::vector<int16_t> v(n);
    for (size_t i = from; i < n; ++i)
        v[i] = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * double(i) / rate)));
    return v;
}

// The sum of two signals (the length of the first).
inline std::vector<int16_t> mixed(std::vector<int16_t> a, const std::vector<int16_t>& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        a[i] = static_cast<int16_t>(std::clamp(a[i] + b[i], -32768, 32767));
    return a;
}

// The mean power of v[from, to) taking every `step`th value from `from`
// (2 for one channel of interleaved stereo).
inline double power(const std::vector<int16_t>& v, size_t from, size_t to, size_t step = 1) {
    double sum = 0.0;
    size_t count = 0;
    for (size_t i = from; i < to && i < v.size(); i += step, ++count)
        sum += double(v[i]) * v[i];
    return count ? sum / double(count) : 0.0;
}

inline double db(double ratio) {
    return 10 * std::log10(ratio);
}

}  // namespace signals
