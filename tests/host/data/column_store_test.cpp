// The data set keeps its loaded rows by column; these cover the faults such a
// store invites, loaded both ways: from a packet by rows and from a packet by
// columns as the wire brings it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "data_test_support.h"
#include "host/data/client_data_set.h"
#include "host/data/column_packet.h"
#include "host/data/exceptions.h"

namespace host {
namespace {

using test::addOrderFields;
using test::orderFieldDefs;
using test::orderNumbers;
using test::orderRow;

// Orders "1".."count"; customer null on every third row (1, 4, 7, ...),
// value null on every fifth, so nulls follow values and values nulls.
DataPacket packetWithNulls(int count) {
    DataPacket packet;
    packet.fields = orderFieldDefs();
    for (int i = 1; i <= count; ++i) {
        std::vector<Variant> row =
            orderRow(std::to_string(i), "C" + std::to_string(i), static_cast<double>(i) / 4);
        if (i % 3 == 1) {
            row[1] = Variant();
        }
        if (i % 5 == 0) {
            row[3] = Variant();
        }
        packet.rows.push_back(std::move(row));
    }
    return packet;
}

std::shared_ptr<const ColumnPacket> byColumns(const DataPacket& rows) {
    auto packet = std::make_shared<ColumnPacket>();
    packet->fields = rows.fields;
    for (const FieldDef& field : rows.fields) {
        packet->columns.emplace_back(field.type);
    }
    for (const auto& row : rows.rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            packet->columns[c].Append(row[c]);
        }
    }
    return packet;
}

enum class Load { Rows, Columns };

class ColumnStoreTest : public ::testing::TestWithParam<Load> {
protected:
    ColumnStoreTest() { addOrderFields(set); }

    void load(const DataPacket& packet) {
        if (GetParam() == Load::Rows) {
            set.LoadFromPacket(packet);
        } else {
            set.SetData(Variant(byColumns(packet)));
        }
    }
    void editCustomer(int recNo, const Variant& customer) {
        set.SetRecNo(recNo);
        set.Edit();
        set.FieldByName("NMFANTCLIE").SetValue(customer);
        set.Post();
    }
    Variant customerAt(int recNo) const { return set.FieldByName("NMFANTCLIE").ValueAt(recNo); }

    TClientDataSet set{"cdsEncomenda"};
};

TEST_P(ColumnStoreTest, NullsAndValuesReadBackInEveryRowAcrossBitmapWords) {
    const DataPacket loaded = packetWithNulls(150);
    load(loaded);
    ASSERT_EQ(set.RecordCount(), 150);
    for (int recNo = 1; recNo <= 150; ++recNo) {
        SCOPED_TRACE(recNo);
        EXPECT_EQ(customerAt(recNo).IsNull(), recNo % 3 == 1);
        if (recNo % 3 != 1) {
            EXPECT_EQ(customerAt(recNo), Variant("C" + std::to_string(recNo)));
        }
        const Variant value = set.FieldByName("VRTOTAL").ValueAt(recNo);
        EXPECT_EQ(value.IsNull(), recNo % 5 == 0);
        if (recNo % 5 != 0) {
            EXPECT_EQ(value, Variant(static_cast<double>(recNo) / 4));
        }
    }
    set.SetRecNo(130);
    EXPECT_TRUE(set.FieldByName("NMFANTCLIE").IsNull());
    EXPECT_EQ(set.FieldByName("NMFANTCLIE").AsString(), "");
    EXPECT_EQ(set.Data(), loaded);
}

TEST_P(ColumnStoreTest, StringCellGrowsAndShrinksWithoutTouchingItsNeighbours) {
    const DataPacket loaded = packetWithNulls(6);
    load(loaded);
    const std::string longer(300, 'x');
    editCustomer(2, Variant(longer));
    EXPECT_EQ(customerAt(1), Variant());
    EXPECT_EQ(customerAt(2), Variant(longer));
    EXPECT_EQ(customerAt(3), Variant("C3"));
    editCustomer(2, Variant("y"));
    EXPECT_EQ(customerAt(2), Variant("y"));
    EXPECT_EQ(customerAt(3), Variant("C3"));
    editCustomer(3, Variant(""));
    EXPECT_EQ(customerAt(3), Variant(""));
    EXPECT_EQ(customerAt(5), Variant("C5"));

    const DataPacket delta = set.Delta();
    ASSERT_EQ(delta.rows.size(), 4u);
    EXPECT_EQ(delta.rows[0], loaded.rows[1]);
    EXPECT_EQ(delta.rows[1][1], Variant("y"));
    EXPECT_EQ(delta.rows[2], loaded.rows[2]);
    EXPECT_EQ(delta.rows[3][1], Variant(""));
    EXPECT_EQ(delta.rowStatus,
              (std::vector<RowStatus>{RowStatus::Unmodified, RowStatus::Modified,
                                      RowStatus::Unmodified, RowStatus::Modified}));
}

TEST_P(ColumnStoreTest, NullCellTakesAValueAndAValueBecomesNull) {
    const DataPacket loaded = packetWithNulls(5);
    load(loaded);
    editCustomer(1, Variant("agora"));
    set.SetRecNo(2);
    set.Edit();
    set.FieldByName("NMFANTCLIE").Clear();
    set.Post();
    EXPECT_EQ(customerAt(1), Variant("agora"));
    EXPECT_TRUE(customerAt(2).IsNull());

    const DataPacket delta = set.Delta();
    ASSERT_EQ(delta.rows.size(), 4u);
    EXPECT_TRUE(delta.rows[0][1].IsNull());
    EXPECT_EQ(delta.rows[1][1], Variant("agora"));
    EXPECT_EQ(delta.rows[2][1], Variant("C2"));
    EXPECT_TRUE(delta.rows[3][1].IsNull());
    set.CancelUpdates();
    EXPECT_EQ(set.Data(), loaded);
}

TEST_P(ColumnStoreTest, DeltaOfEditedLoadedRowsCarriesEveryOriginalValue) {
    const DataPacket loaded = packetWithNulls(10);
    load(loaded);
    set.SetRecNo(5);
    set.Edit();
    set.FieldByName("VRTOTAL").SetAsFloat(99.5);
    set.FieldByName("DTHRENTROREV").SetAsDateTime(TDateTime{45700.5});
    set.Post();
    editCustomer(9, Variant("novo"));
    // A second edit keeps the loaded original.
    editCustomer(5, Variant("outro"));

    const DataPacket delta = set.Delta();
    ASSERT_EQ(delta.rows.size(), 4u);
    EXPECT_EQ(delta.rows[0], loaded.rows[4]);
    std::vector<Variant> fifth = loaded.rows[4];
    fifth[1] = Variant("outro");
    fifth[3] = Variant(99.5);
    fifth[4] = Variant(TDateTime{45700.5});
    EXPECT_EQ(delta.rows[1], fifth);
    EXPECT_EQ(delta.rows[2], loaded.rows[8]);
    std::vector<Variant> ninth = loaded.rows[8];
    ninth[1] = Variant("novo");
    EXPECT_EQ(delta.rows[3], ninth);
    EXPECT_EQ(set.ChangeCount(), 2);
}

TEST_P(ColumnStoreTest, CancelledEditLeavesTheLoadedValues) {
    const DataPacket loaded = packetWithNulls(4);
    load(loaded);
    set.SetRecNo(2);
    set.Edit();
    set.FieldByName("NMFANTCLIE").SetAsString("descartado");
    EXPECT_EQ(set.FieldByName("NMFANTCLIE").AsString(), "descartado");
    set.Cancel();
    EXPECT_EQ(set.FieldByName("NMFANTCLIE").AsString(), "C2");
    EXPECT_EQ(set.ChangeCount(), 0);
    EXPECT_TRUE(set.Delta().rows.empty());
    EXPECT_EQ(set.Data(), loaded);
}

TEST_P(ColumnStoreTest, DeleteThenInsertAndUndo) {
    const DataPacket loaded = packetWithNulls(5);
    load(loaded);
    set.SetRecNo(2);
    set.Delete();
    set.SetRecNo(2);
    set.Insert();
    set.FieldByName("NRORCAEVENTO").SetAsString("N");
    set.Post();
    EXPECT_EQ(orderNumbers(set), (std::vector<std::string>{"1", "N", "3", "4", "5"}));
    EXPECT_TRUE(customerAt(2).IsNull());
    EXPECT_EQ(customerAt(3), Variant("C3"));

    const DataPacket delta = set.Delta();
    ASSERT_EQ(delta.rows.size(), 2u);
    EXPECT_EQ(delta.rows[0], loaded.rows[1]);
    EXPECT_EQ(delta.rowStatus[0], RowStatus::Deleted);
    EXPECT_EQ(delta.rows[1][0], Variant("N"));
    EXPECT_EQ(delta.rowStatus[1], RowStatus::Inserted);

    set.CancelUpdates();
    EXPECT_EQ(set.Data(), loaded);
    EXPECT_EQ(set.ChangeCount(), 0);
}

TEST_P(ColumnStoreTest, DeletedEditedRowTravelsWithItsLoadedValues) {
    const DataPacket loaded = packetWithNulls(4);
    load(loaded);
    editCustomer(3, Variant("editado"));
    set.SetRecNo(3);
    set.Delete();
    const DataPacket delta = set.Delta();
    ASSERT_EQ(delta.rows.size(), 1u);
    EXPECT_EQ(delta.rows[0], loaded.rows[2]);
    EXPECT_EQ(delta.rowStatus[0], RowStatus::Deleted);
    set.CancelUpdates();
    EXPECT_EQ(set.Data(), loaded);
}

TEST_P(ColumnStoreTest, UnloggedEditIsTheOriginalOfALaterLoggedOne) {
    const DataPacket loaded = packetWithNulls(3);
    load(loaded);
    set.LogChanges = false;
    editCustomer(2, Variant("sem registro"));
    set.LogChanges = true;
    editCustomer(2, Variant("registrado"));
    const DataPacket delta = set.Delta();
    ASSERT_EQ(delta.rows.size(), 2u);
    EXPECT_EQ(delta.rows[0][1], Variant("sem registro"));
    EXPECT_EQ(delta.rows[1][1], Variant("registrado"));
    set.CancelUpdates();
    EXPECT_EQ(customerAt(2), Variant("sem registro"));
}

TEST_P(ColumnStoreTest, MergedChangesAreWhatCancelUpdatesGoesBackTo) {
    const DataPacket loaded = packetWithNulls(4);
    load(loaded);
    editCustomer(2, Variant("fundido"));
    set.SetRecNo(4);
    set.Delete();
    set.MergeChangeLog();
    editCustomer(2, Variant("depois"));
    const DataPacket delta = set.Delta();
    ASSERT_EQ(delta.rows.size(), 2u);
    EXPECT_EQ(delta.rows[0][1], Variant("fundido"));
    set.CancelUpdates();
    EXPECT_EQ(customerAt(2), Variant("fundido"));
    EXPECT_EQ(orderNumbers(set), (std::vector<std::string>{"1", "2", "3"}));
}

TEST_P(ColumnStoreTest, UnloggedInsertsAmongLoadedRowsKeepTheirPlaceThroughUndo) {
    load(packetWithNulls(3));
    set.LogChanges = false;
    for (int i = 0; i < 40; ++i) {
        set.SetRecNo(2);
        set.Insert();
        set.FieldByName("NRORCAEVENTO").SetAsString("u" + std::to_string(i));
        set.Post();
    }
    set.LogChanges = true;
    set.SetRecNo(1);
    set.Delete();
    editCustomer(1, Variant("e"));
    set.CancelUpdates();
    const std::vector<std::string> numbers = orderNumbers(set);
    ASSERT_EQ(numbers.size(), 43u);
    EXPECT_EQ(numbers[0], "1");
    EXPECT_EQ(numbers[1], "u39");
    EXPECT_EQ(numbers[40], "u0");
    EXPECT_EQ(numbers[41], "2");
    EXPECT_EQ(numbers[42], "3");
    EXPECT_EQ(customerAt(2), Variant());
}

TEST_P(ColumnStoreTest, GridReadsOfOtherRowsWhileEditing) {
    load(packetWithNulls(4));
    set.SetRecNo(2);
    set.Edit();
    set.FieldByName("NMFANTCLIE").SetAsString("editando");
    EXPECT_EQ(customerAt(2), Variant("editando"));
    EXPECT_EQ(customerAt(3), Variant("C3"));
    EXPECT_EQ(set.FieldByName("NMFANTCLIE").AsString(), "editando");
}

INSTANTIATE_TEST_SUITE_P(Loads, ColumnStoreTest, ::testing::Values(Load::Rows, Load::Columns),
                         [](const ::testing::TestParamInfo<Load>& load) {
                             return load.param == Load::Rows ? "ByRows" : "ByColumns";
                         });

TEST(ColumnStore, IntegerColumnFillsAFloatFieldAndTextABlobField) {
    DataPacket rows;
    rows.fields = {{"N", FieldType::Integer, 0}, {"T", FieldType::String, 10}};
    rows.rows = {{Variant(7), Variant("abc")}, {Variant(), Variant()}};
    TClientDataSet set("cds");
    set.AddField({"N", FieldType::Float, 0});
    set.AddField({"T", FieldType::Blob, 0});
    set.SetData(Variant(byColumns(rows)));
    EXPECT_EQ(set.FieldByName("N").Value(), Variant(7.0));
    EXPECT_EQ(set.FieldByName("T").Value(), Variant(Blob{"abc"}));
    set.Next();
    EXPECT_TRUE(set.FieldByName("N").IsNull());
    EXPECT_TRUE(set.FieldByName("T").IsNull());
}

TEST(ColumnStore, MissingFieldOfAColumnPacketIsRefusedAndTheSetStaysClosed) {
    DataPacket rows;
    rows.fields = {{"NRORCAEVENTO", FieldType::String, 10}};
    rows.rows = {{Variant("1")}};
    TClientDataSet set("cdsEncomenda");
    addOrderFields(set);
    try {
        set.SetData(Variant(byColumns(rows)));
        FAIL() << "no error";
    } catch (const EDatabaseError& error) {
        EXPECT_STREQ(error.what(), "cdsEncomenda: Field 'NMFANTCLIE' not found");
    }
    EXPECT_FALSE(set.Active());
}

TEST(ColumnStore, ColumnPacketReadsAsTheSamePacketByRows) {
    const DataPacket rows = packetWithNulls(70);
    const Variant columns(byColumns(rows));
    EXPECT_EQ(columns.Type(), VarType::Packet);
    EXPECT_EQ(columns.AsPacket(), rows);
    EXPECT_EQ(*columns.PacketPtr(), rows);
    EXPECT_EQ(columns, Variant(rows));
    EXPECT_EQ(Variant(rows).ColumnsPtr(), nullptr);
}

TEST(ColumnStore, WireChunksWithNullsAppendAtAnyRow) {
    PacketColumn text(FieldType::String);
    PacketColumn numbers(FieldType::Float);
    // Three rows, the second null; then ten rows, nulls at 0 and 9.
    const std::uint32_t firstLengths[] = {1, 2};
    text.AppendTexts("abb", firstLengths, 3, std::string(1, '\x02'));
    const double firstNumbers[] = {1.0, 3.0};
    numbers.AppendNumbers(firstNumbers, 3, std::string(1, '\x02'));
    const std::uint32_t lengths[] = {1, 1, 1, 1, 1, 1, 1, 1};
    const std::string nulls{'\x01', '\x02'};
    text.AppendTexts("cdefghij", lengths, 10, nulls);
    const double values[] = {4, 5, 6, 7, 8, 9, 10, 11};
    numbers.AppendNumbers(values, 10, nulls);
    ASSERT_EQ(text.Size(), 13u);
    for (std::size_t row = 0; row < 13; ++row) {
        SCOPED_TRACE(row);
        const bool null = row == 1 || row == 3 || row == 12;
        EXPECT_EQ(text.IsNull(row), null);
        EXPECT_EQ(numbers.IsNull(row), null);
    }
    EXPECT_EQ(text.Value(0), Variant("a"));
    EXPECT_EQ(text.Value(2), Variant("bb"));
    EXPECT_EQ(text.Value(4), Variant("c"));
    EXPECT_EQ(text.Value(11), Variant("j"));
    EXPECT_EQ(numbers.Value(2), Variant(3.0));
    EXPECT_EQ(numbers.Value(4), Variant(4.0));
    EXPECT_EQ(numbers.Value(11), Variant(11.0));
}

}  // namespace
}  // namespace host
