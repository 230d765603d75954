#include "detectors/sova.h"

#include <algorithm>
#include <vector>

#include "detectors/constrained_soft.h"
#include "detectors/forward_backward.h"
#include "detectors/soft_detector.h"
#include "detectors/sova_simd.h"
#include "detectors/sova_windows.h"

namespace detectors {

int DefaultDepth(int nu) {
    return 5 * (nu + 1);
}

int SovaWidth(const SoftTrellis& t, int depth, int steps) {
    return std::min(depth > 0 ? depth : DefaultDepth(t.nu), steps);
}

void SovaFinish(int n, bool noiseless, const float* l, const float* la, bool extrinsic, float* llr,
                std::uint8_t* raw) {
    std::vector<float> e(static_cast<std::size_t>(n));
    // The posterior less the a-priori: FinishRatios adds it back.
    for (int k = 0; k < n; ++k)
        e[static_cast<std::size_t>(k)] = la == nullptr ? l[k] : l[k] - la[k];
    FinishRatios(n, noiseless, e.data(), la, extrinsic, llr, raw);
}

using sova::BestOf;
using sova::kUnrivalled;
using sova::Update;
using sova::Windows;

void SovaPlain(const SoftTrellis& t, double variance, const float* y, int n, int tail, int depth,
               const float* apriori, bool extrinsic, float* llr, std::uint8_t* raw) {
    const int steps = n + tail, S = t.states, M = t.memory;
    const int width = SovaWidth(t, depth, steps);
    const bool noiseless = Noiseless(variance);
    const std::size_t branches = static_cast<std::size_t>(t.Branches());
    std::vector<float> metric(static_cast<std::size_t>(steps) * branches);
    BranchMetrics(t, MetricFactor(variance), y, steps, metric.data());
    std::vector<float> la;
    if (apriori != nullptr && !noiseless)
        for (int k = 0; k < n; ++k) la.push_back(ClampApriori(apriori[k]));
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
        if (k >= width && k - width < n) take(cur, BestOf(pm), k - width);
        const float* m = metric.data() + static_cast<std::size_t>(k) * branches;
        const int first = std::max(0, k - width + 1);
        for (int tt = 0; tt < S; ++tt) {
            const int b = tt >> (M - 1);
            float c[2];
            int w[2];
            for (int j = 0; j < 2; ++j) {
                w[j] = (b << M) | t.Predecessor(tt, j);
                float g = m[w[j]];
                if (!la.empty() && k < n) {
                    const float h = la[static_cast<std::size_t>(k)] * 0.5f;
                    g = g + (t.raw[static_cast<std::size_t>(w[j])] ? -h : h);
                }
                c[j] = pm[static_cast<std::size_t>(t.Predecessor(tt, j))] + g;
            }
            const int win = c[1] > c[0] ? 1 : 0;
            const float delta = c[win] - c[1 - win];
            next[static_cast<std::size_t>(tt)] = c[win];
            Update(cur, t.Predecessor(tt, win), t.Predecessor(tt, 1 - win), delta, first, k - 1, nw,
                   tt);
            const std::size_t o = nw.At(tt, k);
            const std::uint8_t rw = t.raw[static_cast<std::size_t>(w[win])];
            nw.bit[o] = rw;
            nw.rel[o] = rw != t.raw[static_cast<std::size_t>(w[1 - win])] ? delta : kUnrivalled;
        }
        float top = next[0];
        for (float v : next) top = v > top ? v : top;
        for (std::size_t s = 0; s < next.size(); ++s) pm[s] = next[s] - top;
        std::swap(cur, nw);
    }
    const int first = std::max(0, steps - width);
    int end = 0;
    if (tail == 0) {
        // Every end state is allowed: the best one merges with each other.
        end = BestOf(pm);
        for (int s = 0; s < S; ++s) {
            if (s == end) continue;
            Update(cur, end, s, pm[static_cast<std::size_t>(end)] - pm[static_cast<std::size_t>(s)],
                   first, steps - 1, nw, end);
            for (int p = first; p < steps; ++p) {
                cur.rel[cur.At(end, p)] = nw.rel[nw.At(end, p)];
            }
        }
    }
    for (int p = first; p < n; ++p) take(cur, end, p);
    std::vector<float> l(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        l[static_cast<std::size_t>(k)] = bit[static_cast<std::size_t>(k)]
                                             ? -rel[static_cast<std::size_t>(k)]
                                             : rel[static_cast<std::size_t>(k)];
    SovaFinish(n, noiseless, l.data(), la.empty() ? nullptr : la.data(), extrinsic, llr, raw);
}

namespace {

class SovaDetector final : public SoftDetector {
  public:
    explicit SovaDetector(const Setup& setup)
        : SoftDetector(setup.shape), trellis_(MakeSoftTrellis(setup.target)),
          variance_(setup.noiseVariance), depth_(setup.depth) {}
    Kind kind() const override { return Kind::kSova; }

  protected:
    void Frames(int count, const float* const* y, const float* const* apriori, bool extrinsic,
                float* const* llr, std::uint8_t* const* raw) override {
        // Memory 0 never comes here (detectors/table.cpp), and the lanes need
        // a trellis with memory.
        if (SovaLanesRun() && trellis_.memory >= 1) {
            Lanes(count, y, apriori, extrinsic, llr, raw);
            return;
        }
        for (int f = 0; f < count; ++f)
            SovaPlain(trellis_, variance_, y[f], shape().bits, shape().tail, depth_,
                      apriori != nullptr ? apriori[f] : nullptr, extrinsic, llr[f], raw[f]);
    }

  private:
    void Lanes(int count, const float* const* y, const float* const* apriori, bool extrinsic,
               float* const* llr, std::uint8_t* const* raw) {
        const int n = shape().bits, steps = n + shape().tail;
        const bool noiseless = Noiseless(variance_);
        ForLaneGroups(LaneWidth(kernel_), n, count, noiseless ? nullptr : apriori, la_, l_,
                      [&](int first, int frames, const float* const* la, float* const* l) {
                          SovaLanes(kernel_, trellis_, MetricFactor(variance_), frames, y + first,
                                    n, shape().tail, SovaWidth(trellis_, depth_, steps), la, l,
                                    lanes_);
                          for (int f = 0; f < frames; ++f)
                              SovaFinish(n, noiseless, l[f], la != nullptr ? la[f] : nullptr,
                                         extrinsic, llr[first + f], raw[first + f]);
                      });
    }

    SoftTrellis trellis_;
    double variance_;
    int depth_;
    std::vector<float> la_, l_;
    SovaLaneScratch lanes_;
    LaneKernel kernel_ = BestLaneKernel();
};

} // namespace

std::string SovaWhyNot(const Where&) {
    return {};
}

std::unique_ptr<Detector> MakeSovaDetector(const Setup& setup) {
    if (channel::ConstraintOf(setup.constraint).maxOnes > 0)
        return MakeConstrainedSoftDetector(Kind::kSova, setup);
    return std::make_unique<SovaDetector>(setup);
}

} // namespace detectors
