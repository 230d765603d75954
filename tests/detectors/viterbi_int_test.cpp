// The converter and the integer detector: the code of every edge value, the
// detector's fast passes against its plain oracle bit for bit, the oracle
// against an exhaustive search, and the frames of several at once.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "channel/adc.h"
#include "detectors/viterbi.h"
#include "detectors/viterbi_int.h"
#include "detectors/viterbi_kernels.h"
#include "frame_fixture.h"

namespace detectors {
namespace {

using Bits = std::vector<std::uint8_t>;
using channel::Adc;
using channel::NoiseSource;
using channel::Target;
using viterbi_detail::Kernel;

Target Named(const char* text) {
    Target t;
    EXPECT_EQ(Target::Parse(text, t), "") << text;
    return t;
}

const float kInf = std::numeric_limits<float>::infinity();
const float kNan = std::numeric_limits<float>::quiet_NaN();

TEST(Adc, CodesByTheRule) {
    const struct {
        const char* target;
        int bits, perLevel, top;
        std::vector<float> y;
        std::vector<int> code;
    } cases[] = {
        // Levels -6 ... 6, 5 codes a level step: code c is -6 + c/5.
        {"e3pr4",
         6,
         5,
         60,
         {-6, 0, 0.1f, 0.09f, 5.9f, 6, 100, -100, kInf, -kInf, kNan},
         {0, 30, 31, 30, 60, 60, 60, 0, 60, 0, 0}},
        // 2 codes a level step: -5.75 is halfway between codes 0 and 1 and
        // goes up, the float below it down.
        {"e3pr4",
         5,
         2,
         24,
         {-5.75f, std::nextafter(-5.75f, -kInf), 0.25f, std::nextafter(0.25f, -kInf), 5.75f},
         {1, 0, 13, 12, 24}},
        {"e3pr4", 4, 1, 12, {-6.5f, -6.49f, 0.5f, 0.49f, 5.5f, 7}, {0, 0, 7, 6, 12, 12}},
        {"e3pr4", 10, 85, 1020, {0, 1, -6, 6}, {510, 595, 0, 1020}},
        {"pr4", 4, 7, 14, {-1, 0, 1, 0.0714f, 0.0715f}, {0, 7, 14, 7, 8}},
        {"1,2,1", 5, 7, 28, {0, 4, 2.5f, 0.0714f, 0.0715f}, {0, 28, 18, 0, 1}},
    };
    for (const auto& c : cases) {
        const Adc adc(Named(c.target), c.bits);
        EXPECT_EQ(adc.PerLevel(), c.perLevel) << c.target << " " << c.bits;
        EXPECT_EQ(adc.TopCode(), c.top) << c.target << " " << c.bits;
        const int n = static_cast<int>(c.y.size());
        // Every value at every position of a block: the vector loops and
        // the scalar rest agree.
        for (int offset = 0; offset < n; ++offset) {
            std::vector<float> y(40, 0.0f);
            std::copy(c.y.begin(), c.y.end(), y.begin() + offset);
            std::vector<std::uint16_t> codes(40);
            std::vector<float> values(40);
            adc.ToCodes(y.data(), codes.data(), 40);
            adc.Quantize(y.data(), values.data(), 40);
            for (int i = 0; i < n; ++i) {
                ASSERT_EQ(codes[offset + i], c.code[i]) << c.target << " " << c.y[i];
                ASSERT_EQ(values[offset + i], adc.Value(c.code[i])) << c.target << " " << c.y[i];
                ASSERT_EQ(adc.Code(c.y[i]), c.code[i]) << c.target << " " << c.y[i];
            }
        }
    }
}

TEST(Adc, EveryValueConvertsBackToItsCode) {
    for (const Target& target : test::TestTargets()) {
        for (int bits = channel::kMinAdcBits; bits <= channel::kMaxAdcBits; ++bits) {
            if (!Adc::WhyNot(target, bits).empty()) continue;
            const Adc adc(target, bits);
            EXPECT_EQ(adc.Value(0), target.Levels().front());
            EXPECT_EQ(adc.Value(adc.TopCode()), target.Levels().back());
            for (int c = 0; c <= adc.TopCode(); ++c)
                ASSERT_EQ(adc.Code(adc.Value(c)), c) << target.Name() << " " << bits;
            for (float level : target.Levels())
                EXPECT_EQ(adc.Value(adc.Code(level)), level) << target.Name() << " " << bits;
        }
    }
    const std::pair<const char*, int> refused[] = {
        {"1,0.8,-0.3", 8}, {"e3pr4", 3}, {"e3pr4", 11}, {"4,4,4,4", 4}};
    for (const auto& [target, bits] : refused)
        EXPECT_NE(Adc::WhyNot(Named(target), bits), "") << target << " " << bits;
    EXPECT_EQ(Adc::WhyNot(Named("4,4,4,4"), 5), "");
}

struct Decided {
    Bits plain, fast;
};

// The integer targets of the detector tests, each at several resolutions.
std::vector<std::pair<Target, int>> Converted() {
    std::vector<std::pair<Target, int>> list;
    for (const Target& target : test::TestTargets())
        for (int bits : {4, 6, 8, 10})
            if (Adc::WhyNot(target, bits).empty()) list.emplace_back(target, bits);
    return list;
}

TEST(ViterbiInt, FastEqualsPlainOnEveryTargetAndKernel) {
    for (const auto& [target, bits] : Converted()) {
        const Adc adc(target, bits);
        const channel::FrameEncoder encoder(target);
        const double unit = std::sqrt(target.D2Min());
        for (Kernel kernel : {Kernel::kScalar, Kernel::kAvx2, Kernel::kAvx512}) {
            if (!viterbi_detail::RunsInt(kernel)) continue;
            ViterbiInt fast(target, adc, kernel);
            NoiseSource noise(21, static_cast<std::uint64_t>(bits));
            for (int n : {4096, 1, 2, 3, 4, 5, 6, 7, 33, 64, 65, 1000}) {
                for (int tail : {0, target.Memory()}) {
                    // Eleven frames: a batch of eight and three more, each
                    // noisier than the one before.
                    std::vector<test::Frame> frames;
                    const float* y[11];
                    Bits got[11];
                    std::uint8_t* raw[11];
                    for (int f = 0; f < 11; ++f) {
                        frames.emplace_back(encoder, noise, n, tail, (0.1 + 0.2 * f) * unit);
                        y[f] = frames.back().y.data();
                        got[f].assign(static_cast<std::size_t>(n), 2);
                        raw[f] = got[f].data();
                    }
                    fast.DetectFrames(11, y, n, tail, raw);
                    // The same from the codes, the raw bits as words.
                    std::vector<std::uint16_t> codes[11];
                    std::vector<std::uint64_t> words[11];
                    const std::uint16_t* rows[11];
                    std::uint64_t* out[11];
                    for (int f = 0; f < 11; ++f) {
                        codes[f].resize(static_cast<std::size_t>(n + tail));
                        adc.ToCodes(y[f], codes[f].data(), n + tail, fast.CodeShift());
                        rows[f] = codes[f].data();
                        words[f].assign(static_cast<std::size_t>((n + 63) / 64), ~0ull);
                        out[f] = words[f].data();
                    }
                    fast.DetectCodes(11, rows, n, tail, out);
                    for (int f = 0; f < 11; ++f) {
                        Bits want(static_cast<std::size_t>(n));
                        ViterbiIntPlain(target, adc, y[f], n, tail, want.data());
                        ASSERT_EQ(got[f], want)
                            << target.Name() << " " << bits << " bits, " << fast.Width()
                            << ", kernel " << int(kernel) << ", n " << n << " tail " << tail
                            << " frame " << f;
                        Bits fromWords(static_cast<std::size_t>((n + 63) / 64 * 64));
                        for (std::size_t k = 0; k < fromWords.size(); ++k)
                            fromWords[k] =
                                static_cast<std::uint8_t>((words[f][k / 64] >> (k % 64)) & 1u);
                        want.resize(fromWords.size(), 0); // the last word's bits past n are 0
                        ASSERT_EQ(fromWords, want) << target.Name() << " words, kernel "
                                                   << int(kernel) << ", n " << n << " frame " << f;
                    }
                }
            }
        }
    }
}

TEST(ViterbiInt, KernelsGiveTheScalarPassesWordsAndMetrics) {
    using namespace viterbi_detail;
    for (const auto& [target, bits] : Converted()) {
        const Adc adc(target, bits);
        const IntBranches b =
            IntBranchesOf(target.GetTrellis(), adc.Lowest(), adc.PerLevel(), adc.TopCode());
        if (b.period == 0) continue;
        // Codes at random, clamped ones often: the largest metrics.
        NoiseSource noise(22, 0);
        const int n = 700;
        std::vector<std::uint16_t> codes[5];
        const std::uint16_t* c[5];
        for (int f = 0; f < 5; ++f) {
            for (int k = 0; k < n; ++k) {
                const int r = static_cast<int>(noise.Bits() % (adc.TopCode() + 40)) - 20;
                codes[f].push_back(
                    static_cast<std::uint16_t>(std::clamp(r, 0, adc.TopCode()) * kIntRow));
            }
            c[f] = codes[f].data();
        }
        std::vector<std::uint32_t> want(5 * n), got(5 * n);
        std::uint16_t wantPm[5][32], gotPm[5][32];
        std::uint16_t* wp[5] = {wantPm[0], wantPm[1], wantPm[2], wantPm[3], wantPm[4]};
        std::uint16_t* gp[5] = {gotPm[0], gotPm[1], gotPm[2], gotPm[3], gotPm[4]};
        IntForwardFramesWith(Kernel::kScalar, b, 5, c, n, want.data(), 5, wp);
        for (Kernel kernel : {Kernel::kAvx2, Kernel::kAvx512}) {
            if (!RunsInt(kernel)) continue;
            IntForwardFramesWith(kernel, b, 5, c, n, got.data(), 5, gp);
            EXPECT_EQ(got, want) << target.Name() << " " << bits << " kernel " << int(kernel);
            for (int f = 0; f < 5; ++f)
                for (int s = 0; s < target.States(); ++s)
                    ASSERT_EQ(gotPm[f][s], wantPm[f][s]) << target.Name() << " " << bits;
        }
    }
}

TEST(ViterbiInt, MetricsTakeSixteenBitsWhereTheyFit) {
    // E3PR4 at 10 bits has branch metrics up to 85 * 12^2 = 12240: five of
    // them after a renormalisation and one more step pass 65535, so its sums
    // are kept in floats instead.
    const struct {
        const char* target;
        int bits;
        const char* width;
        int period;
    } cases[] = {{"e3pr4", 6, "16-bit", 64}, {"e3pr4", 8, "16-bit", 16},
                 {"e3pr4", 9, "16-bit", 4},  {"e3pr4", 10, "float", 0},
                 {"pr4", 10, "16-bit", 16},  {"1,1,0,-1,-1,1,-1", 6, "scalar", 0}};
    for (const auto& c : cases) {
        const Target target = Named(c.target);
        const Adc adc(target, c.bits);
        EXPECT_STREQ(ViterbiInt(target, adc).Width(), c.width) << c.target << " " << c.bits;
        EXPECT_EQ(viterbi_detail::IntBranchesOf(target.GetTrellis(), adc.Lowest(), adc.PerLevel(),
                                                adc.TopCode())
                      .period,
                  c.period)
            << c.target << " " << c.bits;
    }
}

TEST(ViterbiInt, ThePlainDetectorIsTheMaximumLikelihoodSequence) {
    // Every sequence of 8 precoder bits, with the tail: where one has the
    // smallest squared distance in codes alone, the oracle decides it.
    NoiseSource noise(23, 0);
    for (const char* name : {"pr4", "e2pr4", "e3pr4", "1,2,1"}) {
        const Target target = Named(name);
        const Adc adc(target, 5);
        const channel::FrameEncoder encoder(target);
        const int n = 8, tail = target.Memory();
        int unique = 0;
        for (int rep = 0; rep < 40; ++rep) {
            const test::Frame f(encoder, noise, n, tail, 0.6 * std::sqrt(target.D2Min()));
            long long best = -1;
            int winners = 0;
            Bits bestRaw(n), prec(n), raw(n);
            std::vector<float> clean(n + tail);
            for (int p = 0; p < (1 << n); ++p) {
                for (int k = 0; k < n; ++k) prec[k] = (p >> k) & 1;
                encoder.Levels(prec.data(), n, tail, clean.data());
                long long d2 = 0;
                for (int k = 0; k < n + tail; ++k) {
                    const long long d = adc.Code(f.y[k]) - adc.Code(clean[k]);
                    d2 += d * d;
                }
                if (best < 0 || d2 < best) best = d2, winners = 0;
                if (d2 == best && ++winners == 1)
                    encoder.InversePrecode(prec.data(), n, bestRaw.data());
            }
            if (winners != 1) continue;
            ++unique;
            ViterbiIntPlain(target, adc, f.y.data(), n, tail, raw.data());
            EXPECT_EQ(raw, bestRaw) << name << " rep " << rep;
        }
        EXPECT_GE(unique, 10) << name;
    }
}

TEST(ViterbiInt, NoiseFreeFramesComeBackExactly) {
    NoiseSource noise(24, 0);
    for (const auto& [target, bits] : Converted()) {
        const Adc adc(target, bits);
        const channel::FrameEncoder encoder(target);
        ViterbiInt fast(target, adc);
        for (int n : {1, 6, 100, 4099}) {
            const test::Frame f(encoder, noise, n, target.Memory(), 0.0);
            Bits got(n), plain(n);
            const float* y = f.y.data();
            std::uint8_t* raw = got.data();
            fast.DetectFrames(1, &y, n, target.Memory(), &raw);
            ViterbiIntPlain(target, adc, y, n, target.Memory(), plain.data());
            EXPECT_TRUE(got == f.raw && plain == f.raw) << target.Name() << " " << bits;
        }
    }
}

TEST(Detectors, FramesSideBySideEqualPlainOnEveryKernel) {
    using viterbi_detail::Runs;
    for (const Target& target : test::TestTargets()) {
        const channel::FrameEncoder encoder(target);
        const double unit = std::sqrt(target.D2Min());
        NoiseSource noise(25, 0);
        for (Kernel kernel : {Kernel::kScalar, Kernel::kAvx2, Kernel::kAvx512}) {
            if (!Runs(kernel)) continue;
            Viterbi fast(target, kernel);
            for (int n : {1, 2, 5, 7, 32, 33, 64, 65, 4096}) {
                const int tail = n % 2 == 0 ? 0 : target.Memory();
                std::vector<test::Frame> frames;
                const float* y[13];
                Bits got[13];
                std::uint8_t* raw[13];
                for (int f = 0; f < 13; ++f) {
                    frames.emplace_back(encoder, noise, n, tail, (0.2 + 0.15 * f) * unit);
                    y[f] = frames.back().y.data();
                    got[f].assign(static_cast<std::size_t>(n), 2);
                    raw[f] = got[f].data();
                }
                fast.DetectFrames(13, y, n, tail, raw);
                for (int f = 0; f < 13; ++f) {
                    Bits want(static_cast<std::size_t>(n));
                    ViterbiPlain(target, y[f], n, tail, want.data());
                    ASSERT_EQ(got[f], want) << target.Name() << " kernel " << int(kernel) << " n "
                                            << n << " frame " << f;
                }
            }
        }
    }
}

} // namespace
} // namespace detectors
