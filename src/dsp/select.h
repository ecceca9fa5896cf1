// Order statistics of a short buffer, for the medians the noise blanker
// takes around every event.
#pragma once

#include <algorithm>
#include <cstdint>

namespace dsp {

// The k-th smallest of v[0..n) (counting from 0): the value
// std::nth_element would leave at k. Both v and spare (room for n values)
// are overwritten. Each round splits around a median of three without a
// branch on the data, into the other buffer, so the processor never guesses
// wrong on a comparison; equal values (digital silence) end a round at
// once, and a run of bad pivots ends in nth_element.
inline double kthSmallest(double* v, double* spare, uint32_t n, uint32_t k) {
    double* a = v;
    double* b = spare;
    for (uint32_t round = 0; n > 16 && round < 24; ++round) {
        const double x0 = a[0], x1 = a[n / 2], x2 = a[n - 1];
        const double low = x0 < x1 ? x0 : x1, high = x0 < x1 ? x1 : x0;
        const double pivot = x2 < low ? low : x2 > high ? high : x2;
        uint32_t less = 0, notMore = n;
        for (uint32_t i = 0; i < n; ++i) {
            const double x = a[i];
            b[less] = x;
            less += x < pivot;
            b[notMore - 1] = x;
            notMore -= x > pivot;
        }
        if (k >= less && k < notMore) return pivot;
        double* const next = a;
        if (k < less) {
            a = b;
            n = less;
        } else {
            a = b + notMore;
            n -= notMore;
            k -= notMore;
        }
        b = next;
    }
    std::nth_element(a, a + k, a + n);
    return a[k];
}

}  // namespace dsp
