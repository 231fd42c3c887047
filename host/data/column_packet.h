#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "host/data/data_packet.h"
#include "host/data/variant.h"

namespace host {

// Every row's value of one field, stored by kind: texts and blobs end to end
// in one buffer with the end of each value, numbers and dates in a plain
// array, nulls in a bitmap made on the first null. A large list costs a few
// bytes per cell beyond its text instead of a variant per cell.
class PacketColumn {
public:
    explicit PacketColumn(FieldType type = FieldType::String);

    FieldType Type() const { return m_type; }
    std::size_t Size() const { return m_rows; }
    bool Textual() const { return m_textual; }
    bool HasNulls() const { return !m_nulls.empty(); }

    bool IsNull(std::size_t row) const {
        return !m_nulls.empty() && ((m_nulls[row / 64] >> (row % 64)) & 1U) != 0;
    }
    // Raw access by kind; a null row reads as "" or 0.
    std::string_view Text(std::size_t row) const {
        const std::uint32_t begin = row == 0 ? 0 : m_ends[row - 1];
        return {m_text.data() + begin, m_ends[row] - begin};
    }
    std::int64_t Integer(std::size_t row) const { return m_integers[row]; }
    double Number(std::size_t row) const { return m_numbers[row]; }
    // The cell as a variant of the column's kind (text, blob, integer, float,
    // date-time), or null.
    Variant Value(std::size_t row) const;

    // Appends one cell; the value must be null or of the column's kind.
    void Append(const Variant& value);
    void AppendNull();
    void AppendText(std::string_view text);
    void AppendInteger(std::int64_t value);
    void AppendNumber(double value);

    // Appends `count` cells at once, as the wire carries them: `nulls` is the
    // chunk's bitmap (bit r of byte r/8; empty when none is null) and the
    // values are those of the present cells, in order. The caller has checked
    // that the counts agree.
    void AppendTexts(std::string_view bytes, const std::uint32_t* lengths, std::size_t count,
                     const std::string& nulls);
    void AppendIntegers(const std::int64_t* values, std::size_t count, const std::string& nulls);
    void AppendNumbers(const double* values, std::size_t count, const std::string& nulls);

    void Reserve(std::size_t rows);
    // Gives back the room left by growing.
    void ShrinkToFit();
    // Bytes held, for the memory figures.
    std::size_t HeapBytes() const;

private:
    void markNull(std::size_t row);
    void growNulls(std::size_t rows);

    FieldType m_type;
    bool m_textual;
    std::size_t m_rows = 0;
    std::vector<std::uint64_t> m_nulls;
    std::string m_text;
    std::vector<std::uint32_t> m_ends;
    std::vector<std::int64_t> m_integers;
    std::vector<double> m_numbers;
};

// A data packet stored by column, as the wire carries it: a large list is
// decoded straight into it and a client data set keeps it as its loaded
// data. AsPacket of a variant holding one builds the row form on first use.
class ColumnPacket {
public:
    ColumnPacket() = default;
    ColumnPacket(const ColumnPacket&) = delete;
    ColumnPacket& operator=(const ColumnPacket&) = delete;

    std::vector<FieldDef> fields;
    std::vector<PacketColumn> columns;  // one per field
    std::vector<RowStatus> rowStatus;   // delta packets only

    std::size_t RowCount() const {
        return columns.empty() ? m_rowsWithoutFields : columns[0].Size();
    }
    void SetRowCountWithoutFields(std::size_t rows) { m_rowsWithoutFields = rows; }
    std::vector<Variant> Row(std::size_t row) const;

    // The same packet by rows, built once on first use (safe from any thread).
    const DataPacket& Rows() const;

    void ShrinkToFit();
    std::size_t HeapBytes() const;

private:
    std::size_t m_rowsWithoutFields = 0;
    mutable std::once_flag m_rowsOnce;
    mutable std::unique_ptr<DataPacket> m_rows;
};

}  // namespace host
