#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/data/variant.h"

namespace host::sql {

// 'YYYY-MM-DD hh:mm:ss', the form both engines store and accept; the time is
// rounded to the second.
std::string formatTimestamp(TDateTime when);

// Reads 'YYYY-MM-DD', 'YYYY-MM-DD hh:mm[:ss[.fff...]]' (a 'T' may separate the
// parts; a trailing time zone is ignored). Nothing for any other text.
std::optional<TDateTime> parseTimestamp(std::string_view text);

}  // namespace host::sql
