#include "platform/ProgramDirs.h"
#include "platform/System.h"

#include <gtest/gtest.h>

// Windows keeps the program's files beside it, without even trying the folder.
TEST(ProgramDirs, WindowsKeepsEverythingBesideTheProgram) {
    bool LAsked = false;
    const std::filesystem::path LExeDir = L"C:\\Program Files\\scaleprobe";
    const TProgramDirs L = ProgramDirsFor(
        LExeDir,
        [&LAsked] {
            LAsked = true;
            return false;
        },
        [](const char*) { return "C:\\x"; });
    EXPECT_EQ(L.ConfigDir, LExeDir);
    EXPECT_EQ(L.StateDir, LExeDir);
    EXPECT_FALSE(LAsked);
    EXPECT_EQ(LogBaseDir(), GetExecutableDir());
}
