#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/host/ui/ui_test_support.h"

namespace host::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A form that logs its life: created, shown, activated, closed, destroyed.
class LoggedForm : public TForm {
public:
    LoggedForm(std::string name, std::vector<std::string>& log) : TForm(std::move(name)) {
        btnOk = Make<TButton>("btnOk", this);
        btnOk->OnClick = [this](TObject*) { SetModalResult(mrOk); };
        OnCreate = [this, &log](TObject*) { log.push_back(Name() + ":Create"); };
        OnShow = [this, &log](TObject*) { log.push_back(Name() + ":Show"); };
        OnActivate = [this, &log](TObject*) { log.push_back(Name() + ":Activate"); };
        OnClose = [this, &log](TObject*, TCloseAction& action) {
            log.push_back(Name() + ":Close");
            action = closeAction;
        };
        OnDestroy = [this, &log](TObject*) { log.push_back(Name() + ":Destroy"); };
    }

    TButton* btnOk;
    TCloseAction closeAction = TCloseAction::caHide;
};

class ApplicationTest : public UiTest {
protected:
    std::vector<std::string> log;
};

// ---- Dispatch ----

TEST_F(ApplicationTest, DispatchEndsAnAbortQuietly) {
    bool after = false;
    EXPECT_FALSE(Application().Dispatch([&] {
        throw EAbort();
        after = true;
    }));
    EXPECT_FALSE(after);
    EXPECT_THAT(platform.messages(), IsEmpty());
}

TEST_F(ApplicationTest, DispatchShowsOtherErrorsThroughThePlatform) {
    EXPECT_FALSE(Application().Dispatch([] { throw std::runtime_error("Servidor indisponível"); }));
    ASSERT_EQ(platform.messages().size(), 1u);
    EXPECT_EQ(platform.messages()[0].text, "Servidor indisponível");
    EXPECT_EQ(platform.messages()[0].type, TMsgDlgType::mtError);
    EXPECT_EQ(platform.messages()[0].buttons, mbOK);
}

TEST_F(ApplicationTest, DispatchReturnsTrueForAnEventThatCompletes) {
    int runs = 0;
    EXPECT_TRUE(Application().Dispatch([&] { ++runs; }));
    EXPECT_EQ(runs, 1);
}

TEST_F(ApplicationTest, OnExceptionReplacesTheMessage) {
    std::vector<std::string> handled;
    Application().OnException = [&](const std::exception& error) {
        handled.push_back(error.what());
    };
    Application().Dispatch([] { throw Exception("falha"); });
    Application().Dispatch([] { throw EAbort(); });
    EXPECT_THAT(handled, ElementsAre("falha"));
    EXPECT_THAT(platform.messages(), IsEmpty());
}

TEST_F(ApplicationTest, NestedDispatchesEachHandleTheirOwnErrors) {
    bool outerGoesOn = false;
    EXPECT_TRUE(Application().Dispatch([&] {
        EXPECT_FALSE(Application().Dispatch([] { throw Exception("interno"); }));
        outerGoesOn = true;
    }));
    EXPECT_TRUE(outerGoesOn);
    ASSERT_EQ(platform.messages().size(), 1u);
    EXPECT_EQ(platform.messages()[0].text, "interno");
}

TEST_F(ApplicationTest, PlatformIsRequired) {
    Application().SetPlatform(nullptr);
    EXPECT_THROW(Application().Platform(), EInvalidOperation);
    Application().SetPlatform(&platform);
}

TEST_F(ApplicationTest, SetCursorIsForwarded) {
    Application().SetCursor(TCursor::crHourGlass);
    Application().SetCursor(TCursor::crDefault);
    EXPECT_THAT(platform.cursorHistory(), ElementsAre(TCursor::crHourGlass, TCursor::crDefault));
    EXPECT_EQ(Application().Cursor(), TCursor::crDefault);
}

// ---- Form creation and release ----

TEST_F(ApplicationTest, CreateFormRunsOnCreateAndOwnsTheForm) {
    auto* form = Application().CreateForm<LoggedForm>("frmOne", log);
    EXPECT_THAT(log, ElementsAre("frmOne:Create"));
    EXPECT_TRUE(Application().IsAlive(form));
    EXPECT_EQ(Application().Forms().size(), 1u);
}

class FailingForm : public TForm {
public:
    FailingForm() : TForm("frmFailing") {
        OnCreate = [](TObject*) { throw Exception("sem conexão"); };
    }
};

TEST_F(ApplicationTest, AFormWhoseCreationFailsIsDropped) {
    EXPECT_THROW(Application().CreateForm<FailingForm>(), Exception);
    EXPECT_TRUE(Application().Forms().empty());
}

TEST_F(ApplicationTest, CloseWithCaFreeDestroysTheFormWhenTheEventEnds) {
    auto* form = Application().CreateForm<LoggedForm>("frmScreen", log);
    form->closeAction = TCloseAction::caFree;
    form->Show();
    bool aliveInsideTheEvent = false;
    Application().Dispatch([&] {
        form->Close();
        Application().Dispatch([] {});
        aliveInsideTheEvent = Application().IsAlive(form);
    });
    EXPECT_TRUE(aliveInsideTheEvent);
    EXPECT_FALSE(Application().IsAlive(form));
    EXPECT_THAT(log, ElementsAre("frmScreen:Create", "frmScreen:Show", "frmScreen:Activate",
                                 "frmScreen:Close", "frmScreen:Destroy"));
    EXPECT_THAT(platform.shownForms(), ElementsAre("frmScreen"));
    EXPECT_THAT(platform.closedForms(), ElementsAre("frmScreen"));
}

TEST_F(ApplicationTest, CloseActionsHideKeepOrMinimize) {
    auto* form = Application().CreateForm<LoggedForm>("frmScreen", log);
    form->Show();
    form->closeAction = TCloseAction::caNone;
    form->Close();
    EXPECT_TRUE(form->Showing());
    form->closeAction = TCloseAction::caMinimize;
    form->Close();
    EXPECT_TRUE(form->Showing());
    EXPECT_EQ(form->WindowState, TWindowState::wsMinimized);
    form->closeAction = TCloseAction::caHide;
    form->Close();
    EXPECT_FALSE(form->Showing());
    EXPECT_THAT(platform.closedForms(), ElementsAre("frmScreen"));
    Application().ProcessReleases();
    EXPECT_TRUE(Application().IsAlive(form));
}

TEST_F(ApplicationTest, ShowingAgainActivatesWithoutAnotherOnShow) {
    auto* form = Application().CreateForm<LoggedForm>("frmScreen", log);
    form->Show();
    form->Show();
    EXPECT_THAT(log, ElementsAre("frmScreen:Create", "frmScreen:Show", "frmScreen:Activate",
                                 "frmScreen:Activate"));
    EXPECT_THAT(platform.shownForms(), ElementsAre("frmScreen", "frmScreen"));
}

TEST_F(ApplicationTest, ResetRunsOnDestroyAndDestroysEveryForm) {
    Application().CreateForm<LoggedForm>("frmOne", log);
    Application().CreateForm<LoggedForm>("frmTwo", log);
    Application().Reset();
    EXPECT_THAT(log,
                ElementsAre("frmOne:Create", "frmTwo:Create", "frmTwo:Destroy", "frmOne:Destroy"));
    EXPECT_TRUE(Application().Forms().empty());
}

// ---- Modal forms ----

TEST_F(ApplicationTest, ShowModalRunsThePlatformLoopUntilAResultIsSet) {
    auto* dialog = Application().CreateForm<LoggedForm>("frmDialog", log);
    dialog->SetModalResult(mrCancel);
    platform.modalLoop = [&](TForm& form) {
        log.push_back("loop:" + std::to_string(form.ModalResult()));
        EXPECT_TRUE(form.Modal());
        form.UserClick(dialog->btnOk);
    };
    EXPECT_EQ(dialog->ShowModal(), mrOk);
    EXPECT_THAT(log, ElementsAre("frmDialog:Create", "frmDialog:Show", "frmDialog:Activate",
                                 "loop:0", "frmDialog:Close"));
    EXPECT_FALSE(dialog->Showing());
    EXPECT_FALSE(dialog->Modal());
    EXPECT_THAT(platform.modalForms(), ElementsAre("frmDialog"));
    EXPECT_THAT(platform.closedForms(), ElementsAre("frmDialog"));
}

TEST_F(ApplicationTest, ShowModalWithoutALoopClosesAndReturnsNone) {
    auto* dialog = Application().CreateForm<LoggedForm>("frmDialog", log);
    EXPECT_EQ(dialog->ShowModal(), mrNone);
    EXPECT_FALSE(dialog->Showing());
    EXPECT_THAT(platform.modalForms(), ElementsAre("frmDialog"));
}

TEST_F(ApplicationTest, CloseInsideAModalRunCancelsIt) {
    auto* dialog = Application().CreateForm<LoggedForm>("frmDialog", log);
    platform.modalLoop = [](TForm& form) { form.Close(); };
    EXPECT_EQ(dialog->ShowModal(), mrCancel);
    EXPECT_THAT(log, ElementsAre("frmDialog:Create", "frmDialog:Show", "frmDialog:Activate",
                                 "frmDialog:Close"));
}

TEST_F(ApplicationTest, ARefusedCloseKeepsTheModalRunGoing) {
    auto* dialog = Application().CreateForm<LoggedForm>("frmDialog", log);
    dialog->closeAction = TCloseAction::caNone;
    int rounds = 0;
    platform.modalLoop = [&](TForm& form) {
        ++rounds;
        if (rounds == 2) {
            dialog->closeAction = TCloseAction::caHide;
        }
        form.SetModalResult(rounds == 1 ? mrCancel : mrOk);
    };
    EXPECT_EQ(dialog->ShowModal(), mrOk);
    EXPECT_EQ(rounds, 2);
}

TEST_F(ApplicationTest, AModalDialogThatFreesItselfGoesWhenTheOuterEventEnds) {
    auto* dialog = Application().CreateForm<LoggedForm>("frmFiltro", log);
    dialog->closeAction = TCloseAction::caFree;
    platform.modalLoop = [&](TForm& form) { form.UserClick(dialog->btnOk); };
    int result = mrNone;
    bool aliveAfterShowModal = false;
    EXPECT_TRUE(Application().Dispatch([&] {
        result = dialog->ShowModal();
        aliveAfterShowModal = Application().IsAlive(dialog);
    }));
    EXPECT_EQ(result, mrOk);
    EXPECT_TRUE(aliveAfterShowModal);
    EXPECT_FALSE(Application().IsAlive(dialog));
    EXPECT_EQ(log.back(), "frmFiltro:Destroy");
}

TEST_F(ApplicationTest, SetModalResultNotifiesObservers) {
    TForm form("frmDialog");
    std::vector<TProp> seen;
    form.AddObserver([&](TControl&, TProp what) { seen.push_back(what); });
    form.SetModalResult(mrOk);
    EXPECT_THAT(seen, ElementsAre(TProp::ModalResult));
    EXPECT_EQ(form.ModalResult(), mrOk);
}

}  // namespace
}  // namespace host::testing
