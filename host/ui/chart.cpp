#include "host/ui/chart.h"

#include "host/data/formatting.h"

namespace host {

void TChart::SetTitle(const std::string& value) {
    if (m_title == value) {
        return;
    }
    m_title = value;
    Changed(TProp::Caption);
}

void TChart::SetData(std::vector<std::string> categories, std::vector<TChartSeries> series) {
    for (const TChartSeries& one : series) {
        if (one.Values.size() != categories.size()) {
            throw EInvalidOperation("A série " + one.Name + " do gráfico " + Name() + " tem " +
                                    std::to_string(one.Values.size()) + " valores para " +
                                    std::to_string(categories.size()) + " categorias.");
        }
    }
    m_categories = std::move(categories);
    m_series = std::move(series);
    Changed(TProp::Data);
}

double TChart::Total(int category) const {
    if (category < 0 || static_cast<std::size_t>(category) >= m_categories.size()) {
        return 0;
    }
    double total = 0;
    for (const TChartSeries& one : m_series) {
        total += one.Values[static_cast<std::size_t>(category)];
    }
    return total;
}

std::string TChart::DataText() const {
    std::string text;
    for (std::size_t category = 0; category < m_categories.size(); ++category) {
        text += (category == 0 ? "" : "; ") + m_categories[category] + ":";
        bool first = true;
        for (const TChartSeries& one : m_series) {
            const double value = one.Values[category];
            if (value == 0) {
                continue;
            }
            text += (first ? " " : ", ") + one.Name + "=" + FloatToStr(value);
            first = false;
        }
    }
    return text;
}

}  // namespace host
