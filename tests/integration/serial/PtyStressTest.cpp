#include "PtyFixture.h"

#include <thread>

namespace {

using PtyStress = PtyFixture;

TEST_F(PtyStress, OneMebibyteArrivesCompleteAndInOrder) {
    constexpr size_t CSize = 1 << 20;
    std::string LData(CSize, '\0');
    uint32_t LSeed = 12345;
    for (char& LChar : LData) {
        LSeed = LSeed * 1103515245u + 12345u;
        LChar = static_cast<char>(LSeed >> 16);
    }
    FComm->StartComm();
    std::thread LWriter([&] {
        for (size_t LAt = 0; LAt < CSize; LAt += 4096)
            if (!FPty.Send(LData.substr(LAt, 4096)))
                return;
    });
    const bool LAll = PumpUntil([&] { return FReceived.size() >= CSize; }, 60000);
    if (!LAll)
        FPty.CloseMaster(); // unblocks the writer
    LWriter.join();
    ASSERT_TRUE(LAll) << FReceived.size() << " bytes of " << CSize;
    EXPECT_TRUE(FReceived == LData);
    for (const std::string& LBlock : FBlocks)
        ASSERT_LE(LBlock.size(), 1024u);
    FComm->StopComm();
}

TEST_F(PtyStress, AThousandStartsAndStopsLeakNothing) {
    // Warm up once so that lazily made process state is not counted.
    FComm->StartComm();
    FComm->StopComm();
    FLoop.ProcessMessages();
    const int LFds = CountEntries("/proc/self/fd");
    const int LThreads = CountEntries("/proc/self/task");
    const size_t LBlocks = LiveCommBlocks();
    for (int I = 0; I < 1000; ++I) {
        FComm->StartComm();
        if (I % 100 == 0) {
            ASSERT_TRUE(FPty.Send("ping"));
        }
        FComm->StopComm();
        FLoop.ProcessMessages();
    }
    PumpFor(50);
    EXPECT_EQ(CountEntries("/proc/self/fd"), LFds);
    EXPECT_EQ(CountEntries("/proc/self/task"), LThreads);
    EXPECT_EQ(LiveCommBlocks(), LBlocks);
    EXPECT_EQ(FHangups, 0);
}

} // namespace
