// The ports folder: entries that are not regular files are skipped without
// waiting on them.
#include "platform/VirtualPorts.h"
#include "platform/System.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Pty.h"
#include "tests/support/ScratchDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {
namespace fs = std::filesystem;

TEST(VirtualPorts, FifoAndFolderEntriesAreSkippedWithoutWaiting) {
    const TScratchDir LDir("sp-vports");
    const TEnvScope LPorts("SCALEPROBE_PORTS_DIR", LDir.Path().string());
    const TPty LPty;
    ASSERT_TRUE(LPty.IsOpen());
    const std::string LSlave = LPty.SlavePath();
    const std::string LStem = std::to_string(getpid()) + "-";
    ASSERT_EQ(mkfifo((LDir / (LStem + "0.port")).c_str(), 0600), 0);
    fs::create_directory(LDir / (LStem + "1.port"));
    std::ofstream(LDir / (LStem + "2.port")) << LSlave << '\n';

    // In a child, so that a read that waits on the FIFO is seen, not hung on.
    TChildProcess LList;
    ASSERT_TRUE(LList.Fork(
        [&LSlave] {
            std::string LText;
            for (const UnicodeString& LPort : ListVirtualPorts())
                LText += UnicodeToUtf8(LPort) + '\n';
            WithdrawVirtualPort(Utf8ToUnicode(LSlave));
            return write(STDOUT_FILENO, LText.data(), LText.size()) >= 0 ? 0 : 1;
        },
        {TChildStream::csInherit, TChildStream::csPipe}));
    EXPECT_EQ(LList.Wait(20000), 0) << "the list waited on the FIFO";
    EXPECT_EQ(LList.Output(), LSlave + '\n');
}

} // namespace
