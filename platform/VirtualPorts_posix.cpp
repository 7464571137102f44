#include "platform/VirtualPorts.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A folder of ours: a real folder (no link), owned by us, writable by nobody
// else.
bool IsPrivateDir(const fs::path& ADir) {
    struct stat LStat {};
    return lstat(ADir.c_str(), &LStat) == 0 && S_ISDIR(LStat.st_mode) &&
           LStat.st_uid == geteuid() && (LStat.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool MakePrivateDir(const fs::path& ADir) {
    if (mkdir(ADir.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    return IsPrivateDir(ADir);
}

} // namespace

fs::path VirtualPortsDir(bool ACreate) {
    fs::path LBase;
    fs::path LDir;
    if (const char* LOverride = std::getenv("SCALEPROBE_PORTS_DIR"); LOverride && *LOverride) {
        LDir = LOverride;
    } else if (const char* LRuntime = std::getenv("XDG_RUNTIME_DIR"); LRuntime && *LRuntime) {
        LBase = fs::path(LRuntime) / "scaleprobe";
        LDir = LBase / "ports";
    } else {
        LBase = fs::path("/tmp") / ("scaleprobe-" + std::to_string(geteuid()));
        LDir = LBase / "ports";
    }
    if (ACreate && !LBase.empty() && !MakePrivateDir(LBase))
        return {};
    if (ACreate ? !MakePrivateDir(LDir) : !IsPrivateDir(LDir))
        return {};
    return LDir;
}

bool VirtualPortOwnerAlive(uint32_t AProcessId) {
    return kill(static_cast<pid_t>(AProcessId), 0) == 0 || errno == EPERM;
}

bool ReadRecordLine(const fs::path& APath, std::string& ALine) {
    // Opened without blocking and checked on the open file, so a FIFO put
    // in the folder is never waited on and nothing is swapped in between.
    const int LFd = open(APath.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (LFd < 0)
        return false;
    struct stat LStat {};
    bool LOk = fstat(LFd, &LStat) == 0 && S_ISREG(LStat.st_mode);
    std::string LText;
    // A record is one short line; more than a few kilobytes is no record.
    char LBuf[4096];
    while (LOk && LText.size() < sizeof LBuf) {
        const ssize_t LRead = read(LFd, LBuf, sizeof LBuf);
        if (LRead < 0 && errno == EINTR)
            continue;
        if (LRead < 0)
            LOk = false;
        if (LRead <= 0)
            break;
        LText.append(LBuf, static_cast<size_t>(LRead));
    }
    close(LFd);
    if (!LOk)
        return false;
    ALine = LText.substr(0, LText.find('\n'));
    return true;
}

bool IsTerminalDevicePath(const fs::path& APath) {
    struct stat LStat {};
    return stat(APath.c_str(), &LStat) == 0 && S_ISCHR(LStat.st_mode);
}
