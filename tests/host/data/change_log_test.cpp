#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data_test_support.h"
#include "host/data/client_data_set.h"
#include "host/data/exceptions.h"

namespace host {
namespace {

using test::addOrderFields;
using test::orderFieldDefs;
using test::orderNumbers;
using test::orderPacket;
using test::orderRow;
using Strings = std::vector<std::string>;

class ChangeLogTest : public ::testing::Test {
protected:
    ChangeLogTest() {
        addOrderFields(set);
        set.LoadFromPacket(loaded);
    }
    void editCustomer(int recNo, const std::string& customer) {
        set.SetRecNo(recNo);
        set.Edit();
        set.FieldByName("NMFANTCLIE").SetAsString(customer);
        set.Post();
    }
    void insertOrder(int beforeRecNo, const std::string& number) {
        set.SetRecNo(beforeRecNo);
        set.Insert();
        set.FieldByName("NRORCAEVENTO").SetAsString(number);
        set.Post();
    }
    void deleteAt(int recNo) {
        set.SetRecNo(recNo);
        set.Delete();
    }
    std::string number() const { return set.FieldByName("NRORCAEVENTO").AsString(); }

    const DataPacket loaded = orderPacket(4);
    TClientDataSet set{"cdsEncomenda"};
};

std::vector<Variant> withCustomer(std::vector<Variant> row, const std::string& customer) {
    row[1] = Variant(customer);
    return row;
}

TEST_F(ChangeLogTest, ModifiedRecordTravelsAsOriginalThenCurrent) {
    editCustomer(2, "Novo");
    EXPECT_EQ(set.ChangeCount(), 1);
    const DataPacket delta = set.Delta();
    EXPECT_EQ(delta.fields, orderFieldDefs());
    ASSERT_EQ(delta.rows.size(), 2u);
    EXPECT_EQ(delta.rowStatus,
              (std::vector<RowStatus>{RowStatus::Unmodified, RowStatus::Modified}));
    EXPECT_EQ(delta.rows[0], loaded.rows[1]);
    EXPECT_EQ(delta.rows[1], withCustomer(loaded.rows[1], "Novo"));
    EXPECT_TRUE(delta.IsDelta());
}

TEST_F(ChangeLogTest, ModifyingTwiceKeepsTheLoadedOriginal) {
    editCustomer(2, "Primeiro");
    editCustomer(2, "Segundo");
    EXPECT_EQ(set.ChangeCount(), 1);
    const DataPacket delta = set.Delta();
    ASSERT_EQ(delta.rows.size(), 2u);
    EXPECT_EQ(delta.rows[0], loaded.rows[1]);
    EXPECT_EQ(delta.rows[1][1], Variant("Segundo"));
}

TEST_F(ChangeLogTest, InsertedRecordIsOneRow) {
    insertOrder(1, "99");
    EXPECT_EQ(set.ChangeCount(), 1);
    const DataPacket delta = set.Delta();
    ASSERT_EQ(delta.rows.size(), 1u);
    EXPECT_EQ(delta.rowStatus[0], RowStatus::Inserted);
    EXPECT_EQ(delta.rows[0][0], Variant("99"));
    EXPECT_TRUE(delta.rows[0][1].IsNull());
}

TEST_F(ChangeLogTest, EditedInsertStaysAnInsert) {
    insertOrder(1, "99");
    editCustomer(1, "Depois");
    const DataPacket delta = set.Delta();
    ASSERT_EQ(delta.rows.size(), 1u);
    EXPECT_EQ(delta.rowStatus[0], RowStatus::Inserted);
    EXPECT_EQ(delta.rows[0][1], Variant("Depois"));
}

TEST_F(ChangeLogTest, DeletedRecordTravelsWithItsOriginalValues) {
    editCustomer(3, "Alterado");
    deleteAt(3);
    EXPECT_EQ(set.ChangeCount(), 1);
    const DataPacket delta = set.Delta();
    ASSERT_EQ(delta.rows.size(), 1u);
    EXPECT_EQ(delta.rowStatus[0], RowStatus::Deleted);
    EXPECT_EQ(delta.rows[0], loaded.rows[2]);
}

TEST_F(ChangeLogTest, InsertedThenDeletedLeavesNoTrace) {
    insertOrder(2, "99");
    deleteAt(2);
    EXPECT_EQ(set.ChangeCount(), 0);
    EXPECT_TRUE(set.Delta().rows.empty());
    EXPECT_FALSE(set.Delta().IsDelta());
    EXPECT_EQ(orderNumbers(set), (Strings{"1", "2", "3", "4"}));
}

TEST_F(ChangeLogTest, DeltaListsChangesInTheOrderTheyWereMade) {
    deleteAt(4);
    editCustomer(1, "Mudou");
    insertOrder(2, "99");
    EXPECT_EQ(set.ChangeCount(), 3);
    const DataPacket delta = set.Delta();
    EXPECT_EQ(delta.rowStatus, (std::vector<RowStatus>{RowStatus::Deleted, RowStatus::Unmodified,
                                                       RowStatus::Modified, RowStatus::Inserted}));
    EXPECT_EQ(delta.rows[0][0], Variant("4"));
    EXPECT_EQ(delta.rows[1][0], Variant("1"));
    EXPECT_EQ(delta.rows[3][0], Variant("99"));
}

TEST_F(ChangeLogTest, CancelUpdatesRestoresTheLoadedData) {
    editCustomer(1, "Mudou");
    deleteAt(2);
    insertOrder(1, "99");
    deleteAt(3);  // the loaded order "3"
    ASSERT_EQ(orderNumbers(set), (Strings{"99", "1", "4"}));
    set.SetRecNo(3);
    int changes = 0;
    set.AddObserver([&](TDataEvent event) { changes += event == TDataEvent::deDataSetChange; });

    set.CancelUpdates();
    EXPECT_EQ(set.ChangeCount(), 0);
    EXPECT_EQ(set.Data().rows, loaded.rows);  // values and order, deleted rows back in place
    EXPECT_EQ(number(), "4");                 // the same record stays current
    EXPECT_EQ(changes, 1);
}

TEST_F(ChangeLogTest, CancelUpdatesKeepsThePositionWhenTheCurrentRecordGoes) {
    insertOrder(4, "99");
    ASSERT_EQ(set.RecNo(), 4);
    set.CancelUpdates();
    EXPECT_EQ(set.RecNo(), 4);
    EXPECT_EQ(number(), "4");
}

TEST_F(ChangeLogTest, CancelUpdatesWhileEditingCancelsTheEdit) {
    int afterCancel = 0;
    set.AfterCancel = [&](TClientDataSet&) { ++afterCancel; };
    editCustomer(1, "Gravado");
    set.Edit();
    set.FieldByName("NMFANTCLIE").SetAsString("Pendente");
    set.CancelUpdates();
    EXPECT_EQ(set.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(afterCancel, 1);
    EXPECT_EQ(set.FieldByName("NMFANTCLIE").AsString(), "C1");
}

TEST_F(ChangeLogTest, AfterCancelMayUndoTheWholeLog) {
    // The screens undo every change when an edit is cancelled.
    set.AfterCancel = [](TClientDataSet& s) { s.CancelUpdates(); };
    editCustomer(2, "Gravado");
    set.Edit();
    set.Cancel();
    EXPECT_EQ(set.ChangeCount(), 0);
    EXPECT_EQ(set.Data().rows, loaded.rows);
}

TEST_F(ChangeLogTest, RefusedDeletionComesBack) {
    // A deletion the server refuses: the delete handler undoes the log and fails.
    set.AfterDelete = [](TClientDataSet& s) {
        s.CancelUpdates();
        throw Exception("refused");
    };
    editCustomer(1, "Antes");
    EXPECT_THROW(deleteAt(3), Exception);
    EXPECT_EQ(set.Data().rows, loaded.rows);
    EXPECT_EQ(set.ChangeCount(), 0);
}

TEST_F(ChangeLogTest, MergeChangeLogMakesTheChangesTheBase) {
    editCustomer(1, "Mesclado");
    deleteAt(2);
    insertOrder(1, "99");
    set.MergeChangeLog();
    EXPECT_EQ(set.ChangeCount(), 0);
    EXPECT_TRUE(set.Delta().rows.empty());
    const auto merged = set.Data().rows;
    set.CancelUpdates();
    EXPECT_EQ(set.Data().rows, merged);
    EXPECT_EQ(orderNumbers(set), (Strings{"99", "1", "3", "4"}));

    // Changes after the merge are logged against the merged data.
    editCustomer(2, "Outra");
    const DataPacket delta = set.Delta();
    ASSERT_EQ(delta.rows.size(), 2u);
    EXPECT_EQ(delta.rows[0][1], Variant("Mesclado"));
    set.CancelUpdates();
    EXPECT_EQ(set.Data().rows, merged);
}

TEST_F(ChangeLogTest, MergePostsAPendingEdit) {
    set.Edit();
    set.FieldByName("NMFANTCLIE").SetAsString("Pendente");
    set.MergeChangeLog();
    EXPECT_EQ(set.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(set.ChangeCount(), 0);
    EXPECT_EQ(set.FieldByName("NMFANTCLIE").AsString(), "Pendente");
}

TEST_F(ChangeLogTest, WithoutLoggingChangesGoStraightIntoTheData) {
    set.LogChanges = false;
    editCustomer(1, "Direto");
    insertOrder(2, "99");
    deleteAt(4);
    EXPECT_EQ(set.ChangeCount(), 0);
    EXPECT_TRUE(set.Delta().rows.empty());
    const auto direct = set.Data().rows;
    EXPECT_EQ(orderNumbers(set), (Strings{"1", "99", "2", "4"}));
    set.CancelUpdates();
    EXPECT_EQ(set.Data().rows, direct);
}

TEST_F(ChangeLogTest, UnloggedInsertKeepsItsPlaceWhenLoggedChangesAreUndone) {
    deleteAt(2);  // logged
    set.LogChanges = false;
    insertOrder(2, "99");  // lands between "1" and "3"
    set.LogChanges = true;
    editCustomer(1, "Logado");
    set.CancelUpdates();
    EXPECT_EQ(orderNumbers(set), (Strings{"1", "2", "99", "3", "4"}));
    EXPECT_EQ(set.FieldByName("NMFANTCLIE").ValueAt(1), Variant("C1"));
}

TEST_F(ChangeLogTest, ManyUnloggedInsertsAtOnePlaceKeepTheirOrder) {
    set.LogChanges = false;
    for (int i = 0; i < 70; ++i) {
        insertOrder(2, "n" + std::to_string(i));  // each before the previous one
    }
    set.LogChanges = true;
    deleteAt(1);
    set.CancelUpdates();
    const Strings numbers = orderNumbers(set);
    ASSERT_EQ(numbers.size(), 74u);
    EXPECT_EQ(numbers[0], "1");
    EXPECT_EQ(numbers[1], "n69");
    EXPECT_EQ(numbers[70], "n0");
    EXPECT_EQ(numbers[71], "2");
}

}  // namespace
}  // namespace host
