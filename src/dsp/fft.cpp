#include "dsp/fft.h"

#include <cmath>
#include <cstring>

#include "dsp/cpu.h"
#include "dsp/math_functions.h"

namespace {

// Runs the three-term recurrence over one block of a stage, exactly as the
// butterfly loop would, and stores each factor.
void stageTwiddles(double sm2, double sm1, double cm2, double cm1, double w, uint32_t count,
                   double* re, double* im) {
    double ar2 = cm2, ar1 = cm1, ai2 = sm2, ai1 = sm1;
    for (uint32_t j = 0; j < count; ++j) {
        const double ar0 = w * ar1 - ar2;
        ar2 = ar1;
        ar1 = ar0;
        const double ai0 = w * ai1 - ai2;
        ai2 = ai1;
        ai1 = ai0;
        re[j] = ar0;
        im[j] = ai0;
    }
}

inline void butterfly(double* re, double* im, uint32_t j, uint32_t k, double wr, double wi) {
    const double tr = wr * re[k] - wi * im[k];
    const double ti = wr * im[k] + wi * re[k];
    re[k] = re[j] - tr;
    im[k] = im[j] - ti;
    re[j] = re[j] + tr;
    im[j] = im[j] + ti;
}

// One block of a stage: the butterflies pair the lower half with the upper
// half. The halves never overlap, which lets the compiler vectorise without
// run-time alias checks.
TARNIX_INLINE void butterflyRun(double* __restrict re0, double* __restrict im0,
                                const double* __restrict wr, const double* __restrict wi,
                                uint32_t half) {
    double* __restrict re1 = re0 + half;
    double* __restrict im1 = im0 + half;
    for (uint32_t j = 0; j < half; ++j) {
        const double tr = wr[j] * re1[j] - wi[j] * im1[j];
        const double ti = wr[j] * im1[j] + wi[j] * re1[j];
        re1[j] = re0[j] - tr;
        im1[j] = im0[j] - ti;
        re0[j] = re0[j] + tr;
        im0[j] = im0[j] + ti;
    }
}

// Two consecutive stages over one block of 4 * half points, done together
// while the four values of each group are in registers: first the stage of
// `half` on (a, b) and (c, d), then the stage of 2 * half on (a, c) and
// (b, d). Each butterfly is the same arithmetic as stage by stage.
TARNIX_INLINE void twoStageRun(double* __restrict ra, double* __restrict ia, double* __restrict rb,
                               double* __restrict ib, double* __restrict rc, double* __restrict ic,
                               double* __restrict rd, double* __restrict id,
                               const double* __restrict w1r, const double* __restrict w1i,
                               const double* __restrict w2r, const double* __restrict w2i,
                               uint32_t half) {
    for (uint32_t j = 0; j < half; ++j) {
        double ar = ra[j], ai = ia[j], br = rb[j], bi = ib[j];
        double cr = rc[j], ci = ic[j], dr = rd[j], di = id[j];
        double tr = w1r[j] * br - w1i[j] * bi;
        double ti = w1r[j] * bi + w1i[j] * br;
        br = ar - tr;
        bi = ai - ti;
        ar = ar + tr;
        ai = ai + ti;
        tr = w1r[j] * dr - w1i[j] * di;
        ti = w1r[j] * di + w1i[j] * dr;
        dr = cr - tr;
        di = ci - ti;
        cr = cr + tr;
        ci = ci + ti;
        tr = w2r[j] * cr - w2i[j] * ci;
        ti = w2r[j] * ci + w2i[j] * cr;
        rc[j] = ar - tr;
        ic[j] = ai - ti;
        ra[j] = ar + tr;
        ia[j] = ai + ti;
        tr = w2r[j + half] * dr - w2i[j + half] * di;
        ti = w2r[j + half] * di + w2i[j + half] * dr;
        rd[j] = br - tr;
        id[j] = bi - ti;
        rb[j] = br + tr;
        ib[j] = bi + ti;
    }
}

// The stages from blocks of eight points up, two at a time, and a last
// single one when their number is odd.
TARNIX_INLINE void laterStagesBody(double* re, double* im, const double* twRe, const double* twIm,
                                   uint32_t n) {
    uint32_t half = 4;
    for (; 4 * half <= n; half *= 4) {
        const double* w1r = twRe + (half - 1);
        const double* w1i = twIm + (half - 1);
        const double* w2r = twRe + (2 * half - 1);
        const double* w2i = twIm + (2 * half - 1);
        for (uint32_t b = 0; b < n; b += 4 * half) {
            double* r = re + b;
            double* i = im + b;
            twoStageRun(r, i, r + half, i + half, r + 2 * half, i + 2 * half, r + 3 * half,
                        i + 3 * half, w1r, w1i, w2r, w2i, half);
        }
    }
    if (half < n)
        for (uint32_t b = 0; b < n; b += 2 * half)
            butterflyRun(re + b, im + b, twRe + (half - 1), twIm + (half - 1), half);
}

// ---- Lanes: several transforms side by side, value i of lane l at i * L + l.

constexpr uint32_t L = CFft::kLanes;

// A vector of W lanes' values. The element-wise operations of the compiler's
// vector types are the IEEE operations of each lane on its own. The AVX2
// copy works on all four lanes at once (W = 4), the baseline copy on two
// (W = 2), the width its registers have.
typedef double Wide __attribute__((vector_size(4 * sizeof(double))));
typedef double Narrow __attribute__((vector_size(2 * sizeof(double))));
typedef Wide Lanes;  // all L lanes, for the transposes
static_assert(sizeof(Lanes) == L * sizeof(double));
template <class V>
constexpr uint32_t kWidth = sizeof(V) / sizeof(double);
// The helpers below are always inlined, so no vector crosses a call and the
// note about the vector calling convention does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

template <class V>
TARNIX_INLINE V load(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class V>
TARNIX_INLINE void store(double* p, V v) {
    std::memcpy(p, &v, sizeof v);
}

// The butterfly of transform() on the values of W lanes.
template <class V>
TARNIX_INLINE void butterflyValues(V& ar, V& ai, V& br, V& bi, double wr, double wi) {
    const V tr = wr * br - wi * bi;
    const V ti = wr * bi + wi * br;
    br = ar - tr;
    bi = ai - ti;
    ar = ar + tr;
    ai = ai + ti;
}

// Bit-reversed copy and the first two stages for the groups of four points in
// [begin, end) and in the same range of the upper half (begin < n / 2). The
// groups go in the order of their inputs, which then stream through the
// cache: group j = rev[p] reads points p, p + n / 2, p + n / 4, p + 3 n / 4,
// and group rev[p + 1] = j + n / 2 their neighbours. With a real input the
// imaginary parts entering stage one are zero, so that stage reduces to
// tr = wr x, ti = wi x and the sums with zero drop out; the values are those
// of the full butterfly, up to the sign of a zero.
template <bool RealInput, class V>
TARNIX_INLINE void lanesFirstStages(const uint32_t* rev, const double* twRe, const double* twIm,
                                    uint32_t n, uint32_t begin, uint32_t end,
                                    const double* __restrict reIn, const double* __restrict imIn,
                                    double* __restrict reOut, double* __restrict imOut) {
    const double w1r = twRe[0], w1i = twIm[0];
    const double w2r0 = twRe[1], w2i0 = twIm[1], w2r1 = twRe[2], w2i1 = twIm[2];
    for (uint32_t p = rev[begin]; p < n / 4; p += n / (end - begin))
        for (uint32_t j : {rev[p], rev[p + 1]})
            for (uint32_t c = 0; c < L; c += kWidth<V>) {
                const uint32_t i0 = rev[j] * L + c, i1 = rev[j + 1] * L + c;
                const uint32_t i2 = rev[j + 2] * L + c, i3 = rev[j + 3] * L + c;
                const V x0 = load<V>(reIn + i0), x1 = load<V>(reIn + i1);
                const V x2 = load<V>(reIn + i2), x3 = load<V>(reIn + i3);
                V ar, ai, br, bi, cr, ci, dr, di;
                if constexpr (RealInput) {
                    const V t1r = w1r * x1, t1i = w1i * x1, t3r = w1r * x3, t3i = w1i * x3;
                    ar = x0 + t1r, ai = t1i, br = x0 - t1r, bi = -t1i;
                    cr = x2 + t3r, ci = t3i, dr = x2 - t3r, di = -t3i;
                } else {
                    ar = x0, br = x1, cr = x2, dr = x3;
                    ai = load<V>(imIn + i0), bi = load<V>(imIn + i1);
                    ci = load<V>(imIn + i2), di = load<V>(imIn + i3);
                    butterflyValues(ar, ai, br, bi, w1r, w1i);
                    butterflyValues(cr, ci, dr, di, w1r, w1i);
                }
                butterflyValues(ar, ai, cr, ci, w2r0, w2i0);
                butterflyValues(br, bi, dr, di, w2r1, w2i1);
                double* r = reOut + j * L + c;
                double* m = imOut + j * L + c;
                store(r, ar), store(r + L, br), store(r + 2 * L, cr), store(r + 3 * L, dr);
                store(m, ai), store(m + L, bi), store(m + 2 * L, ci), store(m + 3 * L, di);
            }
}

// Where a pass puts its values. Between stages they are stored as they are.
// (Always inlined, as every helper that takes a vector: a call between the
// AVX2 copy and code compiled without it would pass vectors differently.)
struct KeepValues {
    template <class V>
    TARNIX_INLINE void re(double* p, V v) const {
        store(p, v);
    }
    template <class V>
    TARNIX_INLINE void im(double* p, V v) const {
        store(p, v);
    }
};

// The last pass scales by 1 / n for the inverse, and leaves out the
// imaginary parts when nobody reads them, so they are not even computed.
template <bool Scaled, bool WithIm>
struct LastValues {
    double scale;
    template <class V>
    TARNIX_INLINE void re(double* p, V v) const {
        if constexpr (Scaled) v = v * scale;
        store(p, v);
    }
    template <class V>
    TARNIX_INLINE void im(double* p, V v) const {
        if constexpr (WithIm) {
            if constexpr (Scaled) v = v * scale;
            store(p, v);
        }
    }
};

// The stages of `half` and 2 * half together over the blocks of 4 * half
// points in [begin, end), as in laterStagesBody: each group of four values
// goes through both stages in registers. `pair` holds the six twiddle values
// of each group side by side (see pairTwiddles).
template <class V, class Out>
TARNIX_INLINE void lanesTwoStages(double* __restrict re, double* __restrict im,
                                  const double* __restrict pair, uint32_t half, uint32_t begin,
                                  uint32_t end, Out out) {
    const uint32_t q = half * L;
    for (uint32_t b = begin; b < end; b += 4 * half) {
        double* r = re + b * L;
        double* m = im + b * L;
        const double* w = pair;
        for (uint32_t j = 0; j < half; ++j, r += L, m += L, w += 6)
            for (uint32_t c = 0; c < L; c += kWidth<V>) {
                V ar = load<V>(r + c), ai = load<V>(m + c);
                V br = load<V>(r + c + q), bi = load<V>(m + c + q);
                V cr = load<V>(r + c + 2 * q), ci = load<V>(m + c + 2 * q);
                V dr = load<V>(r + c + 3 * q), di = load<V>(m + c + 3 * q);
                butterflyValues(ar, ai, br, bi, w[0], w[1]);
                butterflyValues(cr, ci, dr, di, w[0], w[1]);
                butterflyValues(ar, ai, cr, ci, w[2], w[3]);
                butterflyValues(br, bi, dr, di, w[4], w[5]);
                out.re(r + c, ar), out.im(m + c, ai), out.re(r + c + q, br);
                out.im(m + c + q, bi), out.re(r + c + 2 * q, cr), out.im(m + c + 2 * q, ci);
                out.re(r + c + 3 * q, dr), out.im(m + c + 3 * q, di);
            }
    }
}

// The stage of `half` alone over blocks of 2 * half points, for the last one
// when the number of stages after the first two is odd.
template <class V, class Out>
TARNIX_INLINE void lanesOneStage(double* __restrict re, double* __restrict im, const double* twRe,
                                 const double* twIm, uint32_t half, uint32_t n, Out out) {
    const uint32_t q = half * L;
    for (uint32_t b = 0; b < n; b += 2 * half)
        for (uint32_t j = 0; j < half; ++j)
            for (uint32_t c = 0; c < L; c += kWidth<V>) {
                double* r = re + (b + j) * L + c;
                double* m = im + (b + j) * L + c;
                V ar = load<V>(r), ai = load<V>(m), br = load<V>(r + q), bi = load<V>(m + q);
                butterflyValues(ar, ai, br, bi, twRe[half - 1 + j], twIm[half - 1 + j]);
                out.re(r, ar), out.im(m, ai), out.re(r + q, br), out.im(m + q, bi);
            }
}

// Where the twiddle values of the pair of stages of `half` start in the
// table of pairs: 6 values for each of the half groups of each smaller pair
// (half = 4, 16, 64, ...).
constexpr uint32_t pairOffset(uint32_t half) {
    return 2 * (half - 4);
}

struct LanesCall {
    const uint32_t* rev;
    const double *twRe, *twIm;
    const double* pairs;
    uint32_t n;  // at least 8
    const double *reIn, *imIn;
    double *reOut, *imOut;
    double scale;  // 1 / n for the inverse, 0 for the forward transform
    bool withIm;   // whether the imaginary outputs are wanted
};

// The last pass: a pair of stages, or one stage when the number after the
// first two is odd.
template <class V, class Out>
TARNIX_INLINE void lanesLastPass(const LanesCall& c, uint32_t half, Out out) {
    if (4 * half == c.n)
        lanesTwoStages<V>(c.reOut, c.imOut, c.pairs + pairOffset(half), half, 0, c.n, out);
    else
        lanesOneStage<V>(c.reOut, c.imOut, c.twRe, c.twIm, half, c.n, out);
}

// Blocks of up to this many points go through the stages that fit in them one
// after the other while their values stay in the level-one cache; only the
// stages above sweep the whole arrays. Larger blocks leave fewer sweeps, but
// at 256 points the first stages' scattered stores no longer stay in the
// cache, and 64 measured faster. Four times a power of four, so that the
// first two stages and the pairs after them end on it.
constexpr uint32_t kCachedBlock = 64;

template <class V>
TARNIX_INLINE void lanesBody(const LanesCall& c) {
    // Each block of the lower half goes with the block n / 2 above it, whose
    // first stages read the other halves of the same cache lines.
    const uint32_t n = c.n, block = n / 2 < kCachedBlock ? n / 2 : kCachedBlock;
    uint32_t half = 4;
    for (uint32_t begin = 0; begin < n / 2; begin += block) {
        const uint32_t end = begin + block;
        if (c.imIn)
            lanesFirstStages<false, V>(c.rev, c.twRe, c.twIm, n, begin, end, c.reIn, c.imIn,
                                       c.reOut, c.imOut);
        else
            lanesFirstStages<true, V>(c.rev, c.twRe, c.twIm, n, begin, end, c.reIn, nullptr,
                                      c.reOut, c.imOut);
        for (uint32_t b : {begin, begin + n / 2})
            for (half = 4; 4 * half <= block; half *= 4)
                lanesTwoStages<V>(c.reOut, c.imOut, c.pairs + pairOffset(half), half, b, b + block,
                                  KeepValues{});
    }
    for (; 4 * half < n; half *= 4)
        lanesTwoStages<V>(c.reOut, c.imOut, c.pairs + pairOffset(half), half, 0, n, KeepValues{});
    if (c.scale != 0.0) {
        if (c.withIm)
            lanesLastPass<V>(c, half, LastValues<true, true>{c.scale});
        else
            lanesLastPass<V>(c, half, LastValues<true, false>{c.scale});
    } else if (c.withIm) {
        lanesLastPass<V>(c, half, LastValues<false, true>{0.0});
    } else {
        lanesLastPass<V>(c, half, LastValues<false, false>{0.0});
    }
}

// The vector code is compiled twice, for AVX2 and for the baseline (see
// dsp/cpu.h).
struct Kernels {
    void (*laterStages)(double*, double*, const double*, const double*, uint32_t);
    void (*lanes)(const LanesCall&);
    void (*toLanes)(const double*, double*, uint32_t, const double*, uint32_t);
    void (*fromLanes)(const double*, double*, uint32_t, uint32_t);
};

// The lane layout is a transpose: four points of four arrays make a 4 x 4
// block, transposed in registers. The transpose is its own inverse.
static_assert(L == 4, "the transposes are written for four lanes");

// With `scale`, the four input rows are first multiplied by its four values,
// each product exactly that of the window's own pass.
TARNIX_INLINE void transpose4(double* __restrict out0, uint32_t outStep,
                              const double* __restrict in0, uint32_t inStep,
                              const double* __restrict scale = nullptr) {
    Lanes a = load<Lanes>(in0), b = load<Lanes>(in0 + inStep);
    Lanes c = load<Lanes>(in0 + 2 * inStep), d = load<Lanes>(in0 + 3 * inStep);
    if (scale) {
        const Lanes w = load<Lanes>(scale);
        a = a * w, b = b * w, c = c * w, d = d * w;
    }
    const Lanes t0 = __builtin_shufflevector(a, b, 0, 4, 2, 6);
    const Lanes t1 = __builtin_shufflevector(a, b, 1, 5, 3, 7);
    const Lanes t2 = __builtin_shufflevector(c, d, 0, 4, 2, 6);
    const Lanes t3 = __builtin_shufflevector(c, d, 1, 5, 3, 7);
    store(out0, __builtin_shufflevector(t0, t2, 0, 1, 4, 5));
    store(out0 + outStep, __builtin_shufflevector(t1, t3, 0, 1, 4, 5));
    store(out0 + 2 * outStep, __builtin_shufflevector(t0, t2, 2, 3, 6, 7));
    store(out0 + 3 * outStep, __builtin_shufflevector(t1, t3, 2, 3, 6, 7));
}

TARNIX_INLINE void toLanesBody(const double* __restrict arrays, double* __restrict lanes,
                               uint32_t n, const double* __restrict window, uint32_t stride) {
    if (window)
        for (uint32_t i = 0; i < n; i += 4)
            transpose4(lanes + i * L, L, arrays + i, stride, window + i);
    else
        for (uint32_t i = 0; i < n; i += 4)
            transpose4(lanes + i * L, L, arrays + i, stride);
}
TARNIX_INLINE void fromLanesBody(const double* __restrict lanes, double* __restrict arrays,
                                 uint32_t n, uint32_t count) {
    for (uint32_t i = 0; i < count; i += 4)
        transpose4(arrays + i, n, lanes + i * L, L);
}
void toLanesBaseline(const double* arrays, double* lanes, uint32_t n, const double* window,
                     uint32_t stride) {
    toLanesBody(arrays, lanes, n, window, stride);
}
void fromLanesBaseline(const double* lanes, double* arrays, uint32_t n, uint32_t count) {
    fromLanesBody(lanes, arrays, n, count);
}

void laterStagesBaseline(double* re, double* im, const double* twRe, const double* twIm,
                         uint32_t n) {
    laterStagesBody(re, im, twRe, twIm, n);
}
void lanesBaseline(const LanesCall& c) {
    lanesBody<Narrow>(c);
}

const Kernels kBaseline = {laterStagesBaseline, lanesBaseline, toLanesBaseline, fromLanesBaseline};

#ifdef TARNIX_VECTOR_COPIES
TARNIX_AVX2 void laterStagesAvx2(double* re, double* im, const double* twRe, const double* twIm,
                                 uint32_t n) {
    laterStagesBody(re, im, twRe, twIm, n);
}
TARNIX_AVX2 void lanesAvx2(const LanesCall& c) {
    lanesBody<Wide>(c);
}
TARNIX_AVX2 void toLanesAvx2(const double* arrays, double* lanes, uint32_t n, const double* window,
                             uint32_t stride) {
    toLanesBody(arrays, lanes, n, window, stride);
}
TARNIX_AVX2 void fromLanesAvx2(const double* lanes, double* arrays, uint32_t n, uint32_t count) {
    fromLanesBody(lanes, arrays, n, count);
}
const Kernels kAvx2 = {laterStagesAvx2, lanesAvx2, toLanesAvx2, fromLanesAvx2};

const Kernels& kernels() {
    return dsp::runAvx2() ? kAvx2 : kBaseline;
}
#else
const Kernels& kernels() {
    return kBaseline;
}
#endif

}  // namespace

const char* CFft::refusalText(int32_t code) {
    return code == kNotPowerOfTwo ? "NOT power of 2!"
           : code == kTooBig      ? "Too big power of 2!"
                                  : "";
}

int32_t CFft::initialize(uint32_t n) {
    if (n == 0 || (n & (n - 1)) != 0) return kNotPowerOfTwo;
    if (n > (1u << kMaxStages)) return kTooBig;

    nLog2Size = 0;
    while ((1u << nLog2Size) != n)
        ++nLog2Size;
    nArrayBytes = n * 8;
    dSize = n;

    // Each index reversed from the one with its lowest bit dropped.
    bitReversed_.assign(n, 0);
    for (uint32_t i = 1; i < n; ++i)
        bitReversed_[i] = (bitReversed_[i >> 1] >> 1) | ((i & 1) << (nLog2Size - 1));
    if (n < 2) return 0;

    forwardRe_.assign(n - 1, 0.0);
    forwardIm_.assign(n - 1, 0.0);
    inverseRe_.assign(n - 1, 0.0);
    inverseIm_.assign(n - 1, 0.0);
    uint32_t s = 0;
    for (uint32_t block = 2; block <= n; block <<= 1, ++s) {
        const double delta = dsp::kTwoPi / block;
        daForwardSin2[s] = dsp::sin(-2.0 * delta);
        daForwardSin1[s] = dsp::sin(-delta);
        daForwardCos2[s] = dsp::cos(-2.0 * delta);
        daForwardCos1[s] = dsp::cos(-delta);
        daForwardTwoCos[s] = 2.0 * dsp::cos(-delta);
        daInverseSin2[s] = dsp::sin(2.0 * delta);
        daInverseSin1[s] = dsp::sin(delta);
        daInverseCos2[s] = dsp::cos(2.0 * delta);
        daInverseCos1[s] = dsp::cos(delta);
        daInverseTwoCos[s] = 2.0 * dsp::cos(delta);

        const uint32_t half = block / 2, offset = half - 1;
        stageTwiddles(daForwardSin2[s], daForwardSin1[s], daForwardCos2[s], daForwardCos1[s],
                      daForwardTwoCos[s], half, &forwardRe_[offset], &forwardIm_[offset]);
        stageTwiddles(daInverseSin2[s], daInverseSin1[s], daInverseCos2[s], daInverseCos1[s],
                      daInverseTwoCos[s], half, &inverseRe_[offset], &inverseIm_[offset]);
    }
    pairTwiddles(forwardRe_, forwardIm_, forwardPairs_);
    pairTwiddles(inverseRe_, inverseIm_, inversePairs_);
    return 0;
}

void CFft::pairTwiddles(const std::vector<double>& re, const std::vector<double>& im,
                        std::vector<double>& pairs) const {
    const uint32_t n = 1u << nLog2Size;
    uint32_t last = 4;
    while (4 * last <= n)
        last *= 4;
    pairs.assign(pairOffset(last), 0.0);
    for (uint32_t half = 4; 4 * half <= n; half *= 4) {
        double* to = pairs.data() + pairOffset(half);
        for (uint32_t j = 0; j < half; ++j)
            for (uint32_t i : {half - 1 + j, 2 * half - 1 + j, 3 * half - 1 + j}) {
                *to++ = re[i];
                *to++ = im[i];
            }
    }
}

void CFft::transform(uint32_t n, uint32_t inverse, const double* reIn, const double* imIn,
                     double* reOut, double* imOut) const {
    const uint32_t* rev = bitReversed_.data();
    const double* twRe = inverse ? inverseRe_.data() : forwardRe_.data();
    const double* twIm = inverse ? inverseIm_.data() : forwardIm_.data();

    if (n < 4) {
        if (imIn) {
            for (uint32_t i = 0; i < n; ++i) {
                reOut[rev[i]] = reIn[i];
                imOut[rev[i]] = imIn[i];
            }
        } else {
            std::memset(imOut, 0, nArrayBytes);
            for (uint32_t i = 0; i < n; ++i)
                reOut[rev[i]] = reIn[i];
        }
        if (n == 2) butterfly(reOut, imOut, 0, 1, twRe[0], twIm[0]);
    } else {
        // The bit-reversed copy and the first two stages in one pass over
        // groups of four outputs; bit reversal is its own inverse, so output j
        // takes input rev[j]. The arithmetic is that of the separate passes.
        const double w1r = twRe[0], w1i = twIm[0];
        const double w2r0 = twRe[1], w2i0 = twIm[1], w2r1 = twRe[2], w2i1 = twIm[2];
        for (uint32_t j = 0; j < n; j += 4) {
            double r[4], m[4];
            for (uint32_t t = 0; t < 4; ++t) {
                r[t] = reIn[rev[j + t]];
                m[t] = imIn ? imIn[rev[j + t]] : 0.0;
            }
            butterfly(r, m, 0, 1, w1r, w1i);
            butterfly(r, m, 2, 3, w1r, w1i);
            butterfly(r, m, 0, 2, w2r0, w2i0);
            butterfly(r, m, 1, 3, w2r1, w2i1);
            for (uint32_t t = 0; t < 4; ++t) {
                reOut[j + t] = r[t];
                imOut[j + t] = m[t];
            }
        }
        kernels().laterStages(reOut, imOut, twRe, twIm, n);
    }

    if (inverse) {
        // The size is a power of two, so multiplying by its reciprocal gives
        // exactly the quotient.
        const double scale = 1.0 / dSize;
        for (uint32_t i = 0; i < n; ++i) {
            reOut[i] = reOut[i] * scale;
            imOut[i] = imOut[i] * scale;
        }
    }
}

void CFft::transformLanes(uint32_t n, uint32_t inverse, const double* reIn, const double* imIn,
                          double* reOut, double* imOut) const {
    runLanes(n, inverse, reIn, imIn, reOut, imOut, true);
}

void CFft::transformLanesRealOut(uint32_t n, uint32_t inverse, const double* reIn,
                                 const double* imIn, double* reOut, double* work) const {
    runLanes(n, inverse, reIn, imIn, reOut, work, false);
}

void CFft::runLanes(uint32_t n, uint32_t inverse, const double* reIn, const double* imIn,
                    double* reOut, double* imOut, bool withIm) const {
    if (n < 8) {
        // Too small for the grouped first stages and a pass after them: lane
        // by lane.
        double re[4], im[4], outRe[4], outIm[4];
        for (uint32_t l = 0; l < L; ++l) {
            for (uint32_t i = 0; i < n; ++i) {
                re[i] = reIn[i * L + l];
                im[i] = imIn ? imIn[i * L + l] : 0.0;
            }
            transform(n, inverse, re, imIn ? im : nullptr, outRe, outIm);
            for (uint32_t i = 0; i < n; ++i) {
                reOut[i * L + l] = outRe[i];
                imOut[i * L + l] = outIm[i];
            }
        }
        return;
    }
    const LanesCall call{bitReversed_.data(),
                         inverse ? inverseRe_.data() : forwardRe_.data(),
                         inverse ? inverseIm_.data() : forwardIm_.data(),
                         inverse ? inversePairs_.data() : forwardPairs_.data(),
                         n,
                         reIn,
                         imIn,
                         reOut,
                         imOut,
                         inverse ? 1.0 / dSize : 0.0,
                         withIm};
    kernels().lanes(call);
}

void CFft::toLanes(const double* arrays, double* lanes, uint32_t n, const double* window,
                   uint32_t stride) {
    kernels().toLanes(arrays, lanes, n, window, stride == 0 ? n : stride);
}

void CFft::fromLanes(const double* lanes, double* arrays, uint32_t n, uint32_t count) {
    kernels().fromLanes(lanes, arrays, n, count == 0 ? n : count);
}

void CFft::makeWindow(double* table, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        table[i] = 0.5 - 0.5 * dsp::cos(i * dsp::kTwoPi / n);
}

void CFft::applyWindow(const double* table, double* buffer, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        buffer[i] = buffer[i] * table[i];
}

double CFft::binFraction(uint32_t n, uint32_t i) {
    if (i >= n) return 0.0;
    if (i > (n >> 1)) return static_cast<double>(n - i) / n;
    return static_cast<double>(i) / n;
}
