// A capture on the simulator's line: each block ends when it was read, the
// passes follow each other seamlessly, and a receiver at the captured rate
// gets the captured bytes back.
#include "tools/scaleprobe-sim/CaptureReplay.h"
#include "tools/scaleprobe-sim/UartLine.h"

#include <gtest/gtest.h>

namespace {

TLineCapture CaptureOf(const std::vector<std::pair<uint64_t, size_t>>& ABlocks) {
    TLineCapture LCapture;
    uint8_t LNext = 0;
    for (const auto& [LMicros, LLength] : ABlocks) {
        TCaptureBlock LBlock{LMicros, {}};
        for (size_t I = 0; I < LLength; ++I)
            LBlock.Bytes.push_back(LNext++);
        LCapture.Blocks.push_back(LBlock);
    }
    return LCapture;
}

TEST(CaptureReplay, BlocksEndWhenTheyWereReadAndThePassesJoin) {
    // 1000 ticks a second, 10 ticks a byte: 1 ms a tick.
    const struct {
        const char* Name;
        std::vector<std::pair<uint64_t, size_t>> Blocks;
        std::vector<int64_t> Starts; // two passes
    } CCases[] = {
        {"one block", {{50000, 3}}, {0, 30}},
        // A stream: each read begins where the one before ended.
        {"back to back", {{40000, 2}, {70000, 3}}, {0, 20, 50, 70}},
        // A gap of a second between two reads stays a gap.
        {"gap", {{20000, 1}, {1020000, 1}}, {0, 1000, 1010, 2010}},
        // Reads delivered at once: the second began first, and a pass lasts
        // as long as its bytes need.
        {"burst", {{100000, 1}, {100000, 5}}, {40, 0, 100, 60}},
    };
    for (const auto& LCase : CCases) {
        const TLineCapture LCapture = CaptureOf(LCase.Blocks);
        TCaptureReplay LReplay(LCapture, 1000, 10);
        std::vector<int64_t> LStarts;
        std::vector<uint8_t> LBytes;
        for (size_t I = 0; I < LCase.Starts.size(); ++I) {
            LStarts.push_back(LReplay.NextStart());
            LReplay.Take(LBytes);
        }
        EXPECT_EQ(LStarts, LCase.Starts) << LCase.Name;
        // Both passes carry every byte in order.
        std::vector<uint8_t> LPass;
        for (const TCaptureBlock& LBlock : LCapture.Blocks)
            LPass.insert(LPass.end(), LBlock.Bytes.begin(), LBlock.Bytes.end());
        LPass.insert(LPass.end(), LPass.begin(), LPass.end());
        EXPECT_EQ(LBytes, LPass) << LCase.Name;
    }
}

TEST(CaptureReplay, ReceiverAtTheCapturedRateGetsTheBytesBack) {
    for (const uint32_t LBaud : {1200u, 9600u, 115200u}) {
        const TLineCapture LCapture = CaptureOf({{3000, 40}, {900000, 60}});
        TUartLine LLine(LBaud, 2);
        TCaptureReplay LReplay(LCapture, LLine.TicksPerSecond(), LLine.ByteTicks());
        LLine.Listen(LBaud, 0);
        std::vector<uint8_t> LSent;
        for (int I = 0; I < 4; ++I) {
            const int64_t LStart = LReplay.NextStart();
            std::vector<uint8_t> LBlock;
            LReplay.Take(LBlock);
            for (uint8_t LByte : LBlock)
                LLine.Send(LByte, LStart);
            LSent.insert(LSent.end(), LBlock.begin(), LBlock.end());
        }
        std::vector<TUartLine::TRxByte> LReceived;
        LLine.Receive(LLine.TxIdleAt() + LLine.TicksPerSecond(), LReceived);
        std::vector<uint8_t> LValues;
        for (const auto& LByte : LReceived)
            LValues.push_back(LByte.Value);
        EXPECT_EQ(LValues, LSent) << LBaud;
    }
}

} // namespace
