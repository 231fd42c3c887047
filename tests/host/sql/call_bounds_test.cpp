// A connection bounded by a deadline, stopped from another thread, and
// refusing to commit when its caller says so.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "host/sql/database.h"
#include "tests/support/test_database.h"

namespace host::sql {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class CallBoundsTest : public testsupport::EngineTest {
protected:
    // A statement that runs for many seconds on either engine.
    std::string longStatement() const {
        if (engine() == Engine::postgresql) {
            return "SELECT pg_sleep(20)";
        }
        return "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n"
               " WHERE i < 4000000000) SELECT COUNT(*) FROM n";
    }

    std::int64_t branches() {
        return database().query("SELECT COUNT(*) FROM FILIAL").rows.at(0).at(0).AsInteger();
    }
};

TEST_P(CallBoundsTest, ACommitCheckThatRaisesLeavesNothingCommitted) {
    auto connection = testDatabase().connect();
    connection->setCommitCheck([] { throw std::runtime_error("caller gone"); });
    {
        Transaction transaction(*connection);
        connection->execute("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES ('0001', 'MATRIZ')");
        EXPECT_THROW(transaction.commit(), std::runtime_error);
    }
    EXPECT_FALSE(connection->inTransaction());
    EXPECT_EQ(branches(), 0);
    connection->setCommitCheck({});
    Transaction again(*connection);
    connection->execute("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES ('0001', 'MATRIZ')");
    again.commit();
    EXPECT_EQ(branches(), 1);
}

TEST_P(CallBoundsTest, TheDeadlineEndsALongStatement) {
    auto connection = testDatabase().connect();
    const auto started = Clock::now();
    connection->setDeadline(started + 300ms);
    EXPECT_THROW(connection->query(longStatement()), InterruptedError);
    EXPECT_LT(Clock::now() - started, 10s);
    connection->setDeadline(std::nullopt);
    EXPECT_EQ(connection->query("SELECT 1").rows.at(0).at(0).AsInteger(), 1);
}

TEST_P(CallBoundsTest, TheDeadlineEndsAWaitForALock) {
    database().execute("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES ('0001', 'MATRIZ')");
    database().begin();
    database().execute("UPDATE FILIAL SET NMFILIAL = 'OUTRA' WHERE CDFILIAL = '0001'");
    auto connection = testDatabase().connect();
    connection->setDeadline(Clock::now() + 300ms);
    const auto attempt = [&] {
        Transaction transaction(*connection);
        connection->execute("UPDATE FILIAL SET NMFILIAL = 'TERCEIRA' WHERE CDFILIAL = '0001'");
        transaction.commit();
    };
    // PostgreSQL reports its lock_timeout as a lock conflict; SQLite's busy
    // wait ends as an interruption.
    EXPECT_THROW(attempt(), DatabaseError);
    EXPECT_FALSE(connection->inTransaction());
    database().rollback();
    EXPECT_EQ(database().query("SELECT NMFILIAL FROM FILIAL").rows.at(0).at(0).AsString(),
              "MATRIZ");
}

TEST_P(CallBoundsTest, InterruptFromAnotherThreadStopsTheStatementAndWhatFollows) {
    auto connection = testDatabase().connect();
    std::thread stopper([&] {
        std::this_thread::sleep_for(300ms);
        connection->interrupt();
    });
    const auto started = Clock::now();
    EXPECT_THROW(connection->query(longStatement()), InterruptedError);
    stopper.join();
    EXPECT_LT(Clock::now() - started, 10s);
    EXPECT_THROW(connection->query("SELECT 1"), InterruptedError);
    connection->clearInterrupt();
    EXPECT_EQ(connection->query("SELECT 1").rows.at(0).at(0).AsInteger(), 1);
}

// The bound goes out with the next statement; a statement that fails must
// not take the bound back with it.
TEST_P(CallBoundsTest, TheDeadlineOutlivesAFailedStatement) {
    auto connection = testDatabase().connect();
    const auto started = Clock::now();
    connection->setDeadline(started + 500ms);
    EXPECT_THROW(connection->query("SELECT * FROM NO_SUCH_TABLE"), DatabaseError);
    EXPECT_THROW(connection->query(longStatement()), InterruptedError);
    EXPECT_LT(Clock::now() - started, 10s);
    connection->setDeadline(std::nullopt);
    EXPECT_EQ(connection->query("SELECT 1").rows.at(0).at(0).AsInteger(), 1);
}

TEST_P(CallBoundsTest, AShorterDeadlineAfterALongerOneStillEndsTheStatement) {
    auto connection = testDatabase().connect();
    connection->setDeadline(Clock::now() + 20s);
    EXPECT_EQ(connection->query("SELECT 1").rows.at(0).at(0).AsInteger(), 1);
    const auto started = Clock::now();
    connection->setDeadline(started + 300ms);
    EXPECT_THROW(connection->query(longStatement()), InterruptedError);
    EXPECT_LT(Clock::now() - started, 10s);
}

TEST_P(CallBoundsTest, NoDeadlineLiftsTheBoundOfTheCallBefore) {
    auto connection = testDatabase().connect();
    connection->setDeadline(Clock::now() + 5s);
    EXPECT_EQ(connection->query("SELECT 1").rows.at(0).at(0).AsInteger(), 1);
    connection->setDeadline(std::nullopt);
    if (engine() == Engine::postgresql) {
        EXPECT_EQ(connection->query("SELECT current_setting('statement_timeout')")
                      .rows.at(0)
                      .at(0)
                      .AsString(),
                  "0");
        EXPECT_EQ(
            connection->query("SELECT current_setting('lock_timeout')").rows.at(0).at(0).AsString(),
            "0");
    }
}

TEST_P(CallBoundsTest, APassedDeadlineRunsNothing) {
    auto connection = testDatabase().connect();
    EXPECT_THROW(connection->setDeadline(Clock::now() - 1ms), InterruptedError);
}

ORE_ON_BOTH_ENGINES(CallBoundsTest);

}  // namespace
}  // namespace host::sql
