#include "desktop/chart_view.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QStackedBarSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "host/ui/chart.h"

namespace desktop {

QWidget* createChartView(const host::TChart& chart, QWidget* parent) {
    auto* view = new QChartView(parent);
    view->setRenderHint(QPainter::Antialiasing);
    view->setFocusPolicy(Qt::NoFocus);
    refreshChartView(view, chart);
    return view;
}

void refreshChartView(QWidget* widget, const host::TChart& chart) {
    auto* view = qobject_cast<QChartView*>(widget);
    if (view == nullptr) {
        return;
    }
    // A new chart each time: Qt Charts keeps axes and series tied to their
    // chart, and the data always change as a whole.
    auto* drawing = new QChart;
    drawing->setTitle(QString::fromStdString(chart.Title()));
    drawing->setAnimationOptions(QChart::NoAnimation);
    drawing->legend()->setAlignment(Qt::AlignBottom);

    auto* series = new QStackedBarSeries;
    for (const host::TChartSeries& one : chart.Series()) {
        auto* set = new QBarSet(QString::fromStdString(one.Name));
        for (const double value : one.Values) {
            *set << value;
        }
        series->append(set);
    }
    drawing->addSeries(series);

    auto* categories = new QBarCategoryAxis;
    for (const std::string& category : chart.Categories()) {
        categories->append(QString::fromStdString(category));
    }
    drawing->addAxis(categories, Qt::AlignBottom);
    series->attachAxis(categories);

    double highest = 0;
    for (int category = 0; category < static_cast<int>(chart.Categories().size()); ++category) {
        highest = std::max(highest, chart.Total(category));
    }
    auto* counts = new QValueAxis;
    // Whole counts on the axis, with a little room above the highest bar.
    const int top = std::max(1, static_cast<int>(std::ceil(highest)));
    counts->setRange(0, top + (top >= 5 ? top / 5 : 1));
    counts->setLabelFormat(QStringLiteral("%d"));
    counts->setTickCount(std::min(top + 2, 11));
    drawing->addAxis(counts, Qt::AlignLeft);
    series->attachAxis(counts);

    QChart* previous = view->chart();
    view->setChart(drawing);
    delete previous;
}

}  // namespace desktop
