#include "platform/ProgramDirs.h"

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr char CSubDir[] = "scaleprobe";

// The user's home: $HOME, else the password database; empty without one.
fs::path HomeDir(const TGetEnv& AGetEnv) {
    if (const char* LHome = AGetEnv("HOME"); LHome && LHome[0] == '/')
        return LHome;
    std::vector<char> LBuf(16384);
    struct passwd LEntry {};
    struct passwd* LResult = nullptr;
    if (getpwuid_r(getuid(), &LEntry, LBuf.data(), LBuf.size(), &LResult) == 0 && LResult &&
        LResult->pw_dir && LResult->pw_dir[0] == '/')
        return LResult->pw_dir;
    return {};
}

// An XDG base folder: the variable when it holds an absolute path (a relative
// one is ignored, as the XDG rules say), else the default under the home.
fs::path BaseDir(const TGetEnv& AGetEnv, const char* AVariable, const fs::path& AHome,
                 const char* ADefault) {
    if (const char* LValue = AGetEnv(AVariable); LValue && LValue[0] == '/')
        return LValue;
    if (AHome.empty())
        return {};
    return AHome / ADefault;
}

} // namespace

TProgramDirs ProgramDirsFor(const fs::path& AExeDir, const std::function<bool()>& AExeDirWritable,
                            const TGetEnv& AGetEnv) {
    TProgramDirs LDirs{AExeDir, AExeDir};
    if (AExeDirWritable())
        return LDirs;
    const fs::path LHome = HomeDir(AGetEnv);
    if (fs::path L = BaseDir(AGetEnv, "XDG_CONFIG_HOME", LHome, ".config"); !L.empty())
        LDirs.ConfigDir = L / CSubDir;
    if (fs::path L = BaseDir(AGetEnv, "XDG_STATE_HOME", LHome, ".local/state"); !L.empty())
        LDirs.StateDir = L / CSubDir;
    return LDirs;
}

bool IsDirWritable(const fs::path& ADir) {
    std::string LTemplate = (ADir / ".scaleprobe-write-XXXXXX").string();
    const int LFd = mkostemp(LTemplate.data(), O_CLOEXEC);
    if (LFd < 0)
        return false;
    close(LFd);
    unlink(LTemplate.c_str());
    return true;
}

void PlatformMakeStateDir(const fs::path& ADir) {
    // Each missing folder on the way is made 0700, as the XDG rules ask of
    // base folders; one that exists is left as it is.
    fs::path LPath;
    for (const fs::path& LPart : ADir) {
        LPath /= LPart;
        if (LPath.has_relative_path())
            mkdir(LPath.c_str(), 0700);
    }
}
