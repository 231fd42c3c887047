#include "proto/packet_codec.h"

#include <algorithm>
#include <string>
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
    if (isTextual(def.type)) {
        column.mutable_text_lengths()->Reserve(expected);
    } else if (def.type == FieldType::Integer) {
        column.mutable_integers()->Reserve(expected);
    } else {
        column.mutable_numbers()->Reserve(expected);
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
            if (isTextual(def.type)) {
                if (value.Type() == VarType::Blob || value.Type() == VarType::Text) {
                    const std::string& bytes =
                        value.Type() == VarType::Blob ? value.AsBlob().bytes : value.AsText();
                    column.mutable_text()->append(bytes);
                    column.add_text_lengths(static_cast<std::uint32_t>(bytes.size()));
                } else {
                    const std::string text = value.AsString();
                    column.mutable_text()->append(text);
                    column.add_text_lengths(static_cast<std::uint32_t>(text.size()));
                }
            } else if (def.type == FieldType::Integer) {
                column.add_integers(value.AsInteger());
            } else if (def.type == FieldType::DateTime) {
                column.add_numbers(value.AsDateTime().days);
            } else {
                column.add_numbers(value.AsFloat());
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

void decodeInto(const ORE06100::Packet& message, DataPacket& packet) {
    const std::size_t width = packet.fields.size();
    const std::size_t count = message.row_count();
    const std::size_t first = packet.rows.size();
    if (static_cast<std::size_t>(message.columns_size()) != width) {
        throw PacketCodecError(
            "Pacote de dados inválido: " + std::to_string(message.columns_size()) +
            " colunas para " + std::to_string(width) + " campos.");
    }
    if (message.row_states_size() > 0) {
        if (static_cast<std::size_t>(message.row_states_size()) != count ||
            packet.rowStatus.size() != first) {
            throw PacketCodecError(
                "Pacote de dados inválido: a situação dos registros não acompanha os registros.");
        }
    } else if (!packet.rowStatus.empty() && count > 0) {
        throw PacketCodecError(
            "Pacote de dados inválido: a situação dos registros não acompanha os registros.");
    }

    // Row by row, each column read through its own cursor: every row's
    // values are written while the row is in the cache, once.
    struct Cursor {
        const host::FieldDef* def = nullptr;
        const ORE06100::Column* column = nullptr;
        bool textual = false;
        int available = 0;
        int next = 0;
        std::size_t offset = 0;
    };
    std::vector<Cursor> cursors(width);
    for (std::size_t field = 0; field < width; ++field) {
        Cursor& cursor = cursors[field];
        cursor.def = &packet.fields[field];
        cursor.column = &message.columns(static_cast<int>(field));
        const std::string& nulls = cursor.column->nulls();
        if (!nulls.empty() && nulls.size() != (count + 7) / 8) {
            throw PacketCodecError("Pacote de dados inválido: mapa de nulos do campo " +
                                   cursor.def->name + " com tamanho errado.");
        }
        cursor.textual = isTextual(cursor.def->type);
        cursor.available = cursor.textual ? cursor.column->text_lengths_size()
                           : cursor.def->type == FieldType::Integer ? cursor.column->integers_size()
                                                                    : cursor.column->numbers_size();
    }
    packet.rows.reserve(first + count);
    for (std::size_t row = 0; row < count; ++row) {
        std::vector<Variant>& cells = packet.rows.emplace_back(width);
        for (std::size_t field = 0; field < width; ++field) {
            Cursor& cursor = cursors[field];
            const ORE06100::Column& column = *cursor.column;
            const std::string& nulls = column.nulls();
            if (!nulls.empty() &&
                ((static_cast<unsigned char>(nulls[row / 8]) >> (row % 8)) & 1U)) {
                continue;
            }
            if (cursor.next >= cursor.available) {
                throw PacketCodecError("Pacote de dados inválido: faltam valores no campo " +
                                       cursor.def->name + ".");
            }
            Variant& cell = cells[field];
            if (cursor.textual) {
                const std::string& text = column.text();
                const std::size_t length = column.text_lengths(cursor.next);
                if (length > text.size() - cursor.offset) {
                    throw PacketCodecError("Pacote de dados inválido: texto truncado no campo " +
                                           cursor.def->name + ".");
                }
                std::string value(text, cursor.offset, length);
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
    for (const Cursor& cursor : cursors) {
        if (cursor.next != cursor.available || cursor.offset != cursor.column->text().size()) {
            throw PacketCodecError("Pacote de dados inválido: sobram valores no campo " +
                                   cursor.def->name + ".");
        }
    }
    for (int row = 0; row < message.row_states_size(); ++row) {
        packet.rowStatus.push_back(fromState(message.row_states(row)));
    }
}

void readFields(const ORE06100::Packet& message, DataPacket& packet) {
    packet.fields.clear();
    packet.fields.reserve(static_cast<std::size_t>(message.fields_size()));
    for (const ORE06100::FieldDefinition& field : message.fields()) {
        if (field.size() < 0) {
            throw PacketCodecError("Pacote de dados inválido: tamanho negativo no campo " +
                                   field.name() + ".");
        }
        packet.fields.push_back({field.name(), fromKind(field.kind()), field.size()});
    }
}

}  // namespace

void encodePacket(const DataPacket& packet, ORE06100::Packet& message) {
    checkShape(packet);
    encodeRows(packet, 0, packet.rows.size(), true, message);
}

DataPacket decodePacket(const ORE06100::Packet& message) {
    DataPacket packet;
    readFields(message, packet);
    decodeInto(message, packet);
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
        readFields(chunk, m_packet);
        m_started = true;
    } else if (chunk.fields_size() > 0) {
        throw PacketCodecError(
            "Pacote de dados inválido: definição de campos repetida no meio do pacote.");
    }
    decodeInto(chunk, m_packet);
}

DataPacket PacketAssembler::take() {
    if (!m_started) {
        throw PacketCodecError("Pacote de dados inválido: nenhuma parte do pacote chegou.");
    }
    m_started = false;
    return std::exchange(m_packet, DataPacket{});
}

}  // namespace ore::proto
