#include "channel/constraint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "channel/constrained_events.h"

namespace channel {
namespace {

TEST(Constraint, EveryCodeWordsRunsAndCapacity) {
    // Words counted over the end rules; MTR(2) alone: log2 of the tribonacci constant.
    const struct {
        ConstraintKind kind;
        bool exists;
        int candidates, j, k;
        double capacity;
    } cases[] = {
        {ConstraintKind::kMtr45, true, 16, 2, 8, 0.875973},
        {ConstraintKind::kMtr67, false, 57, 0, 0, 1},
        {ConstraintKind::kTvmtr89, true, 258, 3, 11, 0.92},
        {ConstraintKind::kRll1617, true, 83665, 0, 4, 0.975225},
    };
    for (const auto& c : cases) {
        const ConstraintCode& code = ConstraintCode::Of(c.kind);
        const char* name = code.row().name;
        EXPECT_EQ(code.Exists(), c.exists) << name;
        EXPECT_EQ(code.Candidates(), c.candidates) << name;
        if (!c.exists) continue;
        EXPECT_EQ(code.Words().size(), std::size_t{1} << code.UserBits()) << name;
        EXPECT_EQ(code.J(), c.j) << name;
        EXPECT_EQ(code.K(), c.k) << name;
        EXPECT_NEAR(code.Capacity(), c.capacity, c.kind == ConstraintKind::kTvmtr89 ? 0.01 : 1e-4)
            << name;
        EXPECT_LT(code.Rate(), code.Capacity()) << name;
    }
    EXPECT_NEAR(ConstraintCapacity(ConstraintOf(ConstraintKind::kMtr45), 0),
                std::log2(1.8392867552141612), 1e-12);
    EXPECT_EQ(ConstraintCode::Of(ConstraintKind::kMtr67).WhyNot(),
              "mtr2-6/7: no rate 6/7 block code keeps its constraint: only 57 7-bit words join "
              "freely, 64 are needed");
}

TEST(Constraint, RoundTripAndEveryStreamObeysItsRunsAcrossJunctions) {
    std::mt19937 random(7);
    for (const ConstraintRow& row : Constraints()) {
        const ConstraintCode& code = ConstraintCode::Of(row.kind);
        if (!code.Exists()) continue;
        const int words = 3000;
        std::vector<std::uint8_t> user(static_cast<std::size_t>(words * code.UserBits()));
        for (auto& b : user) b = static_cast<std::uint8_t>(random() & 1u);
        std::vector<std::uint8_t> coded(static_cast<std::size_t>(words * code.CodeBits()));
        std::vector<std::uint8_t> back(user.size());
        code.Encode(user.data(), words, coded.data());
        code.Decode(coded.data(), words, back.data());
        EXPECT_EQ(back, user) << row.name;
        EXPECT_TRUE(code.Obeys(coded.data(), static_cast<int>(coded.size()))) << row.name;
        int ones = 0, zeros = 0, longestOnes = 0, longestZeros = 0;
        for (auto b : coded) {
            ones = b ? ones + 1 : 0;
            zeros = b ? 0 : zeros + 1;
            longestOnes = std::max(longestOnes, ones);
            longestZeros = std::max(longestZeros, zeros);
        }
        if (code.J() > 0) {
            EXPECT_EQ(longestOnes, code.J()) << row.name;
        }
        if (!code.IsNone()) {
            EXPECT_LE(longestZeros, code.K()) << row.name;
        }
    }
    // The tribit, four in a row, three from an even position, nine zeros.
    const struct {
        ConstraintKind kind;
        std::vector<std::uint8_t> c;
        bool obeys;
    } streams[] = {
        {ConstraintKind::kMtr45, {0, 1, 1, 0, 1}, true},
        {ConstraintKind::kMtr45, {0, 1, 1, 1, 0}, false},
        {ConstraintKind::kMtr45, {1, 0, 0, 0, 0, 0, 0, 0, 0, 1}, true},
        {ConstraintKind::kMtr45, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false},
        {ConstraintKind::kTvmtr89, {0, 1, 1, 1, 0, 0, 0, 0, 1}, true},
        {ConstraintKind::kTvmtr89, {0, 0, 1, 1, 1, 0, 0, 0, 1}, false},
        {ConstraintKind::kTvmtr89, {0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0}, true},
        {ConstraintKind::kTvmtr89, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0}, false},
        {ConstraintKind::kTvmtr89, {0, 1, 1, 1, 1, 0, 0, 0, 1}, false},
    };
    for (const auto& s : streams)
        EXPECT_EQ(ConstraintCode::Of(s.kind).Obeys(s.c.data(), static_cast<int>(s.c.size())),
                  s.obeys);
}

// d2min over every pair of allowed precoder sequences of `len` bits, any phase.
double BruteD2Min(const Target& t, const ConstraintRow& row, int len) {
    const std::vector<double>& f = t.Coefficients();
    const int period = row.oddStart ? row.codeBits : 1;
    double best = 1e9;
    for (int start = 0; start < period; ++start) {
        std::vector<int> ok;
        for (int p = 0; p < (1 << len); ++p) {
            bool keeps = true;
            int run = 0, prev = 0;
            for (int i = 0; i <= len && keeps; ++i) {
                const int bit = i < len ? (p >> i) & 1 : 0;
                run = (bit ^ prev) ? run + 1 : 0;
                prev = bit;
                if (run > 0 && !RunAllowed(row, (start + i) % row.codeBits, run)) keeps = false;
            }
            if (keeps) ok.push_back(p);
        }
        for (int a : ok)
            for (int b : ok) {
                if (a >= b) continue;
                double d2 = 0;
                for (int j = 0; j < len + t.Memory(); ++j) {
                    double v = 0;
                    for (int m = 0; m <= t.Memory(); ++m) {
                        const int i = j - m;
                        if (i >= 0 && i < len)
                            v += f[std::size_t(m)] * (((a >> i) & 1) - ((b >> i) & 1));
                    }
                    d2 += v * v;
                }
                best = std::min(best, d2);
            }
    }
    return best;
}

TEST(Constraint, ConstrainedDistanceAgreesWithBruteForceAndDropsTheTribit) {
    const struct {
        const char* target;
        ConstraintKind kind;
        double unconstrained, constrained;
    } cases[] = {
        {"e2pr4", ConstraintKind::kMtr45, 6, 10},
        {"e2pr4", ConstraintKind::kTvmtr89, 6, 10},
        {"e3pr4", ConstraintKind::kMtr45, 12, 28},
        {"epr4", ConstraintKind::kMtr45, 4, 4},
    };
    for (const auto& c : cases) {
        Target t;
        ASSERT_EQ(Target::Parse(c.target, t), "");
        const Target nrzi = t.WithNrzi();
        const ConstraintRow& row = ConstraintOf(c.kind);
        EXPECT_EQ(MinimumDistance(nrzi, kMinDistanceMaxLen), c.unconstrained) << c.target;
        EXPECT_EQ(ConstrainedMinimumDistance(nrzi, row, kMinDistanceMaxLen), c.constrained)
            << c.target << " " << row.name;
        EXPECT_EQ(BruteD2Min(nrzi, row, 9), c.constrained) << c.target << " " << row.name;
        for (const ErrorEvent& ev : FindConstrainedEvents(nrzi, row, 2 * c.constrained, 8))
            EXPECT_NE(EventText(ev), "+-+") << c.target << " " << row.name;
    }
}

} // namespace
} // namespace channel
