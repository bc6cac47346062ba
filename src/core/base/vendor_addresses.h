// The vendor's addresses as the program shows and opens them, built from the host configuration.
#pragma once

#include <string>

namespace sendwell {

// "http://" and the vendor's web host, e.g. "http://www.sendwellpro.example".
std::string VendorWebAddress();
// The support mailbox at the vendor's mail domain, e.g. "support@sendwellpro.example".
std::string VendorSupportEmail();
// The online help page on the vendor's web host.
std::string OnlineHelpAddress();

} // namespace sendwell
