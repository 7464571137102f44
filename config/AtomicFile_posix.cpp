#include "config/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {
namespace fs = std::filesystem;

std::string Reason(const std::string& AWhat) {
    return AWhat + ": " + std::strerror(errno);
}

bool WriteAll(int AFd, std::string_view ABytes) {
    while (!ABytes.empty()) {
        const ssize_t LDone = ::write(AFd, ABytes.data(), ABytes.size());
        if (LDone < 0 && errno == EINTR)
            continue;
        if (LDone <= 0)
            return false;
        ABytes.remove_prefix(static_cast<size_t>(LDone));
    }
    return true;
}

// The file a path names after its symbolic links (the last one may name
// nothing yet): replacing it keeps the links. False with errno set.
bool FollowLinks(fs::path& APath) {
    // As many links as the system itself follows.
    for (int LHops = 0; LHops < 40; ++LHops) {
        struct stat LInfo {};
        if (::lstat(APath.c_str(), &LInfo) != 0)
            return errno == ENOENT;
        if (!S_ISLNK(LInfo.st_mode))
            return true;
        std::string LTarget(static_cast<size_t>(LInfo.st_size > 0 ? LInfo.st_size : 255) + 1, '\0');
        const ssize_t LLength = ::readlink(APath.c_str(), LTarget.data(), LTarget.size());
        if (LLength < 0)
            return false;
        LTarget.resize(static_cast<size_t>(LLength));
        const fs::path LNext(LTarget);
        APath = LNext.is_absolute() ? LNext : APath.parent_path() / LNext;
    }
    errno = ELOOP;
    return false;
}

// A new file of a name of its own beside AFile, made as a plain create
// makes a file: its mode is 0666 less the process's umask.
int CreateTemporary(const fs::path& AFile, std::string& ATemp) {
    const fs::path LDir = AFile.has_parent_path() ? AFile.parent_path() : fs::path(".");
    std::random_device LSeed;
    for (int LTry = 0; LTry < 100; ++LTry) {
        ATemp = (LDir / ("." + AFile.filename().string() + "." + std::to_string(LSeed()))).string();
        const int LFd = ::open(ATemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (LFd >= 0 || errno != EEXIST)
            return LFd;
    }
    return -1;
}
} // namespace

bool ReplaceFileAtomically(const std::filesystem::path& AFile, std::string_view ABytes,
                           std::string& AError) {
    AError.clear();
    fs::path LFile = AFile;
    if (!FollowLinks(LFile)) {
        AError = Reason("cannot follow the links of " + AFile.string());
        return false;
    }
    const fs::path LDir = LFile.has_parent_path() ? LFile.parent_path() : fs::path(".");
    std::string LTemp;
    const int LFd = CreateTemporary(LFile, LTemp);
    if (LFd < 0) {
        AError = Reason("cannot create a file in " + LDir.string());
        return false;
    }
    struct stat LOld {};
    const bool LOk =
        (::stat(LFile.c_str(), &LOld) != 0 || ::fchmod(LFd, LOld.st_mode & 07777) == 0) &&
        WriteAll(LFd, ABytes) && ::fsync(LFd) == 0;
    if (!LOk)
        AError = Reason("cannot write " + LTemp);
    if (::close(LFd) != 0 && LOk)
        AError = Reason("cannot write " + LTemp);
    if (!AError.empty() || ::rename(LTemp.c_str(), LFile.c_str()) != 0) {
        if (AError.empty())
            AError = Reason("cannot replace " + LFile.string());
        ::unlink(LTemp.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const int LDirFd = ::open(LDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (LDirFd >= 0) {
        ::fsync(LDirFd);
        ::close(LDirFd);
    }
    return true;
}
