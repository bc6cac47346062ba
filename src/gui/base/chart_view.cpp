#include "gui/base/chart_view.h"

#include <QChart>
#include <QChartView>
#include <QPainter>

namespace sendwell::gui {

QChartView* NewChartView(QWidget* parent, const QString& objectName) {
    auto* view = new QChartView(parent);
    view->setObjectName(objectName);
    view->setRenderHint(QPainter::Antialiasing);
    return view;
}

void ReplaceChart(QChartView* view, QChart* chart) {
    QChart* previous = view->chart();
    view->setChart(chart);
    delete previous;
}

} // namespace sendwell::gui
