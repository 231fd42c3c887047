#pragma once

#include <string>
#include <string_view>

#include "host/data/variant.h"

namespace host {

// Numbers laid out the way the platform does for a Brazilian installation:
// "." groups thousands and "," separates decimals.

// Lays out value by a format of "#" and "0" digit placeholders, "," (thousands
// grouping on) and "." (decimal point); up to three sections
// "positive;negative;zero"; quoted text and other characters are copied.
// Rounds half away from zero on the value's first 15 significant digits.
// An empty format gives FloatToStr.
std::string FormatFloat(std::string_view format, double value);

// Shortest text of the value with up to 15 significant digits and a decimal
// comma: 1234.5 -> "1234,5", 1e20 -> "1E20".
std::string FloatToStr(double value);

// value with `decimals` decimals, thousands grouped: (1234.5, 2) -> "1.234,50".
std::string FormatBrazilianNumber(double value, int decimals);

// Reads a number typed with a decimal comma and optional "." thousands
// ("1.234,56"), or written with a decimal point ("1234.56"). False for
// anything else, including an empty text.
bool TryStrToFloat(std::string_view text, double& value);

// Lays out value by an edit mask "<mask>;<save literals>;<blank>". With save
// literals 0 the value holds only the typed characters and the mask's literals
// are inserted; otherwise the value already holds them. Missing characters
// show as blanks; "!" fills from the right.
std::string FormatMaskText(std::string_view editMask, std::string_view value);

// Calendar helpers over TDateTime (days since 30/12/1899, fraction = time).
// Encode* raise EConvertError for an impossible date or time.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond = 0);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
void DecodeDate(TDateTime when, int& year, int& month, int& day);
void DecodeDateTime(TDateTime when, int& year, int& month, int& day, int& hour, int& minute,
                    int& second);
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Format letters: d dd (day), m mm (month; minutes right after an hour), mmm
// mmmm (Portuguese month names), ddd dddd (week-day names), yy yyyy, h hh,
// n nn, s ss, z zzz, c (date and time); '...' and "..." are copied as they
// are; any other character is a literal.
std::string FormatDateTime(std::string_view format, TDateTime when);
// "dd/mm/yyyy", followed by " hh:nn:ss" unless the time is midnight.
std::string DateTimeToStr(TDateTime when);
// "dd/mm/yyyy".
std::string DateToStr(TDateTime when);

// Reads "d/m/yyyy" (one or two digits for day and month; a two-digit year
// falls within 50 years of today; "d/m" takes the current year). False for an
// impossible date or any other text.
bool TryStrToDate(std::string_view text, TDateTime& result);
// Reads a date optionally followed by "hh:nn" or "hh:nn:ss".
bool TryStrToDateTime(std::string_view text, TDateTime& result);

// Today at midnight, local time; and the local time now.
TDateTime Date();
TDateTime Now();

}  // namespace host
