#include "host/sql/sql_dates.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace host::sql {

namespace {

constexpr std::chrono::sys_days kEpoch =
    std::chrono::sys_days{std::chrono::year{1899} / std::chrono::December / 30};
constexpr double kSecondsPerDay = 86400.0;

bool readNumber(std::string_view text, std::size_t& at, std::size_t digits, int& value) {
    if (at + digits > text.size()) {
        return false;
    }
    value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    at += digits;
    return true;
}

bool expect(std::string_view text, std::size_t& at, char c) {
    if (at < text.size() && text[at] == c) {
        ++at;
        return true;
    }
    return false;
}

// Two or four decimal digits at `at`, or -1.
int twoDigits(const char* at) {
    const unsigned high = static_cast<unsigned char>(at[0]) - '0';
    const unsigned low = static_cast<unsigned char>(at[1]) - '0';
    return high <= 9 && low <= 9 ? static_cast<int>(high * 10 + low) : -1;
}

int fourDigits(const char* at) {
    const int high = twoDigits(at);
    const int low = twoDigits(at + 2);
    return high >= 0 && low >= 0 ? high * 100 + low : -1;
}

// 'YYYY-MM-DD hh:mm:ss' (a 'T' may stand for the space), the form both engines
// store: list reads parse several such texts per row, so this one is read
// without the general parser's steps. Nothing for any other text.
std::optional<TDateTime> parseStoredForm(std::string_view text) {
    if (text.size() < 19 || (text.size() > 19 && text[19] == '.')) {
        return std::nullopt;
    }
    const char* p = text.data();
    if (p[4] != '-' || p[7] != '-' || (p[10] != ' ' && p[10] != 'T') || p[13] != ':' ||
        p[16] != ':') {
        return std::nullopt;
    }
    const int year = fourDigits(p);
    const int month = twoDigits(p + 5);
    const int day = twoDigits(p + 8);
    const int hour = twoDigits(p + 11);
    const int minute = twoDigits(p + 14);
    const int second = twoDigits(p + 17);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year{year},
                                           std::chrono::month{static_cast<unsigned>(month)},
                                           std::chrono::day{static_cast<unsigned>(day)}};
    if (!date.ok()) {
        return std::nullopt;
    }
    const double seconds = hour * 3600.0 + minute * 60.0 + second;
    const double dayCount = static_cast<double>((std::chrono::sys_days{date} - kEpoch).count());
    return TDateTime{dayCount + seconds / kSecondsPerDay};
}

}  // namespace

std::string formatTimestamp(TDateTime when) {
    const auto totalSeconds = static_cast<long long>(std::llround(when.days * kSecondsPerDay));
    long long dayCount = totalSeconds / 86400;
    long long secondOfDay = totalSeconds % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --dayCount;
    }
    const std::chrono::year_month_day date{kEpoch + std::chrono::days{dayCount}};
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02lld:%02lld:%02lld",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), secondOfDay / 3600, secondOfDay / 60 % 60,
                  secondOfDay % 60);
    return buffer;
}

std::optional<TDateTime> parseTimestamp(std::string_view text) {
    if (auto stored = parseStoredForm(text)) {
        return stored;
    }
    std::size_t at = 0;
    int year = 0;
    int month = 0;
    int day = 0;
    if (!readNumber(text, at, 4, year) || !expect(text, at, '-') ||
        !readNumber(text, at, 2, month) || !expect(text, at, '-') ||
        !readNumber(text, at, 2, day)) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year{year},
                                           std::chrono::month{static_cast<unsigned>(month)},
                                           std::chrono::day{static_cast<unsigned>(day)}};
    if (!date.ok()) {
        return std::nullopt;
    }
    double seconds = 0.0;
    if (at < text.size() && (text[at] == ' ' || text[at] == 'T')) {
        ++at;
        int hour = 0;
        int minute = 0;
        int second = 0;
        if (!readNumber(text, at, 2, hour) || !expect(text, at, ':') ||
            !readNumber(text, at, 2, minute) || hour > 23 || minute > 59) {
            return std::nullopt;
        }
        if (expect(text, at, ':')) {
            if (!readNumber(text, at, 2, second) || second > 59) {
                return std::nullopt;
            }
            if (expect(text, at, '.')) {
                double scale = 0.1;
                while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
                    seconds += (text[at] - '0') * scale;
                    scale /= 10;
                    ++at;
                }
            }
        }
        seconds += hour * 3600.0 + minute * 60.0 + second;
    }
    const double dayCount = static_cast<double>((std::chrono::sys_days{date} - kEpoch).count());
    return TDateTime{dayCount + seconds / kSecondsPerDay};
}

}  // namespace host::sql
