#include "logging/LogFileIo.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TLineWrite WriteWholeLine(const std::filesystem::path& AFileName, std::string_view ALine) {
    const int LFd = open(AFileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (LFd < 0)
        return {errno, false};
    struct stat LStat {};
    const bool LRegular = fstat(LFd, &LStat) == 0 && S_ISREG(LStat.st_mode);
    ssize_t LWritten;
    do
        LWritten = write(LFd, ALine.data(), ALine.size());
    while (LWritten < 0 && errno == EINTR);
    int LError = 0;
    if (LWritten < 0)
        LError = errno;
    else if (static_cast<size_t>(LWritten) != ALine.size())
        LError = ENOSPC;
    // Nothing of a line that did not go in whole stays in the file.
    if (LError != 0 && LWritten > 0 && LRegular)
        (void)!ftruncate(LFd, LStat.st_size);
    if (close(LFd) != 0 && LError == 0)
        LError = errno;
    return {LError, true};
}
