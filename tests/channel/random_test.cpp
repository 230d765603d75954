#include "channel/random.h"

#include <gtest/gtest.h>

#include "channel/coding.h"
#include "seq.h"

namespace channel {
namespace {

// The state the program's start-up leaves: seeded with 1, one draw spent.
constexpr std::uint32_t kStateAfterStartup = 22695478u;

TEST(RandomSource, OneStepIsTheFixedLinearCongruence) {
    EXPECT_EQ(AdvanceRandomState(1u), kStateAfterStartup);
    EXPECT_EQ(AdvanceRandomState(0u), 1u);
    // Modulo 2^32: the product wraps, it is not reduced any other way.
    EXPECT_EQ(AdvanceRandomState(0xFFFFFFFFu), 4272271820u);
    EXPECT_EQ(AdvanceRandomState(kStateAfterStartup),
              static_cast<std::uint32_t>((22695478ull * 22695477ull + 1ull) % (1ull << 32)));
}

TEST(RandomSource, DrawIsBits16To30OfTheNewState) {
    EXPECT_EQ(RandomValueOf(0x0000FFFFu), 0);      // low half ignored
    EXPECT_EQ(RandomValueOf(0x00010000u), 1);      // bit 16 is bit 0 of the draw
    EXPECT_EQ(RandomValueOf(0x80000000u), 0);      // bit 31 dropped
    EXPECT_EQ(RandomValueOf(0x7FFF0000u), 0x7FFF); // bits 16 ... 30 kept
    EXPECT_EQ(RandomValueOf(0xFFFFFFFFu), kRandomMax);
}

TEST(RandomSource, SeedSetsTheStateThenSpendsOneDraw) {
    for (std::uint32_t seed : {0u, 1u, 12345u, 0xFFFFFFFFu}) {
        SeedRandom(seed);
        EXPECT_EQ(randomState, AdvanceRandomState(seed)) << "seed " << seed;
    }
    SeedRandom(1);
    EXPECT_EQ(randomState, kStateAfterStartup);
}

TEST(RandomSource, NextRandomAdvancesTheProgramWideState) {
    SeedRandom(1);
    std::uint32_t expected = kStateAfterStartup;
    for (int i = 0; i < 1000; ++i) {
        expected = AdvanceRandomState(expected);
        const std::int32_t r = NextRandom();
        ASSERT_EQ(randomState, expected);
        ASSERT_EQ(r, RandomValueOf(expected));
        ASSERT_GE(r, 0);
        ASSERT_LE(r, kRandomMax);
    }
}

TEST(RandomSource, EveryBlockSpendsExactlyFortyDraws) {
    SeedRandom(1);
    std::uint32_t expected = kStateAfterStartup;
    for (int run = 1; run <= 5; ++run) {
        GenerateBlock();
        for (int i = 0; i < kBits; ++i) expected = AdvanceRandomState(expected);
        EXPECT_EQ(randomState, expected) << "after run " << run;
    }
}

TEST(RandomSource, ReseedingRepeatsTheSameBlocks) {
    // A new launch seeds with 1 again and must show the same blocks.
    std::array<test::Seq, 3> first{};
    SeedRandom(1);
    for (auto& block : first) {
        GenerateBlock();
        block = test::Copy(rawData);
    }
    SeedRandom(1);
    for (const auto& block : first) {
        GenerateBlock();
        EXPECT_EQ(test::Copy(rawData), block);
    }
}

} // namespace
} // namespace channel
