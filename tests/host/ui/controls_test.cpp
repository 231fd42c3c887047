#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/host/ui/ui_test_support.h"

namespace host::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ControlsTest : public UiTest {
protected:
    TForm form{"frmControls"};
    EventLog log;
};

// ---- Edits ----

TEST_F(ControlsTest, SetTextFiresOnChangeOnlyWhenTheTextChanges) {
    auto* edt = form.Make<TEdit>("edtCdFilial", &form);
    int changes = 0;
    edt->OnChange = [&](TObject*) { ++changes; };
    edt->SetText("0001");
    edt->SetText("0001");
    edt->Clear();
    edt->Clear();
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(edt->Text(), "");
}

struct TypingCase {
    TEditCharCase charCase;
    int maxLength;
    std::string typed;
    std::string expected;
};

TEST_F(ControlsTest, TypeTextAppliesCaseAndMaxLengthInCharacters) {
    const std::vector<TypingCase> cases = {
        {TEditCharCase::ecNormal, 0, "Ab c", "Ab c"},
        {TEditCharCase::ecUpperCase, 0, "ação é", "AÇÃO É"},
        {TEditCharCase::ecLowerCase, 0, "AÇÃO", "ação"},
        {TEditCharCase::ecUpperCase, 4, "abcdef", "ABCD"},
        {TEditCharCase::ecNormal, 3, "çãoxyz", "ção"},
        {TEditCharCase::ecNormal, 4, "12", "12"},
    };
    for (const TypingCase& typing : cases) {
        SCOPED_TRACE(typing.typed);
        TEdit edit("edt", nullptr);
        edit.CharCase = typing.charCase;
        edit.MaxLength = typing.maxLength;
        edit.TypeText(typing.typed);
        EXPECT_EQ(edit.Text(), typing.expected);
    }
}

TEST_F(ControlsTest, ReadOnlyEditIgnoresTyping) {
    TEdit edit("edt", nullptr);
    edit.SetText("x");
    edit.SetReadOnly(true);
    edit.TypeText("y");
    EXPECT_EQ(edit.Text(), "x");
}

TEST_F(ControlsTest, UserTypeFocusesThenTypesAndAFailedMoveTypesNothing) {
    auto* edtCdFilial = form.Make<TEdit>("edtCdFilial", &form);
    auto* edtCdJust = form.Make<TEdit>("edtCdJust", &form);
    edtCdJust->CharCase = TEditCharCase::ecUpperCase;
    log.watchFocus(edtCdFilial);
    log.watchFocus(edtCdJust);
    edtCdJust->OnChange = [&](TObject*) { log.add("edtCdJust:Change"); };

    EXPECT_TRUE(form.UserType(edtCdJust, "ab"));
    EXPECT_THAT(log.entries, ElementsAre("edtCdJust:Enter", "edtCdJust:Change"));
    EXPECT_EQ(edtCdJust->Text(), "AB");

    form.FocusControl(edtCdFilial);
    edtCdFilial->OnExit = [](TObject*) { throw EAbort(); };
    log.clear();
    EXPECT_FALSE(form.UserType(edtCdJust, "cd"));
    EXPECT_EQ(edtCdJust->Text(), "AB");
    EXPECT_EQ(form.ActiveControl(), edtCdFilial);
    EXPECT_THAT(log.entries, IsEmpty());
    EXPECT_THAT(platform.messages(), IsEmpty());
}

TEST_F(ControlsTest, PropertySettersNotifyObserversOnlyOnChange) {
    auto* lbl = form.Make<TLabel>("lblFilial", &form);
    std::vector<TProp> seen;
    const int token = lbl->AddObserver([&](TControl&, TProp what) { seen.push_back(what); });
    lbl->SetCaption("Filial");
    lbl->SetCaption("Filial");
    lbl->SetEnabled(false);
    lbl->SetBold(true);
    lbl->RemoveObserver(token);
    lbl->SetVisible(false);
    EXPECT_THAT(seen, ElementsAre(TProp::Caption, TProp::Enabled, TProp::Font));
}

// ---- Check box and radio buttons ----

TEST_F(ControlsTest, CheckBoxClickTogglesThenRunsOnClick) {
    auto* chb = form.Make<TCheckBox>("chbFechado", &form);
    std::vector<bool> seen;
    chb->OnClick = [&](TObject*) { seen.push_back(chb->Checked()); };
    chb->Click();
    chb->Click();
    EXPECT_THAT(seen, ElementsAre(true, false));
}

TEST_F(ControlsTest, CheckBoxSetCheckedRunsOnClickOnlyOnAChange) {
    auto* chb = form.Make<TCheckBox>("chbFechado", &form);
    int clicks = 0;
    chb->OnClick = [&](TObject*) { ++clicks; };
    chb->SetChecked(true);
    chb->SetChecked(true);
    EXPECT_EQ(clicks, 1);
}

TEST_F(ControlsTest, DisabledCheckBoxIgnoresClicks) {
    auto* chb = form.Make<TCheckBox>("chbPendente", &form);
    chb->SetEnabled(false);
    int clicks = 0;
    chb->OnClick = [&](TObject*) { ++clicks; };
    chb->Click();
    EXPECT_FALSE(chb->Checked());
    EXPECT_EQ(clicks, 0);
}

class RadioTest : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        grbVendedor = form.Make<TGroupBox>("grbVendedor", &form);
        rbtTVendedor = form.Make<TRadioButton>("rbtTVendedor", grbVendedor);
        rbtLVendedor = form.Make<TRadioButton>("rbtLVendedor", grbVendedor);
        grbCliente = form.Make<TGroupBox>("grbCliente", &form);
        rbtTCliente = form.Make<TRadioButton>("rbtTCliente", grbCliente);
        for (TRadioButton* radio : {rbtTVendedor, rbtLVendedor, rbtTCliente}) {
            log.watchClick(radio);
        }
        rbtTVendedor->SetChecked(true);
        rbtTCliente->SetChecked(true);
        log.clear();
    }

    TGroupBox* grbVendedor = nullptr;
    TGroupBox* grbCliente = nullptr;
    TRadioButton* rbtTVendedor = nullptr;
    TRadioButton* rbtLVendedor = nullptr;
    TRadioButton* rbtTCliente = nullptr;
};

TEST_F(RadioTest, CheckingOneClearsItsSiblingsOnlyAndRunsItsOwnClick) {
    rbtLVendedor->SetChecked(true);
    EXPECT_TRUE(rbtLVendedor->Checked());
    EXPECT_FALSE(rbtTVendedor->Checked());
    EXPECT_TRUE(rbtTCliente->Checked());
    EXPECT_THAT(log.entries, ElementsAre("rbtLVendedor:Click"));
}

TEST_F(RadioTest, UncheckingOrCheckingAgainRunsNothing) {
    rbtTVendedor->SetChecked(true);
    rbtTVendedor->SetChecked(false);
    EXPECT_FALSE(rbtTVendedor->Checked());
    EXPECT_FALSE(rbtLVendedor->Checked());
    EXPECT_THAT(log.entries, IsEmpty());
}

TEST_F(RadioTest, ClickSelectsAndUserClickMovesTheFocusFirst) {
    log.watchFocus(rbtLVendedor);
    EXPECT_TRUE(form.UserClick(rbtLVendedor));
    EXPECT_THAT(log.entries, ElementsAre("rbtLVendedor:Enter", "rbtLVendedor:Click"));
    EXPECT_TRUE(rbtLVendedor->Checked());
    EXPECT_FALSE(rbtTVendedor->Checked());
    EXPECT_EQ(form.ActiveControl(), rbtLVendedor);
}

// ---- Buttons ----

struct PressCase {
    const char* name;
    std::function<void(TPanel&, TControl&)> arrange;
    bool runs;
};

TEST_F(ControlsTest, ClickRunsOnlyOnAReachableControl) {
    const std::vector<PressCase> cases = {
        {"enabled", [](TPanel&, TControl&) {}, true},
        {"disabled", [](TPanel&, TControl& c) { c.SetEnabled(false); }, false},
        {"hidden", [](TPanel&, TControl& c) { c.SetVisible(false); }, false},
        {"parent disabled", [](TPanel& p, TControl&) { p.SetEnabled(false); }, false},
    };
    for (const PressCase& press : cases) {
        SCOPED_TRACE(press.name);
        TForm owner("frmPress");
        auto* panMenu = owner.Make<TPanel>("panMenu", &owner);
        auto* sbtConfirmar = owner.Make<TSpeedButton>("sbtConfirmar", panMenu);
        auto* btnOk = owner.Make<TButton>("btnOk", panMenu);
        int clicks = 0;
        sbtConfirmar->OnClick = [&](TObject*) { ++clicks; };
        btnOk->OnClick = [&](TObject*) { ++clicks; };
        press.arrange(*panMenu, *sbtConfirmar);
        press.arrange(*panMenu, *btnOk);
        sbtConfirmar->Click();
        btnOk->Click();
        EXPECT_EQ(clicks, press.runs ? 2 : 0);
    }
}

TEST_F(ControlsTest, UserClickOnAButtonMovesTheFocusAndAFailedMoveCancelsTheClick) {
    auto* edtCdJust = form.Make<TEdit>("edtCdJust", &form);
    auto* btnOk = form.Make<TButton>("btnOk", &form);
    log.watchFocus(edtCdJust);
    log.watchFocus(btnOk);
    log.watchClick(btnOk);
    form.FocusControl(edtCdJust);
    log.clear();
    EXPECT_TRUE(form.UserClick(btnOk));
    EXPECT_THAT(log.entries, ElementsAre("edtCdJust:Exit", "btnOk:Enter", "btnOk:Click"));

    form.FocusControl(edtCdJust);
    edtCdJust->OnExit = [](TObject*) { throw EAbort(); };
    log.clear();
    EXPECT_FALSE(form.UserClick(btnOk));
    EXPECT_THAT(log.entries, IsEmpty());
    EXPECT_EQ(form.ActiveControl(), edtCdJust);
}

TEST_F(ControlsTest, UserClickOnASpeedButtonLeavesTheFocusAlone) {
    auto* edtCdJust = form.Make<TEdit>("edtCdJust", &form);
    auto* sbtConfirmar = form.Make<TSpeedButton>("sbtConfirmar", &form);
    log.watchFocus(edtCdJust);
    log.watchClick(sbtConfirmar);
    form.FocusControl(edtCdJust);
    log.clear();
    EXPECT_TRUE(form.UserClick(sbtConfirmar));
    EXPECT_THAT(log.entries, ElementsAre("sbtConfirmar:Click"));
    EXPECT_EQ(form.ActiveControl(), edtCdJust);
}

TEST_F(ControlsTest, UserClickOnADisabledButtonDoesNothing) {
    auto* edtCdJust = form.Make<TEdit>("edtCdJust", &form);
    auto* btnOk = form.Make<TButton>("btnOk", &form);
    log.watchFocus(edtCdJust);
    log.watchClick(btnOk);
    form.FocusControl(edtCdJust);
    btnOk->SetEnabled(false);
    log.clear();
    EXPECT_TRUE(form.UserClick(btnOk));
    EXPECT_THAT(log.entries, IsEmpty());
    EXPECT_THAT(platform.messages(), IsEmpty());
}

// ---- Page control ----

class PagesTest : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        pgcPadrao = form.Make<TPageControl>("pgcPadrao", &form);
        tshPadrao = form.Make<TTabSheet>("tshPadrao", pgcPadrao);
        tshItens = form.Make<TTabSheet>("tshItens", pgcPadrao);
        tshMotivo = form.Make<TTabSheet>("tshMotivo", pgcPadrao);
        pgcPadrao->OnChange = [this](TObject*) {
            log.add("Change:" + pgcPadrao->ActivePage()->Name());
        };
    }

    TPageControl* pgcPadrao = nullptr;
    TTabSheet* tshPadrao = nullptr;
    TTabSheet* tshItens = nullptr;
    TTabSheet* tshMotivo = nullptr;
};

TEST_F(PagesTest, TheFirstPageStartsInFront) {
    EXPECT_EQ(pgcPadrao->ActivePage(), tshPadrao);
    EXPECT_EQ(pgcPadrao->ActivePageIndex(), 0);
    EXPECT_THAT(pgcPadrao->Pages(), ElementsAre(tshPadrao, tshItens, tshMotivo));
}

TEST_F(PagesTest, SetActivePageBringsAnEnabledPageForwardWithoutOnChange) {
    pgcPadrao->SetActivePage(tshItens);
    EXPECT_EQ(pgcPadrao->ActivePage(), tshItens);
    EXPECT_EQ(pgcPadrao->ActivePageIndex(), 1);
    EXPECT_THAT(log.entries, IsEmpty());
}

TEST_F(PagesTest, SetActivePageRefusesADisabledPageSilently) {
    tshMotivo->SetEnabled(false);
    pgcPadrao->SetActivePage(tshMotivo);
    EXPECT_EQ(pgcPadrao->ActivePage(), tshPadrao);
    EXPECT_THAT(log.entries, IsEmpty());
}

TEST_F(PagesTest, ClickTabRunsOnChangeAndRefusesDisabledPages) {
    tshItens->SetEnabled(false);
    pgcPadrao->ClickTab(tshItens);
    EXPECT_EQ(pgcPadrao->ActivePage(), tshPadrao);
    pgcPadrao->ClickTab(tshMotivo);
    EXPECT_EQ(pgcPadrao->ActivePage(), tshMotivo);
    pgcPadrao->ClickTab(tshMotivo);
    EXPECT_THAT(log.entries, ElementsAre("Change:tshMotivo"));
}

TEST_F(PagesTest, TabsOfADisabledPageControlDoNotReact) {
    pgcPadrao->SetEnabled(false);
    pgcPadrao->ClickTab(tshItens);
    EXPECT_EQ(pgcPadrao->ActivePage(), tshPadrao);
    EXPECT_THAT(log.entries, IsEmpty());
}

TEST_F(PagesTest, UserClickOnATabSheetIsAClickOnItsTab) {
    EXPECT_TRUE(form.UserClick(tshItens));
    tshMotivo->SetEnabled(false);
    EXPECT_TRUE(form.UserClick(tshMotivo));
    EXPECT_EQ(pgcPadrao->ActivePage(), tshItens);
    EXPECT_THAT(log.entries, ElementsAre("Change:tshItens"));
}

// ---- Menu items ----

TEST_F(ControlsTest, MenuItemsKeepCaptionsShortcutsAndCheckMarks) {
    auto* mnuFiltrar = form.Make<TMenuItem>("mnuFiltrar", form.Menu());
    int notices = 0;
    mnuFiltrar->AddObserver([&](TMenuItem&) { ++notices; });
    mnuFiltrar->SetCaption("Fi&ltrar");
    mnuFiltrar->SetShortCut("Ctrl+L");
    mnuFiltrar->SetChecked(true);
    EXPECT_EQ(mnuFiltrar->Caption(), "Fi&ltrar");
    EXPECT_EQ(mnuFiltrar->ShortCutKey, 'L');
    EXPECT_EQ(mnuFiltrar->ShortCutShift, ssCtrl);
    EXPECT_EQ(mnuFiltrar->ShortCutText(), "Ctrl+L");
    EXPECT_TRUE(mnuFiltrar->Checked());
    EXPECT_EQ(notices, 3);
    EXPECT_EQ(form.Menu()->Name(), "mnuPrincipal");
    EXPECT_THAT(form.Menu()->Items(), ElementsAre(mnuFiltrar));
    EXPECT_EQ(form.FindComponent("mnuFiltrar"), mnuFiltrar);
}

TEST_F(ControlsTest, AShortcutTextThatNamesNoKeyIsRefused) {
    auto* mnu = form.Make<TMenuItem>("mnuX", form.Menu());
    EXPECT_THROW(mnu->SetShortCut("Ctrl+Nada"), EInvalidOperation);
    mnu->SetShortCut("");
    EXPECT_EQ(mnu->ShortCutKey, 0);
    EXPECT_EQ(mnu->ShortCutText(), "");
}

TEST_F(ControlsTest, MenuItemClickRunsOnlyWhenItAndItsParentsAreEnabled) {
    auto* mnuOperacao = form.Make<TMenuItem>("mnuOperacao", form.Menu());
    auto* mnuItens = form.Make<TMenuItem>("mnuItens", mnuOperacao);
    int clicks = 0;
    mnuItens->OnClick = [&](TObject*) { ++clicks; };
    mnuItens->Click();
    mnuItens->SetEnabled(false);
    mnuItens->Click();
    mnuItens->SetEnabled(true);
    mnuOperacao->SetEnabled(false);
    EXPECT_TRUE(form.UserClickMenu(mnuItens));
    EXPECT_EQ(clicks, 1);
}

TEST_F(ControlsTest, DuplicateComponentNamesAreRefused) {
    form.Make<TEdit>("edtCdFilial", &form);
    EXPECT_THROW(form.Make<TEdit>("edtCdFilial", &form), EInvalidOperation);
    EXPECT_EQ(form.Controls().size(), 1u);
}

TEST_F(ControlsTest, DestroyingTheFocusedControlClearsActiveControl) {
    auto* panel = new TPanel("panTemp", &form);
    auto* edit = new TEdit("edtTemp", panel);
    form.FocusControl(edit);
    delete edit;
    EXPECT_EQ(form.ActiveControl(), nullptr);
    EXPECT_TRUE(panel->Controls().empty());
    delete panel;
    EXPECT_TRUE(form.Controls().empty());
}

}  // namespace
}  // namespace host::testing
