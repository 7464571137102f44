#include "CommFixture.h"

namespace {

using WritePath = CommFixture;
using R = TCommResult;

const uint8_t* Bytes(const char* AText) {
    return reinterpret_cast<const uint8_t*>(AText);
}

TFakeCommDriver::TStep WriteStep(R AResult, uint32_t ACount = MAXDWORD) {
    TFakeCommDriver::TStep LStep;
    LStep.Result = AResult;
    LStep.Count = ACount;
    return LStep;
}

TEST_F(WritePath, OneWritePerBlockAndOneNoticeAfterThreeQueuedBlocks) {
    // The first write stays pending so that all three blocks queue up.
    FDrv.WriteSteps = {WriteStep(R::crIoPending)};
    StartAndSettle();
    ASSERT_EQ(Count("empty"), 1);
    EXPECT_TRUE(FComm->WriteCommData(Bytes("one"), 3));
    EXPECT_FALSE(FComm->SendDataEmpty());
    ASSERT_TRUE(FDrv.WaitUntil([&] { return FDrv.WritePending(); }));
    EXPECT_TRUE(FComm->WriteCommData(Bytes("two"), 3));
    EXPECT_TRUE(FComm->WriteCommData(Bytes("three"), 5));
    FDrv.CompleteWrite(R::crOk, 3);
    ASSERT_TRUE(FDrv.WaitUntil([&] { return FDrv.Writes == 3; }));
    ASSERT_TRUE(FLoop.RunUntil([&] { return Count("empty") == 2; }, 10000));
    PumpABit();
    EXPECT_EQ(Count("empty"), 2) << "one notice for the three blocks";
    EXPECT_EQ(FDrv.Written, "onetwothree");
    EXPECT_TRUE(FComm->SendDataEmpty());
    EXPECT_EQ(LiveCommBlocks(), FBlocksBefore);
    FComm->StopComm();
}

TEST_F(WritePath, EveryStartGivesOneNotice) {
    for (int I = 1; I <= 3; ++I) {
        StartAndSettle();
        FComm->StopComm();
        PumpABit();
        EXPECT_EQ(Count("empty"), I);
    }
}

TEST_F(WritePath, CloseDuringAPendingWriteEndsQuietly) {
    FDrv.WriteSteps = {WriteStep(R::crIoPending)};
    StartAndSettle();
    ASSERT_TRUE(FComm->WriteCommData(Bytes("held"), 4));
    ASSERT_TRUE(FDrv.WaitUntil([&] { return FDrv.WritePending(); }));
    // Queued behind it, never written: released when the thread ends.
    ASSERT_TRUE(FComm->WriteCommData(Bytes("queued"), 6));
    FComm->StopComm();
    PumpABit();
    EXPECT_EQ(Count("hangup"), 0);
    EXPECT_EQ(FDrv.Written, "");
    EXPECT_TRUE(FComm->SendDataEmpty());
}

struct TWriteRow {
    const char* Name;
    std::function<void(TFakeCommDriver&)> BeforeStart;
    // Run after one block was queued, when set.
    std::function<void(TFakeCommDriver&)> AfterWrite;
    bool WriteBlock;
    bool Hangup;
};

void PrintTo(const TWriteRow& ARow, std::ostream* AOut) {
    *AOut << ARow.Name;
}

class WriteFailures : public CommFixture, public ::testing::WithParamInterface<TWriteRow> {};

TEST_P(WriteFailures, EndTheThreadWithOrWithoutAHangupRequest) {
    const TWriteRow& P = GetParam();
    P.BeforeStart(FDrv);
    FComm->StartComm();
    if (P.WriteBlock) {
        ASSERT_TRUE(PumpFor("empty"));
        ASSERT_TRUE(FComm->WriteCommData(Bytes("data"), 4));
        if (P.AfterWrite) {
            ASSERT_TRUE(FDrv.WaitUntil([&] { return FDrv.WritePending(); }));
            P.AfterWrite(FDrv);
        }
    }
    ASSERT_TRUE(WriteLoopEnded());
    PumpABit();
    EXPECT_EQ(Count("hangup"), P.Hangup ? 1 : 0);
    EXPECT_TRUE(FComm->Connected());
    // The thread is gone: later blocks find no taker, the flag stays false.
    EXPECT_FALSE(FComm->WriteCommData(Bytes("more"), 4));
    EXPECT_FALSE(FComm->SendDataEmpty());
    EXPECT_EQ(LiveCommBlocks(), FBlocksBefore);
    FComm->StopComm();
    EXPECT_TRUE(FComm->SendDataEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WriteFailures,
    ::testing::Values(
        TWriteRow{"RecordEvent",
                  [](TFakeCommDriver& D) {
                      D.FailNewEvent = [](int AIndex, bool AFirst, bool) {
                          return AIndex == 2 && !AFirst;
                      };
                  },
                  nullptr, false, true},
        TWriteRow{"WaitFailed",
                  [](TFakeCommDriver& D) {
                      D.OddWaitCount = 2;
                      D.OddWaitResult = WAIT_FAILED;
                  },
                  nullptr, false, true},
        TWriteRow{"WriteInvalidHandle",
                  [](TFakeCommDriver& D) { D.WriteSteps = {WriteStep(R::crInvalidHandle)}; },
                  nullptr, true, false},
        TWriteRow{"WriteOtherError",
                  [](TFakeCommDriver& D) { D.WriteSteps = {WriteStep(R::crOther)}; }, nullptr, true,
                  true},
        TWriteRow{"ResultInvalidHandle",
                  [](TFakeCommDriver& D) { D.WriteSteps = {WriteStep(R::crIoPending)}; },
                  [](TFakeCommDriver& D) { D.CompleteWrite(R::crInvalidHandle, 0); }, true, false},
        TWriteRow{"ResultOtherError",
                  [](TFakeCommDriver& D) { D.WriteSteps = {WriteStep(R::crIoPending)}; },
                  [](TFakeCommDriver& D) { D.CompleteWrite(R::crOther, 0); }, true, true},
        TWriteRow{"ShortWriteAtOnce",
                  [](TFakeCommDriver& D) { D.WriteSteps = {WriteStep(R::crOk, 2)}; }, nullptr, true,
                  true},
        TWriteRow{"ShortWriteLater",
                  [](TFakeCommDriver& D) { D.WriteSteps = {WriteStep(R::crIoPending)}; },
                  [](TFakeCommDriver& D) { D.CompleteWrite(R::crOk, 1); }, true, true}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(WritePath, RefusedSendEmptyNoticeEndsTheThread) {
    FComm->HiddenWindow().SetQueueLimit(0);
    FComm->StartComm();
    ASSERT_TRUE(WriteLoopEnded());
    FComm->HiddenWindow().SetQueueLimit(TMessageWindow::CDefaultQueueLimit);
    EXPECT_FALSE(FComm->WriteCommData(Bytes("x"), 1));
    FComm->StopComm();
    PumpABit();
    EXPECT_EQ(Count("empty"), 0);
}

TEST_F(WritePath, RefusedBlockAllocationReturnsFalse) {
    StartAndSettle();
    FDrv.FailAllocAt = 1;
    EXPECT_FALSE(FComm->WriteCommData(Bytes("x"), 1));
    EXPECT_TRUE(FComm->WriteCommData(Bytes("y"), 1));
    ASSERT_TRUE(FDrv.WaitUntil([&] { return FDrv.Written == "y"; }));
    FComm->StopComm();
}

} // namespace
