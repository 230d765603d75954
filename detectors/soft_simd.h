#pragma once
// The a-posteriori detectors several frames at a time, one frame in each
// lane of a vector register: sixteen in AVX-512, eight in AVX2, the widest
// this processor has picked at run time. Internal to detectors/.
//
// maxlog: each lane does exactly the plain version's float operations
// (detectors/forward_backward.h), so its ratios are the plain ones bit for
// bit. The forward metrics are kept as computed, with each step's largest,
// which is subtracted wherever they are read (the same subtraction as
// normalising them, without a pass or a store for it), and the maxima are
// taken in another order: every value that meets a max is finite and never
// -0 (a metric can be -0, but a sum with a normalised metric is +0 then), so
// the largest of them is the same whatever the order.
//
// bcjr: the same recursions with max* = max + the correction of
// detectors/soft_maxstar.h (within kMaxStarError of the exact one), its
// sums of the extrinsic terms in two banks; so its ratios are near the plain
// ones, not equal (the tests bound the difference). Its AVX-512 lanes do
// the AVX2 lanes' float operations (the same pieces of the correction), so
// both give the same ratios bit for bit.
//
// npbcjr: bcjr's lanes on the widened trellis, each branch its own class of
// metric (below): the whitened error r = z_k - c_w, z_k the whitened
// sample, computed once a step, and c_w the branch's whitened ideal sample,
// a constant. Its float operations differ from the plain version's (which
// whitens each branch's errors), so its ratios are near the plain ones.
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "detectors/soft_trellis.h"

namespace detectors {

// The kernels: the same recursions in AVX2 (eight lanes) or AVX-512
// (sixteen); any of them gives the same ratios.
enum class LaneKernel { kAvx2, kAvx512 };
inline constexpr int kMaxSoftLanes = 16;

// The frames a kernel takes side by side.
inline constexpr int LaneWidth(LaneKernel kernel) {
    return kernel == LaneKernel::kAvx512 ? 16 : 8;
}

// How far bcjr's lanes may be from the plain ratios L: |L' - L| <=
// kBcjrLanesBound (1 + |L|) (tested on every test target, tail or none,
// a-priori ratios or none).
inline constexpr float kBcjrLanesBound = 5e-3f;

// How far npbcjr's lanes may be from the plain ratios, as kBcjrLanesBound.
inline constexpr float kNpbcjrLanesBound = 5e-3f;

// The largest trellis memory the lanes take (256 states: a row of forward
// metrics of sixteen frames is 16 kB); the plain versions take the rest.
inline constexpr int kMaxLaneMemory = 8;

// Whether this processor runs a kernel (AVX2 and FMA; AVX-512 F and DQ as
// well), any of them, and the widest it runs.
bool SoftLanesRun(LaneKernel kernel);
bool SoftLanesRun();
LaneKernel BestLaneKernel();

// What the branch metrics of a step are made of. Branch w's metric at step k
// is ((x_k - c) * (x_k - c)) * factor with c = constants[j * classes +
// classOf[w]], j = min(k, tables - 1), and x_k the step's input: the clamped
// sample when taps is empty, else the clamped sample less the prediction
// p_0 x'_{k-1} + p_1 x'_{k-2} + ... from the clamped samples x' (terms
// before the frame left out, as the tables j < tables - 1 leave them out of
// c).
struct LaneMetrics {
    int classes = 0;
    int tables = 1;
    std::vector<int> classOf;
    std::vector<float> constants;
    std::vector<float> taps;
};

// The target's own trellis: a class per distinct level, c the level.
LaneMetrics LevelLaneMetrics(const SoftTrellis& t);

// An allocator whose vectors leave the floats they grow by unset, for
// buffers the kernels write before they read them: the rows of forward
// metrics are megabytes (8 MB for 16 frames of 4096 bits on 32 states), and
// zeroing them took about 3 % of maxlog's time in its benchmark.
template <class T> struct UnsetAllocator : std::allocator<T> {
    template <class U> struct rebind { using other = UnsetAllocator<U>; };
    UnsetAllocator() = default;
    template <class U> UnsetAllocator(const UnsetAllocator<U>&) noexcept {}
    template <class U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <class U, class... A> void construct(U* p, A&&... a) {
        ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
    }
};

// The scratch the lanes keep between calls.
struct SoftLaneScratch {
    std::vector<float> y, clamped, la, e, levels;
    std::vector<float, UnsetAllocator<float>> alpha;
};

// The extrinsic ratios e[f] (n each) of count <= LaneWidth(kernel) frames
// of n + tail samples y[f], with the clamped a-priori ratios la[f] (la null:
// none), the branch metrics made as m says; exact: max*, else max.
// SoftLanesRun(kernel) must hold, and 1 <= t.memory <= kMaxLaneMemory.
void SoftLanes(LaneKernel kernel, const SoftTrellis& t, const LaneMetrics& m, bool exact,
               float factor, int count, const float* const* y, int n, int tail,
               const float* const* la, float* const* e, SoftLaneScratch& scratch);

// raw[k] = 1 where e[k] < 0 (e[k] + la[k] < 0 when la is not null), else 0:
// FinishRatios' decisions of the posterior ratios, when the ratios it gives
// are e itself. In AVX2 vectors: SoftLanesRun() must hold.
void LaneDecisions(int n, const float* e, const float* la, std::uint8_t* raw);

} // namespace detectors
