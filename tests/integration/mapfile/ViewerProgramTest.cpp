// The channel against the real WbDebugViewer program: the whole path from the
// log to the viewer's output, the ring in the viewer's memory, and a header
// or a mutex that the other side has spoilt.
#include "ViewerProgramFixture.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {
TEST_F(ViewerProgramTest, LogLinesReachTheViewerInOrderBannerFirst) {
    const int LViewer = StartViewer({"--output", FOut.string()});
    ASSERT_GT(LViewer, 0);
    InitDebuggerUnit();
    InitLogFileUnit();
    std::vector<std::string> LExpected{EscapedAnsi(CStartBanner)};
    for (int I = 0; I < 60; ++I) {
        const UnicodeString LText = u"line " + IntToStr(I);
        if (I % 3 == 0)
            GLogFile->LogWarning(LText);
        else if (I % 3 == 1)
            GLogFile->LogError(LText);
        else
            GLogFile->LogInfo(LText);
        LExpected.push_back(UnicodeToAnsi(LText));
    }
    FinalizeLogFileUnit();
    FinalizeDebuggerUnit();
    ASSERT_EQ(StopViewer(LViewer), 0);
    EXPECT_TRUE(NothingLeftBehind());

    const std::vector<std::string> LLines = ReadFileLines(FOut);
    ASSERT_GE(LLines.size(), 2u);
    std::vector<std::string> LTexts;
    for (const std::string& LLine : LLines) {
        const auto LFields = Fields(LLine);
        ASSERT_EQ(LFields.size(), 6u) << LLine;
        EXPECT_EQ(LFields[1], std::to_string(GetCurrentProcessId()));
        if (LFields[3] != "Object")
            LTexts.push_back(LFields[5]);
    }
    EXPECT_EQ(LTexts, LExpected);
    // The worker thread announces itself first and says goodbye last.
    EXPECT_EQ(Fields(LLines.front())[4], "Create");
    EXPECT_EQ(Fields(LLines.back())[4], "1");
}

// Waits a minute for a started viewer, so that a wait cut short shows
// whatever the machine's pace.
class TPatientChannel : public TMapFileChannel {
public:
    explicit TPatientChannel(bool IsAutoFlush) : TMapFileChannel(IsAutoFlush) {
        FStartTimeoutMs = 60000;
    }
};

TEST_F(ViewerProgramTest, ViewerCommandThatEndsAtOnceReleasesTheFirstMessage) {
    SetDebugChannelClass([](bool IsAutoFlush) -> std::unique_ptr<TDebugChannel> {
        return std::make_unique<TPatientChannel>(IsAutoFlush);
    });
    // A bad option value: the viewer ends without a word to its starter.
    SetViewerCommand(CViewerProgram, {"--size", "0"});
    TDebugger LDebugger;
    const auto LStart = std::chrono::steady_clock::now();
    LDebugger.LogMsg(u"first");
    const std::chrono::duration<double> LTook = std::chrono::steady_clock::now() - LStart;
    EXPECT_LT(LTook.count(), 30) << "waited for a viewer that had ended";
    EXPECT_EQ(LDebugger.PostedMessageCount(), 0);
}

// Ring sizes just above the largest record.
constexpr int32_t CSmallMap = CViewerDataOffset + CMaxRecordLen + 400;
constexpr int32_t CSmallQueue = CSmallMap - CViewerDataOffset;

TMsgDesc TextRecord(const std::string& AText) {
    TMsgDesc LDesc = MakeRecord(static_cast<int32_t>(AText.size()));
    std::memcpy(LDesc.Msg, AText.data(), AText.size());
    return LDesc;
}

// A text of ALength characters that says which one it is.
std::string NumberedText(int ANumber, size_t ALength) {
    std::string LText = "record " + std::to_string(ANumber) + " ";
    LText.resize(std::max(ALength, LText.size()), static_cast<char>('a' + ANumber % 26));
    return LText;
}

// A viewer started for a test, its memory as a sender sees it, and a sender
// connected to it.
class TMappedViewer {
public:
    ::testing::AssertionResult Start(std::vector<std::string> AArgs) {
        Pid = StartViewer(std::move(AArgs));
        if (Pid <= 0 || !Open() || !Channel.CheckReady())
            return ::testing::AssertionFailure() << "viewer " << Pid << " not mapped";
        return ::testing::AssertionSuccess();
    }
    // Maps the memory of the viewer that runs now.
    bool Open() {
        int LError = 0;
        FMemory = OpenSharedMemory(CMapName, LError);
        FView = FMemory ? FMemory->MapView(LError) : nullptr;
        return FView != nullptr;
    }
    uint8_t* Map() const { return FView->Data(); }
    size_t Size() const { return FView->Size(); }
    int32_t Get(size_t AOffset) const { return LoadHeaderI32(Map(), AOffset); }
    void Set(size_t AOffset, uint32_t AValue) { StoreHeaderU32(Map(), AOffset, AValue); }
    // Waits (at most ten seconds) until the viewer has read every record.
    bool Drained() const {
        const auto LDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Get(MapField::QueueFront) != Get(MapField::QueueTail)) {
            if (std::chrono::steady_clock::now() > LDeadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    int Pid = -1;
    TMapFileChannel Channel{false};

private:
    std::unique_ptr<TSharedMemory> FMemory;
    std::unique_ptr<TSharedView> FView;
};

// Freezes the viewer where it does not hold the queue mutex.
bool PauseOutsideTheMutex(int AViewer) {
    int LError = 0;
    auto LMutex = OpenNamedMutex(CQueueMutexName, LError);
    if (!LMutex || LMutex->WaitFor(10000) != TNamedWaitResult::nwSignaled)
        return false;
    const bool LPaused = PauseProgram(AViewer);
    return LMutex->Release() && LPaused;
}

TEST_F(ViewerProgramTest, RecordsPastTheEndOfTheRingArriveWhole) {
    TMappedViewer LViewer;
    ASSERT_TRUE(LViewer.Start({"--output", FOut.string(), "--size", std::to_string(CSmallMap)}));
    std::vector<std::string> LSent;
    int LSplit = 0;
    for (int I = 0; I < 40; ++I) {
        // Lengths that put the ends of records at every distance from the end.
        const std::string LText = NumberedText(I, static_cast<size_t>(97 * I % 1500));
        const TMsgDesc LDesc = TextRecord(LText);
        const int32_t LTail = LViewer.Get(MapField::QueueTail);
        LViewer.Channel.SendContent(LDesc, LDesc.Length);
        LSent.push_back(LText);
        if (LTail + LDesc.Length > CSmallQueue)
            ++LSplit;
        EXPECT_EQ(LViewer.Get(MapField::QueueTail), (LTail + LDesc.Length) % CSmallQueue);
        ASSERT_TRUE(LViewer.Drained()) << I;
    }
    EXPECT_GE(LSplit, 3);
    ASSERT_EQ(StopViewer(LViewer.Pid), 0);
    EXPECT_EQ(ReceivedTexts(), LSent);
}

TEST_F(ViewerProgramTest, FullRingOfAFrozenViewerDropsTheOldest) {
    TMappedViewer LViewer;
    ASSERT_TRUE(LViewer.Start({"--output", FOut.string(), "--size", std::to_string(CSmallMap)}));
    ASSERT_TRUE(PauseOutsideTheMutex(LViewer.Pid));
    std::vector<std::string> LSent;
    for (int I = 0; I < 30; ++I) {
        const std::string LText = NumberedText(I, 300);
        const TMsgDesc LDesc = TextRecord(LText);
        LViewer.Channel.SendContent(LDesc, LDesc.Length);
        LSent.push_back(LText);
    }
    EXPECT_NE(LViewer.Get(MapField::QueueFront), 0) << "the front never moved";
    ASSERT_TRUE(ResumeProgram(LViewer.Pid));
    ASSERT_TRUE(LViewer.Drained());
    ASSERT_EQ(StopViewer(LViewer.Pid), 0);
    // The newest records that fit, in order, and none of the oldest.
    const std::vector<std::string> LGot = ReceivedTexts();
    const size_t LFit = static_cast<size_t>(CSmallQueue) / (CMsgHeaderLen + 300);
    ASSERT_GE(LGot.size(), LFit - 1);
    ASSERT_LE(LGot.size(), LFit);
    EXPECT_EQ(LGot,
              std::vector<std::string>(LSent.end() - static_cast<long>(LGot.size()), LSent.end()));
}

// A viewer killed at once leaves its objects (where a sender holds them, on
// Windows); its process id may go to another process. The next viewer
// starts all the same, and the sender moves over to it.
TEST_F(ViewerProgramTest, KilledViewerWhoseIdWasTakenAgainBlocksNoViewer) {
    TMappedViewer LDead;
    ASSERT_TRUE(LDead.Start({"--output", FOut.string()}));
    KillProgram(LDead.Pid);
    // The id now names a running process: this one.
    LDead.Set(CViewerPidOffset, GetCurrentProcessId());

    const int LNext = StartViewer({"--output", FOut.string()});
    const int LFound = RunningViewerPid();
    // Whatever came of it, the teardown must not take this process for a viewer.
    LDead.Set(CViewerPidOffset, 0);
    ASSERT_GT(LNext, 0);
    EXPECT_EQ(LFound, LNext) << "the new viewer did not start";
    const TMsgDesc LDesc = TextRecord("after");
    if (!LDead.Channel.CheckReady()) { // it let go of the old mapping
        ASSERT_TRUE(LDead.Channel.CheckReady());
    }
    LDead.Channel.SendContent(LDesc, LDesc.Length);
    TMappedViewer LNew;
    ASSERT_TRUE(LNew.Open());
    EXPECT_TRUE(LNew.Drained());
    EXPECT_EQ(StopViewer(LNext), 0);
    EXPECT_EQ(ReceivedTexts(), std::vector<std::string>{"after"});
}

void SendSome(TMapFileChannel& AChannel) {
    for (const size_t LLength : {0, 100, 1000}) {
        if (!AChannel.CheckReady())
            continue;
        const TMsgDesc LDesc = TextRecord(NumberedText(0, LLength));
        AChannel.SendContent(LDesc, LDesc.Length);
    }
}

// Only the area, the queue positions and the spoilt field differ from ABefore.
void CheckWrittenOnlyIn(const TMappedViewer& AMemory, const std::vector<uint8_t>& ABefore,
                        TArea AArea, size_t AField, const std::string& ACase) {
    const uint8_t* LAfter = AMemory.Map();
    for (size_t I = 0; I < ABefore.size(); ++I) {
        if (LAfter[I] == ABefore[I] || (AArea.Valid && I >= AArea.Begin && I < AArea.End) ||
            (I >= MapField::QueueFront && I < MapField::QueueTail + 4) ||
            (I >= AField && I < AField + 4))
            continue;
        ADD_FAILURE() << ACase << ": byte " << I << " written outside the queue area";
        return;
    }
}

TEST_F(ViewerProgramTest, HostileHeaderInTheViewersMemoryIsNotWrittenThrough) {
    TMappedViewer LViewer;
    ASSERT_TRUE(LViewer.Start({"--output", FOut.string(), "--size", std::to_string(CSmallMap)}));
    const size_t LAreaEnd = static_cast<size_t>(CSmallMap);
    const uint32_t LHostile[] = {0,
                                 1,
                                 4,
                                 63,
                                 64,
                                 static_cast<uint32_t>(CSmallQueue),
                                 static_cast<uint32_t>(CSmallMap),
                                 static_cast<uint32_t>(CSmallMap) + 4096,
                                 0x7FFFFFFF,
                                 0x80000000,
                                 0xFFFFFFFF,
                                 0xFFFFFFFC};
    for (const size_t LField :
         {MapField::MapSize, MapField::DataOffset, MapField::QueueFront, MapField::QueueTail}) {
        for (const uint32_t LValue : LHostile) {
            const std::string LCase = std::to_string(LField) + " = " + std::to_string(LValue);
            ASSERT_TRUE(PauseOutsideTheMutex(LViewer.Pid)) << LCase;
            const std::vector<uint8_t> LBefore(LViewer.Map(), LViewer.Map() + LViewer.Size());
            LViewer.Set(LField, LValue);
            // Found that way by a sender that connects now, and changed under
            // one that is connected already.
            TMapFileChannel LFresh(false);
            const TArea LHeaderArea = AreaOfHeader(LViewer.Map(), LViewer.Size());
            SendSome(LFresh);
            CheckWrittenOnlyIn(LViewer, LBefore, LHeaderArea, LField, LCase + " (fresh)");
            // The connected one keeps to the sound area (the fresh one's writes
            // are in the first check's area).
            SendSome(LViewer.Channel);
            const size_t LSoundBegin = static_cast<size_t>(CViewerDataOffset);
            CheckWrittenOnlyIn(
                LViewer, LBefore,
                {LHeaderArea.Valid ? std::min(LHeaderArea.Begin, LSoundBegin) : LSoundBegin,
                 std::max(LHeaderArea.End, LAreaEnd), true},
                LField, LCase + " (connected)");
            // As it was, with nothing unread, before the viewer goes on.
            std::memcpy(LViewer.Map(), LBefore.data(), LBefore.size());
            ASSERT_TRUE(ResumeProgram(LViewer.Pid)) << LCase;
            // A sender that let go of the spoilt mapping connects again.
            ASSERT_TRUE(LViewer.Channel.CheckReady()) << LCase;
        }
    }
    const TMsgDesc LDesc = TextRecord("after");
    LViewer.Channel.SendContent(LDesc, LDesc.Length);
    ASSERT_TRUE(LViewer.Drained());
    ASSERT_EQ(StopViewer(LViewer.Pid), 0);
    const std::vector<std::string> LGot = ReceivedTexts();
    ASSERT_FALSE(LGot.empty());
    EXPECT_EQ(LGot.back(), "after");
}

// The helper process of the next test: takes the queue mutex and ends holding it.
TEST(ViewerMutexHolder, EndsHoldingTheQueueMutex) {
    const char* LHold = std::getenv("SCALEPROBE_HOLD_MUTEX");
    if (!LHold || !*LHold)
        GTEST_SKIP() << "run by ViewerProgramTest.ProcessThatEndsHoldingTheMutexStopsNothing";
    int LError = 0;
    auto LMutex = OpenNamedMutex(CQueueMutexName, LError);
    if (LMutex && LMutex->WaitFor(10000) == TNamedWaitResult::nwSignaled)
        std::_Exit(7);
    std::_Exit(1);
}

TEST_F(ViewerProgramTest, ProcessThatEndsHoldingTheMutexStopsNothing) {
#ifdef __SANITIZE_THREAD__
    // ThreadSanitizer does not count a robust mutex taken over from a dead
    // owner as locked, and reports its release.
    GTEST_SKIP() << "not under ThreadSanitizer";
#endif
    TMappedViewer LViewer;
    ASSERT_TRUE(LViewer.Start({"--output", FOut.string()}));
    const TMsgDesc LBefore = TextRecord("before");
    LViewer.Channel.SendContent(LBefore, LBefore.Length);
    ASSERT_TRUE(LViewer.Drained());

    SetEnvironmentValue("SCALEPROBE_HOLD_MUTEX", "1");
    const int LHolder = SpawnProgram(OwnProgramPath(),
                                     {"--gtest_filter=ViewerMutexHolder.EndsHoldingTheQueueMutex"});
    SetEnvironmentValue("SCALEPROBE_HOLD_MUTEX", "");
    ASSERT_EQ(WaitExit(LHolder, 60), 7) << "the helper did not get the mutex";

    // Both the sender and the viewer take the abandoned mutex as theirs.
    for (const char* LText : {"after 1", "after 2"}) {
        const TMsgDesc LDesc = TextRecord(LText);
        LViewer.Channel.SendContent(LDesc, LDesc.Length);
        ASSERT_TRUE(LViewer.Drained()) << LText;
    }
    EXPECT_TRUE(LViewer.Channel.Connected());
    ASSERT_EQ(StopViewer(LViewer.Pid), 0);
    EXPECT_EQ(ReceivedTexts(), (std::vector<std::string>{"before", "after 1", "after 2"}));
}
} // namespace
