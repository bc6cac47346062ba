#include "gui/base/result_table.h"

#include <QHeaderView>
#include <QTableWidget>

namespace sendwell::gui {

QTableWidget* NewResultTable(QWidget* parent, const QString& objectName, const QStringList& headings) {
    auto* table = new QTableWidget(0, static_cast<int>(headings.size()), parent);
    table->setObjectName(objectName);
    table->setHorizontalHeaderLabels(headings);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->hide();
    table->setWordWrap(false);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

} // namespace sendwell::gui
