// The read-only table the result windows list their rows in: whole rows selected one at a time, no
// row numbers, no wrapping, the last column taking the width that is left.
#pragma once

#include <QString>
#include <QStringList>

class QTableWidget;
class QWidget;

namespace sendwell::gui {

QTableWidget* NewResultTable(QWidget* parent, const QString& objectName, const QStringList& headings);

} // namespace sendwell::gui
