// "META Keywords Found": the address, title, description and keywords of an analysed page and one line
// of advice. The fields may be edited; nothing typed there is used.
#pragma once

#include "core/meta/meta_analysis.h"

#include <QDialog>

namespace sendwell::gui {

class MetaFindingsDialog : public QDialog {
    Q_OBJECT
public:
    MetaFindingsDialog(const sendwell::MetaFindings& findings, const std::string& advice,
                       QWidget* parent = nullptr);
};

} // namespace sendwell::gui
