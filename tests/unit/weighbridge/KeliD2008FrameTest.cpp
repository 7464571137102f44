#include "FrameTestSupport.h"
#include "weighbridge/UnitKeliD2008Frame.h"
#include "weighbridge/UnitXK3168Frame.h"

#include <algorithm>
#include <string>

namespace {

std::vector<uint8_t> KeliFrame(const std::string& ADigits, char ADot, char ASign = '+') {
    return KeliTestFrame(ADigits, ADot, ASign);
}

class KeliFrameTest : public ::testing::Test {
protected:
    TFrameHarness H{&AnalyzeKeliD2008Frames};
};

TEST_F(KeliFrameTest, DecimalDigitScalesTheSixDigits) {
    H.Feed(KeliFrame("001234", '2'));
    H.Feed(KeliFrame("001234", '0'));
    H.Feed(KeliFrame("001234", '3'));
    H.Feed(KeliFrame("999999", '0'));
    ASSERT_EQ(H.Weights.size(), 4u);
    EXPECT_DOUBLE_EQ(H.Weights[0], 12.34);
    EXPECT_EQ(H.Weights[1], 1234.0);
    EXPECT_DOUBLE_EQ(H.Weights[2], 1.234);
    EXPECT_EQ(H.Weights[3], 999999.0);
    EXPECT_EQ(H.Size, 0u);
}

TEST_F(KeliFrameTest, TheSignByteIsNotRead) {
    H.Feed(KeliFrame("000500", '0', '-'));
    ASSERT_EQ(H.Weights.size(), 1u);
    EXPECT_EQ(H.Weights[0], 500.0);
}

TEST_F(KeliFrameTest, TwoFramesInOneChunkYieldBothInOrder) {
    H.Feed(Concat({KeliFrame("000010", '0'), KeliFrame("000020", '1')}));
    ASSERT_EQ(H.Weights.size(), 2u);
    EXPECT_EQ(H.Weights[0], 10.0);
    EXPECT_DOUBLE_EQ(H.Weights[1], 2.0);
    EXPECT_EQ(H.Size, 0u);
}

TEST_F(KeliFrameTest, SplitFrameYieldsItsWeightOnceComplete) {
    const auto LFrame = KeliFrame("001234", '2');
    H.Feed(std::vector<uint8_t>(LFrame.begin(), LFrame.begin() + 8));
    EXPECT_TRUE(H.Weights.empty());
    EXPECT_EQ(H.Size, 8u);
    H.Feed(std::vector<uint8_t>(LFrame.begin() + 8, LFrame.end()));
    ASSERT_EQ(H.Weights.size(), 1u);
    EXPECT_DOUBLE_EQ(H.Weights[0], 12.34);
    EXPECT_EQ(H.Size, 0u);
}

TEST_F(KeliFrameTest, BytesBeforeTheFirstFrameGoWithIt) {
    H.Feed({'7', '8', '9'});
    EXPECT_EQ(H.Size, 3u);
    H.Feed(Concat({KeliFrame("000042", '0'), {0x02, '+', '0'}}));
    ASSERT_EQ(H.Weights.size(), 1u);
    EXPECT_EQ(H.Data(), (std::vector<uint8_t>{0x02, '+', '0'}));
}

TEST_F(KeliFrameTest, EndFlagConsumesUpToItself) {
    H.Feed({'a', 'b', 0x03, 'c'});
    EXPECT_EQ(H.Data(), (std::vector<uint8_t>{'c'}));
    // A start flag with too few bytes after it stays until an end flag follows.
    H.Feed({0x02, '0', '0'});
    EXPECT_EQ(H.Size, 4u);
    H.Feed({0x03, 'd'});
    EXPECT_EQ(H.Data(), (std::vector<uint8_t>{'d'}));
    EXPECT_TRUE(H.Weights.empty());
}

TEST_F(KeliFrameTest, EndFlagInsideAFrameLowersTheMark) {
    auto LFrame = KeliFrame("000001", '0');
    LFrame[9] = 0x03; // indicator data byte that happens to be an end flag
    LFrame[11] = 'x';
    H.Feed(LFrame);
    ASSERT_EQ(H.Weights.size(), 1u);
    EXPECT_EQ(H.Data(), (std::vector<uint8_t>{LFrame[10], 'x'}));
}

TEST_F(KeliFrameTest, StartFlagInsideAFrameStartsAFrameOfItsOwn) {
    // The second frame starts at offset 9 of the first, in its data bytes.
    auto LFirst = KeliFrame("000001", '0');
    LFirst.resize(9);
    H.Feed(Concat({LFirst, KeliFrame("000002", '0')}));
    // The first frame's digits are 0,0,0,0,0,1 and its decimal digit is '0';
    // its bytes 9..11 are the second frame's first three.
    ASSERT_EQ(H.Weights.size(), 2u);
    EXPECT_EQ(H.Weights[0], 1.0);
    EXPECT_EQ(H.Weights[1], 2.0);
    EXPECT_EQ(H.Size, 0u);
}

TEST_F(KeliFrameTest, ChunkOf2000BytesKeepsItsFirst1024) {
    // A frame inside the first 1024 bytes, one cut by the limit, one beyond.
    std::vector<uint8_t> LChunk(1000, 'z');
    LChunk = Concat({LChunk,
                     KeliFrame("000001", '0'),
                     {'z', 'z', 'z', 'z'},
                     KeliFrame("000002", '0'),
                     KeliFrame("000003", '0')});
    LChunk.resize(2000, 'z');
    H.Feed(LChunk);
    ASSERT_EQ(H.Weights.size(), 1u);
    EXPECT_EQ(H.Weights[0], 1.0);
    // Left over: the cut frame's first eight bytes, behind three of the noise.
    EXPECT_EQ(H.Size, 11u);
    EXPECT_EQ(H.Buffer[3], 0x02);
}

TEST_F(KeliFrameTest, NoiseWithoutAStartFlagIsDroppedDownToAFramesLength) {
    H.Feed(std::vector<uint8_t>(2000, 'z'));
    EXPECT_EQ(H.Size, 11u);
    H.Feed(KeliFrame("000001", '0'));
    ASSERT_EQ(H.Weights.size(), 1u);
    EXPECT_EQ(H.Size, 0u);
}

TEST_F(KeliFrameTest, EmptyOrNullChunkChangesNothing) {
    H.Feed({'q', 0x02});
    ReceiveFrames(H.Buffer, H.Size, nullptr, 5, &AnalyzeKeliD2008Frames,
                  TWeightSink{&H, &TFrameHarness::PutWeight});
    H.Feed(std::vector<uint8_t>{});
    EXPECT_EQ(H.Data(), (std::vector<uint8_t>{'q', 0x02}));
}

TEST_F(KeliFrameTest, LeadingBlanksCountAsZero) {
    H.Feed(KeliFrame("  1234", '2'));
    H.Feed(KeliFrame("     0", '0'));
    ASSERT_EQ(H.Weights.size(), 2u);
    EXPECT_DOUBLE_EQ(H.Weights[0], 12.34);
    EXPECT_EQ(H.Weights[1], 0.0);
}

TEST_F(KeliFrameTest, DamagedFramesAreConsumedWithoutAWeight) {
    const char* LBadDigits[] = {"00 234", "0012 4", "12345 ", "      ", "00x234", "0012:4"};
    for (const char* LDigits : LBadDigits) {
        H.Feed(KeliFrame(LDigits, '2'));
        EXPECT_EQ(H.Size, 0u) << LDigits;
    }
    H.Feed(KeliFrame("001234", ' '));
    H.Feed(KeliFrame("001234", 'A'));
    auto LBinary = KeliFrame("001234", '2');
    LBinary[4] = 0xFF;
    H.Feed(LBinary);
    EXPECT_TRUE(H.Weights.empty());
    EXPECT_EQ(H.Size, 0u);
    // A good frame right after damaged ones still decodes.
    H.Feed(Concat({KeliFrame("00 0 1", '0'), KeliFrame("000007", '0')}));
    ASSERT_EQ(H.Weights.size(), 1u);
    EXPECT_EQ(H.Weights[0], 7.0);
}

// Five-byte frames whose status byte is 0x02: the other protocol's commonest
// stream. It must not decode here.
TEST_F(KeliFrameTest, StreamOfTheOtherProtocolYieldsNoWeight) {
    std::vector<uint8_t> LStream;
    for (int I = 0; I < 150; ++I) {
        const uint8_t LLow = static_cast<uint8_t>(((I % 10) << 4) | (I % 7));
        LStream.insert(LStream.end(), {0xFF, 0x02, LLow, 0x03, 0x00});
        LStream.insert(LStream.end(), {0xFF, 0x12, 0x30, 0x30, 0x30});
    }
    for (size_t LPos = 0; LPos < LStream.size(); LPos += 37) {
        const size_t LEnd = std::min(LStream.size(), LPos + 37);
        H.Feed(std::vector<uint8_t>(LStream.begin() + LPos, LStream.begin() + LEnd));
    }
    EXPECT_TRUE(H.Weights.empty());
}

TEST(KeliDecodeTest, ConvertDoesNotCheckForDigits) {
    EXPECT_EQ(Convert2RealValue('7'), 7);
    EXPECT_EQ(Convert2RealValue(' '), -16);
}

} // namespace
