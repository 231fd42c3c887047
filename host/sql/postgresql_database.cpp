#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <functional>
#include <unordered_map>

#include "host/sql/drivers.h"
#include "host/sql/sql_dates.h"
#include "host/sql/statement_text.h"

namespace host::sql {

namespace {

// Type oids of the built-in types (pg_type.dat).
constexpr Oid kBool = 16;
constexpr Oid kBytea = 17;
constexpr Oid kInt8 = 20;
constexpr Oid kInt2 = 21;
constexpr Oid kInt4 = 23;
constexpr Oid kText = 25;
constexpr Oid kOid = 26;
constexpr Oid kFloat4 = 700;
constexpr Oid kFloat8 = 701;
constexpr Oid kBpchar = 1042;
constexpr Oid kVarchar = 1043;
constexpr Oid kDate = 1082;
constexpr Oid kTimestamp = 1114;
constexpr Oid kTimestampTz = 1184;
constexpr Oid kNumeric = 1700;

// Statements kept prepared per connection; beyond, all are dropped at once
// (lists with code lists make many distinct texts).
constexpr std::size_t kPreparedCacheSize = 256;
constexpr std::size_t kPipelineChunk = 1000;
// How much longer than the time left a bound already set may be and still
// serve the next call.
constexpr std::int64_t kBoundSlackMs = 25;

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>{}(text);
    }
};

struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

enum class Reader { Text, Integer, Float, DateTime, Blob, Bool, Bytea };

std::string trimmedMessage(const char* text) {
    std::string message = text != nullptr ? text : "";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
        message.pop_back();
    }
    return message;
}

// SQLSTATEs of a lost or refused connection: the request may be retried once
// the server is back.
bool isUnreachableState(std::string_view code) {
    return code.rfind("08", 0) == 0 || code == "57P01" || code == "57P02" || code == "57P03";
}

[[noreturn]] void raiseByState(std::string_view code, const std::string& message,
                               PGconn* connection) {
    if (PQstatus(connection) == CONNECTION_BAD || isUnreachableState(code)) {
        throw UnreachableError(message);
    }
    // Cancelled by interrupt() or stopped by statement_timeout.
    if (code == "57014") {
        throw InterruptedError(message);
    }
    if (code == "40001" || code == "40P01" || code == "55P03") {
        throw ConflictError(message);
    }
    throw DatabaseError(message);
}

[[noreturn]] void raiseFromResult(const PGresult* result, PGconn* connection) {
    const char* state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    std::string message = result != nullptr ? trimmedMessage(PQresultErrorMessage(result)) : "";
    if (message.empty()) {
        message = trimmedMessage(PQerrorMessage(connection));
    }
    if (message.empty()) {
        message = "PostgreSQL request failed";
    }
    raiseByState(state != nullptr ? state : "", message, connection);
}

// Text form of a parameter; false for SQL NULL.
bool parameterText(const Variant& value, const std::string& name, std::string& text) {
    switch (value.Type()) {
        case VarType::Null:
            return false;
        case VarType::Text:
        case VarType::Integer:
            text = value.AsString();
            return true;
        case VarType::Float: {
            char buffer[64];
            const auto [end, error] =
                std::to_chars(buffer, buffer + sizeof buffer, value.AsFloat());
            text.assign(buffer, error == std::errc() ? end : buffer);
            return true;
        }
        case VarType::DateTime:
            text = formatTimestamp(value.AsDateTime());
            return true;
        case VarType::Blob:
            text = value.AsBlob().bytes;
            return true;
        case VarType::Array:
        case VarType::Packet:
            break;
    }
    throw DatabaseError("Parameter :" + name + " cannot take an array or a data packet");
}

// Parameter values as libpq takes them: text, NULL pointers for nulls, the
// server infers every type from its use.
class BoundValues {
public:
    BoundValues() = default;
    BoundValues(const std::vector<std::string>& names, const std::vector<const Variant*>& values)
        : m_texts(values.size()), m_pointers(values.size(), nullptr) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (parameterText(*values[i], names[i], m_texts[i])) {
                m_pointers[i] = m_texts[i].c_str();
            }
        }
    }
    int count() const { return static_cast<int>(m_pointers.size()); }
    const char* const* pointers() const { return m_pointers.data(); }

private:
    std::vector<std::string> m_texts;
    std::vector<const char*> m_pointers;
};

template <typename Number>
Number parseNumber(const char* text, int length, const std::string& column) {
    Number value{};
    const auto [end, error] = std::from_chars(text, text + length, value);
    if (error != std::errc() || end != text + length) {
        throw DatabaseError("Column " + column + " holds '" +
                            std::string(text, static_cast<std::size_t>(length)) +
                            "', not a number");
    }
    return value;
}

std::string decodeBytea(const char* text, int length) {
    std::string bytes;
    if (length >= 2 && text[0] == '\\' && text[1] == 'x') {
        const auto hex = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
        bytes.reserve(static_cast<std::size_t>(length - 2) / 2);
        for (int i = 2; i + 1 < length; i += 2) {
            bytes += static_cast<char>(hex(text[i]) * 16 + hex(text[i + 1]));
        }
        return bytes;
    }
    return std::string(text, static_cast<std::size_t>(length));
}

// A statement as this connection knows it: translated once, parsed by the
// server on first use under a name of its own, then only bound and run.
struct PreparedStatement {
    TranslatedStatement translated;
    std::string name;
    bool parsed = false;
};

// One statement of a pipelined exchange: a prepared one, or a text parsed
// unnamed each time (transaction control, cursors).
struct Request {
    PreparedStatement* prepared = nullptr;
    const std::string* text = nullptr;
    const BoundValues* values = nullptr;
};

class PostgresqlDatabase final : public Database {
public:
    explicit PostgresqlDatabase(const std::string& connectionString)
        : m_connection(PQconnectdb(connectionString.c_str())) {
        if (m_connection == nullptr || PQstatus(m_connection) != CONNECTION_OK) {
            const std::string message = m_connection != nullptr
                                            ? trimmedMessage(PQerrorMessage(m_connection))
                                            : std::string("out of memory");
            PQfinish(m_connection);
            throw UnreachableError("Cannot connect to PostgreSQL: " + message);
        }
        // Notices (e.g. "table does not exist, skipping") are not errors and
        // must not end up on the standard error of the server.
        PQsetNoticeProcessor(
            m_connection, [](void*, const char*) {}, nullptr);
        try {
            run("SET client_encoding TO 'UTF8'; SET DateStyle TO 'ISO, YMD'; "
                "SET extra_float_digits TO 3");
        } catch (...) {
            PQfinish(m_connection);
            throw;
        }
        m_cancel = PQgetCancel(m_connection);
    }

    ~PostgresqlDatabase() override {
        PQfreeCancel(m_cancel);
        PQfinish(m_connection);
    }

    Engine engine() const override { return Engine::postgresql; }

    DataPacket query(std::string_view statement, const Params& params) override {
        checkNotInterrupted();
        Result result = runPrepared(statement, params);
        return toPacket(result.get());
    }

    std::vector<DataPacket> queryBatch(const Queries& queries) override {
        checkNotInterrupted();
        makeRoomFor(queries.size());
        std::vector<BoundValues> values;
        values.reserve(queries.size());
        std::vector<Request> requests;
        requests.reserve(queries.size());
        for (const auto& [statement, params] : queries) {
            PreparedStatement& prepared = preparedFor(statement);
            values.emplace_back(prepared.translated.names,
                                orderedValues(prepared.translated.names, params));
            requests.push_back({&prepared, nullptr, &values.back()});
        }
        std::vector<Result> results = exchange(requests);
        std::vector<DataPacket> packets;
        packets.reserve(results.size());
        for (const Result& result : results) {
            packets.push_back(toPacket(result.get()));
        }
        return packets;
    }

    // Through a cursor, a packet per FETCH: the server reads on while the
    // caller sends what it has. Outside a transaction, the cursor gets a
    // read-only one of its own, so every packet comes from one snapshot.
    bool queryInPackets(std::string_view statement, const Params& params, std::size_t rowsPerPacket,
                        const std::function<bool(DataPacket&)>& sink) override {
        checkNotInterrupted();
        const TranslatedStatement translated = translatePlaceholders(statement, Engine::postgresql);
        const BoundValues values(translated.names, orderedValues(translated.names, params));
        const bool own = !inTransaction();
        const std::size_t size = std::max<std::size_t>(rowsPerPacket, 1);
        const std::string fetch = "FETCH FORWARD " + std::to_string(size) + " FROM ore_packets";
        bool completed = false;
        try {
            // Transaction, cursor and first packet in one round trip.
            static const std::string beginReadOnly = "BEGIN TRANSACTION READ ONLY";
            // The planner costs a cursor for its first tenth of rows, and
            // so picks index walks with a lookup per row; every row is read
            // here, and a plan for the whole result (joins by hash) was a
            // sixth faster on a 100,000-order list. Until the transaction ends.
            static const std::string planForAllRows = "SET LOCAL cursor_tuple_fraction = 1.0";
            const std::string declare =
                "DECLARE ore_packets NO SCROLL CURSOR FOR " + translated.text;
            std::vector<Request> requests;
            if (own) {
                requests.push_back({nullptr, &beginReadOnly, nullptr});
            }
            requests.push_back({nullptr, &planForAllRows, nullptr});
            requests.push_back({nullptr, &declare, &values});
            requests.push_back({nullptr, &fetch, nullptr});
            Result current = std::move(exchange(requests).back());
            for (;;) {
                const bool last = static_cast<std::size_t>(PQntuples(current.get())) < size;
                // The next FETCH is asked for before the current packet is
                // converted and handed on, so the database reads while we send.
                if (!last) {
                    sendFetch(fetch);
                }
                DataPacket packet = toPacket(current.get());
                current.reset();
                if (!sink(packet)) {
                    if (!last) {
                        receive();
                    }
                    break;
                }
                if (last) {
                    completed = true;
                    break;
                }
                current = receive();
            }
            // COMMIT closes the cursor with the transaction.
            run(own ? "COMMIT" : "CLOSE ore_packets");
        } catch (...) {
            while (Result pending{PQgetResult(m_connection)}) {
            }
            try {
                if (own) {
                    rollback();
                } else {
                    run("CLOSE ore_packets");
                }
            } catch (...) {
            }
            throw;
        }
        return completed;
    }

    std::int64_t execute(std::string_view statement, const Params& params) override {
        checkNotInterrupted();
        Result result = runPrepared(statement, params);
        return changedRows(result.get());
    }

    std::int64_t executeMany(std::string_view statement,
                             const std::vector<std::vector<Variant>>& rows) override {
        checkNotInterrupted();
        const TranslatedStatement translated = translatePlaceholders(statement, Engine::postgresql);
        checkRowWidths(translated.names, rows);
        if (rows.empty()) {
            return 0;
        }
        sendPendingSettings();
        // Pipelined: the rows go out in chunks without waiting for each answer.
        if (PQenterPipelineMode(m_connection) != 1) {
            raiseFromResult(nullptr, m_connection);
        }
        std::int64_t changed = 0;
        std::string failure;
        std::string failureState;
        const auto nParams = static_cast<int>(translated.names.size());
        bool prepared =
            PQsendPrepare(m_connection, "", translated.text.c_str(), nParams, nullptr) == 1;
        std::vector<const Variant*> pointers(translated.names.size());
        for (std::size_t first = 0; prepared && first < rows.size() && failure.empty();
             first += kPipelineChunk) {
            const std::size_t last = std::min(rows.size(), first + kPipelineChunk);
            for (std::size_t i = first; i < last; ++i) {
                for (std::size_t k = 0; k < pointers.size(); ++k) {
                    pointers[k] = &rows[i][k];
                }
                const BoundValues values(translated.names, pointers);
                if (PQsendQueryPrepared(m_connection, "", values.count(), values.pointers(),
                                        nullptr, nullptr, 0) != 1) {
                    failure = trimmedMessage(PQerrorMessage(m_connection));
                    break;
                }
            }
            if (PQpipelineSync(m_connection) != 1) {
                failure = trimmedMessage(PQerrorMessage(m_connection));
                break;
            }
            drainPipeline(changed, failure, failureState);
        }
        if (!prepared) {
            failure = trimmedMessage(PQerrorMessage(m_connection));
        }
        PQexitPipelineMode(m_connection);
        if (!failure.empty()) {
            raiseByState(failureState, failure, m_connection);
        }
        return changed;
    }

    void executeScript(std::string_view script) override { run(std::string(script)); }

    void begin() override {
        checkNotInterrupted();
        static const std::string text = "BEGIN";
        exchange({Request{nullptr, &text, nullptr}});
    }
    void commit() override {
        checkNotInterrupted();
        checkBeforeCommit();
        sendPendingSettings();
        Result result(PQexec(m_connection, "COMMIT"));
        if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
            raiseFromResult(result.get(), m_connection);
        }
        // COMMIT of a transaction that failed earlier answers ROLLBACK.
        if (std::string_view(PQcmdStatus(result.get())) == "ROLLBACK") {
            throw DatabaseError("The transaction was rolled back after an earlier error");
        }
    }
    void rollback() override {
        if (inTransaction()) {
            run("ROLLBACK");
        }
    }
    bool inTransaction() const override {
        return PQtransactionStatus(m_connection) != PQTRANS_IDLE;
    }

    // The server enforces the bound: lock waits and statements both end
    // there when the time left is used up, whatever the client does. The
    // setting travels with the next statement instead of costing a round
    // trip of its own.
    void setDeadline(std::optional<TimePoint> deadline) override {
        // A connection whose server went away while it sat in the pool has
        // the end of the stream waiting on its socket: said here, before any
        // statement was sent, the caller may take another connection.
        if (closedByServer()) {
            throw UnreachableError("PostgreSQL closed the connection: " +
                                   trimmedMessage(PQerrorMessage(m_connection)));
        }
        if (!deadline) {
            if (m_boundMs != 0) {
                bound(0);
            }
            return;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                              *deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            throw InterruptedError("The deadline of the request has passed");
        }
        // Calls with the same time allowed (the client's fixed deadlines)
        // keep the bound already set: it is per statement anyway, and one a
        // few milliseconds longer than the time left stops a statement that
        // the call's own deadline has already given up on.
        const std::int64_t slack = std::max<std::int64_t>(kBoundSlackMs, left / 50);
        if (m_boundMs >= left && m_boundMs - left <= slack) {
            return;
        }
        bound(left);
    }

    void interrupt() override {
        m_interrupted = true;
        if (m_cancel != nullptr) {
            char error[256];
            PQcancel(m_cancel, error, sizeof error);
        }
    }

    void clearInterrupt() override { m_interrupted = false; }

private:
    // Lock waits and statements end after `milliseconds` (0: never), from
    // the next statement on.
    void bound(std::int64_t milliseconds) {
        const std::string value = std::to_string(milliseconds);
        m_pendingSettings = "SELECT set_config('lock_timeout', '" + value +
                            "', false), set_config('statement_timeout', '" + value + "', false)";
        m_boundMs = milliseconds;
    }

    void checkNotInterrupted() const {
        if (m_interrupted) {
            throw InterruptedError("The request was cancelled");
        }
    }

    // True when the server has closed this idle connection. Anything else
    // that arrived unasked (a notice) is read and dropped.
    bool closedByServer() {
        if (PQstatus(m_connection) == CONNECTION_BAD) {
            return true;
        }
        pollfd socket{PQsocket(m_connection), POLLIN, 0};
        if (socket.fd < 0) {
            return true;
        }
        // A server that stops a backend says why before it closes: the end of
        // the stream may come after that message.
        for (int reads = 0; reads < 4 && ::poll(&socket, 1, 0) > 0; ++reads) {
            if (PQconsumeInput(m_connection) == 0 || PQstatus(m_connection) == CONNECTION_BAD) {
                return true;
            }
        }
        return false;
    }

    void run(const std::string& script) {
        sendPendingSettings();
        Result result(PQexec(m_connection, script.c_str()));
        const ExecStatusType status = PQresultStatus(result.get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK &&
            status != PGRES_EMPTY_QUERY) {
            raiseFromResult(result.get(), m_connection);
        }
    }

    // For the paths that cannot take the settings along (scripts, bulk loads).
    void sendPendingSettings() {
        if (!m_pendingSettings.empty() || m_deallocateAll) {
            exchange({});
        }
    }

    // Makes sure `count` more statements fit in the cache without dropping
    // one that a request of the same exchange still points to.
    void makeRoomFor(std::size_t count) {
        if (m_prepared.size() + count > kPreparedCacheSize) {
            m_prepared.clear();
            // Names are never reused, so dropping them on the server may wait
            // for the next exchange.
            m_deallocateAll = true;
        }
    }

    PreparedStatement& preparedFor(std::string_view statement) {
        if (auto found = m_prepared.find(statement); found != m_prepared.end()) {
            return found->second;
        }
        PreparedStatement prepared;
        prepared.translated = translatePlaceholders(statement, Engine::postgresql);
        prepared.name = "ore_" + std::to_string(++m_lastName);
        return m_prepared.emplace(std::string(statement), std::move(prepared)).first->second;
    }

    // One statement through its prepared form. A plan prepared before a
    // table was recreated with other columns is prepared again, once, when
    // nothing of a transaction is lost by it.
    Result runPrepared(std::string_view statement, const Params& params) {
        makeRoomFor(1);
        PreparedStatement& prepared = preparedFor(statement);
        const BoundValues values(prepared.translated.names,
                                 orderedValues(prepared.translated.names, params));
        try {
            return std::move(exchange({Request{&prepared, nullptr, &values}}).front());
        } catch (const DatabaseError&) {
            if (!m_stalePlan || inTransaction()) {
                throw;
            }
        }
        prepared.parsed = false;
        prepared.name = "ore_" + std::to_string(++m_lastName);
        return std::move(exchange({Request{&prepared, nullptr, &values}}).front());
    }

    // Sends the waiting settings and `requests` as one pipeline and waits
    // for every answer: one round trip. The settings go before a sync point
    // of their own, so a failing statement cannot roll them back with its
    // implicit transaction. Returns each request's result; raises the first
    // failure once the pipeline is drained.
    std::vector<Result> exchange(const std::vector<Request>& requests) {
        m_stalePlan = false;
        if (PQenterPipelineMode(m_connection) != 1) {
            raiseFromResult(nullptr, m_connection);
        }
        // What each answer read back belongs to, in the order sent.
        enum class Answer { Setting, Parse, Rows };
        std::vector<Answer> expected;
        bool sent = true;
        const auto send = [&](int accepted, Answer answer) {
            sent = sent && accepted == 1;
            if (sent) {
                expected.push_back(answer);
            }
        };
        const bool settings = !m_pendingSettings.empty() || m_deallocateAll;
        if (m_deallocateAll) {
            send(PQsendQueryParams(m_connection, "DEALLOCATE ALL", 0, nullptr, nullptr, nullptr,
                                   nullptr, 0),
                 Answer::Setting);
        }
        if (!m_pendingSettings.empty()) {
            send(PQsendQueryParams(m_connection, m_pendingSettings.c_str(), 0, nullptr, nullptr,
                                   nullptr, nullptr, 0),
                 Answer::Setting);
        }
        int syncs = 0;
        if (settings && sent) {
            sent = PQpipelineSync(m_connection) == 1;
            ++syncs;
        }
        // A statement named twice in one exchange is parsed once.
        std::vector<const PreparedStatement*> parsing;
        for (const Request& request : requests) {
            if (!sent) {
                break;
            }
            const int count = request.values != nullptr ? request.values->count() : 0;
            const char* const* pointers =
                request.values != nullptr ? request.values->pointers() : nullptr;
            if (request.prepared != nullptr) {
                PreparedStatement& prepared = *request.prepared;
                if (!prepared.parsed &&
                    std::find(parsing.begin(), parsing.end(), &prepared) == parsing.end()) {
                    parsing.push_back(&prepared);
                    send(PQsendPrepare(m_connection, prepared.name.c_str(),
                                       prepared.translated.text.c_str(), count, nullptr),
                         Answer::Parse);
                }
                send(PQsendQueryPrepared(m_connection, prepared.name.c_str(), count, pointers,
                                         nullptr, nullptr, 0),
                     Answer::Rows);
            } else {
                send(PQsendQueryParams(m_connection, request.text->c_str(), count, nullptr,
                                       pointers, nullptr, nullptr, 0),
                     Answer::Rows);
            }
        }
        if (!requests.empty() && sent) {
            sent = PQpipelineSync(m_connection) == 1;
            ++syncs;
        }
        std::string failure = sent ? "" : trimmedMessage(PQerrorMessage(m_connection));
        Result failed;
        std::vector<Result> results;
        results.reserve(requests.size());
        std::size_t answered = 0;
        std::size_t request = 0;
        bool settingsOk = true;
        bool settingsSynced = !settings;
        int idle = 0;
        while (syncs > 0) {
            Result result(PQgetResult(m_connection));
            if (!result) {
                // One empty answer ends each command; two mean nothing is left.
                if (++idle > 1 || PQstatus(m_connection) != CONNECTION_OK) {
                    break;
                }
                continue;
            }
            idle = 0;
            const ExecStatusType status = PQresultStatus(result.get());
            if (status == PGRES_PIPELINE_SYNC) {
                settingsSynced = true;
                --syncs;
                continue;
            }
            const Answer answer = answered < expected.size() ? expected[answered] : Answer::Rows;
            ++answered;
            const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
            if (answer == Answer::Setting) {
                settingsOk = settingsOk && ok;
            } else if (answer == Answer::Parse && ok && request < requests.size()) {
                requests[request].prepared->parsed = true;
            }
            const bool first = !ok && status != PGRES_PIPELINE_ABORTED && !failed;
            if (answer == Answer::Rows) {
                ++request;
            }
            if (first) {
                failed = std::move(result);
            } else if (answer == Answer::Rows) {
                results.push_back(std::move(result));
            }
        }
        if (PQexitPipelineMode(m_connection) != 1 && failure.empty() && !failed) {
            failure = trimmedMessage(PQerrorMessage(m_connection));
        }
        if (settings && settingsOk && settingsSynced) {
            m_pendingSettings.clear();
            m_deallocateAll = false;
        }
        if (failed) {
            const char* state = PQresultErrorField(failed.get(), PG_DIAG_SQLSTATE);
            const char* text = PQresultErrorField(failed.get(), PG_DIAG_MESSAGE_PRIMARY);
            m_stalePlan = state != nullptr && std::string_view(state) == "0A000" &&
                          text != nullptr &&
                          std::string_view(text).find("cached plan") != std::string_view::npos;
            raiseFromResult(failed.get(), m_connection);
        }
        if (!failure.empty() || results.size() != requests.size()) {
            if (failure.empty()) {
                failure = trimmedMessage(PQerrorMessage(m_connection));
            }
            raiseByState("", failure.empty() ? "PostgreSQL pipeline ended early" : failure,
                         m_connection);
        }
        return results;
    }

    void sendFetch(const std::string& fetch) {
        if (PQsendQueryParams(m_connection, fetch.c_str(), 0, nullptr, nullptr, nullptr, nullptr,
                              0) != 1) {
            raiseFromResult(nullptr, m_connection);
        }
    }

    // The answer of the statement sent last, which must be rows.
    Result receive() {
        Result result(PQgetResult(m_connection));
        while (Result rest{PQgetResult(m_connection)}) {
        }
        if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
            raiseFromResult(result.get(), m_connection);
        }
        return result;
    }

    static std::int64_t changedRows(const PGresult* result) {
        const char* tuples = PQcmdTuples(const_cast<PGresult*>(result));
        return tuples != nullptr && *tuples != '\0' ? std::atoll(tuples) : 0;
    }

    // Reads the answers up to the pipeline's sync point.
    void drainPipeline(std::int64_t& changed, std::string& failure, std::string& failureState) {
        int idle = 0;
        for (;;) {
            Result result(PQgetResult(m_connection));
            if (!result) {
                // One empty answer separates commands; two mean nothing is left.
                if (++idle > 1 || PQstatus(m_connection) != CONNECTION_OK) {
                    if (failure.empty()) {
                        failure = trimmedMessage(PQerrorMessage(m_connection));
                        if (failure.empty()) {
                            failure = "PostgreSQL pipeline ended early";
                        }
                    }
                    return;
                }
                continue;
            }
            idle = 0;
            switch (PQresultStatus(result.get())) {
                case PGRES_PIPELINE_SYNC:
                    return;
                case PGRES_COMMAND_OK:
                case PGRES_TUPLES_OK:
                    changed += changedRows(result.get());
                    break;
                case PGRES_PIPELINE_ABORTED:
                    break;
                default:
                    if (failure.empty()) {
                        failure = trimmedMessage(PQresultErrorMessage(result.get()));
                        const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
                        failureState = state != nullptr ? state : "";
                    }
                    break;
            }
        }
    }

    static DataPacket toPacket(const PGresult* result) {
        DataPacket packet;
        const int columnCount = PQnfields(result);
        const int rowCount = PQntuples(result);
        std::vector<Reader> readers(static_cast<std::size_t>(columnCount));
        std::vector<bool> byValue(readers.size(), false);
        packet.fields.resize(readers.size());
        for (int column = 0; column < columnCount; ++column) {
            const auto index = static_cast<std::size_t>(column);
            FieldDef& field = packet.fields[index];
            field.name = upperCaseName(PQfname(result, column));
            const int modifier = PQfmod(result, column);
            switch (PQftype(result, column)) {
                case kVarchar:
                case kBpchar:
                    field.type = FieldType::String;
                    readers[index] = Reader::Text;
                    if (modifier >= 4) {
                        field.size = modifier - 4;
                    } else {
                        byValue[index] = true;
                    }
                    break;
                case kText:
                    // A TEXT column holds memo contents; text made by an
                    // expression is an ordinary string, as on SQLite.
                    if (PQftable(result, column) != InvalidOid) {
                        field.type = FieldType::Blob;
                        readers[index] = Reader::Blob;
                    } else {
                        field.type = FieldType::String;
                        readers[index] = Reader::Text;
                        byValue[index] = true;
                    }
                    break;
                case kInt2:
                case kInt4:
                case kInt8:
                case kOid:
                    field.type = FieldType::Integer;
                    readers[index] = Reader::Integer;
                    break;
                case kBool:
                    field.type = FieldType::Integer;
                    readers[index] = Reader::Bool;
                    break;
                case kFloat4:
                case kFloat8:
                case kNumeric:
                    field.type = FieldType::Float;
                    readers[index] = Reader::Float;
                    break;
                case kDate:
                case kTimestamp:
                case kTimestampTz:
                    field.type = FieldType::DateTime;
                    readers[index] = Reader::DateTime;
                    break;
                case kBytea:
                    field.type = FieldType::Blob;
                    readers[index] = Reader::Bytea;
                    break;
                default:
                    field.type = FieldType::String;
                    readers[index] = Reader::Text;
                    byValue[index] = true;
                    break;
            }
        }
        packet.rows.resize(static_cast<std::size_t>(rowCount));
        for (int rowIndex = 0; rowIndex < rowCount; ++rowIndex) {
            std::vector<Variant>& row = packet.rows[static_cast<std::size_t>(rowIndex)];
            row.reserve(readers.size());
            for (int column = 0; column < columnCount; ++column) {
                if (PQgetisnull(result, rowIndex, column) != 0) {
                    row.emplace_back();
                    continue;
                }
                const char* text = PQgetvalue(result, rowIndex, column);
                const int length = PQgetlength(result, rowIndex, column);
                const auto& field = packet.fields[static_cast<std::size_t>(column)];
                switch (readers[static_cast<std::size_t>(column)]) {
                    case Reader::Text:
                        row.emplace_back(std::string(text, static_cast<std::size_t>(length)));
                        break;
                    case Reader::Integer:
                        row.emplace_back(parseNumber<std::int64_t>(text, length, field.name));
                        break;
                    case Reader::Bool:
                        row.emplace_back(static_cast<std::int64_t>(text[0] == 't' ? 1 : 0));
                        break;
                    case Reader::Float:
                        row.emplace_back(parseNumber<double>(text, length, field.name));
                        break;
                    case Reader::DateTime: {
                        const auto when = parseTimestamp(
                            std::string_view(text, static_cast<std::size_t>(length)));
                        if (!when) {
                            throw DatabaseError("Column " + field.name + " holds '" +
                                                std::string(text) + "', not a date-time");
                        }
                        row.emplace_back(*when);
                        break;
                    }
                    case Reader::Blob:
                        row.emplace_back(Blob{std::string(text, static_cast<std::size_t>(length))});
                        break;
                    case Reader::Bytea:
                        row.emplace_back(Blob{decodeBytea(text, length)});
                        break;
                }
            }
        }
        sizeStringColumnsByValue(packet, byValue);
        return packet;
    }

    PGconn* m_connection;
    PGcancel* m_cancel = nullptr;
    std::atomic<bool> m_interrupted{false};
    std::int64_t m_boundMs = 0;  // the bound set or about to be set; 0 for none
    // Sent with the next statement (see setDeadline).
    std::string m_pendingSettings;
    bool m_deallocateAll = false;
    // The last failure was a prepared plan outdated by a changed table.
    bool m_stalePlan = false;
    std::uint64_t m_lastName = 0;
    std::unordered_map<std::string, PreparedStatement, StringHash, std::equal_to<>> m_prepared;
};

}  // namespace

std::unique_ptr<Database> openPostgresql(const std::string& connectionString) {
    return std::make_unique<PostgresqlDatabase>(connectionString);
}

}  // namespace host::sql
