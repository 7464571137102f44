#include "config/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What sits at a path that is not a regular file.
const char* KindOf(mode_t AMode) {
    if (S_ISDIR(AMode))
        return "a folder, not a regular file";
    if (S_ISFIFO(AMode))
        return "a FIFO, not a regular file";
    if (S_ISCHR(AMode))
        return "a character device, not a regular file";
    if (S_ISBLK(AMode))
        return "a block device, not a regular file";
    if (S_ISSOCK(AMode))
        return "a socket, not a regular file";
    return "not a regular file";
}

TFileBytes Failure(int AErrno) {
    TFileBytes LResult;
    LResult.Result =
        AErrno == ENOENT || AErrno == ENOTDIR ? TFileRead::frMissing : TFileRead::frFailed;
    LResult.Error = std::strerror(AErrno);
    return LResult;
}

TFileBytes NotRegular(mode_t AMode) {
    TFileBytes LResult;
    LResult.Result = TFileRead::frNotRegular;
    LResult.Error = KindOf(AMode);
    return LResult;
}

} // namespace

TFileBytes ReadRegularFile(const std::filesystem::path& APath, size_t AMaxBytes) {
    struct stat LInfo {};
    if (::stat(APath.c_str(), &LInfo) != 0)
        return Failure(errno);
    if (!S_ISREG(LInfo.st_mode))
        return NotRegular(LInfo.st_mode);
    // What was a file a moment ago may be a FIFO now: the open does not wait,
    // and the descriptor is asked again.
    const int LFd = ::open(APath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (LFd < 0)
        return Failure(errno);
    TFileBytes LResult;
    if (::fstat(LFd, &LInfo) != 0 || !S_ISREG(LInfo.st_mode)) {
        LResult = S_ISREG(LInfo.st_mode) ? Failure(errno) : NotRegular(LInfo.st_mode);
        ::close(LFd);
        return LResult;
    }
    LResult.Result = TFileRead::frRead;
    LResult.Size = static_cast<uint64_t>(LInfo.st_size);
    // One byte more than asked tells a file that has grown since.
    const size_t LWant = AMaxBytes + 1;
    LResult.Bytes.resize(std::min<uint64_t>(LResult.Size, AMaxBytes) + 1);
    size_t LHave = 0;
    while (LHave < LWant) {
        if (LHave == LResult.Bytes.size())
            LResult.Bytes.resize(std::min(LWant, LHave * 2 + 4096));
        const ssize_t LRead =
            ::read(LFd, LResult.Bytes.data() + LHave, LResult.Bytes.size() - LHave);
        if (LRead < 0 && errno == EINTR)
            continue;
        if (LRead < 0) {
            LResult = Failure(errno);
            ::close(LFd);
            return LResult;
        }
        if (LRead == 0)
            break;
        LHave += static_cast<size_t>(LRead);
    }
    ::close(LFd);
    LResult.Truncated = LHave > AMaxBytes;
    LResult.Bytes.resize(std::min(LHave, AMaxBytes));
    return LResult;
}
