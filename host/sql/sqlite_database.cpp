#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "host/sql/drivers.h"
#include "host/sql/per_file.h"
#include "host/sql/sql_dates.h"
#include "host/sql/sqlite_write_queue.h"
#include "host/sql/statement_text.h"

namespace host::sql {

namespace {

constexpr auto kBusyTimeout = std::chrono::milliseconds(5000);
constexpr auto kBusyPause = std::chrono::microseconds(250);
// Virtual machine steps between two looks at the deadline (about a
// millisecond of work).
constexpr int kProgressSteps = 20000;
constexpr std::size_t kStatementCacheSize = 64;
// Pages in the write-ahead log after which a commit asks for them to be
// copied back into the database file (SQLite's own default), and the length
// at which the committing thread copies them itself, because the background
// copy cannot keep up: the log stays bounded either way.
constexpr int kCheckpointPages = 1000;
constexpr int kInlineCheckpointPages = 8000;
constexpr int kCatchUpRounds = 8;
// A log that is never wholly copied at the moment a write begins never
// starts again from its beginning, so under steady writes it only grows and
// every commit extends the file. Once a background copy has left at most this
// many pages, the next commit copies the rest itself and starts the log over
// (a few commits' worth of pages and one sync of the database file), so the
// commits after it overwrite space the log already has.
constexpr int kRestartPages = 64;
// How long that commit waits for another writer or for readers of the log
// before it leaves the restart to a later copy: writers queue behind it
// meanwhile.
constexpr auto kRestartWait = std::chrono::milliseconds(3);

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>{}(text);
    }
};

enum class Reader { Text, Integer, Float, DateTime, Blob, ByValue };

// What a statement's result columns are and how each is read: worked out
// from the declared types once per compiled form of the statement, not at
// every query.
struct ResultColumns {
    std::vector<FieldDef> fields;
    std::vector<Reader> readers;
    std::vector<bool> byValue;
    int compiledAs = -1;  // the statement's re-prepare count they were made at
};

struct Prepared {
    sqlite3_stmt* statement = nullptr;
    std::vector<std::string> names;
    ResultColumns columns;
    ~Prepared() { sqlite3_finalize(statement); }
};

// Leaves a cached statement ready for its next use (and releases its read
// snapshot) whatever way the current use ends.
class ResetGuard {
public:
    explicit ResetGuard(sqlite3_stmt* statement) : m_statement(statement) {}
    ResetGuard(const ResetGuard&) = delete;
    ResetGuard& operator=(const ResetGuard&) = delete;
    ~ResetGuard() {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }

private:
    sqlite3_stmt* m_statement;
};

// Copies the write-ahead log back into the database file on its own thread
// and connection, so that no commit waits for it. The copy writes and syncs
// up to a thousand pages of the database file, milliseconds of work, where a
// commit itself only appends to the log and syncs it once. One per database
// file in the process, shared by all its connections; it does not take the
// write lock, so writers go on meanwhile.
class Checkpointer {
public:
    static std::shared_ptr<Checkpointer> of(const std::string& path) {
        return sharedPerFile<Checkpointer>(path,
                                           [&] { return std::make_shared<Checkpointer>(path); });
    }

    explicit Checkpointer(std::string path)
        : m_path(std::move(path)), m_thread([this] { run(); }) {}
    Checkpointer(const Checkpointer&) = delete;
    Checkpointer& operator=(const Checkpointer&) = delete;
    ~Checkpointer() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }

    // After a commit that left the log `pages` long. Until the log starts
    // again from its beginning, a copy is asked for once per
    // kCheckpointPages pages written, not after every commit: each copy syncs
    // the database file.
    void request(int pages) {
        {
            std::lock_guard lock(m_mutex);
            // A shorter log than at the last request: it has started over.
            if (pages < m_requestedAt) {
                m_requestedAt = 0;
            }
            if (m_requestedAt != 0 && pages < m_requestedAt + kCheckpointPages) {
                return;
            }
            m_requestedAt = pages;
            m_wanted = true;
        }
        m_wake.notify_one();
    }

    // Whether the last copy left the log nearly copied, asked once: the
    // commit that asks starts the log over.
    bool takeRestart() { return m_restartDue.exchange(false); }

private:
    void run() {
        sqlite3* db = nullptr;
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_wanted || m_stopping; });
            if (m_stopping) {
                break;
            }
            m_wanted = false;
            lock.unlock();
            checkpoint(db);
            lock.lock();
        }
        lock.unlock();
        // The last connection to close copies what is left and removes the log.
        sqlite3_close(db);
    }

    // A passive checkpoint copies what no reader still needs and never waits
    // for a lock; what it leaves, the next request copies. A failure leaves
    // the pages in the log, where they are as durable as in the file.
    void checkpoint(sqlite3*& db) {
        if (db == nullptr) {
            if (sqlite3_open_v2(m_path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                                nullptr) != SQLITE_OK) {
                sqlite3_close(db);
                db = nullptr;
                return;
            }
            // The file is synced before the log is reused.
            sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
        }
        // The log restarts from its beginning only after a copy has caught
        // up with it, so the pages committed during one copy are copied
        // right after it, a few rounds at most; each round is shorter.
        bool nearlyCopied = false;
        for (int round = 0; round < kCatchUpRounds && !nearlyCopied; ++round) {
            int logged = 0;
            int copied = 0;
            if (sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, &logged,
                                          &copied) != SQLITE_OK) {
                return;
            }
            nearlyCopied = logged - copied <= kRestartPages;
        }
        // The copy holds back no writer; the next commit finishes it.
        if (nearlyCopied) {
            m_restartDue.store(true);
        }
    }

    const std::string m_path;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_requestedAt = 0;                  // the log's length at the last request, 0 for none
    std::atomic<bool> m_restartDue{false};  // the log is copied but for a few pages
    bool m_wanted = false;
    bool m_stopping = false;
    std::thread m_thread;  // last: starts once the rest is ready
};

// SQLite counts every allocation and free under a global mutex for its
// memory statistics, which nothing here reads: a few hundred lock pairs per
// item read, taken by every connection in the process. Only possible before
// SQLite first starts; where something else started it, the counting stays.
void leaveOutMemoryStatistics() {
    static std::once_flag once;
    std::call_once(once, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
}

class SqliteDatabase final : public Database {
public:
    explicit SqliteDatabase(const std::string& path) : m_path(path) {
        leaveOutMemoryStatistics();
        const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
        if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
            const std::string message =
                m_db != nullptr ? sqlite3_errmsg(m_db) : std::string("out of memory");
            sqlite3_close(m_db);
            m_db = nullptr;
            throw DatabaseError("Cannot open database '" + path + "': " + message);
        }
        sqlite3_extended_result_codes(m_db, 1);
        sqlite3_busy_handler(m_db, &SqliteDatabase::onBusy, this);
        sqlite3_progress_handler(m_db, kProgressSteps, &SqliteDatabase::onProgress, this);
        // In place of SQLite's own checkpoint inside the commit that fills the log.
        sqlite3_wal_hook(m_db, &SqliteDatabase::onLogWritten, this);
        try {
            // Reads through a memory map skip a system call per page, which is
            // most of the cost of a long list read on a large file. A commit
            // is on disk before it is acknowledged (synchronous=FULL: the log
            // is flushed at every commit), so a cancellation the screen was
            // told about survives a power cut.
            run("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;"
                " PRAGMA mmap_size=1073741824;");
        } catch (...) {
            m_cache.clear();
            sqlite3_close(m_db);
            throw;
        }
        // By the name SQLite resolved, so that every way of naming the file
        // finds the same queue.
        if (const char* file = sqlite3_db_filename(m_db, "main"); file != nullptr && *file != 0) {
            m_writeQueue = SqliteWriteQueue::of(file);
        }
    }

    ~SqliteDatabase() override {
        m_cache.clear();
        sqlite3_close(m_db);
        leaveWriteQueue();
    }

    Engine engine() const override { return Engine::sqlite; }

    DataPacket query(std::string_view statement, const Params& params) override {
        DataPacket result;
        read(statement, params, 0, [&](DataPacket& packet) {
            result = std::move(packet);
            return true;
        });
        return result;
    }

    bool queryInPackets(std::string_view statement, const Params& params, std::size_t rowsPerPacket,
                        const std::function<bool(DataPacket&)>& sink) override {
        return read(statement, params, std::max<std::size_t>(rowsPerPacket, 1), sink);
    }

    // The rows of the statement, in packets of `rowsPerPacket` rows (0: one
    // packet of every row).
    bool read(std::string_view statement, const Params& params, std::size_t rowsPerPacket,
              const std::function<bool(DataPacket&)>& sink) {
        checkNotStopped();
        Prepared& prepared = prepare(statement);
        sqlite3_stmt* stmt = prepared.statement;
        ResetGuard guard(stmt);
        bindAll(prepared, orderedValues(prepared.names, params));

        // SQLite compiles a statement again at its first step when the schema
        // changed since; its columns are known for sure only after that step.
        int rc = sqlite3_step(stmt);
        const ResultColumns& columns = describe(prepared);
        DataPacket packet;
        packet.fields = columns.fields;
        const std::vector<Reader>& readers = columns.readers;
        const std::vector<bool>& byValue = columns.byValue;
        const int columnCount = static_cast<int>(readers.size());
        std::vector<bool> typeSeen(readers.size(), false);
        if (rowsPerPacket > 0) {
            packet.rows.reserve(rowsPerPacket);
        }
        for (;; rc = sqlite3_step(stmt)) {
            if (rc == SQLITE_DONE) {
                break;
            }
            if (rc != SQLITE_ROW) {
                fail(rc);
            }
            if (rowsPerPacket > 0 && packet.rows.size() == rowsPerPacket) {
                sizeStringColumnsByValue(packet, byValue);
                std::vector<FieldDef> fields = packet.fields;  // the sink may take the packet
                if (!sink(packet)) {
                    return false;
                }
                packet.fields = std::move(fields);
                packet.rows.clear();
                packet.rows.reserve(rowsPerPacket);
            }
            std::vector<Variant>& row = packet.rows.emplace_back();
            row.reserve(readers.size());
            for (int column = 0; column < columnCount; ++column) {
                const auto index = static_cast<std::size_t>(column);
                // One look-up of the cell serves its type and its value: the
                // statement-level accessors each find the column again.
                sqlite3_value* cell = sqlite3_column_value(stmt, column);
                const int storage = sqlite3_value_type(cell);
                if (storage == SQLITE_NULL) {
                    row.emplace_back();
                    continue;
                }
                switch (readers[index]) {
                    case Reader::Text:
                        row.emplace_back(std::string(valueText(cell)));
                        break;
                    case Reader::Integer:
                        row.emplace_back(static_cast<std::int64_t>(sqlite3_value_int64(cell)));
                        break;
                    case Reader::Float:
                        row.emplace_back(sqlite3_value_double(cell));
                        break;
                    case Reader::DateTime:
                        row.emplace_back(cellDateTime(cell, storage, packet.fields[index]));
                        break;
                    case Reader::Blob:
                        row.emplace_back(Blob{std::string(valueText(cell))});
                        break;
                    case Reader::ByValue:
                        row.push_back(columnByValue(stmt, column, storage));
                        if (!typeSeen[index]) {
                            typeSeen[index] = true;
                            packet.fields[index].type = typeOfStorage(storage);
                        }
                        break;
                }
            }
        }
        sizeStringColumnsByValue(packet, byValue);
        return sink(packet);
    }

    std::int64_t execute(std::string_view statement, const Params& params) override {
        checkNotStopped();
        Prepared& prepared = prepare(statement);
        ResetGuard guard(prepared.statement);
        bindAll(prepared, orderedValues(prepared.names, params));
        stepToEnd(prepared.statement);
        return sqlite3_changes64(m_db);
    }

    std::int64_t executeMany(std::string_view statement,
                             const std::vector<std::vector<Variant>>& rows) override {
        checkNotStopped();
        Prepared& prepared = prepare(statement);
        checkRowWidths(prepared.names, rows);
        std::int64_t changed = 0;
        std::vector<const Variant*> values(prepared.names.size());
        for (const auto& row : rows) {
            ResetGuard guard(prepared.statement);
            for (std::size_t i = 0; i < row.size(); ++i) {
                values[i] = &row[i];
            }
            bindAll(prepared, values);
            stepToEnd(prepared.statement);
            changed += sqlite3_changes64(m_db);
        }
        return changed;
    }

    void executeScript(std::string_view script) override { run(std::string(script)); }

    void begin() override {
        checkNotStopped();
        enterWriteQueue();
        try {
            runKept("BEGIN IMMEDIATE");
        } catch (...) {
            leaveWriteQueue();
            throw;
        }
    }
    void commit() override {
        checkNotStopped();
        checkBeforeCommit();
        try {
            runKept("COMMIT");
        } catch (...) {
            // A commit that failed may have ended the transaction; one still
            // open ends with the caller's rollback.
            if (!inTransaction()) {
                leaveWriteQueue();
            }
            throw;
        }
        leaveWriteQueue();
    }
    void rollback() override {
        if (inTransaction()) {
            // A rollback must run to its end even past the deadline.
            m_rollingBack = true;
            try {
                runKept("ROLLBACK");
            } catch (...) {
                m_rollingBack = false;
                leaveWriteQueue();
                throw;
            }
            m_rollingBack = false;
        }
        // Also when a failed statement has already ended the transaction.
        leaveWriteQueue();
    }
    bool inTransaction() const override { return sqlite3_get_autocommit(m_db) == 0; }

    void setDeadline(std::optional<TimePoint> deadline) override {
        m_deadline = deadline;
        checkNotStopped();
    }

    void interrupt() override {
        m_interrupted = true;
        sqlite3_interrupt(m_db);
        if (m_writeQueue) {
            m_writeQueue->wake();
        }
    }

    void clearInterrupt() override { m_interrupted = false; }

private:
    bool stopped() const {
        if (m_rollingBack) {
            return false;
        }
        return m_interrupted || (m_deadline && std::chrono::steady_clock::now() >= *m_deadline);
    }

    void checkNotStopped() const {
        if (m_interrupted) {
            throw InterruptedError("The request was cancelled");
        }
        if (m_deadline && std::chrono::steady_clock::now() >= *m_deadline) {
            throw InterruptedError("The deadline of the request has passed");
        }
    }

    // Waits for another writer in short pauses, for at most the busy timeout
    // and never past the deadline or an interrupt.
    static int onBusy(void* self, int attempt) {
        auto* database = static_cast<SqliteDatabase*>(self);
        const auto now = std::chrono::steady_clock::now();
        if (attempt == 0) {
            database->m_busySince = now;
        }
        if (database->stopped() || now - database->m_busySince >= database->m_busyLimit) {
            return 0;
        }
        // SQLite's own busy timeout sleeps in growing steps of up to 100 ms,
        // so a writer queued behind others wakes long after the lock is free.
        // Short, even steps hand the lock on within a fraction of a
        // millisecond.
        std::chrono::steady_clock::duration pause = kBusyPause;
        if (database->m_deadline && *database->m_deadline - now < pause) {
            pause = *database->m_deadline - now;
        }
        std::this_thread::sleep_for(pause);
        return 1;
    }

    // After every commit in write-ahead-log mode, with the log's length in
    // pages.
    static int onLogWritten(void* self, sqlite3* db, const char* schema, int pages) {
        if (pages < kCheckpointPages) {
            return SQLITE_OK;
        }
        auto* database = static_cast<SqliteDatabase*>(self);
        if (pages < kInlineCheckpointPages) {
            try {
                if (!database->m_checkpointer) {
                    database->m_checkpointer = Checkpointer::of(database->m_path);
                }
                if (database->m_checkpointer->takeRestart()) {
                    database->restartLog(db, schema);
                } else {
                    database->m_checkpointer->request(pages);
                }
                return SQLITE_OK;
            } catch (const std::exception&) {
                // No thread to be had: this commit copies them itself.
            }
        }
        sqlite3_wal_checkpoint_v2(db, schema, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        return SQLITE_OK;
    }

    // Copies what the background copy left and has the next write start the
    // log over. Busy (a reader or another writer past kRestartWait) leaves
    // the log as it was, as durable; the next copy asks again.
    void restartLog(sqlite3* db, const char* schema) {
        m_busyLimit = kRestartWait;
        sqlite3_wal_checkpoint_v2(db, schema, SQLITE_CHECKPOINT_RESTART, nullptr, nullptr);
        m_busyLimit = kBusyTimeout;
    }

    static int onProgress(void* self) { return static_cast<SqliteDatabase*>(self)->stopped(); }

    // Waits behind the process's other writers of the file, for as long as
    // SQLite's busy wait would.
    void enterWriteQueue() {
        if (!m_writeQueue || m_inWriteQueue) {
            return;
        }
        auto until = std::chrono::steady_clock::now() + m_busyLimit;
        if (m_deadline && *m_deadline < until) {
            until = *m_deadline;
        }
        if (!m_writeQueue->enter(until, [this] { return stopped(); })) {
            checkNotStopped();
            throw ConflictError("database is locked");
        }
        m_inWriteQueue = true;
    }

    void leaveWriteQueue() {
        if (m_inWriteQueue) {
            m_inWriteQueue = false;
            m_writeQueue->leave();
        }
    }

    [[noreturn]] void fail(int rc) const {
        const std::string message = sqlite3_errmsg(m_db);
        raise(rc, message);
    }

    [[noreturn]] void raise(int rc, const std::string& message) const {
        const int primary = rc & 0xff;
        if (primary == SQLITE_INTERRUPT || (primary == SQLITE_BUSY && stopped())) {
            throw InterruptedError(message);
        }
        if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
            throw ConflictError(message);
        }
        if (primary == SQLITE_CANTOPEN || rc == SQLITE_IOERR_DELETE_NOENT) {
            throw UnreachableError(message);
        }
        throw DatabaseError(message);
    }

    void run(const std::string& script) {
        char* error = nullptr;
        const int rc = sqlite3_exec(m_db, script.c_str(), nullptr, nullptr, &error);
        if (rc != SQLITE_OK) {
            const std::string message = error != nullptr ? error : sqlite3_errstr(rc);
            sqlite3_free(error);
            raise(rc, message);
        }
    }

    // A statement without values, kept prepared: a write transaction's BEGIN
    // and COMMIT would otherwise be compiled again for every call.
    void runKept(std::string_view statement) {
        Prepared& prepared = prepare(statement);
        ResetGuard guard(prepared.statement);
        stepToEnd(prepared.statement);
    }

    // The result columns of the statement as it is compiled now.
    static const ResultColumns& describe(Prepared& prepared) {
        sqlite3_stmt* stmt = prepared.statement;
        ResultColumns& columns = prepared.columns;
        const int compiledAs = sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_REPREPARE, 0);
        if (columns.compiledAs == compiledAs) {
            return columns;
        }
        const int columnCount = sqlite3_column_count(stmt);
        columns.fields.assign(static_cast<std::size_t>(columnCount), FieldDef{});
        columns.readers.assign(static_cast<std::size_t>(columnCount), Reader::ByValue);
        columns.byValue.assign(static_cast<std::size_t>(columnCount), false);
        for (int column = 0; column < columnCount; ++column) {
            const auto index = static_cast<std::size_t>(column);
            FieldDef& field = columns.fields[index];
            field.name = upperCaseName(sqlite3_column_name(stmt, column));
            const char* declared = sqlite3_column_decltype(stmt, column);
            if (declared == nullptr || !fieldFromDeclaredType(declared, field)) {
                columns.byValue[index] = true;
                field.type = FieldType::String;
                continue;
            }
            switch (field.type) {
                case FieldType::Integer:
                    columns.readers[index] = Reader::Integer;
                    break;
                case FieldType::Float:
                    columns.readers[index] = Reader::Float;
                    break;
                case FieldType::DateTime:
                    columns.readers[index] = Reader::DateTime;
                    break;
                case FieldType::Blob:
                    columns.readers[index] = Reader::Blob;
                    break;
                default:
                    columns.readers[index] = Reader::Text;
                    break;
            }
        }
        columns.compiledAs = compiledAs;
        return columns;
    }

    Prepared& prepare(std::string_view statement) {
        if (auto found = m_cache.find(statement); found != m_cache.end()) {
            return *found->second;
        }
        TranslatedStatement translated = translatePlaceholders(statement, Engine::sqlite);
        auto prepared = std::make_unique<Prepared>();
        const char* tail = nullptr;
        const int rc = sqlite3_prepare_v2(m_db, translated.text.c_str(),
                                          static_cast<int>(translated.text.size()),
                                          &prepared->statement, &tail);
        if (rc != SQLITE_OK) {
            fail(rc);
        }
        if (prepared->statement == nullptr) {
            throw DatabaseError("Empty statement");
        }
        if (tail != nullptr &&
            std::string_view(tail).find_first_not_of(" \t\r\n;") != std::string_view::npos) {
            throw DatabaseError("More than one statement given; use executeScript");
        }
        prepared->names = std::move(translated.names);
        if (m_cache.size() >= kStatementCacheSize) {
            m_cache.clear();
        }
        return *m_cache.emplace(std::string(statement), std::move(prepared)).first->second;
    }

    void bindAll(const Prepared& prepared, const std::vector<const Variant*>& values) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            bindOne(prepared, static_cast<int>(i + 1), *values[i]);
        }
    }

    void bindOne(const Prepared& prepared, int number, const Variant& value) {
        sqlite3_stmt* stmt = prepared.statement;
        int rc = SQLITE_OK;
        switch (value.Type()) {
            case VarType::Null:
                rc = sqlite3_bind_null(stmt, number);
                break;
            case VarType::Text: {
                const std::string text = value.AsString();
                rc = sqlite3_bind_text64(stmt, number, text.data(), text.size(), SQLITE_TRANSIENT,
                                         SQLITE_UTF8);
                break;
            }
            case VarType::Integer:
                rc = sqlite3_bind_int64(stmt, number, value.AsInteger());
                break;
            case VarType::Float:
                rc = sqlite3_bind_double(stmt, number, value.AsFloat());
                break;
            case VarType::DateTime: {
                const std::string text = formatTimestamp(value.AsDateTime());
                rc = sqlite3_bind_text64(stmt, number, text.data(), text.size(), SQLITE_TRANSIENT,
                                         SQLITE_UTF8);
                break;
            }
            case VarType::Blob: {
                // Stored as text: the TEXT columns hold memo contents that are
                // compared and read back as text on both engines.
                const std::string& bytes = value.AsBlob().bytes;
                rc = sqlite3_bind_text64(stmt, number, bytes.data(), bytes.size(), SQLITE_STATIC,
                                         SQLITE_UTF8);
                break;
            }
            case VarType::Array:
            case VarType::Packet:
                throw DatabaseError(
                    "Parameter :" + prepared.names[static_cast<std::size_t>(number - 1)] +
                    " cannot take an array or a data packet");
        }
        if (rc != SQLITE_OK) {
            fail(rc);
        }
    }

    void stepToEnd(sqlite3_stmt* stmt) {
        for (;;) {
            const int rc = sqlite3_step(stmt);
            if (rc == SQLITE_DONE) {
                return;
            }
            if (rc != SQLITE_ROW) {
                fail(rc);
            }
        }
    }

    static std::string columnText(sqlite3_stmt* stmt, int column) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
        const int length = sqlite3_column_bytes(stmt, column);
        return text != nullptr ? std::string(text, static_cast<std::size_t>(length))
                               : std::string();
    }

    // The cell's text in place, valid until the next step.
    static std::string_view valueText(sqlite3_value* cell) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(cell));
        const int length = sqlite3_value_bytes(cell);
        return text != nullptr ? std::string_view(text, static_cast<std::size_t>(length))
                               : std::string_view();
    }

    static TDateTime cellDateTime(sqlite3_value* cell, int storage, const FieldDef& field) {
        if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) {
            return TDateTime{sqlite3_value_double(cell)};
        }
        const std::string_view text = valueText(cell);
        if (auto when = parseTimestamp(text)) {
            return *when;
        }
        throw DatabaseError("Column " + field.name + " holds '" + std::string(text) +
                            "', not a date-time");
    }

    static Variant columnByValue(sqlite3_stmt* stmt, int column, int storage) {
        switch (storage) {
            case SQLITE_INTEGER:
                return Variant(static_cast<std::int64_t>(sqlite3_column_int64(stmt, column)));
            case SQLITE_FLOAT:
                return Variant(sqlite3_column_double(stmt, column));
            case SQLITE_BLOB: {
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, column));
                const int length = sqlite3_column_bytes(stmt, column);
                return Variant(Blob{std::string(bytes, static_cast<std::size_t>(length))});
            }
            default:
                return Variant(columnText(stmt, column));
        }
    }

    static FieldType typeOfStorage(int storage) {
        switch (storage) {
            case SQLITE_INTEGER:
                return FieldType::Integer;
            case SQLITE_FLOAT:
                return FieldType::Float;
            case SQLITE_BLOB:
                return FieldType::Blob;
            default:
                return FieldType::String;
        }
    }

    const std::string m_path;
    // Released after the connection is closed (members go after the body).
    std::shared_ptr<Checkpointer> m_checkpointer;
    sqlite3* m_db = nullptr;
    std::optional<TimePoint> m_deadline;
    TimePoint m_busySince{};
    std::chrono::steady_clock::duration m_busyLimit = kBusyTimeout;
    bool m_rollingBack = false;
    std::atomic<bool> m_interrupted{false};
    // Writers of a file (not of an in-memory database) queue in this process.
    std::shared_ptr<SqliteWriteQueue> m_writeQueue;
    bool m_inWriteQueue = false;
    std::unordered_map<std::string, std::unique_ptr<Prepared>, StringHash, std::equal_to<>> m_cache;
};

}  // namespace

std::unique_ptr<Database> openSqlite(const std::string& path) {
    return std::make_unique<SqliteDatabase>(path);
}

}  // namespace host::sql
