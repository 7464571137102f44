// The port check and name rule on Linux: device paths as they are, and each
// reason a path cannot be opened as a serial port.
#include "serial/PortCheck.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Pty.h"
#include "tests/support/ScratchDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {
namespace fs = std::filesystem;

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
    ASSERT_TRUE(CheckSerialPort(LPty.SlavePath()).Ok()) << CheckSerialPort(LPty.SlavePath()).Reason;
    // A closed master takes its terminal with it.
    const std::string LGonePath = LGone.SlavePath();
    LGone.CloseMaster();
    const int LHolder = open(LLocked.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(LHolder, 0);
    ASSERT_EQ(flock(LHolder, LOCK_EX | LOCK_NB), 0);
    const TScratchDir LScratch("sp-portcheck");
    const fs::path LDir = LScratch.Path();
    ASSERT_EQ(mkfifo((LDir / "fifo").c_str(), 0600), 0);
    const struct {
        std::string Path;
        TPortProblem Problem;
        std::string Reason;
    } LCases[] = {
        {"/no/such/port", TPortProblem::ppMissing, std::strerror(ENOENT)},
        {LGonePath, TPortProblem::ppMissing, std::strerror(ENOENT)},
        {LLocked.SlavePath(), TPortProblem::ppBusy, "locked"},
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
    EXPECT_TRUE(CheckSerialPort(LLocked.SlavePath()).Ok());
}

TEST(PortCheck, PermissionDeniedNamesTheSerialGroup) {
    const TPty LPty;
    ASSERT_EQ(chmod(LPty.SlavePath().c_str(), 0), 0);
    TChildProcess LCheck;
    ASSERT_TRUE(LCheck.Fork(
        [&LPty] {
            // Root opens anything: the check runs as an ordinary user.
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                return 3;
            const TPortCheck LResult = CheckSerialPort(LPty.SlavePath());
            const std::string LText =
                (LResult.Problem == TPortProblem::ppDenied ? "denied " : "other ") + LResult.Reason;
            return write(STDOUT_FILENO, LText.data(), LText.size()) > 0 ? 0 : 4;
        },
        {TChildStream::csInherit, TChildStream::csPipe}));
    ASSERT_EQ(LCheck.Wait(), 0);
    const std::string& LReason = LCheck.Output();
    EXPECT_EQ(LReason.rfind("denied ", 0), 0u) << LReason;
    EXPECT_NE(LReason.find(std::strerror(EACCES)), std::string::npos) << LReason;
    EXPECT_NE(LReason.find("dialout"), std::string::npos) << LReason;
}

} // namespace
