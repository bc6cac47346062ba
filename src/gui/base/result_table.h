// The parts the result windows share: the read-only table they list their rows in, and the foot
// with the run's progress and the window's buttons.
#pragma once

#include <QString>
#include <QStringList>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QVBoxLayout;
class QWidget;

namespace sendwell::gui {

// Whole rows selected one at a time, no row numbers, no wrapping, the last column taking the width
// that is left.
QTableWidget* NewResultTable(QWidget* parent, const QString& objectName, const QStringList& headings);

// Adds two rows to layout: the progress bar with Cancel beside it, then the status line with Export
// and Close at its right.
void AddRunFoot(QVBoxLayout* layout, QProgressBar* progress, QPushButton* cancel, QLabel* status,
                QPushButton* exportButton, QPushButton* close);

} // namespace sendwell::gui
