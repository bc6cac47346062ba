// The IndexNow part of the Engines dialog: the key (typed or generated), its key file, the check that a
// site serves it, the endpoint and whether runs include IndexNow. The core decides; this only wires.
#pragma once

#include "core/base/connection_settings.h"

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace sendwell::gui {

class IndexNowSection : public QGroupBox {
    Q_OBJECT
public:
    // The key check goes out the way the window's other requests do.
    explicit IndexNowSection(const ConnectionSettings& connection, QWidget* parent = nullptr);

    // False, saying why on the section's result line, when the values cannot be kept as they stand.
    bool validate();
    // Keeps the values in the settings store; false when the store refused one.
    bool save() const;

private slots:
    void generate();
    void writeKeyFile();
    void check();

private:
    ConnectionSettings connection_;
    QLineEdit* key_ = nullptr;
    QLineEdit* keyLocation_ = nullptr;
    QComboBox* endpoint_ = nullptr;
    QLineEdit* site_ = nullptr;
    QCheckBox* inRuns_ = nullptr;
    QCheckBox* changedOnly_ = nullptr;
    QLabel* result_ = nullptr;
};

} // namespace sendwell::gui
