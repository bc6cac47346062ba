// "Submit to Engines": one checkbox per engine of the catalogue and the IndexNow section; OK stores
// every engine flag and the IndexNow settings.
#pragma once

#include "core/base/connection_settings.h"
#include "core/submit/engine_catalogue.h"

#include <QDialog>
#include <array>
#include <string_view>

class QCheckBox;

namespace sendwell::gui {

class IndexNowSection;

class EnginesDialog : public QDialog {
    Q_OBJECT
public:
    // The connection is the window's, for the IndexNow key check.
    explicit EnginesDialog(const ConnectionSettings& connection, QWidget* parent = nullptr);

    // The checkbox that edits the given engine flag, or null.
    QCheckBox* checkBoxFor(std::string_view flagName) const;

public slots:
    // Writes all 26 flags, "1" for a ticked box and "0" for an unticked one, and the IndexNow settings,
    // then closes. A key that does not fit the rules is refused: the section says why and the dialog stays.
    void accept() override;

private:
    struct Box {
        std::string_view flagName;
        QCheckBox* box = nullptr;
    };
    std::array<Box, kEngineCount> boxes_{};
    IndexNowSection* indexNow_ = nullptr;
};

} // namespace sendwell::gui
