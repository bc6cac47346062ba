// An address opener that keeps what it was asked to open and answers as told, so no test ever hands
// an address to the desktop.
#pragma once

#include "gui/base/address_opener.h"

#include <QString>
#include <QStringList>

namespace sendwell::test {

class RecordingOpener : public sendwell::gui::AddressOpener {
public:
    sendwell::gui::OpenResult open(const QString& address) override {
        opened << address;
        return answer;
    }

    QStringList opened;
    sendwell::gui::OpenResult answer{true, 0};
};

} // namespace sendwell::test
