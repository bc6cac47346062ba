// How every request of the program reaches the network: the user's proxy settings, read once at
// start-up, and the values that travel with them. The page fetch, the status check and the submissions
// all take this one struct; each decides which of its values apply to it.
#pragma once

#include <string>

namespace sendwell {

struct ConnectionSettings {
    bool useProxy = false;   // "bProxyOn": through proxyName; otherwise the environment's proxy applies
    std::string proxyName;   // "m_ProxyName", "address:port"; empty with useProxy set means no proxy
    std::string proxyBypass; // "m_ProxyBypass": hosts sent direct (see BypassesProxy, core/web/proxy_rules.h)
    int bufSize = 8096;      // "i_BufSize"; only written to the failure log
    // Not a setting: trust these certificates instead of the system's (tests' own servers).
    std::string caFile;
};

} // namespace sendwell
