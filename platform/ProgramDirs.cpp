#include "platform/ProgramDirs.h"

#include "platform/System.h"

#include <cstdlib>
#include <mutex>

namespace {
std::mutex GCheckLock;
std::function<bool(const std::filesystem::path&)> GCheck;

bool ExeDirWritable(const std::filesystem::path& ADir) {
    std::function<bool(const std::filesystem::path&)> LCheck;
    {
        std::lock_guard<std::mutex> L(GCheckLock);
        LCheck = GCheck;
    }
    return LCheck ? LCheck(ADir) : IsDirWritable(ADir);
}
} // namespace

void SetDirWritableCheck(std::function<bool(const std::filesystem::path&)> ACheck) {
    std::lock_guard<std::mutex> L(GCheckLock);
    GCheck = std::move(ACheck);
}

TProgramDirs ProgramDirs() {
    const std::filesystem::path LExeDir = GetExecutableDir();
    return ProgramDirsFor(
        LExeDir, [&LExeDir] { return ExeDirWritable(LExeDir); },
        [](const char* AName) { return std::getenv(AName); });
}

std::filesystem::path ConfigDir() {
    return ProgramDirs().ConfigDir;
}

std::filesystem::path LogBaseDir() {
    const std::filesystem::path LExeDir = GetExecutableDir();
    const TProgramDirs LDirs = ProgramDirs();
    if (LDirs.StateDir != LExeDir)
        PlatformMakeStateDir(LDirs.StateDir);
    return LDirs.StateDir;
}
