#pragma once

#include <string>
#include <vector>

#include "host/ui/controls.h"

namespace host {

// One series of a chart: a name (the legend's text) and one value per category.
struct TChartSeries {
    std::string Name;
    std::vector<double> Values;
    friend bool operator==(const TChartSeries&, const TChartSeries&) = default;
};

// Stacked bar chart: the categories run along the axis, and each bar stacks
// the values of every series for its category. The view draws it; the screen
// only gives the data.
class TChart : public TWinControl {
public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TChart"; }
    bool AcceptsFocus() const override { return false; }

    const std::string& Title() const { return m_title; }
    void SetTitle(const std::string& value);
    // Raises EInvalidOperation when a series has not one value per category.
    void SetData(std::vector<std::string> categories, std::vector<TChartSeries> series);
    void Clear() { SetData({}, {}); }

    const std::vector<std::string>& Categories() const { return m_categories; }
    const std::vector<TChartSeries>& Series() const { return m_series; }
    // Sum of the series at one category (0-based); 0 outside.
    double Total(int category) const;
    // The data as one line: "CATEGORY: SERIES=VALUE, ...; ..." with the
    // values of each category that are not zero, in series order; numbers
    // with a decimal comma. "" without categories.
    std::string DataText() const;

private:
    std::string m_title;
    std::vector<std::string> m_categories;
    std::vector<TChartSeries> m_series;
};

}  // namespace host
