#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/ui/controls.h"
#include "host/ui/platform.h"

namespace host {

// The host's save dialog; the path chosen, or nothing when cancelled.
std::optional<std::string> SaveDialog(const SaveFileRequest& request);

// Writes `bytes` to a temporary file next to `path`, then renames it over
// `path`: the path holds either what it held before or all of the new
// contents, never a part. Raises host::Exception naming the path and the
// reason; the temporary file is gone then.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// One CSV field: as it is, or between double quotes (inner quotes doubled)
// when it holds ';', '"', a line break or a carriage return.
std::string CsvField(std::string_view text);

// The grid as a spreadsheet reads it in Brazil: UTF-8 with a byte-order mark,
// ';' between fields, "\r\n" after each line; a line of column titles, then
// one line per row with the texts the grid shows in its cells (the fields'
// display formats: 1.234,56, 31/12/2026 14:05).
std::string GridToCsv(const TDBGrid& grid);

}  // namespace host
