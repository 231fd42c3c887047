#include <gtest/gtest.h>

#include "host/data/formatting.h"
#include "scenario/values.h"

namespace scenario {
namespace {

using host::FieldType;

struct MatchCase {
    const char* name;
    const char* expected;
    Observed found;
    bool matches;
};

class MatchesTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(MatchesTest, ComparesAsTheOriginAllows) {
    EXPECT_EQ(matches(GetParam().expected, GetParam().found), GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(
    Values, MatchesTest,
    ::testing::Values(
        MatchCase{"PlainExact", "Fechado", {"Fechado", ValueKind::Plain}, true},
        MatchCase{"PlainIsCaseSensitive", "fechado", {"Fechado", ValueKind::Plain}, false},
        MatchCase{"PlainKeepsTrailingBlanks", "00", {"00 ", ValueKind::Plain}, false},
        MatchCase{"PlainZeroIsNotEmpty", "0", {"", ValueKind::Plain}, false},
        MatchCase{"FixedIgnoresTrailingBlanks", "0", {"0 ", ValueKind::FixedString}, true},
        MatchCase{"FixedWrittenWithBlanks", "0 ", {"0", ValueKind::FixedString}, true},
        MatchCase{"FixedKeepsLeadingBlanks", "0", {" 0", ValueKind::FixedString}, false},
        MatchCase{"ZeroDateAsEmpty", "", {"", ValueKind::Date}, true},
        MatchCase{"ZeroDateAsZero", "0", {"", ValueKind::Date}, true},
        MatchCase{"DayZeroAsEmpty", "", {"30/12/1899", ValueKind::Date}, true},
        MatchCase{"ZeroDateIsNoOtherDate", "01/02/2025", {"", ValueKind::Date}, false},
        MatchCase{"DateExact", "01/02/2025", {"01/02/2025", ValueKind::Date}, true},
        MatchCase{"RealDateIsNotZero", "0", {"01/02/2025", ValueKind::Date}, false},
        MatchCase{"DateWithTime", "01/02/2025 14:30", {"01/02/2025 14:30", ValueKind::Date}, true},
        MatchCase{
            "DateWithoutItsTime", "01/02/2025", {"01/02/2025 14:30", ValueKind::Date}, false}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(Quoted, EscapesQuotesAndBackslashes) {
    EXPECT_EQ(quoted("Filial"), "\"Filial\"");
    EXPECT_EQ(quoted(R"(a "b" \c)"), R"("a \"b\" \\c")");
    EXPECT_EQ(quoted(""), "\"\"");
}

TEST(Booleans, ReadAndShownInTheScenariosWords) {
    EXPECT_EQ(parseBoolean("yes"), true);
    EXPECT_EQ(parseBoolean("true"), true);
    EXPECT_EQ(parseBoolean("no"), false);
    EXPECT_EQ(parseBoolean("false"), false);
    EXPECT_EQ(parseBoolean("Yes"), std::nullopt);
    EXPECT_EQ(booleanText(true, "no"), "yes");
    EXPECT_EQ(booleanText(false, "true"), "false");
}

TEST(DateText, DayAloneAtMidnightAndMinutesOtherwise) {
    EXPECT_EQ(dateText(host::TDateTime{0}), "");
    EXPECT_EQ(dateText(host::EncodeDate(2025, 2, 1)), "01/02/2025");
    EXPECT_EQ(dateText(host::EncodeDateTime(2025, 2, 1, 14, 30, 0)), "01/02/2025 14:30");
    // A time a few milliseconds off midnight, as a float round trip leaves it.
    host::TDateTime nearlyMidnight = host::EncodeDate(2025, 2, 1);
    nearlyMidnight.days -= 1e-9;
    EXPECT_EQ(dateText(nearlyMidnight).substr(0, 10), "01/02/2025");
    EXPECT_EQ(dateText(nearlyMidnight).size(), 10u);
}

TEST(DatabaseValue, EachKindAsTheOperatorReadsIt) {
    EXPECT_EQ(databaseValue(host::Variant()).text, "");
    const Observed text = databaseValue(host::Variant("00  "));
    EXPECT_EQ(text.text, "00  ");
    EXPECT_EQ(text.kind, ValueKind::FixedString);
    EXPECT_EQ(databaseValue(host::Variant(std::int64_t{42})).text, "42");
    EXPECT_EQ(databaseValue(host::Variant(3.69)).text, "3,69");
    EXPECT_EQ(databaseValue(host::Variant(2.0)).text, "2");
    const Observed when = databaseValue(host::Variant(host::EncodeDateTime(2025, 3, 9, 8, 5, 0)));
    EXPECT_EQ(when.text, "09/03/2025 08:05");
    EXPECT_EQ(when.kind, ValueKind::Date);
    EXPECT_EQ(databaseValue(host::Variant(host::Blob{"observação"})).text, "observação");
}

class FieldValueTest : public ::testing::Test {
protected:
    void SetUp() override {
        items.AddField({"CDFILIAL", FieldType::String, 4});
        items.AddField({"NRSEQORCAEVE", FieldType::FixedString, 2});
        host::TField& quantity = items.AddField({"QTITEMORCEVE", FieldType::Float, 0});
        quantity.DisplayFormat = "#,##0.000";
        items.AddField({"VRDESCITOREV", FieldType::Float, 0});
        items.AddField({"DTHRENTROREV", FieldType::DateTime, 0});
        items.AddField({"TXOBSJUSTORC", FieldType::Blob, 0});
        items.AddField({"IDSITUORCEVE", FieldType::String, 1}).OnGetText =
            [](host::TField&, std::string& text, bool) { text = "Pendente"; };

        host::DataPacket packet;
        for (const auto& field : items.Fields()) {
            packet.fields.push_back(field->Definition());
        }
        packet.rows.push_back({host::Variant("0001"), host::Variant("0"), host::Variant(1234.5),
                               host::Variant(2.5),
                               host::Variant(host::EncodeDateTime(2025, 2, 1, 14, 30, 0)),
                               host::Variant(host::Blob{"texto"}), host::Variant("1")});
        packet.rows.push_back({host::Variant(), host::Variant(), host::Variant(), host::Variant(),
                               host::Variant(), host::Variant(), host::Variant()});
        items.LoadFromPacket(packet);
    }

    Observed value(const char* name) { return fieldValue(items.FieldByName(name)); }

    host::TClientDataSet items{"cdsItemOrcaEven"};
};

TEST_F(FieldValueTest, StringsAsStoredNumbersAndDatesAsShown) {
    EXPECT_EQ(value("CDFILIAL").text, "0001");
    EXPECT_EQ(value("NRSEQORCAEVE").kind, ValueKind::FixedString);
    EXPECT_TRUE(matches("0", value("NRSEQORCAEVE")));
    EXPECT_EQ(value("QTITEMORCEVE").text, "1.234,500");
    EXPECT_EQ(value("VRDESCITOREV").text, "2,5");
    EXPECT_EQ(value("DTHRENTROREV").text, "01/02/2025 14:30");
    EXPECT_EQ(value("TXOBSJUSTORC").text, "texto");
}

TEST_F(FieldValueTest, TheScreensOwnTextHandlerIsLeftOutAndKept) {
    EXPECT_EQ(value("IDSITUORCEVE").text, "1");
    host::TField& status = items.FieldByName("IDSITUORCEVE");
    ASSERT_TRUE(static_cast<bool>(status.OnGetText));
    EXPECT_EQ(status.DisplayText(), "Pendente");
}

TEST_F(FieldValueTest, FloatsDropTheirTextHandlerOnlyWhileRead) {
    host::TField& quantity = items.FieldByName("QTITEMORCEVE");
    quantity.OnGetText = [](host::TField&, std::string& text, bool) { text = "screen"; };
    EXPECT_EQ(value("QTITEMORCEVE").text, "1.234,500");
    EXPECT_EQ(quantity.DisplayText(), "screen");
}

TEST_F(FieldValueTest, NullsAreEmpty) {
    items.Next();
    for (const char* name :
         {"CDFILIAL", "NRSEQORCAEVE", "QTITEMORCEVE", "DTHRENTROREV", "TXOBSJUSTORC"}) {
        EXPECT_EQ(value(name).text, "") << name;
    }
    EXPECT_TRUE(matches("0", value("DTHRENTROREV")));
}

}  // namespace
}  // namespace scenario
