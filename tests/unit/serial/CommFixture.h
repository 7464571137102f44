// A component on the fake driver, with the events it raised as text.
#pragma once

#include "FakeCommDriver.h"
#include "serial/Comm.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class CommFixture : public ::testing::Test {
protected:
    void SetUp() override {
        FBlocksBefore = LiveCommBlocks();
        FComm = std::make_unique<TComm>(nullptr, FDrv);
        FComm->SetOnReceiveData([this](TObject* ASender, const uint8_t* ABuffer, uint16_t ALen) {
            EXPECT_EQ(ASender, FComm.get());
            EXPECT_EQ(ABuffer[ALen], 0) << "the block ends in a zero byte";
            FLog.push_back("data:" + std::string(reinterpret_cast<const char*>(ABuffer), ALen));
        });
        FComm->SetOnReceiveError(
            [this](TObject*, uint32_t AMask) { FLog.push_back("error:" + std::to_string(AMask)); });
        FComm->SetOnModemStateChange([this](TObject*, uint32_t AEvent) {
            FLog.push_back("modem:" + std::to_string(AEvent));
        });
        FComm->SetOnRequestHangup([this](TObject*) { FLog.push_back("hangup"); });
        FComm->SetOnSendDataEmpty([this](TObject*) { FLog.push_back("empty"); });
    }
    void TearDown() override {
        FComm.reset();
        EXPECT_EQ(FDrv.LivePorts(), 0);
        EXPECT_EQ(FDrv.LiveEvents(), 0);
        EXPECT_EQ(LiveCommBlocks(), FBlocksBefore);
    }

    // Pumps until the log holds AEntry (true) or a generous time passes.
    bool PumpFor(const std::string& AEntry) {
        return FLoop.RunUntil([&] { return Count(AEntry) > 0; }, 10000);
    }
    // Pumps what is there, and what the threads post within a short while.
    void PumpABit() {
        FLoop.RunUntil([] { return false; }, 100);
    }
    int Count(const std::string& AEntry) const {
        int LCount = 0;
        for (const std::string& LEntry : FLog)
            LCount += LEntry == AEntry;
        return LCount;
    }
    // A thread's loop has ended once its own clean-up purge is recorded.
    bool ThreadEnded(uint32_t APurge) {
        return FDrv.WaitUntil([&] {
            for (uint32_t LFlags : FDrv.Purges)
                if (LFlags == APurge)
                    return true;
            return false;
        });
    }
    bool ReadLoopEnded() { return ThreadEnded(PURGE_RXABORT | PURGE_RXCLEAR); }
    bool WriteLoopEnded() { return ThreadEnded(PURGE_TXABORT | PURGE_TXCLEAR); }
    // Starts and waits until the read thread has its read pending and the
    // write thread has announced its empty queue.
    void StartAndSettle() {
        FComm->StartComm();
        ASSERT_TRUE(FDrv.WaitUntil([&] { return FDrv.ReadPending() && FDrv.LinePending(); }));
        ASSERT_TRUE(PumpFor("empty"));
    }

    THeadlessLoop FLoop;
    TFakeCommDriver FDrv;
    std::unique_ptr<TComm> FComm;
    std::vector<std::string> FLog;
    size_t FBlocksBefore = 0;
};
