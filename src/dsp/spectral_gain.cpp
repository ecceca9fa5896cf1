#include "dsp/spectral_gain.h"

#include "dsp/cpu.h"

#ifdef TARNIX_VECTOR_COPIES
#include <immintrin.h>
#endif

namespace dsp {

namespace {

#ifdef TARNIX_VECTOR_COPIES
// A gather of four values at table + i (the plain gather leaves its
// pass-through operand undefined, which the compiler warns about).
TARNIX_AVX2 TARNIX_INLINE __m256d gather(const double* table, __m128i i) {
    return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), table, i,
                                    _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), 8);
}

// Four values at a time with the table reads gathered; every value goes
// through the operations of lsaFactor and speechPresence in the same order,
// so the results are the same bits.
TARNIX_AVX2 void lsaFactorVector(const double* v, double* out, uint32_t count) {
    using namespace enhancement_tables;
    const __m256d low = _mm256_set1_pd(1.0 / (1 << -kLowOctave));
    const __m256d high = _mm256_set1_pd(1 << kHighOctave);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d steps = _mm256_set1_pd(kOctaveSteps);
    const __m256i mantissa = _mm256_set1_epi64x((int64_t{1} << 52) - 1);
    const __m256i oneBits = _mm256_castpd_si256(one);
    const __m256i lowDwords = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    const __m128i bias = _mm_set1_epi32(1023 + kLowOctave);
    for (uint32_t k = 0; k < count; k += 4) {
        const __m256d x = _mm256_loadu_pd(v + k);
        const __m256d inside = _mm256_cmp_pd(x, high, _CMP_LT_OQ);
        const __m256d above = _mm256_cmp_pd(x, low, _CMP_GT_OQ);
        const __m256d c = _mm256_blendv_pd(low, x, _mm256_and_pd(inside, above));
        const __m256i bits = _mm256_castpd_si256(c);
        const __m128i octave = _mm256_castsi256_si128(
            _mm256_permutevar8x32_epi32(_mm256_srli_epi64(bits, 52), lowDwords));
        const __m256d t = _mm256_mul_pd(
            _mm256_sub_pd(
                _mm256_castsi256_pd(_mm256_or_si256(_mm256_and_si256(bits, mantissa), oneBits)),
                one),
            steps);
        const __m128i step = _mm256_cvttpd_epi32(t);
        const __m128i i = _mm_add_epi32(_mm_slli_epi32(_mm_sub_epi32(octave, bias), 3), step);
        const __m256d t0 = gather(kLsaFactor, i);
        const __m256d t1 = gather(kLsaFactor + 1, i);
        const __m256d f = _mm256_add_pd(
            t0, _mm256_mul_pd(_mm256_sub_pd(t, _mm256_cvtepi32_pd(step)), _mm256_sub_pd(t1, t0)));
        _mm256_storeu_pd(out + k, _mm256_blendv_pd(one, f, inside));
    }
}

TARNIX_AVX2 void speechPresenceVector(const double* gamma, double* out, uint32_t count) {
    using namespace enhancement_tables;
    const __m256d end = _mm256_set1_pd(kPresenceEnd);
    const __m256d perUnit = _mm256_set1_pd(kPresenceStep);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m128i last = _mm_set1_epi32(kPresenceEnd * kPresenceStep - 1);
    for (uint32_t k = 0; k < count; k += 4) {
        const __m256d g = _mm256_loadu_pd(gamma + k);
        const __m256d inside = _mm256_cmp_pd(g, end, _CMP_LT_OQ);
        const __m256d positive = _mm256_cmp_pd(g, _mm256_setzero_pd(), _CMP_GT_OQ);
        const __m256d t = _mm256_mul_pd(_mm256_and_pd(g, _mm256_and_pd(inside, positive)), perUnit);
        const __m128i i = _mm_min_epi32(_mm256_cvttpd_epi32(t), last);
        const __m256d t0 = gather(kPresence, i);
        const __m256d t1 = gather(kPresence + 1, i);
        const __m256d p = _mm256_add_pd(
            t0, _mm256_mul_pd(_mm256_sub_pd(t, _mm256_cvtepi32_pd(i)), _mm256_sub_pd(t1, t0)));
        _mm256_storeu_pd(out + k, _mm256_blendv_pd(one, p, inside));
    }
}
#endif

}  // namespace

void lsaFactorMany(const double* v, double* out, uint32_t count) {
    uint32_t k = 0;
#ifdef TARNIX_VECTOR_COPIES
    if (runAvx2()) {
        k = count & ~3u;
        lsaFactorVector(v, out, k);
    }
#endif
    for (; k < count; ++k)
        out[k] = lsaFactor(v[k]);
}

void speechPresenceMany(const double* gamma, double* out, uint32_t count) {
    uint32_t k = 0;
#ifdef TARNIX_VECTOR_COPIES
    if (runAvx2()) {
        k = count & ~3u;
        speechPresenceVector(gamma, out, k);
    }
#endif
    for (; k < count; ++k)
        out[k] = speechPresence(gamma[k]);
}

}  // namespace dsp
