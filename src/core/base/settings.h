// The settings store: the program's per-user text values, kept in plain files. Only core/base calls it;
// everything else reads and writes settings through the typed ProgramSettings (program_settings.h).
//
// Two areas, each a plain INI-like file under $XDG_CONFIG_HOME (default ~/.config):
//   - the program's own section "Linkcaster!" (engine flags, connection values, hosts, ...);
//   - the window-size area "Quenby/<program name>", whose subsection "66" holds the main window's
//     size ("CX", "CY").
// Values are byte-exact strings. Every write re-reads the file under an advisory lock and replaces it
// atomically, so two running copies of the program never drop each other's values.
#pragma once

#include "core/base/paths.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace sendwell {

// The program's settings section.
inline constexpr std::string_view kSettingsSection = "Linkcaster!";
// The window-size area's maker part, and the subsections of the main window and the rank check's
// results window in it (each window's outer size in pixels after a resize; never read back).
inline constexpr std::string_view kFrameworkMaker = "Quenby";
inline constexpr std::string_view kWindowSizeSection = "66";
inline constexpr std::string_view kRankWindowSizeSection = "a5";

// Every value of a settings file, keyed "<section>\n<name>"; the first entry of a name in its section wins.
using SettingsValueTable = std::unordered_map<std::string, std::string>;

// The values of a section's settings file as they are at one look. Reads that belong together (an engine's
// flag and its host, for one request) cost one stat of the file between them, and none of their own.
class SettingsSnapshot {
public:
    explicit SettingsSnapshot(std::string_view section);
    ~SettingsSnapshot();
    // As ReadSetting; the text stays valid while the snapshot lives.
    std::string_view Read(std::string_view name) const;
    // As ReadFlag.
    int Flag(std::string_view name) const;

private:
    std::string section_;
    std::shared_ptr<const SettingsValueTable> values_;
};

// Stores text under section/name. False, silently, when the store cannot be written.
// Each value is one line of its file, so a text holding CR or LF is refused (false, the old value
// stays), as is a name that could not be read back as written: empty, holding "=", CR or LF, or
// starting with "[", "#" or ";". A section name must be non-empty, without "/", CR or LF.
bool WriteSetting(std::string_view section, std::string_view name, std::string_view text);
// The stored text, or "" when missing, unreadable, 1,000 bytes or longer, or exactly "-".
std::string ReadSetting(std::string_view section, std::string_view name);
// 0 for exactly "0", 1 for exactly "1", -1 for anything else (missing included).
int ReadFlag(std::string_view section, std::string_view name);

// The window-size area (ProfileFile()), integer values in a subsection.
bool WriteWindowSetting(std::string_view subsection, std::string_view name, int value);
std::optional<int> ReadWindowSetting(std::string_view subsection, std::string_view name);

} // namespace sendwell
