#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scenario/script.h"

namespace scenario {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// ---- Tokenizer ----

struct TokenCase {
    const char* name;
    const char* line;
    std::vector<Token> tokens;
};

class TokenizeTest : public ::testing::TestWithParam<TokenCase> {};

TEST_P(TokenizeTest, SplitsTheLine) {
    EXPECT_EQ(tokenize(GetParam().line), GetParam().tokens);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TokenizeTest,
    ::testing::Values(
        TokenCase{"Blank", "   \t ", {}}, TokenCase{"CommentOnly", "  # just a note", {}},
        TokenCase{"Words", "click  sbtVerificar", {{"click", false}, {"sbtVerificar", false}}},
        TokenCase{
            "TabsSeparate", "focus\tedtCdFilial\r", {{"focus", false}, {"edtCdFilial", false}}},
        TokenCase{"QuotedBlanks",
                  "expect message \"Filial deve ser informada.\"",
                  {{"expect", false}, {"message", false}, {"Filial deve ser informada.", true}}},
        TokenCase{"EmptyQuoted",
                  "type edtCdFilial \"\"",
                  {{"type", false}, {"edtCdFilial", false}, {"", true}}},
        TokenCase{"EscapedQuote",
                  R"(type memObs "dito \"assim\"")",
                  {{"type", false}, {"memObs", false}, {"dito \"assim\"", true}}},
        TokenCase{"EscapedBackslash",
                  R"(type memObs "a\\b")",
                  {{"type", false}, {"memObs", false}, {"a\\b", true}}},
        TokenCase{"BackslashOutsideQuotesIsPlain",
                  R"(type memObs a\b)",
                  {{"type", false}, {"memObs", false}, {"a\\b", false}}},
        TokenCase{
            "CommentAfterWords", "click btnOk # confirm", {{"click", false}, {"btnOk", false}}},
        TokenCase{"CommentEndsAWord", "click btnOk#confirm", {{"click", false}, {"btnOk", false}}},
        TokenCase{"HashInsideQuotes",
                  "type edtCdJust \"#1\" # real comment",
                  {{"type", false}, {"edtCdJust", false}, {"#1", true}}},
        TokenCase{"QuotedPartInsideAWord",
                  "session branch-name=\"MATRIZ SP\" operator=X",
                  {{"session", false}, {"branch-name=MATRIZ SP", true}, {"operator=X", false}}},
        TokenCase{"BackslashNIsALineBreak",
                  R"(expect memPrevia.text = "a\nb\\n")",
                  {{"expect", false}, {"memPrevia.text", false}, {"=", false}, {"a\nb\\n", true}}},
        TokenCase{"QuotedEqualsIsAValue",
                  "expect x.text = \"=\"",
                  {{"expect", false}, {"x.text", false}, {"=", false}, {"=", true}}}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(TokenizeErrors, UnclosedQuote) {
    EXPECT_THROW(tokenize("type edt \"open"), SyntaxError);
    try {
        tokenize("type edt \"ends with backslash\\");
        FAIL() << "no error";
    } catch (const SyntaxError& error) {
        EXPECT_STREQ(error.what(), "unclosed quote");
    }
}

TEST(TokenizeErrors, UnknownEscape) {
    try {
        tokenize(R"(type edt "a\tb")");
        FAIL() << "no error";
    } catch (const SyntaxError& error) {
        EXPECT_STREQ(error.what(), "unknown escape \\t (only \\\", \\\\ and \\n)");
    }
}

// ---- Commands ----

Command parse(const char* line) {
    auto command = parseLine(line, 7);
    if (!command) {
        throw std::logic_error("no command");
    }
    return *command;
}

TEST(ParseLine, KeepsTheSourceWithoutItsComment) {
    const Command command = parse("  click sbtVerificar   # reload ");
    EXPECT_EQ(command.source, "click sbtVerificar");
    EXPECT_EQ(command.line, 7);
    EXPECT_EQ(command.kind, CommandKind::Click);
    EXPECT_EQ(command.target, "sbtVerificar");
}

TEST(ParseLine, SourceKeepsAHashInsideQuotes) {
    EXPECT_EQ(parse(R"(type memObs "a \" # b" # note)").source, R"(type memObs "a \" # b")");
}

TEST(ParseLine, ExpectProperty) {
    const Command command = parse("expect tshItens.tabenabled = no");
    EXPECT_EQ(command.kind, CommandKind::ExpectProperty);
    EXPECT_EQ(command.target, "tshItens");
    EXPECT_EQ(command.property, Property::TabEnabled);
    EXPECT_EQ(command.expected, "no");

    const Command rows = parse("expect dbgPadrao.rows = 12");
    EXPECT_EQ(rows.property, Property::Rows);
    EXPECT_EQ(rows.row, 12);

    const Command state = parse("expect cdsEncomenda.state = edit");
    EXPECT_EQ(state.property, Property::State);
}

TEST(ParseLine, Messages) {
    const Command exact = parse("expect message \"Filial não cadastrada.\"");
    EXPECT_EQ(exact.kind, CommandKind::ExpectMessage);
    EXPECT_EQ(exact.expected, "Filial não cadastrada.");

    const Command part = parse("expect message ~ \"127.0.0.1\"");
    EXPECT_EQ(part.kind, CommandKind::ExpectMessageContains);
    EXPECT_EQ(part.expected, "127.0.0.1");

    EXPECT_EQ(parse("expect no message").kind, CommandKind::ExpectNoMessage);
}

TEST(ParseLine, CellFieldFilterCallsDb) {
    const Command cell = parse("expect cell dbgItem 2 VRTOTALITEM = \"10,00\"");
    EXPECT_EQ(cell.kind, CommandKind::ExpectCell);
    EXPECT_EQ(cell.target, "dbgItem");
    EXPECT_EQ(cell.row, 2);
    EXPECT_EQ(cell.field, "VRTOTALITEM");
    EXPECT_EQ(cell.expected, "10,00");

    const Command field = parse("expect field cdsEncomenda.NRSEQORCAEVE = \"00\"");
    EXPECT_EQ(field.kind, CommandKind::ExpectField);
    EXPECT_EQ(field.target, "cdsEncomenda");
    EXPECT_EQ(field.field, "NRSEQORCAEVE");

    const Command filter = parse("expect filter DtEntrega.Todos = \"T\"");
    EXPECT_EQ(filter.kind, CommandKind::ExpectFilter);
    EXPECT_EQ(filter.target, "DtEntrega.Todos");

    const Command calls = parse("expect calls GetItemEnc = 1");
    EXPECT_EQ(calls.kind, CommandKind::ExpectCalls);
    EXPECT_EQ(calls.target, "GetItemEnc");
    EXPECT_EQ(calls.row, 1);

    const Command db = parse("expect db \"SELECT IDSITUORCEVE FROM ORCAEVENTO\" = \"1\"");
    EXPECT_EQ(db.kind, CommandKind::ExpectDb);
    EXPECT_EQ(db.target, "SELECT IDSITUORCEVE FROM ORCAEVENTO");
    EXPECT_EQ(db.expected, "1");
}

TEST(ParseLine, Keys) {
    const Command key = parse("key form Ctrl+Shift+Enter");
    EXPECT_EQ(key.kind, CommandKind::Key);
    EXPECT_EQ(key.target, "form");
    EXPECT_EQ(key.key, host::VK_RETURN);
    EXPECT_EQ(key.shift, host::ssCtrl | host::ssShift);

    const Command f12 = parse("key dbgPadrao Shift+F12");
    EXPECT_EQ(f12.key, host::VK_F12);
    EXPECT_EQ(f12.shift, host::ssShift);
}

TEST(ParseLine, SessionStartsFromTheDefaults) {
    const Command command =
        parse("session branch=0002 branch-name=\"FILIAL SUL\" fixed-branch=yes");
    EXPECT_EQ(command.kind, CommandKind::Session);
    SessionSettings expected;
    expected.branch = "0002";
    expected.branchName = "FILIAL SUL";
    expected.fixedBranch = true;
    EXPECT_EQ(command.session, expected);
    EXPECT_EQ(parse("session").session, SessionSettings{});
    EXPECT_EQ(parse("session operator=VENDAS password=vendas123").session.password, "vendas123");
}

TEST(ParseLine, OperatorWithBranchesAndRights) {
    const Command command = parse(
        "operator CONSULTA password=\"com espaço\" name=\"OPERADOR X\" "
        "branches=0002:cancel,0003 fixed-branch=yes active=no");
    EXPECT_EQ(command.kind, CommandKind::Operator);
    OperatorSettings expected;
    expected.code = "CONSULTA";
    expected.password = "com espaço";
    expected.name = "OPERADOR X";
    expected.branch = "0002";  // the first branch listed
    expected.fixedBranch = true;
    expected.active = false;
    expected.branches = {{"0002", true}, {"0003", false}};
    EXPECT_EQ(command.operatorSettings, expected);
    EXPECT_EQ(parse("operator A password=x branch=0009 branches=0001").operatorSettings.branch,
              "0009");
}

TEST(ParseLine, AnswersAndPicks) {
    EXPECT_EQ(parse("answer yes").answer, host::mrYes);
    EXPECT_EQ(parse("answer no").answer, host::mrNo);
    EXPECT_EQ(parse("answer ok").answer, host::mrOk);
    EXPECT_EQ(parse("pick none").pick, std::nullopt);
    EXPECT_EQ(parse("pick 0001").pick, std::vector<std::string>{"0001"});
    EXPECT_EQ(parse("pick 0001,0003").pick, (std::vector<std::string>{"0001", "0003"}));
}

TEST(ParseLine, UnknownWordIsLeftToTheHost) {
    const Command command = parse("shot filtro-aberto");
    EXPECT_EQ(command.kind, CommandKind::Extension);
    EXPECT_EQ(command.word, "shot");
    EXPECT_THAT(command.tokens, ElementsAre(Token{"shot", false}, Token{"filtro-aberto", false}));
}

TEST(ParseLine, BlankAndCommentLinesGiveNothing) {
    EXPECT_FALSE(parseLine("", 1).has_value());
    EXPECT_FALSE(parseLine("   # only a comment", 1).has_value());
}

struct ErrorCase {
    const char* name;
    const char* line;
    const char* message;
};

class ParseErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ParseErrorTest, NamesTheProblem) {
    try {
        parseLine(GetParam().line, 1);
        FAIL() << "no error for " << GetParam().line;
    } catch (const SyntaxError& error) {
        EXPECT_EQ(std::string(error.what()), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseErrorTest,
    ::testing::Values(
        ErrorCase{"DatabaseKind", "database full", "database is demo or empty, not \"full\""},
        ErrorCase{"SqlWithoutText", "sql", "expected: sql \"STATEMENT\""},
        ErrorCase{"SessionKey", "session filial=0001",
                  "unknown session setting \"filial\" (branch, branch-name, operator, "
                  "fixed-branch, password)"},
        ErrorCase{"SessionWithoutEquals", "session 0001",
                  "session settings are written KEY=VALUE, not \"0001\""},
        ErrorCase{"FixedBranchFlag", "session fixed-branch=maybe",
                  "fixed-branch is yes or no, not \"maybe\""},
        ErrorCase{"OperatorWithoutPassword", "operator A branches=0001",
                  "an operator needs password=TEXT"},
        ErrorCase{"OperatorWithoutBranch", "operator A password=x",
                  "an operator needs branch=HOME or branches=..."},
        ErrorCase{"OperatorRight", "operator A password=x branches=0001:delete",
                  "a branch is written CODE or CODE:cancel, not \"0001:delete\""},
        ErrorCase{"OperatorEmptyBranch", "operator A password=x branches=0001,,0002",
                  "empty branch in branches=0001,,0002"},
        ErrorCase{"OperatorKey", "operator A password=x filial=0001",
                  "unknown operator setting \"filial\" (password, name, branch, branches, "
                  "fixed-branch, active)"},
        ErrorCase{"ServerOn", "server on", "expected: server off"},
        ErrorCase{"TypeWithoutText", "type edtCdFilial", "expected: type NAME TEXT"},
        ErrorCase{"UnknownKey", "key form Ctrl+Banana", "unknown key \"Ctrl+Banana\""},
        ErrorCase{"RowZero", "select dbgPadrao 0", "ROW counts from 1"},
        ErrorCase{"RowNotANumber", "select dbgPadrao two",
                  "ROW must be a whole number, not \"two\""},
        ErrorCase{"AnswerMaybe", "answer maybe", "answer is yes, no or ok, not \"maybe\""},
        ErrorCase{"EmptyPickCode", "pick 0001,,0002", "empty code in pick list \"0001,,0002\""},
        ErrorCase{"UnknownProperty", "expect edtCdFilial.colour = red",
                  "unknown property \"colour\" (text, enabled, checked, visible, focused, "
                  "active, tabenabled, rows, state)"},
        ErrorCase{"BooleanProperty", "expect sbtFiltro.enabled = 1",
                  "enabled is yes or no, not \"1\""},
        ErrorCase{"StateValue", "expect cdsEncomenda.state = open",
                  "state is inactive, browse, edit or insert, not \"open\""},
        ErrorCase{"MissingEquals", "expect edtCdFilial.text \"0001\"",
                  "expected: expect NAME.PROP = VALUE"},
        ErrorCase{"QuotedEqualsIsNoSeparator", "expect edtCdFilial.text \"=\" 1",
                  "expected: expect NAME.PROP = VALUE"},
        ErrorCase{"UnknownMethod", "expect calls GetTudo = 1", "unknown remote method \"GetTudo\""},
        ErrorCase{"NoMessageTypo", "expect no messages", "expected: expect no message"},
        ErrorCase{"ResetWhat", "reset counters", "expected: reset calls"},
        ErrorCase{"QuotedWord", "\"click\" btnOk",
                  "a command starts with its word, not a quoted text"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(ParseScript, ListsEveryBadLineWithItsNumberAndKeepsTheGoodOnes) {
    const Script script = parseScript(
        "# scenario\n"
        "open ORE06100\n"
        "\n"
        "type edtCdFilial \"0001\n"
        "answer perhaps\n"
        "click sbtVerificar\n",
        "sample.scn");
    EXPECT_EQ(script.fileName, "sample.scn");
    EXPECT_THAT(script.errors,
                ElementsAre(ScriptError{4, "unclosed quote"},
                            ScriptError{5, "answer is yes, no or ok, not \"perhaps\""}));
    ASSERT_EQ(script.commands.size(), 2u);
    EXPECT_EQ(script.commands[0].line, 2);
    EXPECT_EQ(script.commands[1].line, 6);
    EXPECT_EQ(script.commands[1].source, "click sbtVerificar");
}

TEST(ParseScript, WindowsLineEndingsAndNoFinalNewline) {
    const Script script = parseScript("open ORE06100\r\nclose", "x.scn");
    EXPECT_THAT(script.errors, IsEmpty());
    ASSERT_EQ(script.commands.size(), 2u);
    EXPECT_EQ(script.commands[0].source, "open ORE06100");
    EXPECT_EQ(script.commands[1].kind, CommandKind::Close);
}

}  // namespace
}  // namespace scenario
