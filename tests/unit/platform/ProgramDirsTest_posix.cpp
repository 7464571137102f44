#include "platform/ProgramDirs.h"
#include "tests/support/ScratchDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace fs = std::filesystem;

namespace {

// An environment of its own for ProgramDirsFor.
TGetEnv Env(std::map<std::string, std::string> AVars) {
    return [LVars = std::move(AVars)](const char* AName) -> const char* {
        const auto LIt = LVars.find(AName);
        return LIt == LVars.end() ? nullptr : LIt->second.c_str();
    };
}

const fs::path CExeDir = "/opt/scaleprobe/bin";

} // namespace

TEST(ProgramDirs, AWritableProgramFolderKeepsEverythingBesideTheProgram) {
    const TProgramDirs L = ProgramDirsFor(
        CExeDir, [] { return true; }, Env({{"HOME", "/home/u"}, {"XDG_CONFIG_HOME", "/x/c"}}));
    EXPECT_EQ(L.ConfigDir, CExeDir);
    EXPECT_EQ(L.StateDir, CExeDir);
}

TEST(ProgramDirs, AReadOnlyProgramFolderMovesToTheXdgFolders) {
    const TProgramDirs LSet = ProgramDirsFor(
        CExeDir, [] { return false; },
        Env({{"HOME", "/home/u"}, {"XDG_CONFIG_HOME", "/x/c"}, {"XDG_STATE_HOME", "/x/s"}}));
    EXPECT_EQ(LSet.ConfigDir, fs::path("/x/c/scaleprobe"));
    EXPECT_EQ(LSet.StateDir, fs::path("/x/s/scaleprobe"));

    // Unset, empty or relative variables fall back to the defaults.
    for (const char* LValue : {static_cast<const char*>(nullptr), "", "rel/dir"}) {
        std::map<std::string, std::string> LVars{{"HOME", "/home/u"}};
        if (LValue) {
            LVars["XDG_CONFIG_HOME"] = LValue;
            LVars["XDG_STATE_HOME"] = LValue;
        }
        const TProgramDirs L = ProgramDirsFor(
            CExeDir, [] { return false; }, Env(LVars));
        EXPECT_EQ(L.ConfigDir, fs::path("/home/u/.config/scaleprobe")) << (LValue ? LValue : "-");
        EXPECT_EQ(L.StateDir, fs::path("/home/u/.local/state/scaleprobe"))
            << (LValue ? LValue : "-");
    }
}

TEST(ProgramDirs, WritabilityIsJudgedByCreatingAFile) {
    const TScratchDir LScratch("sp-dirs");
    const fs::path& LDir = LScratch.Path();
    EXPECT_TRUE(IsDirWritable(LDir));
    EXPECT_TRUE(fs::is_empty(LDir)); // the trial file is gone again
    EXPECT_FALSE(IsDirWritable(LDir / "missing"));
    std::ofstream(LDir / "file") << "x";
    EXPECT_FALSE(IsDirWritable(LDir / "file"));
    // Not even root may create files here.
    EXPECT_FALSE(IsDirWritable("/proc"));
}
