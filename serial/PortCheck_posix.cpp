#include "serial/PortCheck.h"
#include "serial/PortHolders_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
TPortProblem ProblemOfErrno(int AErrno) {
    switch (AErrno) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
        return TPortProblem::ppMissing;
    case EACCES:
    case EPERM:
        return TPortProblem::ppDenied;
    case EBUSY:
    case EWOULDBLOCK:
        return TPortProblem::ppBusy;
    default:
        return TPortProblem::ppOther;
    }
}

TPortCheck Failed(TPortProblem AProblem, std::string AReason) {
    return TPortCheck{AProblem, std::move(AReason)};
}
} // namespace

bool PlatformPortName(const std::string& AName, std::string& APort, std::string&) {
    // A device path goes to the serial component as it is.
    APort = AName;
    return true;
}

TPortCheck CheckSerialPort(const std::string& APath) {
    struct stat LStat {};
    if (stat(APath.c_str(), &LStat) != 0) {
        const int LErrno = errno;
        return Failed(ProblemOfErrno(LErrno), std::strerror(LErrno));
    }
    if (S_ISDIR(LStat.st_mode))
        return Failed(TPortProblem::ppNotSerial, "is a directory, not a serial port");
    if (S_ISFIFO(LStat.st_mode))
        return Failed(TPortProblem::ppNotSerial, "is a FIFO, not a serial port");
    if (!S_ISCHR(LStat.st_mode))
        return Failed(TPortProblem::ppNotSerial, "is not a character device, not a serial port");
    const int LFd = open(APath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (LFd < 0) {
        const int LErrno = errno;
        std::string LReason = std::strerror(LErrno);
        if (LErrno == EACCES || LErrno == EPERM)
            LReason += " (the user needs to be in the serial port's group, e.g. 'dialout': "
                       "sudo usermod -aG dialout $USER, then log in again)";
        else if (LErrno == EBUSY)
            LReason += " (" + ExclusiveUseReason(FindPortHolders(LStat.st_rdev, -1)) + ")";
        return Failed(ProblemOfErrno(LErrno), LReason);
    }
    TPortCheck LCheck;
    int LExclusive = 0;
    if (!isatty(LFd)) {
        LCheck = Failed(TPortProblem::ppNotSerial, "not a terminal, not a serial port");
    } else if (ioctl(LFd, TIOCGEXCL, &LExclusive) == 0 && LExclusive != 0) {
        // Root may open a port under the mark; while another program holds
        // it, it is still that program's. A mark nobody holds protects
        // nobody: the serial component takes the port over.
        const TPortHolders LFound = FindPortHolders(LStat.st_rdev, LFd);
        if (!LFound.Holders.empty() || LFound.Partial)
            LCheck = Failed(TPortProblem::ppBusy, ExclusiveUseReason(LFound));
    }
    if (LCheck.Ok() && flock(LFd, LOCK_EX | LOCK_NB) != 0) {
        const int LErrno = errno;
        LCheck = Failed(TPortProblem::ppBusy, std::string(std::strerror(LErrno)) +
                                                  " (another program holds the port locked)");
    }
    // Closing drops the lock taken for the test.
    close(LFd);
    return LCheck;
}
