#include "host/data/column_packet.h"

#include <cstring>
#include <limits>

#include "host/data/exceptions.h"

namespace host {

namespace {

bool isTextualType(FieldType type) {
    return type == FieldType::String || type == FieldType::FixedString || type == FieldType::Blob;
}

bool wireNull(const std::string& nulls, std::size_t row) {
    return !nulls.empty() && ((static_cast<unsigned char>(nulls[row / 8]) >> (row % 8)) & 1U) != 0;
}

template <typename T>
void shrink(std::vector<T>& values) {
    if (values.capacity() != values.size()) {
        values.shrink_to_fit();
    }
}

}  // namespace

PacketColumn::PacketColumn(FieldType type) : m_type(type), m_textual(isTextualType(type)) {}

Variant PacketColumn::Value(std::size_t row) const {
    if (IsNull(row)) {
        return {};
    }
    switch (m_type) {
        case FieldType::String:
        case FieldType::FixedString:
            return Variant(std::string(Text(row)));
        case FieldType::Blob:
            return Variant(Blob{std::string(Text(row))});
        case FieldType::Integer:
            return Variant(m_integers[row]);
        case FieldType::Float:
            return Variant(m_numbers[row]);
        case FieldType::DateTime:
            return Variant(TDateTime{m_numbers[row]});
    }
    return {};
}

void PacketColumn::growNulls(std::size_t rows) {
    if (!m_nulls.empty()) {
        m_nulls.resize((rows + 63) / 64, 0);
    }
}

void PacketColumn::markNull(std::size_t row) {
    if (m_nulls.empty()) {
        m_nulls.reserve(
            (std::max(m_ends.capacity(), std::max(m_integers.capacity(), m_numbers.capacity())) +
             63) /
            64);
    }
    if (m_nulls.size() < (row + 64) / 64) {
        m_nulls.resize((row + 64) / 64, 0);
    }
    m_nulls[row / 64] |= std::uint64_t{1} << (row % 64);
}

void PacketColumn::Append(const Variant& value) {
    if (value.IsNull()) {
        AppendNull();
        return;
    }
    switch (m_type) {
        case FieldType::String:
        case FieldType::FixedString:
            AppendText(value.AsText());
            return;
        case FieldType::Blob:
            AppendText(value.AsBlob().bytes);
            return;
        case FieldType::Integer:
            AppendInteger(value.AsInteger());
            return;
        case FieldType::Float:
        case FieldType::DateTime:
            AppendNumber(value.AsFloat());
            return;
    }
}

void PacketColumn::AppendNull() {
    const std::size_t row = m_rows;
    if (m_textual) {
        m_ends.push_back(static_cast<std::uint32_t>(m_text.size()));
    } else if (m_type == FieldType::Integer) {
        m_integers.push_back(0);
    } else {
        m_numbers.push_back(0.0);
    }
    ++m_rows;
    markNull(row);
}

void PacketColumn::AppendText(std::string_view text) {
    if (text.size() > std::numeric_limits<std::uint32_t>::max() - m_text.size()) {
        throw EDatabaseError("Column text beyond 4 GiB");
    }
    m_text.append(text);
    m_ends.push_back(static_cast<std::uint32_t>(m_text.size()));
    ++m_rows;
    growNulls(m_rows);
}

void PacketColumn::AppendInteger(std::int64_t value) {
    m_integers.push_back(value);
    ++m_rows;
    growNulls(m_rows);
}

void PacketColumn::AppendNumber(double value) {
    m_numbers.push_back(value);
    ++m_rows;
    growNulls(m_rows);
}

void PacketColumn::AppendTexts(std::string_view bytes, const std::uint32_t* lengths,
                               std::size_t count, const std::string& nulls) {
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max() - m_text.size()) {
        throw EDatabaseError("Column text beyond 4 GiB");
    }
    const std::size_t first = m_rows;
    auto end = static_cast<std::uint32_t>(m_text.size());
    m_text.append(bytes);
    m_ends.resize(first + count);
    std::uint32_t* ends = m_ends.data() + first;
    if (nulls.empty()) {
        for (std::size_t i = 0; i < count; ++i) {
            end += lengths[i];
            ends[i] = end;
        }
        m_rows += count;
        growNulls(m_rows);
        return;
    }
    std::size_t next = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (!wireNull(nulls, i)) {
            end += lengths[next++];
        }
        ends[i] = end;
    }
    m_rows += count;
    growNulls(m_rows);
    for (std::size_t i = 0; i < count; ++i) {
        if (wireNull(nulls, i)) {
            markNull(first + i);
        }
    }
}

namespace {

template <typename T>
void appendPresent(std::vector<T>& target, const T* values, std::size_t count,
                   const std::string& nulls) {
    const std::size_t first = target.size();
    target.resize(first + count);
    T* out = target.data() + first;
    if (nulls.empty()) {
        if (count > 0) {
            std::memcpy(out, values, count * sizeof(T));
        }
        return;
    }
    std::size_t next = 0;
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = wireNull(nulls, i) ? T{} : values[next++];
    }
}

}  // namespace

void PacketColumn::AppendIntegers(const std::int64_t* values, std::size_t count,
                                  const std::string& nulls) {
    const std::size_t first = m_rows;
    appendPresent(m_integers, values, count, nulls);
    m_rows += count;
    growNulls(m_rows);
    for (std::size_t i = 0; !nulls.empty() && i < count; ++i) {
        if (wireNull(nulls, i)) {
            markNull(first + i);
        }
    }
}

void PacketColumn::AppendNumbers(const double* values, std::size_t count,
                                 const std::string& nulls) {
    const std::size_t first = m_rows;
    appendPresent(m_numbers, values, count, nulls);
    m_rows += count;
    growNulls(m_rows);
    for (std::size_t i = 0; !nulls.empty() && i < count; ++i) {
        if (wireNull(nulls, i)) {
            markNull(first + i);
        }
    }
}

void PacketColumn::Reserve(std::size_t rows) {
    if (m_textual) {
        m_ends.reserve(rows);
    } else if (m_type == FieldType::Integer) {
        m_integers.reserve(rows);
    } else {
        m_numbers.reserve(rows);
    }
}

void PacketColumn::ShrinkToFit() {
    if (m_text.capacity() > m_text.size() + 64) {
        m_text.shrink_to_fit();
    }
    shrink(m_ends);
    shrink(m_integers);
    shrink(m_numbers);
    shrink(m_nulls);
}

std::size_t PacketColumn::HeapBytes() const {
    return m_text.capacity() + m_ends.capacity() * sizeof(std::uint32_t) +
           m_integers.capacity() * sizeof(std::int64_t) + m_numbers.capacity() * sizeof(double) +
           m_nulls.capacity() * sizeof(std::uint64_t);
}

std::vector<Variant> ColumnPacket::Row(std::size_t row) const {
    std::vector<Variant> values;
    values.reserve(columns.size());
    for (const PacketColumn& column : columns) {
        values.push_back(column.Value(row));
    }
    return values;
}

const DataPacket& ColumnPacket::Rows() const {
    std::call_once(m_rowsOnce, [this] {
        auto packet = std::make_unique<DataPacket>();
        packet->fields = fields;
        packet->rowStatus = rowStatus;
        const std::size_t count = RowCount();
        packet->rows.reserve(count);
        for (std::size_t row = 0; row < count; ++row) {
            packet->rows.push_back(Row(row));
        }
        m_rows = std::move(packet);
    });
    return *m_rows;
}

void ColumnPacket::ShrinkToFit() {
    for (PacketColumn& column : columns) {
        column.ShrinkToFit();
    }
}

std::size_t ColumnPacket::HeapBytes() const {
    std::size_t total = 0;
    for (const PacketColumn& column : columns) {
        total += column.HeapBytes();
    }
    return total;
}

}  // namespace host
