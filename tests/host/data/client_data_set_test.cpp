#include "host/data/client_data_set.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "data_test_support.h"
#include "host/data/exceptions.h"

namespace host {
namespace {

using test::addOrderFields;
using test::orderFieldDefs;
using test::orderNumbers;
using test::orderPacket;
using test::orderRow;

const char* eventName(TDataEvent event) {
    switch (event) {
        case TDataEvent::deDataSetChange:
            return "change";
        case TDataEvent::deRecordChange:
            return "record";
        case TDataEvent::deDataSetScroll:
            return "scroll";
        case TDataEvent::deStateChange:
            return "state";
    }
    return "?";
}

// Records the data set's events and what its observers hear, in order.
struct Recorder {
    explicit Recorder(TClientDataSet& set) {
        set.BeforePost = [this](TClientDataSet&) { handlers.push_back("BeforePost"); };
        set.AfterPost = [this](TClientDataSet&) { handlers.push_back("AfterPost"); };
        set.AfterCancel = [this](TClientDataSet&) { handlers.push_back("AfterCancel"); };
        set.AfterDelete = [this](TClientDataSet&) { handlers.push_back("AfterDelete"); };
        set.AfterScroll = [this](TClientDataSet& s) {
            handlers.push_back("AfterScroll " + std::to_string(s.RecNo()));
        };
        set.AddObserver([this](TDataEvent event) { observed.push_back(eventName(event)); });
    }
    void clear() {
        handlers.clear();
        observed.clear();
    }
    std::vector<std::string> handlers;
    std::vector<std::string> observed;
};

using Strings = std::vector<std::string>;

class DataSetTest : public ::testing::Test {
protected:
    DataSetTest() { addOrderFields(set); }
    std::string number() const { return set.FieldByName("NRORCAEVENTO").AsString(); }
    TClientDataSet set{"cdsEncomenda"};
};

// ------------------------------------------------------------------ loading

TEST_F(DataSetTest, PacketMissingAFieldRaisesAndLeavesTheSetClosed) {
    set.LoadFromPacket(orderPacket(2));
    DataPacket packet = orderPacket(3);
    packet.fields.erase(packet.fields.begin() + 1);  // NMFANTCLIE
    for (auto& row : packet.rows) {
        row.erase(row.begin() + 1);
    }
    try {
        set.LoadFromPacket(packet);
        FAIL() << "loaded a packet without NMFANTCLIE";
    } catch (const EDatabaseError& error) {
        EXPECT_STREQ(error.what(), "cdsEncomenda: Field 'NMFANTCLIE' not found");
    }
    EXPECT_FALSE(set.Active());
    EXPECT_EQ(set.State(), TDataSetState::dsInactive);
    EXPECT_TRUE(set.IsEmpty());
    EXPECT_EQ(set.RecordCount(), 0);
    EXPECT_TRUE(set.FieldByName("NRORCAEVENTO").IsNull());
}

TEST_F(DataSetTest, MissingFieldThroughSetDataToo) {
    DataPacket packet;
    packet.fields = {{"NRORCAEVENTO", FieldType::String, 10}};
    EXPECT_THROW(set.SetData(Variant(packet)), EDatabaseError);
    EXPECT_FALSE(set.Active());
}

TEST_F(DataSetTest, ExtraPacketFieldLoadsButIsNotReachable) {
    DataPacket packet = orderPacket(2);
    packet.fields.insert(packet.fields.begin(), {"EXTRA", FieldType::String, 5});
    for (auto& row : packet.rows) {
        row.insert(row.begin(), Variant("x"));
    }
    set.SetData(Variant(packet));
    EXPECT_TRUE(set.Active());
    EXPECT_EQ(set.RecordCount(), 2);
    EXPECT_EQ(number(), "1");
    EXPECT_EQ(set.FindField("EXTRA"), nullptr);
    try {
        set.FieldByName("EXTRA");
        FAIL() << "EXTRA reachable";
    } catch (const EDatabaseError& error) {
        EXPECT_STREQ(error.what(), "cdsEncomenda: Field 'EXTRA' not found");
    }
    EXPECT_EQ(set.Data().fields, orderFieldDefs());
}

TEST_F(DataSetTest, FieldsMatchByNameWhateverTheColumnOrder) {
    DataPacket packet;
    packet.fields = orderFieldDefs();
    std::reverse(packet.fields.begin(), packet.fields.end());
    packet.fields[0].name = "dthrentrorev";  // names match without regard to case
    auto row = orderRow("77", "Buffet Alegria", 12.5);
    std::reverse(row.begin(), row.end());
    packet.rows.push_back(row);
    set.LoadFromPacket(packet);
    EXPECT_EQ(number(), "77");
    EXPECT_EQ(set.FieldByName("NMFANTCLIE").AsString(), "Buffet Alegria");
    EXPECT_EQ(set.FieldByName("VRTOTAL").AsFloat(), 12.5);
    EXPECT_EQ(set.FieldByName("nmfantclie").AsString(), "Buffet Alegria");
}

TEST_F(DataSetTest, LoadReplacesTheContentsAndMakesRowOneCurrent) {
    set.LoadFromPacket(orderPacket(3));
    set.Last();
    set.Edit();
    set.FieldByName("NMFANTCLIE").SetAsString("changed");
    set.Post();
    ASSERT_EQ(set.ChangeCount(), 1);

    DataPacket next;
    next.fields = orderFieldDefs();
    next.rows = {orderRow("10", "A"), orderRow("20", "B")};
    set.LoadFromPacket(next);
    EXPECT_EQ(orderNumbers(set), (Strings{"10", "20"}));
    EXPECT_EQ(set.RecNo(), 1);
    EXPECT_EQ(number(), "10");
    EXPECT_TRUE(set.Bof());
    EXPECT_FALSE(set.Eof());
    EXPECT_EQ(set.ChangeCount(), 0);
    EXPECT_EQ(set.State(), TDataSetState::dsBrowse);
}

TEST_F(DataSetTest, LoadWhileEditingDropsTheEdit) {
    set.LoadFromPacket(orderPacket(2));
    Recorder recorder(set);
    set.Edit();
    set.FieldByName("NMFANTCLIE").SetAsString("lost");
    set.LoadFromPacket(orderPacket(2));
    EXPECT_EQ(set.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(set.FieldByName("NMFANTCLIE").AsString(), "C1");
    EXPECT_EQ(recorder.handlers, (Strings{"AfterScroll 1"}));
}

TEST_F(DataSetTest, LoadFiresAfterScrollOnceAndTellsObservers) {
    Recorder recorder(set);
    set.LoadFromPacket(orderPacket(3));
    EXPECT_EQ(recorder.handlers, (Strings{"AfterScroll 1"}));
    EXPECT_EQ(recorder.observed, (Strings{"state", "change"}));

    recorder.clear();
    set.LoadFromPacket(orderPacket(2));  // reload of an open set closes and reopens it
    EXPECT_EQ(recorder.handlers, (Strings{"AfterScroll 1"}));
    EXPECT_EQ(recorder.observed, (Strings{"state", "change", "state", "change"}));
}

TEST_F(DataSetTest, EmptyPacketOpensAnEmptySetWithoutScrolling) {
    Recorder recorder(set);
    set.LoadFromPacket(orderPacket(0));
    EXPECT_TRUE(set.Active());
    EXPECT_TRUE(set.IsEmpty());
    EXPECT_EQ(set.RecNo(), 0);
    EXPECT_TRUE(set.Bof());
    EXPECT_TRUE(set.Eof());
    EXPECT_TRUE(recorder.handlers.empty());
}

TEST_F(DataSetTest, PacketWithIncompatibleTypeIsRefused) {
    DataPacket packet = orderPacket(1);
    packet.fields[1].type = FieldType::Float;
    packet.rows[0][1] = Variant(1.5);
    try {
        set.LoadFromPacket(packet);
        FAIL() << "loaded a float into a string field";
    } catch (const EDatabaseError& error) {
        EXPECT_STREQ(error.what(),
                     "cdsEncomenda: Type mismatch for field 'NMFANTCLIE', expecting: String "
                     "actual: Float");
    }
    EXPECT_FALSE(set.Active());
}

TEST_F(DataSetTest, CompatibleTypesAreAccepted) {
    DataPacket packet = orderPacket(1);
    packet.fields[2].type = FieldType::String;   // text into the fixed-width field
    packet.fields[3].type = FieldType::Integer;  // integer into the float field
    packet.rows[0][2] = Variant("1");
    packet.rows[0][3] = Variant(42);
    set.LoadFromPacket(packet);
    EXPECT_EQ(set.FieldByName("NRSEQORCAEVE").AsString(), "1 ");
    EXPECT_EQ(set.FieldByName("VRTOTAL").Value(), Variant(42.0));
}

TEST_F(DataSetTest, RowsOfTheWrongLengthAreRefused) {
    DataPacket packet = orderPacket(3);
    packet.rows[1].pop_back();
    try {
        set.LoadFromPacket(packet);
        FAIL();
    } catch (const EDatabaseError& error) {
        EXPECT_STREQ(error.what(), "cdsEncomenda: Row 2 of the packet has 4 values for 5 fields");
    }
    EXPECT_FALSE(set.Active());
}

TEST_F(DataSetTest, CellThatIsNoNumberIsRefused) {
    DataPacket packet = orderPacket(2);
    packet.rows[1][3] = Variant("abc");
    try {
        set.LoadFromPacket(packet);
        FAIL();
    } catch (const EDatabaseError& error) {
        EXPECT_STREQ(error.what(),
                     "cdsEncomenda: Invalid value for field 'VRTOTAL' in row 2: 'abc' is not a "
                     "valid floating point value");
    }
    EXPECT_FALSE(set.Active());
}

TEST_F(DataSetTest, NullVariantClosesTheSet) {
    set.LoadFromPacket(orderPacket(1));
    set.SetData(Variant());
    EXPECT_FALSE(set.Active());
}

TEST_F(DataSetTest, LoadMovingThePacketKeepsTheValues) {
    set.LoadFromPacket(orderPacket(3));
    set.Last();
    EXPECT_EQ(set.FieldByName("NMFANTCLIE").AsString(), "C3");
    EXPECT_EQ(set.FieldByName("NRSEQORCAEVE").AsString(), "00");
}

TEST(DataSetLoadTest, HundredThousandRowsOfEighteenFieldsLoadQuickly) {
    TClientDataSet set("cdsGrande");
    DataPacket packet;
    for (int f = 0; f < 18; ++f) {
        const FieldType type = f % 3 == 0 ? FieldType::Float : FieldType::String;
        packet.fields.push_back({"F" + std::to_string(f), type, 30});
        set.AddField(packet.fields.back());
    }
    packet.rows.reserve(100'000);
    for (int r = 0; r < 100'000; ++r) {
        // Mostly null cells keep building the packet cheap in a debug build;
        // the data set checks and maps every cell all the same.
        std::vector<Variant> row(18);
        row[0] = Variant(r * 1.5);
        row[17] = Variant("value " + std::to_string(r));
        packet.rows.push_back(std::move(row));
    }
    const Variant shared(std::move(packet));
    const auto start = std::chrono::steady_clock::now();
    set.SetData(shared);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(set.RecordCount(), 100'000);
    set.Last();
    EXPECT_EQ(set.FieldByName("F17").AsString(), "value 99999");
    EXPECT_EQ(set.FieldByName("F0").AsFloat(), 99999 * 1.5);
    // Generous for an unoptimised build on a busy machine (the load takes a
    // few tens of milliseconds); a copy of every cell or a lookup by name per
    // cell would blow it.
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 1500);
}

// ------------------------------------------------------- open, close, moves

TEST_F(DataSetTest, OpenWithoutPacketGivesAnEmptySet) {
    EXPECT_TRUE(set.IsEmpty());  // closed counts as empty
    EXPECT_TRUE(set.Bof());
    EXPECT_TRUE(set.Eof());
    set.Open();
    EXPECT_TRUE(set.Active());
    EXPECT_EQ(set.State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(set.IsEmpty());
    EXPECT_EQ(set.RecordCount(), 0);
    EXPECT_EQ(set.RecNo(), 0);
    set.Close();
    EXPECT_FALSE(set.Active());
    set.Open();
    EXPECT_EQ(set.RecordCount(), 0);
}

TEST_F(DataSetTest, CloseDropsTheContents) {
    set.LoadFromPacket(orderPacket(3));
    Recorder recorder(set);
    set.Close();
    EXPECT_EQ(recorder.observed, (Strings{"state", "change"}));
    EXPECT_EQ(set.RecordCount(), 0);
    EXPECT_EQ(set.RecNo(), 0);
    set.Close();  // closing a closed set is quiet
    EXPECT_EQ(recorder.observed.size(), 2u);
}

TEST_F(DataSetTest, OperationsOnAClosedSetRaise) {
    const std::string expected = "cdsEncomenda: Cannot perform this operation on a closed dataset";
    for (auto operation : {&TClientDataSet::First, &TClientDataSet::Next, &TClientDataSet::Edit,
                           &TClientDataSet::Insert, &TClientDataSet::Delete}) {
        try {
            (set.*operation)();
            ADD_FAILURE() << "no error";
        } catch (const EDatabaseError& error) {
            EXPECT_EQ(error.what(), expected);
        }
    }
    set.Post();    // nothing to post
    set.Cancel();  // nothing to cancel
    EXPECT_FALSE(set.Active());
}

TEST_F(DataSetTest, AfterScrollFiresOnlyWhenTheRecordChanges) {
    set.LoadFromPacket(orderPacket(3));
    Recorder recorder(set);
    set.Next();
    set.Next();
    set.Next();  // already on the last record
    EXPECT_TRUE(set.Eof());
    set.Last();
    set.First();
    set.First();
    set.Prior();  // already on the first record
    EXPECT_TRUE(set.Bof());
    set.SetRecNo(2);
    set.SetRecNo(2);
    set.SetRecNo(9);  // no such record: stays
    set.SetRecNo(0);
    EXPECT_EQ(recorder.handlers,
              (Strings{"AfterScroll 2", "AfterScroll 3", "AfterScroll 1", "AfterScroll 2"}));
    EXPECT_EQ(recorder.observed, (Strings{"scroll", "scroll", "scroll", "scroll"}));
    EXPECT_EQ(set.RecNo(), 2);
}

TEST_F(DataSetTest, BofEofWalk) {
    set.LoadFromPacket(orderPacket(3));
    Strings seen;
    set.First();
    while (!set.Eof()) {
        seen.push_back(number());
        set.Next();
    }
    EXPECT_EQ(seen, (Strings{"1", "2", "3"}));
    seen.clear();
    set.Last();
    while (!set.Bof()) {
        seen.push_back(number());
        set.Prior();
    }
    EXPECT_EQ(seen, (Strings{"3", "2", "1"}));
}

TEST_F(DataSetTest, ReadingAnotherRecordDoesNotMove) {
    set.LoadFromPacket(orderPacket(3));
    Recorder recorder(set);
    EXPECT_EQ(set.FieldByName("NMFANTCLIE").ValueAt(3), Variant("C3"));
    EXPECT_EQ(set.FieldByName("VRTOTAL").DisplayTextAt(2), "2");
    EXPECT_TRUE(set.FieldByName("VRTOTAL").ValueAt(4).IsNull());
    EXPECT_EQ(set.FieldByName("VRTOTAL").DisplayTextAt(0), "");
    EXPECT_THROW(set.ReadRecord(4, [] {}), EDatabaseError);
    EXPECT_EQ(set.RecNo(), 1);
    EXPECT_EQ(number(), "1");
    EXPECT_TRUE(recorder.handlers.empty());
    EXPECT_TRUE(recorder.observed.empty());
}

TEST_F(DataSetTest, GetTextHandlerSeesTheRowBeingDrawn) {
    set.LoadFromPacket(orderPacket(3));
    TField& customer = set.FieldByName("NMFANTCLIE");
    customer.OnGetText = [](TField& field, std::string& text, bool) {
        text = field.AsString() + "/" + field.DataSet().FieldByName("NRORCAEVENTO").AsString();
    };
    EXPECT_EQ(customer.DisplayTextAt(2), "C2/2");
    EXPECT_EQ(customer.DisplayText(), "C1/1");
}

TEST_F(DataSetTest, ObserversCanBeRemoved) {
    set.LoadFromPacket(orderPacket(3));
    int heard = 0;
    const int token = set.AddObserver([&](TDataEvent) { ++heard; });
    set.Next();
    set.RemoveObserver(token);
    set.Next();
    EXPECT_EQ(heard, 1);
}

TEST_F(DataSetTest, FieldListIsFixedWhileOpen) {
    set.Open();
    try {
        set.AddField({"NOVO", FieldType::String, 1});
        FAIL();
    } catch (const EDatabaseError& error) {
        EXPECT_STREQ(error.what(),
                     "cdsEncomenda: Cannot perform this operation on an open dataset");
    }
    set.Close();
    EXPECT_THROW(set.AddField({"nrorcaevento", FieldType::String, 1}), EDatabaseError);
    EXPECT_EQ(set.Fields().size(), 5u);
}

// ------------------------------------------------------------------- editing

TEST_F(DataSetTest, StateTransitions) {
    set.LoadFromPacket(orderPacket(2));
    Recorder recorder(set);
    set.Edit();
    EXPECT_EQ(set.State(), TDataSetState::dsEdit);
    set.Edit();  // already editing
    set.FieldByName("NMFANTCLIE").SetAsString("X");
    set.Post();
    EXPECT_EQ(set.State(), TDataSetState::dsBrowse);
    set.Insert();
    EXPECT_EQ(set.State(), TDataSetState::dsInsert);
    set.Edit();  // already inserting: stays
    EXPECT_EQ(set.State(), TDataSetState::dsInsert);
    set.Cancel();
    EXPECT_EQ(set.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(recorder.observed, (Strings{"state", "record", "state", "change", "state", "change",
                                          "state", "change"}));
}

TEST_F(DataSetTest, EditPostEventOrderAndStoredValue) {
    set.LoadFromPacket(orderPacket(2));
    Recorder recorder(set);
    std::string stateInBeforePost;
    set.BeforePost = [&](TClientDataSet& s) {
        recorder.handlers.push_back("BeforePost");
        // The screens fill fields here; the record is still being edited.
        s.FieldByName("NRSEQORCAEVE").SetAsString("01");
    };
    set.Edit();
    set.FieldByName("NMFANTCLIE").SetAsString("Novo");
    set.Post();
    EXPECT_EQ(recorder.handlers, (Strings{"BeforePost", "AfterPost"}));
    EXPECT_EQ(set.FieldByName("NMFANTCLIE").AsString(), "Novo");
    EXPECT_EQ(set.FieldByName("NRSEQORCAEVE").AsString(), "01");
}

TEST_F(DataSetTest, PostInBrowseDoesNothing) {
    set.LoadFromPacket(orderPacket(1));
    Recorder recorder(set);
    set.Post();
    EXPECT_TRUE(recorder.handlers.empty());
    EXPECT_TRUE(recorder.observed.empty());
    EXPECT_EQ(set.ChangeCount(), 0);
}

TEST_F(DataSetTest, BeforePostRaisingKeepsTheEdit) {
    set.LoadFromPacket(orderPacket(1));
    set.BeforePost = [](TClientDataSet&) { throw EAbort(); };
    set.Edit();
    set.FieldByName("NMFANTCLIE").SetAsString("Novo");
    EXPECT_THROW(set.Post(), EAbort);
    EXPECT_EQ(set.State(), TDataSetState::dsEdit);
    EXPECT_EQ(set.FieldByName("NMFANTCLIE").AsString(), "Novo");
    set.Cancel();
    EXPECT_EQ(set.FieldByName("NMFANTCLIE").AsString(), "C1");
    EXPECT_EQ(set.ChangeCount(), 0);
}

TEST_F(DataSetTest, CancelFiresAfterCancelOnlyAfterAnEdit) {
    set.LoadFromPacket(orderPacket(2));
    Recorder recorder(set);
    set.Cancel();
    EXPECT_TRUE(recorder.handlers.empty());
    EXPECT_TRUE(recorder.observed.empty());
    set.Edit();
    set.FieldByName("NMFANTCLIE").SetAsString("Descartado");
    set.Cancel();
    EXPECT_EQ(recorder.handlers, (Strings{"AfterCancel"}));
    EXPECT_EQ(set.FieldByName("NMFANTCLIE").AsString(), "C1");
    EXPECT_EQ(set.ChangeCount(), 0);
}

TEST_F(DataSetTest, SetterOutsideEditRaises) {
    TField& customer = set.FieldByName("NMFANTCLIE");
    try {
        customer.SetAsString("closed");
        FAIL();
    } catch (const EDatabaseError& error) {
        EXPECT_STREQ(error.what(), "Dataset not in edit or insert mode");
    }
    set.LoadFromPacket(orderPacket(1));
    try {
        customer.SetValue(Variant("browse"));
        FAIL();
    } catch (const EDatabaseError& error) {
        EXPECT_STREQ(error.what(), "Dataset not in edit or insert mode");
    }
    EXPECT_THROW(customer.Clear(), EDatabaseError);
    EXPECT_FALSE(set.CanModify(customer));
    EXPECT_EQ(customer.AsString(), "C1");
    set.Edit();
    EXPECT_TRUE(set.CanModify(customer));
}

TEST_F(DataSetTest, EditOnAnEmptySetStartsANewRecord) {
    set.Open();
    set.Edit();
    EXPECT_EQ(set.State(), TDataSetState::dsInsert);
    EXPECT_FALSE(set.IsEmpty());  // a record is being inserted
    set.FieldByName("NRORCAEVENTO").SetAsString("5");
    set.Post();
    EXPECT_EQ(set.RecordCount(), 1);
    EXPECT_EQ(number(), "5");
}

TEST_F(DataSetTest, InsertGoesBeforeTheCurrentRecordAppendAtTheEnd) {
    set.LoadFromPacket(orderPacket(3));
    set.SetRecNo(2);
    set.Insert();
    EXPECT_TRUE(set.FieldByName("NRORCAEVENTO").IsNull());  // a new record starts empty
    set.FieldByName("NRORCAEVENTO").SetAsString("1b");
    set.Post();
    EXPECT_EQ(orderNumbers(set), (Strings{"1", "1b", "2", "3"}));
    EXPECT_EQ(set.RecNo(), 2);
    set.Append();
    set.FieldByName("NRORCAEVENTO").SetAsString("4");
    set.Post();
    EXPECT_EQ(orderNumbers(set), (Strings{"1", "1b", "2", "3", "4"}));
    EXPECT_EQ(set.RecNo(), 5);
    EXPECT_EQ(number(), "4");
}

TEST_F(DataSetTest, CancelledInsertLeavesNoRecord) {
    set.LoadFromPacket(orderPacket(3));
    set.SetRecNo(2);
    Recorder recorder(set);
    set.Insert();
    set.FieldByName("NRORCAEVENTO").SetAsString("novo");
    set.Cancel();
    EXPECT_EQ(orderNumbers(set), (Strings{"1", "2", "3"}));
    EXPECT_EQ(number(), "2");
    EXPECT_EQ(recorder.handlers, (Strings{"AfterCancel"}));
}

TEST_F(DataSetTest, RequiredFieldMustHaveAValue) {
    set.FieldByName("NMFANTCLIE").Required = true;
    set.LoadFromPacket(orderPacket(1));
    Recorder recorder(set);
    set.Append();
    set.FieldByName("NRORCAEVENTO").SetAsString("9");
    try {
        set.Post();
        FAIL() << "posted without a customer";
    } catch (const EDatabaseError& error) {
        EXPECT_STREQ(error.what(), "Field 'Cliente' must have a value");
    }
    set.FieldByName("NMFANTCLIE").SetAsString("");
    EXPECT_THROW(set.Post(), EDatabaseError);  // empty text counts as no value
    EXPECT_EQ(set.State(), TDataSetState::dsInsert);
    EXPECT_EQ(set.RecordCount(), 1);
    // BeforePost runs first, so a handler may still fill the field.
    EXPECT_EQ(recorder.handlers, (Strings{"BeforePost", "BeforePost"}));
    set.FieldByName("NMFANTCLIE").SetAsString("Cliente");
    set.Post();
    EXPECT_EQ(set.RecordCount(), 2);
}

TEST_F(DataSetTest, MovingWhileEditingPostsTheEdit) {
    set.LoadFromPacket(orderPacket(2));
    Recorder recorder(set);
    set.Edit();
    set.FieldByName("NMFANTCLIE").SetAsString("Movido");
    set.Next();
    EXPECT_EQ(set.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(set.FieldByName("NMFANTCLIE").ValueAt(1), Variant("Movido"));
    EXPECT_EQ(recorder.handlers, (Strings{"BeforePost", "AfterPost", "AfterScroll 2"}));
}

TEST_F(DataSetTest, ReadOnlySetRefusesChanges) {
    set.LoadFromPacket(orderPacket(2));
    set.ReadOnly = true;
    for (auto operation : {&TClientDataSet::Edit, &TClientDataSet::Insert, &TClientDataSet::Append,
                           &TClientDataSet::Delete}) {
        try {
            (set.*operation)();
            ADD_FAILURE() << "changed a read-only set";
        } catch (const EDatabaseError& error) {
            EXPECT_STREQ(error.what(), "Cannot modify a read-only dataset");
        }
    }
    EXPECT_EQ(set.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(set.RecordCount(), 2);
    set.Next();  // browsing still works
    EXPECT_EQ(number(), "2");
}

// ------------------------------------------------------------------ deleting

TEST_F(DataSetTest, DeleteMakesTheNextRecordCurrent) {
    set.LoadFromPacket(orderPacket(3));
    set.SetRecNo(2);
    Recorder recorder(set);
    set.Delete();
    EXPECT_EQ(orderNumbers(set), (Strings{"1", "3"}));
    EXPECT_EQ(number(), "3");
    EXPECT_EQ(recorder.handlers, (Strings{"AfterDelete", "AfterScroll 2"}));
    EXPECT_EQ(recorder.observed, (Strings{"change"}));
}

TEST_F(DataSetTest, DeletingTheLastRecordGoesBackOne) {
    set.LoadFromPacket(orderPacket(3));
    set.Last();
    set.Delete();
    EXPECT_EQ(number(), "2");
    EXPECT_EQ(set.RecNo(), 2);
}

TEST_F(DataSetTest, DeletingTheOnlyRecordEmptiesTheSet) {
    set.LoadFromPacket(orderPacket(1));
    Recorder recorder(set);
    set.Delete();
    EXPECT_TRUE(set.IsEmpty());
    EXPECT_EQ(set.RecNo(), 0);
    EXPECT_EQ(recorder.handlers, (Strings{"AfterDelete"}));
    try {
        set.Delete();
        FAIL();
    } catch (const EDatabaseError& error) {
        EXPECT_STREQ(error.what(),
                     "cdsEncomenda: Cannot perform this operation on an empty dataset");
    }
}

TEST_F(DataSetTest, DeleteWhileEditingDropsTheEditsWithoutAfterCancel) {
    set.LoadFromPacket(orderPacket(3));
    Recorder recorder(set);
    set.Edit();
    set.FieldByName("NMFANTCLIE").SetAsString("nunca");
    set.Delete();
    EXPECT_EQ(set.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(orderNumbers(set), (Strings{"2", "3"}));
    EXPECT_EQ(recorder.handlers, (Strings{"AfterDelete", "AfterScroll 1"}));
    const DataPacket delta = set.Delta();
    ASSERT_EQ(delta.rows.size(), 1u);
    EXPECT_EQ(delta.rows[0][1], Variant("C1"));  // the original, not the edit
}

TEST_F(DataSetTest, DeleteWhileInsertingCancelsTheInsert) {
    set.LoadFromPacket(orderPacket(2));
    Recorder recorder(set);
    set.Insert();
    set.Delete();
    EXPECT_EQ(orderNumbers(set), (Strings{"1", "2"}));
    EXPECT_EQ(recorder.handlers, (Strings{"AfterCancel"}));
    EXPECT_EQ(set.ChangeCount(), 0);
}

// --------------------------------------------------------- calculated fields

class CalculatedFieldTest : public ::testing::Test {
protected:
    CalculatedFieldTest() {
        set.AddField({"QTITEMORCEVE", FieldType::Float, 0});
        set.AddField({"VRITEMORCEVE", FieldType::Float, 0});
        set.AddCalculatedField({"VRTOTALITEM", FieldType::Float, 0}).DisplayFormat = "#,##0.00";
        set.OnCalcFields = [this](TClientDataSet& s) {
            ++calculations;
            s.FieldByName("VRTOTALITEM")
                .SetAsFloat(s.FieldByName("QTITEMORCEVE").AsFloat() *
                            s.FieldByName("VRITEMORCEVE").AsFloat());
        };
        DataPacket packet;  // no VRTOTALITEM: it exists only as a calculated field
        packet.fields = {{"QTITEMORCEVE", FieldType::Float, 0},
                         {"VRITEMORCEVE", FieldType::Float, 0}};
        packet.rows = {{Variant(3.0), Variant(1.23)}, {Variant(2.5), Variant(4.0)}};
        set.LoadFromPacket(packet);
    }
    TField& total() { return set.FieldByName("VRTOTALITEM"); }
    TClientDataSet set{"cdsItemOrcaEven"};
    int calculations = 0;
};

TEST_F(CalculatedFieldTest, EachRecordHasItsOwnValue) {
    EXPECT_DOUBLE_EQ(total().AsFloat(), 3.69);
    EXPECT_EQ(total().DisplayText(), "3,69");
    EXPECT_EQ(total().DisplayTextAt(2), "10,00");
    set.Next();
    EXPECT_DOUBLE_EQ(total().AsFloat(), 10.0);
    EXPECT_GT(calculations, 0);
}

TEST_F(CalculatedFieldTest, FollowsEditsAndPosts) {
    set.Edit();
    set.FieldByName("QTITEMORCEVE").SetAsFloat(2.0);
    EXPECT_DOUBLE_EQ(total().AsFloat(), 2.46);  // the record being edited
    EXPECT_DOUBLE_EQ(total().ValueAt(1).AsFloat(), 2.46);
    set.Post();
    EXPECT_DOUBLE_EQ(total().AsFloat(), 2.46);
    set.CancelUpdates();
    EXPECT_DOUBLE_EQ(total().AsFloat(), 3.69);
}

TEST_F(CalculatedFieldTest, CannotBeSetOutsideTheCalculation) {
    set.Edit();
    try {
        total().SetAsFloat(1.0);
        FAIL();
    } catch (const EDatabaseError& error) {
        EXPECT_STREQ(error.what(), "Field 'VRTOTALITEM' cannot be modified");
    }
}

TEST_F(CalculatedFieldTest, CalculationCannotChangeStoredFields) {
    set.OnCalcFields = [](TClientDataSet& s) { s.FieldByName("QTITEMORCEVE").SetAsFloat(0); };
    set.Edit();
    EXPECT_THROW(total().AsFloat(), EDatabaseError);
    EXPECT_DOUBLE_EQ(set.FieldByName("QTITEMORCEVE").AsFloat(), 3.0);
}

TEST_F(CalculatedFieldTest, NotPartOfDataOrDelta) {
    EXPECT_EQ(set.Data().fields.size(), 2u);
    set.Edit();
    set.FieldByName("QTITEMORCEVE").SetAsFloat(1.0);
    set.Post();
    EXPECT_EQ(set.Delta().fields.size(), 2u);
}

TEST_F(CalculatedFieldTest, NullWithoutHandler) {
    set.OnCalcFields = nullptr;
    EXPECT_TRUE(total().IsNull());
    EXPECT_EQ(total().DisplayText(), "");
}

}  // namespace
}  // namespace host
