// The channel against what only POSIX objects can do: a viewer process that
// is killed, memory that shrinks under a sender.
#include "MapFileChannelFixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
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
    const pid_t LChild = fork();
    ASSERT_GE(LChild, 0);
    if (LChild == 0) {
        int LError = 0;
        auto LMutex = OpenNamedMutex(CQueueMutexName, LError);
        if (LMutex && LMutex->WaitFor(1000) == TNamedWaitResult::nwSignaled)
            raise(SIGKILL);
        _exit(1);
    }
    int LStatus = 0;
    ASSERT_EQ(waitpid(LChild, &LStatus, 0), LChild);
    ASSERT_TRUE(WIFSIGNALED(LStatus)) << "the child did not get the mutex";

    const TMsgDesc LDesc = MakeRecord(10);
    Send(LDesc);
    EXPECT_EQ(FMapping->Tail(), LDesc.Length);
    Send(LDesc);
    EXPECT_EQ(FMapping->Tail(), 2 * LDesc.Length);
    EXPECT_TRUE(FChannel->Connected());
}

TEST_F(MapFileChannelTest, MutexHeldElsewhereCostsOneWaitNotOnePerRecord) {
    Connect();
    int LToChild[2], LFromChild[2];
    ASSERT_EQ(pipe(LToChild), 0);
    ASSERT_EQ(pipe(LFromChild), 0);
    const pid_t LChild = fork();
    ASSERT_GE(LChild, 0);
    if (LChild == 0) {
        int LError = 0;
        auto LMutex = OpenNamedMutex(CQueueMutexName, LError);
        char C = LMutex && LMutex->WaitFor(1000) == TNamedWaitResult::nwSignaled ? 'y' : 'n';
        (void)!write(LFromChild[1], &C, 1);
        (void)!read(LToChild[0], &C, 1); // hold it until told
        LMutex->Release();
        (void)!write(LFromChild[1], &C, 1);
        _exit(0);
    }
    char C = 0;
    ASSERT_EQ(read(LFromChild[0], &C, 1), 1);
    ASSERT_EQ(C, 'y');
    CheckStuckMutexCostsOneWait([&] {
        ASSERT_EQ(write(LToChild[1], "x", 1), 1);
        ASSERT_EQ(read(LFromChild[0], &C, 1), 1); // released
    });
    ASSERT_EQ(waitpid(LChild, nullptr, 0), LChild);
    for (int LFd : {LToChild[0], LToChild[1], LFromChild[0], LFromChild[1]})
        close(LFd);
}

} // namespace
