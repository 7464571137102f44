#include "FrameTestSupport.h"
#include "weighbridge/UnitKeliD2008Frame.h"
#include "weighbridge/UnitXK3168Frame.h"

#include <algorithm>
#include <cmath>
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

// What each frame yields: its weight, or none; and whether it counts as
// refused for its check alone.
TEST_F(KeliFrameTest, SignEndFlagAndCheckDecideWhetherAFrameCounts) {
    auto With = [](std::vector<uint8_t> AFrame, size_t AAt, uint8_t AByte) {
        AFrame[AAt] = AByte;
        return AFrame;
    };
    const auto LPlus = KeliFrame("001560", '0');
    const auto LMinus = KeliFrame("001560", '0', '-');
    // A check with a hex letter in it, to be written in lower case.
    const auto LLetters = KeliFrame("000000", '1');
    ASSERT_GE(LLetters[10], 'A');
    const struct {
        const char* Name;
        std::vector<uint8_t> Frame;
        bool Weight;
        double Value;
        bool RefusedForCheck;
    } CCases[] = {
        {"plus", LPlus, true, 1560, false},
        {"minus", LMinus, true, -1560, false},
        {"minus decimals", KeliFrame("012345", '3', '-'), true, -12.345, false},
        {"minus zero", KeliFrame("000000", '2', '-'), true, 0, false},
        {"blank sign", KeliFrame("001560", '0', ' '), false, 0, false},
        {"digit sign", KeliFrame("001560", '0', '0'), false, 0, false},
        {"no end flag", With(LPlus, 11, 0x0D), false, 0, false},
        {"wrong check", With(LPlus, 10, LPlus[10] ^ 1), false, 0, true},
        {"check swapped", With(With(LPlus, 9, LPlus[10]), 10, LPlus[9]), false, 0, true},
        {"lower-case check", With(LLetters, 10, LLetters[10] | 0x20), false, 0, true},
        {"damaged digit and check", With(LPlus, 4, ':'), false, 0, false},
    };
    for (const auto& C : CCases) {
        H.Weights.clear();
        H.Refused = 0;
        H.Feed(C.Frame);
        EXPECT_EQ(H.Size, 0u) << C.Name;
        EXPECT_EQ(H.Refused, C.RefusedForCheck ? 1 : 0) << C.Name;
        ASSERT_EQ(H.Weights.size(), C.Weight ? 1u : 0u) << C.Name;
        if (!C.Weight)
            continue;
        EXPECT_DOUBLE_EQ(H.Weights[0], C.Value) << C.Name;
        EXPECT_EQ(std::signbit(H.Weights[0]), C.Value < 0) << C.Name;
    }
}

// A status-word indicator's frames (STX, SWA, SWB, SWC, six digits of the
// weight and six of the tare, CR, an optional checksum) also begin with STX.
TEST_F(KeliFrameTest, StatusWordFramesInLbAreNotTakenForThisProtocol) {
    std::vector<uint8_t> LStream;
    for (uint8_t LSwa : {uint8_t{0x22}, uint8_t{'+'}, uint8_t{'-'}})
        for (bool LChecksum : {false, true})
            for (int I = 0; I < 20; ++I) {
                const std::string LText =
                    std::string("\x02") + static_cast<char>(LSwa) + "  001234000000\r";
                LStream.insert(LStream.end(), LText.begin(), LText.end());
                if (LChecksum) {
                    uint8_t LSum = 0;
                    for (char LChar : LText)
                        LSum = static_cast<uint8_t>(LSum + LChar);
                    LStream.push_back(static_cast<uint8_t>(-LSum & 0x7F));
                }
            }
    for (size_t LPos = 0; LPos < LStream.size(); LPos += 29)
        H.Feed(std::vector<uint8_t>(LStream.begin() + static_cast<long>(LPos),
                                    LStream.begin() +
                                        static_cast<long>(std::min(LStream.size(), LPos + 29))));
    EXPECT_TRUE(H.Weights.empty()) << H.Weights.size() << " weights, first " << H.Weights[0];
    EXPECT_EQ(H.Refused, 0);
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
    LFrame[9] = 0x03; // a damaged frame: an end flag in its check
    LFrame[11] = 'x';
    H.Feed(LFrame);
    EXPECT_TRUE(H.Weights.empty());
    EXPECT_EQ(H.Data(), (std::vector<uint8_t>{LFrame[10], 'x'}));
}

TEST_F(KeliFrameTest, StartFlagInsideAFrameStartsAFrameOfItsOwn) {
    // The second frame starts at offset 9 of the first, which was cut short:
    // the first is damaged (its twelfth byte is no end flag), the second
    // decodes.
    auto LFirst = KeliFrame("000001", '0');
    LFirst.resize(9);
    H.Feed(Concat({LFirst, KeliFrame("000002", '0')}));
    ASSERT_EQ(H.Weights.size(), 1u);
    EXPECT_EQ(H.Weights[0], 2.0);
    EXPECT_EQ(H.Size, 0u);
}

TEST_F(KeliFrameTest, ChunkOf2000BytesLosesNoFrameTheScansMakeRoomFor) {
    // A frame inside the first 1024 bytes, one across the limit, one beyond:
    // the buffer still holds at most 1024, and the chunk goes in by pieces.
    std::vector<uint8_t> LChunk(1000, 'z');
    LChunk = Concat({LChunk,
                     KeliFrame("000001", '0'),
                     {'z', 'z', 'z', 'z'},
                     KeliFrame("000002", '0'),
                     KeliFrame("000003", '0')});
    LChunk.resize(2000, 'z');
    H.Feed(LChunk);
    EXPECT_EQ(H.Weights, (std::vector<double>{1.0, 2.0, 3.0}));
    EXPECT_LE(H.Size, 11u);
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
    EXPECT_EQ(H.Refused, 0); // their checks were right
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
