// What the console front end needs of Linux: the port check and the
// simulator as a child process.
#include "app/Console.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

TEST(CheckPortPath, PermissionDeniedNamesTheSerialGroup) {
    const int LMaster = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(LMaster, 0);
    ASSERT_EQ(grantpt(LMaster), 0);
    ASSERT_EQ(unlockpt(LMaster), 0);
    const std::string LSlave = ptsname(LMaster);
    ASSERT_EQ(chmod(LSlave.c_str(), 0), 0);
    int LPipe[2];
    ASSERT_EQ(pipe(LPipe), 0);
    const pid_t LPid = fork();
    ASSERT_GE(LPid, 0);
    if (LPid == 0) {
        // Root opens anything: the check runs as an ordinary user.
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        std::string LReason;
        const bool LOk = CheckPortPath(LSlave, LReason);
        LReason = (LOk ? "ok " : "") + LReason;
        _exit(write(LPipe[1], LReason.data(), LReason.size()) > 0 ? 0 : 4);
    }
    close(LPipe[1]);
    std::string LReason;
    char LBuf[512];
    for (ssize_t N; (N = read(LPipe[0], LBuf, sizeof LBuf)) > 0;)
        LReason.append(LBuf, size_t(N));
    close(LPipe[0]);
    int LStatus = 0;
    waitpid(LPid, &LStatus, 0);
    close(LMaster);
    ASSERT_TRUE(WIFEXITED(LStatus) && WEXITSTATUS(LStatus) == 0) << LStatus;
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
