#include "host/sql/statement_text.h"

#include <gtest/gtest.h>

namespace host::sql {
namespace {

struct TranslationCase {
    const char* name;
    const char* statement;
    const char* sqlite;
    const char* postgresql;
    std::vector<std::string> names;
};

class TranslationTest : public ::testing::TestWithParam<TranslationCase> {};

TEST_P(TranslationTest, NumbersEachNameOnce) {
    const TranslationCase& c = GetParam();
    const TranslatedStatement forSqlite = translatePlaceholders(c.statement, Engine::sqlite);
    const TranslatedStatement forPostgresql =
        translatePlaceholders(c.statement, Engine::postgresql);
    EXPECT_EQ(forSqlite.text, c.sqlite);
    EXPECT_EQ(forPostgresql.text, c.postgresql);
    EXPECT_EQ(forSqlite.names, c.names);
    EXPECT_EQ(forPostgresql.names, c.names);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, TranslationTest,
    ::testing::Values(
        TranslationCase{"NoPlaceholder", "SELECT 1", "SELECT 1", "SELECT 1", {}},
        TranslationCase{"BranchQuery",
                        "WHERE CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T'",
                        "WHERE CDFILIAL = ?1 OR ?2 = 'T'",
                        "WHERE CDFILIAL = $1 OR $2 = 'T'",
                        {"P_CDFILIAL", "P_TCDFILIAL"}},
        TranslationCase{"RepeatedName",
                        "A = :X OR B = :Y OR C = :X",
                        "A = ?1 OR B = ?2 OR C = ?1",
                        "A = $1 OR B = $2 OR C = $1",
                        {"X", "Y"}},
        TranslationCase{"RepeatedNameOtherCase",
                        "A = :Code OR B = :CODE",
                        "A = ?1 OR B = ?1",
                        "A = $1 OR B = $1",
                        {"Code"}},
        TranslationCase{"InsideQuotes",
                        "SELECT ':A', 'it''s :B', \":C\" FROM T WHERE X = :D",
                        "SELECT ':A', 'it''s :B', \":C\" FROM T WHERE X = ?1",
                        "SELECT ':A', 'it''s :B', \":C\" FROM T WHERE X = $1",
                        {"D"}},
        TranslationCase{"Cast", "SELECT :A::text", "SELECT ?1::text", "SELECT $1::text", {"A"}},
        TranslationCase{"LineComment",
                        "SELECT :A -- :B\n, :C",
                        "SELECT ?1 -- :B\n, ?2",
                        "SELECT $1 -- :B\n, $2",
                        {"A", "C"}},
        TranslationCase{"BlockComment",
                        "SELECT /* :B */ :A",
                        "SELECT /* :B */ ?1",
                        "SELECT /* :B */ $1",
                        {"A"}},
        TranslationCase{"ColonNotFollowedByName",
                        "SELECT a[1:2], :1, :_x",
                        "SELECT a[1:2], :1, ?1",
                        "SELECT a[1:2], :1, $1",
                        {"_x"}},
        TranslationCase{"UnterminatedQuote", "SELECT ':A", "SELECT ':A", "SELECT ':A", {}}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(Translation, DollarQuotedTextIsSkippedOnPostgresqlOnly) {
    const auto forPostgresql = translatePlaceholders("SELECT $t$ :B $t$, :A", Engine::postgresql);
    EXPECT_EQ(forPostgresql.text, "SELECT $t$ :B $t$, $1");
    EXPECT_EQ(forPostgresql.names, std::vector<std::string>{"A"});
    const auto forSqlite = translatePlaceholders("SELECT :A, $1", Engine::sqlite);
    EXPECT_EQ(forSqlite.text, "SELECT ?1, $1");
}

TEST(OrderedValues, FollowsPlaceholderOrderAndAcceptsALeadingColon) {
    const Params params{{"B", Variant("b")}, {":a", Variant(1)}};
    const auto values = orderedValues({"A", "B"}, params);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(*values[0], Variant(1));
    EXPECT_EQ(*values[1], Variant("b"));
}

TEST(OrderedValues, MissingValueNamesThePlaceholder) {
    try {
        orderedValues({"P_CDFILIAL", "P_TCDFILIAL"}, {{"P_CDFILIAL", Variant("0001")}});
        FAIL() << "no error";
    } catch (const DatabaseError& error) {
        EXPECT_STREQ(error.what(), "No value for parameter :P_TCDFILIAL");
    }
}

struct DeclaredTypeCase {
    const char* declared;
    bool known;
    FieldType type;
    int size;
};

class DeclaredTypeTest : public ::testing::TestWithParam<DeclaredTypeCase> {};

TEST_P(DeclaredTypeTest, MapsToField) {
    FieldDef field;
    EXPECT_EQ(fieldFromDeclaredType(GetParam().declared, field), GetParam().known);
    if (GetParam().known) {
        EXPECT_EQ(field.type, GetParam().type);
        EXPECT_EQ(field.size, GetParam().size);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Types, DeclaredTypeTest,
    ::testing::Values(DeclaredTypeCase{"VARCHAR(4)", true, FieldType::String, 4},
                      DeclaredTypeCase{"varchar(100)", true, FieldType::String, 100},
                      DeclaredTypeCase{"CHAR(2)", true, FieldType::String, 2},
                      DeclaredTypeCase{"TIMESTAMP", true, FieldType::DateTime, 0},
                      DeclaredTypeCase{"DOUBLE PRECISION", true, FieldType::Float, 0},
                      DeclaredTypeCase{"NUMERIC(15,2)", true, FieldType::Float, 0},
                      DeclaredTypeCase{"REAL", true, FieldType::Float, 0},
                      DeclaredTypeCase{"INTEGER", true, FieldType::Integer, 0},
                      DeclaredTypeCase{"BIGINT", true, FieldType::Integer, 0},
                      DeclaredTypeCase{"TEXT", true, FieldType::Blob, 0},
                      DeclaredTypeCase{"", false, FieldType::String, 0},
                      DeclaredTypeCase{"WHATEVER", false, FieldType::String, 0}));

}  // namespace
}  // namespace host::sql
