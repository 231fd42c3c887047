// The queue of a SQLite file's writers in this process: turns in the order
// asked, writers that give up passed over, and every way a write transaction
// ends letting the next writer in.
#include "host/sql/sqlite_write_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "host/sql/database.h"
#include "tests/support/test_database.h"

namespace host::sql {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool never() {
    return false;
}

// Waits (at most 10 s) until `count` writers wait in the queue.
bool waitersReach(SqliteWriteQueue& queue, std::size_t count) {
    const auto until = Clock::now() + 10s;
    while (queue.waiting() < count) {
        if (Clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(SqliteWriteQueue, WritersGetTheirTurnsInTheOrderTheyAsked) {
    SqliteWriteQueue queue;
    ASSERT_TRUE(queue.enter(Clock::now() + 1s, never));
    std::mutex mutex;
    std::vector<int> order;
    std::vector<std::thread> writers;
    for (int writer = 0; writer < 4; ++writer) {
        writers.emplace_back([&, writer] {
            if (queue.enter(Clock::now() + 10s, never)) {
                {
                    std::lock_guard lock(mutex);
                    order.push_back(writer);
                }
                queue.leave();
            }
        });
        // Each asks only once the one before it is in the queue.
        ASSERT_TRUE(waitersReach(queue, static_cast<std::size_t>(writer) + 1));
    }
    queue.leave();
    for (auto& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(queue.waiting(), 0U);
}

TEST(SqliteWriteQueue, AWriterThatGaveUpIsPassedOver) {
    SqliteWriteQueue queue;
    ASSERT_TRUE(queue.enter(Clock::now() + 1s, never));
    // Its time runs out while the first writer holds its turn.
    EXPECT_FALSE(queue.enter(Clock::now() + 20ms, never));
    std::atomic<bool> entered{false};
    std::thread later([&] {
        entered = queue.enter(Clock::now() + 10s, never);
        if (entered) {
            queue.leave();
        }
    });
    ASSERT_TRUE(waitersReach(queue, 1));
    queue.leave();
    later.join();
    EXPECT_TRUE(entered.load());
    // And the queue is free again.
    EXPECT_TRUE(queue.enter(Clock::now() + 1s, never));
    queue.leave();
}

TEST(SqliteWriteQueue, AStopEndsTheWaitAsSoonAsTheWaitersAreWoken) {
    SqliteWriteQueue queue;
    ASSERT_TRUE(queue.enter(Clock::now() + 1s, never));
    std::atomic<bool> stop{false};
    std::atomic<bool> entered{true};
    const auto start = Clock::now();
    std::thread waiter([&] { entered = queue.enter(start + 30s, [&] { return stop.load(); }); });
    ASSERT_TRUE(waitersReach(queue, 1));
    stop = true;
    queue.wake();
    waiter.join();
    EXPECT_FALSE(entered.load());
    EXPECT_LT(Clock::now() - start, 10s);
    queue.leave();
    EXPECT_EQ(queue.waiting(), 0U);
}

class SqliteWriters : public ::testing::Test {
protected:
    void SetUp() override {
        m_scratch.database().executeScript("CREATE TABLE T (ID INTEGER PRIMARY KEY, V TEXT)");
    }

    // A write transaction on a second connection gets through within 2 s.
    bool anotherWriterGetsThrough() {
        auto other = m_scratch.connect();
        other->setDeadline(Clock::now() + 2s);
        try {
            Transaction transaction(*other);
            other->execute("INSERT INTO T (V) VALUES ('other')", {});
            transaction.commit();
            return true;
        } catch (const DatabaseError&) {
            return false;
        }
    }

    testsupport::TestDatabase m_scratch{Engine::sqlite, false};
};

TEST_F(SqliteWriters, EveryEndOfAWriteTransactionLetsTheNextWriterIn) {
    auto& first = m_scratch.database();
    // Committed.
    first.begin();
    first.execute("INSERT INTO T (V) VALUES ('a')", {});
    first.commit();
    EXPECT_TRUE(anotherWriterGetsThrough());
    // Rolled back.
    first.begin();
    first.rollback();
    EXPECT_TRUE(anotherWriterGetsThrough());
    // After a statement that failed, rolled back by its owner.
    first.begin();
    EXPECT_THROW(first.execute("INSERT INTO NOWHERE (V) VALUES ('x')", {}), DatabaseError);
    first.rollback();
    EXPECT_TRUE(anotherWriterGetsThrough());
    // Left open by a connection that closes.
    {
        auto closing = m_scratch.connect();
        closing->begin();
        closing->execute("INSERT INTO T (V) VALUES ('lost')", {});
    }
    EXPECT_TRUE(anotherWriterGetsThrough());
    EXPECT_EQ(first.query("SELECT COUNT(*) FROM T WHERE V = 'lost'").rows.at(0).at(0),
              Variant(std::int64_t{0}));
}

TEST_F(SqliteWriters, AWriterWaitingBehindAnotherStopsAtItsDeadline) {
    auto& first = m_scratch.database();
    first.begin();
    auto other = m_scratch.connect();
    const auto start = Clock::now();
    other->setDeadline(start + 200ms);
    EXPECT_THROW(other->begin(), InterruptedError);
    EXPECT_LT(Clock::now() - start, 3s);
    EXPECT_FALSE(other->inTransaction());
    first.rollback();
    other->setDeadline(std::nullopt);
    EXPECT_TRUE(anotherWriterGetsThrough());
}

TEST_F(SqliteWriters, AnInterruptedWaitEndsAtOnce) {
    auto& first = m_scratch.database();
    first.begin();
    auto other = m_scratch.connect();
    std::atomic<bool> interrupted{false};
    const auto start = Clock::now();
    std::thread waiter([&] {
        try {
            other->begin();
        } catch (const InterruptedError&) {
            interrupted = true;
        }
    });
    std::this_thread::sleep_for(50ms);
    other->interrupt();
    waiter.join();
    EXPECT_TRUE(interrupted.load());
    EXPECT_LT(Clock::now() - start, 3s);
    first.rollback();
}

}  // namespace
}  // namespace host::sql
