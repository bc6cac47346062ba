// Hosts of the engines and outside services. Each has a compiled-in default and can be overridden by
// the value "Host.<key>" in the settings section (e.g. Host.Engine02 = 127.0.0.1:8080), which is how
// tests and demos point the program at a loopback server. A host value may carry a port.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

class SettingsSnapshot;

struct HostDefault {
    std::string_view key;         // e.g. "Engine02", "AlexaConfirm", "GoogleSearch", "Vendor"
    std::string_view defaultHost; // host name or "a.b.c.d", optionally ":port"
};

// Every configurable host, in a stable order.
const std::vector<HostDefault>& HostDefaults();

// The effective host for key: the "Host.<key>" setting when non-empty, else the default.
// An unknown key yields "".
std::string HostFor(std::string_view key);
// The same from settings already read.
std::string HostFor(std::string_view key, const SettingsSnapshot& settings);

// The settings value name that overrides key ("Host." + key).
std::string HostSettingName(std::string_view key);

// Key of engine position 1..26 ("Engine01".."Engine26").
std::string EngineHostKey(int position);

} // namespace sendwell
