// The constraint code's row: refusals, the frame in whole words, the columns.
#include <gtest/gtest.h>

#include <algorithm>

#include "choices/ber_table.h"
#include "choices/channel.h"

namespace {

TEST(ConstraintOption, TakenOrRefusedAndItsColumns) {
    const struct {
        const char* text;
        const char* detector; // named besides, or null
        const char* refusal;  // empty: taken and checked
        int frame;            // the coded frame of 4096 user bits asked for
    } cases[] = {
        {"mtr2-4/5", nullptr, "", 5120},
        {"tvmtr-8/9", "npml", "", 4608},
        {"rll-16/17", nullptr, "", 4352},
        {"mtr3", nullptr, "'mtr3' is none of none, mtr2-4/5, mtr2-6/7, tvmtr-8/9, rll-16/17", 0},
        {"mtr2-6/7", nullptr,
         "mtr2-6/7: no rate 6/7 block code keeps its constraint: only 57 7-bit words join "
         "freely, 64 are needed; choose mtr2-4/5 or tvmtr-8/9",
         0},
        {"mtr2-4/5", "slicer",
         "a constraint code is decided by viterbi, npml or a soft detector, not by slicer", 0},
        {"mtr2-4/5", "bcjr", "", 5120},
    };
    const choices::ChannelOption* row = choices::FindOption("--constraint");
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(choices::InWindow(*row)); // the lab window offers it too
    for (const auto& c : cases) {
        choices::ChannelChoice choice;
        if (c.detector != nullptr) {
            ASSERT_EQ(choices::FindOption("--detector")->parse(c.detector, false, choice), "");
            ASSERT_EQ(choices::FindOption("--channel")->parse("lorentz", false, choice), "");
        }
        const std::string parsed = row->parse(c.text, false, choice);
        const std::string error = parsed.empty() ? choices::CheckChannel(choice).line : parsed;
        EXPECT_EQ(error, c.refusal) << c.text;
        EXPECT_EQ(row->show(choice), parsed.empty() ? c.text : "none") << c.text;
        if (!error.empty()) continue;
        engine::BerSettings run;
        EXPECT_EQ(choices::SweepOf(choice, run, {0.5}, {}).run.frame, c.frame) << c.text;
        const std::vector<std::string> names = choices::BerColumnsOf(choice).Names();
        EXPECT_EQ(*(std::find(names.begin(), names.end(), "union_bound") + 1), "user_bits");
        EXPECT_EQ(names.back(), c.detector ? std::string(c.detector) + "_user_ber" : "snr_user_db")
            << c.text;
    }
    choices::ChannelChoice plain;
    EXPECT_EQ(choices::BerColumnsOf(plain).Names().back(), "union_bound");
    ASSERT_EQ(row->parse("mtr2-4/5", false, plain), "");
    ASSERT_EQ(choices::FindOption("--adc-bits")->parse("6", false, plain), "");
    EXPECT_EQ(choices::CheckChannel(plain).option, "--adc-bits");
}

} // namespace
