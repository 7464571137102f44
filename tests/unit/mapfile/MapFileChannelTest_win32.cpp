// The channel's Windows objects: what a created mapping admits, a mutex that
// its owner abandons, a section that cannot be mapped, the registry value.
#include "MapFileChannelFixture.h"
#include "logging/MapFileViewer.h"
#include "tests/support/Win32Probe.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

// A dead viewer's objects go with its last handle and a section never
// shrinks, so the POSIX tests of those have no counterpart here. Neither has
// a section that opens but cannot be mapped: Wine refuses the open already.

namespace {
TEST_F(MapFileChannelTest, CreatedObjectsAdmitOnlyTheCurrentUser) {
    TTestMapping LMapping(8192, COffset + CQueue);
    const TAclProbe LAcl = ProbeMappingAcl(CMapName);
    ASSERT_TRUE(LAcl.Read);
    EXPECT_TRUE(LAcl.Protected);
    EXPECT_EQ(LAcl.Aces, 1);
    EXPECT_TRUE(LAcl.FirstIsCurrentUser);
    EXPECT_NE(LAcl.FirstMask, 0u);

    // Creating again fails with the error of an existing object.
    int LError = 0;
    EXPECT_FALSE(CreateSharedMemory(CMapName, 8192, LError));
    EXPECT_EQ(LError, 183); // ERROR_ALREADY_EXISTS
    LError = 0;
    EXPECT_FALSE(CreateNamedMutex(CQueueMutexName, LError));
    EXPECT_EQ(LError, 183);
    // An event is opened instead, and it is the same event.
    auto LEvent = CreateNamedEvent(CQueueEventName, LError);
    ASSERT_TRUE(LEvent);
    ASSERT_TRUE(LEvent->SetEvent());
    EXPECT_TRUE(LMapping.QueueEventSet());
}

TEST_F(MapFileChannelTest, ObjectOwnedBySomeoneElseIsNotOpened) {
    const auto LForeign = CreateMappingOwnedByAdministrators(CMapName);
    if (!LForeign)
        GTEST_SKIP() << "this process may not make the Administrators group an owner";
    int LError = 0;
    EXPECT_FALSE(OpenSharedMemory(CMapName, LError));
    EXPECT_EQ(LError, 5); // ERROR_ACCESS_DENIED
}

TEST_F(MapFileChannelTest, ViewCoversTheWholeMapping) {
    TTestMapping LMapping(3 * 4096, COffset + CQueue);
    int LError = 0;
    auto LMemory = OpenSharedMemory(CMapName, LError);
    ASSERT_TRUE(LMemory) << LError;
    auto LView = LMemory->MapView(LError);
    ASSERT_TRUE(LView) << LError;
    EXPECT_EQ(LView->Size(), 3u * 4096);
    EXPECT_EQ(LMemory->CurrentSize(), 3 * 4096);
    EXPECT_EQ(OpenSharedMemory(CMapName, LError)->CurrentSize(), 3 * 4096);
}

// Windows mutexes belong to threads: a thread stands in for the viewer.
TEST_F(MapFileChannelTest, ViewerThatEndsHoldingTheMutexDoesNotStopTheNextRecord) {
    Connect();
    TNamedWaitResult LGot = TNamedWaitResult::nwFailed;
    std::thread LViewer([&LGot] {
        int LError = 0;
        auto LMutex = OpenNamedMutex(CQueueMutexName, LError);
        if (LMutex)
            LGot = LMutex->WaitFor(1000);
        // Ends without releasing it.
    });
    LViewer.join();
    ASSERT_EQ(LGot, TNamedWaitResult::nwSignaled);

    int LError = 0;
    auto LMutex = OpenNamedMutex(CQueueMutexName, LError);
    ASSERT_TRUE(LMutex);
    std::thread LNext([&LMutex, &LGot] {
        LGot = LMutex->WaitFor(1000);
        if (LGot == TNamedWaitResult::nwAbandoned)
            LMutex->Release();
    });
    LNext.join();
    EXPECT_EQ(LGot, TNamedWaitResult::nwAbandoned);

    // Abandoned once more, and the channel counts that as owning it.
    std::thread LAgain([] {
        int LErr = 0;
        if (auto L = OpenNamedMutex(CQueueMutexName, LErr))
            L->WaitFor(1000);
    });
    LAgain.join();
    const TMsgDesc LDesc = MakeRecord(10);
    Send(LDesc);
    EXPECT_EQ(FMapping->Tail(), LDesc.Length);
    Send(LDesc);
    EXPECT_EQ(FMapping->Tail(), 2 * LDesc.Length);
    EXPECT_TRUE(FChannel->Connected());
}

TEST_F(MapFileChannelTest, MutexHeldElsewhereCostsOneWaitNotOnePerRecord) {
    Connect();
    int LError = 0;
    auto LHeld = CreateNamedEvent("Local\\WbDebugTestHeld", LError);
    auto LLetGo = CreateNamedEvent("Local\\WbDebugTestLetGo", LError);
    auto LReleased = CreateNamedEvent("Local\\WbDebugTestReleased", LError);
    ASSERT_TRUE(LHeld && LLetGo && LReleased);
    std::thread LViewer([&] {
        int LErr = 0;
        auto LMutex = OpenNamedMutex(CQueueMutexName, LErr);
        if (!LMutex || LMutex->WaitFor(1000) != TNamedWaitResult::nwSignaled)
            return;
        LHeld->SetEvent();
        LLetGo->WaitFor(60000);
        LMutex->Release();
        LReleased->SetEvent();
    });
    ASSERT_EQ(LHeld->WaitFor(10000), TNamedWaitResult::nwSignaled);
    CheckStuckMutexCostsOneWait([&] {
        LLetGo->SetEvent();
        ASSERT_EQ(LReleased->WaitFor(10000), TNamedWaitResult::nwSignaled);
    });
    LViewer.join();
}

TEST(MapFileViewerWin32, NewViewerTakesOverTheMappingASenderHolds) {
    UseOwnObjectNames("takeover");
    TMapFileChannel LChannel(false);
    std::string LError;
    {
        TMapFileViewer LOld(16384);
        ASSERT_TRUE(LOld.Open(LError)) << LError;
        ASSERT_TRUE(LChannel.CheckReady());
    }
    // The channel still holds the mapping, so its name is alive.
    TMapFileViewer LNext(16384);
    ASSERT_TRUE(LNext.Open(LError)) << LError;
    const TMsgDesc LDesc = MakeRecord(3, 'n');
    if (!LChannel.CheckReady()) { // it may have seen the withdrawal
        ASSERT_TRUE(LChannel.CheckReady());
    }
    LChannel.SendContent(LDesc, LDesc.Length);
    const auto LRecords = LNext.Drain();
    ASSERT_EQ(LRecords.size(), 1u);
    EXPECT_EQ(LRecords[0].Msg, "nnn");
}

TEST(ViewerCommandSetting, ReadFromTheCurrentUsersHive) {
    RemoveViewerSetting();
    EXPECT_EQ(ReadViewerCommandSetting(), u"");
    EXPECT_EQ(DefaultViewerCommand(), u"WbDebugViewer.exe");

    ASSERT_TRUE(WriteViewerSetting(u"C:\\Tools\\MyViewer.exe --size 65536"));
    EXPECT_EQ(ReadViewerCommandSetting(), u"C:\\Tools\\MyViewer.exe --size 65536");

    // A program whose path holds a blank is quoted, so the start finds it.
    const TScratchDir LDir("wb viewer");
    const std::filesystem::path LProgram = LDir.Write("WbDebugViewer.exe", "MZ");
    ASSERT_TRUE(WriteViewerSetting(LProgram.u16string()));
    EXPECT_EQ(ReadViewerCommandSetting(), u"\"" + LProgram.u16string() + u"\"");

    RemoveViewerSetting();
    EXPECT_EQ(ReadViewerCommandSetting(), u"");
}

TEST(StartCommandLine, ReportsWhetherTheProgramStarted) {
    EXPECT_FALSE(StartCommandLine("NoSuchWbDebugViewer.exe -a  -local 1"));
    EXPECT_TRUE(StartCommandLine("cmd.exe /c exit 0"));
}

TEST(ProcessAlive, TellsARunningProcessFromAnEndedOne) {
    EXPECT_TRUE(ProcessAlive(::GetCurrentProcessId()));
    EXPECT_FALSE(ProcessAlive(0));
    EXPECT_FALSE(ProcessAlive(0x7FFFFFF0));
}
} // namespace
