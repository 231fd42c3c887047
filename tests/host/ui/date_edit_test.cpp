#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/host/ui/ui_test_support.h"

namespace host::testing {
namespace {

using ::testing::IsEmpty;

class DateEditTest : public UiTest {
protected:
    TForm form{"frmFiltro"};
    TDateEditPlus* depDeEntrega = form.Make<TDateEditPlus>("depDeEntrega", &form);
};

TEST_F(DateEditTest, SetDateShowsDayMonthYearAndZeroAsEmpty) {
    depDeEntrega->SetDate(TDateTime{45000});
    EXPECT_EQ(depDeEntrega->Text(), "15/03/2023");
    depDeEntrega->SetDate(TDateTime{45351.75});
    EXPECT_EQ(depDeEntrega->Text(), "29/02/2024");
    depDeEntrega->SetDate(TDateTime{0});
    EXPECT_EQ(depDeEntrega->Text(), "");
}

TEST_F(DateEditTest, SaveTimeKeepsTheTimeOfDay) {
    depDeEntrega->SaveTime = true;
    depDeEntrega->SetDate(TDateTime{45351.75});
    EXPECT_EQ(depDeEntrega->Text(), "29/02/2024 18:00");
    EXPECT_DOUBLE_EQ(depDeEntrega->GetDate().days, 45351.75);
}

struct ParseCase {
    const char* text;
    double days;
};

TEST_F(DateEditTest, GetDateReadsTheTextOrGivesZero) {
    const std::vector<ParseCase> cases = {
        {"15/03/2023", 45000}, {"1/1/2000", 36526}, {"29/02/2024", 45351},
        {"29/02/2023", 0},     {"31/04/2023", 0},   {"", 0},
        {"  /  /    ", 0},     {"15/13/2023", 0},   {"15/03/2023 xx", 0},
        {"15/03/23", 45000},   {"abc", 0},
    };
    for (const ParseCase& parse : cases) {
        SCOPED_TRACE(parse.text);
        depDeEntrega->SetText(parse.text);
        EXPECT_DOUBLE_EQ(depDeEntrega->GetDate().days, parse.days);
    }
}

TEST_F(DateEditTest, CheckValidDateAcceptsEmptyAndValidDates) {
    for (const char* text : {"", "  /  /    ", "01/02/2024"}) {
        depDeEntrega->SetText(text);
        EXPECT_NO_THROW(depDeEntrega->CheckValidDate());
    }
    EXPECT_THAT(platform.messages(), IsEmpty());
}

TEST_F(DateEditTest, CheckValidDateShowsAnErrorAndAborts) {
    depDeEntrega->SetText("31/02/2024");
    EXPECT_THROW(depDeEntrega->CheckValidDate(), EAbort);
    ASSERT_EQ(platform.messages().size(), 1u);
    EXPECT_EQ(platform.messages()[0].text, "Data inválida.");
    EXPECT_EQ(platform.messages()[0].type, TMsgDlgType::mtError);
}

TEST_F(DateEditTest, AnInvalidDateKeepsTheFocusWhenCheckedOnExit) {
    auto* depAteEntrega = form.Make<TDateEditPlus>("depAteEntrega", &form);
    depDeEntrega->OnExit = [this](TObject*) { depDeEntrega->CheckValidDate(); };
    EXPECT_TRUE(form.UserType(depDeEntrega, "32/01/2024"));
    EXPECT_FALSE(form.UserFocus(depAteEntrega));
    EXPECT_EQ(form.ActiveControl(), depDeEntrega);
}

}  // namespace
}  // namespace host::testing
