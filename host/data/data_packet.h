#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/data/variant.h"

namespace host {

enum class FieldType : std::uint8_t { String, FixedString, Integer, Float, DateTime, Blob };

struct FieldDef {
    std::string name;
    FieldType type = FieldType::String;
    int size = 0;  // characters for strings, 0 where the type fixes it
    friend bool operator==(const FieldDef&, const FieldDef&) = default;
};

// How a row of a delta packet came about. A modified record travels as two
// rows: its original values (Unmodified) followed by its new values (Modified).
enum class RowStatus : std::uint8_t { Unmodified, Modified, Inserted, Deleted };

// Self-describing table of values: field definitions, then rows. Plain packets
// leave rowStatus empty; delta packets tag every row.
class DataPacket {
public:
    std::vector<FieldDef> fields;
    std::vector<std::vector<Variant>> rows;
    std::vector<RowStatus> rowStatus;

    // Index of the field with that exact name, or -1.
    int FieldIndex(std::string_view name) const;
    bool IsDelta() const { return !rowStatus.empty(); }

    friend bool operator==(const DataPacket&, const DataPacket&) = default;
};

}  // namespace host
