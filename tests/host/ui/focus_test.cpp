#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/host/ui/ui_test_support.h"

namespace host::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// panA { edtA1, edtA2 }, panB { grbB { edtB1 } }, edtC, all watched.
struct Layout {
    Layout() {
        panA = form.Make<TPanel>("panA", &form);
        edtA1 = form.Make<TEdit>("edtA1", panA);
        edtA2 = form.Make<TEdit>("edtA2", panA);
        panB = form.Make<TPanel>("panB", &form);
        grbB = form.Make<TGroupBox>("grbB", panB);
        edtB1 = form.Make<TEdit>("edtB1", grbB);
        edtC = form.Make<TEdit>("edtC", &form);
        for (TWinControl* control :
             std::vector<TWinControl*>{panA, edtA1, edtA2, panB, grbB, edtB1, edtC}) {
            log.watchFocus(control);
        }
    }

    TWinControl* byName(const std::string& name) {
        return name.empty() ? nullptr : dynamic_cast<TWinControl*>(form.FindComponent(name));
    }

    TForm form{"frmFocus"};
    TPanel* panA = nullptr;
    TEdit* edtA1 = nullptr;
    TEdit* edtA2 = nullptr;
    TPanel* panB = nullptr;
    TGroupBox* grbB = nullptr;
    TEdit* edtB1 = nullptr;
    TEdit* edtC = nullptr;
    EventLog log;
};

class FocusTest : public UiTest, public Layout {};

struct MoveCase {
    const char* from;  // "" : nothing focused yet
    const char* to;
    std::vector<std::string> events;
};

TEST_F(FocusTest, MovesRunExitsInnermostFirstThenEntersOutermostFirst) {
    const std::vector<MoveCase> cases = {
        {"", "edtA1", {"panA:Enter", "edtA1:Enter"}},
        {"", "edtB1", {"panB:Enter", "grbB:Enter", "edtB1:Enter"}},
        {"edtA1", "edtA2", {"edtA1:Exit", "edtA2:Enter"}},
        {"edtA1", "edtB1", {"edtA1:Exit", "panA:Exit", "panB:Enter", "grbB:Enter", "edtB1:Enter"}},
        {"edtB1", "edtC", {"edtB1:Exit", "grbB:Exit", "panB:Exit", "edtC:Enter"}},
        {"edtC", "edtB1", {"edtC:Exit", "panB:Enter", "grbB:Enter", "edtB1:Enter"}},
        {"edtB1", "edtA2", {"edtB1:Exit", "grbB:Exit", "panB:Exit", "panA:Enter", "edtA2:Enter"}},
        {"edtA1", "edtA1", {}},
    };
    for (const MoveCase& move : cases) {
        SCOPED_TRACE(std::string(move.from) + " -> " + move.to);
        Layout fresh;
        if (*move.from != '\0') {
            fresh.form.FocusControl(fresh.byName(move.from));
        }
        fresh.log.clear();
        fresh.form.FocusControl(fresh.byName(move.to));
        EXPECT_EQ(fresh.log.entries, move.events);
        EXPECT_EQ(fresh.form.ActiveControl(), fresh.byName(move.to));
    }
}

TEST_F(FocusTest, FirstFocusOfTheFormEntersEveryContainer) {
    form.FocusControl(edtB1);
    EXPECT_THAT(log.entries, ElementsAre("panB:Enter", "grbB:Enter", "edtB1:Enter"));
}

TEST_F(FocusTest, ActiveControlChangesAfterTheExitsAndBeforeTheEnters) {
    form.FocusControl(edtA1);
    std::vector<const TWinControl*> seen;
    edtA1->OnExit = [&](TObject*) { seen.push_back(form.ActiveControl()); };
    panA->OnExit = [&](TObject*) { seen.push_back(form.ActiveControl()); };
    panB->OnEnter = [&](TObject*) { seen.push_back(form.ActiveControl()); };
    edtB1->OnEnter = [&](TObject*) { seen.push_back(form.ActiveControl()); };
    form.FocusControl(edtB1);
    EXPECT_THAT(seen, ElementsAre(edtA1, edtA1, edtB1, edtB1));
}

TEST_F(FocusTest, AnAbortInTheControlsExitKeepsTheFocusAndEndsTheMove) {
    form.FocusControl(edtA1);
    log.clear();
    edtA1->OnExit = [&](TObject*) {
        log.add("edtA1:Exit");
        throw EAbort();
    };
    EXPECT_THROW(form.FocusControl(edtB1), EAbort);
    EXPECT_THAT(log.entries, ElementsAre("edtA1:Exit"));
    EXPECT_EQ(form.ActiveControl(), edtA1);
}

TEST_F(FocusTest, AnErrorInAContainersExitKeepsTheFocusAndSkipsOuterExitsAndEnters) {
    form.FocusControl(edtB1);
    log.clear();
    grbB->OnExit = [&](TObject*) {
        log.add("grbB:Exit");
        throw Exception("falhou");
    };
    EXPECT_THROW(form.FocusControl(edtC), Exception);
    EXPECT_THAT(log.entries, ElementsAre("edtB1:Exit", "grbB:Exit"));
    EXPECT_EQ(form.ActiveControl(), edtB1);
}

TEST_F(FocusTest, ExitHandlerThatRefocusesItsOwnControlBeforeAbortingDoesNotRecurse) {
    form.FocusControl(edtA1);
    log.clear();
    edtA1->OnExit = [&](TObject*) {
        log.add("edtA1:Exit");
        edtA1->SetFocus();
        throw EAbort();
    };
    EXPECT_FALSE(form.UserFocus(edtC));
    EXPECT_THAT(log.entries, ElementsAre("edtA1:Exit"));
    EXPECT_EQ(form.ActiveControl(), edtA1);
    EXPECT_THAT(platform.messages(), IsEmpty());
}

TEST_F(FocusTest, AMoveStartedByAnExitHandlerWinsAndNoExitRunsTwice) {
    form.FocusControl(edtA1);
    log.clear();
    edtA1->OnExit = [&](TObject*) {
        log.add("edtA1:Exit");
        edtC->SetFocus();
    };
    form.FocusControl(edtB1);
    EXPECT_THAT(log.entries, ElementsAre("edtA1:Exit", "panA:Exit", "edtC:Enter"));
    EXPECT_EQ(form.ActiveControl(), edtC);
}

TEST_F(FocusTest, AMoveStartedByAnEnterHandlerEndsTheEntersOfTheFirstMove) {
    form.FocusControl(edtC);
    log.clear();
    panB->OnEnter = [&](TObject*) {
        log.add("panB:Enter");
        edtA1->SetFocus();
    };
    form.FocusControl(edtB1);
    EXPECT_THAT(log.entries, ElementsAre("edtC:Exit", "panB:Enter", "edtB1:Exit", "grbB:Exit",
                                         "panB:Exit", "panA:Enter", "edtA1:Enter"));
    EXPECT_EQ(form.ActiveControl(), edtA1);
}

struct RefusalCase {
    const char* name;
    std::function<void(Layout&)> arrange;
};

TEST_F(FocusTest, ControlsThatCannotTakeTheFocusAreRefusedWithoutRunningAnything) {
    const std::vector<RefusalCase> cases = {
        {"disabled control", [](Layout& t) { t.edtB1->SetEnabled(false); }},
        {"hidden control", [](Layout& t) { t.edtB1->SetVisible(false); }},
        {"disabled parent", [](Layout& t) { t.grbB->SetEnabled(false); }},
        {"hidden grandparent", [](Layout& t) { t.panB->SetVisible(false); }},
    };
    for (const RefusalCase& refusal : cases) {
        SCOPED_TRACE(refusal.name);
        Layout fresh;
        fresh.form.FocusControl(fresh.edtA1);
        refusal.arrange(fresh);
        fresh.log.clear();
        EXPECT_FALSE(fresh.edtB1->CanFocus());
        try {
            fresh.form.FocusControl(fresh.edtB1);
            ADD_FAILURE() << "no error";
        } catch (const EInvalidOperation& error) {
            EXPECT_STREQ(error.what(), "Cannot focus a disabled or invisible window");
        }
        EXPECT_THAT(fresh.log.entries, IsEmpty());
        EXPECT_EQ(fresh.form.ActiveControl(), fresh.edtA1);
    }
}

TEST_F(FocusTest, ContainersNeverTakeTheFocus) {
    EXPECT_FALSE(panA->CanFocus());
    EXPECT_FALSE(grbB->CanFocus());
    EXPECT_THROW(form.FocusControl(panA), EInvalidOperation);
    form.FocusControl(edtC);
    grbB->SetFocus();
    EXPECT_EQ(form.ActiveControl(), edtC);
}

TEST_F(FocusTest, SetFocusOnAControlThatCannotTakeItRunsNothingAndRaisesNothing) {
    const std::vector<RefusalCase> cases = {
        {"disabled control", [](Layout& t) { t.edtB1->SetEnabled(false); }},
        {"hidden control", [](Layout& t) { t.edtB1->SetVisible(false); }},
        {"disabled parent", [](Layout& t) { t.grbB->SetEnabled(false); }},
        {"hidden grandparent", [](Layout& t) { t.panB->SetVisible(false); }},
    };
    for (const RefusalCase& refusal : cases) {
        SCOPED_TRACE(refusal.name);
        Layout fresh;
        fresh.form.FocusControl(fresh.edtA1);
        refusal.arrange(fresh);
        fresh.log.clear();
        EXPECT_FALSE(fresh.edtB1->CanTakeFocus());
        fresh.edtB1->SetFocus();
        EXPECT_THAT(fresh.log.entries, IsEmpty());
        EXPECT_EQ(fresh.form.ActiveControl(), fresh.edtA1);
    }
}

TEST_F(FocusTest, SetFocusGoesThroughTheForm) {
    edtA2->SetFocus();
    EXPECT_EQ(form.ActiveControl(), edtA2);
    EXPECT_TRUE(edtA2->Focused());
    EXPECT_FALSE(edtA1->Focused());
    EXPECT_THAT(log.entries, ElementsAre("panA:Enter", "edtA2:Enter"));
}

TEST_F(FocusTest, UserFocusReportsErrorsOfExitHandlersThroughThePlatform) {
    form.FocusControl(edtA1);
    edtA1->OnExit = [](TObject*) { throw Exception("Filial deve ser informada."); };
    EXPECT_FALSE(form.UserFocus(edtC));
    ASSERT_EQ(platform.messages().size(), 1u);
    EXPECT_EQ(platform.messages()[0].text, "Filial deve ser informada.");
    EXPECT_EQ(platform.messages()[0].type, TMsgDlgType::mtError);
    EXPECT_EQ(form.ActiveControl(), edtA1);
}

// A page control with two pages; pgcPages sits on the form after edtC.
class PageFocusTest : public FocusTest {
protected:
    void SetUp() override {
        FocusTest::SetUp();
        pgcPages = form.Make<TPageControl>("pgcPages", &form);
        tshOne = form.Make<TTabSheet>("tshOne", pgcPages);
        tshTwo = form.Make<TTabSheet>("tshTwo", pgcPages);
        edtOne = form.Make<TEdit>("edtOne", tshOne);
        edtTwo = form.Make<TEdit>("edtTwo", tshTwo);
        pgcPages->OnChange = [this](TObject*) { log.add("pgcPages:Change"); };
        log.watchFocus(edtTwo);
        log.watchFocus(tshTwo);
    }

    TPageControl* pgcPages = nullptr;
    TTabSheet* tshOne = nullptr;
    TTabSheet* tshTwo = nullptr;
    TEdit* edtOne = nullptr;
    TEdit* edtTwo = nullptr;
};

TEST_F(PageFocusTest, ControlsOnAPageBehindCannotTakeTheFocusUntilItComesForward) {
    EXPECT_EQ(pgcPages->ActivePage(), tshOne);
    EXPECT_TRUE(edtOne->CanFocus());
    EXPECT_FALSE(edtTwo->CanFocus());
}

TEST_F(PageFocusTest, FocusingAControlOnAPageBehindBringsThePageForwardWithoutOnChange) {
    form.FocusControl(edtA1);
    log.clear();
    form.FocusControl(edtTwo);
    EXPECT_EQ(pgcPages->ActivePage(), tshTwo);
    EXPECT_EQ(form.ActiveControl(), edtTwo);
    EXPECT_THAT(log.entries,
                ElementsAre("edtA1:Exit", "panA:Exit", "tshTwo:Enter", "edtTwo:Enter"));
}

TEST_F(PageFocusTest, APageIsNotBroughtForwardWhenAnExitAborts) {
    form.FocusControl(edtA1);
    edtA1->OnExit = [](TObject*) { throw EAbort(); };
    EXPECT_THROW(form.FocusControl(edtTwo), EAbort);
    EXPECT_EQ(pgcPages->ActivePage(), tshOne);
}

TEST_F(PageFocusTest, AControlOnADisabledPageIsRefused) {
    tshTwo->SetEnabled(false);
    EXPECT_THROW(form.FocusControl(edtTwo), EInvalidOperation);
    EXPECT_EQ(pgcPages->ActivePage(), tshOne);
}

TEST_F(PageFocusTest, SetFocusBringsAPageBehindForwardAndSkipsADisabledPage) {
    form.FocusControl(edtA1);
    EXPECT_FALSE(edtTwo->CanFocus());
    EXPECT_TRUE(edtTwo->CanTakeFocus());
    edtTwo->SetFocus();
    EXPECT_EQ(pgcPages->ActivePage(), tshTwo);
    EXPECT_EQ(form.ActiveControl(), edtTwo);

    // The page in front disabled (as the state rules do while it is shown):
    // its controls are skipped, the focus stays where it was.
    form.FocusControl(edtA1);
    tshTwo->SetEnabled(false);
    log.clear();
    EXPECT_FALSE(edtTwo->CanTakeFocus());
    edtTwo->SetFocus();
    EXPECT_EQ(form.ActiveControl(), edtA1);
    EXPECT_EQ(pgcPages->ActivePage(), tshTwo);
    EXPECT_THAT(log.entries, IsEmpty());
}

TEST_F(PageFocusTest, RefocusingTheFocusedControlRunsNothingAndBringsItsPageBack) {
    form.FocusControl(edtTwo);
    pgcPages->SetActivePage(tshOne);
    edtTwo->SetEnabled(false);
    log.clear();
    form.FocusControl(edtTwo);
    EXPECT_EQ(pgcPages->ActivePage(), tshTwo);
    EXPECT_EQ(form.ActiveControl(), edtTwo);
    EXPECT_THAT(log.entries, IsEmpty());
}

TEST_F(PageFocusTest, LeavingAPageByCodeKeepsTheFocusUntilTheNextMove) {
    form.FocusControl(edtTwo);
    log.clear();
    pgcPages->SetActivePage(tshOne);
    EXPECT_EQ(form.ActiveControl(), edtTwo);
    EXPECT_THAT(log.entries, IsEmpty());
    form.FocusControl(edtOne);
    EXPECT_THAT(log.entries, ElementsAre("edtTwo:Exit", "tshTwo:Exit"));
}

// Tab order: depth first, each container by TabOrder, wrapping.
class TabOrderTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        grbSecond = form.Make<TGroupBox>("grbSecond", &form);
        grbSecond->TabOrder = 1;
        edtS2 = form.Make<TEdit>("edtS2", grbSecond);
        edtS2->TabOrder = 1;
        edtS1 = form.Make<TEdit>("edtS1", grbSecond);
        edtS1->TabOrder = 0;
        grbFirst = form.Make<TGroupBox>("grbFirst", &form);
        grbFirst->TabOrder = 0;
        edtF1 = form.Make<TEdit>("edtF1", grbFirst);
        edtLast = form.Make<TEdit>("edtLast", &form);
        edtLast->TabOrder = 2;
    }

    std::vector<std::string> walk(TWinControl* from, bool forward, int steps) {
        std::vector<std::string> names;
        for (int i = 0; i < steps; ++i) {
            from = form.FindNextControl(from, forward, true, false);
            names.push_back(from != nullptr ? from->Name() : "(none)");
        }
        return names;
    }

    TForm form{"frmTabs"};
    TGroupBox* grbFirst = nullptr;
    TGroupBox* grbSecond = nullptr;
    TEdit* edtF1 = nullptr;
    TEdit* edtS1 = nullptr;
    TEdit* edtS2 = nullptr;
    TEdit* edtLast = nullptr;
};

TEST_F(TabOrderTest, ForwardFollowsTabOrderDepthFirstAndWraps) {
    EXPECT_THAT(walk(edtF1, true, 5), ElementsAre("edtS1", "edtS2", "edtLast", "edtF1", "edtS1"));
}

TEST_F(TabOrderTest, BackwardIsTheReverseAndWraps) {
    EXPECT_THAT(walk(edtF1, false, 4), ElementsAre("edtLast", "edtS2", "edtS1", "edtF1"));
}

TEST_F(TabOrderTest, FromNothingForwardStartsAtTheFirstAndBackwardAtTheLast) {
    EXPECT_EQ(form.FindNextControl(nullptr, true, true, false), edtF1);
    EXPECT_EQ(form.FindNextControl(nullptr, false, true, false), edtLast);
}

TEST_F(TabOrderTest, SkipsDisabledHiddenAndNonTabStopControls) {
    edtS1->SetEnabled(false);
    edtS2->TabStop = false;
    EXPECT_THAT(walk(edtF1, true, 2), ElementsAre("edtLast", "edtF1"));
    EXPECT_EQ(form.FindNextControl(edtF1, true, false, false), edtS2);
    grbSecond->SetVisible(false);
    EXPECT_EQ(form.FindNextControl(edtF1, true, false, false), edtLast);
}

TEST_F(TabOrderTest, CheckParentKeepsControlsPlacedOnTheForm) {
    EXPECT_EQ(form.FindNextControl(edtF1, true, true, true), edtLast);
}

TEST_F(TabOrderTest, TheOnlyFocusableControlIsItsOwnSuccessor) {
    edtS1->SetEnabled(false);
    edtS2->SetEnabled(false);
    edtLast->SetEnabled(false);
    EXPECT_EQ(form.FindNextControl(edtF1, true, true, false), edtF1);
    edtF1->SetEnabled(false);
    EXPECT_EQ(form.FindNextControl(edtF1, true, true, false), nullptr);
}

TEST_F(TabOrderTest, SelectNextAndSelectFirstMoveTheFocus) {
    form.SelectFirst();
    EXPECT_EQ(form.ActiveControl(), edtF1);
    form.SelectNext(form.ActiveControl(), true, true);
    EXPECT_EQ(form.ActiveControl(), edtS1);
    form.SelectNext(form.ActiveControl(), false, true);
    EXPECT_EQ(form.ActiveControl(), edtF1);
}

}  // namespace
}  // namespace host::testing
