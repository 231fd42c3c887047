#include "scenario/values.h"

#include <cmath>
#include <utility>

#include "host/data/formatting.h"

namespace scenario {

namespace {

std::string_view trimRight(std::string_view text) {
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

// A zero date shows as an empty field; some displays fall back on the
// platform's day zero instead.
bool isZeroDateText(std::string_view text) {
    return text.empty() || text == "0" || text == "30/12/1899" || text == "30/12/1899 00:00";
}

}  // namespace

bool matches(std::string_view expected, const Observed& found) {
    switch (found.kind) {
        case ValueKind::Plain:
            return expected == found.text;
        case ValueKind::FixedString:
            return trimRight(expected) == trimRight(found.text);
        case ValueKind::Date:
            if (isZeroDateText(found.text)) {
                return expected.empty() || expected == "0" || expected == found.text;
            }
            return expected == found.text;
    }
    return false;
}

std::string quoted(std::string_view text) {
    std::string result = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            result += '\\';
        }
        result += c;
    }
    return result + "\"";
}

std::optional<bool> parseBoolean(std::string_view text) {
    if (text == "yes" || text == "true") {
        return true;
    }
    if (text == "no" || text == "false") {
        return false;
    }
    return std::nullopt;
}

std::string booleanText(bool value, std::string_view spelledLike) {
    if (spelledLike == "true" || spelledLike == "false") {
        return value ? "true" : "false";
    }
    return value ? "yes" : "no";
}

std::string dateText(host::TDateTime when) {
    if (when.days == 0.0) {
        return {};
    }
    const double time = when.days - std::floor(when.days);
    // Below half a minute the time shows as 00:00, so it counts as midnight.
    const bool midnight = time * 24 * 60 < 0.5 || (1.0 - time) * 24 * 60 < 0.5;
    return host::FormatDateTime(midnight ? "dd/mm/yyyy" : "dd/mm/yyyy hh:nn", when);
}

Observed databaseValue(const host::Variant& value) {
    switch (value.Type()) {
        case host::VarType::Null:
            return {"", ValueKind::Plain};
        case host::VarType::Text:
            // CHAR columns come back padded on one engine and not on the other.
            return {value.AsString(), ValueKind::FixedString};
        case host::VarType::Integer:
            return {std::to_string(value.AsInteger()), ValueKind::Plain};
        case host::VarType::Float:
            return {host::FloatToStr(value.AsFloat()), ValueKind::Plain};
        case host::VarType::DateTime:
            return {dateText(value.AsDateTime()), ValueKind::Date};
        case host::VarType::Blob:
            return {value.AsBlob().bytes, ValueKind::Plain};
        case host::VarType::Array:
        case host::VarType::Packet:
            break;
    }
    return {"<" + std::string(value.Type() == host::VarType::Array ? "array" : "packet") + ">",
            ValueKind::Plain};
}

ValueKind kindOf(host::FieldType type) {
    switch (type) {
        case host::FieldType::DateTime:
            return ValueKind::Date;
        case host::FieldType::FixedString:
            return ValueKind::FixedString;
        default:
            return ValueKind::Plain;
    }
}

Observed fieldValue(host::TField& field) {
    const host::Variant value = field.Value();
    if (value.IsNull()) {
        return {"", kindOf(field.DataType())};
    }
    switch (field.DataType()) {
        case host::FieldType::Float:
        case host::FieldType::DateTime: {
            // The operator's view of the value, not the screen's own text for it.
            auto handler = std::exchange(field.OnGetText, nullptr);
            std::string text;
            try {
                text = field.DisplayText();
            } catch (...) {
                field.OnGetText = std::move(handler);
                throw;
            }
            field.OnGetText = std::move(handler);
            return {text, kindOf(field.DataType())};
        }
        case host::FieldType::Blob:
            return {value.Type() == host::VarType::Blob ? value.AsBlob().bytes : value.AsString(),
                    ValueKind::Plain};
        default:
            return {field.AsString(), kindOf(field.DataType())};
    }
}

}  // namespace scenario
