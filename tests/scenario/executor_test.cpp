#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "host/data/formatting.h"
#include "host/services/messages.h"
#include "host/ui/form.h"
#include "host/ui/scripted_platform.h"
#include "scenario/executor.h"

namespace scenario {
namespace {

using namespace host;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A dialog with an edit of the same name as the main form's.
class DialogForm : public TForm {
public:
    DialogForm() : TForm("frmDialog") {
        SetCaption("Diálogo");
        edtName = Make<TEdit>("edtName", this);
        btnOk = Make<TButton>("btnOk", this);
        btnOk->OnClick = [this](TObject*) { SetModalResult(mrOk); };
    }
    TEdit* edtName;
    TButton* btnOk;
};

class MainForm : public TForm {
public:
    MainForm() : TForm("frmMain") {
        SetCaption("Principal");
        edtName = Make<TEdit>("edtName", this);
        lblResult = Make<TLabel>("lblResult", this);
        btnOpen = Make<TButton>("btnOpen", this);
        btnOpen->OnClick = [this](TObject*) {
            auto* dialog = Application().CreateForm<DialogForm>();
            const int result = dialog->ShowModal();
            lblResult->SetCaption(std::to_string(result) + ":" + dialog->edtName->Text());
        };
        btnAsk = Make<TButton>("btnAsk", this);
        btnAsk->OnClick = [this](TObject*) {
            const int answer =
                MessageDlg("Confirma?", TMsgDlgType::mtConfirmation, mbYes | mbNo, 0);
            lblResult->SetCaption(answer == mrYes ? "yes" : "no");
        };
        btnFail = Make<TButton>("btnFail", this);
        btnFail->OnClick = [](TObject*) { throw std::runtime_error("Servidor indisponível"); };
        chkAll = Make<TCheckBox>("chkAll", this);
        pgcPages = Make<TPageControl>("pgcPages", this);
        tshOne = Make<TTabSheet>("tshOne", pgcPages);
        tshTwo = Make<TTabSheet>("tshTwo", pgcPages);
        tshTwo->SetEnabled(false);
        mnuFiltrar = Make<TMenuItem>("mnuFiltrar", Menu());
        mnuFiltrar->SetCaption("Fi&ltrar");
        mnuFiltrar->SetShortCut("Ctrl+L");
        mnuFiltrar->SetChecked(true);
        mnuFiltrar->OnClick = [this](TObject*) { lblResult->SetCaption("filtrar"); };

        cdsOrders = MakeDataSet("cdsOrders");
        cdsOrders->AddField({"NRORCAEVENTO", FieldType::String, 10});
        cdsOrders->AddField({"NRSEQORCAEVE", FieldType::FixedString, 2});
        cdsOrders->AddField({"DTHRENTROREV", FieldType::DateTime, 0});
        dtsOrders = MakeDataSource("dtsOrders", cdsOrders);
        dbgOrders = Make<TDBGrid>("dbgOrders", this);
        dbgOrders->SetDataSource(dtsOrders);
        DataPacket packet;
        for (const auto& field : cdsOrders->Fields()) {
            packet.fields.push_back(field->Definition());
        }
        packet.rows.push_back({Variant("0000000001"), Variant("00"), Variant()});
        packet.rows.push_back(
            {Variant("0000000002"), Variant("01"), Variant(EncodeDateTime(2025, 2, 1, 14, 30, 0))});
        cdsOrders->LoadFromPacket(packet);
    }

    TEdit* edtName;
    TLabel* lblResult;
    TButton* btnOpen;
    TButton* btnAsk;
    TButton* btnFail;
    TCheckBox* chkAll;
    TPageControl* pgcPages;
    TTabSheet* tshOne;
    TTabSheet* tshTwo;
    TMenuItem* mnuFiltrar;
    TClientDataSet* cdsOrders;
    TDataSource* dtsOrders;
    TDBGrid* dbgOrders;
};

// Records what the executor asks of the system.
class FakeEnvironment : public Environment {
public:
    void useDatabase(bool empty) override {
        log.push_back(empty ? "database empty" : "database demo");
    }
    void runSql(const std::string& statement) override { log.push_back("sql " + statement); }
    void setSession(const SessionSettings& settings) override {
        log.push_back("session " + settings.branch + " " + settings.branchName);
    }
    void addOperator(const OperatorSettings& settings) override {
        log.push_back("operator " + settings.code + " " + settings.branch);
    }
    void serverOff() override { log.push_back("server off"); }
    void start() override {
        log.push_back("start");
        if (!startError.empty()) {
            throw std::runtime_error(startError);
        }
        isStarted = true;
    }
    bool started() const override { return isStarted; }
    void openScreen(const std::string& code) override { log.push_back("open " + code); }
    std::optional<Variant> queryFirstValue(const std::string& statement) override {
        log.push_back("query " + statement);
        return row;
    }
    int calls(const std::string& method) const override { return method == "GetItemEnc" ? 2 : 0; }
    void resetCalls() override { log.push_back("reset calls"); }
    Observed filterField(const std::string& path) const override {
        if (path == "DtEntrega.DtIni") {
            return {"", ValueKind::Date};
        }
        throw std::runtime_error("unknown filter field " + path);
    }

    std::vector<std::string> log;
    std::string startError;
    bool isStarted = false;
    std::optional<Variant> row;
};

class ExecutorTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application().Reset();
        Application().SetPlatform(&platform);
        main = Application().CreateForm<MainForm>();
        main->Show();
    }
    void TearDown() override {
        Application().Reset();
        Application().SetPlatform(nullptr);
    }

    Totals play(const std::string& text, Environment* environment = nullptr) {
        transcript.str("");
        Executor executor(platform, environment, transcript);
        executor.setExtraCommands(extra);
        return executor.run(parseScript(text, "t.scn"));
    }

    std::vector<std::string> lines() const {
        std::vector<std::string> result;
        std::istringstream in(transcript.str());
        for (std::string line; std::getline(in, line);) {
            result.push_back(line);
        }
        return result;
    }

    ScriptedPlatform platform;
    MainForm* main = nullptr;
    std::ostringstream transcript;
    Executor::ExtraCommands extra;
};

TEST_F(ExecutorTest, OperatorCommandsAndChecksOnEveryKindOfComponent) {
    const Totals totals = play(
        "expect frmMain.text = \"Principal\"\n"
        "expect edtName.text = \"\"\n"
        "type edtName \"Maria\"\n"
        "expect edtName.text = \"Maria\"\n"
        "expect edtName.focused = yes\n"
        "expect chkAll.checked = no\n"
        "click chkAll\n"
        "expect chkAll.checked = yes\n"
        "expect chkAll.focused = true\n"
        "expect edtName.focused = no\n"
        "expect tshTwo.tabenabled = no\n"
        "click tshTwo\n"
        "expect tshOne.active = yes\n"
        "expect tshTwo.active = no\n"
        "expect mnuFiltrar.checked = yes\n"
        "expect mnuFiltrar.text = \"Fi&ltrar\"\n"
        "expect btnOpen.enabled = yes\n"
        "expect btnOpen.visible = yes\n"
        "expect dbgOrders.rows = 2\n"
        "expect cdsOrders.rows = 2\n"
        "expect cdsOrders.state = browse\n"
        "expect field cdsOrders.DTHRENTROREV = \"0\"\n"
        "select dbgOrders 2\n"
        "expect dbgOrders.focused = yes\n"
        "expect field cdsOrders.NRORCAEVENTO = \"0000000002\"\n"
        "expect field cdsOrders.DTHRENTROREV = \"01/02/2025 14:30\"\n"
        "expect cell dbgOrders 1 NRORCAEVENTO = \"0000000001\"\n"
        "expect cell dbgOrders 2 DTHRENTROREV = \"01/02/2025 14:30\"\n"
        "key form Ctrl+L\n"
        "expect lblResult.text = \"filtrar\"\n");
    EXPECT_EQ(totals.failed, 0) << transcript.str();
    EXPECT_EQ(totals.passed, 30);
    EXPECT_EQ(lines().at(2), "t.scn:3: type edtName \"Maria\"  ok");
}

TEST_F(ExecutorTest, FailuresSayWhatWasExpectedAndFound) {
    const Totals totals = play(
        "expect edtName.text = \"João\"\n"
        "expect chkAll.checked = yes\n"
        "expect dbgOrders.rows = 3\n"
        "expect cdsOrders.state = edit\n"
        "expect edtNada.text = \"\"\n"
        "select dbgOrders 5\n"
        "type lblResult x\n"
        "expect cell dbgOrders 1 CDCLIENTE = \"\"\n"
        "expect field cdsOrders.CDCLIENTE = \"\"\n"
        "expect lblResult.checked = yes\n");
    EXPECT_EQ(totals.passed, 0);
    EXPECT_EQ(totals.failed, 10);
    EXPECT_THAT(
        lines(),
        ElementsAre(
            "t.scn:1: expect edtName.text = \"João\"  FAIL: expected \"João\", found \"\"",
            "t.scn:2: expect chkAll.checked = yes  FAIL: expected yes, found no",
            "t.scn:3: expect dbgOrders.rows = 3  FAIL: expected 3 row(s), found 2",
            "t.scn:4: expect cdsOrders.state = edit  FAIL: expected \"edit\", found \"browse\"",
            "t.scn:5: expect edtNada.text = \"\"  FAIL: no component edtNada in the forms in view "
            "(frmMain)",
            "t.scn:6: select dbgOrders 5  FAIL: grid dbgOrders has 2 row(s), no row 5",
            "t.scn:7: type lblResult x  FAIL: lblResult is a TLabel, not an edit",
            "t.scn:8: expect cell dbgOrders 1 CDCLIENTE = \"\"  FAIL: grid dbgOrders has no column "
            "for field CDCLIENTE",
            "t.scn:9: expect field cdsOrders.CDCLIENTE = \"\"  FAIL: data set cdsOrders has no "
            "field CDCLIENTE",
            "t.scn:10: expect lblResult.checked = yes  FAIL: lblResult cannot be checked"));
}

TEST_F(ExecutorTest, AModalFormTakesTheFollowingCommandsUntilItCloses) {
    const Totals totals = play(
        "click btnOpen\n"
        "type edtName \"Ana\"\n"
        "expect edtName.text = \"Ana\"  # the dialog's edit: the form on top wins\n"
        "click btnOk\n"
        "expect lblResult.text = \"1:Ana\"\n"
        "expect edtName.text = \"\"\n");
    EXPECT_EQ(totals.failed, 0) << transcript.str();
    EXPECT_EQ(totals.passed, 6);
    EXPECT_THAT(lines(), ElementsAre("t.scn:1: click btnOpen", "  (modal frmDialog)",
                                     "  t.scn:2: type edtName \"Ana\"  ok",
                                     "  t.scn:3: expect edtName.text = \"Ana\"  ok",
                                     "  t.scn:4: click btnOk  ok", "t.scn:1: click btnOpen  ok",
                                     "t.scn:5: expect lblResult.text = \"1:Ana\"  ok",
                                     "t.scn:6: expect edtName.text = \"\"  ok"));
}

TEST_F(ExecutorTest, CloseOnAModalFormEndsItsRun) {
    const Totals totals = play(
        "click btnOpen\n"
        "close\n"
        "expect lblResult.text = \"2:\"\n");
    EXPECT_EQ(totals.failed, 0) << transcript.str();
    EXPECT_EQ(totals.passed, 3);
}

TEST_F(ExecutorTest, AScenarioEndingInsideAModalFormFailsAndLetsTheCommandFinish) {
    const Totals totals = play(
        "click btnOpen\n"
        "type edtName \"x\"\n");
    EXPECT_EQ(totals.passed, 2);
    EXPECT_EQ(totals.failed, 1);
    EXPECT_THAT(transcript.str(),
                HasSubstr("  t.scn: FAIL: the scenario ended while the modal form frmDialog was "
                          "open\n"));
    EXPECT_EQ(main->lblResult->Caption(), "0:x");
}

TEST_F(ExecutorTest, AQuestionWithoutAnAnswerFailsTheCommandThatAsked) {
    const Totals totals = play(
        "click btnAsk\n"
        "expect message \"Confirma?\"\n"
        "answer yes\n"
        "click btnAsk\n"
        "expect lblResult.text = \"yes\"\n"
        "expect message \"Confirma?\"\n"
        "expect no message\n");
    EXPECT_EQ(totals.failed, 1);
    EXPECT_EQ(totals.passed, 6);
    EXPECT_EQ(lines().at(0), "t.scn:1: click btnAsk  FAIL: unanswered question: Confirma?");
}

TEST_F(ExecutorTest, ErrorsOfAnEventAreShownAsMessagesCheckedOldestFirst) {
    const Totals totals = play(
        "click btnFail\n"
        "click btnFail\n"
        "expect message \"Servidor indisponível\"\n"
        "expect message ~ \"indispon\"\n"
        "expect message ~ \"x\"\n"
        "click btnFail\n"
        "expect no message\n"
        "expect no message\n");
    EXPECT_EQ(totals.failed, 2);
    EXPECT_EQ(totals.passed, 6);
    EXPECT_EQ(lines().at(4),
              "t.scn:5: expect message ~ \"x\"  FAIL: expected a message containing \"x\", found "
              "no message");
    EXPECT_EQ(lines().at(6),
              "t.scn:7: expect no message  FAIL: expected no message, found \"Servidor "
              "indisponível\"");
    EXPECT_EQ(lines().at(7), "t.scn:8: expect no message  ok");
}

TEST_F(ExecutorTest, UnknownWordsGoToTheHostsExtraCommands) {
    std::vector<std::string> shots;
    extra = [&](const std::string& word, const std::vector<std::string>& args) {
        if (word == "shot") {
            if (args.size() != 1) {
                throw std::runtime_error("shot takes one NAME");
            }
            shots.push_back(args[0]);
            return true;
        }
        return false;
    };
    const Totals totals = play(
        "shot inicio\n"
        "shot\n"
        "zoom 2\n");
    EXPECT_THAT(shots, ElementsAre("inicio"));
    EXPECT_EQ(totals.passed, 1);
    EXPECT_EQ(totals.failed, 2);
    EXPECT_EQ(lines().at(1), "t.scn:2: shot  FAIL: shot takes one NAME");
    EXPECT_EQ(lines().at(2), "t.scn:3: zoom 2  FAIL: unknown command \"zoom\"");
}

TEST_F(ExecutorTest, AScriptWithSyntaxErrorsIsNotPlayed) {
    FakeEnvironment environment;
    const Totals totals = play(
        "sql \"DELETE FROM FILIAL\"\n"
        "click\n"
        "expect x.colour = red\n",
        &environment);
    EXPECT_EQ(totals.passed, 0);
    EXPECT_EQ(totals.failed, 2);
    EXPECT_TRUE(environment.log.empty());
    EXPECT_THAT(lines(), ElementsAre("t.scn:2: FAIL: expected: click NAME",
                                     "t.scn:3: FAIL: unknown property \"colour\" (text, enabled, "
                                     "checked, visible, focused, active, tabenabled, rows, state)",
                                     "t.scn: not played: it has syntax errors"));
}

TEST_F(ExecutorTest, TheSystemStartsBeforeTheFirstCommandThatNeedsIt) {
    FakeEnvironment environment;
    const Totals totals = play(
        "database empty\n"
        "session branch=0002 branch-name=SUL\n"
        "answer yes\n"
        "sql \"DELETE FROM FILIAL\"\n"
        "expect calls GetItemEnc = 2\n"
        "expect db \"SELECT 1\" = \"<no row>\"\n"
        "open ORE06100\n"
        "expect filter DtEntrega.DtIni = \"0\"\n"
        "expect calls GetEncomenda = 1\n"
        "reset calls\n"
        "session\n"
        "server off\n",
        &environment);
    EXPECT_EQ(totals.failed, 1) << transcript.str();
    EXPECT_EQ(totals.passed, 11);
    EXPECT_EQ(lines().at(8),
              "t.scn:9: expect calls GetEncomenda = 1  FAIL: expected 1 call(s), found 0");
    EXPECT_THAT(environment.log,
                ElementsAre("database empty", "session 0002 SUL", "sql DELETE FROM FILIAL",
                            "query SELECT 1", "start", "open ORE06100", "reset calls",
                            "session 0001 MATRIZ", "server off"));
}

TEST_F(ExecutorTest, ASystemThatCannotStartEndsTheScenario) {
    FakeEnvironment environment;
    environment.startError = "the server did not answer on 127.0.0.1:5000 within 10 s";
    const Totals totals = play(
        "answer yes\n"
        "open ORE06100\n"
        "click btnAsk\n"
        "expect lblResult.text = \"\"\n",
        &environment);
    EXPECT_EQ(totals.passed, 1);
    EXPECT_EQ(totals.failed, 1);
    EXPECT_THAT(lines(), ElementsAre("t.scn:1: answer yes  ok",
                                     "t.scn:2: open ORE06100  FAIL: could not start: the server "
                                     "did not answer on 127.0.0.1:5000 within 10 s",
                                     "t.scn: 2 command(s) not played",
                                     "t.scn: note: 1 queued answer(s) not used"));
}

TEST_F(ExecutorTest, CommandsThatNeedTheSystemFailWithoutOne) {
    const Totals totals = play("open ORE06100\nexpect filter IdSitu = \"\"\n");
    EXPECT_EQ(totals.failed, 2);
    EXPECT_THAT(lines().at(0), HasSubstr("FAIL: no system to play against"));
}

TEST_F(ExecutorTest, CloseWithoutAModalFormClosesTheFormOnTop) {
    const Totals totals = play("close\nexpect edtName.text = \"\"\n");
    EXPECT_EQ(totals.passed, 1);
    EXPECT_EQ(lines().at(1),
              "t.scn:2: expect edtName.text = \"\"  FAIL: no component edtName in the forms in "
              "view (none)");
}

TEST_F(ExecutorTest, DumpListsControlsAndDataSets) {
    const Totals totals = play("type edtName Rui\ndump\n");
    EXPECT_EQ(totals.passed, 2);
    const std::string text = transcript.str();
    EXPECT_THAT(text, HasSubstr("  form frmMain TForm \"Principal\" active-control=edtName\n"));
    EXPECT_THAT(text, HasSubstr("    edtName TEdit \"Rui\" enabled=yes visible=yes focused\n"));
    EXPECT_THAT(text, HasSubstr("    chkAll TCheckBox \"\" enabled=yes visible=yes checked=no\n"));
    EXPECT_THAT(text, HasSubstr("    tshTwo TTabSheet \"\" enabled=no visible=yes active=no\n"));
    EXPECT_THAT(text, HasSubstr("    mnuFiltrar TMenuItem \"Fi&ltrar\" enabled=yes visible=yes "
                                "checked=yes\n"));
    EXPECT_THAT(text, HasSubstr("    data set cdsOrders browse rows=2 record=1 "
                                "{NRORCAEVENTO=\"0000000001\", NRSEQORCAEVE=\"00\", "
                                "DTHRENTROREV=\"\"}\n"));
}

TEST_F(ExecutorTest, UncheckedMessagesAreNotedAtTheEnd) {
    const Totals totals = play("click btnFail\n");
    EXPECT_EQ(totals.passed, 1);
    EXPECT_EQ(lines().back(), "t.scn: note: message not checked: \"Servidor indisponível\"");
}

}  // namespace
}  // namespace scenario
