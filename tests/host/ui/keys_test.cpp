#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/host/ui/ui_test_support.h"

namespace host::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A form with KeyPreview, a Ctrl+L menu item and three edits, each handler
// logging what it saw.
class KeyTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        form.KeyPreview = true;
        mnuManutencao = form.Make<TMenuItem>("mnuManutencao", form.Menu());
        mnuFiltrar = form.Make<TMenuItem>("mnuFiltrar", mnuManutencao);
        mnuFiltrar->SetCaption("Fi&ltrar");
        mnuFiltrar->SetShortCut("Ctrl+L");
        mnuFiltrar->OnClick = [this](TObject*) { log.add("mnuFiltrar"); };
        edtFirst = form.Make<TEdit>("edtFirst", &form);
        edtSecond = form.Make<TEdit>("edtSecond", &form);
        edtThird = form.Make<TEdit>("edtThird", &form);
        form.OnKeyDown = [this](TObject*, Word& key, TShiftState) {
            log.add("form:" + std::to_string(key));
            if (key == formSwallows) {
                key = 0;
            }
        };
        edtFirst->OnKeyDown = [this](TObject*, Word& key, TShiftState) {
            log.add("edtFirst:" + std::to_string(key));
            if (key == controlSwallows) {
                key = 0;
            }
        };
        form.FocusControl(edtFirst);
    }

    TForm form{"frmKeys"};
    TMenuItem* mnuManutencao = nullptr;
    TMenuItem* mnuFiltrar = nullptr;
    TEdit* edtFirst = nullptr;
    TEdit* edtSecond = nullptr;
    TEdit* edtThird = nullptr;
    Word formSwallows = 0xFFFF;
    Word controlSwallows = 0xFFFF;
    EventLog log;
};

TEST_F(KeyTest, AMenuShortcutRunsTheItemAndNothingElse) {
    form.KeyDown(edtFirst, 'L', ssCtrl);
    EXPECT_THAT(log.entries, ElementsAre("mnuFiltrar"));
}

TEST_F(KeyTest, TheShortcutNeedsTheExactShiftState) {
    form.KeyDown(edtFirst, 'L', ssCtrl | ssShift);
    EXPECT_THAT(log.entries, ElementsAre("form:76", "edtFirst:76"));
}

TEST_F(KeyTest, AShortcutOfAnUnusableItemGoesOnToTheHandlers) {
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"item disabled", [this] { mnuFiltrar->SetEnabled(false); }},
        {"item hidden", [this] { mnuFiltrar->SetVisible(false); }},
        {"parent disabled", [this] { mnuManutencao->SetEnabled(false); }},
    };
    for (const auto& [name, arrange] : cases) {
        SCOPED_TRACE(name);
        mnuFiltrar->SetEnabled(true);
        mnuFiltrar->SetVisible(true);
        mnuManutencao->SetEnabled(true);
        arrange();
        log.clear();
        form.KeyDown(edtFirst, 'L', ssCtrl);
        EXPECT_THAT(log.entries, ElementsAre("form:76", "edtFirst:76"));
    }
}

TEST_F(KeyTest, KeyPreviewRunsTheFormBeforeTheControl) {
    form.KeyDown(edtFirst, 'A', 0);
    EXPECT_THAT(log.entries, ElementsAre("form:65", "edtFirst:65"));
}

TEST_F(KeyTest, WithoutKeyPreviewOnlyTheControlSeesTheKey) {
    form.KeyPreview = false;
    form.KeyDown(edtFirst, 'A', 0);
    EXPECT_THAT(log.entries, ElementsAre("edtFirst:65"));
}

TEST_F(KeyTest, AKeyZeroedByTheFormEndsIt) {
    formSwallows = VK_TAB;
    form.KeyDown(edtFirst, VK_TAB, 0);
    EXPECT_THAT(log.entries, ElementsAre("form:9"));
    EXPECT_EQ(form.ActiveControl(), edtFirst);
}

TEST_F(KeyTest, AKeyZeroedByTheControlEndsIt) {
    controlSwallows = VK_TAB;
    form.KeyDown(edtFirst, VK_TAB, 0);
    EXPECT_THAT(log.entries, ElementsAre("form:9", "edtFirst:9"));
    EXPECT_EQ(form.ActiveControl(), edtFirst);
}

TEST_F(KeyTest, TabMovesForwardAfterTheHandlersAndShiftTabBackward) {
    log.watchFocus(edtFirst);
    log.watchFocus(edtSecond);
    form.KeyDown(edtFirst, VK_TAB, 0);
    EXPECT_THAT(log.entries,
                ElementsAre("form:9", "edtFirst:9", "edtFirst:Exit", "edtSecond:Enter"));
    EXPECT_EQ(form.ActiveControl(), edtSecond);
    form.KeyDown(nullptr, VK_TAB, ssShift);
    EXPECT_EQ(form.ActiveControl(), edtFirst);
    form.KeyDown(nullptr, VK_TAB, ssShift);
    EXPECT_EQ(form.ActiveControl(), edtThird);
}

TEST_F(KeyTest, CtrlTabDoesNotMoveTheFocus) {
    form.KeyDown(edtFirst, VK_TAB, ssCtrl);
    EXPECT_EQ(form.ActiveControl(), edtFirst);
}

TEST_F(KeyTest, UserKeyReportsAFailedTabMoveAndKeepsTheFocus) {
    edtFirst->OnExit = [](TObject*) { throw Exception("Motivo precisa ser informado."); };
    EXPECT_FALSE(form.UserKey(edtFirst, VK_TAB, 0));
    EXPECT_EQ(form.ActiveControl(), edtFirst);
    ASSERT_EQ(platform.messages().size(), 1u);
    EXPECT_EQ(platform.messages()[0].text, "Motivo precisa ser informado.");
}

TEST_F(KeyTest, SpaceTogglesACheckBoxAndEnterPressesAButton) {
    auto* chbFechado = form.Make<TCheckBox>("chbFechado", &form);
    auto* btnOk = form.Make<TButton>("btnOk", &form);
    log.watchClick(chbFechado);
    log.watchClick(btnOk);
    form.KeyPreview = false;
    form.KeyDown(chbFechado, VK_SPACE, 0);
    EXPECT_TRUE(chbFechado->Checked());
    form.KeyDown(btnOk, VK_RETURN, 0);
    form.KeyDown(btnOk, VK_SPACE, 0);
    form.KeyDown(chbFechado, VK_RETURN, 0);
    EXPECT_THAT(log.entries, ElementsAre("chbFechado:Click", "btnOk:Click"));
    EXPECT_TRUE(chbFechado->Checked());
}

TEST_F(KeyTest, ShortcutsOfOtherMenusOfTheTreeWork) {
    auto* mnuOperacao = form.Make<TMenuItem>("mnuOperacao", form.Menu());
    auto* mnuItens = form.Make<TMenuItem>("mnuItens", mnuOperacao);
    mnuItens->SetShortCut("F9");
    mnuItens->OnClick = [this](TObject*) { log.add("mnuItens"); };
    form.KeyDown(nullptr, VK_F9, 0);
    EXPECT_THAT(log.entries, ElementsAre("mnuItens"));
}

}  // namespace
}  // namespace host::testing
