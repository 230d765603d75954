// The window's blocks through the chain: longer blocks, the same block again
// at another SNR, and fresh noise on the same bits.
#include "engine/window_blocks.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

engine::BlockSettings At(double sigma, int bits = channel::kBits) {
    engine::BlockSettings s;
    s.sigma = sigma;
    s.seed = 9;
    s.bits = bits;
    return s;
}

TEST(WindowBlocks, LongerBlocksTakeTheWindowsDrawsInOrder) {
    engine::WindowBlocks short_(At(0)), long_(At(0, 120));
    const engine::BlockResult& l = long_.Next();
    ASSERT_EQ(l.frame.raw.size(), 120u);
    ASSERT_EQ(l.frame.received.size(), 125u);
    for (int run = 0; run < 3; ++run) {
        const engine::BlockResult& s = short_.Next();
        for (int k = 0; k < channel::kBits; ++k)
            ASSERT_EQ(l.frame.raw[40 * run + k], s.frame.raw[k]) << run << " " << k;
    }
    EXPECT_EQ(l.errors, (std::vector<int>{0, 0}));
}

TEST(WindowBlocks, AgainScalesTheSameNoiseAndRenoiseDrawsNew) {
    engine::WindowBlocks a(At(0.2)), b(At(0.5));
    a.Next();
    b.Next();
    const std::vector<float> noisy = a.Next().frame.received;
    const engine::BlockResult& again = a.Again(0.5);
    EXPECT_EQ(again.run, 2u);
    const engine::BlockResult& other = b.Next();
    EXPECT_EQ(again.frame.received, other.frame.received);
    for (std::size_t k = 0; k < noisy.size(); ++k)
        EXPECT_NEAR(again.frame.received[k] - again.frame.clean[k],
                    2.5 * (noisy[k] - again.frame.clean[k]), 1e-5)
            << k;
    // From here on both go the same way, as if made at 0.5 from the start.
    EXPECT_EQ(a.Next().frame.received, b.Next().frame.received);

    const std::vector<std::uint8_t> bits = a.Next().frame.raw;
    const std::vector<float> first = a.Again(0.5).frame.received;
    const engine::BlockResult& fresh = a.Renoise();
    EXPECT_EQ(fresh.run, 4u);
    EXPECT_EQ(fresh.frame.raw, bits);
    EXPECT_NE(fresh.frame.received, first);
    EXPECT_EQ(a.Again(0.5).frame.received, fresh.frame.received); // the fresh noise is kept
}

TEST(WindowBlocks, ACodedBlockIsTheWindowsUserBitsInWordsDecidedOnTheCodesTrellis) {
    // Whole words of the 40 draws coded, decided on the code's trellis, decoded back.
    using C = channel::ConstraintKind;
    const struct {
        C code;
        bool head;
        std::size_t user, coded, maxRun; // transitions in a row allowed (0: any)
        double noisy;                    // where the detectors err now and then
    } cases[] = {{C::kMtr45, false, 40, 50, 2, 1.2},
                 {C::kMtr45, true, 40, 50, 2, 0.2},
                 {C::kTvmtr89, true, 40, 45, 3, 0.2},
                 {C::kRll1617, false, 32, 34, 0, 1.2}};
    for (const auto& c : cases)
        for (const double sigma : {0.0, c.noisy}) {
            engine::BlockSettings s = At(sigma);
            s.chain.constraint = c.code;
            if (c.head) s.chain.head = channel::HeadKind::kLorentz;
            engine::WindowBlocks coded(s), plain(At(0));
            int wrong = 0;
            for (int run = 1; run <= 6; ++run) {
                const engine::BlockResult& b = coded.Next();
                ASSERT_TRUE(b.user.size() == c.user && b.frame.raw.size() == c.coded &&
                            b.decided.size() == (c.head ? 2u : 1u)); // no slicer
                EXPECT_TRUE(
                    std::equal(b.user.begin(), b.user.end(), plain.Next().frame.raw.begin()));
                EXPECT_TRUE(coded.Code().Obeys(b.frame.raw.data(), static_cast<int>(c.coded)));
                for (std::size_t d = 0; d < b.decided.size(); ++d) {
                    const std::string bits(b.decided[d].begin(), b.decided[d].end());
                    EXPECT_TRUE(c.maxRun == 0 ||
                                bits.find(std::string(c.maxRun + 1, 1)) == std::string::npos);
                    EXPECT_TRUE(sigma > 0 || b.decoded[d] == b.user);
                    EXPECT_TRUE(b.errors[d] > 0 || b.userErrors[d] == 0);
                    wrong += b.userErrors[d];
                }
            }
            EXPECT_EQ(wrong > 0, sigma > 0) << static_cast<int>(c.code) << " " << c.head;
        }
}

} // namespace
