// Figures of the order server against its floors:
//  - GetItemEnc round trip through the real client, beside an empty gRPC call
//    and the same SQL run in-process;
//  - a 100,000-order list loaded into a client data set, beside the in-process
//    SQL read of the same rows and beside the two-tier way (the client reading
//    the rows from PostgreSQL itself and loading the data set).
#include <grpcpp/generic/generic_stub.h>
#include <grpcpp/grpcpp.h>
#include <spdlog/spdlog.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "db/demo_data.h"
#include "db/schema.h"
#include "host/data/client_data_set.h"
#include "host/net/net_connection.h"
#include "server/order_repository.h"
#include "server/order_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using host::sql::Database;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Percentiles {
    double p50 = 0;
    double p99 = 0;
};

Percentiles percentiles(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) {
        return samples[std::min(samples.size() - 1,
                                static_cast<std::size_t>(q * static_cast<double>(samples.size())))];
    };
    return {at(0.50), at(0.99)};
}

Percentiles measure(int count, const std::function<void(int)>& call) {
    for (int index = 0; index < std::min(count, 200); ++index) {
        call(index);
    }
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(count));
    for (int index = 0; index < count; ++index) {
        const auto start = Clock::now();
        call(index);
        samples.push_back(millisecondsSince(start));
    }
    return percentiles(std::move(samples));
}

double best(int runs, const std::function<void()>& run) {
    double fastest = 1e300;
    for (int index = 0; index < runs; ++index) {
        const auto start = Clock::now();
        run();
        fastest = std::min(fastest, millisecondsSince(start));
    }
    return fastest;
}

std::int64_t orderCount(Database& database) {
    return database.query("SELECT COUNT(*) FROM ORCAEVENTO").rows.front().front().AsInteger();
}

void prepare(Database& database, std::int64_t orders, const char* what) {
    database.executeScript(db::schemaSql());
    if (orderCount(database) == 0) {
        std::printf("generating %lld orders in %s...\n", static_cast<long long>(orders), what);
        std::fflush(stdout);
        const auto start = Clock::now();
        db::generateDemoData(database, orders);
        std::printf("  done in %.1f s\n", millisecondsSince(start) / 1000.0);
    }
}

void addOrderFields(host::TClientDataSet& dataSet) {
    for (const host::FieldDef& field : ore::server::OrderRepository::orderListFields()) {
        dataSet.AddField(field);
    }
}

// Empty unary call: the health check of the whole server.
class EmptyCall {
public:
    explicit EmptyCall(const std::string& address)
        : m_stub(grpc::CreateChannel(address, grpc::InsecureChannelCredentials())) {}
    void operator()() {
        grpc::ClientContext context;
        // An empty HealthCheckRequest: zero bytes, but a real buffer.
        grpc::Slice nothing(std::string{});
        grpc::ByteBuffer request(&nothing, 1);
        grpc::ByteBuffer response;
        std::promise<grpc::Status> done;
        m_stub.UnaryCall(&context, "/grpc.health.v1.Health/Check", grpc::StubOptions(), &request,
                         &response, [&](grpc::Status status) { done.set_value(status); });
        const grpc::Status status = done.get_future().get();
        if (!status.ok()) {
            throw std::runtime_error("health check failed: " + status.error_message());
        }
    }

private:
    grpc::GenericStub m_stub;
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Order server benchmark"};
    std::string sqlitePath = "/tmp/ore-bench.sqlite";
    std::string postgresql;
    std::int64_t orders = 1000000;
    int samples = 5000;
    int listRows = 100000;
    app.add_option("--sqlite", sqlitePath, "SQLite file (generated when missing)")
        ->capture_default_str();
    app.add_option("--postgresql", postgresql,
                   "PostgreSQL connection string for the two-tier figure (generated when empty)");
    app.add_option("--orders", orders, "Orders to generate")->capture_default_str();
    app.add_option("--samples", samples, "GetItemEnc calls measured")->capture_default_str();
    app.add_option("--list-rows", listRows, "Orders in the measured list")->capture_default_str();
    CLI11_PARSE(app, argc, argv);
    spdlog::set_level(spdlog::level::warn);

    auto database = Database::open(sqlitePath);
    prepare(*database, orders, sqlitePath.c_str());
    std::printf("database: %s, %lld orders\n", sqlitePath.c_str(),
                static_cast<long long>(orderCount(*database)));

    ore::server::ServerOptions options;
    options.listenAddress = "127.0.0.1:0";
    options.database = sqlitePath;
    ore::server::OrderServer server(options);
    server.start();

    host::TNetConnection connection("netCancAprovEnc");
    connection.ServerName = "ORE06100.rdmCancAprovEnc";
    connection.Port = server.port();
    connection.SetConnected(true);
    auto& client = connection.AppServerAs<host::IRdmCancAprovEnc>();

    // Orders spread over the table, each with its items.
    const host::DataPacket keys = database->query(
        "SELECT CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE FROM ITORCAEVEN"
        " WHERE NRITEMORCEVE = (SELECT MIN(NRITEMORCEVE) FROM ITORCAEVEN)"
        " ORDER BY NRORCAEVENTO DESC LIMIT 2000");
    if (keys.rows.empty()) {
        std::fprintf(stderr, "no order with items\n");
        return 1;
    }
    auto key = [&](int index) {
        const auto& row = keys.rows[static_cast<std::size_t>(index) % keys.rows.size()];
        return ore::server::OrderKey{row[0].AsString(), row[1].AsString(), row[2].AsString()};
    };

    ore::server::OrderRepository repository(*database);
    const Percentiles sql = measure(samples, [&](int index) {
        const auto order = key(index);
        repository.items(order);
        repository.latestObservation(order);
    });
    EmptyCall empty(server.address());
    const Percentiles emptyCall = measure(samples, [&](int) { empty(); });
    const Percentiles itemFetch = measure(samples, [&](int index) {
        const auto order = key(index);
        client.GetItemEnc(order.branch, order.number, order.sequence);
    });
    std::printf("\nGetItemEnc round trip (%d calls)      p50 %7.3f ms  p99 %7.3f ms\n", samples,
                itemFetch.p50, itemFetch.p99);
    std::printf("  empty gRPC call (floor)              p50 %7.3f ms  p99 %7.3f ms\n",
                emptyCall.p50, emptyCall.p99);
    std::printf("  same SQL in-process (floor)          p50 %7.3f ms  p99 %7.3f ms\n", sql.p50,
                sql.p99);
    std::printf("  p50 / (sum of floors p50) = %.2f (target <= 1.5); p99 target < 1 ms\n",
                itemFetch.p50 / (emptyCall.p50 + sql.p50));

    // The branch with the most listed orders, cut at listRows orders.
    const host::DataPacket branch = database->query(
        "SELECT CDFILIAL, COUNT(*) AS N FROM ORCAEVENTO WHERE IDSITUORCEVE IN ('2', '3')"
        " GROUP BY CDFILIAL ORDER BY N DESC LIMIT 1");
    const std::string branchCode = branch.rows.front()[0].AsString();
    const host::DataPacket bound = database->query(
        "SELECT NRORCAEVENTO FROM ORCAEVENTO WHERE CDFILIAL = :B AND IDSITUORCEVE IN ('2', '3')"
        " ORDER BY NRORCAEVENTO, NRSEQORCAEVE LIMIT 1 OFFSET :N",
        {{"B", branchCode}, {"N", std::int64_t{listRows - 1}}});
    ore::server::OrderListQuery query;
    query.branch = branchCode;
    query.numberRange =
        std::make_pair(std::string("0"), bound.rows.empty() ? std::string("9999999999")
                                                            : bound.rows.front()[0].AsString());

    std::size_t rows = 0;
    const double sqlRead = best(3, [&] { rows = repository.orders(query).rows.size(); });
    const double serverList = best(3, [&] {
        std::string from = query.numberRange->first, to = query.numberRange->second, all = "",
                    allT = "T", empty1, empty2;
        std::string allDates = "T", allSalesmen = "T", allCustomers = "T";
        host::TDateTime dateFrom, dateTo;
        const host::Variant packet =
            client.GetEncomenda(branchCode, from, to, all, dateFrom, dateTo, allDates, empty1,
                                allSalesmen, empty2, allCustomers);
        host::TClientDataSet dataSet("cdsEncomenda");
        addOrderFields(dataSet);
        dataSet.SetData(packet);
    });
    std::printf("\nList of %zu orders into the client data set\n", rows);
    std::printf("  through the server                   %8.1f ms\n", serverList);
    std::printf("  SQL read in-process (floor)          %8.1f ms   ratio %.2f (target <= 1.5)\n",
                sqlRead, serverList / sqlRead);

    if (postgresql.empty()) {
        std::printf("  two-tier (libpq)                     not measured: no --postgresql\n");
        return 0;
    }
    auto remote = Database::open(postgresql);
    prepare(*remote, orders, "PostgreSQL");
    ore::server::OrderRepository twoTier(*remote);
    std::size_t remoteRows = 0;
    const double twoTierList = best(3, [&] {
        host::DataPacket packet = twoTier.orders(query);
        remoteRows = packet.rows.size();
        host::TClientDataSet dataSet("cdsEncomenda");
        addOrderFields(dataSet);
        dataSet.LoadFromPacket(std::move(packet));
    });
    std::printf("  two-tier, libpq into the data set    %8.1f ms   (%zu orders; server %s)\n",
                twoTierList, remoteRows, serverList < twoTierList ? "faster" : "SLOWER");
    return 0;
}
