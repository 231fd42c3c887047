// A long result handed on in packets while it is read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/sql/database.h"
#include "tests/support/test_database.h"

namespace {

using host::DataPacket;
using host::Variant;
using testsupport::EngineTest;

class QueryInPacketsTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        std::vector<std::vector<Variant>> rows;
        for (int index = 1; index <= 25; ++index) {
            rows.push_back(
                {Variant(std::string(4 - std::to_string(index).size(), '0') +
                         std::to_string(index)),
                 index % 4 == 0 ? Variant() : Variant("FILIAL " + std::to_string(index))});
        }
        database().executeMany("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES (:CD, :NM)", rows);
    }

    static constexpr const char* statement =
        "SELECT CDFILIAL, NMFILIAL FROM FILIAL WHERE CDFILIAL >= :FROM ORDER BY CDFILIAL";
};

TEST_P(QueryInPacketsTest, PacketsHoldTheRowsOfTheQueryInOrder) {
    const DataPacket whole = database().query(statement, {{"FROM", "0002"}});
    ASSERT_EQ(whole.rows.size(), 24U);
    std::vector<std::size_t> sizes;
    DataPacket joined;
    const bool done =
        database().queryInPackets(statement, {{"FROM", "0002"}}, 10, [&](DataPacket& packet) {
            EXPECT_EQ(packet.fields, whole.fields);
            sizes.push_back(packet.rows.size());
            for (auto& row : packet.rows) {
                joined.rows.push_back(std::move(row));
            }
            return true;
        });
    EXPECT_TRUE(done);
    EXPECT_EQ(sizes, (std::vector<std::size_t>{10, 10, 4}));
    EXPECT_EQ(joined.rows, whole.rows);
}

TEST_P(QueryInPacketsTest, AnEmptyResultIsOnePacketWithItsFields) {
    int calls = 0;
    database().queryInPackets(statement, {{"FROM", "9999"}}, 10, [&](DataPacket& packet) {
        ++calls;
        EXPECT_EQ(packet.fields.size(), 2U);
        EXPECT_TRUE(packet.rows.empty());
        return true;
    });
    EXPECT_EQ(calls, 1);
}

TEST_P(QueryInPacketsTest, TheReadStopsWhenTheSinkSaysSoAndTheConnectionGoesOn) {
    int calls = 0;
    const bool done =
        database().queryInPackets(statement, {{"FROM", "0001"}}, 5, [&](DataPacket& packet) {
            ++calls;
            packet = DataPacket{};  // a sink may take the packet whole
            return calls < 2;
        });
    EXPECT_FALSE(done);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(database().query(statement, {{"FROM", "0001"}}).rows.size(), 25U);
    // The statement was left ready: a second read sees every row again.
    std::size_t rows = 0;
    database().queryInPackets(statement, {{"FROM", "0001"}}, 7, [&](DataPacket& packet) {
        EXPECT_EQ(packet.fields.size(), 2U);
        rows += packet.rows.size();
        return true;
    });
    EXPECT_EQ(rows, 25U);
}

ORE_ON_BOTH_ENGINES(QueryInPacketsTest);

}  // namespace
