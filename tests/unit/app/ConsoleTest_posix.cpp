// What the console front end needs of Linux: the port check and the
// simulator as a child process.
#include "app/Console.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Pty.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

// CheckPortPath in a copy of this process, as this user or as the ordinary
// user 65534 (root opens anything). "ok " in front of the reason when it
// passed.
std::string CheckInChild(const std::string& APath, bool AOrdinary) {
    TChildProcess LCheck;
    if (!LCheck.Fork(
            [&] {
                if (AOrdinary && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                    return 3;
                std::string LReason;
                const bool LOk = CheckPortPath(APath, LReason);
                LReason = (LOk ? "ok " : "") + LReason;
                return write(STDOUT_FILENO, LReason.data(), LReason.size()) > 0 ? 0 : 4;
            },
            {TChildStream::csInherit, TChildStream::csPipe}))
        return "no child";
    const int LExit = LCheck.Wait();
    return LExit == 0 ? LCheck.Output() : "child exit " + std::to_string(LExit);
}

} // namespace

TEST(CheckPortPath, PermissionDeniedNamesTheSerialGroup) {
    const TPty LPty;
    ASSERT_TRUE(LPty.IsOpen());
    ASSERT_EQ(chmod(LPty.SlavePath().c_str(), 0), 0);
    const std::string LReason = CheckInChild(LPty.SlavePath(), true);
    EXPECT_NE(LReason.find(std::strerror(EACCES)), std::string::npos) << LReason;
    EXPECT_NE(LReason.find("dialout"), std::string::npos) << LReason;
}

TEST(CheckPortPath, AnExclusiveMarkSaysWhoHoldsThePortOrThatNobodyDoes) {
    if (geteuid() != 0)
        GTEST_SKIP() << "the ordinary user's case needs root to become one";
    struct TCase {
        bool Held;     // a program of ours still holds the marked port
        bool Ordinary; // the check runs as an ordinary user
        std::string Said;
    };
    const std::vector<TCase> LCases{
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

TEST(SimulatorProcess, OneThatIgnoresSigtermIsKilledAfterTwoSeconds) {
    // An ignored signal stays ignored across exec: sleep never ends on SIGTERM.
    TSimulatorProcess LChild("/bin/sh", {"-c", "trap '' TERM; echo /dev/null; exec sleep 60"},
                             10000);
    EXPECT_EQ(LChild.PortPath(), "/dev/null");
    const auto LStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(LChild.Stop());
    const auto LTook = std::chrono::steady_clock::now() - LStart;
    EXPECT_GE(LTook, std::chrono::milliseconds(1900));
    EXPECT_LT(LTook, std::chrono::seconds(20));
}
