#include "host/data/field_values.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

#include "host/data/exceptions.h"
#include "host/data/formatting.h"

namespace host {

namespace {

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool isText(FieldType type) {
    return type == FieldType::String || type == FieldType::FixedString;
}

std::string textOf(const Variant& value) {
    switch (value.Type()) {
        case VarType::Float:
            return FloatToStr(value.AsFloat());
        case VarType::DateTime:
            return DateTimeToStr(value.AsDateTime());
        default:
            return value.AsString();
    }
}

Variant integerFromText(const std::string& text) {
    const std::string_view clean = trim(text);
    if (clean.empty()) {
        return {};
    }
    std::int64_t number = 0;
    const char* begin = clean.data();
    if (*begin == '+') {
        ++begin;
    }
    const auto [end, error] = std::from_chars(begin, clean.data() + clean.size(), number);
    if (begin == clean.data() + clean.size() || error != std::errc() ||
        end != clean.data() + clean.size()) {
        throw EConvertError("'" + text + "' is not a valid integer value");
    }
    return Variant(number);
}

}  // namespace

bool fieldTypesCompatible(FieldType fieldType, FieldType packetType) {
    switch (fieldType) {
        case FieldType::String:
        case FieldType::FixedString:
            return isText(packetType);
        case FieldType::Integer:
            return packetType == FieldType::Integer;
        case FieldType::Float:
            return packetType == FieldType::Float || packetType == FieldType::Integer;
        case FieldType::DateTime:
            return packetType == FieldType::DateTime;
        case FieldType::Blob:
            return packetType == FieldType::Blob || isText(packetType);
    }
    return false;
}

const char* fieldTypeName(FieldType type) {
    switch (type) {
        case FieldType::String:
            return "String";
        case FieldType::FixedString:
            return "FixedChar";
        case FieldType::Integer:
            return "Integer";
        case FieldType::Float:
            return "Float";
        case FieldType::DateTime:
            return "DateTime";
        case FieldType::Blob:
            return "Blob";
    }
    return "Unknown";
}

VarType naturalVarType(FieldType type) {
    switch (type) {
        case FieldType::String:
        case FieldType::FixedString:
            return VarType::Text;
        case FieldType::Integer:
            return VarType::Integer;
        case FieldType::Float:
            return VarType::Float;
        case FieldType::DateTime:
            return VarType::DateTime;
        case FieldType::Blob:
            return VarType::Blob;
    }
    return VarType::Null;
}

Variant valueForField(const Variant& value, FieldType type) {
    if (value.IsNull() || value.Type() == naturalVarType(type)) {
        return value;
    }
    if (value.Type() == VarType::Array || value.Type() == VarType::Packet) {
        throw EVariantError(std::string("Could not convert variant of type (") +
                            (value.Type() == VarType::Array ? "Array" : "Packet") +
                            ") into type (" + fieldTypeName(type) + ")");
    }
    switch (type) {
        case FieldType::String:
        case FieldType::FixedString:
            return Variant(textOf(value));
        case FieldType::Blob:
            return Variant(Blob{textOf(value)});
        case FieldType::Integer:
            if (value.Type() == VarType::Text) {
                return integerFromText(value.AsString());
            }
            if (value.Type() == VarType::Blob) {
                return integerFromText(value.AsBlob().bytes);
            }
            if (value.Type() == VarType::DateTime) {
                return Variant(static_cast<std::int64_t>(std::trunc(value.AsDateTime().days)));
            }
            return Variant(value.AsInteger());
        case FieldType::Float: {
            if (value.Type() == VarType::Text || value.Type() == VarType::Blob) {
                const std::string text = value.AsString();
                if (trim(text).empty()) {
                    return {};
                }
                double number = 0;
                if (!TryStrToFloat(text, number)) {
                    throw EConvertError("'" + text + "' is not a valid floating point value");
                }
                return Variant(number);
            }
            return Variant(value.AsFloat());
        }
        case FieldType::DateTime: {
            if (value.Type() == VarType::Text || value.Type() == VarType::Blob) {
                const std::string text = value.AsString();
                if (trim(text).empty()) {
                    return {};
                }
                TDateTime when;
                if (!TryStrToDateTime(text, when)) {
                    throw EConvertError("'" + text + "' is not a valid date and time");
                }
                return Variant(when);
            }
            return Variant(TDateTime{value.AsFloat()});
        }
    }
    return value;
}

}  // namespace host
