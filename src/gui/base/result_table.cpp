#include "gui/base/result_table.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

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

void AddRunFoot(QVBoxLayout* layout, QProgressBar* progress, QPushButton* cancel, QLabel* status,
                QPushButton* exportButton, QPushButton* close) {
    auto* progressRow = new QHBoxLayout();
    progressRow->addWidget(progress, 1);
    progressRow->addWidget(cancel);
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(status, 1);
    buttons->addWidget(exportButton);
    buttons->addWidget(close);
    layout->addLayout(progressRow);
    layout->addLayout(buttons);
}

} // namespace sendwell::gui
