#include <gtest/gtest.h>

#include <string>

#include "host/data/exceptions.h"
#include "host/data/formatting.h"
#include "host/services/consiste.h"
#include "host/services/messages.h"
#include "host/ui/form.h"
#include "host/ui/scripted_platform.h"

namespace host {
namespace {

struct AjustaCase {
    const char* name;
    const char* typed;
    int width;
    const char* stored;
};

template <class Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

class AjustaTest : public ::testing::TestWithParam<AjustaCase> {};

TEST_P(AjustaTest, BringsCodeToStoredForm) {
    const AjustaCase& c = GetParam();
    EXPECT_EQ(Consiste::Ajusta(c.typed, c.width), c.stored);
}

INSTANTIATE_TEST_SUITE_P(Codes, AjustaTest,
                         ::testing::Values(AjustaCase{"OneDigitBranch", "1", 4, "0001"},
                                           AjustaCase{"OrderNumber", "12", 10, "0000000012"},
                                           AjustaCase{"AlreadyStored", "0001", 4, "0001"},
                                           AjustaCase{"SurroundingBlanks", " 7 ", 4, "0007"},
                                           AjustaCase{"Empty", "", 4, ""},
                                           AjustaCase{"OnlyBlanks", "   ", 10, ""},
                                           AjustaCase{"LettersKept", "ab", 4, "ab"},
                                           AjustaCase{"MixedTrimmedNotPadded", " A1 ", 4, "A1"},
                                           AjustaCase{"LongerThanWidth", "12345", 4, "12345"},
                                           AjustaCase{"InnerBlankNotDigits", "1 2", 4, "1 2"}),
                         caseName<AjustaCase>);

TEST(EmptyStringTest, BlanksAreEmptyOtherTextIsNot) {
    EXPECT_TRUE(Consiste::EmptyString(""));
    EXPECT_TRUE(Consiste::EmptyString("   "));
    EXPECT_FALSE(Consiste::EmptyString(" x "));
    EXPECT_FALSE(Consiste::EmptyString("/"));
}

TEST(EmptyStringTest, DateEditSeparatorsCountAsBlanks) {
    TForm form("frm");
    auto* date = form.Make<TDateEditPlus>("dep", &form);
    auto* edit = form.Make<TEdit>("edt", &form);
    date->SetText("  /  /    ");
    edit->SetText("  /  /    ");
    EXPECT_TRUE(Consiste::EmptyString(*date));
    EXPECT_FALSE(Consiste::EmptyString(*edit));
    date->SetText("01/02/2025");
    EXPECT_FALSE(Consiste::EmptyString(*date));
}

struct RoundCase {
    const char* name;
    double value;
    int decimals;
    double expected;
};

class RoundDecTest : public ::testing::TestWithParam<RoundCase> {};

TEST_P(RoundDecTest, RoundsHalfAwayFromZero) {
    const RoundCase& c = GetParam();
    EXPECT_DOUBLE_EQ(Consiste::RoundDec(c.value, c.decimals), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RoundDecTest,
    ::testing::Values(RoundCase{"Down", 1.234, 2, 1.23}, RoundCase{"HalfUp", 1.235, 2, 1.24},
                      RoundCase{"BinaryHalf", 1.005, 2, 1.01},
                      RoundCase{"NegativeHalf", -1.235, 2, -1.24}, RoundCase{"Whole", 4.0, 2, 4.0},
                      RoundCase{"Zero", 0.0, 2, 0.0}, RoundCase{"NoDecimals", 2.5, 0, 3.0}),
    caseName<RoundCase>);

TEST(PictPessTest, MasksLayOutRegistrationNumbers) {
    EXPECT_EQ(FormatMaskText(Consiste::PictPess("F"), "12345678901"), "123.456.789-01");
    EXPECT_EQ(FormatMaskText(Consiste::PictPess("J"), "12345678000199"), "12.345.678/0001-99");
    EXPECT_EQ(Consiste::PictPess("X"), "");
}

TEST(CheckResultServTest, PassesGoodAnswersAndRaisesOnTextAnswers) {
    const Variant packet = VarArrayOf({Variant(), Variant(1)});
    EXPECT_EQ(Consiste::CheckResultServ(packet, true, 0), packet);
    EXPECT_TRUE(Consiste::CheckResultServ(Variant(), true, 0).IsNull());
    try {
        Consiste::CheckResultServ(Variant("Falha no servidor"), true, 0);
        FAIL() << "a text answer must raise";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "Falha no servidor");
    }
    EXPECT_TRUE(Consiste::CheckResultServ(Variant("Falha"), false, 0).IsNull());
}

class PlatformFixture : public ::testing::Test {
protected:
    void SetUp() override { Application().SetPlatform(&platform); }
    void TearDown() override {
        Application().Reset();
        Application().SetPlatform(nullptr);
    }
    ScriptedPlatform platform;
};

using MensErroTest = PlatformFixture;

TEST_F(MensErroTest, ShowsTheTextThenAbortsSilently) {
    EXPECT_THROW(Consiste::MensErro("Filial deve ser informada.", true), EAbort);
    ASSERT_EQ(platform.messages().size(), 1u);
    EXPECT_EQ(platform.messages()[0].text, "Filial deve ser informada.");
    EXPECT_EQ(platform.messages()[0].type, TMsgDlgType::mtError);

    EXPECT_NO_THROW(Consiste::MensErro("Aviso", false));
    EXPECT_EQ(platform.messages().size(), 2u);
}

TEST_F(MensErroTest, DispatchedEventEndsQuietlyAfterTheMessage) {
    bool after = false;
    EXPECT_FALSE(Application().Dispatch([&] {
        Consiste::MensErro("Motivo precisa ser informado.", true);
        after = true;
    }));
    EXPECT_FALSE(after);
    EXPECT_EQ(platform.messages().size(), 1u);  // no second report of the abort
}

TEST(MessagesTest, LooksUpByExactKeyAndFallsBackToTheKey) {
    TMessages messages("msgPadrao");
    messages.Lines = {"3|Fechado", "N_PARAM_X|Texto %s com detalhe", "Excl|Confirma exclusão?",
                      "chave|com | barra"};
    EXPECT_EQ(messages.Msg("3"), "Fechado");
    EXPECT_EQ(messages.Msg("Excl"), "Confirma exclusão?");
    EXPECT_EQ(messages.Msg("chave"), "com | barra");
    EXPECT_EQ(messages.Msg("excl"), "excl");  // keys compare exactly
    EXPECT_EQ(messages.Msg("N_PARAM"), "N_PARAM");
    EXPECT_EQ(messages.Msg(""), "");
}

TEST_F(PlatformFixture, ShowMsgReturnsTheButtonPressed) {
    TMessages messages("msgPadrao");
    messages.Lines = {"Conf|Deseja confirmar?"};
    platform.QueueAnswer(mrYes);
    EXPECT_EQ(messages.ShowMsg("Conf", TMsgDlgType::mtConfirmation, mbYes | mbNo, 0), mrYes);
    platform.QueueAnswer(mrNo);
    EXPECT_EQ(messages.ShowMsg("Conf", TMsgDlgType::mtConfirmation, mbYes | mbNo, 0), mrNo);
    ASSERT_EQ(platform.messages().size(), 2u);
    EXPECT_EQ(platform.messages()[1].text, "Deseja confirmar?");
}

}  // namespace
}  // namespace host
