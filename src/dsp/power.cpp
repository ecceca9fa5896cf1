#include "dsp/power.h"

#include "dsp/cpu.h"
#include "dsp/math_functions.h"
#include "dsp/power_tables.h"

#ifdef TARNIX_VECTOR_COPIES
#include <immintrin.h>
#endif

namespace dsp {
namespace {

void powBaseline(const double* x, double* out, uint32_t count, double exponent) {
    for (uint32_t i = 0; i < count; ++i)
        out[i] = dsp::pow(x[i], exponent);
}

#ifdef TARNIX_VECTOR_COPIES
namespace t = power_tables;

#define VECTOR_CODE TARNIX_AVX2_FMA TARNIX_INLINE

VECTOR_CODE __m256d splat(double v) {
    return _mm256_set1_pd(v);
}
VECTOR_CODE __m256i splat64(uint64_t v) {
    return _mm256_set1_epi64x(static_cast<long long>(v));
}
VECTOR_CODE __m256d asDouble(__m256i v) {
    return _mm256_castsi256_pd(v);
}
VECTOR_CODE __m256i asBits(__m256d v) {
    return _mm256_castpd_si256(v);
}
// s + e == a + b exactly, when |a| >= |b|.
VECTOR_CODE void fastTwoSum(__m256d a, __m256d b, __m256d& s, __m256d& e) {
    s = _mm256_add_pd(a, b);
    e = _mm256_add_pd(_mm256_sub_pd(a, s), b);
}
// a * x + b, one rounding: the vector code's own intermediate values only,
// whose error the margin below accounts for.
VECTOR_CODE __m256d fma(__m256d a, __m256d x, __m256d b) {
    return _mm256_fmadd_pd(a, x, b);
}
// The double nearest an integer n with |n| < 2^51, from its 64-bit bits.
constexpr double kShift = 0x1.8p52;
VECTOR_CODE __m256d toDouble(__m256i n) {
    const __m256i shifted = _mm256_add_epi64(n, asBits(splat(kShift)));
    return _mm256_sub_pd(asDouble(shifted), splat(kShift));
}

// ln x as hi + lo, absolute error below 2^-66, for 2 <= x < 2^1000 (the four
// values at xs, whose bits are ix).
// x = 2^k z with z in [1, 2); z lies in table interval i, whose factor f has
// few bits, so r = z f - 1 is exact and ln x = k ln2 - ln f + ln(1 + r).
// (The table rows are found from the inputs' bits read as integers, and from
// the exponential's indices moved out of the register one by one: going
// through a vector store and scalar loads stalls the loads.)
VECTOR_CODE const double* logRow(const double* xs, int lane) {
    uint64_t bits;
    __builtin_memcpy(&bits, xs + lane, sizeof bits);
    return t::kLog[(bits >> 45) & 127];
}
VECTOR_CODE void logarithm(const double* xs, __m256i ix, __m256d& hi, __m256d& lo) {
    const __m256i k = _mm256_sub_epi64(_mm256_srli_epi64(ix, 52), _mm256_set1_epi64x(1023));
    const __m256d z = asDouble(
        _mm256_or_si256(_mm256_and_si256(ix, splat64(0x000FFFFFFFFFFFFFull)), asBits(splat(1.0))));
    // Four aligned loads and a transpose: cheaper than gathers.
    const __m256d v0 = _mm256_load_pd(logRow(xs, 0)), v1 = _mm256_load_pd(logRow(xs, 1));
    const __m256d v2 = _mm256_load_pd(logRow(xs, 2)), v3 = _mm256_load_pd(logRow(xs, 3));
    const __m256d lo01 = _mm256_unpacklo_pd(v0, v1), hi01 = _mm256_unpackhi_pd(v0, v1);
    const __m256d lo23 = _mm256_unpacklo_pd(v2, v3), hi23 = _mm256_unpackhi_pd(v2, v3);
    const __m256d invc = _mm256_permute2f128_pd(lo01, lo23, 0x20);
    const __m256d logHi = _mm256_permute2f128_pd(hi01, hi23, 0x20);
    const __m256d logLo = _mm256_permute2f128_pd(lo01, lo23, 0x31);
    const __m256d kd = toDouble(k);

    const __m256d r = _mm256_fmsub_pd(z, invc, splat(1.0));
    // k ln2hi + logHi is exact: both are multiples of 2^-43 below 2^10. With
    // k >= 1 it exceeds ln 2, more than r and r^2 in size.
    const __m256d t1 = fma(kd, splat(t::kLn2Hi), logHi);
    const __m256d lo1 = fma(kd, splat(t::kLn2Lo), logLo);
    // ln(1 + r) - r = r^2 (-1/2 + r p(r)), for |r| < 2^-7 (the next term is
    // below 2^-73).
    __m256d p = splat(1.0 / 9);
    p = fma(p, r, splat(-1.0 / 8));
    p = fma(p, r, splat(1.0 / 7));
    p = fma(p, r, splat(-1.0 / 6));
    p = fma(p, r, splat(1.0 / 5));
    p = fma(p, r, splat(-1.0 / 4));
    p = fma(p, r, splat(1.0 / 3));
    const __m256d r2 = _mm256_mul_pd(r, r);
    const __m256d half = _mm256_mul_pd(splat(-0.5), r2);
    p = _mm256_mul_pd(p, _mm256_mul_pd(r2, r));

    __m256d s1, e1, s2, e2;
    fastTwoSum(t1, r, s1, e1);
    fastTwoSum(s1, half, s2, e2);
    fastTwoSum(s2, _mm256_add_pd(_mm256_add_pd(lo1, e1), _mm256_add_pd(e2, p)), hi, lo);
}

// y ln x for four values, as ehi + elo, and which lanes the vector code may
// answer for.
struct Exponent {
    __m256d ehi, elo;
    __m256i inRange;
    __m256d small;
};

VECTOR_CODE Exponent exponentOf(const double* xs, double y) {
    const __m256d x = _mm256_loadu_pd(xs);
    const __m256i ix = asBits(x);
    // 2 <= x < 2^1000; negative values, NaN and infinities fall out.
    const __m256i inRange =
        _mm256_and_si256(_mm256_cmpgt_epi64(ix, splat64(0x3FFFFFFFFFFFFFFFull)),
                         _mm256_cmpgt_epi64(splat64(0x7E70000000000000ull), ix));

    __m256d lnHi, lnLo;
    logarithm(xs, ix, lnHi, lnLo);
    // y ln x as ehi + elo.
    const __m256d vy = splat(y);
    const __m256d ehi = _mm256_mul_pd(vy, lnHi);
    const __m256d elo = fma(vy, lnLo, _mm256_fmsub_pd(vy, lnHi, ehi));
    const __m256d absHi = _mm256_andnot_pd(splat(-0.0), ehi);
    // The library's error grows with |y ln x|; below 64 it stays under
    // 0.515 units, inside the margin.
    const __m256d small = _mm256_cmp_pd(absHi, splat(64.0), _CMP_LT_OQ);
    return {ehi, elo, inRange, small};
}

// Four values of x^y from their exponent; `sure` holds all ones in the lanes
// whose x^y lies more than 1/32 of a unit inside the rounding interval of the
// result.
VECTOR_CODE __m256d power(const Exponent& e, __m256i& sure) {
    const __m256d ehi = e.ehi, elo = e.elo, small = e.small;
    const __m256i inRange = e.inRange;

    // e^(ehi + elo) = 2^(n / N) e^r with n = round(ehi N / ln2).
    const __m256d shifted = fma(ehi, splat(t::kInvLn2N), splat(kShift));
    const __m256i n = asBits(shifted);
    const __m256d nd = _mm256_sub_pd(shifted, splat(kShift));
    // n ln2hi / N is exact and so is its difference with ehi; the rest is
    // below 2^-25 and r below 2^-8, so r is off by at most 2^-62.
    const __m256d r1 = _mm256_fnmadd_pd(nd, splat(t::kLn2NHi), ehi);
    const __m256d r = _mm256_add_pd(r1, _mm256_fnmadd_pd(nd, splat(t::kLn2NLo), elo));

    const __m256i nm = _mm256_and_si256(n, _mm256_set1_epi64x(t::kExpSize - 1));
    const __m128i nlo = _mm256_castsi256_si128(nm), nhi = _mm256_extracti128_si256(nm, 1);
    const int64_t at[4] = {_mm_cvtsi128_si64(nlo), _mm_extract_epi64(nlo, 1),
                           _mm_cvtsi128_si64(nhi), _mm_extract_epi64(nhi, 1)};
    const __m256d e02 = _mm256_set_m128d(_mm_load_pd(t::kExp[at[2]]), _mm_load_pd(t::kExp[at[0]]));
    const __m256d e13 = _mm256_set_m128d(_mm_load_pd(t::kExp[at[3]]), _mm_load_pd(t::kExp[at[1]]));
    const __m256d scale =
        asDouble(_mm256_add_epi64(asBits(_mm256_unpacklo_pd(e02, e13)), _mm256_slli_epi64(n, 45)));
    const __m256d tail = _mm256_unpackhi_pd(e02, e13);
    // e^r - 1 - r for |r| < 2^-8 (the next term is below 2^-71).
    __m256d q = splat(1.0 / 720);
    q = fma(q, r, splat(1.0 / 120));
    q = fma(q, r, splat(1.0 / 24));
    q = fma(q, r, splat(1.0 / 6));
    q = fma(q, r, splat(0.5));
    q = _mm256_mul_pd(q, _mm256_mul_pd(r, r));
    // (1 + tail) e^r - 1 = r + q + tail + tail r, to 2^-62 once rounded.
    const __m256d m = _mm256_add_pd(r, _mm256_add_pd(q, fma(tail, r, tail)));
    // scale (1 + m): the rounded result and what it leaves out.
    const __m256d prod = _mm256_mul_pd(scale, m);
    const __m256d result = _mm256_add_pd(scale, prod);
    const __m256d left = _mm256_add_pd(_mm256_add_pd(_mm256_sub_pd(scale, result), prod),
                                       _mm256_fmsub_pd(scale, m, prod));

    // Unit in the last place of the result; a power of two (whose interval is
    // lopsided) is left to the library.
    const __m256i rbits = asBits(result);
    const __m256d ulp = asDouble(_mm256_sub_epi64(
        _mm256_and_si256(rbits, splat64(0x7FF0000000000000ull)), splat64(52ull << 52)));
    const __m256d absLeft = _mm256_andnot_pd(splat(-0.0), left);
    const __m256d inside = _mm256_cmp_pd(absLeft, _mm256_mul_pd(splat(0.46875), ulp), _CMP_LT_OQ);
    const __m256i power = _mm256_cmpeq_epi64(
        _mm256_and_si256(rbits, splat64(0x000FFFFFFFFFFFFFull)), _mm256_setzero_si256());
    sure =
        _mm256_andnot_si256(power, _mm256_and_si256(inRange, asBits(_mm256_and_pd(small, inside))));
    return result;
}

// A bit for each lane that is not sure.
VECTOR_CODE uint8_t unsureLanes(__m256i sure) {
    return static_cast<uint8_t>(~_mm256_movemask_pd(asDouble(sure)) & 0xF);
}

TARNIX_AVX2_FMA void powVector(const double* x, double* out, uint32_t count, double exponent) {
    // The vector pass notes which lanes are not sure and goes on without a
    // branch; those few are recomputed afterwards.
    constexpr uint32_t kChunk = 512, kGroups = 4;
    uint8_t unsure[kChunk / 4];
    uint32_t i = 0;
    while (i + 4 <= count) {
        const uint32_t start = i, end = i + (count - i < kChunk ? (count - i) & ~3u : kChunk);
        // Several groups at a time, their logarithms first: the processor
        // then has independent chains to overlap.
        for (; i + 4 * kGroups <= end; i += 4 * kGroups) {
            Exponent e[kGroups];
            for (uint32_t g = 0; g < kGroups; ++g)
                e[g] = exponentOf(x + i + 4 * g, exponent);
            for (uint32_t g = 0; g < kGroups; ++g) {
                __m256i sure;
                _mm256_storeu_pd(out + i + 4 * g, power(e[g], sure));
                unsure[(i - start) / 4 + g] = unsureLanes(sure);
            }
        }
        for (; i < end; i += 4) {
            __m256i sure;
            _mm256_storeu_pd(out + i, power(exponentOf(x + i, exponent), sure));
            unsure[(i - start) / 4] = unsureLanes(sure);
        }
        for (uint32_t g = 0; g < (end - start) / 4; ++g)
            for (uint32_t bits = unsure[g]; bits; bits &= bits - 1) {
                const uint32_t k = start + 4 * g + static_cast<uint32_t>(__builtin_ctz(bits));
                out[k] = dsp::pow(x[k], exponent);
            }
    }
    powBaseline(x + i, out + i, count - i, exponent);
}

#endif

}  // namespace

void powMany(const double* x, double* out, uint32_t count, double exponent) {
#ifdef TARNIX_VECTOR_COPIES
    if (runAvx2Fma()) return powVector(x, out, count, exponent);
#endif
    powBaseline(x, out, count, exponent);
}

}  // namespace dsp
