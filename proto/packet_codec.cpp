#include "proto/packet_codec.h"

#include <utf8.h>

#include <algorithm>
#include <bit>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace ore::proto {

using host::DataPacket;
using host::FieldType;
using host::RowStatus;
using host::Variant;
using host::VarType;

namespace {

ORE06100::FieldKind toKind(FieldType type) {
    switch (type) {
        case FieldType::String:
            return ORE06100::FIELD_STRING;
        case FieldType::FixedString:
            return ORE06100::FIELD_FIXED_STRING;
        case FieldType::Integer:
            return ORE06100::FIELD_INTEGER;
        case FieldType::Float:
            return ORE06100::FIELD_FLOAT;
        case FieldType::DateTime:
            return ORE06100::FIELD_DATE_TIME;
        case FieldType::Blob:
            return ORE06100::FIELD_BLOB;
    }
    return ORE06100::FIELD_STRING;
}

FieldType fromKind(int kind) {
    switch (kind) {
        case ORE06100::FIELD_STRING:
            return FieldType::String;
        case ORE06100::FIELD_FIXED_STRING:
            return FieldType::FixedString;
        case ORE06100::FIELD_INTEGER:
            return FieldType::Integer;
        case ORE06100::FIELD_FLOAT:
            return FieldType::Float;
        case ORE06100::FIELD_DATE_TIME:
            return FieldType::DateTime;
        case ORE06100::FIELD_BLOB:
            return FieldType::Blob;
        default:
            throw PacketCodecError("Pacote de dados inválido: tipo de campo desconhecido (" +
                                   std::to_string(kind) + ").");
    }
}

ORE06100::RowState toState(RowStatus status) {
    switch (status) {
        case RowStatus::Unmodified:
            return ORE06100::ROW_UNMODIFIED;
        case RowStatus::Modified:
            return ORE06100::ROW_MODIFIED;
        case RowStatus::Inserted:
            return ORE06100::ROW_INSERTED;
        case RowStatus::Deleted:
            return ORE06100::ROW_DELETED;
    }
    return ORE06100::ROW_UNMODIFIED;
}

RowStatus fromState(int state) {
    switch (state) {
        case ORE06100::ROW_UNMODIFIED:
            return RowStatus::Unmodified;
        case ORE06100::ROW_MODIFIED:
            return RowStatus::Modified;
        case ORE06100::ROW_INSERTED:
            return RowStatus::Inserted;
        case ORE06100::ROW_DELETED:
            return RowStatus::Deleted;
        default:
            throw PacketCodecError("Pacote de dados inválido: situação de registro desconhecida (" +
                                   std::to_string(state) + ").");
    }
}

bool isTextual(FieldType type) {
    return type == FieldType::String || type == FieldType::FixedString || type == FieldType::Blob;
}

[[noreturn]] void raiseCell(const host::FieldDef& field, std::size_t row, const std::string& why) {
    throw PacketCodecError("Valor inválido no campo " + field.name + " do registro " +
                           std::to_string(row + 1) + ": " + why);
}

void checkShape(const DataPacket& packet) {
    const std::size_t width = packet.fields.size();
    for (std::size_t row = 0; row < packet.rows.size(); ++row) {
        if (packet.rows[row].size() != width) {
            throw PacketCodecError("Pacote de dados inválido: o registro " +
                                   std::to_string(row + 1) + " tem " +
                                   std::to_string(packet.rows[row].size()) + " valores para " +
                                   std::to_string(width) + " campos.");
        }
    }
    if (packet.IsDelta() && packet.rowStatus.size() != packet.rows.size()) {
        throw PacketCodecError(
            "Pacote de dados inválido: a situação dos registros não acompanha os registros.");
    }
}

void encodeColumn(const DataPacket& packet, std::size_t field, std::size_t begin, std::size_t end,
                  ORE06100::Column& column) {
    const host::FieldDef& def = packet.fields[field];
    const std::size_t count = end - begin;
    std::string nulls;
    bool anyNull = false;
    auto markNull = [&](std::size_t offset) {
        if (!anyNull) {
            nulls.assign((count + 7) / 8, '\0');
            anyNull = true;
        }
        nulls[offset / 8] = static_cast<char>(nulls[offset / 8] | (1 << (offset % 8)));
    };

    const int expected = static_cast<int>(count);
    // The message's members are looked up once per column, not per cell.
    std::string* text = nullptr;
    google::protobuf::RepeatedField<std::uint32_t>* lengths = nullptr;
    google::protobuf::RepeatedField<std::int64_t>* integers = nullptr;
    google::protobuf::RepeatedField<double>* numbers = nullptr;
    if (isTextual(def.type)) {
        text = column.mutable_text();
        lengths = column.mutable_text_lengths();
        lengths->Reserve(expected);
    } else if (def.type == FieldType::Integer) {
        integers = column.mutable_integers();
        integers->Reserve(expected);
    } else {
        numbers = column.mutable_numbers();
        numbers->Reserve(expected);
    }
    for (std::size_t row = begin; row < end; ++row) {
        const Variant& value = packet.rows[row][field];
        if (value.IsNull()) {
            markNull(row - begin);
            continue;
        }
        if (value.Type() == VarType::Array || value.Type() == VarType::Packet) {
            raiseCell(def, row, "listas e pacotes não cabem num campo.");
        }
        try {
            if (text != nullptr) {
                if (value.Type() == VarType::Blob || value.Type() == VarType::Text) {
                    const std::string& bytes =
                        value.Type() == VarType::Blob ? value.AsBlob().bytes : value.AsText();
                    text->append(bytes);
                    lengths->Add(static_cast<std::uint32_t>(bytes.size()));
                } else {
                    const std::string converted = value.AsString();
                    text->append(converted);
                    lengths->Add(static_cast<std::uint32_t>(converted.size()));
                }
            } else if (integers != nullptr) {
                integers->Add(value.AsInteger());
            } else if (def.type == FieldType::DateTime) {
                numbers->Add(value.AsDateTime().days);
            } else {
                numbers->Add(value.AsFloat());
            }
        } catch (const host::EVariantError& error) {
            raiseCell(def, row, error.what());
        }
    }
    if (anyNull) {
        column.set_nulls(std::move(nulls));
    }
}

void encodeRows(const DataPacket& packet, std::size_t begin, std::size_t end, bool withFields,
                ORE06100::Packet& message) {
    message.Clear();
    if (withFields) {
        for (const host::FieldDef& def : packet.fields) {
            ORE06100::FieldDefinition* field = message.add_fields();
            field->set_name(def.name);
            field->set_kind(toKind(def.type));
            field->set_size(def.size);
        }
    }
    message.set_row_count(static_cast<std::uint32_t>(end - begin));
    for (std::size_t field = 0; field < packet.fields.size(); ++field) {
        encodeColumn(packet, field, begin, end, *message.add_columns());
    }
    if (packet.IsDelta()) {
        for (std::size_t row = begin; row < end; ++row) {
            message.add_row_states(toState(packet.rowStatus[row]));
        }
    }
}

// Average encoded size of a row, from the first rows.
std::size_t estimateRowBytes(const DataPacket& packet) {
    const std::size_t sample = std::min<std::size_t>(packet.rows.size(), 64);
    std::size_t total = 0;
    for (std::size_t row = 0; row < sample; ++row) {
        for (std::size_t field = 0; field < packet.fields.size(); ++field) {
            const Variant& value = packet.rows[row][field];
            if (value.Type() == VarType::Text) {
                total += value.AsString().size() + 2;
            } else if (value.Type() == VarType::Blob) {
                total += value.AsBlob().bytes.size() + 2;
            } else {
                total += 9;
            }
        }
    }
    return sample == 0 ? 1 : std::max<std::size_t>(1, total / sample);
}

[[noreturn]] void refuse(const std::string& why) {
    throw PacketCodecError("Pacote de dados inválido: " + why);
}

// Nulls among the first `count` rows; the bits after them in the last byte are padding.
std::size_t countNulls(const std::string& nulls, std::size_t count) {
    std::size_t total = 0;
    for (std::size_t byte = 0; byte < nulls.size(); ++byte) {
        unsigned bits = static_cast<unsigned char>(nulls[byte]);
        if (byte + 1 == nulls.size() && count % 8 != 0) {
            bits &= (1U << (count % 8)) - 1U;
        }
        total += static_cast<std::size_t>(std::popcount(bits));
    }
    return total;
}

bool isNull(const std::string& nulls, std::size_t row) {
    return !nulls.empty() && ((static_cast<unsigned char>(nulls[row / 8]) >> (row % 8)) & 1U);
}

// Everything a column claims is checked against what it carries, so that the
// rows are allocated only for a packet that can fill them.
void checkColumn(const host::FieldDef& def, const ORE06100::Column& column, std::size_t count,
                 const DecodeLimits& limits) {
    const std::string& nulls = column.nulls();
    if (!nulls.empty() && nulls.size() != (count + 7) / 8) {
        refuse("mapa de nulos do campo " + def.name + " com tamanho errado.");
    }
    const std::size_t present = count - (nulls.empty() ? 0 : countNulls(nulls, count));
    const bool textual = isTextual(def.type);
    const bool integer = def.type == FieldType::Integer;
    const std::size_t expected[] = {textual ? present : 0, integer ? present : 0,
                                    textual || integer ? 0 : present};
    const std::size_t carried[] = {static_cast<std::size_t>(column.text_lengths_size()),
                                   static_cast<std::size_t>(column.integers_size()),
                                   static_cast<std::size_t>(column.numbers_size())};
    for (std::size_t kind = 0; kind < 3; ++kind) {
        if (carried[kind] < expected[kind]) {
            refuse("faltam valores no campo " + def.name + ".");
        }
        if (carried[kind] > expected[kind]) {
            refuse("sobram valores no campo " + def.name + ".");
        }
    }
    const std::string& text = column.text();
    std::size_t total = 0;
    for (const std::uint32_t length : column.text_lengths()) {
        if (length > limits.maxValueBytes) {
            refuse("valor com mais de " + std::to_string(limits.maxValueBytes) +
                   " bytes no campo " + def.name + ".");
        }
        total += length;
        if (total > text.size()) {
            refuse("texto truncado no campo " + def.name + ".");
        }
    }
    if (total != text.size()) {
        refuse("sobram valores no campo " + def.name + ".");
    }
}

// `first` rows arrived before this chunk, `states` of them with their state.
void checkRowStates(const ORE06100::Packet& message, std::size_t first, std::size_t states,
                    std::size_t count) {
    if (message.row_states_size() > 0) {
        if (static_cast<std::size_t>(message.row_states_size()) != count || states != first) {
            refuse("a situação dos registros não acompanha os registros.");
        }
        for (const int state : message.row_states()) {
            if (state < ORE06100::ROW_UNMODIFIED || state > ORE06100::ROW_DELETED) {
                refuse("situação de registro desconhecida (" + std::to_string(state) + ").");
            }
        }
    } else if (states > 0 && count > 0) {
        refuse("a situação dos registros não acompanha os registros.");
    }
}

// Checks a chunk of `width` fields that follows `first` rows (`states` of them
// with their state), before anything is allocated for it.
void checkChunk(const ORE06100::Packet& message, const std::vector<host::FieldDef>& fields,
                std::size_t first, std::size_t states, const DecodeLimits& limits) {
    const std::size_t width = fields.size();
    const std::size_t count = message.row_count();
    if (static_cast<std::size_t>(message.columns_size()) != width) {
        refuse(std::to_string(message.columns_size()) + " colunas para " + std::to_string(width) +
               " campos.");
    }
    if (width == 0 && count > 0) {
        refuse("registros sem campos.");
    }
    if (count > limits.maxRows - std::min(first, limits.maxRows)) {
        refuse("mais de " + std::to_string(limits.maxRows) + " registros.");
    }
    // first + count and width are both bounded above, so the product cannot overflow.
    if ((first + count) * width > limits.maxCells) {
        refuse("mais de " + std::to_string(limits.maxCells) + " valores.");
    }
    checkRowStates(message, first, states, count);
    for (std::size_t field = 0; field < width; ++field) {
        checkColumn(fields[field], message.columns(static_cast<int>(field)), count, limits);
    }
}

void decodeInto(const ORE06100::Packet& message, DataPacket& packet, const DecodeLimits& limits) {
    const std::size_t width = packet.fields.size();
    const std::size_t count = message.row_count();
    const std::size_t first = packet.rows.size();
    checkChunk(message, packet.fields, first, packet.rowStatus.size(), limits);

    // Row by row, each column read through its own cursor: every row's
    // values are written while the row is in the cache, once. The columns
    // were checked above, so every cursor has exactly the values it is asked for.
    struct Cursor {
        const host::FieldDef* def = nullptr;
        const ORE06100::Column* column = nullptr;
        bool textual = false;
        int next = 0;
        std::size_t offset = 0;
    };
    std::vector<Cursor> cursors(width);
    for (std::size_t field = 0; field < width; ++field) {
        Cursor& cursor = cursors[field];
        cursor.def = &packet.fields[field];
        cursor.column = &message.columns(static_cast<int>(field));
        cursor.textual = isTextual(cursor.def->type);
    }
    packet.rows.reserve(first + count);
    for (std::size_t row = 0; row < count; ++row) {
        std::vector<Variant>& cells = packet.rows.emplace_back(width);
        for (std::size_t field = 0; field < width; ++field) {
            Cursor& cursor = cursors[field];
            const ORE06100::Column& column = *cursor.column;
            if (isNull(column.nulls(), row)) {
                continue;
            }
            Variant& cell = cells[field];
            if (cursor.textual) {
                const std::size_t length = column.text_lengths(cursor.next);
                std::string value(column.text(), cursor.offset, length);
                cursor.offset += length;
                if (cursor.def->type == FieldType::Blob) {
                    cell = Variant(host::Blob{std::move(value)});
                } else {
                    cell = Variant(std::move(value));
                }
            } else if (cursor.def->type == FieldType::Integer) {
                cell = Variant(static_cast<std::int64_t>(column.integers(cursor.next)));
            } else if (cursor.def->type == FieldType::DateTime) {
                cell = Variant(host::TDateTime{column.numbers(cursor.next)});
            } else {
                cell = Variant(column.numbers(cursor.next));
            }
            ++cursor.next;
        }
    }
    for (const int state : message.row_states()) {
        packet.rowStatus.push_back(fromState(state));
    }
}

// Names are echoed in refusals and logs: short, printable and valid UTF-8.
void checkFieldName(const std::string& name, const DecodeLimits& limits) {
    if (name.empty()) {
        refuse("campo sem nome.");
    }
    if (name.size() > limits.maxNameBytes) {
        refuse("nome de campo com mais de " + std::to_string(limits.maxNameBytes) + " bytes.");
    }
    const bool printable = std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
    if (!printable || !utf8::is_valid(name.begin(), name.end())) {
        refuse("nome de campo com caracteres inválidos.");
    }
}

std::vector<host::FieldDef> readFields(const ORE06100::Packet& message,
                                       const DecodeLimits& limits) {
    if (static_cast<std::size_t>(message.fields_size()) > limits.maxFields) {
        refuse("mais de " + std::to_string(limits.maxFields) + " campos.");
    }
    std::vector<host::FieldDef> fields;
    fields.reserve(static_cast<std::size_t>(message.fields_size()));
    std::set<std::string_view> names;
    for (const ORE06100::FieldDefinition& field : message.fields()) {
        checkFieldName(field.name(), limits);
        if (!names.insert(field.name()).second) {
            refuse("campo " + field.name() + " repetido.");
        }
        if (field.size() < 0) {
            refuse("tamanho negativo no campo " + field.name() + ".");
        }
        fields.push_back({field.name(), fromKind(field.kind()), field.size()});
    }
    return fields;
}

// Appends a chunk to a packet by columns: each column's values are copied as
// the wire lays them out, texts in one piece.
void decodeColumnsInto(const ORE06100::Packet& message, host::ColumnPacket& packet,
                       const DecodeLimits& limits) {
    const std::size_t first = packet.RowCount();
    checkChunk(message, packet.fields, first, packet.rowStatus.size(), limits);
    const std::size_t count = message.row_count();
    for (std::size_t field = 0; field < packet.fields.size(); ++field) {
        const ORE06100::Column& column = message.columns(static_cast<int>(field));
        host::PacketColumn& target = packet.columns[field];
        try {
            if (target.Textual()) {
                target.AppendTexts(column.text(), column.text_lengths().data(), count,
                                   column.nulls());
            } else if (target.Type() == FieldType::Integer) {
                target.AppendIntegers(column.integers().data(), count, column.nulls());
            } else {
                target.AppendNumbers(column.numbers().data(), count, column.nulls());
            }
        } catch (const host::EDatabaseError&) {
            refuse("texto demais no campo " + packet.fields[field].name + ".");
        }
    }
    for (const int state : message.row_states()) {
        packet.rowStatus.push_back(fromState(state));
    }
}

}  // namespace

void encodePacket(const DataPacket& packet, ORE06100::Packet& message) {
    checkShape(packet);
    encodeRows(packet, 0, packet.rows.size(), true, message);
}

DataPacket decodePacket(const ORE06100::Packet& message, const DecodeLimits& limits) {
    DataPacket packet;
    packet.fields = readFields(message, limits);
    decodeInto(message, packet, limits);
    return packet;
}

bool encodeChunks(const DataPacket& packet, std::size_t maxChunkBytes,
                  const std::function<bool(ORE06100::Packet&)>& sink) {
    checkShape(packet);
    ORE06100::Packet message;
    const std::size_t total = packet.rows.size();
    if (total == 0) {
        encodeRows(packet, 0, 0, true, message);
        return sink(message);
    }
    const std::size_t limit = std::max<std::size_t>(maxChunkBytes, 1);
    const std::size_t rowsPerChunk = std::max<std::size_t>(1, limit / estimateRowBytes(packet));
    std::size_t begin = 0;
    while (begin < total) {
        std::size_t count = std::min(rowsPerChunk, total - begin);
        encodeRows(packet, begin, begin + count, begin == 0, message);
        // The estimate comes from the first rows; wider rows further on shrink the chunk.
        while (count > 1 && message.ByteSizeLong() > 2 * limit) {
            count /= 2;
            encodeRows(packet, begin, begin + count, begin == 0, message);
        }
        if (!sink(message)) {
            return false;
        }
        begin += count;
    }
    return true;
}

void PacketAssembler::add(const ORE06100::Packet& chunk) {
    if (!m_started) {
        auto packet = std::make_shared<host::ColumnPacket>();
        packet->fields = readFields(chunk, m_limits);
        packet->columns.reserve(packet->fields.size());
        for (const host::FieldDef& field : packet->fields) {
            packet->columns.emplace_back(field.type);
        }
        m_packet = std::move(packet);
        m_started = true;
    } else if (chunk.fields_size() > 0) {
        throw PacketCodecError(
            "Pacote de dados inválido: definição de campos repetida no meio do pacote.");
    }
    decodeColumnsInto(chunk, *m_packet, m_limits);
}

std::shared_ptr<const host::ColumnPacket> PacketAssembler::takeColumns() {
    if (!m_started) {
        throw PacketCodecError("Pacote de dados inválido: nenhuma parte do pacote chegou.");
    }
    m_started = false;
    m_packet->ShrinkToFit();
    return std::exchange(m_packet, nullptr);
}

DataPacket PacketAssembler::take() {
    const std::shared_ptr<const host::ColumnPacket> columns = takeColumns();
    DataPacket packet;
    packet.fields = columns->fields;
    packet.rowStatus = columns->rowStatus;
    const std::size_t count = columns->RowCount();
    packet.rows.reserve(count);
    for (std::size_t row = 0; row < count; ++row) {
        packet.rows.push_back(columns->Row(row));
    }
    return packet;
}

}  // namespace ore::proto
