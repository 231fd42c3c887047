#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/data/client_data_set.h"
#include "host/data/variant.h"

namespace scenario {

// What a value's origin allows when a check compares it: a date may be
// written "" or "0" when it is zero, and a fixed-width string keeps trailing
// blanks that a scenario need not write.
enum class ValueKind { Plain, Date, FixedString };

struct Observed {
    std::string text;
    ValueKind kind = ValueKind::Plain;
};

// Whether a scenario's expected text matches what was found.
bool matches(std::string_view expected, const Observed& found);

// A text as a scenario would write it: quoted, with \" and \\ escaped.
std::string quoted(std::string_view text);

// yes/true and no/false; nothing for any other text.
std::optional<bool> parseBoolean(std::string_view text);
// A boolean in the words the scenario used for it ("yes"/"no" or "true"/"false").
std::string booleanText(bool value, std::string_view spelledLike);

// dd/mm/yyyy, with " hh:nn" when the time is not midnight; "" for a zero date.
std::string dateText(host::TDateTime when);

// A database value as `expect db` shows it: null as "", numbers as the
// operator reads them (decimal comma), dates as dateText.
Observed databaseValue(const host::Variant& value);

// A field of the current record as `expect field` shows it: strings as stored,
// floats and dates as the operator sees them (without the field's OnGetText),
// null as "".
Observed fieldValue(host::TField& field);

// The kind of value a field of that type holds.
ValueKind kindOf(host::FieldType type);

}  // namespace scenario
