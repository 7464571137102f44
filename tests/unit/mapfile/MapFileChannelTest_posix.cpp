// The channel against what only POSIX objects can do: a viewer process that
// is killed, memory that shrinks under a sender.
#include "MapFileChannelFixture.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {
TEST_F(MapFileChannelTest, MappingThatCannotBeMappedIsReported) {
    TDebugOutputCapture LOutput;
    int LError = 0;
    auto LEmpty = CreateSharedMemory(CMapName, 0, LError);
    ASSERT_TRUE(LEmpty);
    TMapFileChannel LChannel(false);
    EXPECT_FALSE(LChannel.CheckReady());
    EXPECT_EQ(LOutput.Lines(), std::vector<std::string>{"WbDebug: MapViewOfFile Fail: 22"});
}

TEST_F(MapFileChannelTest, ViewerThatShrinksItsMemoryCountsAsNoViewer) {
    Connect();
    const std::string LName =
        "/WbDebugMap." + std::to_string(geteuid()) + "." + std::getenv("SCALEPROBE_WBDEBUG_SUFFIX");
    const int LFd = shm_open(LName.c_str(), O_RDWR, 0);
    ASSERT_GE(LFd, 0);
    ASSERT_EQ(ftruncate(LFd, 0), 0);
    close(LFd);
    // In a child, so that a fault fails this test instead of ending the suite.
    EXPECT_EXIT(
        {
            Send(MakeRecord(10));
            const bool LReady = FChannel->CheckReady();
            std::exit(FChannel->Connected() || LReady ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(MapFileChannelTest, ViewerKilledHoldingTheMutexDoesNotStopTheNextRecord) {
    Connect();
    TChildProcess LViewer;
    ASSERT_TRUE(LViewer.Fork([] {
        int LError = 0;
        auto LMutex = OpenNamedMutex(CQueueMutexName, LError);
        if (LMutex && LMutex->WaitFor(1000) == TNamedWaitResult::nwSignaled)
            raise(SIGKILL);
        return 1;
    }));
    LViewer.Wait();
    ASSERT_EQ(LViewer.EndSignal(), SIGKILL) << "the child did not get the mutex";

    const TMsgDesc LDesc = MakeRecord(10);
    Send(LDesc);
    EXPECT_EQ(FMapping->Tail(), LDesc.Length);
    Send(LDesc);
    EXPECT_EQ(FMapping->Tail(), 2 * LDesc.Length);
    EXPECT_TRUE(FChannel->Connected());
}

TEST_F(MapFileChannelTest, MutexHeldElsewhereCostsOneWaitNotOnePerRecord) {
    Connect();
    // Says whether it got the mutex, and holds it until told.
    TChildProcess LViewer;
    ASSERT_TRUE(LViewer.Fork(
        [] {
            int LError = 0;
            auto LMutex = OpenNamedMutex(CQueueMutexName, LError);
            char C = LMutex && LMutex->WaitFor(1000) == TNamedWaitResult::nwSignaled ? 'y' : 'n';
            (void)!write(STDOUT_FILENO, &C, 1);
            (void)!read(STDIN_FILENO, &C, 1);
            return LMutex && LMutex->Release() ? 0 : 1;
        },
        {TChildStream::csPipe, TChildStream::csPipe}));
    LViewer.ReadUntil([&] { return !LViewer.Output().empty(); }, 10000);
    ASSERT_EQ(LViewer.Output(), "y");
    CheckStuckMutexCostsOneWait([&] {
        ASSERT_TRUE(LViewer.WriteInput("x"));
        ASSERT_EQ(LViewer.Wait(), 0); // released
    });
}

} // namespace
