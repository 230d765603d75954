// Frames side by side, one in each lane of a vector register (sixteen in
// AVX-512, eight in AVX2; detectors/sova_simd_kernel.inc, compiled for each):
// no shuffles between lanes. The trellis is walked by butterflies, old states
// 2i and 2i + 1 into new states i (bit 0) and i + S/2 (bit 1): both new
// states read the same two old windows, so each slot of them is loaded once
// and whether the two paths' bits differ there (the sign of L0 ^ L1) is
// worked out once. Where a lane's survivor is the odd state, a blend picks
// its window's slot; what a lane does is the plain detector's operations:
//   R = |Lw|, rival = bits differ ? Delta : Delta + |Ll|,
//   new slot = (rival < R ? rival : R) with Lw's sign,
// rival < R ? rival : R being exactly a vector min(rival, R).
#include "detectors/sova_simd.h"

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#include <immintrin.h>

#include "detectors/lane_ops.h"
// GCC 12's AVX-512 intrinsics start from _mm512_undefined_ps(), which it then
// reports as "may be used uninitialized" in every function that inlines them
// (GCC bug 105593); the values are always fully defined.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define QUORVANE_SOVA_X86 1
#endif

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>

namespace detectors {

#ifdef QUORVANE_SOVA_X86

bool SovaLanesRun(LaneKernel kernel) {
    // The same instructions as the soft lanes'.
    return SoftLanesRun(kernel);
}

bool SovaLanesRun() {
    return SovaLanesRun(LaneKernel::kAvx2);
}

namespace {

// The floats to skip from p to the next 64-byte boundary.
inline std::size_t AlignPad(const float* p) {
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    return ((64 - address % 64) % 64) / sizeof(float);
}

} // namespace

#pragma GCC push_options
#pragma GCC target("avx2,fma")
namespace sova_avx2 {
namespace {
using V = lane_ops::Avx2;
#include "detectors/sova_simd_kernel.inc"
} // namespace
} // namespace sova_avx2
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq,avx2,fma")
namespace sova_avx512 {
namespace {
using V = lane_ops::Avx512;
#include "detectors/sova_simd_kernel.inc"
} // namespace
} // namespace sova_avx512
#pragma GCC pop_options

void SovaLanes(LaneKernel kernel, const SoftTrellis& t, float factor, int count,
               const float* const* y, int n, int tail, int width, const float* const* la,
               float* const* l, SovaLaneScratch& s) {
    const int steps = n + tail;
    if (steps <= 0 || n <= 0) return;
    const std::size_t kL = static_cast<std::size_t>(LaneWidth(kernel));
    assert(SovaLanesRun(kernel) && count >= 1 && count <= static_cast<int>(kL));
    assert(t.memory >= 1 && t.memory <= channel::kMaxMemory);
    assert(width >= 1 && width <= steps);
    s.y.resize(static_cast<std::size_t>(steps) * kL);
    // Lanes past count repeat frame 0, and their ratios are dropped.
    for (std::size_t ln = 0; ln < kL; ++ln) {
        const float* yl = y[static_cast<int>(ln) < count ? ln : 0];
        for (int k = 0; k < steps; ++k) s.y[static_cast<std::size_t>(k) * kL + ln] = yl[k];
    }
    if (la != nullptr) {
        s.la.resize(static_cast<std::size_t>(n) * kL);
        for (std::size_t ln = 0; ln < kL; ++ln) {
            const float* ll = la[static_cast<int>(ln) < count ? ln : 0];
            for (int k = 0; k < n; ++k) s.la[static_cast<std::size_t>(k) * kL + ln] = ll[k];
        }
    }
    if (kernel == LaneKernel::kAvx512)
        sova_avx512::Run(t, factor, count, n, steps, width, tail > 0, la != nullptr, s, l);
    else
        sova_avx2::Run(t, factor, count, n, steps, width, tail > 0, la != nullptr, s, l);
}

#else

bool SovaLanesRun(LaneKernel) {
    return false;
}

bool SovaLanesRun() {
    return false;
}

void SovaLanes(LaneKernel, const SoftTrellis&, float, int, const float* const*, int, int, int,
               const float* const*, float* const*, SovaLaneScratch&) {}

#endif

} // namespace detectors
