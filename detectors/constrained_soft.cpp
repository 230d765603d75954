#include "detectors/constrained_soft.h"

#include <algorithm>

#include "detectors/constrained.h"
#include "detectors/npbcjr.h"
#include "detectors/soft_detector.h"
#include "detectors/sova.h"
#include "detectors/sova_windows.h"

namespace detectors {

namespace {

inline float Join(SoftMode mode, float a, float b) {
    return mode == SoftMode::kExact ? MaxStar(a, b) : a > b ? a : b;
}

void Normalize(std::vector<float>& v) {
    float top = v[0];
    for (float x : v) top = x > top ? x : top;
    for (float& x : v) x = x - top;
}

// The a-priori half ratio of branch w at step k (none in the tail).
inline float Half(const SoftTrellis& t, const float* la, int n, int k, int w) {
    if (la == nullptr || k >= n) return 0.0f;
    const float h = la[k] * 0.5f;
    return t.raw[static_cast<std::size_t>(w)] ? -h : h;
}

} // namespace

void ConstrainedForwardBackward(const SoftTrellis& t, const channel::BranchMask& mask,
                                SoftMode mode, const float* metric, int n, int steps, bool tail,
                                const float* la, float* e) {
    const int S = t.states, M = t.memory;
    const std::size_t branches = static_cast<std::size_t>(t.Branches());
    std::vector<std::vector<float>> alpha(static_cast<std::size_t>(steps),
                                          std::vector<float>(static_cast<std::size_t>(S)));
    std::vector<float> a(static_cast<std::size_t>(S), kImpossible), next(a.size());
    a[0] = 0.0f;
    for (int k = 0; k < steps; ++k) {
        alpha[static_cast<std::size_t>(k)] = a;
        const float* m = metric + static_cast<std::size_t>(k) * branches;
        for (int tt = 0; tt < S; ++tt) {
            const int b = tt >> (M - 1);
            float c[2] = {kImpossible, kImpossible};
            for (int j = 0; j < 2; ++j) {
                const int s = t.Predecessor(tt, j), w = (b << M) | s;
                if (!mask.Allowed(k, n, w)) continue;
                float g = m[w];
                if (la != nullptr) g = g + Half(t, la, n, k, w);
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
            float q[2] = {kImpossible, kImpossible};
            for (int b = 0; b < 2; ++b) {
                const int w = (b << M) | s;
                if (!mask.Allowed(k, n, w)) continue;
                const float qm = beta[static_cast<std::size_t>(t.Next(s, b))] + m[w];
                q[b] = la != nullptr ? qm + Half(t, la, n, k, w) : qm;
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

void ConstrainedSova(const SoftTrellis& t, const channel::BranchMask& mask, const float* metric,
                     int n, int steps, bool tail, int depth, int nu, const float* la, float* e) {
    using sova::Windows;
    const int S = t.states, M = t.memory;
    const int width = std::min(depth > 0 ? depth : DefaultDepth(nu), steps);
    const std::size_t branches = static_cast<std::size_t>(t.Branches());
    std::vector<float> pm(static_cast<std::size_t>(S), kImpossible), next(pm.size());
    pm[0] = 0.0f;
    Windows cur(S, width), nw(S, width);
    std::vector<float> rel(static_cast<std::size_t>(n));
    std::vector<std::uint8_t> bit(static_cast<std::size_t>(n));
    auto take = [&](const Windows& from, int s, int p) {
        bit[static_cast<std::size_t>(p)] = from.bit[from.At(s, p)];
        rel[static_cast<std::size_t>(p)] = from.rel[from.At(s, p)];
    };
    for (int k = 0; k < steps; ++k) {
        if (k >= width && k - width < n) take(cur, sova::BestOf(pm), k - width);
        const float* m = metric + static_cast<std::size_t>(k) * branches;
        const int first = std::max(0, k - width + 1);
        for (int tt = 0; tt < S; ++tt) {
            const int b = tt >> (M - 1);
            float c[2] = {kImpossible, kImpossible};
            int w[2];
            bool allowed[2];
            for (int j = 0; j < 2; ++j) {
                w[j] = (b << M) | t.Predecessor(tt, j);
                allowed[j] = mask.Allowed(k, n, w[j]);
                if (!allowed[j]) continue;
                const float g = m[w[j]] + Half(t, la, n, k, w[j]);
                c[j] = pm[static_cast<std::size_t>(t.Predecessor(tt, j))] + g;
            }
            const int win = c[1] > c[0] ? 1 : 0, lose = 1 - win;
            next[static_cast<std::size_t>(tt)] = c[win];
            const std::size_t o = nw.At(tt, k);
            const std::uint8_t rw = t.raw[static_cast<std::size_t>(w[win])];
            if (allowed[lose]) {
                const float delta = c[win] - c[lose];
                sova::Update(cur, t.Predecessor(tt, win), t.Predecessor(tt, lose), delta, first,
                             k - 1, nw, tt);
                nw.rel[o] =
                    rw != t.raw[static_cast<std::size_t>(w[lose])] ? delta : sova::kUnrivalled;
            } else {
                sova::Copy(cur, t.Predecessor(tt, win), first, k - 1, nw, tt);
                nw.rel[o] = sova::kUnrivalled;
            }
            nw.bit[o] = rw;
        }
        Normalize(next);
        pm.swap(next);
        std::swap(cur, nw);
    }
    // The end: the best of the states the frame may end in, merged with
    // each other one of them.
    const int first = std::max(0, steps - width);
    const int ends = tail ? t.endStates : S;
    int end = 0;
    for (int s = 1; s < ends; ++s)
        if (pm[static_cast<std::size_t>(s)] > pm[static_cast<std::size_t>(end)]) end = s;
    for (int s = 0; s < ends; ++s) {
        if (s == end) continue;
        sova::Update(cur, end, s,
                     pm[static_cast<std::size_t>(end)] - pm[static_cast<std::size_t>(s)], first,
                     steps - 1, nw, end);
        for (int p = first; p < steps; ++p) cur.rel[cur.At(end, p)] = nw.rel[nw.At(end, p)];
    }
    for (int p = first; p < n; ++p) take(cur, end, p);
    for (int k = 0; k < n; ++k) {
        const float r = rel[static_cast<std::size_t>(k)];
        const float l = bit[static_cast<std::size_t>(k)] ? -r : r;
        // The posterior less the a-priori: FinishRatios adds it back.
        e[k] = la == nullptr ? l : l - la[k];
    }
}

namespace {

class ConstrainedSoftDetector final : public SoftDetector {
  public:
    ConstrainedSoftDetector(Kind kind, const Setup& setup)
        : SoftDetector(setup.shape), kind_(kind), nu_(setup.target.Memory()),
          taps_(kind == Kind::kNpbcjr ? static_cast<int>(setup.predictor.size()) : 0),
          memory_(std::max(channel::ConstrainedMemory(channel::ConstraintOf(setup.constraint), nu_),
                           nu_ + taps_)),
          wide_(Widened(setup.target, memory_ - taps_)), trellis_(MakeSoftTrellis(wide_, taps_)),
          mask_(channel::MaskOf(channel::ConstraintOf(setup.constraint), memory_)),
          variance_(kind == Kind::kNpbcjr ? setup.predictionVariance : setup.noiseVariance),
          depth_(setup.depth) {
        if (taps_ > 0) predictor_ = setup.predictor;
        // With a tail the newest nu bits are the tail's zeros.
        trellis_.endStates = 1 << (memory_ - nu_);
    }
    Kind kind() const override { return kind_; }

  protected:
    void Frames(int count, const float* const* y, const float* const* apriori, bool extrinsic,
                float* const* llr, std::uint8_t* const* raw) override {
        for (int f = 0; f < count; ++f)
            One(y[f], apriori != nullptr ? apriori[f] : nullptr, extrinsic, llr[f], raw[f]);
    }

  private:
    void One(const float* y, const float* apriori, bool extrinsic, float* llr, std::uint8_t* raw) {
        const int n = shape().bits, steps = shape().Samples();
        const bool noiseless = Noiseless(variance_);
        const float factor = MetricFactor(variance_);
        metric_.resize(static_cast<std::size_t>(steps) *
                       static_cast<std::size_t>(trellis_.Branches()));
        if (kind_ == Kind::kNpbcjr)
            WhitenedMetrics(trellis_, wide_, predictor_, factor, y, steps, metric_.data());
        else
            BranchMetrics(trellis_, factor, y, steps, metric_.data());
        la_.clear();
        if (apriori != nullptr && !noiseless)
            for (int k = 0; k < n; ++k) la_.push_back(ClampApriori(apriori[k]));
        const float* la = la_.empty() ? nullptr : la_.data();
        e_.resize(static_cast<std::size_t>(n));
        if (kind_ == Kind::kSova) {
            ConstrainedSova(trellis_, mask_, metric_.data(), n, steps, shape().tail > 0, depth_,
                            nu_, la, e_.data());
        } else {
            const SoftMode mode =
                kind_ == Kind::kMaxlog || noiseless ? SoftMode::kMaxLog : SoftMode::kExact;
            ConstrainedForwardBackward(trellis_, mask_, mode, metric_.data(), n, steps,
                                       shape().tail > 0, la, e_.data());
        }
        FinishRatios(n, noiseless, e_.data(), la, extrinsic, llr, raw);
    }

    Kind kind_;
    int nu_, taps_, memory_;
    channel::Target wide_;
    SoftTrellis trellis_;
    channel::BranchMask mask_;
    double variance_;
    int depth_;
    std::vector<float> predictor_, metric_, la_, e_;
};

} // namespace

std::unique_ptr<Detector> MakeConstrainedSoftDetector(Kind kind, const Setup& setup) {
    return std::make_unique<ConstrainedSoftDetector>(kind, setup);
}

} // namespace detectors
