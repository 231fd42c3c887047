#include <charconv>
#include <string>
#include <system_error>

#include "host/data/client_data_set.h"
#include "host/data/exceptions.h"
#include "host/data/field_values.h"
#include "host/data/formatting.h"

namespace host {

namespace {

std::size_t characterCount(const std::string& text) {
    std::size_t count = 0;
    for (const char c : text) {
        // Continuation bytes of a UTF-8 sequence do not start a character.
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

std::string padded(std::string text, int size) {
    const std::size_t count = characterCount(text);
    if (size > 0 && count < static_cast<std::size_t>(size)) {
        text.append(static_cast<std::size_t>(size) - count, ' ');
    }
    return text;
}

}  // namespace

TField::TField(TClientDataSet& owner, FieldDef def) : m_owner(owner), m_def(std::move(def)) {}

Variant TField::Value() const {
    Variant value = m_owner.GetFieldValue(*this);
    if (m_def.type == FieldType::FixedString && value.Type() == VarType::Text) {
        return Variant(padded(value.AsString(), m_def.size));
    }
    return value;
}

void TField::SetValue(const Variant& value) {
    m_owner.SetFieldValue(*this, value);
}

bool TField::IsNull() const {
    return m_owner.GetFieldValue(*this).IsNull();
}

std::string TField::AsString() const {
    const Variant value = m_owner.GetFieldValue(*this);
    if (value.IsNull()) {
        return {};
    }
    switch (m_def.type) {
        case FieldType::FixedString:
            return padded(value.AsString(), m_def.size);
        case FieldType::Float:
            return FloatToStr(value.AsFloat());
        case FieldType::DateTime:
            return DateTimeToStr(value.AsDateTime());
        default:
            return value.AsString();
    }
}

void TField::SetAsString(const std::string& text) {
    switch (m_def.type) {
        case FieldType::String:
        case FieldType::FixedString:
            SetValue(Variant(text));
            return;
        case FieldType::Blob:
            SetValue(Variant(Blob{text}));
            return;
        default:
            // Numbers and dates read the text the way the operator types it.
            SetValue(valueForField(Variant(text), m_def.type));
    }
}

double TField::AsFloat() const {
    const Variant value = m_owner.GetFieldValue(*this);
    if (value.Type() == VarType::Text || value.Type() == VarType::Blob) {
        const std::string text = value.AsString();
        double number = 0;
        if (!TryStrToFloat(text, number)) {
            throw EConvertError("'" + text + "' is not a valid floating point value");
        }
        return number;
    }
    return value.AsFloat();
}

void TField::SetAsFloat(double value) {
    SetValue(Variant(value));
}

std::int64_t TField::AsInteger() const {
    const Variant value = m_owner.GetFieldValue(*this);
    if (value.Type() == VarType::Text || value.Type() == VarType::Blob) {
        const Variant number = valueForField(value, FieldType::Integer);
        if (number.IsNull()) {
            throw EConvertError("'' is not a valid integer value");
        }
        return number.AsInteger();
    }
    return value.AsInteger();
}

void TField::SetAsInteger(std::int64_t value) {
    SetValue(Variant(value));
}

TDateTime TField::AsDateTime() const {
    const Variant value = m_owner.GetFieldValue(*this);
    if (value.Type() == VarType::Text || value.Type() == VarType::Blob) {
        return valueForField(value, FieldType::DateTime).AsDateTime();
    }
    return value.AsDateTime();
}

void TField::SetAsDateTime(TDateTime value) {
    SetValue(Variant(value));
}

void TField::Clear() {
    SetValue(Variant{});
}

std::string TField::DisplayText() const {
    if (OnGetText) {
        std::string text;
        OnGetText(const_cast<TField&>(*this), text, true);
        return text;
    }
    const Variant value = m_owner.GetFieldValue(*this);
    if (value.IsNull()) {
        return {};
    }
    switch (m_def.type) {
        case FieldType::Float:
        case FieldType::Integer:
            if (!DisplayFormat.empty()) {
                return FormatFloat(DisplayFormat, value.AsFloat());
            }
            return m_def.type == FieldType::Float ? FloatToStr(value.AsFloat())
                                                  : std::to_string(value.AsInteger());
        case FieldType::DateTime: {
            const TDateTime when = value.AsDateTime();
            if (when.days == 0.0) {
                return {};
            }
            if (!DisplayFormat.empty()) {
                return FormatDateTime(DisplayFormat, when);
            }
            int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
            DecodeDateTime(when, year, month, day, hour, minute, second);
            return FormatDateTime(
                hour == 0 && minute == 0 && second == 0 ? "dd/mm/yyyy" : "dd/mm/yyyy hh:nn", when);
        }
        case FieldType::String:
        case FieldType::FixedString: {
            const std::string text = AsString();
            if (EditMask.empty() || text.empty()) {
                return text;
            }
            return FormatMaskText(EditMask, text);
        }
        case FieldType::Blob:
            return value.AsString();
    }
    return value.AsString();
}

Variant TField::ValueAt(int recNo) const {
    if (recNo < 1 || recNo > m_owner.RecordCount()) {
        return {};
    }
    Variant result;
    m_owner.ReadRecord(recNo, [&] { result = Value(); });
    return result;
}

std::string TField::DisplayTextAt(int recNo) const {
    if (recNo < 1 || recNo > m_owner.RecordCount()) {
        return {};
    }
    std::string result;
    m_owner.ReadRecord(recNo, [&] { result = DisplayText(); });
    return result;
}

}  // namespace host
