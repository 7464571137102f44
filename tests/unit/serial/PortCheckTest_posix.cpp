// The port check and name rule on Linux: device paths as they are, and each
// reason a path cannot be opened as a serial port.
#include "serial/PortCheck.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {
namespace fs = std::filesystem;

struct TPty {
    TPty() {
        Master = posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(Master, 0);
        EXPECT_EQ(grantpt(Master), 0);
        EXPECT_EQ(unlockpt(Master), 0);
        Path = ptsname(Master);
    }
    ~TPty() { Close(); }
    void Close() {
        if (Master >= 0)
            close(Master);
        Master = -1;
    }
    int Master = -1;
    std::string Path;
};

TEST(PortName, LinuxPathsStayAsTheyAre) {
    for (const char* LName :
         {"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_A5 0", "COM3", "ttyS0 "}) {
        std::string LPort, LReason;
        EXPECT_TRUE(PortNameOf(LName, LPort, LReason)) << LReason;
        EXPECT_EQ(LPort, LName);
    }
}

TEST(PortCheck, EachReasonAPathIsNoOpenablePort) {
    TPty LPty, LGone, LLocked;
    ASSERT_TRUE(CheckSerialPort(LPty.Path).Ok()) << CheckSerialPort(LPty.Path).Reason;
    // A closed master takes its terminal with it.
    const std::string LGonePath = LGone.Path;
    LGone.Close();
    const int LHolder = open(LLocked.Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(LHolder, 0);
    ASSERT_EQ(flock(LHolder, LOCK_EX | LOCK_NB), 0);
    const fs::path LDir = fs::temp_directory_path() / ("sp-portcheck-" + std::to_string(getpid()));
    fs::create_directories(LDir);
    ASSERT_EQ(mkfifo((LDir / "fifo").c_str(), 0600), 0);
    const struct {
        std::string Path;
        TPortProblem Problem;
        std::string Reason;
    } LCases[] = {
        {"/no/such/port", TPortProblem::ppMissing, std::strerror(ENOENT)},
        {LGonePath, TPortProblem::ppMissing, std::strerror(ENOENT)},
        {LLocked.Path, TPortProblem::ppBusy, "locked"},
        {"/dev/null", TPortProblem::ppNotSerial, "not a serial port"},
        {LDir.string(), TPortProblem::ppNotSerial, "directory"},
        {(LDir / "fifo").string(), TPortProblem::ppNotSerial, "FIFO"},
    };
    for (const auto& LCase : LCases) {
        const TPortCheck LCheck = CheckSerialPort(LCase.Path);
        EXPECT_EQ(LCheck.Problem, LCase.Problem) << LCase.Path << ": " << LCheck.Reason;
        EXPECT_NE(LCheck.Reason.find(LCase.Reason), std::string::npos) << LCheck.Reason;
    }
    close(LHolder);
    EXPECT_TRUE(CheckSerialPort(LLocked.Path).Ok());
    fs::remove_all(LDir);
}

TEST(PortCheck, PermissionDeniedNamesTheSerialGroup) {
    TPty LPty;
    ASSERT_EQ(chmod(LPty.Path.c_str(), 0), 0);
    int LPipe[2];
    ASSERT_EQ(pipe(LPipe), 0);
    const pid_t LPid = fork();
    ASSERT_GE(LPid, 0);
    if (LPid == 0) {
        // Root opens anything: the check runs as an ordinary user.
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        const TPortCheck LCheck = CheckSerialPort(LPty.Path);
        const std::string LText =
            (LCheck.Problem == TPortProblem::ppDenied ? "denied " : "other ") + LCheck.Reason;
        _exit(write(LPipe[1], LText.data(), LText.size()) > 0 ? 0 : 4);
    }
    close(LPipe[1]);
    std::string LReason;
    char LBuf[512];
    for (ssize_t N; (N = read(LPipe[0], LBuf, sizeof LBuf)) > 0;)
        LReason.append(LBuf, size_t(N));
    close(LPipe[0]);
    int LStatus = 0;
    waitpid(LPid, &LStatus, 0);
    ASSERT_TRUE(WIFEXITED(LStatus) && WEXITSTATUS(LStatus) == 0) << LStatus;
    EXPECT_EQ(LReason.rfind("denied ", 0), 0u) << LReason;
    EXPECT_NE(LReason.find(std::strerror(EACCES)), std::string::npos) << LReason;
    EXPECT_NE(LReason.find("dialout"), std::string::npos) << LReason;
}

} // namespace
