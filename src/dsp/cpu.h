// Which vector copy of the hot loops this processor runs. The copies are
// compiled from the same source for the baseline and for AVX2 (the powers
// also with FMA), and picked at run time from what the processor has, asked
// once: by a branch in each hot loop of the engine, through a table of
// function pointers in the transform. No loader mechanism, so every
// platform's build has them. Contraction stays off, so every copy gives the
// same bits.
#pragma once

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TARNIX_VECTOR_COPIES 1
// A function compiled for AVX2 (and, where asked, FMA), and one always
// inlined into its caller so that it takes the caller's instructions.
#define TARNIX_AVX2 __attribute__((target("avx2")))
#define TARNIX_AVX2_FMA __attribute__((target("avx2,fma")))
#define TARNIX_INLINE inline __attribute__((always_inline))
#else
#define TARNIX_AVX2
#define TARNIX_AVX2_FMA
#define TARNIX_INLINE inline
#endif

namespace dsp {

inline bool hasAvx2() {
#ifdef TARNIX_VECTOR_COPIES
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

inline bool hasAvx2Fma() {
#ifdef TARNIX_VECTOR_COPIES
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

// Tests run the baseline copies where wider ones were chosen, to hold both to
// the same bits.
inline bool& baselineOnly() {
    static bool on = false;
    return on;
}
inline void useBaselineOnly(bool on) {
    baselineOnly() = on;
}

// Whether to run the AVX2 (with FMA) copies: asked once, then only the test
// switch is read.
inline bool runAvx2() {
    static const bool has = hasAvx2();
    return has && !baselineOnly();
}
inline bool runAvx2Fma() {
    static const bool has = hasAvx2Fma();
    return has && !baselineOnly();
}

}  // namespace dsp
