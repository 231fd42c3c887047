#include "host/data/formatting.h"

#include <gtest/gtest.h>

#include <string>

#include "host/data/exceptions.h"

namespace host {
namespace {

struct FloatCase {
    const char* format;
    double value;
    const char* expected;
};

TEST(FormatFloatTest, LaysOutWithBrazilianSeparators) {
    const FloatCase cases[] = {
        {"#,##0.00", 1234.56, "1.234,56"},
        {"#,##0.00", 0.0, "0,00"},
        {"#,##0.00", 0.5, "0,50"},
        {"#,##0.00", 1234567.891, "1.234.567,89"},
        {"#,##0.00", 1e15, "1.000.000.000.000.000,00"},
        {"#,##0.000", 3.0, "3,000"},
        {"#,##0.000", 1234567.8915, "1.234.567,892"},
        {"#,##0", 1234567.4, "1.234.567"},
        {"#,##0", 999.5, "1.000"},
        {"0.00", 1234.5, "1234,50"},
        {"000", 7.0, "007"},
        {"0.##", 1.0, "1"},
        {"0.##", 1.5, "1,5"},
        {"0.0#", 1.256, "1,26"},
        {"#.##", 0.5, ",5"},
        {"#", 0.0, ""},
        {"R$ #,##0.00", 10.0, "R$ 10,00"},
        {"0.00 'kg'", 2.0, "2,00 kg"},
        {"", 1234.5, "1234,5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatFloat(c.format, c.value), c.expected)
            << "format \"" << c.format << "\" value " << c.value;
    }
}

TEST(FormatFloatTest, RoundsHalfAwayFromZero) {
    const FloatCase cases[] = {
        {"0.00", 2.675, "2,68"},    // binary 2.67499999...
        {"0.00", 1.005, "1,01"},    // binary 1.00499999...
        {"0.00", 0.125, "0,13"},    // exact half: up, not to even
        {"0.00", -0.125, "-0,13"},  // away from zero on the negative side
        {"0", 2.5, "3"},            // not banker's rounding
        {"0", -2.5, "-3"},
        {"#,##0.00", 99999.995, "100.000,00"},  // carry through every digit
        {"0.000", 0.0005, "0,001"},
        {"0.00", 0.004, "0,00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatFloat(c.format, c.value), c.expected)
            << "format \"" << c.format << "\" value " << c.value;
    }
}

TEST(FormatFloatTest, NegativeNumbersAndSections) {
    const FloatCase cases[] = {
        {"#,##0.00", -1234.565, "-1.234,57"},
        {"#,##0.00", -0.004, "0,00"},  // rounds to zero: no minus sign
        {"R$ #,##0.00", -10.0, "-R$ 10,00"},
        {"#,##0.00;(#,##0.00)", -1234.5, "(1.234,50)"},
        {"#,##0.00;(#,##0.00)", 1234.5, "1.234,50"},
        {"#,##0.00;;zero", -3.0, "-3,00"},  // empty negative section: the first one
        {"#,##0.00;-#,##0.00;'zero'", 0.0, "zero"},
        {"#,##0.00;-#,##0.00;'zero'", 0.001, "zero"},  // zero once rounded
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatFloat(c.format, c.value), c.expected)
            << "format \"" << c.format << "\" value " << c.value;
    }
}

TEST(FormatFloatTest, BrazilianNumberHelper) {
    EXPECT_EQ(FormatBrazilianNumber(1234.5, 2), "1.234,50");
    EXPECT_EQ(FormatBrazilianNumber(-1234.5, 0), "-1.235");
    EXPECT_EQ(FormatBrazilianNumber(0.1234, 3), "0,123");
}

TEST(FloatToStrTest, ShortestTextWithDecimalComma) {
    const struct {
        double value;
        const char* expected;
    } cases[] = {
        {0.0, "0"},     {1234.5, "1234,5"}, {-2.0, "-2"},       {0.1 + 0.2, "0,3"},
        {1e20, "1E20"}, {1e-5, "1E-5"},     {0.0001, "0,0001"}, {123456789012.5, "123456789012,5"},
        {-0.0, "0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FloatToStr(c.value), c.expected) << c.value;
    }
}

TEST(TryStrToFloatTest, ReadsTypedAndWrittenNumbers) {
    const struct {
        const char* text;
        bool ok;
        double value;
    } cases[] = {
        {"1.234,56", true, 1234.56},
        {"1234,5", true, 1234.5},
        {"1234.5", true, 1234.5},
        {"-3,25", true, -3.25},
        {" 7 ", true, 7.0},
        {"+2", true, 2.0},
        {"", false, 0},
        {"abc", false, 0},
        {"1,2,3", false, 0},
        {"12a", false, 0},
        {"inf", false, 0},
        {",", false, 0},
    };
    for (const auto& c : cases) {
        double value = -99;
        EXPECT_EQ(TryStrToFloat(c.text, value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(value, c.value) << c.text;
        } else {
            EXPECT_EQ(value, -99) << "value touched by a failed read of " << c.text;
        }
    }
}

struct MaskCase {
    const char* mask;
    const char* value;
    const char* expected;
};

TEST(FormatMaskTextTest, InsertsLiteralsWhenTheValueHasNone) {
    const MaskCase cases[] = {
        {"000.000.000-00;0;_", "12345678901", "123.456.789-01"},
        {"00.000.000/0000-00;0;_", "12345678000195", "12.345.678/0001-95"},
        {"00000-000;0;_", "01310100", "01310-100"},
        {"\\(00\\) 0000-0000;0;_", "1133334444", "(11) 3333-4444"},
        {"000.000.000-00;0;_", "123", "123.   .   -  "},  // short value: blanks
        {"000;0;_", "12345", "12345"},                    // extra characters kept
        {"!99.999;0;_", "12345", "12.345"},
        {"!99.999;0;_", "1234", " 1.234"},  // filled from the right
        {">LL-0000;0;_", "ab1234", "AB-1234"},
        {"<LL;0;_", "AB", "ab"},
        {"99_99;0;_", "1234", "12 34"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatMaskText(c.mask, c.value), c.expected)
            << "mask \"" << c.mask << "\" value \"" << c.value << "\"";
    }
}

TEST(FormatMaskTextTest, KeepsLiteralsTheValueAlreadyHolds) {
    const MaskCase cases[] = {
        {"000.000.000-00;1;_", "123.456.789-01", "123.456.789-01"},
        {"000.000.000-00;1;_", "123.4", "123.4  .   -  "},
        {"00/00/0000;1;_", "01/02/2024", "01/02/2024"},
        {"000-000", "123-456", "123-456"},  // no sections: literals are stored
        {"", "abc", "abc"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatMaskText(c.mask, c.value), c.expected)
            << "mask \"" << c.mask << "\" value \"" << c.value << "\"";
    }
}

TEST(DateTest, EncodesOleDayNumbers) {
    const struct {
        int year, month, day;
        double days;
    } cases[] = {
        {1899, 12, 30, 0},   {1899, 12, 31, 1},   {1899, 12, 29, -1},      {1900, 1, 1, 2},
        {1900, 3, 1, 61},    {2000, 1, 1, 36526}, {2024, 2, 29, 45351},    {2024, 12, 31, 45657},
        {2025, 1, 1, 45658}, {1, 1, 1, -693593},  {9999, 12, 31, 2958465},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeDate(c.year, c.month, c.day).days, c.days)
            << c.day << "/" << c.month << "/" << c.year;
        int year = 0, month = 0, day = 0;
        DecodeDate(TDateTime{c.days}, year, month, day);
        EXPECT_EQ(year, c.year) << c.days;
        EXPECT_EQ(month, c.month) << c.days;
        EXPECT_EQ(day, c.day) << c.days;
    }
}

TEST(DateTest, RejectsImpossibleDates) {
    const int cases[][3] = {{2023, 2, 29}, {2024, 2, 30}, {2024, 4, 31}, {2024, 13, 1},
                            {2024, 0, 1},  {2024, 1, 0},  {0, 1, 1},     {10000, 1, 1}};
    for (const auto& c : cases) {
        try {
            EncodeDate(c[0], c[1], c[2]);
            ADD_FAILURE() << "accepted " << c[2] << "/" << c[1] << "/" << c[0];
        } catch (const EConvertError& error) {
            EXPECT_STREQ(error.what(), "Invalid argument to date encode");
        }
    }
    EXPECT_THROW(EncodeDateTime(2024, 1, 1, 24, 0, 0), EConvertError);
    EXPECT_THROW(EncodeDateTime(2024, 1, 1, 0, 60, 0), EConvertError);
}

TEST(DateTest, DateTimeRoundTrip) {
    const TDateTime noon = EncodeDateTime(2025, 1, 1, 12, 0, 0);
    EXPECT_EQ(noon.days, 45658.5);
    int y = 0, m = 0, d = 0, h = 0, n = 0, s = 0;
    DecodeDateTime(EncodeDateTime(2025, 3, 7, 18, 45, 30), y, m, d, h, n, s);
    EXPECT_EQ((std::vector<int>{y, m, d, h, n, s}), (std::vector<int>{2025, 3, 7, 18, 45, 30}));

    // A time a hair short of the half hour reads as the half hour.
    DecodeDateTime(TDateTime{45658.0 + (10 * 3600 + 29 * 60 + 59.9996) / 86400.0}, y, m, d, h, n,
                   s);
    EXPECT_EQ((std::vector<int>{h, n, s}), (std::vector<int>{10, 30, 0}));
    // Rounding up to midnight moves to the next day.
    DecodeDateTime(TDateTime{45658.0 + 86399.9999 / 86400.0}, y, m, d, h, n, s);
    EXPECT_EQ((std::vector<int>{y, m, d, h, n, s}), (std::vector<int>{2025, 1, 2, 0, 0, 0}));
    // Before day zero the fraction still counts forward from the date.
    DecodeDateTime(TDateTime{-1.25}, y, m, d, h, n, s);
    EXPECT_EQ((std::vector<int>{y, m, d, h, n, s}), (std::vector<int>{1899, 12, 29, 6, 0, 0}));
    EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0).days, -1.25);
}

TEST(FormatDateTimeTest, Tokens) {
    const TDateTime when = EncodeDateTime(2025, 3, 7, 9, 5, 3);
    const struct {
        const char* format;
        const char* expected;
    } cases[] = {
        {"dd/mm/yyyy hh:nn", "07/03/2025 09:05"},
        {"dd/mm/yyyy", "07/03/2025"},
        {"d/m/yy", "7/3/25"},
        {"hh:nn:ss", "09:05:03"},
        {"h:n:s", "9:5:3"},
        {"hh:mm", "09:05"},  // m right after an hour is the minute
        {"yyyymmdd", "20250307"},
        {"dddd, d 'de' mmmm 'de' yyyy", "sexta-feira, 7 de março de 2025"},
        {"ddd dd/mmm", "sex 07/mar"},
        {"c", "07/03/2025 09:05:03"},
        {"\"Entrega:\" dd/mm", "Entrega: 07/03"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatDateTime(c.format, when), c.expected) << c.format;
    }
    EXPECT_EQ(FormatDateTime("c", EncodeDate(2025, 3, 7)), "07/03/2025");
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy", TDateTime{0}), "30/12/1899");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2025, 1, 1)), "01/01/2025");
    EXPECT_EQ(DateTimeToStr(EncodeDateTime(2025, 1, 1, 8, 0, 0)), "01/01/2025 08:00:00");
    EXPECT_EQ(DateToStr(EncodeDateTime(2025, 1, 1, 8, 0, 0)), "01/01/2025");
}

TEST(TryStrToDateTest, AcceptsDayMonthYear) {
    const struct {
        const char* text;
        int year, month, day;
    } cases[] = {
        {"31/12/2024", 2024, 12, 31}, {"1/2/2024", 2024, 2, 1},   {"29/02/2024", 2024, 2, 29},
        {" 05/06/2024 ", 2024, 6, 5}, {"01/01/1900", 1900, 1, 1}, {"5/6/24", 2024, 6, 5},
    };
    for (const auto& c : cases) {
        TDateTime when;
        ASSERT_TRUE(TryStrToDate(c.text, when)) << c.text;
        EXPECT_EQ(when, EncodeDate(c.year, c.month, c.day)) << c.text;
    }
}

TEST(TryStrToDateTest, RejectsImpossibleDatesAndGarbage) {
    const char* cases[] = {"31/02/2024", "29/02/2023", "32/01/2024",  "00/01/2024",
                           "01/13/2024", "01/00/2024", "abc",         "",
                           "  /  /    ", "01-02-2024", "1/2/202",     "01/02/2024x",
                           "1//2024",    "12/2024",    "001/02/2024", "1/2/2024/5"};
    for (const char* text : cases) {
        TDateTime when{123.0};
        EXPECT_FALSE(TryStrToDate(text, when)) << text;
        EXPECT_EQ(when.days, 123.0) << "result touched by " << text;
    }
}

TEST(TryStrToDateTest, DateWithoutYearTakesTheCurrentOne) {
    int year = 0, month = 0, day = 0;
    DecodeDate(Date(), year, month, day);
    TDateTime when;
    ASSERT_TRUE(TryStrToDate("15/03", when));
    EXPECT_EQ(when, EncodeDate(year, 3, 15));
}

TEST(TryStrToDateTimeTest, DateWithTime) {
    TDateTime when;
    ASSERT_TRUE(TryStrToDateTime("07/03/2025 09:05", when));
    EXPECT_EQ(when, EncodeDateTime(2025, 3, 7, 9, 5, 0));
    ASSERT_TRUE(TryStrToDateTime("07/03/2025 09:05:30", when));
    EXPECT_EQ(when, EncodeDateTime(2025, 3, 7, 9, 5, 30));
    EXPECT_FALSE(TryStrToDateTime("07/03/2025 25:00", when));
    EXPECT_FALSE(TryStrToDateTime("07/03/2025 9", when));
}

TEST(ClockTest, TodayHasNoTimeAndNowIsToday) {
    const TDateTime today = Date();
    EXPECT_EQ(today.days, static_cast<double>(static_cast<long long>(today.days)));
    EXPECT_GT(today.days, 45000.0);
    const TDateTime now = Now();
    // Now may cross midnight after Date was read.
    EXPECT_GE(now.days, today.days);
    EXPECT_LT(now.days, today.days + 2.0);
}

}  // namespace
}  // namespace host
