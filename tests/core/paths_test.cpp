// Where the program keeps its answer files: the working directory, unless that is the home folder or
// cannot take files.
#include "core/base/paths.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using sendwell::ChooseProgramFolder;
using sendwell::test::TempDir;

TEST(ProgramFolder, WorkingDirectoryUnlessItIsHomeOrCannotTakeFiles) {
    TempDir dir;
    const fs::path work = dir / "work";
    const fs::path home = dir / "home";
    const fs::path data = dir / "data" / "Sendwell";
    fs::create_directories(work);
    fs::create_directories(home);

    EXPECT_EQ(ChooseProgramFolder(work, home, data), work);
    EXPECT_FALSE(fs::exists(data)) << "the data folder is made only when it is used";
    EXPECT_TRUE(fs::is_empty(work)) << "the probe file is removed again";

    // Started from a menu: the home folder, also when named another way.
    EXPECT_EQ(ChooseProgramFolder(home, home, data), data);
    EXPECT_TRUE(fs::is_directory(data));
    EXPECT_EQ(ChooseProgramFolder(home / "." / "", home, data), data);

    // /proc takes no files, whoever asks; a missing working directory neither.
    EXPECT_EQ(ChooseProgramFolder("/proc", home, data), data);
    EXPECT_EQ(ChooseProgramFolder(dir / "gone", home, data), data);
    EXPECT_EQ(ChooseProgramFolder({}, home, data), data);
}
