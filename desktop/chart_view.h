#pragma once

class QWidget;

namespace host {
class TChart;
}

namespace desktop {

// The Qt view of a chart control: a stacked bar chart (Qt Charts), one bar
// per category, one coloured stack part and legend entry per series.
QWidget* createChartView(const host::TChart& chart, QWidget* parent);
// Redraws the view from the control's title and data.
void refreshChartView(QWidget* view, const host::TChart& chart);

}  // namespace desktop
