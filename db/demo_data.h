#pragma once

#include <cstdint>

#include "host/sql/database.h"

namespace db {

// What the generator wrote, table by table.
struct DemoSummary {
    std::int64_t branches = 0;
    std::int64_t customers = 0;
    std::int64_t orders = 0;
    std::int64_t items = 0;
    std::int64_t observations = 0;
    std::int64_t salesOrders = 0;
    std::int64_t productionOrders = 0;
    std::int64_t receivables = 0;
};

// Fixed orders always written; see db/DEMO.md for what each one shows.
constexpr std::int64_t kFixedOrderCount = 20;

// Fills an empty database that already has the schema with deterministic demo
// data: the lookup tables, the fixed orders of db/DEMO.md and generated orders
// up to `orders` orders in all (never fewer than the fixed ones), all in one
// transaction. Raises host::sql::DatabaseError when the database already holds
// orders or branches, or when the engine fails (nothing is written then).
DemoSummary generateDemoData(host::sql::Database& database, std::int64_t orders = 60);

}  // namespace db
