// What the console front end needs of Linux: the port check and the
// simulator as a child process.
#include "app/Console.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Pty.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

TEST(CheckPortPath, PermissionDeniedNamesTheSerialGroup) {
    const TPty LPty;
    ASSERT_TRUE(LPty.IsOpen());
    const std::string LSlave = LPty.SlavePath();
    ASSERT_EQ(chmod(LSlave.c_str(), 0), 0);
    TChildProcess LCheck;
    ASSERT_TRUE(LCheck.Fork(
        [&LSlave] {
            // Root opens anything: the check runs as an ordinary user.
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                return 3;
            std::string LReason;
            const bool LOk = CheckPortPath(LSlave, LReason);
            LReason = (LOk ? "ok " : "") + LReason;
            return write(STDOUT_FILENO, LReason.data(), LReason.size()) > 0 ? 0 : 4;
        },
        {TChildStream::csInherit, TChildStream::csPipe}));
    ASSERT_EQ(LCheck.Wait(), 0);
    const std::string& LReason = LCheck.Output();
    EXPECT_NE(LReason.find(std::strerror(EACCES)), std::string::npos) << LReason;
    EXPECT_NE(LReason.find("dialout"), std::string::npos) << LReason;
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
