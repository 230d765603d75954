#include "detectors/npml.h"

#include <cassert>
#include <limits>

#include "channel/encoder.h"
#include "channel/head.h"
#include "detectors/constrained.h"
#include "detectors/lane_min.h"
#include "detectors/traceback.h"
#include "detectors/viterbi.h"
#include "detectors/viterbi_kernels.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
// GCC 12's AVX-512 intrinsics start from _mm512_undefined_ps(), which it then
// reports as "may be used uninitialized" (GCC bug 105593).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define QUORVANE_NPML_X86 1
#endif

namespace detectors {

namespace {

using viterbi_detail::Branches;
using viterbi_detail::BranchesOf;
#ifdef QUORVANE_NPML_X86
using viterbi_detail::LaneMin;
#endif

// The scalar forward pass; Word as in ForwardScalar.
template <typename Word>
void NpmlForward(const Branches& b, const float* p, int taps, const float* y, int steps,
                 Word* decisions, float* pmOut) {
    const int states = b.states;
    const int half = states / 2;
    float pm[channel::kMaxStates], next[channel::kMaxStates];
    float e[channel::kMaxStates][kMaxPredictorTaps] = {};
    float ne[channel::kMaxStates][kMaxPredictorTaps];
    pm[0] = 0.0f;
    for (int t = 1; t < states; ++t) pm[t] = std::numeric_limits<float>::infinity();
    for (int k = 0; k < steps; ++k) {
        Word word = 0;
        for (int t = 0; t < states; ++t) {
            const int s0 = 2 * (t & (half - 1));
            float m[2], d[2];
            for (int j = 0; j < 2; ++j) {
                const float* h = e[s0 + j];
                float pred = p[0] * h[0];
                for (int i = 1; i < taps; ++i) pred = pred + p[i] * h[i];
                d[j] = y[k] - b.from[j][t];
                const float r = d[j] - pred;
                m[j] = pm[s0 + j] + r * r;
            }
            const int odd = m[1] < m[0] ? 1 : 0;
            next[t] = m[odd];
            ne[t][0] = d[odd];
            for (int i = 1; i < taps; ++i) ne[t][i] = e[s0 + odd][i - 1];
            word |= static_cast<Word>(odd) << t;
        }
        for (int t = 0; t < states; ++t) {
            pm[t] = next[t];
            for (int i = 0; i < taps; ++i) e[t][i] = ne[t][i];
        }
        if ((k & (kRenormPeriod - 1)) == kRenormPeriod - 1) {
            float low = pm[0];
            for (int t = 1; t < states; ++t) low = pm[t] < low ? pm[t] : low;
            for (int t = 0; t < states; ++t) pm[t] = pm[t] - low;
        }
        decisions[k] = word;
    }
    for (int t = 0; t < states; ++t) pmOut[t] = pm[t];
}

#ifdef QUORVANE_NPML_X86

// Sum_i p_i h_i, left to right as the scalar pass adds it.
template <int P>
__attribute__((target("avx512f"), always_inline)) inline __m512 Predict(const __m512 (&p)[P],
                                                                        const __m512 (&h)[P]) {
    __m512 pred = _mm512_mul_ps(p[0], h[0]);
    for (int i = 1; i < P; ++i) pred = _mm512_add_ps(pred, _mm512_mul_ps(p[i], h[i]));
    return pred;
}

// 32 states in two registers per quantity: lo = states 0 ... 15 (new bit 0),
// hi = 16 ... 31 (new bit 1), both halves fed by predecessors 2j and 2j + 1,
// whose metrics and noise histories are gathered once for both.
struct WideTrellis {
    __m512 even0, odd0, even1, odd1;
    __m512i even, odd;
};

template <int P> struct WideState {
    __m512 lo, hi;
    __m512 hlo[P], hhi[P]; // the survivors' noise estimates, newest first
};

template <int P>
__attribute__((target("avx512f"), always_inline)) inline std::uint32_t
WideStep(const WideTrellis& t, const __m512 (&p)[P], float y, WideState<P>& s) {
    const __m512 e = _mm512_permutex2var_ps(s.lo, t.even, s.hi);
    const __m512 o = _mm512_permutex2var_ps(s.lo, t.odd, s.hi);
    __m512 he[P], ho[P];
    for (int i = 0; i < P; ++i) {
        he[i] = _mm512_permutex2var_ps(s.hlo[i], t.even, s.hhi[i]);
        ho[i] = _mm512_permutex2var_ps(s.hlo[i], t.odd, s.hhi[i]);
    }
    const __m512 pe = Predict<P>(p, he), po = Predict<P>(p, ho);
    const __m512 yk = _mm512_set1_ps(y);
    const __m512 de0 = _mm512_sub_ps(yk, t.even0), do0 = _mm512_sub_ps(yk, t.odd0);
    const __m512 de1 = _mm512_sub_ps(yk, t.even1), do1 = _mm512_sub_ps(yk, t.odd1);
    const __m512 re0 = _mm512_sub_ps(de0, pe), ro0 = _mm512_sub_ps(do0, po);
    const __m512 re1 = _mm512_sub_ps(de1, pe), ro1 = _mm512_sub_ps(do1, po);
    const __m512 me0 = _mm512_add_ps(e, _mm512_mul_ps(re0, re0));
    const __m512 mo0 = _mm512_add_ps(o, _mm512_mul_ps(ro0, ro0));
    const __m512 me1 = _mm512_add_ps(e, _mm512_mul_ps(re1, re1));
    const __m512 mo1 = _mm512_add_ps(o, _mm512_mul_ps(ro1, ro1));
    // Strictly smaller: a tie keeps the even predecessor, a NaN never wins.
    const __mmask16 c0 = _mm512_cmp_ps_mask(mo0, me0, _CMP_LT_OQ);
    const __mmask16 c1 = _mm512_cmp_ps_mask(mo1, me1, _CMP_LT_OQ);
    s.lo = _mm512_min_ps(mo0, me0);
    s.hi = _mm512_min_ps(mo1, me1);
    for (int i = P - 1; i > 0; --i) {
        s.hlo[i] = _mm512_mask_blend_ps(c0, he[i - 1], ho[i - 1]);
        s.hhi[i] = _mm512_mask_blend_ps(c1, he[i - 1], ho[i - 1]);
    }
    s.hlo[0] = _mm512_mask_blend_ps(c0, de0, do0);
    s.hhi[0] = _mm512_mask_blend_ps(c1, de1, do1);
    return static_cast<std::uint32_t>(c0) | (static_cast<std::uint32_t>(c1) << 16);
}

// F frames of the same length at once: a step's chain of dependent
// operations (gather, predict, subtract, square, add, select) is long, and
// the frames' chains overlap. Every frame sees exactly the operations it
// would alone.
template <int P, int F>
__attribute__((target("avx512f"))) void
WideForward(const Branches& b, const float* taps, const float* const (&y)[F], int n,
            std::uint32_t* const (&decisions)[F], float* const (&pmOut)[F]) {
    alignas(64) float ideal[4][16];
    alignas(64) std::int32_t evenIdx[16], oddIdx[16];
    for (int j = 0; j < 16; ++j) {
        ideal[0][j] = b.from[0][j];
        ideal[1][j] = b.from[1][j];
        ideal[2][j] = b.from[0][j + 16];
        ideal[3][j] = b.from[1][j + 16];
        evenIdx[j] = 2 * j;
        oddIdx[j] = 2 * j + 1;
    }
    const WideTrellis t{_mm512_load_ps(ideal[0]),   _mm512_load_ps(ideal[1]),
                        _mm512_load_ps(ideal[2]),   _mm512_load_ps(ideal[3]),
                        _mm512_load_si512(evenIdx), _mm512_load_si512(oddIdx)};
    __m512 p[P];
    for (int i = 0; i < P; ++i) p[i] = _mm512_set1_ps(taps[i]);
    const __m512 inf = _mm512_set1_ps(std::numeric_limits<float>::infinity());
    WideState<P> s[F];
    for (int f = 0; f < F; ++f) {
        s[f].lo = _mm512_mask_blend_ps(1, inf, _mm512_setzero_ps());
        s[f].hi = inf;
        for (int i = 0; i < P; ++i) s[f].hlo[i] = s[f].hhi[i] = _mm512_setzero_ps();
    }
    for (int k = 0; k < n; ++k) {
        for (int f = 0; f < F; ++f) decisions[f][k] = WideStep<P>(t, p, y[f][k], s[f]);
        if ((k & (kRenormPeriod - 1)) == kRenormPeriod - 1) {
            for (int f = 0; f < F; ++f) {
                const __m512 low = LaneMin(_mm512_min_ps(s[f].lo, s[f].hi));
                s[f].lo = _mm512_sub_ps(s[f].lo, low);
                s[f].hi = _mm512_sub_ps(s[f].hi, low);
            }
        }
    }
    for (int f = 0; f < F; ++f) {
        _mm512_storeu_ps(pmOut[f], s[f].lo);
        _mm512_storeu_ps(pmOut[f] + 16, s[f].hi);
    }
}

// Up to 16 states in one register; spare lanes copy state lane mod S, as in
// the Viterbi detector's narrow pass.
struct NarrowTrellis {
    __m512 even, odd;
    __m512i evenIdx, oddIdx;
    std::uint32_t mask;
};

template <int P> struct NarrowState {
    __m512 r;
    __m512 h[P];
};

template <int P>
__attribute__((target("avx512f"), always_inline)) inline std::uint32_t
NarrowStep(const NarrowTrellis& t, const __m512 (&p)[P], float y, NarrowState<P>& s) {
    const __m512 e = _mm512_permutexvar_ps(t.evenIdx, s.r);
    const __m512 o = _mm512_permutexvar_ps(t.oddIdx, s.r);
    __m512 he[P], ho[P];
    for (int i = 0; i < P; ++i) {
        he[i] = _mm512_permutexvar_ps(t.evenIdx, s.h[i]);
        ho[i] = _mm512_permutexvar_ps(t.oddIdx, s.h[i]);
    }
    const __m512 yk = _mm512_set1_ps(y);
    const __m512 de = _mm512_sub_ps(yk, t.even), dd = _mm512_sub_ps(yk, t.odd);
    const __m512 re = _mm512_sub_ps(de, Predict<P>(p, he));
    const __m512 ro = _mm512_sub_ps(dd, Predict<P>(p, ho));
    const __m512 me = _mm512_add_ps(e, _mm512_mul_ps(re, re));
    const __m512 mo = _mm512_add_ps(o, _mm512_mul_ps(ro, ro));
    const __mmask16 c = _mm512_cmp_ps_mask(mo, me, _CMP_LT_OQ);
    s.r = _mm512_min_ps(mo, me);
    for (int i = P - 1; i > 0; --i) s.h[i] = _mm512_mask_blend_ps(c, he[i - 1], ho[i - 1]);
    s.h[0] = _mm512_mask_blend_ps(c, de, dd);
    return static_cast<std::uint32_t>(c) & t.mask;
}

template <int P, int F>
__attribute__((target("avx512f"))) void
NarrowForward(const Branches& b, const float* taps, const float* const (&y)[F], int n,
              std::uint32_t* const (&decisions)[F], float* const (&pmOut)[F]) {
    alignas(64) float ideal[2][16], start[16];
    alignas(64) std::int32_t idx[2][16];
    for (int l = 0; l < 16; ++l) {
        const int t = l % b.states;
        ideal[0][l] = b.from[0][t];
        ideal[1][l] = b.from[1][t];
        idx[0][l] = 2 * (t & (b.states / 2 - 1));
        idx[1][l] = idx[0][l] + 1;
        start[l] = t == 0 ? 0.0f : std::numeric_limits<float>::infinity();
    }
    const NarrowTrellis t{_mm512_load_ps(ideal[0]), _mm512_load_ps(ideal[1]),
                          _mm512_load_si512(idx[0]), _mm512_load_si512(idx[1]),
                          b.states >= 16 ? 0xFFFFu : (1u << b.states) - 1};
    __m512 p[P];
    for (int i = 0; i < P; ++i) p[i] = _mm512_set1_ps(taps[i]);
    NarrowState<P> s[F];
    for (int f = 0; f < F; ++f) {
        s[f].r = _mm512_load_ps(start);
        for (int i = 0; i < P; ++i) s[f].h[i] = _mm512_setzero_ps();
    }
    for (int k = 0; k < n; ++k) {
        for (int f = 0; f < F; ++f) decisions[f][k] = NarrowStep<P>(t, p, y[f][k], s[f]);
        if ((k & (kRenormPeriod - 1)) == kRenormPeriod - 1)
            for (int f = 0; f < F; ++f) s[f].r = _mm512_sub_ps(s[f].r, LaneMin(s[f].r));
    }
    for (int f = 0; f < F; ++f) {
        alignas(64) float all[16];
        _mm512_store_ps(all, s[f].r);
        for (int st = 0; st < b.states; ++st) pmOut[f][st] = all[st];
    }
}

template <int P, int F>
void FastForward(const Branches& b, const float* taps, const float* const (&y)[F], int n,
                 std::uint32_t* const (&d)[F], float* const (&pm)[F]) {
    if (b.states <= 16) return NarrowForward<P, F>(b, taps, y, n, d, pm);
    WideForward<P, F>(b, taps, y, n, d, pm);
}

template <int F>
void FastForwardTaps(int taps, const Branches& b, const float* p, const float* const (&y)[F], int n,
                     std::uint32_t* const (&d)[F], float* const (&pm)[F]) {
    switch (taps) {
    case 1:
        return FastForward<1, F>(b, p, y, n, d, pm);
    case 2:
        return FastForward<2, F>(b, p, y, n, d, pm);
    case 3:
        return FastForward<3, F>(b, p, y, n, d, pm);
    default:
        return FastForward<4, F>(b, p, y, n, d, pm);
    }
}

bool HasAvx512() {
    static const bool has = __builtin_cpu_supports("avx512f");
    return has;
}

#endif

} // namespace

void NpmlPlain(const channel::Target& target, const std::vector<float>& predictor, const float* y,
               int n, int tail, std::uint8_t* raw) {
    assert(!predictor.empty() && predictor.size() <= kMaxPredictorTaps);
    assert(tail == 0 || tail == target.Memory());
    const Branches b = BranchesOf(target.GetTrellis());
    const int steps = n + tail;
    std::vector<std::uint64_t> decisions(static_cast<std::size_t>(steps));
    float pm[channel::kMaxStates];
    NpmlForward(b, predictor.data(), static_cast<int>(predictor.size()), y, steps, decisions.data(),
                pm);
    viterbi_detail::PlainTraceback(target, decisions.data(), n, tail, pm, raw);
}

struct Npml::Impl {
    channel::Target target;
    Branches branches;
    viterbi_detail::Traceback traceback;
    std::vector<float> taps;
    std::vector<std::uint32_t> d0, d1;
    std::vector<std::uint64_t> wide;

    Impl(const channel::Target& t, const std::vector<float>& p)
        : target(t), branches(BranchesOf(t.GetTrellis())), traceback(t), taps(p) {}

    bool Fast() const {
#ifdef QUORVANE_NPML_X86
        return HasAvx512() && branches.states <= viterbi_detail::kMaxFastStates;
#else
        return false;
#endif
    }
    static void Reserve(std::vector<std::uint32_t>& d, int steps) {
        if (d.size() < static_cast<std::size_t>(steps)) d.resize(static_cast<std::size_t>(steps));
    }
    int End(const float* pm, int tail) const {
        return tail > 0 ? 0 : viterbi_detail::BestState(pm, branches.states);
    }
};

Npml::Npml(const channel::Target& target, const std::vector<float>& predictor)
    : impl_(new Impl(target, predictor)) {
    assert(!predictor.empty() && predictor.size() <= kMaxPredictorTaps);
}

Npml::~Npml() {
    delete impl_;
}

void Npml::Detect(const float* y, int n, int tail, std::uint8_t* raw) {
    Impl& m = *impl_;
    const int steps = n + tail;
    const int taps = static_cast<int>(m.taps.size());
    float pm[channel::kMaxStates];
#ifdef QUORVANE_NPML_X86
    if (m.Fast()) {
        Impl::Reserve(m.d0, steps);
        FastForwardTaps<1>(taps, m.branches, m.taps.data(), {y}, steps, {m.d0.data()}, {pm});
        m.traceback.Run(m.d0.data(), n, tail, m.End(pm, tail), raw);
        return;
    }
#endif
    if (m.wide.size() < static_cast<std::size_t>(steps))
        m.wide.resize(static_cast<std::size_t>(steps));
    NpmlForward(m.branches, m.taps.data(), taps, y, steps, m.wide.data(), pm);
    m.traceback.Run(m.wide.data(), n, tail, m.End(pm, tail), raw);
}

void Npml::DetectPair(const float* y0, const float* y1, int n, int tail, std::uint8_t* raw0,
                      std::uint8_t* raw1) {
    Impl& m = *impl_;
#ifdef QUORVANE_NPML_X86
    if (m.Fast()) {
        const int steps = n + tail;
        Impl::Reserve(m.d0, steps);
        Impl::Reserve(m.d1, steps);
        float pm0[channel::kMaxStates], pm1[channel::kMaxStates];
        FastForwardTaps<2>(static_cast<int>(m.taps.size()), m.branches, m.taps.data(), {y0, y1},
                           steps, {m.d0.data(), m.d1.data()}, {pm0, pm1});
        m.traceback.Run(m.d0.data(), n, tail, m.End(pm0, tail), raw0);
        m.traceback.Run(m.d1.data(), n, tail, m.End(pm1, tail), raw1);
        return;
    }
#endif
    Detect(y0, n, tail, raw0);
    Detect(y1, n, tail, raw1);
}

namespace {

class NpmlDetector final : public Detector {
  public:
    explicit NpmlDetector(const Setup& setup)
        : Detector(setup.shape), npml_(setup.target, setup.predictor) {}
    Kind kind() const override { return Kind::kNpml; }
    void Detect(int count, const float* const* y, std::uint8_t* const* raw) override {
        const FrameShape& s = shape();
        int f = 0;
        for (; f + 2 <= count; f += 2)
            npml_.DetectPair(y[f], y[f + 1], s.bits, s.tail, raw[f], raw[f + 1]);
        if (f < count) npml_.Detect(y[f], s.bits, s.tail, raw[f]);
    }

  private:
    Npml npml_;
};

} // namespace

std::string NpmlWhyNot(const Where& where) {
    if (!where.coloured)
        return "npml predicts the noise an equalizer colours; the ideal channel's is white "
               "(choose --channel " +
               channel::HeadNames() + ")";
    return {};
}

std::unique_ptr<Detector> MakeNpmlDetector(const Setup& setup) {
    assert(!setup.predictor.empty());
    if (channel::ConstraintOf(setup.constraint).maxOnes > 0)
        return MakeConstrainedDetector(Kind::kNpml, setup);
    return std::make_unique<NpmlDetector>(setup);
}

} // namespace detectors
