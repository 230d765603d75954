// The table's SOVA detector (sixteen or eight frames side by side where the
// processor has AVX-512 or AVX2), and each lane kernel the processor runs,
// against its plain version, frame by frame: the same ratios and decisions
// bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "detectors/forward_backward.h"
#include "detectors/sova.h"
#include "detectors/sova_simd.h"
#include "detectors/table.h"
#include "frame_fixture.h"

namespace {

using detectors::test::Frame;

TEST(Sova, TheDetectorsFramesSideBySideEqualThePlainOnes) {
    // 11 frames (one group of eleven, or a group of eight and one of three) of 90 bits, depths from
    // one bit to past the frame, a-priori ratios out of range among them, and
    // frames of whole samples (a coarse converter's): ties of metrics, which
    // the even predecessor and the lowest best state must win.
    const int n = 90, count = 11;
    for (const channel::Target& target : detectors::test::TestTargets())
        for (int tail : {0, target.Memory()})
            for (int depth : {0, 1, 7, n + 40})
                for (double variance : {0.0, 0.3 * target.Energy() / 3})
                    for (bool apriori : {false, true}) {
                        SCOPED_TRACE(target.CoefficientText() + " " + std::to_string(tail) + " " +
                                     std::to_string(depth * 4 + apriori * 2 + (variance > 0)));
                        detectors::Setup setup;
                        setup.target = target;
                        setup.shape = {n, tail};
                        setup.noiseVariance = variance;
                        setup.depth = depth;
                        channel::NoiseSource noise(4, static_cast<std::uint64_t>(depth + tail));
                        std::vector<Frame> frames;
                        std::vector<std::vector<float>> la(count),
                            llr(count, std::vector<float>(n));
                        std::vector<std::vector<std::uint8_t>> raw(count,
                                                                   std::vector<std::uint8_t>(n));
                        std::vector<const float*> ys(count), las(count);
                        std::vector<float*> outs(count);
                        std::vector<std::uint8_t*> raws(count);
                        for (int f = 0; f < count; ++f) {
                            frames.emplace_back(channel::FrameEncoder(target), noise, n, tail,
                                                std::sqrt(0.3 * target.Energy() / 3));
                            for (int k = 0; k < n; ++k)
                                la[f].push_back(k == 5 ? 3e4f : ((k * 3 + f) % 7 - 3) * 0.9f);
                            if (f % 3 == 2)
                                for (float& v : frames.back().y) v = std::round(v);
                        }
                        for (int f = 0; f < count; ++f)
                            ys[f] = frames[f].y.data(), las[f] = la[f].data(),
                            outs[f] = llr[f].data(), raws[f] = raw[f].data();
                        const bool extrinsic = apriori && depth != 7;
                        detectors::Make(detectors::Kind::kSova, setup)
                            ->DetectSoft(count, ys.data(),
                                         {apriori ? las.data() : nullptr, outs.data(), extrinsic},
                                         raws.data());
                        const detectors::SoftTrellis t = detectors::MakeSoftTrellis(target);
                        std::vector<float> want(n);
                        std::vector<std::uint8_t> decided(n);
                        auto check = [&](const char* what) {
                            for (int f = 0; f < count; ++f) {
                                detectors::SovaPlain(t, variance, ys[f], n, tail, depth,
                                                     apriori ? las[f] : nullptr, extrinsic,
                                                     want.data(), decided.data());
                                for (int k = 0; k < n; ++k) // the sign of a zero too
                                    ASSERT_TRUE(llr[f][k] == want[k] &&
                                                std::signbit(llr[f][k]) == std::signbit(want[k]))
                                        << what << " frame " << f << " bit " << k << ": "
                                        << llr[f][k] << " for " << want[k];
                                ASSERT_EQ(raw[f], decided) << what << " frame " << f;
                            }
                        };
                        check("detector");
                        // Each kernel the processor runs, as the detector runs its lanes.
                        using detectors::LaneKernel;
                        for (LaneKernel kernel : {LaneKernel::kAvx2, LaneKernel::kAvx512}) {
                            if (!detectors::SovaLanesRun(kernel) || t.memory < 1) continue;
                            const bool noiseless = detectors::Noiseless(variance);
                            std::vector<float> laRows, lRows;
                            detectors::SovaLaneScratch scratch;
                            detectors::ForLaneGroups(
                                detectors::LaneWidth(kernel), n, count,
                                apriori && !noiseless ? las.data() : nullptr, laRows, lRows,
                                [&](int first, int frames, const float* const* la,
                                    float* const* l) {
                                    detectors::SovaLanes(
                                        kernel, t, detectors::MetricFactor(variance), frames,
                                        ys.data() + first, n, tail,
                                        detectors::SovaWidth(t, depth, n + tail), la, l, scratch);
                                    for (int f = 0; f < frames; ++f)
                                        detectors::SovaFinish(
                                            n, noiseless, l[f], la != nullptr ? la[f] : nullptr,
                                            extrinsic, outs[first + f], raws[first + f]);
                                });
                            check(kernel == LaneKernel::kAvx2 ? "avx2" : "avx512");
                        }
                    }
}

} // namespace
