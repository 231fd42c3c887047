#pragma once

#include <string>
#include <vector>

#include "host/data/client_data_set.h"
#include "host/data/data_packet.h"

namespace host::test {

// A small order list: number, customer, sequence (fixed width), value, delivery.
inline void addOrderFields(TClientDataSet& set) {
    set.AddField({"NRORCAEVENTO", FieldType::String, 10});
    set.AddField({"NMFANTCLIE", FieldType::String, 50}).DisplayLabel = "Cliente";
    set.AddField({"NRSEQORCAEVE", FieldType::FixedString, 2});
    set.AddField({"VRTOTAL", FieldType::Float, 0});
    set.AddField({"DTHRENTROREV", FieldType::DateTime, 0});
}

inline std::vector<FieldDef> orderFieldDefs() {
    return {{"NRORCAEVENTO", FieldType::String, 10},
            {"NMFANTCLIE", FieldType::String, 50},
            {"NRSEQORCAEVE", FieldType::FixedString, 2},
            {"VRTOTAL", FieldType::Float, 0},
            {"DTHRENTROREV", FieldType::DateTime, 0}};
}

inline std::vector<Variant> orderRow(const std::string& number, const std::string& customer,
                                     double value = 0.0) {
    return {Variant(number), Variant(customer), Variant("00"), Variant(value),
            Variant(TDateTime{45658.0})};
}

// Orders "1", "2", ... with customers "C1", "C2", ...
inline DataPacket orderPacket(int count) {
    DataPacket packet;
    packet.fields = orderFieldDefs();
    for (int i = 1; i <= count; ++i) {
        packet.rows.push_back(
            orderRow(std::to_string(i), "C" + std::to_string(i), static_cast<double>(i)));
    }
    return packet;
}

// The order numbers of every record, read without moving the cursor.
inline std::vector<std::string> orderNumbers(const TClientDataSet& set) {
    std::vector<std::string> numbers;
    const TField& field = set.FieldByName("NRORCAEVENTO");
    for (int recNo = 1; recNo <= set.RecordCount(); ++recNo) {
        numbers.push_back(field.ValueAt(recNo).AsString());
    }
    return numbers;
}

}  // namespace host::test
