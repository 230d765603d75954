#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "channel/noise.h"
#include "codes/builtin.h"
#include "codes/decoder.h"
#include "codes/encoder.h"
#include "codes/fixed.h"
#include "codes/frames.h"
#include "codes/report.h"

namespace codes {
namespace {

// Frames of a code: a random codeword sent as +-1 through Gaussian noise of
// sigma, as ratios 2 y / sigma^2.
struct Frame {
    std::vector<std::uint8_t> word;
    std::vector<float> ratios;
};
Frame Noisy(const Code& code, const Encoder& enc, channel::NoiseSource& rng, double sigma) {
    Frame f{std::vector<std::uint8_t>(code.n), std::vector<float>(code.n)};
    std::vector<std::uint8_t> user(enc.UserBits());
    rng.RandomBits(user.data(), enc.UserBits());
    enc.Encode(user.data(), f.word.data());
    for (int v = 0; v < code.n; ++v) {
        const double y = (f.word[v] ? -1.0 : 1.0) + sigma * rng.Normal();
        f.ratios[v] = static_cast<float>(2 * y / (sigma * sigma));
    }
    return f;
}

TEST(Decoder, SumProductOnATreeGivesTheExactPosteriors) {
    const Code tree = CodeFromChecks(7, {{0, 1, 2}, {2, 3}, {3, 4, 5}, {5, 6}});
    ASSERT_EQ(GirthAndCycles(tree).girth, 0);
    DecoderOptions o;
    o.algorithm = Algorithm::kSumProduct;
    o.earlyStop = false;
    for (const std::vector<float>& in :
         {std::vector<float>{1.5f, -0.3f, 0.8f, -2.0f, 0.1f, 3.0f, -0.7f},
          {-4.0f, -4.0f, 0.0f, 6.0f, -0.2f, 0.2f, 9.0f},
          {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, -12.0f}}) {
        // ln sum over the codewords with bit v = 0 less that with bit v = 1,
        // each weighted by exp(Sum_j +-L_j / 2).
        std::vector<double> p0(7, 0), p1(7, 0);
        for (int w = 0; w < 128; ++w) {
            std::vector<std::uint8_t> bits(7);
            double logp = 0;
            for (int j = 0; j < 7; ++j)
                bits[j] = w >> j & 1, logp += (bits[j] ? -0.5 : 0.5) * in[j];
            if (!SyndromeZero(tree, bits.data())) continue;
            for (int j = 0; j < 7; ++j) (bits[j] ? p1 : p0)[j] += std::exp(logp);
        }
        const Decoded d = Decode(tree, o, in);
        for (int j = 0; j < 7; ++j) {
            const double exact = std::log(p0[j] / p1[j]);
            EXPECT_NEAR(d.posterior[j], exact, 1e-5 * std::max(1.0, std::fabs(exact))) << j;
        }
        EXPECT_EQ(d.iterations, 10);
    }
}

TEST(Decoder, EachDecoderEndsOnACodewordWhenItsSyndromeIsZero) {
    const Code code = *Builtin("sector512");
    const Encoder enc(code);
    channel::NoiseSource rng(5, 1);
    struct Case {
        Algorithm algorithm;
        Arithmetic arithmetic;
        bool earlyStop;
        double sigma;
        int atLeast; // of 12 frames decoded to the word sent
    };
    // Iterating on past a codeword keeps it, in every arithmetic.
    for (const Case& c : {Case{Algorithm::kNormalizedMinSum, Arithmetic::kFloat, true, 0.45, 11},
                          Case{Algorithm::kOffsetMinSum, Arithmetic::kFloat, true, 0.45, 11},
                          Case{Algorithm::kSumProduct, Arithmetic::kFloat, true, 0.45, 11},
                          Case{Algorithm::kNormalizedMinSum, Arithmetic::kFloat, false, 0.45, 11},
                          Case{Algorithm::kNormalizedMinSum, Arithmetic::kInt8, false, 0.45, 11},
                          Case{Algorithm::kOffsetMinSum, Arithmetic::kInt16, false, 0.45, 11},
                          Case{Algorithm::kNormalizedMinSum, Arithmetic::kFloat, true, 0.7, 0}}) {
        FrameOptions o;
        o.decoder.algorithm = c.algorithm;
        o.decoder.earlyStop = c.earlyStop;
        o.decoder.maxIterations = 20;
        o.arithmetic = c.arithmetic;
        int right = 0;
        for (int f = 0; f < 12; ++f) {
            const Frame fr = Noisy(code, enc, rng, c.sigma);
            Decoded d;
            if (c.arithmetic == Arithmetic::kFloat) {
                d = Decode(code, o.decoder, fr.ratios);
            } else {
                d.bits.resize(code.n);
                const FrameResult r =
                    DecodeFixed(code, o, fr.ratios.data(), d.bits.data(), nullptr);
                d.syndromeZero = r.syndromeZero, d.iterations = r.iterations;
            }
            EXPECT_EQ(d.syndromeZero, SyndromeZero(code, d.bits.data()));
            EXPECT_TRUE(d.iterations == 20 || (c.earlyStop && d.syndromeZero));
            right += d.bits == fr.word;
        }
        EXPECT_GE(right, c.atLeast) << int(c.algorithm) << " sigma " << c.sigma;
        if (c.atLeast == 0) {
            EXPECT_EQ(right, 0);
        }
    }
}

TEST(Decoder, InputsAreQuantizedAsStated) {
    // Column weight 3: inputs up to 127 / 4 and 32767 / 4.
    const Code code = CodeFromChecks(4, {{0, 1}, {0, 2}, {0, 3}});
    FrameOptions o;
    const FixedConstants k8 = ConstantsOf(Resolved(o), code);
    o.arithmetic = Arithmetic::kInt16;
    const FixedConstants k16 = ConstantsOf(Resolved(o), code);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float x;
        int q8, q16;
    };
    for (const Case& c :
         {Case{0.125f, 0, 8}, Case{0.375f, 2, 24}, Case{-0.375f, -2, -24}, Case{0.126f, 1, 8},
          Case{0.6f, 2, 38}, Case{7.6f, 30, 486}, Case{31.9f, 31, 2042}, Case{-600.0f, -31, -8191},
          Case{nan, 0, 0}, Case{-inf, -31, -8191}}) {
        EXPECT_EQ(Quantize(c.x, k8), c.q8) << c.x;
        EXPECT_EQ(Quantize(c.x, k16), c.q16) << c.x;
    }
    EXPECT_EQ(k8.a16, 12);
    EXPECT_EQ(k8.cap, 31);
}

// Each kernel this processor runs gives every frame exactly the plain
// decoder's bits, posteriors, syndrome flag and iterations, for every
// arithmetic and rule, a full and a partial register of frames.
TEST(FrameDecoder, EveryKernelEqualsThePlainDecoderBitForBit) {
    const Code code = *Builtin("sector512");
    const Encoder enc(code);
    struct Case {
        Arithmetic arithmetic;
        Algorithm algorithm;
        bool earlyStop;
        float normalization, offset;
        int fractionBits;
    };
    const Case cases[] = {
        {Arithmetic::kInt8, Algorithm::kNormalizedMinSum, true, 0.75f, 0.5f, -1},
        {Arithmetic::kInt8, Algorithm::kNormalizedMinSum, false, 0.8f, 0.5f, 3},
        {Arithmetic::kInt8, Algorithm::kOffsetMinSum, true, 0.75f, 0.5f, -1},
        {Arithmetic::kInt16, Algorithm::kNormalizedMinSum, true, 0.75f, 0.5f, -1},
        {Arithmetic::kInt16, Algorithm::kNormalizedMinSum, false, 1.0f, 0.5f, 4},
        {Arithmetic::kInt16, Algorithm::kOffsetMinSum, true, 0.75f, 0.25f, -1},
        {Arithmetic::kFloat, Algorithm::kNormalizedMinSum, true, 0.75f, 0.5f, -1},
        {Arithmetic::kFloat, Algorithm::kOffsetMinSum, false, 0.75f, 0.5f, -1},
    };
    const double sigmas[] = {0.42, 0.47, 0.52, 0.58};
    for (Kernel kernel : {Kernel::kScalar, Kernel::kAvx2, Kernel::kAvx512}) {
        if (!Runs(kernel)) continue;
        for (const Case& c : cases) {
            FrameOptions o;
            o.arithmetic = c.arithmetic;
            o.decoder.algorithm = c.algorithm;
            o.decoder.earlyStop = c.earlyStop;
            o.decoder.normalization = c.normalization;
            o.decoder.offset = c.offset;
            o.fractionBits = c.fractionBits;
            FrameDecoder fast(code, o, kernel);
            const int lanes = fast.Lanes();
            channel::NoiseSource rng(11, lanes);
            int stopped = 0, failed = 0;
            for (int frames : {lanes, std::min(lanes, 3)}) {
                std::vector<Frame> in;
                for (int f = 0; f < frames; ++f) in.push_back(Noisy(code, enc, rng, sigmas[f % 4]));
                // Ties, a NaN, infinities and out-of-range ratios now and then.
                in[0].ratios[5] = std::numeric_limits<float>::quiet_NaN();
                in[0].ratios[6] = -std::numeric_limits<float>::infinity();
                in[0].ratios[7] = 5000.0f;
                for (float& x : in[frames - 1].ratios) x = std::round(x * 2) / 2;
                std::vector<const float*> ratios;
                std::vector<std::vector<std::uint8_t>> bits(frames,
                                                            std::vector<std::uint8_t>(code.n));
                std::vector<std::vector<float>> post(frames, std::vector<float>(code.n));
                std::vector<std::uint8_t*> bitPtr;
                std::vector<float*> postPtr;
                for (int f = 0; f < frames; ++f)
                    ratios.push_back(in[f].ratios.data()), bitPtr.push_back(bits[f].data()),
                        postPtr.push_back(post[f].data());
                std::vector<FrameResult> results(frames);
                fast.Decode(frames, ratios.data(), bitPtr.data(), postPtr.data(), results.data());
                for (int f = 0; f < frames; ++f) {
                    std::vector<std::uint8_t> plainBits(code.n);
                    std::vector<float> plainPost(code.n);
                    const FrameResult plain = DecodeFixed(code, o, in[f].ratios.data(),
                                                          plainBits.data(), plainPost.data());
                    ASSERT_EQ(bits[f], plainBits) << KernelName(kernel) << " frame " << f;
                    ASSERT_EQ(std::memcmp(post[f].data(), plainPost.data(), code.n * sizeof(float)),
                              0)
                        << KernelName(kernel) << " frame " << f;
                    ASSERT_EQ(results[f].syndromeZero, plain.syndromeZero) << f;
                    ASSERT_EQ(results[f].iterations, plain.iterations) << f;
                    EXPECT_TRUE(!plain.syndromeZero || SyndromeZero(code, plainBits.data()));
                    stopped += plain.iterations < 10;
                    failed += !plain.syndromeZero;
                }
            }
            // The frames exercised both ends: early stops (where asked) and failures.
            EXPECT_TRUE(lanes <= 8 || failed > 0) << KernelName(kernel);
            EXPECT_TRUE(lanes <= 8 || !c.earlyStop || stopped > 0) << KernelName(kernel);
        }
    }
}

} // namespace
} // namespace codes
