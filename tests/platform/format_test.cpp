// Number formatting by pattern, as the tick labels use it.
#include "platform/format.h"

#include <QLocale>
#include <gtest/gtest.h>
#include <limits>

namespace {

using platform::FormatFloat;

class FormatFloatTest : public ::testing::Test {
  protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

TEST_F(FormatFloatTest, TickLabelTexts) {
    EXPECT_EQ(FormatFloat("0.0", -6.0L), "-6.0");
    EXPECT_EQ(FormatFloat("0.0", -1.0L), "-1.0");
    EXPECT_EQ(FormatFloat("0.0", 0.0L), "0.0");
    EXPECT_EQ(FormatFloat("+0.0", 2.0L), "+2.0");
    EXPECT_EQ(FormatFloat("+0.0", 6.0L), "+6.0");
}

TEST_F(FormatFloatTest, RoundsToTheDecimalsOfThePattern) {
    EXPECT_EQ(FormatFloat("0.0", 123.456L), "123.5");
    EXPECT_EQ(FormatFloat("0.0", 9.96L), "10.0");
    EXPECT_EQ(FormatFloat("0.0", -9.96L), "-10.0");
    EXPECT_EQ(FormatFloat("0.0", 0.25L), "0.3"); // an exact half goes away from zero
    EXPECT_EQ(FormatFloat("0.0", -0.25L), "-0.3");
    // The value is rounded, not its shortest decimal: the double nearest
    // 0.35 lies below it and the one nearest 0.45 above it.
    EXPECT_EQ(FormatFloat("0.0", static_cast<long double>(0.35)), "0.3");
    EXPECT_EQ(FormatFloat("0.0", static_cast<long double>(0.45)), "0.5");
    EXPECT_EQ(FormatFloat("0.00", 1.005L), "1.00");
    EXPECT_EQ(FormatFloat("0", 2.5L), "3");
    EXPECT_EQ(FormatFloat("0.000", 1e-9L), "0.000");
}

TEST_F(FormatFloatTest, ZerosBeforeThePointSetTheLeastDigits) {
    EXPECT_EQ(FormatFloat("000.0", 5.0L), "005.0");
    EXPECT_EQ(FormatFloat("000.0", 12345.0L), "12345.0");
    EXPECT_EQ(FormatFloat("#.0", 0.5L), ".5");
}

TEST_F(FormatFloatTest, ValuesThatRoundToZeroCarryNoSign) {
    EXPECT_EQ(FormatFloat("0.0", -0.04L), "0.0");
    EXPECT_EQ(FormatFloat("0.0", -0.0L), "0.0");
    EXPECT_EQ(FormatFloat("0.0", -0.05L), "-0.1");
}

TEST_F(FormatFloatTest, NonFiniteValues) {
    EXPECT_EQ(FormatFloat("0.0", std::numeric_limits<long double>::quiet_NaN()), "NAN");
    EXPECT_EQ(FormatFloat("0.0", std::numeric_limits<long double>::infinity()), "INF");
    EXPECT_EQ(FormatFloat("0.0", -std::numeric_limits<long double>::infinity()), "-INF");
    EXPECT_EQ(FormatFloat("0.0", std::numeric_limits<long double>::max()).size(), 4935u);
}

TEST_F(FormatFloatTest, UsesTheLocaleDecimalMark) {
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(FormatFloat("0.0", -6.0L), "-6,0");
    EXPECT_EQ(FormatFloat("+0.0", 4.0L), "+4,0");
    EXPECT_EQ(FormatFloat("0.0", 0.0L), "0,0");
}

} // namespace
