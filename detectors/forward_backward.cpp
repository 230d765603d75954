#include "detectors/forward_backward.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "detectors/constrained_soft.h"
#include "detectors/soft_detector.h"
#include "detectors/soft_simd.h"
#include "detectors/table.h"

namespace detectors {

float MaxStar(float a, float b) {
    const float m = a > b ? a : b;
    const float d = a > b ? a - b : b - a;
    return m + std::log1p(std::exp(-d));
}

namespace {

inline float Max(float a, float b) {
    return a > b ? a : b;
}

inline float Join(SoftMode mode, float a, float b) {
    return mode == SoftMode::kExact ? MaxStar(a, b) : Max(a, b);
}

void Normalize(std::vector<float>& v) {
    float top = v[0];
    for (float x : v) top = Max(x, top);
    for (float& x : v) x = x - top;
}

} // namespace

void BranchMetrics(const SoftTrellis& t, float factor, const float* y, int steps, float* metric) {
    const std::size_t branches = static_cast<std::size_t>(t.Branches());
    std::vector<float> perLevel(t.levels.size());
    for (int k = 0; k < steps; ++k) {
        const float yc = Clamp(y[k], t.low, t.high);
        for (std::size_t i = 0; i < t.levels.size(); ++i) {
            const float d = yc - t.levels[i];
            perLevel[i] = (d * d) * factor;
        }
        float* row = metric + static_cast<std::size_t>(k) * branches;
        for (std::size_t w = 0; w < branches; ++w)
            row[w] = perLevel[static_cast<std::size_t>(t.levelIndex[w])];
    }
}

void ForwardBackwardPlain(const SoftTrellis& t, SoftMode mode, const float* metric, int n,
                          int steps, bool tail, const float* la, float* e) {
    const int S = t.states, M = t.memory;
    const std::size_t branches = static_cast<std::size_t>(t.Branches());
    if (M == 0) {
        // One state: each sample is its own bit's evidence, and both
        // recursions collect a single branch per bit, so the extrinsic ratio
        // is the branch metric of a 0 less that of a 1 (the a-priori ratio
        // never enters it).
        const int zero = t.raw[0] == 0 ? 0 : 1;
        for (int k = 0; k < n; ++k) {
            const float* m = metric + static_cast<std::size_t>(k) * branches;
            e[k] = m[zero] - m[1 - zero];
        }
        return;
    }
    auto half = [&](int k, int w) {
        // The a-priori half ratio of branch w at step k (none in the tail).
        if (la == nullptr || k >= n) return 0.0f;
        const float h = la[k] * 0.5f;
        return t.raw[static_cast<std::size_t>(w)] ? -h : h;
    };
    // alpha[k] for k = 0 ... steps - 1: the forward metrics before step k.
    std::vector<std::vector<float>> alpha(static_cast<std::size_t>(steps),
                                          std::vector<float>(static_cast<std::size_t>(S)));
    std::vector<float> a(static_cast<std::size_t>(S), kImpossible), next(a.size());
    a[0] = 0.0f;
    for (int k = 0; k < steps; ++k) {
        alpha[static_cast<std::size_t>(k)] = a;
        const float* m = metric + static_cast<std::size_t>(k) * branches;
        for (int tt = 0; tt < S; ++tt) {
            const int b = tt >> (M - 1);
            float c[2];
            for (int j = 0; j < 2; ++j) {
                const int s = t.Predecessor(tt, j), w = (b << M) | s;
                float g = m[w];
                if (la != nullptr) g = g + half(k, w);
                c[j] = a[static_cast<std::size_t>(s)] + g;
            }
            next[static_cast<std::size_t>(tt)] = Join(mode, c[0], c[1]);
        }
        Normalize(next);
        a.swap(next);
    }
    std::vector<float> beta(static_cast<std::size_t>(S), tail ? kImpossible : 0.0f);
    for (int s = 0; s < (tail ? t.endStates : 0); ++s) beta[static_cast<std::size_t>(s)] = 0.0f;
    for (int k = steps - 1; k >= 0; --k) {
        const float* m = metric + static_cast<std::size_t>(k) * branches;
        const std::vector<float>& ak = alpha[static_cast<std::size_t>(k)];
        float sum[2] = {kImpossible, kImpossible};
        for (int s = 0; s < S; ++s) {
            float q[2];
            for (int b = 0; b < 2; ++b) {
                const int w = (b << M) | s;
                const float qm = beta[static_cast<std::size_t>(t.Next(s, b))] + m[w];
                q[b] = la != nullptr ? qm + half(k, w) : qm;
                if (k < n) {
                    float& into = sum[t.raw[static_cast<std::size_t>(w)]];
                    into = Join(mode, into, qm + ak[static_cast<std::size_t>(s)]);
                }
            }
            next[static_cast<std::size_t>(s)] = Join(mode, q[0], q[1]);
        }
        if (k < n) e[k] = sum[0] - sum[1];
        Normalize(next);
        beta.swap(next);
    }
}

namespace {

// f(k) for k < n, in blocks of eight: a loop of a known count, which the
// compiler's vectors take at -O2 (the one loop over n they leave alone).
template <class F> inline void InBlocks(int n, F f) {
    int k = 0;
    for (; k + 8 <= n; k += 8)
        for (int j = 0; j < 8; ++j) f(k + j);
    for (; k < n; ++k) f(k);
}

} // namespace

void FinishRatios(int n, bool noiseless, const float* __restrict e, const float* __restrict la,
                  bool extrinsic, float* __restrict llr, std::uint8_t* __restrict raw) {
    // A loop for each case, without branches inside (at 8 frames of maxlog
    // the one loop with its branches took a tenth of the time).
    if (noiseless)
        InBlocks(n, [&](int k) { llr[k] = Certain(e[k]); });
    else if (la == nullptr || extrinsic)
        InBlocks(n, [&](int k) { llr[k] = e[k]; });
    else
        InBlocks(n, [&](int k) { llr[k] = e[k] + la[k]; });
    if (raw == nullptr) return;
    if (la == nullptr || noiseless || !extrinsic)
        // llr holds the posterior ratios.
        InBlocks(n, [&](int k) { raw[k] = llr[k] < 0 ? 1 : 0; });
    else
        InBlocks(n, [&](int k) { raw[k] = e[k] + la[k] < 0 ? 1 : 0; });
}

void SoftPlain(const SoftTrellis& t, SoftMode mode, double variance, const float* y, int n,
               int tail, const float* apriori, bool extrinsic, float* llr, std::uint8_t* raw) {
    const int steps = n + tail;
    const bool noiseless = Noiseless(variance);
    std::vector<float> metric(static_cast<std::size_t>(steps) *
                              static_cast<std::size_t>(t.Branches()));
    BranchMetrics(t, MetricFactor(variance), y, steps, metric.data());
    std::vector<float> la;
    if (apriori != nullptr && !noiseless) {
        la.resize(static_cast<std::size_t>(n));
        for (int k = 0; k < n; ++k) la[static_cast<std::size_t>(k)] = ClampApriori(apriori[k]);
    }
    std::vector<float> e(static_cast<std::size_t>(n));
    ForwardBackwardPlain(t, noiseless ? SoftMode::kMaxLog : mode, metric.data(), n, steps, tail > 0,
                         la.empty() ? nullptr : la.data(), e.data());
    FinishRatios(n, noiseless, e.data(), la.empty() ? nullptr : la.data(), extrinsic, llr, raw);
}

} // namespace detectors

namespace detectors {

bool LanesTake(const SoftTrellis& t) {
    // Memory 0 is one subtraction a bit anyway.
    return SoftLanesRun() && t.memory >= 1 && t.memory <= kMaxLaneMemory;
}

void LaneFrames(const SoftTrellis& t, bool exact, double variance, FrameShape shape, int count,
                const float* const* y, const float* const* apriori, bool extrinsic,
                float* const* llr, std::uint8_t* const* raw, LaneRun& run) {
    const bool noiseless = Noiseless(variance);
    const int n = shape.bits;
    // When the ratios asked for are the extrinsic ones the lanes give, they
    // go straight into llr (no copy from the group's rows).
    const bool own = !noiseless && (apriori == nullptr || extrinsic);
    ForLaneGroups(
        LaneWidth(run.kernel), n, count, noiseless ? nullptr : apriori, run.la, run.e,
        [&](int first, int frames, const float* const* la, float* const* e) {
            SoftLanes(run.kernel, t, run.metrics, exact && !noiseless, MetricFactor(variance),
                      frames, y + first, n, shape.tail, la, own ? llr + first : e, run.scratch);
            for (int f = 0; f < frames; ++f) {
                const float* lf = la != nullptr ? la[f] : nullptr;
                if (!own)
                    FinishRatios(n, noiseless, e[f], lf, extrinsic, llr[first + f], raw[first + f]);
                else if (raw[first + f] != nullptr)
                    LaneDecisions(n, llr[first + f], lf, raw[first + f]);
            }
        });
}

namespace {

class ForwardBackwardDetector final : public SoftDetector {
  public:
    ForwardBackwardDetector(Kind kind, const Setup& setup)
        : SoftDetector(setup.shape), kind_(kind), trellis_(MakeSoftTrellis(setup.target)),
          variance_(setup.noiseVariance) {
        lanes_.metrics = LevelLaneMetrics(trellis_);
    }
    Kind kind() const override { return kind_; }

  protected:
    void Frames(int count, const float* const* y, const float* const* apriori, bool extrinsic,
                float* const* llr, std::uint8_t* const* raw) override {
        const SoftMode mode = kind_ == Kind::kBcjr ? SoftMode::kExact : SoftMode::kMaxLog;
        if (LanesTake(trellis_)) {
            LaneFrames(trellis_, mode == SoftMode::kExact, variance_, shape(), count, y, apriori,
                       extrinsic, llr, raw, lanes_);
            return;
        }
        for (int f = 0; f < count; ++f)
            SoftPlain(trellis_, mode, variance_, y[f], shape().bits, shape().tail,
                      apriori != nullptr ? apriori[f] : nullptr, extrinsic, llr[f], raw[f]);
    }

  private:
    Kind kind_;
    SoftTrellis trellis_;
    double variance_;
    LaneRun lanes_;
};

} // namespace

std::string BcjrWhyNot(const Where&) {
    return {};
}

std::unique_ptr<Detector> MakeMemorylessSoftDetector(Kind kind, const Setup& setup) {
    return std::make_unique<ForwardBackwardDetector>(kind, setup);
}

std::unique_ptr<Detector> MakeBcjrDetector(const Setup& setup) {
    if (channel::ConstraintOf(setup.constraint).maxOnes > 0)
        return MakeConstrainedSoftDetector(Kind::kBcjr, setup);
    return std::make_unique<ForwardBackwardDetector>(Kind::kBcjr, setup);
}

std::unique_ptr<Detector> MakeMaxlogDetector(const Setup& setup) {
    if (channel::ConstraintOf(setup.constraint).maxOnes > 0)
        return MakeConstrainedSoftDetector(Kind::kMaxlog, setup);
    return std::make_unique<ForwardBackwardDetector>(Kind::kMaxlog, setup);
}

} // namespace detectors
