// The chart views of the result windows: drawn smoothly, and given a new chart whenever the results
// change.
#pragma once

#include <QString>

class QChart;
class QChartView;
class QWidget;

namespace sendwell::gui {

QChartView* NewChartView(QWidget* parent, const QString& objectName);

// Shows chart in view and deletes the one it showed before (a view does not own a chart it lets go).
void ReplaceChart(QChartView* view, QChart* chart);

} // namespace sendwell::gui
