// The write-ahead log of a SQLite database is copied back into the database
// file away from the commits: the copy still happens while the connections
// stay open, writers at once still all get through, and a process killed in
// the middle of commits and copies loses none it acknowledged.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "host/sql/database.h"
#include "tests/support/test_database.h"

namespace host::sql {
namespace {

using namespace std::chrono_literals;

// About one database page per row.
const std::string kPageOfText(3900, 'x');
constexpr std::uintmax_t kPageSize = 4096;

std::string pathOf(const testsupport::TestDatabase& scratch) {
    return *sqliteFileOf(scratch.target());
}

std::uintmax_t fileSize(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

// Commits `transactions` transactions of `rowsEach` rows of about a page.
void writePages(Database& database, int writer, int transactions, int rowsEach) {
    for (int transaction = 0; transaction < transactions; ++transaction) {
        std::vector<std::vector<Variant>> rows;
        for (int row = 0; row < rowsEach; ++row) {
            rows.push_back({Variant(std::int64_t{writer}), Variant(std::int64_t{transaction}),
                            Variant(kPageOfText)});
        }
        Transaction scope(database);
        database.executeMany("INSERT INTO PAGES (WRITER, TX, BODY) VALUES (:W, :T, :B)", rows);
        scope.commit();
    }
}

// Waits (at most 20 s) for the database file to hold at least `pages` pages.
bool fileReaches(const std::string& path, std::uintmax_t pages) {
    const auto until = std::chrono::steady_clock::now() + 20s;
    while (fileSize(path) < pages * kPageSize) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

void createPages(Database& database) {
    database.executeScript(
        "CREATE TABLE PAGES (WRITER INTEGER NOT NULL, TX INTEGER NOT NULL, BODY TEXT NOT NULL)");
}

TEST(SqliteLog, IsCopiedIntoTheFileWhileTheConnectionStaysOpen) {
    testsupport::TestDatabase scratch(Engine::sqlite, false);
    auto& database = scratch.database();
    createPages(database);
    const std::uintmax_t before = fileSize(pathOf(scratch));
    // 1,500 pages: past the length at which the log is copied back.
    writePages(database, 0, 30, 50);
    EXPECT_TRUE(fileReaches(pathOf(scratch), before / kPageSize + 1000))
        << "the database file holds " << fileSize(pathOf(scratch)) << " bytes";
    EXPECT_EQ(database.query("SELECT COUNT(*) FROM PAGES").rows.at(0).at(0),
              Variant(std::int64_t{1500}));
    EXPECT_EQ(database.query("PRAGMA integrity_check").rows.at(0).at(0), Variant("ok"));
}

TEST(SqliteLog, FourWritersAtOnceAllGetThroughWhileTheLogIsCopied) {
    testsupport::TestDatabase scratch(Engine::sqlite, false);
    createPages(scratch.database());
    constexpr int writers = 4;
    constexpr int transactions = 40;
    constexpr int rowsEach = 10;
    std::atomic<int> failures{0};
    std::string firstFailure;
    std::vector<std::thread> threads;
    for (int writer = 0; writer < writers; ++writer) {
        threads.emplace_back([&, writer] {
            try {
                auto connection = scratch.connect();
                writePages(*connection, writer, transactions, rowsEach);
            } catch (const std::exception& error) {
                if (failures++ == 0) {
                    firstFailure = error.what();
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0) << firstFailure;
    const auto counts = scratch.database().query(
        "SELECT WRITER, COUNT(*), COUNT(DISTINCT TX) FROM PAGES GROUP BY WRITER ORDER BY WRITER");
    ASSERT_EQ(counts.rows.size(), static_cast<std::size_t>(writers));
    for (const auto& row : counts.rows) {
        EXPECT_EQ(row.at(1), Variant(std::int64_t{transactions * rowsEach}));
        EXPECT_EQ(row.at(2), Variant(std::int64_t{transactions}));
    }
    // The pages written before the log grew past its limit at least.
    EXPECT_TRUE(fileReaches(pathOf(scratch), 500));
}

// Under writes without a pause the log is never wholly copied at the moment
// a write begins; it must still start over from its beginning instead of
// growing with every commit.
TEST(SqliteLog, StartsOverUnderSteadyWritesInsteadOfGrowing) {
    testsupport::TestDatabase scratch(Engine::sqlite, false);
    auto& database = scratch.database();
    createPages(database);
    const std::string log = pathOf(scratch) + "-wal";
    constexpr int transactions = 1200;
    constexpr int rowsEach = 10;
    std::uintmax_t longest = 0;
    for (int transaction = 0; transaction < transactions; ++transaction) {
        writePages(database, transaction, 1, rowsEach);
        longest = std::max(longest, fileSize(log));
    }
    // 12,000 pages written; the log is asked to be copied at 1,000 pages and
    // may grow by what is committed while a copy runs.
    EXPECT_LT(longest, 4000 * kPageSize) << "the log grew to " << longest << " bytes";
    EXPECT_GT(longest, 0U);
    EXPECT_EQ(database.query("SELECT COUNT(*) FROM PAGES").rows.at(0).at(0),
              Variant(std::int64_t{transactions * rowsEach}));
    EXPECT_EQ(database.query("PRAGMA integrity_check").rows.at(0).at(0), Variant("ok"));
}

TEST(SqliteLog, AKilledWriterLosesNoAcknowledgedCommit) {
    testsupport::TestDatabase scratch(Engine::sqlite, false);
    createPages(scratch.database());
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The writer: tells the parent each transaction it has committed,
        // until it is killed.
        close(pipeEnds[0]);
        try {
            auto database = Database::open(scratch.target());
            for (int transaction = 0; transaction < 100000; ++transaction) {
                writePages(*database, transaction, 1, 16);
                if (write(pipeEnds[1], &transaction, sizeof transaction) !=
                    static_cast<ssize_t>(sizeof transaction)) {
                    _exit(2);
                }
            }
        } catch (...) {
            _exit(3);
        }
        _exit(0);
    }
    close(pipeEnds[1]);
    // Past 3,000 pages, so the log has been copied back more than once and a
    // copy is likely under way at the kill.
    constexpr int killAfter = 190;
    int acknowledged = -1;
    const auto until = std::chrono::steady_clock::now() + 30s;
    while (acknowledged < killAfter && std::chrono::steady_clock::now() < until) {
        int transaction = 0;
        if (read(pipeEnds[0], &transaction, sizeof transaction) !=
            static_cast<ssize_t>(sizeof transaction)) {
            break;
        }
        acknowledged = transaction;
    }
    kill(child, SIGKILL);
    // Whatever was told before the kill is read now; nothing comes after it.
    for (int transaction = 0; read(pipeEnds[0], &transaction, sizeof transaction) ==
                              static_cast<ssize_t>(sizeof transaction);) {
        acknowledged = transaction;
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself: " << status;
    ASSERT_GE(acknowledged, killAfter) << "the writer was too slow to reach the log's copies";

    auto database = Database::open(scratch.target());
    EXPECT_EQ(database->query("PRAGMA integrity_check").rows.at(0).at(0), Variant("ok"));
    const auto counts =
        database->query("SELECT COUNT(*), COUNT(DISTINCT WRITER), MAX(WRITER) FROM PAGES");
    const auto& row = counts.rows.at(0);
    // Every acknowledged transaction is there whole; at most the one in
    // flight at the kill beyond them.
    EXPECT_GE(row.at(2).AsInteger(), acknowledged);
    EXPECT_LE(row.at(2).AsInteger(), acknowledged + 1);
    EXPECT_EQ(row.at(0).AsInteger(), 16 * row.at(1).AsInteger());
    EXPECT_EQ(row.at(1).AsInteger(), row.at(2).AsInteger() + 1);
}

}  // namespace
}  // namespace host::sql
