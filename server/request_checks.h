#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "host/data/variant.h"
#include "ore06100.pb.h"

namespace ore::server {

// Widths of the columns the requests name, in characters.
inline constexpr std::size_t branchWidth = 4;
inline constexpr std::size_t orderNumberWidth = 10;
inline constexpr std::size_t sequenceWidth = 2;
inline constexpr std::size_t justificationWidth = 4;
inline constexpr std::size_t operatorWidth = 12;
inline constexpr std::size_t flagWidth = 1;
// The observation column has no width of its own; a memo longer than this is
// no observation an operator typed.
inline constexpr std::size_t observationWidth = 32000;

// Raises ServiceError (InvalidArgument) naming `field` when `value` is not
// valid UTF-8, holds a NUL or has more than `width` characters (code points,
// not bytes).
void checkText(std::string_view value, std::string_view field, std::size_t width);

// Whether `when` is a finite date of the years 1 to 9999.
bool isValidDate(host::TDateTime when);
// Raises ServiceError (InvalidArgument) naming `field` for any other date.
void checkDate(host::TDateTime when, std::string_view field);

// The first `characters` characters of `value`, with "..." when it goes on;
// control characters and bytes that are not UTF-8 show as '?'. For quoting a
// value in a refusal.
std::string quotePrefix(std::string_view value, std::size_t characters = 32);

// `value` fit for one log line: control characters and bytes that are not
// UTF-8 escaped (\n, \x01), cut after `maxBytes` with the count of bytes left out.
std::string escapeForLog(std::string_view value, std::size_t maxBytes = 512);

// Each request checked before any database work; raise ServiceError
// (InvalidArgument) with the text the operator sees.
void checkRequest(const ORE06100::GetEncomendaRequest& request);
void checkRequest(const ORE06100::GetItemEncRequest& request);
void checkRequest(const ORE06100::GetEncomendaFilhaRequest& request);
void checkRequest(const ORE06100::CancAprovaEncRequest& request);
void checkRequest(const ORE06100::PreviewCancAprovaEncRequest& request);
void checkRequest(const ORE06100::SignOnRequest& request);

// A password longer than this is no password an operator typed.
inline constexpr std::size_t passwordWidth = 256;

}  // namespace ore::server
