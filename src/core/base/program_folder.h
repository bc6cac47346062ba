// The program folder, where answer files and the failure log live, and the program's install folder.
#pragma once

#include <filesystem>

namespace sendwell {

// The working directory at start, unless files cannot be created there or it is the home folder
// itself (as when the program is started from a desktop menu, which would scatter its files over
// the home folder); then dataFolder, created if need be. Empty when neither can be had.
std::filesystem::path ChooseProgramFolder(const std::filesystem::path& workingDir,
                                          const std::filesystem::path& home,
                                          const std::filesystem::path& dataFolder);

// ChooseProgramFolder with this process's working directory, $HOME and $XDG_DATA_HOME/Sendwell.
std::filesystem::path ProgramFolder();

// The folder the running program's own executable is installed in; empty when it cannot be told.
std::filesystem::path ProgramInstallFolder();

} // namespace sendwell
