#include "channel/target.h"

#include <gtest/gtest.h>

#include <cmath>

#include "channel/encoder.h"
#include "channel/noise.h"

namespace channel {
namespace {

TEST(Target, NamedTargetsAndWhatTheyDerive) {
    // Taps: bit m-1 for each odd f_m; E3PR4's 1 + D + D^4 + D^5 is the
    // window's precoder.
    const struct {
        const char* text;
        const char* coefficients;
        double energy;
        int memory;
        bool precoder;
        std::uint32_t taps;
        float low, high;
        std::size_t levels;
    } cases[] = {
        {"pr4", "1,0,-1", 2, 2, true, 0b10, -1, 1, 3},
        {"EPR4", "1,1,-1,-1", 4, 3, true, 0b111, -2, 2, 5},
        {"e2pr4", "1,2,0,-2,-1", 10, 4, true, 0b1000, -3, 3, 7},
        {"e3pr4", "1,3,2,-2,-3,-1", 28, 5, true, 0b11001, -6, 6, 13},
        {"1,2,1", "1,2,1", 6, 2, true, 0b10, 0, 4, 5},
        {"2,1", "2,1", 5, 1, false, 0, 0, 3, 4},
        {" 1, 0.8 ,-0.3", "1,0.8,-0.3", 1.73, 2, false, 0, -0.3f, 1.8f, 8},
        {"1,-1", "1,-1", 2, 1, true, 0b1, -1, 1, 3},
    };
    for (const auto& c : cases) {
        Target t;
        ASSERT_EQ(Target::Parse(c.text, t), "") << c.text;
        EXPECT_EQ(t.CoefficientText(), c.coefficients);
        EXPECT_NEAR(t.Energy(), c.energy, 1e-12) << c.text;
        EXPECT_EQ(t.Memory(), c.memory) << c.text;
        EXPECT_EQ(t.States(), 1 << c.memory) << c.text;
        EXPECT_EQ(t.HasPrecoder(), c.precoder) << c.text;
        EXPECT_EQ(t.PrecoderTaps(), c.taps) << c.text;
        EXPECT_EQ(t.Levels().front(), c.low) << c.text;
        EXPECT_EQ(t.Levels().back(), c.high) << c.text;
        EXPECT_EQ(t.Levels().size(), c.levels) << c.text;
        EXPECT_EQ(t.GetTrellis().level.size(), std::size_t{2} << c.memory);
    }
    EXPECT_EQ(Target().Name(), "e3pr4");
    EXPECT_EQ(Target().CoefficientText(), "1,3,2,-2,-3,-1");
}

TEST(Target, BadTextsAreRefusedWithTheReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "neither a named target"},
        {"e4pr4", "neither a named target"},
        {"1", "has 1 coefficient;"},
        {"1,2,3,4,5,6,7,8", "more than 7 coefficients"},
        {"1,,2", "'' is not a number"},
        {"1,x", "'x' is not a number"},
        {"1,nan", "'nan' is not a number"},
        {"1,inf", "is not between -1000 and 1000"},
        {"1,1001", "is not between -1000 and 1000"},
        {"0,1,2", "starts with 0"},
        {"1,2,0", "ends with 0"},
        {"1,2,", "'' is not a number"},
    };
    for (const auto& [text, error] : cases) {
        Target t;
        const std::string why = Target::Parse(text, t);
        EXPECT_NE(why.find(error), std::string::npos) << text << ": " << why;
        EXPECT_EQ(t.Name(), "e3pr4") << text; // left as it was
    }
}

TEST(Target, NoiseFreeParityIsTheRawBitOnEveryIntegerTarget) {
    // And the trellis holds each window's level: the frame's samples, the
    // tail's too, are the levels of the windows the precoder bits form.
    NoiseSource noise(5, 0);
    for (const char* text : {"pr4", "epr4", "e2pr4", "e3pr4", "1,2,1", "1,3", "3,-2,-1,1,1,1,-1",
                             "1,0.8,-0.3", "2,1"}) {
        Target t;
        ASSERT_EQ(Target::Parse(text, t), "");
        const FrameEncoder encoder(t);
        const int n = 1003, nu = t.Memory();
        std::vector<std::uint8_t> raw(n), prec(n), back(n);
        std::vector<float> samples(n + nu);
        noise.RandomBits(raw.data(), n);
        encoder.Precode(raw.data(), n, prec.data());
        encoder.Levels(prec.data(), n, nu, samples.data());
        encoder.InversePrecode(prec.data(), n, back.data());
        EXPECT_EQ(back, raw) << text;
        // The precoder on words: the same bits, raw bits past n ignored and
        // the last word's past n 0.
        std::vector<std::uint64_t> rawWords((n + 63) / 64, ~0ull), precWords(rawWords.size());
        for (int k = 0; k < n; ++k)
            if (raw[k] == 0) rawWords[k / 64] &= ~(1ull << (k % 64));
        encoder.PrecodeWords(rawWords.data(), n, precWords.data());
        for (int k = 0; k < 64 * static_cast<int>(precWords.size()); ++k)
            ASSERT_EQ((precWords[k / 64] >> (k % 64)) & 1u, k < n ? prec[k] : 0u)
                << text << " " << k;
        unsigned w = 0;
        for (int k = 0; k < n + nu; ++k) {
            w = (w >> 1) | (k < n ? unsigned{prec[k]} << nu : 0u);
            ASSERT_EQ(samples[k], t.GetTrellis().level[w]) << text << " k " << k;
            if (k < n && t.HasPrecoder()) {
                ASSERT_EQ(static_cast<long long>(std::fabs(samples[k])) % 2, raw[k])
                    << text << " k " << k;
            }
        }
        if (!t.HasPrecoder()) {
            EXPECT_EQ(prec, raw) << text;
        }
    }
}

} // namespace
} // namespace channel
