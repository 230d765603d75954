#include "channel/events.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "channel/bounds.h"

namespace channel {
namespace {

Target Named(const char* text) {
    Target t;
    EXPECT_EQ(Target::Parse(text, t), "") << text;
    return t;
}

std::string Line(const ErrorEvent& ev) {
    return DistanceText(ev.d2) + "," + EventText(ev) + "," + std::to_string(ev.rawBitErrors);
}

TEST(ErrorEvents, NearestEventsOfEveryNamedTarget) {
    // Worked by hand. E3PR4: +-+ through the target gives 1 2 0 -1 1 0 -2 -1
    // (d2 12) and |e| through 1 + D + D^4 + D^5 gives ones at 0, 3, 4, 7; the
    // d2 = 16 events are two copies of it five and six bits apart. PR4: "+"
    // gives 1 0 -1 and "+0+" 1 0 0 0 -1, two raw errors each through 1 + D^2.
    // EPR4: "+" gives 1 1 -1 -1, "+-+" 1 0 -1 1 0 -1, "+0+" 1 1 0 0 -1 -1 (all
    // d2 4, four raw errors through 1 + D + D^2 + D^3) and "+-" 1 0 -2 0 1
    // (d2 6, |e| (1 + D)(1 + D + D^2 + D^3) = 1 + D^4). E2PR4: "+-+" gives
    // 1 1 -1 0 1 -1 -1 (d2 6) and 1 + D^4 doubles its three ones; "+" has d2 10.
    const struct {
        const char* target;
        double d2min;
        std::vector<std::string> first; // the events of d2 <= 1.5 d2min, length <= 3
    } cases[] = {
        {"pr4", 2, {"2,+,2", "2,+0+,2"}},
        {"epr4", 4, {"4,+,4", "4,+-+,4", "4,+0+,4", "6,+-,2"}},
        {"e2pr4", 6, {"6,+-+,6"}},
        {"e3pr4", 12, {"12,+-+,4"}},
    };
    for (const auto& c : cases) {
        const Target t = Named(c.target);
        EXPECT_EQ(t.D2Min(), c.d2min) << c.target;
        std::vector<std::string> lines;
        for (const ErrorEvent& ev : FindErrorEvents(t, 1.5 * c.d2min, 3)) lines.push_back(Line(ev));
        EXPECT_EQ(lines, c.first) << c.target;
    }
    const auto events = FindErrorEvents(Named("e3pr4"), 20, 12);
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(Line(events[1]), "16,+-+00+-+,8");
    EXPECT_EQ(Line(events[2]), "16,+-+000+-+,8");
    EXPECT_EQ(Line(events[3]), "20,+-+-+,4");
}

TEST(ErrorEvents, SingleBitErrorCostsTheTargetEnergy) {
    // d2 = the sum of f^2; the raw errors are the precoder's taps and f_0, or
    // the one bit itself without a precoder.
    const struct {
        const char* target;
        std::string line;
    } cases[] = {{"e3pr4", "28,+,4"},
                 {"1,2,1", "6,+,2"},
                 {"2,1", "5,+,1"},
                 {"1,0.8,-0.3", "1.73,+,1"},
                 {"1,1,0,-1,-1,1,-1", "6,+,6"}};
    for (const auto& c : cases) {
        const Target t = Named(c.target);
        const auto events = FindErrorEvents(t, t.Energy(), 1);
        ASSERT_EQ(events.size(), 1u) << c.target;
        EXPECT_EQ(Line(events[0]), c.line);
        EXPECT_TRUE(FindErrorEvents(t, t.Energy() * 0.999, 1).empty()) << c.target;
    }
}

TEST(ErrorEvents, OrderedAndWithinTheLimitsAtEveryCap) {
    const std::string alternating = "+-+-+-+-+-+-+-+-+-+-";
    for (int maxLen : {8, 9, 13}) {
        const auto events = FindErrorEvents(Target(), 22, maxLen);
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
    // Real targets: on 1,0.8,-0.3 no event comes closer than the single
    // error; on 1,1.5,0.9 "+-" gives 1 0.5 -0.6 -0.9, d2 2.42 against 4.06,
    // and the alternating events add f(-1)^2 = 0.16 a bit.
    const Target near = Named("1,0.8,-0.3"), far = Named("1,1.5,0.9");
    EXPECT_DOUBLE_EQ(near.D2Min(), near.Energy());
    EXPECT_NEAR(far.D2Min(), 2.42, 1e-12);
    std::vector<std::string> lines;
    for (const ErrorEvent& ev : FindErrorEvents(far, 2.8, 5)) lines.push_back(Line(ev));
    EXPECT_EQ(lines, (std::vector<std::string>{"2.42,+-,2", "2.58,+-+,3", "2.74,+-+-,4"}));
}

TEST(ErrorRates, ClosedForms) {
    EXPECT_DOUBLE_EQ(QFunction(0.0), 0.5);
    EXPECT_NEAR(QFunction(1.0), 0.15865525393145705, 1e-15);
    EXPECT_NEAR(QFunction(3.0) / 1.3498980316300946e-3, 1.0, 1e-12);
    // At sigma 0.1 only neighbours matter. E3PR4: 62 of 64 patterns give
    // interior levels (two neighbours), the two edges one each; PR4: levels
    // -1, 0, 1 with weights 1/4, 1/2, 1/4, all at Q(0.5 / 0.1).
    EXPECT_NEAR(SlicerBer(Target(), 0.1) / ((62.0 * 2 + 2) / 64 * QFunction(5.0)), 1.0, 1e-9);
    EXPECT_NEAR(SlicerBer(Named("pr4"), 0.1) / (1.5 * QFunction(5.0)), 1.0, 1e-9);
    // 1,3 has levels 0, 1, 3, 4, equally likely: 1 and 3 are two apart, so
    // each level has one neighbour of the other parity at Q(5).
    EXPECT_NEAR(SlicerBer(Named("1,3"), 0.1) / QFunction(5.0), 1.0, 1e-9);
    // +-+ alone: 2 * 2^-3 * 4 raw bits * Q(sqrt(12) / (2 sigma)).
    const auto first = FindErrorEvents(Target(), 12, 3);
    EXPECT_NEAR(UnionBound(first, 0.5) / QFunction(std::sqrt(3.0) / 0.5), 1.0, 1e-12);
    EXPECT_TRUE(SlicerBer(Target(), 0.0) == 0.0 && UnionBound(first, 0.0) == 0.0);
    EXPECT_NEAR(SnrDb(28, 0.5), 20.4921802267018, 1e-12);
    EXPECT_NEAR(SigmaOfSnr(6, SnrDb(6, 0.37)), 0.37, 1e-15);
}

TEST(ErrorEvents, AnyDifferenceIsNormalisedAndMeasuredAsTheListHasIt) {
    // Every listed event, negated or padded with zeros, comes back as its
    // entry: the same sequence, d2 bit for bit, the same raw-bit errors.
    for (const char* name : {"pr4", "epr4", "e2pr4", "e3pr4", "1,0.8,-0.3"}) {
        const Target t = Named(name);
        for (const ErrorEvent& ev : FindErrorEvents(t, 2 * t.D2Min(), 12)) {
            std::vector<std::int8_t> negated = {0, 0};
            for (auto x : ev.e) negated.push_back(static_cast<std::int8_t>(-x));
            negated.push_back(0);
            for (const auto& e : {ev.e, negated}) {
                const ErrorEvent made = MakeErrorEvent(t, e);
                ASSERT_EQ(made.e, ev.e) << name << " " << EventText(ev);
                ASSERT_EQ(made.d2, ev.d2) << name << " " << EventText(ev);
                ASSERT_EQ(made.rawBitErrors, ev.rawBitErrors) << name << " " << EventText(ev);
            }
        }
    }
    // Beyond any list: + - - + on E3PR4 convolves to 1 2 -2 -6 0 6 2 -2 -1,
    // 90 in squares; its raw-bit errors are the ones of 1111 times
    // 1 + D + D^4 + D^5 over GF(2), 1 0 0 0 0 0 0 0 1: two.
    const ErrorEvent far = MakeErrorEvent(Target(), {0, -1, 1, 1, -1, 0});
    EXPECT_EQ(EventText(far), "+--+");
    EXPECT_EQ(far.d2, 90);
    EXPECT_EQ(far.rawBitErrors, 2);
}

} // namespace
} // namespace channel
