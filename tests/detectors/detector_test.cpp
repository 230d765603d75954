#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "channel/coding.h"
#include "channel/random.h"
#include "detectors/slicer.h"
#include "detectors/survivors.h"
#include "detectors/table.h"
#include "detectors/viterbi.h"
#include "detectors/viterbi_kernels.h"
#include "frame_fixture.h"

namespace detectors {
namespace {

using Bits = std::vector<std::uint8_t>;
using channel::NoiseSource;
using channel::Target;

Target Named(const char* text) {
    Target t;
    EXPECT_EQ(Target::Parse(text, t), "") << text;
    return t;
}

// Every forward pass this processor runs gives the scalar pass's decision
// words and the same bits of final metrics.
void ExpectKernelsAgree(const Target& target, const std::vector<float>& y) {
    using namespace viterbi_detail;
    if (target.States() > kMaxFastStates) return;
    const Branches b = BranchesOf(target.GetTrellis());
    const int n = static_cast<int>(y.size());
    std::vector<std::uint32_t> want(y.size()), got(y.size());
    float wantPm[channel::kMaxStates], gotPm[channel::kMaxStates];
    const std::size_t bytes = sizeof(float) * static_cast<std::size_t>(target.States());
    ForwardScalar(b, y.data(), n, kRenormPeriod, want.data(), 1, wantPm);
    for (Kernel k : {Kernel::kAvx2, Kernel::kAvx512}) {
        if (!Runs(k)) continue;
        ForwardWith(k, b, y.data(), n, got.data(), gotPm);
        EXPECT_EQ(got, want) << target.Name() << " kernel " << int(k) << " n " << n;
        EXPECT_EQ(std::memcmp(gotPm, wantPm, bytes), 0) << target.Name() << " kernel " << int(k);
    }
}

struct Decided {
    Bits plain, fast;
};

Decided Decide(const Target& target, Viterbi& fast, const std::vector<float>& y, int tail) {
    const int n = static_cast<int>(y.size()) - tail;
    Decided d{Bits(n), Bits(n)};
    ViterbiPlain(target, y.data(), n, tail, d.plain.data());
    fast.Detect(y.data(), n, tail, d.fast.data());
    return d;
}

TEST(Detectors, NoiseFreeWindowBlocksComeBackExactly) {
    // The window's own sequence of blocks: the frame coder must agree with
    // the block coder, and every detector must return the raw bits.
    const Target e3pr4;
    const channel::FrameEncoder encoder(e3pr4);
    const Slicer slicer(e3pr4);
    Viterbi fast(e3pr4);
    channel::SeedRandom(1);
    for (int run = 0; run < 3000; ++run) {
        channel::GenerateBlock();
        const Bits raw(channel::rawData, channel::rawData + channel::kBits);
        Bits prec(channel::kBits), out(channel::kBits);
        std::vector<float> y(channel::kBits);
        encoder.Precode(raw.data(), channel::kBits, prec.data());
        encoder.Levels(prec.data(), channel::kBits, 0, y.data());
        ASSERT_EQ(Bits(channel::precData, channel::precData + channel::kBits), prec);
        ASSERT_EQ(std::vector<float>(channel::sampData, channel::sampData + channel::kBits), y);
        slicer.Slice(y.data(), channel::kBits, out.data());
        ASSERT_EQ(out, raw) << "run " << run;
        const Decided d = Decide(e3pr4, fast, y, 0);
        ASSERT_TRUE(d.plain == raw && d.fast == raw) << "run " << run;
    }
}

TEST(Detectors, NoiseFreeFramesComeBackExactlyOnEveryTarget) {
    NoiseSource noise(11, 0);
    for (const Target& target : test::TestTargets()) {
        const channel::FrameEncoder encoder(target);
        Viterbi fast(target);
        for (int tail : {0, target.Memory()}) {
            for (int n : {1, 2, 3, 4, 5, 6, 7, 16, 17, 4096, 100003}) {
                const test::Frame f(encoder, noise, n, tail, 0.0);
                const Decided d = Decide(target, fast, f.y, tail);
                EXPECT_TRUE(d.plain == f.raw && d.fast == f.raw)
                    << target.Name() << " n " << n << " tail " << tail;
                if (!target.HasSlicer()) continue;
                Bits sliced(n);
                Slicer(target).Slice(f.y.data(), n, sliced.data());
                EXPECT_EQ(sliced, f.raw) << target.Name() << " n " << n;
            }
        }
    }
}

TEST(Detectors, FastEqualsPlainOnNoisyFramesOfEveryTarget) {
    // One detector object per target over all lengths, so that its kept
    // scratch from a long frame meets short ones; the noise relative to each
    // target's smallest distance.
    for (const Target& target : test::TestTargets()) {
        const channel::FrameEncoder encoder(target);
        Viterbi fast(target);
        const double unit = std::sqrt(target.D2Min());
        for (double share : {0.2, 0.5, 1.5}) {
            NoiseSource noise(12, static_cast<std::uint64_t>(share * 10));
            for (int n : {4096, 1, 2, 3, 4, 5, 6, 7, 31, 32, 33, 63, 64, 65, 1000}) {
                for (int rep = 0; rep < (n < 100 ? 12 : 2); ++rep) {
                    const int tail = rep % 2 == 0 ? target.Memory() : 0;
                    const test::Frame f(encoder, noise, n, tail, share * unit);
                    const Decided d = Decide(target, fast, f.y, tail);
                    ASSERT_EQ(d.fast, d.plain) << target.Name() << " n " << n << " rep " << rep;
                    ExpectKernelsAgree(target, f.y);
                }
            }
        }
    }
}

TEST(Detectors, PairsEqualPlainFrameByFrame) {
    for (const Target& target : test::TestTargets()) {
        const channel::FrameEncoder encoder(target);
        Viterbi fast(target);
        NoiseSource noise(14, 0);
        const double unit = std::sqrt(target.D2Min());
        for (int n : {1, 5, 6, 63, 64, 65, 4096}) {
            const int tail = n % 2 == 0 ? 0 : target.Memory();
            // The second frame noisier than the first, so their paths differ.
            const test::Frame a(encoder, noise, n, tail, 0.4 * unit),
                b(encoder, noise, n, tail, 2 * unit);
            Bits raw0(n), raw1(n), plain0(n), plain1(n);
            fast.DetectPair(a.y.data(), b.y.data(), n, tail, raw0.data(), raw1.data());
            ViterbiPlain(target, a.y.data(), n, tail, plain0.data());
            ViterbiPlain(target, b.y.data(), n, tail, plain1.data());
            EXPECT_TRUE(raw0 == plain0 && raw1 == plain1) << target.Name() << " " << n;
        }
    }
}

TEST(Detectors, FastEqualsPlainOnTiesAndOddSamples) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const Target& target : test::TestTargets()) {
        // Half-integer samples make exactly equal path metrics common.
        NoiseSource noise(13, 0);
        std::vector<std::vector<float>> frames = {{0.5f}, {-0.5f, 0.5f}, {1e30f, 0.0f, 1.0f}};
        frames.insert(frames.end(),
                      {{nan, 1.0f}, {inf, -inf, 3.0f}, std::vector<float>(100, 0.5f)});
        for (int rep = 0; rep < 100; ++rep) {
            std::vector<float> y(1 + noise.Bits() % 300);
            for (auto& v : y)
                v = static_cast<float>(static_cast<int>(noise.Bits() % 15) - 7) + 0.5f;
            frames.push_back(y);
        }
        Viterbi fast(target);
        for (const auto& y : frames) {
            for (int tail : {0, target.Memory()}) {
                if (static_cast<int>(y.size()) <= tail) continue;
                const Decided d = Decide(target, fast, y, tail);
                EXPECT_EQ(d.fast, d.plain) << target.Name() << " tail " << tail;
            }
            ExpectKernelsAgree(target, y);
        }
    }
}

// Where a detector runs on a known target.
detectors::Where On(const Target& target, bool coloured = false) {
    return {&target, target.Name(), coloured, 0};
}

TEST(Detectors, TheInterfaceRunsEachKindOnWholeFrames) {
    // Three frames through the interface: the tail's samples are the
    // Viterbi detector's, never the slicer's bits.
    const Target e2pr4 = Named("e2pr4");
    const channel::FrameEncoder encoder(e2pr4);
    const FrameShape shape{500, e2pr4.Memory()};
    NoiseSource noise(15, 0);
    std::vector<test::Frame> frames;
    for (int f = 0; f < 3; ++f) frames.emplace_back(encoder, noise, shape.bits, shape.tail, 0.7);
    const float* y[3] = {frames[0].y.data(), frames[1].y.data(), frames[2].y.data()};
    for (Kind kind : DefaultKinds(On(e2pr4))) {
        Bits out[3] = {Bits(500), Bits(500), Bits(500)};
        std::uint8_t* raw[3] = {out[0].data(), out[1].data(), out[2].data()};
        MakeDetector(kind, e2pr4, shape)->Detect(3, y, raw);
        // A hard detector's ratios claim certainty, +inf for a 0 and -inf for
        // a 1, whatever the a-priori ratios say, extrinsic or not.
        Bits again[3] = {Bits(500), Bits(500), Bits(500)};
        std::uint8_t* raw2[3] = {again[0].data(), again[1].data(), again[2].data()};
        std::vector<float> llr[3], prior(500, -3.0f);
        float* l[3];
        const float* a[3] = {prior.data(), prior.data(), prior.data()};
        for (int f = 0; f < 3; ++f) l[f] = (llr[f].resize(500), llr[f].data());
        MakeDetector(kind, e2pr4, shape)->DetectSoft(3, y, {a, l, kind == Kind::kSlicer}, raw2);
        for (int f = 0; f < 3; ++f) {
            Bits want(500);
            if (kind == Kind::kViterbi)
                ViterbiPlain(e2pr4, y[f], 500, shape.tail, want.data());
            else
                Slicer(e2pr4).Slice(y[f], 500, want.data());
            EXPECT_EQ(out[f], want) << KindName(kind) << " frame " << f;
            EXPECT_EQ(again[f], want) << KindName(kind) << " frame " << f;
            for (int k = 0; k < 500; ++k)
                ASSERT_EQ(llr[f][k], want[k] ? -INFINITY : INFINITY) << KindName(kind) << k;
        }
    }
    EXPECT_EQ(DefaultKinds(On(Named("1,0.8,-0.3"))), std::vector<Kind>{Kind::kViterbi});
    EXPECT_EQ(DefaultKinds(On(e2pr4, true)),
              (std::vector<Kind>{Kind::kSlicer, Kind::kViterbi, Kind::kNpml}));
    EXPECT_NE(WhyNot(Kind::kSlicer, On(Named("2,1"))), "");
    // A target designed at each point (gprL) is no target yet: no slicer.
    EXPECT_EQ(WhyNot(Kind::kSlicer, {nullptr, "gpr3", true, 0}),
              "the slicer needs an integer target with a parity precoder; gpr3 has real taps");
    // Every row's name finds it, and nothing else does.
    for (const detectors::Row& row : detectors::Table()) EXPECT_EQ(detectors::Find(row.name), &row);
    EXPECT_EQ(detectors::Find("Viterbi"), nullptr);
}

TEST(Slicer, NearestLevelClampedWithHalfwayUp) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* target;
        std::vector<float> y, level;
    } cases[] = {
        {"e3pr4",
         {0.49f, 0.5f, -0.5f, -0.51f, -2.5f, 5.49f, 5.5f, 100.f, -6.7f, 1e38f, -inf, nan},
         {0, 1, 0, -1, -2, 5, 6, 6, -6, 6, -6, 0}},
        {"pr4", {0.49f, 0.5f, -0.5f, 1.7f, -3.f, nan}, {0, 1, 0, 1, -1, 0}},
        // 1,3: levels 0, 1, 3, 4; halfway between 1 and 3 is 2, which goes up.
        {"1,3", {1.99f, 2.0f, 2.4f, 0.5f, 3.5f, -1.f, 9.f, nan}, {1, 3, 3, 1, 4, 0, 4, 0}},
        // 1,2,1: levels 0 ... 4, a NaN as 0.
        {"1,2,1", {-0.6f, 0.5f, 3.5f, 5.f, nan}, {0, 1, 4, 4, 0}},
    };
    for (const auto& c : cases) {
        const Slicer slicer(Named(c.target));
        Bits raw(c.y.size());
        slicer.Slice(c.y.data(), static_cast<int>(c.y.size()), raw.data());
        for (std::size_t i = 0; i < c.y.size(); ++i) {
            EXPECT_EQ(slicer.Level(c.y[i]), c.level[i]) << c.target << " " << c.y[i];
            EXPECT_EQ(raw[i], static_cast<int>(std::fabs(c.level[i])) % 2) << c.target << " " << i;
        }
    }
}

TEST(Slicer, FrameAgreesWithTheLevelOnEdgeValues) {
    // Every level and halfway value with its neighbours on either side, then
    // values that have to be clamped or are not numbers; each offset puts every
    // value once through the blocked part of Slice and once through its rest.
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> y = {nan,    -nan,    inf,        -inf,        -0.0f,
                            1e-45f, -1e-45f, 1e-38f,     1e30f,       -1e30f,
                            3e38f,  -3e38f,  4194304.5f, -8388609.0f, 16777217.0f};
    for (int twice = -16; twice <= 16; ++twice) {
        const float v = 0.5f * static_cast<float>(twice);
        y.insert(y.end(), {v, std::nextafter(v, -inf), std::nextafter(v, inf)});
    }
    const int n = static_cast<int>(y.size());
    for (const char* target : {"e3pr4", "1,2,1", "1,3"}) {
        const Slicer slicer(Named(target));
        for (int offset = 0; offset < 32; ++offset) {
            Bits raw(y.size());
            slicer.Slice(y.data() + offset, n - offset, raw.data());
            for (int k = offset; k < n; ++k)
                ASSERT_EQ(raw[k - offset], static_cast<int>(std::fabs(slicer.Level(y[k]))) % 2)
                    << target << " " << y[k] << " offset " << offset;
        }
    }
}

} // namespace
} // namespace detectors

namespace detectors {
namespace {

TEST(Detectors, ThePlainDetectorKeepsTheEvenPredecessorOnATie) {
    // Half-integer samples give exact ties. On this frame the even rule
    // decides 000000 and the odd one would decide 110011; without a tail, so
    // that the end state ties too.
    const struct {
        const char* target;
        std::vector<float> y;
        int tail;
        Bits decided;
    } cases[] = {
        {"e3pr4", {-3.5f, -4.5f, -1.5f, -6.5f, -6.5f, -1.5f}, 0, {0, 0, 0, 0, 0, 0}},
        // A single sample halfway between the ideals 0 (bit 0) and 1 (bit
        // 1): the two end states tie and the lower one, state 0, wins.
        {"e3pr4", {0.5f}, 0, {0}},
        {"pr4", {0.5f, 0.5f}, 0, {0, 0}},
        {"e3pr4", std::vector<float>(100, 0.0f), 5, Bits(95, 0)},
    };
    for (const auto& c : cases) {
        const Target target = Named(c.target);
        Bits plain(c.decided.size());
        ViterbiPlain(target, c.y.data(), static_cast<int>(plain.size()), c.tail, plain.data());
        EXPECT_EQ(plain, c.decided) << c.target;
    }
}

TEST(Detectors, PathMetricsAreRenormalisedEverySixtyFourSteps) {
    // Right after a renormalisation the smallest metric is exactly 0; 32 or
    // 96 steps in it is not (on a noisy frame every metric has grown). Every
    // kernel renormalises alike.
    using namespace viterbi_detail;
    for (const Target& target : test::TestTargets()) {
        const channel::FrameEncoder encoder(target);
        NoiseSource noise(16, 0);
        const test::Frame f(encoder, noise, 4096, 0, 0.5 * std::sqrt(target.D2Min()));
        const Branches b = BranchesOf(target.GetTrellis());
        for (int steps : {32, 64, 96, 128, 4096}) {
            std::vector<std::uint64_t> d(static_cast<std::size_t>(steps));
            float pm[channel::kMaxStates];
            ForwardScalar(b, f.y.data(), steps, kRenormPeriod, d.data(), 1, pm);
            const float low = *std::min_element(pm, pm + target.States());
            EXPECT_EQ(low == 0.0f, steps % kRenormPeriod == 0) << target.Name() << " " << steps;
            std::vector<std::uint32_t> d32(static_cast<std::size_t>(steps));
            for (Kernel k : {Kernel::kAvx2, Kernel::kAvx512}) {
                if (!Runs(k) || target.States() > kMaxFastStates) continue;
                float fast[channel::kMaxStates];
                ForwardWith(k, b, f.y.data(), steps, d32.data(), fast);
                EXPECT_EQ(*std::min_element(fast, fast + target.States()), low) << int(k);
            }
        }
    }
}

} // namespace
} // namespace detectors

namespace detectors {
namespace {

TEST(Survivors, TheDecidedPathIsTheDetectorsOnEveryTarget) {
    // Every target, with and without the tail, quiet and noisy frames: the
    // traced path's raw bits are both detectors' bits, each state's newest
    // bit is its precoder bit, and each state on the path is the survivor
    // choice of the next one.
    channel::NoiseSource noise(41, 0);
    for (const channel::Target& target : test::TestTargets()) {
        const channel::FrameEncoder encoder(target);
        const channel::Trellis& t = target.GetTrellis();
        for (int tail : {0, target.Memory()}) {
            for (double sigma : {0.0, 0.4, 0.9}) {
                for (int n : {1, 7, 200}) {
                    const test::Frame f(encoder, noise, n, tail, sigma);
                    const Survivors s = TraceSurvivors(target, f.y.data(), n, tail);
                    std::vector<std::uint8_t> plain(n), fast(n);
                    ViterbiPlain(target, f.y.data(), n, tail, plain.data());
                    Viterbi(target).Detect(f.y.data(), n, tail, fast.data());
                    ASSERT_EQ(s.raw, plain) << target.Name() << " n " << n << " sigma " << sigma;
                    ASSERT_EQ(s.raw, fast) << target.Name() << " n " << n << " sigma " << sigma;
                    ASSERT_EQ(s.steps, n + tail);
                    if (tail > 0) {
                        ASSERT_EQ(s.path.back(), 0) << target.Name();
                    }
                    for (int k = 0; k < s.steps; ++k) {
                        ASSERT_EQ(s.prec[k], s.path[k] >> (t.memory - 1)) << k;
                        ASSERT_EQ(s.From(t, k, s.path[k]), k == 0 ? 0 : s.path[k - 1])
                            << target.Name() << " k " << k;
                    }
                    if (sigma == 0) {
                        ASSERT_EQ(s.raw, f.raw) << target.Name();
                    }
                }
            }
        }
    }
}

} // namespace
} // namespace detectors
