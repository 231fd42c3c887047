#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>

#include "host/ui/controls.h"
#include "host/ui/form.h"

namespace host {

namespace {

using namespace std::chrono;

constexpr sys_days kDayZero = sys_days(year{1899} / December / 30);

bool onlyBlanksAndSeparators(const std::string& text) {
    for (const char c : text) {
        if (c != ' ' && c != '/' && c != ':' && c != '_') {
            return false;
        }
    }
    return true;
}

// Reads "d/m/yyyy" with an optional " hh:mm"; nothing when it is not a real date.
std::optional<double> parseDate(const std::string& text) {
    unsigned dayNumber = 0, monthNumber = 0, hour = 0, minute = 0;
    int yearNumber = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), " %2u/%2u/%4d%n", &dayNumber, &monthNumber, &yearNumber,
                    &consumed) != 3) {
        return std::nullopt;
    }
    std::string rest = text.substr(static_cast<std::size_t>(consumed));
    bool withTime = false;
    if (rest.find_first_not_of(' ') != std::string::npos) {
        int timeConsumed = 0;
        if (std::sscanf(rest.c_str(), " %2u:%2u%n", &hour, &minute, &timeConsumed) != 2 ||
            rest.find_first_not_of(' ', static_cast<std::size_t>(timeConsumed)) !=
                std::string::npos ||
            hour > 23 || minute > 59) {
            return std::nullopt;
        }
        withTime = true;
    }
    if (yearNumber < 100) {
        yearNumber += 2000;
    }
    const year_month_day date{year{yearNumber}, month{monthNumber}, day{dayNumber}};
    if (!date.ok() || yearNumber > 9999) {
        return std::nullopt;
    }
    double days = static_cast<double>((sys_days(date) - kDayZero).count());
    if (withTime) {
        days += (hour * 60.0 + minute) / (24.0 * 60.0);
    }
    return days;
}

std::string formatDate(double days, bool withTime) {
    const double whole = std::floor(days);
    const sys_days date = kDayZero + std::chrono::days(static_cast<int>(whole));
    const year_month_day ymd(date);
    char text[32];
    if (withTime) {
        const auto minutes = static_cast<int>(std::lround((days - whole) * 24.0 * 60.0));
        std::snprintf(text, sizeof text, "%02u/%02u/%04d %02d:%02d", unsigned(ymd.day()),
                      unsigned(ymd.month()), int(ymd.year()), minutes / 60 % 24, minutes % 60);
    } else {
        std::snprintf(text, sizeof text, "%02u/%02u/%04d", unsigned(ymd.day()),
                      unsigned(ymd.month()), int(ymd.year()));
    }
    return text;
}

}  // namespace

TDateTime TDateEditPlus::GetDate() const {
    const auto days = parseDate(Text());
    if (!days) {
        return {};
    }
    return TDateTime{SaveTime ? *days : std::floor(*days)};
}

void TDateEditPlus::SetDate(TDateTime value) {
    if (value.days == 0.0) {
        SetText("");
        return;
    }
    SetText(formatDate(SaveTime ? value.days : std::floor(value.days), SaveTime));
}

void TDateEditPlus::CheckValidDate() {
    if (onlyBlanksAndSeparators(Text()) || parseDate(Text())) {
        return;
    }
    Application().Platform().MessageDialog("Data inválida.", TMsgDlgType::mtError, mbOK);
    throw EAbort();
}

}  // namespace host
