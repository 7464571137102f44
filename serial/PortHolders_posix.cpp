#include "serial/PortHolders_posix.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether process APid has a descriptor other than AOwnFd on ADevice; false
// with AUnseen set when its descriptors cannot be looked at.
bool HoldsDevice(int APid, dev_t ADevice, int AOwnFd, bool& AUnseen) {
    const std::string LFds = "/proc/" + std::to_string(APid) + "/fd";
    DIR* LDir = ::opendir(LFds.c_str());
    if (!LDir) {
        // A process that has just ended holds nothing.
        AUnseen = errno != ENOENT;
        return false;
    }
    bool LHolds = false;
    while (dirent* LEntry = ::readdir(LDir)) {
        char* LEnd = nullptr;
        const long LFd = std::strtol(LEntry->d_name, &LEnd, 10);
        if (LEnd == LEntry->d_name || *LEnd != '\0')
            continue;
        if (APid == ::getpid() && LFd == AOwnFd)
            continue;
        struct stat LStat {};
        if (::stat((LFds + "/" + LEntry->d_name).c_str(), &LStat) == 0 && S_ISCHR(LStat.st_mode) &&
            LStat.st_rdev == ADevice) {
            LHolds = true;
            break;
        }
    }
    ::closedir(LDir);
    return LHolds;
}

} // namespace

TPortHolders FindPortHolders(dev_t ADevice, int AOwnFd) {
    TPortHolders LFound;
    DIR* LProc = ::opendir("/proc");
    if (!LProc) {
        LFound.Partial = true;
        return LFound;
    }
    while (dirent* LEntry = ::readdir(LProc)) {
        char* LEnd = nullptr;
        const long LPid = std::strtol(LEntry->d_name, &LEnd, 10);
        if (LEnd == LEntry->d_name || *LEnd != '\0' || LPid <= 0)
            continue;
        bool LUnseen = false;
        if (HoldsDevice(static_cast<int>(LPid), ADevice, AOwnFd, LUnseen)) {
            TPortHolder LHolder;
            LHolder.Pid = static_cast<int>(LPid);
            std::ifstream LComm("/proc/" + std::to_string(LPid) + "/comm");
            std::getline(LComm, LHolder.Name);
            LFound.Holders.push_back(LHolder);
        }
        LFound.Partial = LFound.Partial || LUnseen;
    }
    ::closedir(LProc);
    return LFound;
}

std::string ExclusiveUseReason(const TPortHolders& AFound) {
    if (!AFound.Holders.empty()) {
        std::string LText = "another program holds the port for exclusive use:";
        for (const TPortHolder& LHolder : AFound.Holders)
            LText += " process " + std::to_string(LHolder.Pid) + " (" + LHolder.Name + ")";
        return LText;
    }
    if (AFound.Partial)
        return "the port is marked for exclusive use, and none of the processes this user may "
               "look at has it open (another user's program may hold it, or the mark was left "
               "by a program that ended without clearing it)";
    return "the port is marked for exclusive use, but no program has it open (the mark was left "
           "by a program that ended without clearing it)";
}
