#include "config/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
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
} // namespace

bool ReplaceFileAtomically(const std::filesystem::path& AFile, std::string_view ABytes,
                           std::string& AError) {
    const std::filesystem::path LDir =
        AFile.has_parent_path() ? AFile.parent_path() : std::filesystem::path(".");
    std::string LTemp = (LDir / ("." + AFile.filename().string() + ".XXXXXX")).string();
    const int LFd = ::mkstemp(LTemp.data());
    if (LFd < 0) {
        AError = Reason("cannot create a file in " + LDir.string());
        return false;
    }
    struct stat LOld {};
    const bool LOk =
        (::stat(AFile.c_str(), &LOld) != 0 || ::fchmod(LFd, LOld.st_mode & 07777) == 0) &&
        WriteAll(LFd, ABytes) && ::fsync(LFd) == 0;
    if (!LOk)
        AError = Reason("cannot write " + LTemp);
    if (::close(LFd) != 0 && LOk)
        AError = Reason("cannot write " + LTemp);
    if (!AError.empty() || ::rename(LTemp.c_str(), AFile.c_str()) != 0) {
        if (AError.empty())
            AError = Reason("cannot replace " + AFile.string());
        ::unlink(LTemp.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const int LDirFd = ::open(LDir.c_str(), O_RDONLY | O_DIRECTORY);
    if (LDirFd >= 0) {
        ::fsync(LDirFd);
        ::close(LDirFd);
    }
    return true;
}
