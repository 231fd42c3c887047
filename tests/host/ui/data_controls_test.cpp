#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/host/ui/ui_test_support.h"

namespace host::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

DataPacket branches() {
    DataPacket packet;
    packet.fields = {{"CDFILIAL", FieldType::String, 4}, {"NMFILIAL", FieldType::String, 30}};
    packet.rows = {{Variant("0001"), Variant("Matriz")},
                   {Variant("0002"), Variant("Filial Sul")},
                   {Variant("0003"), Variant("Filial Norte")}};
    return packet;
}

// A branch panel as the screens build it: code edit, pick button, grid and
// name label over one data set.
class DataControlsTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        qryFilial = form.MakeDataSet("qryFilial");
        TField& code = qryFilial->AddField({"CDFILIAL", FieldType::String, 4});
        code.DisplayLabel = "Código";
        qryFilial->AddField({"NMFILIAL", FieldType::String, 30}).DisplayLabel = "Nome";
        qryFilial->AfterScroll = [this](TClientDataSet&) { ++scrolls; };
        dstFilial = form.MakeDataSource("dstFilial", qryFilial);

        edtCdFilial = form.Make<TEdit>("edtCdFilial", &form);
        btnFilial = form.Make<TBtnPesquisa>("btnFilial", &form);
        btnFilial->Associate = edtCdFilial;
        btnFilial->Title = "Empresa";
        btnFilial->DataSource = dstFilial;
        btnFilial->EmptyError = "Não há empresa cadastrada.";
        btnFilial->OnAfterPesq = [this](TObject*) {
            log.add("after:" + qryFilial->FieldByName("CDFILIAL").AsString());
        };
        dbgFilial = form.Make<TDBGrid>("dbgFilial", &form);
        dbgFilial->SetDataSource(dstFilial);
        dbgFilial->AddObserver([this](TControl&, TProp what) {
            if (what == TProp::Data) {
                ++gridRefreshes;
            }
        });
        edtOther = form.Make<TEdit>("edtOther", &form);
    }

    void load() {
        qryFilial->LoadFromPacket(branches());
        scrolls = 0;
        gridRefreshes = 0;
    }

    TForm form{"frmData"};
    TClientDataSet* qryFilial = nullptr;
    TDataSource* dstFilial = nullptr;
    TEdit* edtCdFilial = nullptr;
    TBtnPesquisa* btnFilial = nullptr;
    TDBGrid* dbgFilial = nullptr;
    TEdit* edtOther = nullptr;
    int scrolls = 0;
    int gridRefreshes = 0;
    EventLog log;
};

// ---- Pick button ----

TEST_F(DataControlsTest, PickWithAnEmptyOrClosedListShowsTheEmptyErrorAndStops) {
    for (const bool open : {false, true}) {
        SCOPED_TRACE(open ? "open and empty" : "closed");
        ScriptedPlatform fresh;
        Application().SetPlatform(&fresh);
        if (open) {
            qryFilial->Open();
        }
        btnFilial->Click();
        ASSERT_EQ(fresh.messages().size(), 1u);
        EXPECT_EQ(fresh.messages()[0].text, "Não há empresa cadastrada.");
        EXPECT_EQ(fresh.messages()[0].type, TMsgDlgType::mtError);
        EXPECT_THAT(fresh.pickLists(), IsEmpty());
        EXPECT_THAT(log.entries, IsEmpty());
        Application().SetPlatform(&platform);
    }
}

TEST_F(DataControlsTest, PickRunsBeforePesqThenMakesTheChosenRowCurrentThenAfterPesq) {
    btnFilial->OnBeforePesq = [this](TObject*, bool&) {
        log.add("before");
        load();
    };
    edtCdFilial->SetText("0003");
    platform.QueuePick({"0002"});
    btnFilial->Click();
    EXPECT_THAT(log.entries, ElementsAre("before", "after:0002"));
    EXPECT_EQ(qryFilial->RecNo(), 2);
    ASSERT_EQ(platform.pickLists().size(), 1u);
    const auto& pick = platform.pickLists()[0];
    EXPECT_EQ(pick.title, "Empresa");
    EXPECT_EQ(pick.keyField, "CDFILIAL");
    EXPECT_FALSE(pick.multiple);
    EXPECT_EQ(pick.rowCount, 3);
    EXPECT_THAT(pick.preselected, ElementsAre("0003"));
    EXPECT_THAT(platform.failures(), IsEmpty());
}

TEST_F(DataControlsTest, PickCancelledByBeforePesqShowsNothing) {
    load();
    btnFilial->OnBeforePesq = [](TObject*, bool& cancel) { cancel = true; };
    btnFilial->Click();
    EXPECT_THAT(platform.pickLists(), IsEmpty());
    EXPECT_THAT(platform.messages(), IsEmpty());
    EXPECT_THAT(log.entries, IsEmpty());
}

TEST_F(DataControlsTest, ACancelledPickRunsNothing) {
    load();
    platform.QueuePickNone();
    btnFilial->Click();
    EXPECT_THAT(log.entries, IsEmpty());
    EXPECT_EQ(qryFilial->RecNo(), 1);
    EXPECT_EQ(platform.pickLists().size(), 1u);
    EXPECT_THAT(platform.failures(), IsEmpty());
}

TEST_F(DataControlsTest, KeyFieldChoosesWhichValueIdentifiesTheRow) {
    load();
    btnFilial->KeyField = "NMFILIAL";
    platform.QueuePick({"Filial Norte"});
    btnFilial->Click();
    EXPECT_THAT(log.entries, ElementsAre("after:0003"));
}

TEST_F(DataControlsTest, ADisabledPickButtonDoesNothing) {
    load();
    btnFilial->SetEnabled(false);
    platform.QueuePick({"0002"});
    EXPECT_TRUE(form.UserClick(btnFilial));
    EXPECT_THAT(platform.pickLists(), IsEmpty());
    EXPECT_EQ(platform.pendingPicks(), 1u);
}

TEST_F(DataControlsTest, UserClickOnThePickButtonDoesNotMoveTheFocus) {
    load();
    log.watchFocus(edtCdFilial);
    form.FocusControl(edtCdFilial);
    log.clear();
    platform.QueuePick({"0003"});
    EXPECT_TRUE(form.UserClick(btnFilial));
    EXPECT_THAT(log.entries, ElementsAre("after:0003"));
    EXPECT_EQ(form.ActiveControl(), edtCdFilial);
}

TEST_F(DataControlsTest, AnUnforeseenPickIsRecordedAsAFailure) {
    load();
    btnFilial->Click();
    platform.QueuePick({"9999"});
    btnFilial->Click();
    EXPECT_THAT(log.entries, IsEmpty());
    EXPECT_THAT(platform.failures(),
                ElementsAre("pick list \"Empresa\": no choice queued",
                            "pick list \"Empresa\": no row with CDFILIAL \"9999\""));
}

// ---- Grid ----

TEST_F(DataControlsTest, GridCellsShowEachRowWithoutMovingTheCurrentRecord) {
    load();
    qryFilial->SetRecNo(2);
    scrolls = 0;
    gridRefreshes = 0;
    EXPECT_EQ(dbgFilial->RowCount(), 3);
    EXPECT_EQ(dbgFilial->CellText(1, 0), "0001");
    EXPECT_EQ(dbgFilial->CellText(3, 1), "Filial Norte");
    EXPECT_EQ(dbgFilial->CellText(2, 1), "Filial Sul");
    EXPECT_EQ(dbgFilial->CellText(4, 1), "");
    EXPECT_EQ(dbgFilial->CellText(1, 5), "");
    EXPECT_EQ(qryFilial->RecNo(), 2);
    EXPECT_EQ(scrolls, 0);
    EXPECT_EQ(gridRefreshes, 0);
}

TEST_F(DataControlsTest, GridCellsUseTheFieldsDisplayText) {
    qryFilial->FieldByName("NMFILIAL").OnGetText = [](TField& field, std::string& text, bool) {
        text = "[" + field.AsString() + "]";
    };
    load();
    EXPECT_EQ(dbgFilial->CellText(2, 1), "[Filial Sul]");
}

TEST_F(DataControlsTest, WithoutColumnsTheGridShowsTheVisibleFields) {
    qryFilial->FieldByName("CDFILIAL").Visible = false;
    load();
    EXPECT_EQ(dbgFilial->ColumnCount(), 1);
    EXPECT_EQ(dbgFilial->ColumnTitle(0), "Nome");
    EXPECT_EQ(dbgFilial->CellText(1, 0), "Matriz");
}

TEST_F(DataControlsTest, ColumnsDecideWhatIsShownAndTheirTitles) {
    qryFilial->FieldByName("CDFILIAL").Visible = false;
    dbgFilial->Columns = {{"CDFILIAL", "Nr. Filial", 108}, {"NMFILIAL", "", 0}};
    load();
    EXPECT_EQ(dbgFilial->ColumnCount(), 2);
    EXPECT_EQ(dbgFilial->ColumnTitle(0), "Nr. Filial");
    EXPECT_EQ(dbgFilial->ColumnTitle(1), "Nome");
    EXPECT_EQ(dbgFilial->CellText(3, 0), "0003");
}

TEST_F(DataControlsTest, ClickCellMakesTheRowCurrentThenRunsOnCellClick) {
    load();
    std::vector<std::string> clicked;
    dbgFilial->OnCellClick = [&](TColumn& column) {
        clicked.push_back(column.FieldName + "@" + std::to_string(qryFilial->RecNo()));
    };
    dbgFilial->OnTitleClick = [&](TColumn& column) {
        clicked.push_back("title:" + column.FieldName);
    };
    dbgFilial->ClickCell(3, 1);
    EXPECT_EQ(dbgFilial->SelectedIndex, 1);
    EXPECT_EQ(scrolls, 1);
    dbgFilial->ClickTitle(0);
    EXPECT_EQ(qryFilial->RecNo(), 3);
    EXPECT_THAT(clicked, ElementsAre("NMFILIAL@3", "title:CDFILIAL"));
}

TEST_F(DataControlsTest, GridHearsOfChangesOfItsDataSet) {
    load();
    qryFilial->Next();
    EXPECT_GT(gridRefreshes, 0);
    gridRefreshes = 0;
    qryFilial->Close();
    EXPECT_GT(gridRefreshes, 0);
    EXPECT_EQ(dbgFilial->RowCount(), 0);
}

TEST_F(DataControlsTest, UpAndDownInTheGridMoveTheCurrentRecord) {
    load();
    form.FocusControl(dbgFilial);
    form.KeyDown(nullptr, VK_DOWN, 0);
    form.KeyDown(nullptr, VK_DOWN, 0);
    EXPECT_EQ(qryFilial->RecNo(), 3);
    form.KeyDown(nullptr, VK_UP, 0);
    EXPECT_EQ(qryFilial->RecNo(), 2);
    EXPECT_EQ(scrolls, 3);
}

TEST_F(DataControlsTest, AGridKeyHandlerThatZeroesTheKeyKeepsTheRecord) {
    load();
    dbgFilial->OnKeyDown = [](TObject*, Word& key, TShiftState) { key = 0; };
    form.KeyDown(dbgFilial, VK_DOWN, 0);
    EXPECT_EQ(qryFilial->RecNo(), 1);
}

TEST_F(DataControlsTest, UserSelectRowFocusesTheGridThenMovesTheRecord) {
    load();
    log.watchFocus(edtOther);
    log.watchFocus(dbgFilial);
    form.FocusControl(edtOther);
    log.clear();
    EXPECT_TRUE(form.UserSelectRow(dbgFilial, 3));
    EXPECT_THAT(log.entries, ElementsAre("edtOther:Exit", "dbgFilial:Enter"));
    EXPECT_EQ(qryFilial->RecNo(), 3);
    EXPECT_EQ(scrolls, 1);
}

TEST_F(DataControlsTest, UserSelectRowStaysPutWhenTheFocusCannotLeave) {
    load();
    form.FocusControl(edtOther);
    edtOther->OnExit = [](TObject*) { throw EAbort(); };
    EXPECT_FALSE(form.UserSelectRow(dbgFilial, 3));
    EXPECT_EQ(qryFilial->RecNo(), 1);
}

// ---- Data-aware text and edit ----

TEST_F(DataControlsTest, DataTextAndEditFollowTheCurrentRecord) {
    auto* dbtNome = form.Make<TDBText>("dbtNome", &form);
    auto* dbeCodigo = form.Make<TDBEdit>("dbeCodigo", &form);
    dbtNome->Bind(dstFilial, "NMFILIAL");
    dbeCodigo->Bind(dstFilial, "CDFILIAL");
    int refreshes = 0;
    dbtNome->AddObserver([&](TControl&, TProp what) { refreshes += what == TProp::Data ? 1 : 0; });
    EXPECT_EQ(dbtNome->Text(), "");
    load();
    EXPECT_EQ(dbtNome->Text(), "Matriz");
    qryFilial->Last();
    EXPECT_EQ(dbtNome->Text(), "Filial Norte");
    EXPECT_EQ(dbeCodigo->Text(), "0003");
    EXPECT_GE(refreshes, 2);
}

// ---- Calculated columns ----

TEST_F(DataControlsTest, GridShowsCalculatedFieldsOfEachRow) {
    TClientDataSet* items = form.MakeDataSet("cdsItemOrcaEven");
    items->AddField({"QTITEMORCEVE", FieldType::Float, 0});
    items->AddCalculatedField({"VRTOTALITEM", FieldType::Float, 0}).DisplayFormat = "#,##0.00";
    items->OnCalcFields = [](TClientDataSet& set) {
        set.FieldByName("VRTOTALITEM").SetAsFloat(set.FieldByName("QTITEMORCEVE").AsFloat() * 2);
    };
    int itemScrolls = 0;
    items->AfterScroll = [&](TClientDataSet&) { ++itemScrolls; };
    auto* dbgItem = form.Make<TDBGrid>("dbgItem", &form);
    dbgItem->SetDataSource(form.MakeDataSource("dtsItemOrcaEven", items));
    dbgItem->Columns = {{"VRTOTALITEM", "Vr. Total", 0}};
    DataPacket packet;
    packet.fields = {{"QTITEMORCEVE", FieldType::Float, 0}};
    packet.rows = {{Variant(1.5)}, {Variant(2000.0)}};
    items->LoadFromPacket(packet);
    itemScrolls = 0;
    EXPECT_EQ(dbgItem->CellText(2, 0), "4.000,00");
    EXPECT_EQ(dbgItem->CellText(1, 0), "3,00");
    EXPECT_EQ(items->RecNo(), 1);
    EXPECT_EQ(itemScrolls, 0);
}

TEST_F(DataControlsTest, FormDestructionLeavesAnOutsideDataSetUnobserved) {
    TClientDataSet outside("cdsOutside");
    outside.AddField({"CDFILIAL", FieldType::String, 4});
    TDataSource source("dtsOutside", &outside);
    {
        TForm owner("frmOwner");
        owner.Make<TDBGrid>("dbgOutside", &owner)->SetDataSource(&source);
        owner.Make<TDBText>("dbtOutside", &owner)->Bind(&source, "CDFILIAL");
    }
    DataPacket packet;
    packet.fields = {{"CDFILIAL", FieldType::String, 4}};
    packet.rows = {{Variant("0001")}};
    outside.LoadFromPacket(packet);
    outside.Next();
    SUCCEED();
}

}  // namespace
}  // namespace host::testing
