// A sender and a viewer that drains it, on two threads: records arrive whole
// and in order while the ring wraps many times.
#include "logging/MapFileViewer.h"
#include "logging/UnitMapFileChannel.h"
#include "platform/Thread.h"
#include "tests/support/MapFileObjects.h"

#include <gtest/gtest.h>

#include <mutex>

namespace {
class TDrainThread : public TThread {
public:
    explicit TDrainThread(TMapFileViewer& AViewer) : FViewer(AViewer) {}
    ~TDrainThread() override { TerminateAndWait(); }

    std::vector<std::string> Texts() {
        std::lock_guard<std::mutex> L(FLock);
        return FTexts;
    }

protected:
    void Execute() override {
        while (!Terminated()) {
            const bool LSignalled = FViewer.WaitForRecords(50);
            const auto LRecords = FViewer.Drain();
            {
                std::lock_guard<std::mutex> L(FLock);
                for (const TViewerRecord& LRecord : LRecords)
                    FTexts.push_back(LRecord.Msg);
            }
            if (LSignalled || !LRecords.empty())
                FViewer.SignalFlush();
        }
    }

private:
    TMapFileViewer& FViewer;
    std::mutex FLock;
    std::vector<std::string> FTexts;
};

TEST(MapFileDrainThread, RecordsArriveWholeAndInOrder) {
    UseOwnObjectNames("drain");
    TMapFileViewer LViewer(64 * 1024);
    std::string LError;
    ASSERT_TRUE(LViewer.Open(LError)) << LError;
    TMapFileChannel LChannel(true);
    TDrainThread LDrain(LViewer);
    LDrain.Start();

    constexpr int CCount = 3000;
    for (int I = 0; I < CCount; ++I) {
        // Lengths vary, so records end at every offset of the ring.
        const std::string LText = std::to_string(I) + ":" + std::string(I % 700, 'a' + I % 26);
        TMsgDesc LDesc = MakeRecord(0);
        std::memcpy(LDesc.Msg, LText.data(), LText.size());
        LDesc.Length = CMsgHeaderLen + static_cast<int32_t>(LText.size());
        ASSERT_TRUE(LChannel.CheckReady());
        LChannel.SendContent(LDesc, LDesc.Length);
    }
    // The last record is never the one dropped; wait for it (generously).
    const std::string LLast = std::to_string(CCount - 1) + ":";
    for (int LTries = 0; LTries < 500; ++LTries) {
        const auto LTexts = LDrain.Texts();
        if (!LTexts.empty() && LTexts.back().rfind(LLast, 0) == 0)
            break;
        LViewer.WaitForRecords(20); // a pause that does not depend on the drain's pace
    }
    LDrain.TerminateAndWait();

    const auto LTexts = LDrain.Texts();
    ASSERT_FALSE(LTexts.empty());
    EXPECT_EQ(LTexts.back().rfind(LLast, 0), 0u);
    int LPrevious = -1;
    for (const std::string& LText : LTexts) {
        const int LNumber = std::stoi(LText);
        ASSERT_GT(LNumber, LPrevious) << "out of order or repeated";
        const std::string LExpected =
            std::to_string(LNumber) + ":" + std::string(LNumber % 700, 'a' + LNumber % 26);
        ASSERT_EQ(LText, LExpected) << "damaged record";
        LPrevious = LNumber;
    }
    EXPECT_EQ(LViewer.BrokenRecords(), 0);
}
} // namespace
