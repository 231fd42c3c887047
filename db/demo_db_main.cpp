// ore-demo-db: creates the schema in a database and fills it with demo data.
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <exception>

#include "db/demo_data.h"
#include "db/schema.h"

int main(int argc, char** argv) {
    CLI::App app{"Creates the shared database's tables and fills them with demo data."};
    std::string target;
    std::int64_t orders = 60;
    bool empty = false;
    app.add_option("--database", target,
                   "SQLite file (or sqlite:PATH), postgresql://... or a libpq key=value string")
        ->required();
    app.add_option("--orders", orders, "Orders to write in all, fixed demo orders included")
        ->check(CLI::NonNegativeNumber);
    app.add_flag("--empty", empty, "Create the tables only");
    CLI11_PARSE(app, argc, argv);

    try {
        const auto started = std::chrono::steady_clock::now();
        auto database = host::sql::Database::open(target);
        db::createSchema(*database);
        if (empty) {
            std::printf("Schema created in %s\n", target.c_str());
            return 0;
        }
        const db::DemoSummary summary = db::generateDemoData(*database, orders);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf(
            "Demo data written to %s in %.1f s: %lld orders, %lld items, %lld observations, "
            "%lld sales orders, %lld production orders, %lld receivables, %lld customers, "
            "%lld branches\n",
            target.c_str(), seconds, static_cast<long long>(summary.orders),
            static_cast<long long>(summary.items), static_cast<long long>(summary.observations),
            static_cast<long long>(summary.salesOrders),
            static_cast<long long>(summary.productionOrders),
            static_cast<long long>(summary.receivables), static_cast<long long>(summary.customers),
            static_cast<long long>(summary.branches));
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ore-demo-db: %s\n", error.what());
        return 1;
    }
}
