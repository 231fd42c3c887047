#pragma once

// Figures measured against their floors in interleaved pairs, and their
// report as a table and as JSON.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The q-quantile (0..1) of the samples, nearest rank.
inline double quantile(std::vector<double> samples, double q) {
    if (samples.empty()) {
        return 0.0;
    }
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<std::size_t>(q * static_cast<double>(samples.size()));
    return samples[std::min(samples.size() - 1, rank)];
}

inline double median(std::vector<double> samples) {
    if (samples.empty()) {
        return 0.0;
    }
    std::sort(samples.begin(), samples.end());
    const std::size_t middle = samples.size() / 2;
    return samples.size() % 2 == 1 ? samples[middle]
                                   : (samples[middle - 1] + samples[middle]) / 2.0;
}

// One figure beside its floor: a value of each per pair, the ratio of each pair.
struct Figure {
    std::string engine;     // "sqlite" or "postgresql"
    std::string name;       // what is measured
    std::string floorName;  // what it is measured against
    std::string unit = "ms";
    std::vector<double> values;
    std::vector<double> floors;
    // Target on the median of the ratios (figure / floor), when there is one.
    std::optional<double> ratioTarget;
    // Target on an absolute median or percentile, with what it is.
    std::optional<double> absoluteTarget;
    std::string absoluteWhat;  // "p50", "p99", "calls/s >=", ...
    std::optional<double> absoluteValue;

    std::vector<double> ratios() const {
        std::vector<double> result;
        for (std::size_t i = 0; i < values.size() && i < floors.size(); ++i) {
            result.push_back(floors[i] > 0 ? values[i] / floors[i] : 0.0);
        }
        return result;
    }
    double ratioMedian() const { return median(ratios()); }
    double ratioMin() const {
        const auto r = ratios();
        return r.empty() ? 0.0 : *std::min_element(r.begin(), r.end());
    }
    double ratioMax() const {
        const auto r = ratios();
        return r.empty() ? 0.0 : *std::max_element(r.begin(), r.end());
    }
    // Whether every target given holds; nullopt when the figure has none.
    std::optional<bool> met() const {
        std::optional<bool> result;
        if (ratioTarget && !floors.empty()) {
            result = ratioMedian() <= *ratioTarget;
        }
        if (absoluteTarget && absoluteValue) {
            const bool atLeast = absoluteWhat.find(">=") != std::string::npos;
            const bool ok =
                atLeast ? *absoluteValue >= *absoluteTarget : *absoluteValue <= *absoluteTarget;
            result = result.value_or(true) && ok;
        }
        return result;
    }
};

// Runs floor, figure, floor, figure... `pairs` times; each run returns its value.
inline void interleave(Figure& figure, int pairs, const std::function<double()>& floor,
                       const std::function<double()>& value) {
    for (int pair = 0; pair < pairs; ++pair) {
        figure.floors.push_back(floor());
        figure.values.push_back(value());
    }
}

inline void printHeader() {
    std::printf(
        "| engine | figure | median | floor | floor median | ratio [spread] | target | met |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
}

// One row of a Markdown table.
inline void printFigure(const Figure& f) {
    std::printf("| %s | %s | %.3f %s | %s | %.3f | %.2f [%.2f..%.2f] |", f.engine.c_str(),
                f.name.c_str(), median(f.values), f.unit.c_str(), f.floorName.c_str(),
                median(f.floors), f.ratioMedian(), f.ratioMin(), f.ratioMax());
    std::string target;
    if (f.ratioTarget) {
        char text[64];
        std::snprintf(text, sizeof text, "ratio <= %.2f", *f.ratioTarget);
        target = text;
    }
    if (f.absoluteTarget && f.absoluteValue) {
        char text[96];
        std::snprintf(text, sizeof text, "%s%s %.3f (is %.3f)", target.empty() ? "" : "; ",
                      f.absoluteWhat.c_str(), *f.absoluteTarget, *f.absoluteValue);
        target += text;
    }
    const auto ok = f.met();
    std::printf(" %s | %s |\n", target.empty() ? "-" : target.c_str(),
                ok ? (*ok ? "yes" : "NO") : "-");
}

inline std::string jsonText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

inline std::string jsonNumbers(const std::vector<double>& values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%s%.6g", i == 0 ? "" : ", ", values[i]);
        out += buffer;
    }
    return out + "]";
}

inline std::string jsonNumber(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6g", value);
    return buffer;
}

// {"context": {...}, "figures": [...]} for comparing commits.
inline bool writeJson(const std::string& path,
                      const std::vector<std::pair<std::string, std::string>>& context,
                      const std::deque<Figure>& figures) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        return false;
    }
    std::fprintf(file, "{\n  \"context\": {");
    for (std::size_t i = 0; i < context.size(); ++i) {
        std::fprintf(file, "%s\n    %s: %s", i == 0 ? "" : ",", jsonText(context[i].first).c_str(),
                     jsonText(context[i].second).c_str());
    }
    std::fprintf(file, "\n  },\n  \"figures\": [");
    for (std::size_t i = 0; i < figures.size(); ++i) {
        const Figure& f = figures[i];
        std::fprintf(file, "%s\n    {\"engine\": %s, \"name\": %s, \"floor\": %s, \"unit\": %s,",
                     i == 0 ? "" : ",", jsonText(f.engine).c_str(), jsonText(f.name).c_str(),
                     jsonText(f.floorName).c_str(), jsonText(f.unit).c_str());
        std::fprintf(file, " \"median\": %s, \"floor_median\": %s,",
                     jsonNumber(median(f.values)).c_str(), jsonNumber(median(f.floors)).c_str());
        std::fprintf(file, " \"ratio_median\": %s, \"ratio_min\": %s, \"ratio_max\": %s,",
                     jsonNumber(f.ratioMedian()).c_str(), jsonNumber(f.ratioMin()).c_str(),
                     jsonNumber(f.ratioMax()).c_str());
        std::fprintf(file, " \"values\": %s, \"floors\": %s", jsonNumbers(f.values).c_str(),
                     jsonNumbers(f.floors).c_str());
        if (f.ratioTarget) {
            std::fprintf(file, ", \"ratio_target\": %s", jsonNumber(*f.ratioTarget).c_str());
        }
        if (f.absoluteTarget && f.absoluteValue) {
            std::fprintf(file,
                         ", \"absolute\": %s, \"absolute_value\": %s, \"absolute_target\": %s",
                         jsonText(f.absoluteWhat).c_str(), jsonNumber(*f.absoluteValue).c_str(),
                         jsonNumber(*f.absoluteTarget).c_str());
        }
        if (const auto ok = f.met()) {
            std::fprintf(file, ", \"met\": %s", *ok ? "true" : "false");
        }
        std::fprintf(file, "}");
    }
    std::fprintf(file, "\n  ]\n}\n");
    return std::fclose(file) == 0;
}

}  // namespace bench
