#include "channel/events.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace channel {
namespace {

std::string Line(const ErrorEvent& ev) {
    return std::to_string(ev.d2) + "," + EventText(ev) + "," + std::to_string(ev.rawBitErrors);
}

TEST(ErrorEvents, FirstLinesAndTheirRawBitErrors) {
    // Worked by hand: +-+ through the target gives 1 2 0 -1 1 0 -2 -1 (d2 12)
    // and |e| through 1 + D + D^4 + D^5 gives ones at 0, 3, 4, 7. The two
    // d2 = 16 events are two copies of it five and six bits apart; +-+-+
    // gives 1 2 0 -2 -1 1 2 0 -2 -1 and raw errors at 0, 4, 5, 9.
    const auto events = FindErrorEvents(20, 12);
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(Line(events[0]), "12,+-+,4");
    EXPECT_EQ(Line(events[1]), "16,+-+00+-+,8");
    EXPECT_EQ(Line(events[2]), "16,+-+000+-+,8");
    EXPECT_EQ(Line(events[3]), "20,+-+-+,4");
    EXPECT_EQ(FindErrorEvents(12, 20).size(), 1u);
}

TEST(ErrorEvents, SingleBitErrorCostsTheTargetEnergy) {
    // d2 = 1 + 9 + 4 + 4 + 9 + 1, and the inverse precoder's four taps.
    const auto events = FindErrorEvents(28, 1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(Line(events[0]), "28,+,4");
    EXPECT_TRUE(FindErrorEvents(27, 1).empty());
}

TEST(ErrorEvents, OrderedAndWithinTheLimitsAtEveryCap) {
    const std::string alternating = "+-+-+-+-+-+-+-+-+-+-";
    for (int maxLen : {8, 9, 13}) {
        const auto events = FindErrorEvents(22, maxLen);
        EXPECT_TRUE(std::is_sorted(events.begin(), events.end(), [](auto& a, auto& b) {
            return std::make_tuple(a.d2, a.e.size(), a.e) < std::make_tuple(b.d2, b.e.size(), b.e);
        }));
        int alternatingFound = 0;
        for (const auto& ev : events) {
            const std::string text = EventText(ev);
            EXPECT_TRUE(ev.d2 <= 22 && text.size() <= std::size_t(maxLen)) << text;
            EXPECT_TRUE(text.front() == '+' && text.back() != '0') << text;
            EXPECT_EQ(text.find("00000"), std::string::npos) << text;
            alternatingFound += ev.d2 == 20 && text == alternating.substr(0, text.size());
        }
        // The alternating events of every length 5 ... cap, all at d2 20.
        EXPECT_EQ(alternatingFound, maxLen - 4) << maxLen;
    }
}

TEST(ErrorRates, ClosedForms) {
    EXPECT_DOUBLE_EQ(QFunction(0.0), 0.5);
    EXPECT_NEAR(QFunction(1.0), 0.15865525393145705, 1e-15);
    EXPECT_NEAR(QFunction(3.0) / 1.3498980316300946e-3, 1.0, 1e-12);
    // At sigma 0.1 only neighbours matter: 62 of 64 patterns give interior
    // levels (two neighbours), the two edges one each, all at Q(0.5 / 0.1).
    EXPECT_NEAR(SlicerBer(0.1) / ((62.0 * 2 + 2) / 64 * QFunction(5.0)), 1.0, 1e-9);
    // +-+ alone: 2 * 2^-3 * 4 raw bits * Q(sqrt(12) / (2 sigma)).
    const auto first = FindErrorEvents(12, 3);
    EXPECT_NEAR(UnionBound(first, 0.5) / QFunction(std::sqrt(3.0) / 0.5), 1.0, 1e-12);
    EXPECT_TRUE(SlicerBer(0.0) == 0.0 && UnionBound(first, 0.0) == 0.0);
}

} // namespace
} // namespace channel
