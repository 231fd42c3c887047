#include "host/data/variant.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "host/data/column_packet.h"
#include "host/data/data_packet.h"
#include "host/data/exceptions.h"
#include "host/data/formatting.h"

namespace host {

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

[[noreturn]] void raiseConversion(const std::string& text, const char* target) {
    throw EVariantError("Could not convert variant of value '" + text + "' into type " + target);
}

double textToFloat(const std::string& text) {
    const std::string clean = trimmed(text);
    if (clean.empty()) {
        raiseConversion(text, "Double");
    }
    double value = 0;
    const auto [end, error] = std::from_chars(clean.data(), clean.data() + clean.size(), value);
    if (error != std::errc() || end != clean.data() + clean.size()) {
        raiseConversion(text, "Double");
    }
    return value;
}

std::int64_t textToInteger(const std::string& text) {
    const std::string clean = trimmed(text);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(clean.data(), clean.data() + clean.size(), value);
    if (clean.empty() || error != std::errc() || end != clean.data() + clean.size()) {
        raiseConversion(text, "Integer");
    }
    return value;
}

std::string floatToText(double value) {
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : std::string("0");
}

}  // namespace

Variant::Variant(DataPacket packet)
    : m_value(std::make_shared<const DataPacket>(std::move(packet))) {}

std::string Variant::AsString() const {
    switch (Type()) {
        case VarType::Null:
            return {};
        case VarType::Text:
            return std::get<std::string>(m_value);
        case VarType::Integer:
            return std::to_string(std::get<std::int64_t>(m_value));
        case VarType::Float:
            return floatToText(std::get<double>(m_value));
        case VarType::DateTime:
            return DateTimeToStr(std::get<TDateTime>(m_value));
        case VarType::Blob:
            return std::get<Blob>(m_value).bytes;
        case VarType::Array:
        case VarType::Packet:
            break;
    }
    throw EVariantError("Could not convert variant of type (Array) into type (String)");
}

std::int64_t Variant::AsInteger() const {
    switch (Type()) {
        case VarType::Null:
            return 0;
        case VarType::Text:
            return textToInteger(std::get<std::string>(m_value));
        case VarType::Integer:
            return std::get<std::int64_t>(m_value);
        case VarType::Float:
            return static_cast<std::int64_t>(std::llround(std::get<double>(m_value)));
        case VarType::DateTime:
            return static_cast<std::int64_t>(std::get<TDateTime>(m_value).days);
        default:
            throw EVariantError("Could not convert variant into type (Integer)");
    }
}

double Variant::AsFloat() const {
    switch (Type()) {
        case VarType::Null:
            return 0.0;
        case VarType::Text:
            return textToFloat(std::get<std::string>(m_value));
        case VarType::Integer:
            return static_cast<double>(std::get<std::int64_t>(m_value));
        case VarType::Float:
            return std::get<double>(m_value);
        case VarType::DateTime:
            return std::get<TDateTime>(m_value).days;
        default:
            throw EVariantError("Could not convert variant into type (Double)");
    }
}

TDateTime Variant::AsDateTime() const {
    if (Type() == VarType::DateTime) {
        return std::get<TDateTime>(m_value);
    }
    return TDateTime{AsFloat()};
}

bool Variant::AsBoolean() const {
    if (Type() == VarType::Text) {
        const std::string& text = std::get<std::string>(m_value);
        if (text == "True" || text == "true") {
            return true;
        }
        if (text == "False" || text == "false" || text.empty()) {
            return false;
        }
    }
    return AsFloat() != 0.0;
}

const Variant::Array& Variant::AsArray() const {
    if (Type() != VarType::Array) {
        throw EVariantError("Variant is not an array");
    }
    return *std::get<std::shared_ptr<const Array>>(m_value);
}

const DataPacket& Variant::AsPacket() const {
    if (Type() != VarType::Packet) {
        throw EVariantError("Variant is not a data packet");
    }
    if (m_value.index() == kColumnsIndex) {
        return std::get<std::shared_ptr<const ColumnPacket>>(m_value)->Rows();
    }
    return *std::get<std::shared_ptr<const DataPacket>>(m_value);
}

std::shared_ptr<const DataPacket> Variant::PacketPtr() const {
    if (Type() != VarType::Packet) {
        throw EVariantError("Variant is not a data packet");
    }
    if (m_value.index() == kColumnsIndex) {
        const auto& columns = std::get<std::shared_ptr<const ColumnPacket>>(m_value);
        return {columns, &columns->Rows()};
    }
    return std::get<std::shared_ptr<const DataPacket>>(m_value);
}

std::shared_ptr<const ColumnPacket> Variant::ColumnsPtr() const {
    if (m_value.index() != kColumnsIndex) {
        return nullptr;
    }
    return std::get<std::shared_ptr<const ColumnPacket>>(m_value);
}

const std::string& Variant::AsText() const {
    if (Type() != VarType::Text) {
        throw EVariantError("Variant is not a text");
    }
    return std::get<std::string>(m_value);
}

const Blob& Variant::AsBlob() const {
    if (Type() != VarType::Blob) {
        throw EVariantError("Variant is not a blob");
    }
    return std::get<Blob>(m_value);
}

bool operator==(const Variant& a, const Variant& b) {
    if (a.Type() != b.Type()) {
        return false;
    }
    switch (a.Type()) {
        case VarType::Array:
            return a.AsArray() == b.AsArray();
        case VarType::Packet:
            return a.AsPacket() == b.AsPacket();
        default:
            return a.m_value == b.m_value;
    }
}

Variant VarArrayOf(Variant::Array items) {
    return Variant(std::move(items));
}

int DataPacket::FieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace host
