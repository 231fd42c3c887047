#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace host {

class DataPacket;
class ColumnPacket;

// A calendar instant as the platform stores it: days since 30 December 1899,
// the fraction being the time of day. Zero stands for "no date".
struct TDateTime {
    double days = 0.0;
    friend bool operator==(TDateTime, TDateTime) = default;
};

// Binary large object: the bytes of a memo or picture field.
struct Blob {
    std::string bytes;
    friend bool operator==(const Blob&, const Blob&) = default;
};

enum class VarType { Null, Text, Integer, Float, DateTime, Blob, Array, Packet };

// The value that travels between screens, data sets and the application
// server: null, text, integer, float, date-time, blob, array or data packet.
class Variant {
public:
    using Array = std::vector<Variant>;

    Variant() = default;
    Variant(std::string text) : m_value(std::move(text)) {}
    Variant(const char* text) : m_value(std::string(text)) {}
    Variant(std::int64_t number) : m_value(number) {}
    Variant(int number) : m_value(static_cast<std::int64_t>(number)) {}
    Variant(double number) : m_value(number) {}
    Variant(TDateTime when) : m_value(when) {}
    Variant(Blob blob) : m_value(std::move(blob)) {}
    Variant(Array items) : m_value(std::make_shared<const Array>(std::move(items))) {}
    Variant(std::shared_ptr<const DataPacket> packet) : m_value(std::move(packet)) {}
    Variant(DataPacket packet);
    // A packet stored by column; reads as a packet like any other.
    Variant(std::shared_ptr<const ColumnPacket> packet) : m_value(std::move(packet)) {}

    VarType Type() const {
        const std::size_t index = m_value.index();
        return index == kColumnsIndex ? VarType::Packet : static_cast<VarType>(index);
    }
    bool IsNull() const { return Type() == VarType::Null; }

    // Conversions follow the platform: null reads as "" / 0; text that is not a
    // number raises EVariantError when read as one.
    std::string AsString() const;
    std::int64_t AsInteger() const;
    double AsFloat() const;
    TDateTime AsDateTime() const;
    bool AsBoolean() const;

    // Raise EVariantError when the variant holds another kind of value.
    const Array& AsArray() const;
    const DataPacket& AsPacket() const;
    std::shared_ptr<const DataPacket> PacketPtr() const;
    // The packet stored by column, or null when the variant holds none.
    std::shared_ptr<const ColumnPacket> ColumnsPtr() const;
    const Blob& AsBlob() const;
    // The text itself, without a copy (codecs of large packets).
    const std::string& AsText() const;

    friend bool operator==(const Variant& a, const Variant& b);

private:
    static constexpr std::size_t kColumnsIndex = 8;
    std::variant<std::monostate, std::string, std::int64_t, double, TDateTime, Blob,
                 std::shared_ptr<const Array>, std::shared_ptr<const DataPacket>,
                 std::shared_ptr<const ColumnPacket>>
        m_value;
};

inline bool VarIsNull(const Variant& value) {
    return value.IsNull();
}
inline bool VarIsArray(const Variant& value) {
    return value.Type() == VarType::Array;
}
Variant VarArrayOf(Variant::Array items);

}  // namespace host
