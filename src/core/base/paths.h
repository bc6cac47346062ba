// Where the program's files are: the README's "Where things live" in code. Every other file takes a
// location from here rather than naming a folder or a file of its own.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace sendwell {

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
std::filesystem::path ConfigHome();
// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
std::filesystem::path DataHome();
// $XDG_DATA_HOME/Sendwell: the URL database's folder, and the program folder when the working one will
// not do.
std::filesystem::path DataFolder();

// --- Settings ---

// File that holds the given settings section: $XDG_CONFIG_HOME/<section>.conf.
std::filesystem::path SettingsFileFor(std::string_view section);
// The same as text. The store looks it up for every read, and making a path each time cost more than
// the read, so it is made again only when the section or a variable it comes from has changed. The
// text stays valid until the thread's next call.
const std::string& SettingsFileText(std::string_view section);
// The program's own settings: $XDG_CONFIG_HOME/Linkcaster!.conf.
std::filesystem::path SettingsFile();
// Taken by every write of a settings file: "<file>.lock" beside it.
std::filesystem::path SettingsLockFile(const std::filesystem::path& settingsFile);

// File of the window-size area: $XDG_CONFIG_HOME/Quenby/<program name>.conf.
std::filesystem::path ProfileFile();
// The program name the window-size file is named after: "sendwell" unless the program says otherwise.
void SetProgramName(std::string_view name);
std::string ProgramName();

// --- The URL database and what lies beside it ---

// $XDG_DATA_HOME/Sendwell/linkroll2.dat.
std::filesystem::path DefaultDatabasePath();
// "<database>.lock": held by whoever may save the database.
std::filesystem::path DatabaseLockPath(const std::filesystem::path& databaseFile);
// Marks of the names beside the data file, each followed by the time (YYYYMMDD-HHMMSS): an unreadable
// file moved aside, and a file that loaded altered kept as it was.
inline constexpr std::string_view kUnreadableMark = ".unreadable-";
inline constexpr std::string_view kKeptCopyMark = ".bak-";
// What IndexNow last accepted of each address: indexnow-state.json beside the database.
std::filesystem::path DefaultIndexNowStatePath();
// The run history: history.sqlite beside the database (with SQLite's "-wal" and "-shm" beside it).
std::filesystem::path DefaultHistoryPath();

// --- The program folder and what lies in it ---

// The working directory at start, unless files cannot be created there or it is the home folder
// itself (as when the program is started from a desktop menu, which would scatter its files over
// the home folder); then dataFolder, created if need be. Empty when neither can be had.
std::filesystem::path ChooseProgramFolder(const std::filesystem::path& workingDir,
                                          const std::filesystem::path& home,
                                          const std::filesystem::path& dataFolder);

// ChooseProgramFolder with this process's working directory, $HOME and DataFolder().
std::filesystem::path ProgramFolder();

// The folder the running program's own executable is installed in; empty when it cannot be told.
std::filesystem::path ProgramInstallFolder();

// The answer store: "submitok" in the program folder.
std::filesystem::path AnswerStorePath(const std::filesystem::path& programFolder);
// The failure log: msg_dump.txt in the program folder.
inline constexpr std::string_view kFailureLogName = "msg_dump.txt";
std::filesystem::path FailureLogPath(const std::filesystem::path& programFolder);
// The main window list's background picture: bkimage.bmp in the program folder.
std::filesystem::path BackgroundPicturePath(const std::filesystem::path& programFolder);

// --- Elsewhere ---

// Where an upgrade's installer is downloaded: a fresh private folder is made in DataFolder() for each.
std::filesystem::path UpgradeDownloadParent();
// The backup the meta-tag writer keeps of a page it changes: the page's full name with "_OLD" after
// it (index.html -> index.html_OLD).
std::filesystem::path PageBackupPath(const std::filesystem::path& page);

} // namespace sendwell
