// kill -9 of the server in the middle of a stream of cancellations: after
// every restart each order is either fully cancelled, with its history record
// and copies, or untouched with none, and every cancellation the client was
// told succeeded is there.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "host/net/grpc_canc_aprov_enc.h"
#include "tests/server/server_process.h"
#include "tests/support/sign_on.h"
#include "tests/support/test_database.h"

namespace {

using namespace std::chrono_literals;
using host::Variant;

// ORE_CRASH_CYCLES overrides the count (the suite keeps it small).
int cycleCount() {
    const char* value = std::getenv("ORE_CRASH_CYCLES");
    return value != nullptr ? std::max(1, std::atoi(value)) : 12;
}

// More than the server can cancel before the kill, so it lands in the stream.
constexpr int ordersPerCycle = 50;

std::string orderNumber(int value) {
    std::string text = std::to_string(value);
    return std::string(10 - text.size(), '0') + text;
}

class CrashTest : public testsupport::EngineTest {
protected:
    void addOrders(int count) {
        std::vector<std::vector<Variant>> orders;
        std::vector<std::vector<Variant>> documents;
        for (int i = 0; i < count; ++i) {
            const std::string number = orderNumber(i + 1);
            orders.push_back({Variant(number)});
            for (const char* suffix : {"A", "B"}) {
                documents.push_back({Variant(number.substr(1) + suffix), Variant(number)});
            }
        }
        database().executeMany(
            "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE)"
            " VALUES ('0001', :N, '00', '2')",
            orders);
        database().executeMany("INSERT INTO PEDIDO VALUES ('0001', :P, :N, '00', 'A')", documents);
        database().executeMany(
            "INSERT INTO CONTARECEBER VALUES ('0001', :D, :N, '00', 10, 'N', 'N')", documents);
    }

    // number -> "status justification operator receivables salesOrders
    // observations cancelledRecords copiedReceivables copiedSalesOrders" of
    // the orders numbered first to last.
    std::map<std::string, std::string> states(int first, int last) {
        const auto packet = database().query(
            "SELECT o.NRORCAEVENTO, o.IDSITUORCEVE, COALESCE(o.CDJUSTEXCHIS, '-'),"
            " COALESCE(o.CDOPEJUSTORC, '-'),"
            " (SELECT COUNT(*) FROM CONTARECEBER c WHERE c.CDFILIAL = o.CDFILIAL"
            "  AND c.NRORCAEVENTO = o.NRORCAEVENTO AND c.NRSEQORCAEVE = o.NRSEQORCAEVE),"
            " (SELECT COUNT(*) FROM PEDIDO p WHERE p.CDFILIAL = o.CDFILIAL"
            "  AND p.NRORCAEVENTO = o.NRORCAEVENTO AND p.NRSEQORCAEVE = o.NRSEQORCAEVE),"
            " (SELECT COUNT(*) FROM OBSJUSTORC b WHERE b.CDFILIAL = o.CDFILIAL"
            "  AND b.NRORCAEVENTO = o.NRORCAEVENTO AND b.NRSEQORCAEVE = o.NRSEQORCAEVE"
            "  AND b.TXOBSJUSTORC = 'cliente desistiu' AND b.CDJUSTEXCHIS = '0001'),"
            " (SELECT COUNT(*) FROM HISTCANCAPROV h WHERE h.CDFILIAL = o.CDFILIAL"
            "  AND h.NRORCAEVENTO = o.NRORCAEVENTO AND h.NRSEQORCAEVE = o.NRSEQORCAEVE"
            "  AND h.IDRESULTADO = 'C'),"
            " (SELECT COUNT(*) FROM HISTCANCAPROV h JOIN HISTCONTARECEBER c"
            "  ON c.IDHISTCANC = h.IDHISTCANC WHERE h.CDFILIAL = o.CDFILIAL"
            "  AND h.NRORCAEVENTO = o.NRORCAEVENTO AND h.NRSEQORCAEVE = o.NRSEQORCAEVE),"
            " (SELECT COUNT(*) FROM HISTCANCAPROV h JOIN HISTPEDIDO p"
            "  ON p.IDHISTCANC = h.IDHISTCANC WHERE h.CDFILIAL = o.CDFILIAL"
            "  AND h.NRORCAEVENTO = o.NRORCAEVENTO AND h.NRSEQORCAEVE = o.NRSEQORCAEVE)"
            " FROM ORCAEVENTO o WHERE o.CDFILIAL = '0001' AND o.NRORCAEVENTO BETWEEN :F AND :L",
            {{"F", orderNumber(first)}, {"L", orderNumber(last)}});
        std::map<std::string, std::string> result;
        for (const auto& row : packet.rows) {
            std::string line;
            for (std::size_t i = 1; i < row.size(); ++i) {
                line += (i > 1 ? " " : "") + row[i].AsString();
            }
            result[row[0].AsString()] = line;
        }
        return result;
    }
};

TEST_P(CrashTest, EveryOrderIsWholeAndNoAcknowledgedCancellationIsLost) {
    const int cycles = cycleCount();
    database().execute("INSERT INTO JUSTEXCHIS VALUES ('0001', 'Desistência do cliente')");
    addOrders(cycles * ordersPerCycle);
    // A cancellation and its record with the copies commit together or not at all.
    const std::string untouched = "2 - - 2 2 0 0 0 0";
    // The operator recorded is the session's, not the request's "OPER".
    const std::string cancelled =
        std::string("1 0001 ") + testsupport::testOperator + " 0 0 1 1 2 2";

    std::mt19937 random(20240601);
    std::set<std::string> acknowledged;
    int killedMidStream = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        testsupport::ServerProcess server(
            {"--listen", "127.0.0.1:0", "--database", testDatabase().target()});
        const int port = server.waitUntilListening();
        ASSERT_GT(port, 0) << server.output();
        if (cycle == 0) {
            // The session is kept in the database: it outlives every crash.
            testsupport::signOnAsTester(database(), port);
        }

        std::mutex mutex;
        std::condition_variable toldMore;
        std::set<std::string> told;
        std::vector<std::chrono::steady_clock::time_point> toldAt;
        bool finished = false;
        const auto started = std::chrono::steady_clock::now();
        std::thread canceller([&] {
            host::net::CallDeadlines deadlines;
            deadlines.call = 5s;
            auto api = host::net::makeGrpcCancAprovEnc("127.0.0.1", port, deadlines);
            for (int i = 0; i < ordersPerCycle; ++i) {
                std::string branch = "0001";
                std::string number = orderNumber(cycle * ordersPerCycle + i + 1);
                std::string sequence = "00";
                try {
                    api->CancAprovaEnc(branch, number, sequence, "0001",
                                       Variant("cliente desistiu"), "OPER");
                } catch (const std::exception&) {
                    break;  // the server is gone
                }
                std::lock_guard lock(mutex);
                told.insert(number);
                toldAt.push_back(std::chrono::steady_clock::now());
                toldMore.notify_all();
            }
            std::lock_guard lock(mutex);
            finished = true;
            toldMore.notify_all();
        });
        {
            // After a few answers, at a random point of the next call,
            // whatever the pace of the machine.
            const auto answers =
                static_cast<std::size_t>(std::uniform_int_distribution<int>(1, 8)(random));
            std::unique_lock lock(mutex);
            toldMore.wait_for(lock, 20s, [&] { return finished || told.size() >= answers; });
            const auto pace = toldAt.size() >= 2 ? (toldAt.back() - toldAt.front()) /
                                                       static_cast<int>(toldAt.size() - 1)
                                                 : std::chrono::steady_clock::now() - started;
            const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(pace);
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::microseconds(
                std::uniform_int_distribution<std::int64_t>(0, micros.count() * 3 / 2)(random)));
        }
        server.kill();
        ASSERT_TRUE(server.waitForExit(10s).has_value());
        canceller.join();
        if (told.size() > 0 && told.size() < static_cast<std::size_t>(ordersPerCycle)) {
            ++killedMidStream;
        }
        acknowledged.insert(told.begin(), told.end());

        const auto now = states(cycle * ordersPerCycle + 1, (cycle + 1) * ordersPerCycle);
        for (int i = 0; i < ordersPerCycle; ++i) {
            const std::string number = orderNumber(cycle * ordersPerCycle + i + 1);
            const std::string& state = now.at(number);
            if (acknowledged.count(number) != 0) {
                EXPECT_EQ(state, cancelled) << "cycle " << cycle << ", order " << number;
            } else {
                EXPECT_TRUE(state == untouched || state == cancelled)
                    << "cycle " << cycle << ", order " << number << ": " << state;
            }
        }
        if (HasFailure()) {
            break;
        }
    }
    // A last look at every order: no later cycle touched an earlier one.
    const auto all = states(1, cycles * ordersPerCycle);
    EXPECT_EQ(all.size(), static_cast<std::size_t>(cycles * ordersPerCycle));
    for (const auto& [number, state] : all) {
        if (acknowledged.count(number) != 0) {
            EXPECT_EQ(state, cancelled) << number;
        } else {
            EXPECT_TRUE(state == untouched || state == cancelled) << number << ": " << state;
        }
    }
    std::printf("%d cycles, %zu cancellations acknowledged, %d kills between two of them\n", cycles,
                acknowledged.size(), killedMidStream);
}

ORE_ON_BOTH_ENGINES(CrashTest);

}  // namespace
