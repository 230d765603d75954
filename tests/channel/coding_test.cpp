#include "channel/coding.h"

#include <gtest/gtest.h>

#include <vector>

#include "channel/random.h"
#include "seq.h"

namespace channel {
namespace {

using test::Copy;
using test::Seq;
using test::ToBits;

// The first values of a sequence.
std::vector<std::int32_t> Head(const Sequence& s, int n) {
    return {s, s + n};
}

struct Encoded {
    Sequence prec{}, nrzi{}, samp{};
};

Encoded Encode(const Sequence& raw) {
    Encoded e;
    EncodeBlock(raw, e.prec, e.nrzi, e.samp);
    return e;
}

// Puts `prec` into `raw` as the raw bits whose precoder output it is: the
// precoder's inverse, 1 + D + D^4 + D^5 over GF(2), with zero history.
void RawFor(const Sequence& prec, Sequence& raw) {
    auto p = [&](int i) { return i >= 0 ? prec[i] : 0; };
    for (int k = 0; k < kBits; ++k) raw[k] = p(k) ^ p(k - 1) ^ p(k - 4) ^ p(k - 5);
}

// Starts every test from the state program start-up leaves.
class CodingChain : public ::testing::Test {
  protected:
    void SetUp() override { SeedRandom(1); }
};

TEST_F(CodingChain, FirstRunAfterStartup) {
    GenerateBlock();
    EXPECT_EQ(ToBits(rawData), "0000111000011000111110101011011110011101");
    EXPECT_EQ(ToBits(precData), "0000101101011010111111001110101110101100");
    EXPECT_EQ(ToBits(nrziData), "0000111011110111100000101001111001111010");
    const Seq samp = {0, 0, 0,  0,  1,  3, 3, 2, 2,  0,  -2, -1, 1, 2, 0,  -2, -1, 1, 3, 3,
                      1, 0, -1, -4, -5, 0, 5, 3, -2, -3, -1, 1,  3, 2, -2, -3, -1, 1, 2, -1};
    EXPECT_EQ(Copy(sampData), samp);
    EXPECT_EQ(randomState, 1211716366u);
}

TEST_F(CodingChain, SecondRunContinuesTheSequenceFromAZeroHistory) {
    // The first block ends with nonzero precoder bits; any of them carried
    // into the second block would change its precoder output and samples.
    GenerateBlock();
    GenerateBlock();
    EXPECT_EQ(ToBits(rawData), "0000100111010001001110100110111101100000");
    EXPECT_EQ(ToBits(precData), "0000111001111001101101110011100111011101");
    EXPECT_EQ(Head(sampData, 10), (std::vector<std::int32_t>{0, 0, 0, 0, 1, 4, 6, 3, -3, -5}));
}

TEST_F(CodingChain, FirstFourRawBitsOfTheFirstThreeRuns) {
    // A property of the generator, and what every launch shows.
    for (const char* expected : {"0000", "0000", "0001"}) {
        GenerateBlock();
        EXPECT_EQ(ToBits(rawData).substr(0, 4), expected);
    }
}

TEST_F(CodingChain, EveryArrayIsOverwrittenInFull) {
    for (auto* s : {&rawData, &precData, &nrziData, &sampData}) {
        for (auto& v : *s) v = 99;
    }
    GenerateBlock();
    for (auto* s : {&rawData, &precData, &nrziData, &sampData}) {
        for (auto v : *s) EXPECT_NE(v, 99);
    }
}

TEST(CodingChainPure, AllZeroRawBitsGiveAllZeroSequences) {
    const Sequence zero{};
    const Encoded e = Encode(zero);
    EXPECT_EQ(Copy(e.prec), Seq{});
    EXPECT_EQ(Copy(e.nrzi), Seq{});
    EXPECT_EQ(Copy(e.samp), Seq{});
}

TEST(CodingChainPure, SingleRawOneShowsThePrecoderFeedback) {
    // 1 / (1 + D + D^4 + D^5) fed one 1 at k = 0; the first bits worked out
    // by hand: p = 1 1 1 1 0 0 0 0 1 1 ...
    Sequence raw{};
    raw[0] = 1;
    const Encoded e = Encode(raw);
    EXPECT_EQ(ToBits(e.prec).substr(0, 10), "1111000011");
    EXPECT_EQ(ToBits(e.nrzi).substr(0, 10), "1000100010");
    EXPECT_EQ(Head(e.samp, 10), (std::vector<std::int32_t>{1, 4, 6, 4, 0, -4, -6, -4, 0, 4}));
}

TEST(CodingChainPure, ZeroHistoryAppliesAtTheStartOfEveryBlock) {
    // A lone precoder 1 at k = 0 gives the bare target: the first five
    // positions use only the bits that exist.
    Sequence prec{}, raw{};
    prec[0] = 1;
    RawFor(prec, raw);
    const Encoded e = Encode(raw);
    EXPECT_EQ(Head(e.samp, 7), (std::vector<std::int32_t>{1, 3, 2, -2, -3, -1, 0}));
    EXPECT_EQ(ToBits(e.nrzi).substr(0, 3), "110");
}

TEST(CodingChainPure, SampleExtremesComeFromExactlyTwoPrecoderWindows) {
    // Every window p[k-5 .. k] of six precoder bits, placed at the end of a
    // block: the sample lies in -6 ... +6 and reaches +6 only for 000111 and
    // -6 only for 111000 (oldest bit first).
    for (int w = 0; w < 64; ++w) {
        Sequence prec{}, raw{};
        for (int i = 0; i < 6; ++i) prec[kBits - 6 + i] = (w >> (5 - i)) & 1;
        RawFor(prec, raw);
        const Encoded e = Encode(raw);
        ASSERT_EQ(Copy(e.prec), Copy(prec));
        const std::int32_t s = e.samp[kBits - 1];
        EXPECT_GE(s, -6);
        EXPECT_LE(s, 6);
        EXPECT_EQ(s == 6, w == 0b000111) << "window " << w;
        EXPECT_EQ(s == -6, w == 0b111000) << "window " << w;
    }
}

TEST_F(CodingChain, ManyBlocksSatisfyTheChannelsIdentities) {
    // Checks each stage against a different form of it than the one it is
    // computed by, over 2000 blocks from the generator.
    for (int run = 0; run < 2000; ++run) {
        GenerateBlock();
        auto p = [&](int i) { return i >= 0 ? precData[i] : 0; };
        // (1 - D) p is +-1 exactly where the NRZI output is 1, and the
        // target is (1 + D)^4 applied to it.
        Seq d{};
        for (int k = 0; k < kBits; ++k) d[k] = p(k) - p(k - 1);
        Seq s = d;
        for (int pass = 0; pass < 4; ++pass) {
            for (int k = kBits - 1; k >= 1; --k) s[k] += s[k - 1];
        }
        for (int k = 0; k < kBits; ++k) {
            ASSERT_TRUE(rawData[k] == 0 || rawData[k] == 1);
            ASSERT_TRUE(precData[k] == 0 || precData[k] == 1);
            ASSERT_EQ(rawData[k], p(k) ^ p(k - 1) ^ p(k - 4) ^ p(k - 5)) << "run " << run;
            ASSERT_EQ(nrziData[k], d[k] != 0 ? 1 : 0) << "run " << run << " k " << k;
            ASSERT_EQ(sampData[k], s[k]) << "run " << run << " k " << k;
        }
        ASSERT_EQ(nrziData[1], rawData[1]);
        // The same chain over chosen bits gives the same result.
        const Encoded e = Encode(rawData);
        ASSERT_EQ(Copy(e.prec), Copy(precData));
        ASSERT_EQ(Copy(e.nrzi), Copy(nrziData));
        ASSERT_EQ(Copy(e.samp), Copy(sampData));
    }
}

} // namespace
} // namespace channel
