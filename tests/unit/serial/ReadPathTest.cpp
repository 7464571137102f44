#include "CommFixture.h"

#include <thread>

namespace {

using ReadPath = CommFixture;
using R = TCommResult;

TFakeCommDriver::TStep Step(R AResult, std::string AData = {}, uint32_t AMask = 0) {
    TFakeCommDriver::TStep LStep;
    LStep.Result = AResult;
    LStep.Data = std::move(AData);
    LStep.Mask = AMask;
    return LStep;
}

TEST_F(ReadPath, BlocksArriveInOrderAsEventsOnTheOwnerThread) {
    // Reads that complete at once are each delivered before the next read.
    FDrv.ReadSteps = {Step(R::crOk, "ab"), Step(R::crOk, "cd")};
    const auto LOwner = std::this_thread::get_id();
    FComm->SetOnReceiveData([&](TObject*, const uint8_t* ABuffer, uint16_t ALen) {
        EXPECT_EQ(std::this_thread::get_id(), LOwner);
        EXPECT_EQ(ABuffer[ALen], 0);
        FLog.push_back("data:" + std::string(reinterpret_cast<const char*>(ABuffer), ALen));
    });
    StartAndSettle();
    FDrv.CompleteRead(R::crOk, "ef");
    ASSERT_TRUE(PumpFor("data:ef"));
    const std::vector<std::string> LData(FLog.begin(), FLog.end());
    std::vector<std::string> LOnlyData;
    for (const auto& LEntry : LData)
        if (LEntry.rfind("data:", 0) == 0)
            LOnlyData.push_back(LEntry);
    EXPECT_EQ(LOnlyData, (std::vector<std::string>{"data:ab", "data:cd", "data:ef"}));
    FComm->StopComm();
    EXPECT_EQ(Count("hangup"), 0) << "a requested close is a normal end";
}

TEST_F(ReadPath, UnassignedReceiveStillReleasesBlocks) {
    FComm->SetOnReceiveData(nullptr);
    StartAndSettle();
    FDrv.CompleteRead(R::crOk, "xyz");
    ASSERT_TRUE(FDrv.WaitUntil([&] { return FDrv.Reads >= 2; }));
    PumpABit();
    EXPECT_EQ(LiveCommBlocks(), FBlocksBefore);
    FComm->StopComm();
}

TEST_F(ReadPath, ErrorIsPostedBeforeTheModemChangeOfTheSameEvent) {
    StartAndSettle();
    FDrv.ClearErrorSteps = {{R::crOk, CE_FRAME | CE_OVERRUN}};
    FDrv.CompleteLine(R::crOk, EV_ERR | EV_RLSD | EV_RING);
    ASSERT_TRUE(PumpFor("modem:12"));
    const std::vector<std::string> LExpected = {"empty", "error:10", "modem:12"};
    EXPECT_EQ(FLog, LExpected);
    // The loop goes on: more line events and data still arrive.
    ASSERT_TRUE(FDrv.WaitUntil([&] { return FDrv.LinePending(); }));
    FDrv.CompleteLine(R::crOk, EV_RING);
    FDrv.CompleteRead(R::crOk, "z");
    ASSERT_TRUE(PumpFor("data:z"));
    EXPECT_EQ(Count("modem:4"), 1);
    FComm->StopComm();
}

TEST_F(ReadPath, AnEventCompletingAtOnceIsHandledWithoutRetrieval) {
    FDrv.LineSteps = {Step(R::crOk, {}, EV_RLSD)};
    StartAndSettle();
    ASSERT_TRUE(PumpFor("modem:8"));
    FComm->StopComm();
}

TEST_F(ReadPath, APortThatCannotWaitForLineEventsStillDeliversItsData) {
    // The first line-event wait is refused as not supported: reading goes on
    // without line events, with no hang-up request and no busy loop on the
    // line-event record.
    FDrv.LineSteps = {Step(R::crNotSupported)};
    FComm->StartComm();
    ASSERT_TRUE(FDrv.WaitUntil([&] { return FDrv.ReadPending(); }));
    FDrv.CompleteRead(R::crOk, "abc");
    ASSERT_TRUE(PumpFor("data:abc"));
    ASSERT_TRUE(FDrv.WaitUntil([&] { return FDrv.ReadPending(); }));
    FDrv.CompleteRead(R::crOk, "def");
    ASSERT_TRUE(PumpFor("data:def"));
    PumpABit();
    EXPECT_EQ(Count("hangup"), 0);
    FComm->StopComm();
    EXPECT_EQ(Count("hangup"), 0);
}

TEST_F(ReadPath, ALineEventWaitThatEndsAsNotSupportedLeavesReadingOn) {
    StartAndSettle();
    FDrv.CompleteLine(R::crNotSupported, 0);
    FDrv.CompleteRead(R::crOk, "late");
    ASSERT_TRUE(PumpFor("data:late"));
    ASSERT_TRUE(FDrv.WaitUntil([&] { return FDrv.ReadPending(); }));
    EXPECT_FALSE(FDrv.LinePending()) << "no new line-event wait";
    PumpABit();
    EXPECT_EQ(Count("hangup"), 0);
    FComm->StopComm();
}

// One row of the read thread's failure table.
struct TReadRow {
    const char* Name;
    std::function<void(TFakeCommDriver&)> BeforeStart;
    std::function<void(TFakeCommDriver&)> AfterStart; // may be empty
    bool Hangup;
};

void PrintTo(const TReadRow& ARow, std::ostream* AOut) {
    *AOut << ARow.Name;
}

class ReadFailures : public CommFixture, public ::testing::WithParamInterface<TReadRow> {};

TEST_P(ReadFailures, EndTheLoopWithOrWithoutAHangupRequest) {
    const TReadRow& P = GetParam();
    P.BeforeStart(FDrv);
    FComm->StartComm();
    if (P.AfterStart) {
        ASSERT_TRUE(FDrv.WaitUntil([&] { return FDrv.ReadPending() && FDrv.LinePending(); }));
        P.AfterStart(FDrv);
    }
    ASSERT_TRUE(ReadLoopEnded());
    PumpABit();
    EXPECT_EQ(Count("hangup"), P.Hangup ? 1 : 0);
    EXPECT_TRUE(FComm->Connected()) << "the port stays open";
    const int LReads = FDrv.Reads;
    FComm->StopComm();
    EXPECT_EQ(FDrv.Reads, LReads);
    EXPECT_EQ(Count("hangup"), P.Hangup ? 1 : 0);
}

void None(TFakeCommDriver&) {}
auto ReadFirst(R AResult, std::string AData = {}) {
    return [=](TFakeCommDriver& D) { D.ReadSteps = {Step(AResult, AData)}; };
}
auto LineFirst(R AResult, uint32_t AMask = 0) {
    return [=](TFakeCommDriver& D) { D.LineSteps = {Step(AResult, {}, AMask)}; };
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReadFailures,
    ::testing::Values(
        TReadRow{"ReadRecordEvent",
                 [](TFakeCommDriver& D) {
                     D.FailNewEvent = [](int AIndex, bool AFirst, bool) {
                         return AIndex == 1 && AFirst;
                     };
                 },
                 nullptr, true},
        TReadRow{"LineRecordEvent",
                 [](TFakeCommDriver& D) {
                     D.FailNewEvent = [](int AIndex, bool AFirst, bool) {
                         return AIndex == 2 && AFirst;
                     };
                 },
                 nullptr, true},
        TReadRow{"SetCommMask", [](TFakeCommDriver& D) { D.SetEventMaskFails = true; }, nullptr,
                 true},
        TReadRow{"ReadInvalidHandle", ReadFirst(R::crInvalidHandle), nullptr, false},
        TReadRow{"ReadOtherError", ReadFirst(R::crOther), nullptr, true},
        TReadRow{"WaitCommEventInvalidHandle", LineFirst(R::crInvalidHandle), nullptr, false},
        TReadRow{"WaitCommEventOtherError", LineFirst(R::crOther), nullptr, true},
        TReadRow{"ReadResultInvalidHandle", None,
                 [](TFakeCommDriver& D) { D.CompleteRead(R::crInvalidHandle); }, false},
        TReadRow{"ReadResultOtherError", None,
                 [](TFakeCommDriver& D) { D.CompleteRead(R::crOther); }, true},
        TReadRow{"LineResultInvalidHandle", None,
                 [](TFakeCommDriver& D) { D.CompleteLine(R::crInvalidHandle, EV_ERR); }, false},
        TReadRow{"LineResultOtherError", None,
                 [](TFakeCommDriver& D) { D.CompleteLine(R::crOther, EV_ERR); }, true},
        TReadRow{"ClearErrorInvalidHandle", None,
                 [](TFakeCommDriver& D) {
                     D.ClearErrorSteps = {{R::crInvalidHandle, 0}};
                     D.CompleteLine(R::crOk, EV_ERR);
                 },
                 false},
        TReadRow{"ClearErrorOtherError", None,
                 [](TFakeCommDriver& D) {
                     D.ClearErrorSteps = {{R::crOther, 0}};
                     D.CompleteLine(R::crOk, EV_ERR);
                 },
                 true},
        TReadRow{"ZeroByteReadAtOnce", ReadFirst(R::crOk, ""), nullptr, false},
        TReadRow{"ZeroByteReadLater", None, [](TFakeCommDriver& D) { D.CompleteRead(R::crOk); },
                 false},
        TReadRow{"BlockAllocation", [](TFakeCommDriver& D) { D.FailAllocAt = 1; },
                 [](TFakeCommDriver& D) { D.CompleteRead(R::crOk, "abc"); }, true},
        TReadRow{"EmptyEventMask", None, [](TFakeCommDriver& D) { D.CompleteLine(R::crOk, 0); },
                 true},
        TReadRow{"OnlyUnaskedEvents", None,
                 [](TFakeCommDriver& D) { D.CompleteLine(R::crOk, EV_CTS); }, true},
        TReadRow{"WaitFailed",
                 [](TFakeCommDriver& D) {
                     D.OddWaitCount = 3;
                     D.OddWaitResult = WAIT_FAILED;
                 },
                 nullptr, true},
        TReadRow{"WaitUnexpected",
                 [](TFakeCommDriver& D) {
                     D.OddWaitCount = 3;
                     D.OddWaitResult = 0x80; // an abandoned wait
                 },
                 nullptr, true}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(ReadPath, FullWindowReleasesTheBlockAndEndsTheLoop) {
    StartAndSettle();
    FComm->HiddenWindow().SetQueueLimit(0);
    FDrv.CompleteRead(R::crOk, "lost");
    ASSERT_TRUE(ReadLoopEnded());
    EXPECT_EQ(LiveCommBlocks(), FBlocksBefore) << "the refused block is released";
    FComm->HiddenWindow().SetQueueLimit(TMessageWindow::CDefaultQueueLimit);
    PumpABit();
    EXPECT_EQ(Count("data:lost"), 0);
    EXPECT_EQ(Count("hangup"), 0) << "the hang-up request was refused as well";
    FComm->StopComm();
}

TEST_F(ReadPath, FullWindowForAnErrorMessageEndsTheLoop) {
    StartAndSettle();
    FComm->HiddenWindow().SetQueueLimit(0);
    FDrv.CompleteLine(R::crOk, EV_ERR);
    ASSERT_TRUE(ReadLoopEnded());
    FComm->StopComm();
}

TEST_F(ReadPath, StopCommFromInsideAnEventHandler) {
    FComm->SetOnReceiveData([&](TObject*, const uint8_t*, uint16_t) {
        FComm->StopComm();
        FLog.push_back("stopped");
    });
    StartAndSettle();
    FDrv.CompleteRead(R::crOk, "q");
    ASSERT_TRUE(PumpFor("stopped"));
    EXPECT_FALSE(FComm->Connected());
    EXPECT_EQ(FDrv.Closes, 1);
}

TEST_F(ReadPath, EventsPostedBeforeStopAreDeliveredAfterIt) {
    StartAndSettle();
    FDrv.CompleteRead(R::crOk, "late");
    ASSERT_TRUE(FDrv.WaitUntil([&] { return FDrv.Reads >= 2; }));
    FComm->StopComm();
    EXPECT_EQ(Count("data:late"), 0);
    ASSERT_TRUE(PumpFor("data:late"));
    // And after a new start they still belong to the same component.
    StartAndSettle();
    FComm->StopComm();
}

} // namespace
