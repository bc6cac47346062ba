#include "core/base/vendor_addresses.h"

#include "core/base/hosts.h"

namespace sendwell {

std::string VendorWebAddress() {
    return "http://" + HostFor("Vendor");
}

std::string VendorSupportEmail() {
    return "support@" + HostFor("VendorMail");
}

std::string OnlineHelpAddress() {
    return VendorWebAddress() + "/help/sendwell_help.html";
}

} // namespace sendwell
