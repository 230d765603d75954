#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "channel/coding.h"
#include "channel/random.h"
#include "channel/slicer.h"
#include "channel/viterbi.h"
#include "channel/viterbi_kernels.h"
#include "frame_fixture.h"

namespace channel {
namespace {

using Bits = std::vector<std::uint8_t>;

struct Detected {
    Bits sliced, plain, fast;
};

Detected DetectAll(const std::vector<float>& y, Viterbi& fast) {
    const int n = static_cast<int>(y.size());
    Detected d{Bits(y.size()), Bits(y.size()), Bits(y.size())};
    SliceFrame(y.data(), n, d.sliced.data());
    ViterbiPlain(y.data(), n, d.plain.data());
    fast.Detect(y.data(), n, d.fast.data());
    return d;
}

// Every forward pass this processor runs gives the scalar pass's decision
// words and the same bits of final metrics.
void ExpectKernelsAgree(const std::vector<float>& y) {
    using namespace viterbi_detail;
    const int n = static_cast<int>(y.size());
    std::vector<std::uint32_t> want(y.size()), got(y.size());
    float wantPm[kStates], gotPm[kStates];
    ForwardScalar(y.data(), n, want.data(), wantPm);
    for (Kernel k : {Kernel::kAvx2, Kernel::kAvx512}) {
        if (!Runs(k)) continue;
        ForwardWith(k, y.data(), n, got.data(), gotPm);
        EXPECT_EQ(got, want) << "kernel " << int(k) << " n " << n;
        EXPECT_EQ(std::memcmp(gotPm, wantPm, sizeof wantPm), 0) << "kernel " << int(k);
    }
}

TEST(Detectors, NoiseFreeWindowBlocksComeBackExactly) {
    // The window's own sequence of blocks: the frame coder must agree with
    // the block coder, and every detector must return the raw bits.
    SeedRandom(1);
    Viterbi fast;
    for (int run = 0; run < 10000; ++run) {
        GenerateBlock();
        Bits raw(rawData, rawData + kBits), prec(kBits);
        std::vector<std::int8_t> samp(kBits);
        EncodeFrame(raw.data(), kBits, prec.data(), samp.data());
        ASSERT_EQ(std::vector<std::int32_t>(samp.begin(), samp.end()),
                  std::vector<std::int32_t>(sampData, sampData + kBits));
        ASSERT_EQ(Bits(precData, precData + kBits), prec);
        const Detected d = DetectAll(std::vector<float>(samp.begin(), samp.end()), fast);
        ASSERT_EQ(d.sliced, raw) << "run " << run;
        ASSERT_EQ(d.plain, raw) << "run " << run;
        ASSERT_EQ(d.fast, raw) << "run " << run;
    }
}

TEST(Detectors, NoiseFreeFramesOfEveryKindOfLengthComeBackExactly) {
    NoiseSource noise(11, 0);
    Viterbi fast;
    for (int n : {1, 2, 3, 4, 5, 6, 7, 15, 16, 17, 4096, 100003}) {
        const test::Frame f(noise, n, 0.0);
        const Detected d = DetectAll(f.y, fast);
        EXPECT_EQ(d.sliced, f.raw) << n;
        EXPECT_EQ(d.plain, f.raw) << n;
        EXPECT_EQ(d.fast, f.raw) << n;
    }
}

TEST(Detectors, FastEqualsPlainOnNoisyFrames) {
    // One detector object over all of them, so that its kept scratch from a
    // long frame meets short ones.
    Viterbi fast;
    for (double sigma : {0.3, 0.6, 1.0, 3.0}) {
        NoiseSource noise(12, static_cast<std::uint64_t>(sigma * 10));
        for (int n : {4096, 1, 2, 3, 4, 5, 6, 7, 31, 32, 33, 63, 64, 65, 1000}) {
            for (int rep = 0; rep < (n < 100 ? 50 : 3); ++rep) {
                const test::Frame f(noise, n, sigma);
                const Detected d = DetectAll(f.y, fast);
                ASSERT_EQ(d.fast, d.plain) << "sigma " << sigma << " n " << n << " rep " << rep;
                ExpectKernelsAgree(f.y);
            }
        }
    }
}

TEST(Detectors, PairsEqualPlainFrameByFrame) {
    // The second frame noisier than the first, so their paths differ; every
    // kernel's pair pass against the scalar pass, then the whole detector.
    using namespace viterbi_detail;
    Viterbi fast;
    NoiseSource noise(14, 0);
    for (int n : {1, 5, 6, 63, 64, 65, 4096}) {
        const test::Frame a(noise, n, 0.6), b(noise, n, 3.0);
        std::vector<std::uint32_t> d0(n), d1(n), want(n);
        float pm0[kStates], pm1[kStates], wantPm[kStates];
        for (Kernel k : {Kernel::kScalar, Kernel::kAvx2, Kernel::kAvx512}) {
            if (!Runs(k)) continue;
            ForwardPairWith(k, a.y.data(), b.y.data(), n, d0.data(), d1.data(), pm0, pm1);
            ForwardScalar(b.y.data(), n, want.data(), wantPm);
            EXPECT_TRUE(d1 == want && std::memcmp(pm1, wantPm, sizeof wantPm) == 0) << int(k);
            ForwardScalar(a.y.data(), n, want.data(), wantPm);
            EXPECT_TRUE(d0 == want && std::memcmp(pm0, wantPm, sizeof wantPm) == 0) << int(k);
        }
        Bits raw0(n), raw1(n), plain0(n), plain1(n);
        fast.DetectPair(a.y.data(), b.y.data(), n, raw0.data(), raw1.data());
        ViterbiPlain(a.y.data(), n, plain0.data());
        ViterbiPlain(b.y.data(), n, plain1.data());
        EXPECT_TRUE(raw0 == plain0 && raw1 == plain1) << n;
    }
}

TEST(Detectors, FastEqualsPlainOnTiesAndOddSamples) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Half-integer samples make exactly equal path metrics common.
    NoiseSource noise(13, 0);
    std::vector<std::vector<float>> frames = {{0.5f}, {-0.5f, 0.5f}, {1e30f, 0.0f, 1.0f}};
    frames.insert(frames.end(), {{nan, 1.0f}, {inf, -inf, 3.0f}, std::vector<float>(100, 0.5f)});
    for (int rep = 0; rep < 200; ++rep) {
        std::vector<float> y(1 + noise.Bits() % 300);
        for (auto& v : y) v = static_cast<float>(static_cast<int>(noise.Bits() % 15) - 7) + 0.5f;
        frames.push_back(y);
    }
    Viterbi fast;
    for (const auto& y : frames) {
        EXPECT_EQ(DetectAll(y, fast).fast, DetectAll(y, fast).plain);
        ExpectKernelsAgree(y);
    }
    // A single sample halfway between the ideals 0 (bit 0) and 1 (bit 1):
    // the two end states tie and the lower one, state 0, wins.
    EXPECT_EQ(DetectAll({0.5f}, fast).plain, Bits{0});
    EXPECT_EQ(DetectAll(std::vector<float>(100, 0.0f), fast).plain, Bits(100, 0));
}

TEST(Slicer, NearestLevelClampedWithHalfwayUp) {
    const float inf = std::numeric_limits<float>::infinity();
    const float y[] = {0.49f, 0.5f, -0.5f, -0.51f, -2.5f, 5.49f, 5.5f, 100.f, -6.7f, 1e38f, -inf};
    const int level[] = {0, 1, 0, -1, -2, 5, 6, 6, -6, 6, -6};
    for (int i = 0; i < 11; ++i) EXPECT_EQ(SliceLevel(y[i]), level[i]) << y[i];
    EXPECT_EQ(SliceLevel(std::numeric_limits<float>::quiet_NaN()), 0);
    const float frame[] = {-6.f, -5.f, -1.2f, -0.2f, 2.9f, 3.4f};
    Bits raw(6);
    SliceFrame(frame, 6, raw.data());
    EXPECT_EQ(raw, (Bits{0, 1, 1, 0, 1, 1}));
}

TEST(Slicer, FrameAgreesWithTheLevelOnEdgeValues) {
    // Every level and halfway value with its neighbours on either side, then
    // values that have to be clamped or are not numbers; each offset puts every
    // value once through the blocked part of SliceFrame and once through its rest.
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
    for (int offset = 0; offset < 32; ++offset) {
        Bits raw(y.size());
        SliceFrame(y.data() + offset, n - offset, raw.data());
        for (int k = offset; k < n; ++k)
            ASSERT_EQ(raw[k - offset], SliceLevel(y[k]) & 1) << y[k] << " offset " << offset;
    }
}

} // namespace
} // namespace channel
