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
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

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

// CheckSerialPort in a copy of this process, as this user or as the
// ordinary user 65534 (root opens anything): "ok ", "denied " or "other " in
// front of the reason.
std::string CheckInChild(const std::string& APath, bool AOrdinary) {
    TChildProcess LCheck;
    if (!LCheck.Fork(
            [&] {
                if (AOrdinary && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                    return 3;
                const TPortCheck LResult = CheckSerialPort(APath);
                const std::string LText = (LResult.Ok()                                ? "ok "
                                           : LResult.Problem == TPortProblem::ppDenied ? "denied "
                                                                                       : "other ") +
                                          LResult.Reason;
                return write(STDOUT_FILENO, LText.data(), LText.size()) > 0 ? 0 : 4;
            },
            {TChildStream::csInherit, TChildStream::csPipe}))
        return "no child";
    const int LExit = LCheck.Wait();
    return LExit == 0 ? LCheck.Output() : "child exit " + std::to_string(LExit);
}

TEST(PortCheck, PermissionDeniedNamesTheSerialGroup) {
    const TPty LPty;
    ASSERT_EQ(chmod(LPty.SlavePath().c_str(), 0), 0);
    const std::string LReason = CheckInChild(LPty.SlavePath(), true);
    EXPECT_EQ(LReason.rfind("denied ", 0), 0u) << LReason;
    EXPECT_NE(LReason.find(std::strerror(EACCES)), std::string::npos) << LReason;
    EXPECT_NE(LReason.find("dialout"), std::string::npos) << LReason;
}

TEST(PortCheck, AnExclusiveMarkSaysWhoHoldsThePortOrThatNobodyDoes) {
    if (geteuid() != 0)
        GTEST_SKIP() << "the ordinary user's case needs root to become one";
    struct TCase {
        bool Held;     // a program of ours still holds the marked port
        bool Ordinary; // the check runs as an ordinary user
        std::string Said;
    };
    const TCase LCases[] = {
        {true, false,
         "another program holds the port for exclusive use: process " + std::to_string(getpid())},
        {false, false, "ok "},
        // Another user's processes may not be looked at: nobody is blamed.
        {false, true,
         std::string(std::strerror(EBUSY)) +
             " (the port is marked for exclusive use, and none of the processes"},
    };
    for (const TCase& LCase : LCases) {
        const TPty LPty;
        ASSERT_TRUE(LPty.IsOpen());
        ASSERT_EQ(chmod(LPty.SlavePath().c_str(), 0666), 0);
        int LMarker = open(LPty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(LMarker, 0);
        ASSERT_EQ(ioctl(LMarker, TIOCEXCL), 0);
        if (!LCase.Held) {
            // The program that set the mark was killed.
            close(LMarker);
            LMarker = -1;
        }
        const std::string LReason = CheckInChild(LPty.SlavePath(), LCase.Ordinary);
        EXPECT_NE(LReason.find(LCase.Said), std::string::npos)
            << LCase.Held << LCase.Ordinary << ": " << LReason;
        if (LMarker >= 0)
            close(LMarker);
    }
}

} // namespace
