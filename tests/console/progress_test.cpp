// The progress line's text: counts, share, rate and time left.
#include "console/progress.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgressText, RateAndTimeLeft) {
    struct Case {
        std::uint64_t done, total;
        double seconds;
        const char *detail, *text;
    } const cases[] = {
        {0, 10, 0.5, "", "0/10 runs, 0%"},
        {10, 700, 1.0, "", "10/700 runs, 1% | 10 runs/s | 1:09 left"},
        {1, 3601, 1.0, "", "1/3601 runs, 0% | 1 runs/s | 1:00:00 left"},
        {1000, 1000, 4.0, "last", "1000/1000 runs, 100% | 250 runs/s | last"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(console::ProgressText("runs", c.done, c.total, c.seconds, c.detail), c.text);
}

} // namespace
