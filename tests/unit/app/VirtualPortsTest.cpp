// The ports folder: entries that are not regular files are skipped without
// waiting on them.
#include "platform/VirtualPorts.h"
#include "platform/System.h"
#include "tests/support/ScratchDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {
namespace fs = std::filesystem;

TEST(VirtualPorts, FifoAndFolderEntriesAreSkippedWithoutWaiting) {
    const TScratchDir LDir("sp-vports");
    const TEnvScope LPorts("SCALEPROBE_PORTS_DIR", LDir.Path().string());
    const int LMaster = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(LMaster, 0);
    ASSERT_EQ(grantpt(LMaster), 0);
    ASSERT_EQ(unlockpt(LMaster), 0);
    const std::string LSlave = ptsname(LMaster);
    const std::string LStem = std::to_string(getpid()) + "-";
    ASSERT_EQ(mkfifo((LDir / (LStem + "0.port")).c_str(), 0600), 0);
    fs::create_directory(LDir / (LStem + "1.port"));
    std::ofstream(LDir / (LStem + "2.port")) << LSlave << '\n';

    // In a child, so that a read that waits on the FIFO is seen, not hung on.
    int LPipe[2];
    ASSERT_EQ(pipe(LPipe), 0);
    const pid_t LPid = fork();
    ASSERT_GE(LPid, 0);
    if (LPid == 0) {
        std::string LList;
        for (const UnicodeString& LPort : ListVirtualPorts())
            LList += UnicodeToUtf8(LPort) + '\n';
        WithdrawVirtualPort(Utf8ToUnicode(LSlave));
        _exit(write(LPipe[1], LList.data(), LList.size()) >= 0 ? 0 : 1);
    }
    close(LPipe[1]);
    pollfd LFd{LPipe[0], POLLIN, 0};
    const bool LAnswered = poll(&LFd, 1, 20000) == 1;
    if (!LAnswered)
        kill(LPid, SIGKILL);
    char LBuf[512];
    const ssize_t LRead = LAnswered ? read(LPipe[0], LBuf, sizeof LBuf) : 0;
    close(LPipe[0]);
    int LStatus = 0;
    waitpid(LPid, &LStatus, 0);
    close(LMaster);
    EXPECT_TRUE(LAnswered) << "the list waited on the FIFO";
    EXPECT_EQ(std::string(LBuf, size_t(std::max<ssize_t>(LRead, 0))), LSlave + '\n');
}

} // namespace
