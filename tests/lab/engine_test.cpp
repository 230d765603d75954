// The error-rate engine and the lab's value parsers, without the program.
#include "lab/ber_engine.h"
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
        {"-5:-5:1", {-5}, ""},
        {"3:2:1", {}, "reversed"},
        {"2:3:0", {}, "not positive"},
        {"2:3:-1", {}, "not positive"},
        {"", {}, "FROM:TO:STEP"},
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
    EXPECT_NEAR(lab::SnrDb(0.5), 20.4921802267018, 1e-12);
    EXPECT_NEAR(lab::SigmaOfSnr(lab::SnrDb(0.37)), 0.37, 1e-15);
}

lab::ErrorCounts Point(lab::BerSettings settings, int threads, double sigma) {
    std::atomic<bool> stop{false};
    lab::ErrorCounts counts;
    settings.threads = threads;
    EXPECT_TRUE(lab::RunPoint(settings, 3, sigma, stop, counts));
    return counts;
}

TEST(LabEngine, SameCountsForAnyThreadCount) {
    struct Case {
        std::uint64_t bits, errors;
        int frame;
        double sigma;
    };
    // Stopped by errors inside a chunk sequence, by bits with a short last
    // chunk, and with frames longer than a chunk.
    const Case cases[] = {{50'000'000, 300, 4096, 0.55},
                          {1'000'000, 1'000'000, 40, 0.45},
                          {300'000, 1'000'000, 100'000, 0.5}};
    for (const Case& c : cases) {
        lab::BerSettings settings;
        settings.bits = c.bits;
        settings.errors = c.errors;
        settings.frame = c.frame;
        const lab::ErrorCounts one = Point(settings, 1, c.sigma);
        for (int threads : {2, 3, 8}) {
            const lab::ErrorCounts many = Point(settings, threads, c.sigma);
            EXPECT_EQ(many.bits, one.bits) << threads;
            EXPECT_EQ(many.slicerErrors, one.slicerErrors) << threads;
            EXPECT_EQ(many.viterbiErrors, one.viterbiErrors) << threads;
        }
        if (c.errors < c.bits) {
            EXPECT_GE(one.viterbiErrors, c.errors);
            EXPECT_LT(one.bits, c.bits);
        } else {
            // The bit limit rounded up to whole frames, no chunk more.
            EXPECT_EQ(one.bits, (c.bits + c.frame - 1) / c.frame * c.frame);
        }
        EXPECT_GT(one.slicerErrors, one.viterbiErrors);
    }
}

TEST(LabEngine, NoNoiseNoErrorsAndAStopIsReported) {
    lab::BerSettings settings;
    settings.bits = 2'000'000;
    settings.frame = 999;
    const lab::ErrorCounts clean = Point(settings, 2, 0.0);
    EXPECT_EQ(clean.bits, 2'000'997u);
    EXPECT_EQ(clean.slicerErrors + clean.viterbiErrors, 0u);

    std::atomic<bool> stop{true};
    lab::ErrorCounts counts;
    EXPECT_FALSE(lab::RunPoint(settings, 0, 0.5, stop, counts));
    EXPECT_EQ(counts.bits, 0u);
}

} // namespace
