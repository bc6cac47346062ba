// Opening an address with the desktop's program for it: web pages in the browser, mail addresses in
// the mail program, files in their viewer. Windows take an opener so that tests can record instead.
#pragma once

#include <QString>

namespace sendwell::gui {

struct OpenResult {
    bool opened = false;
    // When not opened: why, as one of the codes of core/base/open_address.h.
    int failureCode = 0;
};

class AddressOpener {
public:
    virtual ~AddressOpener() = default;
    // Hands address over and returns at once; success means the desktop accepted it.
    virtual OpenResult open(const QString& address) = 0;
};

// The desktop's own handlers (QDesktopServices). A failure to hand over counts as "no application
// associated"; a local file that does not exist, or an address that is no address, as "file not found".
class DesktopAddressOpener : public AddressOpener {
public:
    OpenResult open(const QString& address) override;
};

// The opener windows use unless they are given another.
AddressOpener& DesktopOpener();

} // namespace sendwell::gui
