#include "channel/waveform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "channel/random.h"

namespace channel {
namespace {

constexpr int kTailColumn = kFirstSampleColumn + kPointsPerBit * kBits; // 500

// Rounding noise allowed where the waveform passes through a sample value.
constexpr float kSampleNoise = 1.2e-6f;
// No block takes the waveform outside this; the plot's scale relies on it.
constexpr float kWaveBound = 6.0021f;

class PulseTab : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { BuildPulseTable(); }
};

TEST_F(PulseTab, SampleInstantsOfThePulseAreTheTarget) {
    // Exactly where the zero test or exact arithmetic decides them.
    EXPECT_EQ(pulseTab[600], 1.0f);
    EXPECT_EQ(pulseTab[610], 3.0f);
    EXPECT_EQ(pulseTab[620], 2.0f);
    // The single-precision arguments leave noise in the other three; it is
    // part of the result, because it decides plot rows. Pinned bit for bit,
    // and each a few units in the last place off the target, on the side
    // and by the amount the recipe is known to give.
    EXPECT_EQ(pulseTab[630], -0x1.000002p+1f);
    EXPECT_EQ(pulseTab[640], -0x1.7ffffep+1f);
    EXPECT_EQ(pulseTab[650], -0x1.000008p+0f);
    EXPECT_NEAR(pulseTab[630], -2.0000002f, 1e-7f);
    EXPECT_NEAR(pulseTab[640], -2.9999998f, 1e-7f);
    EXPECT_NEAR(pulseTab[650], -1.0000005f, 1e-7f);
    EXPECT_LT(pulseTab[630], -2.0f);
    EXPECT_GT(pulseTab[640], -3.0f);
    EXPECT_LT(pulseTab[650], -1.0f);
    for (int m = -60; m < 60; ++m) {
        if (m >= 0 && m < kTargetLen) continue;
        EXPECT_NEAR(pulseTab[kPulseOrigin + kPointsPerBit * m], 0.0f, 1.5e-7f) << "m " << m;
    }
}

TEST_F(PulseTab, ShapeAroundTheOrigin) {
    const auto [lo, hi] = std::minmax_element(pulseTab, pulseTab + kPulseLen);
    EXPECT_EQ(hi - pulseTab, 613);
    EXPECT_EQ(lo - pulseTab, 637);
    EXPECT_NEAR(*hi, 3.19929f, 1e-5f);
    EXPECT_NEAR(*lo, -3.19929f, 1e-5f);
    EXPECT_NEAR(pulseTab[595], 0.2822f, 1e-4f);
    EXPECT_NEAR(pulseTab[605], 2.0695f, 1e-4f);
    for (int i = 595; i < 600; ++i) EXPECT_LT(pulseTab[i], pulseTab[i + 1]) << "i " << i;
}

TEST_F(PulseTab, EndsAreTiny) {
    EXPECT_NEAR(pulseTab[0], 6.1e-12f, 0.05e-12f);
    EXPECT_NEAR(pulseTab[kPulseLen - 1], -7.7e-9f, 0.05e-9f);
}

TEST_F(PulseTab, WholeTableIsBitForBitTheRecordedOne) {
    // FNV-1a over the 1200 bit patterns of the table whose entries above all
    // hold; building it with double or with extended intermediates gives the
    // same bits, so this does not pin one machine's arithmetic. Any change of rounding point,
    // operation order, pi or compiler floating-point mode shows up here first.
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (float v : pulseTab) {
        h ^= std::bit_cast<std::uint32_t>(v);
        h *= 0x100000001b3ull;
    }
    EXPECT_EQ(h, 0x2b07a78b5f8da359ull);
}

TEST_F(PulseTab, BuildingAgainGivesTheSameTable) {
    PulseTable again;
    std::fill_n(again, kPulseLen, 12345.0f); // nothing of an old table may survive
    BuildPulseTable(again);
    for (int i = 0; i < kPulseLen; ++i) {
        ASSERT_EQ(std::bit_cast<std::uint32_t>(again[i]), std::bit_cast<std::uint32_t>(pulseTab[i]))
            << "i " << i;
    }
}

class Wave : public PulseTab {};

TEST_F(Wave, AllZeroBlockIsExactlyZeroEverywhere) {
    channel::Wave wave;
    std::fill_n(wave, kColumns, 7.0f); // a previous run's values must not survive
    const Sequence zero{};
    SynthesizeWave(zero, pulseTab, wave);
    for (int j = 0; j < kColumns; ++j) ASSERT_EQ(wave[j], 0.0f) << "column " << j;
}

TEST_F(Wave, SinglePulseIsTheTableShiftedToItsBit) {
    for (int k = 0; k < kBits; ++k) {
        Sequence prec{};
        prec[k] = 1;
        channel::Wave wave{};
        SynthesizeWave(prec, pulseTab, wave);
        for (int j = 0; j < kColumns; ++j) {
            ASSERT_EQ(wave[j], pulseTab[500 - 10 * k + j]) << "k " << k << " column " << j;
        }
    }
}

TEST_F(Wave, ContributionsAreSummedInAscendingBitOrderInSinglePrecision) {
    // The plot's rows depend on the last bit of every column, so the order
    // and width of the additions are part of the result.
    SeedRandom(1);
    for (int run = 0; run < 50; ++run) {
        GenerateBlock();
        SynthesizeWave();
        for (int j = 0; j < kColumns; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < kBits; ++k) {
                if (precData[k] != 0) sum = sum + pulseTab[500 - 10 * k + j];
            }
            ASSERT_EQ(std::bit_cast<std::uint32_t>(waveBuf[j]), std::bit_cast<std::uint32_t>(sum))
                << "run " << run << " column " << j;
        }
    }
}

TEST_F(Wave, FirstRunAfterStartupEndsOnTheNextSample) {
    SeedRandom(1);
    GenerateBlock();
    SynthesizeWave();
    // One bit period after the block: 3p[39] + 2p[38] - 2p[37] - 3p[36] - p[35].
    EXPECT_EQ(waveBuf[kTailColumn], -5.0f);
    for (int m = 0; m < kBits; ++m) {
        EXPECT_NEAR(waveBuf[kFirstSampleColumn + kPointsPerBit * m],
                    static_cast<float>(sampData[m]), kSampleNoise)
            << "bit " << m;
    }
}

TEST_F(Wave, ManyRunsPassThroughTheSamplesAndStayInsideTheBound) {
    SeedRandom(1);
    for (int run = 0; run < 5000; ++run) {
        GenerateBlock();
        SynthesizeWave();
        for (int m = 0; m < kBits; ++m) {
            ASSERT_NEAR(waveBuf[kFirstSampleColumn + kPointsPerBit * m],
                        static_cast<float>(sampData[m]), kSampleNoise)
                << "run " << run << " bit " << m;
        }
        const auto& p = precData;
        const int tail = 3 * p[39] + 2 * p[38] - 2 * p[37] - 3 * p[36] - p[35];
        ASSERT_NEAR(waveBuf[kTailColumn], static_cast<float>(tail), kSampleNoise) << "run " << run;
        for (int j = 0; j < kColumns; ++j) {
            ASSERT_LE(std::fabs(waveBuf[j]), kWaveBound) << "run " << run << " column " << j;
        }
    }
}

TEST_F(Wave, WorstBlockOfEveryColumnStaysInsideTheBound) {
    // Every 40-bit precoder output can occur (the precoder is invertible), so
    // the worst block for column j switches on exactly the bits whose pulse
    // is positive there (or negative, for the low side). Covering all 600
    // columns both ways covers every block.
    float highest = 0.0f;
    for (int j = 0; j < kColumns; ++j) {
        for (int sign : {1, -1}) {
            Sequence prec{};
            for (int k = 0; k < kBits; ++k) prec[k] = sign * pulseTab[500 - 10 * k + j] > 0;
            channel::Wave wave{};
            SynthesizeWave(prec, pulseTab, wave);
            ASSERT_LE(sign * wave[j], kWaveBound) << "column " << j;
            highest = std::max(highest, sign * wave[j]);
        }
    }
    // The bound is tight: it is reached to within its last digit.
    EXPECT_GT(highest, 6.002f);
}

TEST_F(Wave, AnyLengthEqualsTheWindowsWaveformAndInterpolatesWeights) {
    // 0/1 weights of a 40-bit block over the window's 600 columns: its own
    // waveform, bit for bit.
    for (int run = 0; run < 20; ++run) {
        GenerateBlock();
        channel::Wave window;
        SynthesizeWave(precData, pulseTab, window);
        float weights[kBits];
        for (int k = 0; k < kBits; ++k) weights[k] = static_cast<float>(precData[k]);
        float any[kColumns];
        SynthesizeWave(weights, kBits, pulseTab, -kFirstSampleColumn, kColumns, any);
        for (int j = 0; j < kColumns; ++j)
            ASSERT_EQ(std::bit_cast<std::uint32_t>(any[j]), std::bit_cast<std::uint32_t>(window[j]))
                << "run " << run << " column " << j;
    }
    // The single coefficient 1 interpolates: at a sampling instant the
    // weight itself (the other sincs vanish to rounding), and a weight
    // reaches from 60 bit periods before its instant to 59.9 after, as the
    // table does (bit 4's instant is at 40 tenths).
    PulseTable sinc;
    const double one = 1;
    BuildPulseTable(&one, 1, sinc);
    const float weights[] = {0.5f, -1.25f, 2.0f, 0.0f, 3.0f};
    float wave[41];
    SynthesizeWave(weights, 5, sinc, 0, 41, wave);
    for (int k = 0; k < 5; ++k) EXPECT_NEAR(wave[10 * k], weights[k], 1e-6f) << k;
    const struct {
        int first; // tenths of a bit period
        bool reached;
    } edges[] = {{40 - 600, true}, {40 - 601, false}, {40 + 599, true}, {40 + 600, false}};
    for (const auto& e : edges) {
        const float single[] = {0, 0, 0, 0, 1};
        float v = 0;
        SynthesizeWave(single, 5, sinc, e.first, 1, &v);
        const int index = kPulseOrigin + e.first - 40;
        EXPECT_EQ(v, e.reached ? sinc[index] : 0.0f) << e.first;
    }
}

} // namespace
} // namespace channel
