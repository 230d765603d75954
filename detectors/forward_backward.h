#pragma once
// The a-posteriori detectors over a soft trellis (detectors/soft_trellis.h):
// the forward-backward recursions in the log domain, from state 0 to the
// tail's end states (without a tail, to any state), exact (bcjr: max* =
// max + ln(1 + e^-|a - b|)) or with max alone (maxlog).
//
// The plain versions here are the oracles. Their order of operations, which
// the vector version keeps lane by lane (so that maxlog's ratios agree bit
// for bit), is:
// - forward, step k: for each state t, new bit b = t >> (memory - 1), its
//   predecessors s_j = Predecessor(t, j): a_j = alpha(s_j) + g(w_j), w_j =
//   (b << memory) | s_j, g the metric plus the a-priori half ratio;
//   alpha'(t) = max(a_0, a_1) (max*: a_0 then a_1); then the largest alpha'
//   is subtracted from all;
// - backward, step k: for each state s and b = 0, 1: q_b = beta(Next(s, b)) +
//   m(w_b), m the metric alone; beta'(s) = max(q_0 + h_0, q_1 + h_1) with
//   the a-priori half ratios h_b (when there are a-priori ratios); the
//   extrinsic sums of raw bit r collect q_b + alpha_k(s) in the order s = 0
//   ... S-1, b = 0, 1; the extrinsic ratio is sum_0 - sum_1; then the
//   largest beta' is subtracted from all;
// - the posterior ratio is the extrinsic one plus the (clamped) a-priori.
// So the extrinsic ratio of bit k never reads bit k's a-priori ratio.
#include <cstdint>
#include <vector>

#include "channel/target.h"
#include "detectors/soft_simd.h"
#include "detectors/soft_trellis.h"
#include "detectors/table.h"

namespace detectors {

enum class SoftMode { kExact, kMaxLog };

// max*(a, b) as the oracles compute it: in float, ln(1 + e^-|a - b|) by
// std::log1p and std::exp.
float MaxStar(float a, float b);

// The branch metrics (no a-priori part) of `steps` samples: row k holds
// t.Branches() metrics, metric[k * branches + w].
void BranchMetrics(const SoftTrellis& t, float factor, const float* y, int steps, float* metric);

// The recursions over precomputed metrics: `steps` = n + tail rows; la the n
// clamped a-priori ratios or null; e gets the n extrinsic ratios.
void ForwardBackwardPlain(const SoftTrellis& t, SoftMode mode, const float* metric, int n,
                          int steps, bool tail, const float* la, float* e);

// The ratios of one frame (y: n + tail samples): posterior or extrinsic,
// with a-priori ratios or none (null). On a noiseless channel every ratio is
// +-infinity (detectors/soft_trellis.h).
void SoftPlain(const SoftTrellis& t, SoftMode mode, double variance, const float* y, int n,
               int tail, const float* apriori, bool extrinsic, float* llr,
               std::uint8_t* raw = nullptr);

// What the detectors share: the extrinsic ratios e and clamped a-priori la
// (null: none) into the ratios asked for, and the decisions of the
// posterior ones into raw (when not null).
void FinishRatios(int n, bool noiseless, const float* e, const float* la, bool extrinsic,
                  float* llr, std::uint8_t* raw = nullptr);

// count frames of n bits in the groups of `width` (<= kMaxSoftLanes) a lane
// kernel takes (sova's too; the last group may be smaller): for each group,
// group(first, frames, la, out) with la the group's clamped a-priori rows
// (null when apriori is) and out its rows of n floats for the kernel's
// ratios, both kept in laRows / outRows between calls.
template <class Group>
void ForLaneGroups(int width, int n, int count, const float* const* apriori,
                   std::vector<float>& laRows, std::vector<float>& outRows, Group group) {
    const std::size_t bits = static_cast<std::size_t>(n);
    const std::size_t rows = static_cast<std::size_t>(width);
    laRows.resize(apriori != nullptr ? bits * rows : 0);
    outRows.resize(bits * rows);
    for (int first = 0; first < count; first += width) {
        const int frames = count - first < width ? count - first : width;
        const float* la[kMaxSoftLanes] = {};
        float* out[kMaxSoftLanes] = {};
        for (int f = 0; f < frames; ++f) {
            out[f] = outRows.data() + bits * static_cast<std::size_t>(f);
            if (apriori == nullptr) continue;
            float* row = laRows.data() + bits * static_cast<std::size_t>(f);
            for (int k = 0; k < n; ++k) row[k] = ClampApriori(apriori[first + f][k]);
            la[f] = row;
        }
        group(first, frames, apriori != nullptr ? la : nullptr, out);
    }
}

// What a detector keeps for the lanes (detectors/soft_simd.h): its metrics'
// description, the kernel (the widest this processor runs, unless set)
// and the scratch between calls.
struct LaneRun {
    LaneMetrics metrics;
    LaneKernel kernel = BestLaneKernel();
    std::vector<float> la, e;
    SoftLaneScratch scratch;
};

// Whether the lanes run trellis t on this processor.
bool LanesTake(const SoftTrellis& t);

// count frames of `shape` through the lanes, as many at a time as run.kernel
// takes (LanesTake(t) and SoftLanesRun(run.kernel) must hold): exact (unless
// noiseless) or maxlog, the ratios and decisions as the plain versions give
// them.
void LaneFrames(const SoftTrellis& t, bool exact, double variance, FrameShape shape, int count,
                const float* const* y, const float* const* apriori, bool extrinsic,
                float* const* llr, std::uint8_t* const* raw, LaneRun& run);

// The rows of the detector table: both run on any target, behind a
// converter on its dequantized samples.
std::string BcjrWhyNot(const Where& where);
std::unique_ptr<Detector> MakeBcjrDetector(const Setup& setup);
std::unique_ptr<Detector> MakeMaxlogDetector(const Setup& setup);
// Any soft detector on a target of memory 0 (binary input on white noise):
// with one state, the best paths with either value of a bit differ in that
// bit's branch alone, so maxlog, bcjr, sova and npbcjr (whose predictor
// whitens noise that is white already) all give the one-sample ratio
// (f0^2 - 2 f0 y) / (2 sigma^2), a-priori ratio added for the posterior. It
// keeps the kind it was asked for.
std::unique_ptr<Detector> MakeMemorylessSoftDetector(Kind kind, const Setup& setup);

} // namespace detectors
