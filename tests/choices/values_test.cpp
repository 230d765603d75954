// The values a user can choose, as numbers and as text.
#include "choices/values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "choices/channel.h"

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
        const std::string error = choices::ParseSnrRange(c.text, points);
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
        const std::string error = choices::ParseSigmaList(c.text, points);
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
        if (c.error.empty()) {
            EXPECT_EQ(points, c.points) << c.text;
        }
    }
    const std::pair<std::string, std::uint64_t> counts[] = {
        {"1", 1}, {"1e7", 10000000}, {"10000000000000", choices::kMaxBits}};
    for (const auto& [text, expected] : counts) {
        std::uint64_t value = 0;
        EXPECT_EQ(choices::ParseCount(text, 1, choices::kMaxBits, value), "") << text;
        EXPECT_EQ(value, expected) << text;
    }
    for (const char* text : {"0", "1.5", "-1", "", "10000000000001", "99999999999999999999999"}) {
        std::uint64_t value = 0;
        EXPECT_NE(choices::ParseCount(text, 1, choices::kMaxBits, value), "") << text;
    }
}

TEST(Choices, NumberChecksRefuseAsTheTextParsersDo) {
    // What Python passes (the number and its repr) meets the same check as
    // what the command line and the window type: the same line for both,
    // edges included, and NaN and infinity refused.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    using Check = std::string (*)(double, const std::string&);
    using Parse = std::string (*)(const std::string&, double&);
    const struct {
        Check check;
        Parse parse;
        double value;
        const char* shown;
        const char* line; // "" when taken
    } cases[] = {
        {choices::CheckSigma, choices::ParseSigma, 0, "0", ""},
        {choices::CheckSigma, choices::ParseSigma, 100, "100", ""},
        {choices::CheckSigma, choices::ParseSigma, -1, "-1", "'-1' is negative"},
        {choices::CheckSigma, choices::ParseSigma, 100.5, "100.5",
         "'100.5' is not between 0 and 100"},
        {choices::CheckSigma, choices::ParseSigma, nan, "nan", "'nan' is not a number"},
        {choices::CheckSigma, choices::ParseSigma, inf, "inf", "'inf' is out of range"},
        {choices::CheckSnr, choices::ParseSnr, -20, "-20", ""},
        {choices::CheckSnr, choices::ParseSnr, 100, "100", ""},
        {choices::CheckSnr, choices::ParseSnr, 100.25, "100.25",
         "'100.25' is not between -20 dB and 100 dB"},
        {choices::CheckSnr, choices::ParseSnr, -inf, "-inf", "'-inf' is out of range"},
        {choices::CheckPositive, choices::ParsePositive, 0, "0", "'0' is not positive"},
        {choices::CheckJitter, choices::ParseJitter, 0.3, "0.3", ""},
        {choices::CheckJitter, choices::ParseJitter, 0.31, "0.31",
         "'0.31' is not between 0 and 0.3"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.check(c.value, c.shown), c.line) << c.shown;
        double parsed = 7;
        EXPECT_EQ(c.parse(c.shown, parsed), c.line) << c.shown;
        EXPECT_EQ(parsed, *c.line ? 7 : c.value) << c.shown; // refused: left as it was
    }
    // Whole numbers: from a double, from an integer too large for one.
    EXPECT_EQ(choices::CheckCount(1.5, 1, 10, "1.5"), "'1.5' is not a whole number");
    EXPECT_EQ(choices::CheckCount(nan, 1, 10, "nan"), "'nan' is not a whole number");
    EXPECT_EQ(choices::CheckCount(11.0, 1, 10, "11"), "'11' is out of range (1 ... 10)");
    EXPECT_EQ(choices::CheckCount(std::uint64_t{10}, 1, 10, "10"), "");
    EXPECT_EQ(choices::CheckDepth(65537, "65537"), "'65537' is out of range (0 ... 65536)");
    choices::ChannelChoice depth;
    EXPECT_EQ(choices::FindOption("--depth")->parse("-3", false, depth),
              "'-3' is out of range (0 ... 65536)");
    EXPECT_EQ(choices::FindOption("depth")->number(40, "40", depth), "");
    EXPECT_EQ(depth.chain.depth, 40);
    EXPECT_EQ(choices::CheckEqualizerTaps(14, "14"),
              "'14' is even; the equalizer has an odd number of taps");
    EXPECT_EQ(choices::CheckSize(64, 4097, "64x4097"),
              "'64x4097' has a side outside 64 ... 4096 pixels");
}

TEST(Choices, EveryChannelOptionReadsBackWhatItShows) {
    // Each row's text parser takes what its show() writes, the number
    // check of a number row agrees with it, and the ideal channel refuses
    // a head's options by name; flags and keywords find their rows.
    for (const choices::ChannelOption& row : choices::ChannelOptions()) {
        SCOPED_TRACE(row.flag);
        EXPECT_EQ(choices::FindOption(row.flag), &row);
        EXPECT_EQ(choices::FindOption(row.keyword), &row);
        EXPECT_EQ(std::string(row.flag).substr(2).find('_'), std::string::npos);
        choices::ChannelChoice c;
        const std::string shown = row.show(c);
        if (row.shape != choices::Shape::kDetectors || !shown.empty()) {
            EXPECT_EQ(row.parse(shown, false, c), "");
        }
        EXPECT_EQ(row.show(c), shown);
        const bool number =
            row.shape == choices::Shape::kNumber || row.shape == choices::Shape::kCount;
        EXPECT_EQ(row.number != nullptr, number);
        if (row.shape == choices::Shape::kName) {
            EXPECT_FALSE(row.names().empty());
        }
        choices::Given(row, c);
        const choices::Refusal r = choices::CheckChannel(c);
        EXPECT_EQ(r.option, row.headOnly ? row.flag : "");
    }
    choices::ChannelChoice c;
    ASSERT_EQ(choices::FindOption("--noise-stream")->parse("lanes", false, c), "");
    EXPECT_EQ(c.chain.noise, engine::ChainSettings::Noise::kLanes);
    ASSERT_EQ(choices::FindOption("adc_bits")->number(6, "6", c), "");
    EXPECT_EQ(c.chain.adcBits, 6);
    ASSERT_EQ(choices::FindOption("--target")->parse("1,0.8,-0.3", false, c), "");
    EXPECT_EQ(choices::CheckChannel(c).line,
              "the converter puts the levels on its codes, which needs an integer target; "
              "1,0.8,-0.3 is not");
    // A list with a bad coefficient is one list, not several targets.
    std::vector<choices::TargetChoice> targets;
    EXPECT_EQ(choices::ParseTargets("1,nan", true, targets), "'1,nan': 'nan' is not a number");
    EXPECT_EQ(choices::ParseTargets("e2pr4,gpr5", true, targets), "");
    EXPECT_EQ(targets.size(), 2u);
}

} // namespace
