#include "host/sql/sql_dates.h"

#include <gtest/gtest.h>

namespace host::sql {
namespace {

struct DateCase {
    const char* text;
    double days;
};

class TimestampTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(TimestampTest, FormatsAndParsesBothWays) {
    EXPECT_EQ(formatTimestamp(TDateTime{GetParam().days}), GetParam().text);
    const auto parsed = parseTimestamp(GetParam().text);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_NEAR(parsed->days, GetParam().days, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, TimestampTest,
    ::testing::Values(DateCase{"1899-12-30 00:00:00", 0.0}, DateCase{"1900-01-01 00:00:00", 2.0},
                      DateCase{"2000-01-01 12:00:00", 36526.5},
                      DateCase{"2024-02-29 06:00:00", 45351.25},
                      DateCase{"2025-12-31 23:59:59", 46022.0 + 86399.0 / 86400.0}));

TEST(Timestamp, RoundsToTheSecond) {
    EXPECT_EQ(formatTimestamp(TDateTime{36526.0 + 0.4 / 86400.0}), "2000-01-01 00:00:00");
    EXPECT_EQ(formatTimestamp(TDateTime{36526.0 + 59.6 / 86400.0}), "2000-01-01 00:01:00");
}

TEST(Timestamp, ReadsTheFormsTheEnginesGive) {
    EXPECT_NEAR(parseTimestamp("2000-01-01")->days, 36526.0, 1e-9);
    EXPECT_NEAR(parseTimestamp("2000-01-01T12:00")->days, 36526.5, 1e-9);
    EXPECT_NEAR(parseTimestamp("2000-01-01 12:00:00.5")->days, 36526.5 + 0.5 / 86400.0, 1e-9);
    EXPECT_NEAR(parseTimestamp("2000-01-01 12:00:00+00")->days, 36526.5, 1e-9);
}

TEST(Timestamp, ReadsTheStoredFormWithEitherSeparator) {
    EXPECT_NEAR(parseTimestamp("2024-02-29T06:00:00")->days, 45351.25, 1e-9);
    EXPECT_NEAR(parseTimestamp("2024-02-29 06:00:00")->days, 45351.25, 1e-9);
    EXPECT_NEAR(parseTimestamp("0001-01-01 00:00:00")->days, -693593.0, 1e-9);
    EXPECT_NEAR(parseTimestamp("9999-12-31 23:59:59")->days, 2958465.0 + 86399.0 / 86400.0, 1e-9);
}

TEST(Timestamp, RefusesStoredFormsThatAreNoTime) {
    for (const char* text : {"2000-02-30 00:00:00", "2001-02-29 00:00:00", "2000-00-10 00:00:00",
                             "2000-01-00 00:00:00", "2000-01-01 24:00:00", "2000-01-01 12:60:00",
                             "2000-01-01 12:00:60", "2000-01-0x 12:00:00", "2000-01-01 12:0x:00",
                             "2000/01/01 12:00:00", "2000-01-01 12-00-00", "200a-01-01 12:00:00"}) {
        EXPECT_FALSE(parseTimestamp(text).has_value()) << text;
    }
}

TEST(Timestamp, RefusesOtherText) {
    for (const char* text :
         {"", "abc", "2000-13-01", "2000-02-30", "2000-01-01 25:00", "01/02/2000"}) {
        EXPECT_FALSE(parseTimestamp(text).has_value()) << text;
    }
}

}  // namespace
}  // namespace host::sql
