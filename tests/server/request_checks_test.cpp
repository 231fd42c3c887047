#include "server/request_checks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "host/sql/sql_dates.h"
#include "server/service_error.h"

namespace {

using ore::server::checkText;
using ore::server::escapeForLog;
using ore::server::isValidDate;
using ore::server::quotePrefix;
using ore::server::ServiceError;

std::string refusalOf(std::string_view value, std::size_t width) {
    try {
        checkText(value, "CDFILIAL", width);
    } catch (const ServiceError& error) {
        EXPECT_EQ(error.kind(), ore::server::ErrorKind::InvalidArgument);
        return error.what();
    }
    return "<accepted>";
}

TEST(RequestChecks, TextsAreMeasuredInCharactersAndMustBeCleanUtf8) {
    struct Case {
        const char* name;
        std::string value;
        const char* refusal;
    };
    const std::vector<Case> cases = {
        {"four ASCII", "0001", "<accepted>"},
        {"four two-byte characters", "ÃÃÃÃ", "<accepted>"},
        {"four three-byte characters", "€€€€", "<accepted>"},
        {"four four-byte characters", "😀😀😀😀", "<accepted>"},
        {"empty", "", "<accepted>"},
        {"five characters", "ÃÃÃÃÃ", "O campo CDFILIAL tem mais de 4 caracteres."},
        {"five ASCII", "00001", "O campo CDFILIAL tem mais de 4 caracteres."},
        {"NUL",
         std::string("00\0"
                     "1",
                     4),
         "O campo CDFILIAL contém o caractere nulo."},
        {"Latin-1 byte",
         "\xC3"
         "0",
         "O campo CDFILIAL não é um texto UTF-8 válido."},
        {"lone continuation", "\x80", "O campo CDFILIAL não é um texto UTF-8 válido."},
        {"overlong slash", "\xC0\xAF", "O campo CDFILIAL não é um texto UTF-8 válido."},
        {"surrogate", "\xED\xA0\x80", "O campo CDFILIAL não é um texto UTF-8 válido."},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "O campo CDFILIAL não é um texto UTF-8 válido."},
        {"cut sequence", "\xE2\x82", "O campo CDFILIAL não é um texto UTF-8 válido."},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(refusalOf(test.value, 4), test.refusal);
    }
}

TEST(RequestChecks, DatesOfTheYearsOneTo9999) {
    const auto at = [](const char* text) { return *host::sql::parseTimestamp(text); };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(isValidDate(at("0001-01-01 00:00:00")));
    EXPECT_TRUE(isValidDate(at("9999-12-31 23:59:59")));
    EXPECT_TRUE(isValidDate(host::TDateTime{0.0}));
    EXPECT_FALSE(isValidDate(host::TDateTime{at("0001-01-01 00:00:00").days - 1e-9}));
    EXPECT_FALSE(isValidDate(host::TDateTime{at("9999-12-31 00:00:00").days + 1.0}));
    EXPECT_FALSE(isValidDate(host::TDateTime{nan}));
    EXPECT_FALSE(isValidDate(host::TDateTime{infinity}));
    EXPECT_FALSE(isValidDate(host::TDateTime{-infinity}));
    EXPECT_FALSE(isValidDate(host::TDateTime{1e300}));
}

TEST(RequestChecks, RefusalsQuoteAShortPrintablePrefix) {
    EXPECT_EQ(quotePrefix("0001"), "0001");
    EXPECT_EQ(quotePrefix(std::string(100000, 'X')), std::string(32, 'X') + "...");
    EXPECT_EQ(quotePrefix("ÃÃÃÃÃÃÃÃÃÃÃÃ", 10), "ÃÃÃÃÃÃÃÃÃÃ...");
    EXPECT_EQ(quotePrefix("ab\ncd\x01"
                          "e\xFF"),
              "ab?cd?e?");
    EXPECT_EQ(quotePrefix("12345", 3), "123...");
}

TEST(RequestChecks, LoggedValuesAreEscapedAndCut) {
    EXPECT_EQ(escapeForLog("plain text, Ação"), "plain text, Ação");
    EXPECT_EQ(escapeForLog("0001\n2024-06-01 [info] forged"), "0001\\n2024-06-01 [info] forged");
    EXPECT_EQ(escapeForLog("a\rb\tc\\d\x7F\x01\xFF"), "a\\rb\\tc\\\\d\\x7F\\x01\\xFF");
    EXPECT_EQ(escapeForLog(std::string(1000, 'X'), 10), "XXXXXXXXXX... (990 bytes more)");
    const std::string escaped = escapeForLog(std::string(100000, '\n'));
    EXPECT_EQ(escaped.find('\n'), std::string::npos);
    EXPECT_LT(escaped.size(), 600u);
}

}  // namespace
