// Resident growth of a client that loads one order list into its data set,
// beside the size of the list on the wire. Run in a process of its own so
// nothing else moves its resident size; bench_server starts it.
// Prints: "rss_growth_bytes=N wire_bytes=N rows=N".
#include <grpcpp/grpcpp.h>
#include <malloc.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "host/data/client_data_set.h"
#include "host/net/net_connection.h"
#include "host/services/session.h"
#include "ore06100.grpc.pb.h"
#include "proto/grpc_runtime.h"
#include "server/order_repository.h"

namespace {

long long residentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stoll(line.substr(6)) * 1024;
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    // As the desktop host runs.
    ore::proto::useReleaseLockChecks();
    CLI::App app{"Client resident growth for one order list"};
    int port = 0;
    std::string branch;
    std::string to = "9999999999";
    app.add_option("--port", port, "Server port on 127.0.0.1")->required();
    app.add_option("--branch", branch, "Branch of the list")->required();
    app.add_option("--to", to, "Last order number of the list")->capture_default_str();
    CLI11_PARSE(app, argc, argv);
    // bench_server signs on and hands the session over in the environment.
    const char* token = std::getenv("ORE_BENCH_SESSION");
    const std::string session = token != nullptr ? token : "";
    host::CurrentSession().sessionToken = session;

    host::TNetConnection connection("netCancAprovEnc");
    connection.ServerName = "ORE06100.rdmCancAprovEnc";
    connection.Port = port;
    connection.SetConnected(true);
    auto& client = connection.AppServerAs<host::IRdmCancAprovEnc>();
    auto list = [&] {
        std::string from = "0", upTo = to, all, allDates = "T", salesmen, allSalesmen = "T",
                    customers, allCustomers = "T";
        host::TDateTime dateFrom, dateTo;
        return client.GetEncomenda(branch, from, upTo, all, dateFrom, dateTo, allDates, salesmen,
                                   allSalesmen, customers, allCustomers);
    };
    // A small first call sets up the channel and the libraries' own memory.
    {
        std::string from = "0", upTo = "0", all, allDates = "T", salesmen, allSalesmen = "T",
                    customers, allCustomers = "T";
        host::TDateTime dateFrom, dateTo;
        client.GetEncomenda(branch, from, upTo, all, dateFrom, dateTo, allDates, salesmen,
                            allSalesmen, customers, allCustomers);
    }
    malloc_trim(0);
    const long long before = residentBytes();
    std::size_t rows = 0;
    long long growth = 0;
    {
        host::TClientDataSet dataSet("cdsEncomenda");
        for (const host::FieldDef& field : ore::server::OrderRepository::orderListFields()) {
            dataSet.AddField(field);
        }
        dataSet.SetData(list());
        rows = static_cast<std::size_t>(dataSet.RecordCount());
        growth = residentBytes() - before;
    }

    // The same list read raw, to count its bytes on the wire.
    auto stub = ORE06100::rdmCancAprovEnc::NewStub(grpc::CreateChannel(
        "127.0.0.1:" + std::to_string(port), grpc::InsecureChannelCredentials()));
    ORE06100::GetEncomendaRequest request;
    request.set_branch(branch);
    request.mutable_filter()->set_order_from("0");
    request.mutable_filter()->set_order_to(to);
    request.mutable_filter()->set_all_deliveries("T");
    request.mutable_filter()->set_all_salesmen("T");
    request.mutable_filter()->set_all_customers("T");
    grpc::ClientContext context;
    context.AddMetadata("ore-session", session);
    auto reader = stub->GetEncomenda(&context, request);
    ORE06100::GetEncomendaChunk chunk;
    long long wire = 0;
    while (reader->Read(&chunk)) {
        wire += static_cast<long long>(chunk.ByteSizeLong());
    }
    if (!reader->Finish().ok()) {
        std::fprintf(stderr, "raw list failed\n");
        return 1;
    }
    std::printf("rss_growth_bytes=%lld wire_bytes=%lld rows=%zu\n", growth, wire, rows);
    return 0;
}
