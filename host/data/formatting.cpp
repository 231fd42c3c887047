#include "host/data/formatting.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <system_error>
#include <vector>

#include "host/data/exceptions.h"

namespace host {

namespace {

constexpr char kThousandSeparator = '.';
constexpr char kDecimalSeparator = ',';
constexpr std::int64_t kMillisecondsPerDay = 86'400'000;
// Days from 1970-01-01 (the civil-day origin below) to the platform's day zero.
constexpr std::int64_t kDayZeroOffset = 25569;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// ---------------------------------------------------------------- numbers

// A non-negative number as decimal digits: value = 0.d1d2d3... x 10^exponent.
// Empty digits stand for zero.
struct DecimalDigits {
    std::string digits;
    int exponent = 0;
};

void stripTrailingZeros(DecimalDigits& number) {
    while (!number.digits.empty() && number.digits.back() == '0') {
        number.digits.pop_back();
    }
    if (number.digits.empty()) {
        number.exponent = 0;
    }
}

// The 15 significant digits a double reliably holds, so 2.675 counts as
// 2.675 and not as the 2.67499... that binary storage makes of it.
DecimalDigits toDecimalDigits(double magnitude) {
    DecimalDigits number;
    if (magnitude == 0.0 || !std::isfinite(magnitude)) {
        return number;
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", magnitude);
    const std::string_view text(buffer);
    const auto exponentAt = text.find('e');
    number.digits.push_back(text[0]);
    number.digits.append(text.substr(2, exponentAt - 2));
    int exponent = 0;
    const auto exponentText = text.substr(exponentAt + 1);
    const char* begin = exponentText.data();
    if (*begin == '+') {
        ++begin;
    }
    std::from_chars(begin, exponentText.data() + exponentText.size(), exponent);
    number.exponent = exponent + 1;
    stripTrailingZeros(number);
    return number;
}

// Rounds half away from zero to `decimals` places after the decimal point.
void roundToDecimals(DecimalDigits& number, int decimals) {
    if (number.digits.empty()) {
        return;
    }
    const int keep = number.exponent + decimals;
    if (keep >= static_cast<int>(number.digits.size())) {
        return;
    }
    if (keep < 0) {
        number.digits.clear();
        number.exponent = 0;
        return;
    }
    const bool roundUp = number.digits[static_cast<std::size_t>(keep)] >= '5';
    number.digits.resize(static_cast<std::size_t>(keep));
    if (roundUp) {
        int position = keep - 1;
        while (position >= 0 && number.digits[static_cast<std::size_t>(position)] == '9') {
            number.digits[static_cast<std::size_t>(position)] = '0';
            --position;
        }
        if (position < 0) {
            number.digits.insert(number.digits.begin(), '1');
            ++number.exponent;
        } else {
            ++number.digits[static_cast<std::size_t>(position)];
        }
    }
    stripTrailingZeros(number);
}

std::string integerDigits(const DecimalDigits& number) {
    std::string result;
    for (int i = 0; i < number.exponent; ++i) {
        result.push_back(i < static_cast<int>(number.digits.size())
                             ? number.digits[static_cast<std::size_t>(i)]
                             : '0');
    }
    return result;
}

std::string fractionDigits(const DecimalDigits& number, int decimals) {
    std::string result;
    for (int k = 0; k < decimals; ++k) {
        const int index = number.exponent + k;
        result.push_back(index >= 0 && index < static_cast<int>(number.digits.size())
                             ? number.digits[static_cast<std::size_t>(index)]
                             : '0');
    }
    return result;
}

std::string groupThousands(const std::string& digits) {
    std::string result;
    const std::size_t count = digits.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0 && (count - i) % 3 == 0) {
            result.push_back(kThousandSeparator);
        }
        result.push_back(digits[i]);
    }
    return result;
}

// One section of a number format, taken apart.
struct NumberLayout {
    std::string prefix;
    std::string suffix;
    bool hasPlaceholders = false;
    bool thousands = false;
    int minIntegerDigits = 0;
    int minDecimals = 0;
    int maxDecimals = 0;
};

// Splits "pos;neg;zero" at semicolons outside quotes.
std::vector<std::string_view> splitSections(std::string_view format) {
    std::vector<std::string_view> sections;
    std::size_t start = 0;
    char quote = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';') {
            sections.push_back(format.substr(start, i - start));
            start = i + 1;
        }
    }
    sections.push_back(format.substr(start));
    return sections;
}

NumberLayout parseNumberLayout(std::string_view section) {
    NumberLayout layout;
    // Locate the first and last digit placeholders outside quotes.
    std::size_t first = std::string_view::npos;
    std::size_t last = std::string_view::npos;
    char quote = 0;
    for (std::size_t i = 0; i < section.size(); ++i) {
        const char c = section[i];
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '0' || c == '#') {
            if (first == std::string_view::npos) {
                first = i;
            }
            last = i;
        }
    }
    auto appendLiterals = [](std::string_view text, std::string& out) {
        char open = 0;
        for (const char c : text) {
            if (open != 0) {
                if (c == open) {
                    open = 0;
                } else {
                    out.push_back(c);
                }
            } else if (c == '\'' || c == '"') {
                open = c;
            } else {
                out.push_back(c);
            }
        }
    };
    if (first == std::string_view::npos) {
        appendLiterals(section, layout.prefix);
        return layout;
    }
    layout.hasPlaceholders = true;
    appendLiterals(section.substr(0, first), layout.prefix);
    // A decimal point right after the last placeholder still belongs to the number.
    std::size_t end = last + 1;
    appendLiterals(section.substr(end), layout.suffix);

    bool afterPoint = false;
    bool seenZero = false;
    int decimalsSeen = 0;
    for (std::size_t i = first; i < end; ++i) {
        const char c = section[i];
        if (c == '.' && !afterPoint) {
            afterPoint = true;
        } else if (c == ',' && !afterPoint) {
            layout.thousands = true;
        } else if (c == '0' || c == '#') {
            if (afterPoint) {
                ++decimalsSeen;
                if (c == '0') {
                    layout.minDecimals = decimalsSeen;
                }
            } else {
                if (c == '0') {
                    seenZero = true;
                }
                if (seenZero) {
                    ++layout.minIntegerDigits;
                }
            }
        }
    }
    layout.maxDecimals = decimalsSeen;
    return layout;
}

std::string layOutNumber(const NumberLayout& layout, const DecimalDigits& number) {
    if (!layout.hasPlaceholders) {
        return layout.prefix;
    }
    std::string integerPart = integerDigits(number);
    while (static_cast<int>(integerPart.size()) < layout.minIntegerDigits) {
        integerPart.insert(integerPart.begin(), '0');
    }
    std::string fraction = fractionDigits(number, layout.maxDecimals);
    while (static_cast<int>(fraction.size()) > layout.minDecimals && fraction.back() == '0') {
        fraction.pop_back();
    }
    std::string result = layout.prefix;
    result += layout.thousands ? groupThousands(integerPart) : integerPart;
    if (!fraction.empty()) {
        result.push_back(kDecimalSeparator);
        result += fraction;
    }
    result += layout.suffix;
    return result;
}

// ------------------------------------------------------------------ dates

std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

void civilFromDays(std::int64_t days, int& year, int& month, int& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    year =
        static_cast<int>(static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0));
}

// Whole days and the milliseconds into that day, the time rounded to the
// millisecond (so 10:29:59.9996 reads as 10:30).
struct DayAndTime {
    std::int64_t day = 0;
    std::int64_t milliseconds = 0;
};

DayAndTime splitDateTime(TDateTime when) {
    DayAndTime parts;
    const double whole = std::trunc(when.days);
    parts.day = static_cast<std::int64_t>(whole);
    parts.milliseconds =
        static_cast<std::int64_t>(std::llround(std::fabs(when.days - whole) * kMillisecondsPerDay));
    if (parts.milliseconds >= kMillisecondsPerDay) {
        parts.milliseconds -= kMillisecondsPerDay;
        ++parts.day;
    }
    return parts;
}

struct DateTimeParts {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    int weekDay = 0;  // 0 = Sunday
    bool hasTime = false;
};

DateTimeParts decompose(TDateTime when) {
    const DayAndTime split = splitDateTime(when);
    DateTimeParts parts;
    civilFromDays(split.day - kDayZeroOffset, parts.year, parts.month, parts.day);
    std::int64_t ms = split.milliseconds;
    parts.hasTime = ms != 0;
    parts.millisecond = static_cast<int>(ms % 1000);
    ms /= 1000;
    parts.second = static_cast<int>(ms % 60);
    ms /= 60;
    parts.minute = static_cast<int>(ms % 60);
    parts.hour = static_cast<int>(ms / 60);
    // Day zero, 30/12/1899, was a Saturday.
    parts.weekDay = static_cast<int>(((split.day + 6) % 7 + 7) % 7);
    return parts;
}

constexpr std::array<const char*, 12> kShortMonthNames = {"jan", "fev", "mar", "abr", "mai", "jun",
                                                          "jul", "ago", "set", "out", "nov", "dez"};
constexpr std::array<const char*, 12> kLongMonthNames = {
    "janeiro", "fevereiro", "março",    "abril",   "maio",     "junho",
    "julho",   "agosto",    "setembro", "outubro", "novembro", "dezembro"};
constexpr std::array<const char*, 7> kShortDayNames = {"dom", "seg", "ter", "qua",
                                                       "qui", "sex", "sáb"};
constexpr std::array<const char*, 7> kLongDayNames = {
    "domingo",      "segunda-feira", "terça-feira", "quarta-feira",
    "quinta-feira", "sexta-feira",   "sábado"};

void appendNumber(std::string& out, int value, int width) {
    std::string digits = std::to_string(value);
    while (static_cast<int>(digits.size()) < width) {
        digits.insert(digits.begin(), '0');
    }
    out += digits;
}

void appendShortDate(std::string& out, const DateTimeParts& parts) {
    appendNumber(out, parts.day, 2);
    out.push_back('/');
    appendNumber(out, parts.month, 2);
    out.push_back('/');
    appendNumber(out, parts.year, 4);
}

void appendLongTime(std::string& out, const DateTimeParts& parts) {
    appendNumber(out, parts.hour, 2);
    out.push_back(':');
    appendNumber(out, parts.minute, 2);
    out.push_back(':');
    appendNumber(out, parts.second, 2);
}

bool parseSmallNumber(std::string_view text, int& value) {
    if (text.empty() || text.size() > 4) {
        return false;
    }
    for (const char c : text) {
        if (!isDigit(c)) {
            return false;
        }
    }
    value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return true;
}

int currentYear() {
    int year = 0;
    int month = 0;
    int day = 0;
    DecodeDate(Date(), year, month, day);
    return year;
}

bool parseTime(std::string_view text, double& fraction) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ':') {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (parts.size() < 2 || parts.size() > 3) {
        return false;
    }
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!parseSmallNumber(parts[0], hour) || parts[0].size() > 2 ||
        !parseSmallNumber(parts[1], minute) || parts[1].size() > 2) {
        return false;
    }
    if (parts.size() == 3 && (!parseSmallNumber(parts[2], second) || parts[2].size() > 2)) {
        return false;
    }
    if (hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    fraction = EncodeTime(hour, minute, second).days;
    return true;
}

// -------------------------------------------------------------- edit masks

// One position of an edit mask: a literal or a place for a typed character.
struct MaskItem {
    bool input = false;
    std::string literal;  // one UTF-8 character
    char letterCase = 0;  // '>' upper, '<' lower, 0 as typed
};

struct ParsedMask {
    std::vector<MaskItem> items;
    bool saveLiterals = true;
    bool reverse = false;
};

std::size_t utf8Length(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if ((lead >> 5) == 0x6) {
        return 2;
    }
    if ((lead >> 4) == 0xE) {
        return 3;
    }
    if ((lead >> 3) == 0x1E) {
        return 4;
    }
    return 1;
}

std::vector<std::string_view> utf8Characters(std::string_view text) {
    std::vector<std::string_view> characters;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t length =
            std::min(utf8Length(static_cast<unsigned char>(text[i])), text.size() - i);
        characters.push_back(text.substr(i, length));
        i += length;
    }
    return characters;
}

ParsedMask parseMask(std::string_view editMask) {
    ParsedMask mask;
    const auto characters = utf8Characters(editMask);
    char letterCase = 0;
    std::size_t i = 0;
    for (; i < characters.size(); ++i) {
        const std::string_view ch = characters[i];
        const char c = ch.size() == 1 ? ch[0] : '\0';
        if (c == ';') {
            break;
        }
        switch (c) {
            case '!':
                mask.reverse = true;
                continue;
            case '>':
                letterCase = '>';
                continue;
            case '<':
                if (i + 1 < characters.size() && characters[i + 1] == ">") {
                    letterCase = 0;
                    ++i;
                } else {
                    letterCase = '<';
                }
                continue;
            case '\\':
                if (i + 1 < characters.size()) {
                    ++i;
                    mask.items.push_back({false, std::string(characters[i]), 0});
                }
                continue;
            case '0':
            case '9':
            case '#':
            case 'L':
            case 'l':
            case 'A':
            case 'a':
            case 'C':
            case 'c':
                mask.items.push_back({true, {}, letterCase});
                continue;
            case '_':
                mask.items.push_back({false, " ", 0});
                continue;
            default:
                mask.items.push_back({false, std::string(ch), 0});
        }
    }
    // Second section: "0" means the stored value carries no literals.
    if (i < characters.size() && i + 1 < characters.size() && characters[i + 1] == "0") {
        mask.saveLiterals = false;
    }
    return mask;
}

std::string applyCase(std::string_view ch, char letterCase) {
    std::string result(ch);
    if (result.size() == 1) {
        if (letterCase == '>') {
            result[0] = upperAscii(result[0]);
        } else if (letterCase == '<') {
            result[0] = lowerAscii(result[0]);
        }
    }
    return result;
}

}  // namespace

// ------------------------------------------------------------------ numbers

std::string FormatFloat(std::string_view format, double value) {
    if (format.empty()) {
        return FloatToStr(value);
    }
    if (!std::isfinite(value)) {
        return std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF");
    }
    const auto sections = splitSections(format);
    NumberLayout layout = parseNumberLayout(sections[0]);
    DecimalDigits number = toDecimalDigits(std::fabs(value));
    roundToDecimals(number, layout.maxDecimals);
    const bool isZero = number.digits.empty();
    const bool negative = value < 0 && !isZero;

    if (isZero && sections.size() >= 3 && !sections[2].empty()) {
        return layOutNumber(parseNumberLayout(sections[2]), DecimalDigits{});
    }
    if (negative && sections.size() >= 2 && !sections[1].empty()) {
        layout = parseNumberLayout(sections[1]);
        number = toDecimalDigits(std::fabs(value));
        roundToDecimals(number, layout.maxDecimals);
        return layOutNumber(layout, number);
    }
    std::string result = layOutNumber(layout, number);
    return negative ? "-" + result : result;
}

std::string FloatToStr(double value) {
    if (!std::isfinite(value)) {
        return std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF");
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    std::string text(buffer);
    std::string result;
    const auto exponentAt = text.find('e');
    const std::string mantissa = text.substr(0, exponentAt);
    for (const char c : mantissa) {
        result.push_back(c == '.' ? kDecimalSeparator : c);
    }
    if (exponentAt != std::string::npos) {
        result.push_back('E');
        std::size_t i = exponentAt + 1;
        if (text[i] == '-') {
            result.push_back('-');
        }
        if (text[i] == '-' || text[i] == '+') {
            ++i;
        }
        while (i + 1 < text.size() && text[i] == '0') {
            ++i;
        }
        result += text.substr(i);
    }
    if (result == "-0") {
        return "0";
    }
    return result;
}

std::string FormatBrazilianNumber(double value, int decimals) {
    std::string format = "#,##0";
    if (decimals > 0) {
        format += '.';
        format.append(static_cast<std::size_t>(decimals), '0');
    }
    return FormatFloat(format, value);
}

bool TryStrToFloat(std::string_view text, double& value) {
    const std::string_view clean = trim(text);
    if (clean.empty()) {
        return false;
    }
    std::string normalized;
    const bool decimalComma = clean.find(',') != std::string_view::npos;
    for (const char c : clean) {
        if (decimalComma && c == '.') {
            continue;
        }
        normalized.push_back(c == ',' ? '.' : c);
    }
    std::size_t start = 0;
    if (normalized[0] == '+') {
        start = 1;
    }
    if (start >= normalized.size()) {
        return false;
    }
    for (std::size_t i = start; i < normalized.size(); ++i) {
        const char c = normalized[i];
        if (!isDigit(c) && c != '.' && c != '-' && c != 'e' && c != 'E' && c != '+') {
            return false;
        }
    }
    double parsed = 0;
    const char* begin = normalized.data() + start;
    const char* end = normalized.data() + normalized.size();
    const auto [stop, error] = std::from_chars(begin, end, parsed);
    if (error != std::errc() || stop != end || !std::isfinite(parsed)) {
        return false;
    }
    value = parsed;
    return true;
}

// --------------------------------------------------------------- edit masks

std::string FormatMaskText(std::string_view editMask, std::string_view value) {
    const ParsedMask mask = parseMask(editMask);
    const auto characters = utf8Characters(value);
    const std::size_t count = characters.size();
    std::vector<std::string> pieces;
    pieces.reserve(mask.items.size());

    if (!mask.reverse) {
        std::size_t next = 0;
        for (const MaskItem& item : mask.items) {
            if (!item.input && !mask.saveLiterals) {
                pieces.push_back(item.literal);
            } else if (next < count) {
                pieces.push_back(applyCase(characters[next++], item.letterCase));
            } else {
                pieces.push_back(item.input ? " " : item.literal);
            }
        }
        std::string result;
        for (const auto& piece : pieces) {
            result += piece;
        }
        for (; next < count; ++next) {
            result += characters[next];
        }
        return result;
    }

    // Filled from the right: the last typed character goes to the last place.
    std::size_t remaining = count;
    for (auto it = mask.items.rbegin(); it != mask.items.rend(); ++it) {
        const MaskItem& item = *it;
        if (!item.input && !mask.saveLiterals) {
            pieces.push_back(item.literal);
        } else if (remaining > 0) {
            pieces.push_back(applyCase(characters[--remaining], item.letterCase));
        } else {
            pieces.push_back(item.input ? " " : item.literal);
        }
    }
    std::string result;
    for (std::size_t i = 0; i < remaining; ++i) {
        result += characters[i];
    }
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
        result += *it;
    }
    return result;
}

// -------------------------------------------------------------------- dates

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) {
        return 0;
    }
    return month == 2 && IsLeapYear(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month)) {
        return false;
    }
    result.days = static_cast<double>(
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
        kDayZeroOffset);
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime result;
    if (!TryEncodeDate(year, month, day, result)) {
        throw EConvertError("Invalid argument to date encode");
    }
    return result;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        millisecond < 0 || millisecond > 999) {
        throw EConvertError("Invalid argument to time encode");
    }
    const std::int64_t ms = ((hour * 60LL + minute) * 60LL + second) * 1000LL + millisecond;
    return TDateTime{static_cast<double>(ms) / static_cast<double>(kMillisecondsPerDay)};
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
    const TDateTime date = EncodeDate(year, month, day);
    const TDateTime time = EncodeTime(hour, minute, second);
    // Before day zero the time still counts forward from the date.
    return TDateTime{date.days >= 0 ? date.days + time.days : date.days - time.days};
}

void DecodeDate(TDateTime when, int& year, int& month, int& day) {
    const DateTimeParts parts = decompose(when);
    year = parts.year;
    month = parts.month;
    day = parts.day;
}

void DecodeDateTime(TDateTime when, int& year, int& month, int& day, int& hour, int& minute,
                    int& second) {
    const DateTimeParts parts = decompose(when);
    year = parts.year;
    month = parts.month;
    day = parts.day;
    hour = parts.hour;
    minute = parts.minute;
    second = parts.second;
}

std::string FormatDateTime(std::string_view format, TDateTime when) {
    const DateTimeParts parts = decompose(when);
    std::string out;
    bool afterHour = false;
    std::size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        if (c == '\'' || c == '"') {
            const auto close = format.find(c, i + 1);
            const auto stop = close == std::string_view::npos ? format.size() : close;
            out += format.substr(i + 1, stop - i - 1);
            i = stop == format.size() ? stop : stop + 1;
            continue;
        }
        const char letter = lowerAscii(c);
        std::size_t run = 1;
        while (i + run < format.size() && lowerAscii(format[i + run]) == letter) {
            ++run;
        }
        const int n = static_cast<int>(run);
        switch (letter) {
            case 'd':
                if (n == 1 || n == 2) {
                    appendNumber(out, parts.day, n);
                } else if (n == 3) {
                    out += kShortDayNames[static_cast<std::size_t>(parts.weekDay)];
                } else if (n == 4) {
                    out += kLongDayNames[static_cast<std::size_t>(parts.weekDay)];
                } else {
                    appendShortDate(out, parts);
                }
                afterHour = false;
                break;
            case 'm':
                if (afterHour && n <= 2) {
                    appendNumber(out, parts.minute, n);
                } else if (n <= 2) {
                    appendNumber(out, parts.month, n);
                } else if (n == 3) {
                    out += kShortMonthNames[static_cast<std::size_t>(parts.month - 1)];
                } else {
                    out += kLongMonthNames[static_cast<std::size_t>(parts.month - 1)];
                }
                afterHour = false;
                break;
            case 'y':
                if (n <= 2) {
                    appendNumber(out, parts.year % 100, 2);
                } else {
                    appendNumber(out, parts.year, 4);
                }
                afterHour = false;
                break;
            case 'h':
                appendNumber(out, parts.hour, n >= 2 ? 2 : 1);
                afterHour = true;
                break;
            case 'n':
                appendNumber(out, parts.minute, n >= 2 ? 2 : 1);
                afterHour = false;
                break;
            case 's':
                appendNumber(out, parts.second, n >= 2 ? 2 : 1);
                afterHour = false;
                break;
            case 'z':
                appendNumber(out, parts.millisecond, n >= 3 ? 3 : 1);
                afterHour = false;
                break;
            case 'c':
                appendShortDate(out, parts);
                if (parts.hasTime) {
                    out.push_back(' ');
                    appendLongTime(out, parts);
                }
                afterHour = false;
                break;
            case 't':
                if (n >= 2) {
                    appendLongTime(out, parts);
                } else {
                    appendNumber(out, parts.hour, 2);
                    out.push_back(':');
                    appendNumber(out, parts.minute, 2);
                }
                afterHour = false;
                break;
            default:
                out.append(format.substr(i, run));
        }
        i += run;
    }
    return out;
}

std::string DateTimeToStr(TDateTime when) {
    const DateTimeParts parts = decompose(when);
    std::string out;
    appendShortDate(out, parts);
    if (parts.hasTime) {
        out.push_back(' ');
        appendLongTime(out, parts);
    }
    return out;
}

std::string DateToStr(TDateTime when) {
    std::string out;
    appendShortDate(out, decompose(when));
    return out;
}

bool TryStrToDate(std::string_view text, TDateTime& result) {
    const std::string_view clean = trim(text);
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= clean.size(); ++i) {
        if (i == clean.size() || clean[i] == '/') {
            parts.push_back(clean.substr(start, i - start));
            start = i + 1;
        }
    }
    if (parts.size() < 2 || parts.size() > 3) {
        return false;
    }
    int day = 0;
    int month = 0;
    int year = 0;
    if (!parseSmallNumber(parts[0], day) || parts[0].size() > 2 ||
        !parseSmallNumber(parts[1], month) || parts[1].size() > 2) {
        return false;
    }
    if (parts.size() == 2) {
        year = currentYear();
    } else {
        const std::size_t yearDigits = parts[2].size();
        if (!parseSmallNumber(parts[2], year) || yearDigits == 3) {
            return false;
        }
        if (yearDigits <= 2) {
            // Two-digit years land within 50 years of today.
            const int centuryBase = currentYear() - 50;
            year += centuryBase / 100 * 100;
            if (year < centuryBase) {
                year += 100;
            }
        }
    }
    return TryEncodeDate(year, month, day, result);
}

bool TryStrToDateTime(std::string_view text, TDateTime& result) {
    const std::string_view clean = trim(text);
    const auto space = clean.find(' ');
    if (space == std::string_view::npos) {
        return TryStrToDate(clean, result);
    }
    TDateTime date;
    double time = 0;
    if (!TryStrToDate(clean.substr(0, space), date) ||
        !parseTime(trim(clean.substr(space)), time)) {
        return false;
    }
    result.days = date.days >= 0 ? date.days + time : date.days - time;
    return true;
}

TDateTime Date() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

TDateTime Now() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    const TDateTime date = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    const TDateTime time = EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59),
                                      static_cast<int>(milliseconds));
    return TDateTime{date.days + time.days};
}

}  // namespace host
