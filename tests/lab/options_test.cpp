// The lab's value parsers, without the program.
#include "lab/options.h"

#include <gtest/gtest.h>

namespace {

TEST(LabValues, CountsSigmasAndSnrRanges) {
    struct Case {
        std::string text;
        std::vector<double> points; // empty: must be refused with `error` in the line
        std::string error;
    };
    const Case snr[] = {
        {"10:12:0.5", {10, 10.5, 11, 11.5, 12}, ""},
        {"0:1:0.1", {0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1}, ""},
        // 0.3 / 0.1 is 2.9999999999999996 in double: the last point misses TO
        // only by rounding and still counts.
        {"0:0.3:0.1", {0, 0.1, 0.2, 0.3}, ""},
        {"-5:-5:1", {-5}, ""},
        {"3:2:1", {}, "reversed"},
        {"2:3:0", {}, "not positive"},
        {"2:3:-1", {}, "not positive"},
        {"", {}, "not a number"},
        {"25", {25}, ""},
        {"2:3", {}, "FROM:TO:STEP"},
        {"2::1", {}, "not a number"},
        {"nan:3:1", {}, "not a number"},
        {"0:100:0.01", {}, "more than 1000 points"},
        {"-30:0:1", {}, "not between -20 dB and 100 dB"},
    };
    for (const Case& c : snr) {
        std::vector<double> points;
        const std::string error = lab::ParseSnrRange(c.text, points);
        EXPECT_EQ(error.empty(), c.error.empty()) << c.text << ": " << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
        if (error.empty()) {
            ASSERT_EQ(points.size(), c.points.size()) << c.text;
        }
        for (std::size_t i = 0; error.empty() && i < points.size(); ++i)
            EXPECT_NEAR(points[i], c.points[i], 1e-12) << c.text;
    }
    const Case sigmas[] = {{"0.5", {0.5}, ""},         {"0,1e-1,100", {0, 0.1, 100}, ""},
                           {"-0.1", {}, "negative"},   {"nan", {}, "not a number"},
                           {"inf", {}, "range"},       {"0.5,", {}, "not a number"},
                           {"1x", {}, "not a number"}, {"100.5", {}, "not between 0 and 100"}};
    for (const Case& c : sigmas) {
        std::vector<double> points;
        const std::string error = lab::ParseSigmaList(c.text, points);
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
        if (c.error.empty()) {
            EXPECT_EQ(points, c.points) << c.text;
        }
    }
    const std::pair<std::string, std::uint64_t> counts[] = {
        {"1", 1}, {"1e7", 10000000}, {"10000000000000", lab::kMaxBits}};
    for (const auto& [text, expected] : counts) {
        std::uint64_t value = 0;
        EXPECT_EQ(lab::ParseCount(text, 1, lab::kMaxBits, value), "") << text;
        EXPECT_EQ(value, expected) << text;
    }
    for (const char* text : {"0", "1.5", "-1", "", "10000000000001", "99999999999999999999999"}) {
        std::uint64_t value = 0;
        EXPECT_NE(lab::ParseCount(text, 1, lab::kMaxBits, value), "") << text;
    }
}

} // namespace
