// The timing model's rows: a value taken turns the timing on, a bad one is
// refused with one line and changes nothing, and the CSV gains its columns
// only with the timing modelled.
#include <gtest/gtest.h>

#include "choices/ber_table.h"
#include "choices/channel.h"

namespace {

TEST(TimingOptions, TakenOrRefusedWithOneLine) {
    const struct {
        const char* flag;
        const char* text;
        const char* refusal; // empty: taken
    } cases[] = {
        {"--phase", "0.4", ""},
        {"--phase", "-1.5", "'-1.5' is not between -1 and 1"},
        {"--freq-offset", "200", ""},
        {"--freq-offset", "2e4", "'2e4' is not between -10000 and 10000"},
        {"--phase-walk", "-0.001", "'-0.001' is not between 0 and 0.02"},
        {"--preamble", "16", "'16' is out of range (32 ... 4096)"},
        {"--preamble", "64", ""},
        {"--loop-bandwidth", "0", "'0' is not between 1e-05 and 0.1"},
        {"--loop-damping", "nan", "'nan' is not a number"},
        {"--loop-order", "3", "'3' is out of range (1 ... 2)"},
    };
    for (const auto& c : cases) {
        choices::ChannelChoice choice;
        const choices::ChannelOption* row = choices::FindOption(c.flag);
        ASSERT_NE(row, nullptr) << c.flag;
        EXPECT_FALSE(choices::InWindow(*row)) << c.flag;
        const std::string error = row->parse(c.text, false, choice);
        EXPECT_EQ(error, c.refusal) << c.flag << " " << c.text;
        EXPECT_EQ(choice.chain.timing.on, error.empty()) << c.flag << " " << c.text;
        if (error.empty()) {
            EXPECT_EQ(row->show(choice), c.text) << c.flag;
        }
    }
}

TEST(TimingOptions, CsvColumnsOnlyWithTiming) {
    choices::ChannelChoice choice;
    std::vector<std::string> names = choices::BerColumnsOf(choice).Names();
    EXPECT_EQ(names.back(), "union_bound");
    ASSERT_EQ(choices::FindOption("--phase")->parse("0", false, choice), "");
    names = choices::BerColumnsOf(choice).Names();
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(names[names.size() - 3], "union_bound");
    EXPECT_EQ(names[names.size() - 2], "slips");
    EXPECT_EQ(names.back(), "rms_phase");
}

} // namespace
