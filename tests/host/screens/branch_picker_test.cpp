#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "host/screens/branch_picker.h"

namespace host {
namespace {

// A screen with a branch picker and handlers that say they ran.
class PickerScreen : public TForm {
public:
    PickerScreen() : TForm("frmPicker") { MakeBranchLookup(*this); }

    TPanel* const panFiltro = Make<TPanel>("panFiltro", this);
    // Filled in by MakeBranchPicker.
    TLabel* lblFilial = nullptr;
    TEdit* edtCdFilial = nullptr;
    TBtnPesquisa* btnFilial = nullptr;
    TEdit* edtNmFilial = nullptr;
    // What the handlers ran, in order.
    std::vector<std::string> ran;
    // Filled in by MakeBranchLookup.
    TADOIBQuery* qryFilial = nullptr;
    TDataSource* dstFilial = nullptr;

    void edtCdFilialChange(TObject* Sender) { ran.push_back("change:" + sender(Sender)); }
    void edtCdFilialExit(TObject* Sender) { ran.push_back("exit:" + sender(Sender)); }
    void btnFilialBeforePesq(TObject* Sender, bool& Cancel) {
        ran.push_back("before:" + sender(Sender));
        Cancel = true;
    }
    void btnFilialAfterPesq(TObject* Sender) { ran.push_back("after:" + sender(Sender)); }

private:
    static std::string sender(TObject* object) {
        const auto* component = dynamic_cast<TComponent*>(object);
        return component ? component->Name() : "?";
    }
};

struct Bounds {
    int left, top, width, height;
    friend bool operator==(const Bounds&, const Bounds&) = default;
};

void PrintTo(const Bounds& b, std::ostream* os) {
    *os << "(" << b.left << ", " << b.top << ", " << b.width << ", " << b.height << ")";
}

Bounds boundsOf(const TControl* control) {
    return {control->Left(), control->Top(), control->Width(), control->Height()};
}

TEST(BranchQueryTest, ReadsOneBranchOrAllOfThem) {
    PickerScreen screen;
    ASSERT_NE(screen.qryFilial, nullptr);
    EXPECT_EQ(screen.FindComponent("qryFilial"), screen.qryFilial);
    EXPECT_EQ(screen.qryFilial->SQL(),
              (std::vector<std::string>{"SELECT CDFILIAL, NMFILIAL", "FROM FILIAL",
                                        "WHERE CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T'",
                                        "ORDER BY CDFILIAL"}));
    const auto& fields = screen.qryFilial->DataSet().Fields();
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0]->FieldName(), "CDFILIAL");
    EXPECT_EQ(fields[0]->Size(), 4);
    EXPECT_EQ(fields[0]->DisplayLabel, "Código");
    EXPECT_EQ(fields[1]->FieldName(), "NMFILIAL");
    EXPECT_EQ(fields[1]->Size(), 30);
    EXPECT_EQ(fields[1]->DisplayLabel, "Nome");
    ASSERT_NE(screen.dstFilial, nullptr);
    EXPECT_EQ(screen.FindDataSource("dstFilial"), screen.dstFilial);
    EXPECT_EQ(screen.dstFilial->DataSet, &screen.qryFilial->DataSet());
}

// The two places the screens give it: at the left of its own panel, and
// after the period in a filter row.
struct PlaceCase {
    const char* name;
    TBranchPickerPlace place;
    Bounds label, code, button, branchName;
};

void PrintTo(const PlaceCase& c, std::ostream* os) {
    *os << c.name;
}

class BranchPickerTest : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(BranchPickerTest, MakesTheRowWhereItIsPut) {
    const PlaceCase& c = GetParam();
    PickerScreen screen;
    MakeBranchPicker(screen, screen.panFiltro, c.place);

    ASSERT_NE(screen.lblFilial, nullptr);
    EXPECT_EQ(screen.FindComponent("lblFilial"), screen.lblFilial);
    EXPECT_EQ(screen.FindComponent("edtCdFilial"), screen.edtCdFilial);
    EXPECT_EQ(screen.FindComponent("btnFilial"), screen.btnFilial);
    EXPECT_EQ(screen.FindComponent("edtNmFilial"), screen.edtNmFilial);
    for (const TControl* control :
         {static_cast<TControl*>(screen.lblFilial), static_cast<TControl*>(screen.edtCdFilial),
          static_cast<TControl*>(screen.btnFilial), static_cast<TControl*>(screen.edtNmFilial)}) {
        EXPECT_EQ(control->Parent(), screen.panFiltro) << control->Name();
    }
    EXPECT_EQ(boundsOf(screen.lblFilial), c.label);
    EXPECT_EQ(boundsOf(screen.edtCdFilial), c.code);
    EXPECT_EQ(boundsOf(screen.btnFilial), c.button);
    EXPECT_EQ(boundsOf(screen.edtNmFilial), c.branchName);

    EXPECT_EQ(screen.lblFilial->Caption(), "Filial");
    EXPECT_TRUE(screen.lblFilial->Bold());
    EXPECT_EQ(screen.lblFilial->FocusControl, screen.edtCdFilial);

    EXPECT_EQ(screen.edtCdFilial->MaxLength, 4);
    EXPECT_EQ(screen.edtCdFilial->CharCase, TEditCharCase::ecNormal);
    EXPECT_EQ(screen.edtCdFilial->Color(), TColor::clInfoBk);
    EXPECT_EQ(screen.edtCdFilial->TabOrder, c.place.CodeTabOrder);
    EXPECT_TRUE(screen.edtCdFilial->TabStop);
    EXPECT_TRUE(screen.edtCdFilial->Enabled());
    EXPECT_FALSE(screen.edtCdFilial->OnEnter) << "entering is the screen's own choice";

    EXPECT_EQ(screen.btnFilial->Associate, screen.edtCdFilial);
    EXPECT_EQ(screen.btnFilial->Title, "Empresa");
    EXPECT_EQ(screen.btnFilial->DataSource, screen.dstFilial);
    EXPECT_EQ(screen.btnFilial->EmptyError, "Não há empresa cadastrada.");
    EXPECT_EQ(screen.btnFilial->Hint(), "Pesquisar");
    EXPECT_TRUE(screen.btnFilial->KeyField.empty());

    EXPECT_FALSE(screen.edtNmFilial->Enabled());
    EXPECT_EQ(screen.edtNmFilial->Color(), TColor::clBtnFace);
    EXPECT_EQ(screen.edtNmFilial->MaxLength, 0);
    EXPECT_EQ(screen.edtNmFilial->TabOrder, 0);
    EXPECT_TRUE(screen.edtNmFilial->TabStop) << "tab stop is the screen's own choice";
    EXPECT_FALSE(screen.edtNmFilial->OnChange);
}

INSTANTIATE_TEST_SUITE_P(
    Places, BranchPickerTest,
    ::testing::Values(PlaceCase{"OwnPanel",
                                {.Left = 8, .Top = 6, .NameWidth = 260, .CodeTabOrder = 0},
                                {8, 9, 40, 16},
                                {52, 6, 48, 21},
                                {102, 6, 21, 21},
                                {126, 6, 260, 21}},
                      PlaceCase{"FilterRow",
                                {.Left = 290, .Top = 6, .NameWidth = 220, .CodeTabOrder = 2},
                                {290, 9, 40, 16},
                                {334, 6, 48, 21},
                                {384, 6, 21, 21},
                                {408, 6, 220, 21}}),
    [](const ::testing::TestParamInfo<PlaceCase>& param) { return std::string(param.param.name); });

TEST(BranchPickerEventsTest, RunTheScreensOwnHandlers) {
    PickerScreen screen;
    MakeBranchPicker(screen, screen.panFiltro, {.Left = 8, .Top = 6, .NameWidth = 260});

    screen.edtCdFilial->SetText("0002");
    ASSERT_TRUE(screen.edtCdFilial->OnExit);
    screen.edtCdFilial->OnExit(screen.edtCdFilial);
    bool cancel = false;
    ASSERT_TRUE(screen.btnFilial->OnBeforePesq);
    screen.btnFilial->OnBeforePesq(screen.btnFilial, cancel);
    ASSERT_TRUE(screen.btnFilial->OnAfterPesq);
    screen.btnFilial->OnAfterPesq(screen.btnFilial);

    EXPECT_EQ(screen.ran, (std::vector<std::string>{"change:edtCdFilial", "exit:edtCdFilial",
                                                    "before:btnFilial", "after:btnFilial"}));
    EXPECT_TRUE(cancel) << "the screen's answer reaches the button";
}

}  // namespace
}  // namespace host
