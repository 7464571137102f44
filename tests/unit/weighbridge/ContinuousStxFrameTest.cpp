#include "FrameTestSupport.h"
#include "weighbridge/UnitContinuousStxFrame.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

TContinuousStxState GState;

int32_t ScanWithState(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink) {
    return AnalyzeContinuousStxFrames(ABuffer, ASize, ASink, GState);
}

class ContinuousStxTest : public ::testing::Test {
protected:
    void SetUp() override { GState.Reset(); }
    // AFrame, then the next frame's start flag, which tells that no checksum
    // follows.
    void FeedOne(const std::vector<uint8_t>& AFrame) {
        H.Feed(AFrame);
        H.Feed({0x02});
    }
    TFrameHarness H{&ScanWithState};
};

// Each frame alone, with the start flag of the next one after it.
TEST_F(ContinuousStxTest, StatusBytesScaleSignAndMarkEachFrame) {
    const struct {
        const char* Name;
        std::vector<uint8_t> Frame;
        bool Weight;
        double Value;
        bool InMotion;
    } CCases[] = {
        {"units", ContinuousStxTestFrame(0x22, 0x30, "001234"), true, 1234, false},
        {"one decimal", ContinuousStxTestFrame(0x23, 0x30, "001234"), true, 123.4, false},
        {"two decimals, increment bits", ContinuousStxTestFrame(0x3C, 0x30, "001234"), true, 12.34,
         false},
        {"five decimals", ContinuousStxTestFrame(0x27, 0x30, "001234"), true, 0.01234, false},
        {"tens", ContinuousStxTestFrame(0x21, 0x30, "001234"), true, 12340, false},
        {"hundreds", ContinuousStxTestFrame(0x20, 0x30, "001234"), true, 123400, false},
        {"negative net lb", ContinuousStxTestFrame(0x24, 0x23, "001560"), true, -15.6, false},
        {"negative zero", ContinuousStxTestFrame(0x22, 0x32, "000000"), true, 0, false},
        {"in motion", ContinuousStxTestFrame(0x22, 0x38, "  1234"), true, 1234, true},
        {"leading blanks", ContinuousStxTestFrame(0x22, 0x30, "     7", false, "     0"), true, 7,
         false},
        {"over or under range", ContinuousStxTestFrame(0x22, 0x34, "999999"), false, 0, false},
        {"SWA without bit 5", ContinuousStxTestFrame(0x02, 0x30, "001234"), false, 0, false},
        {"SWB without bit 5", ContinuousStxTestFrame(0x22, 0x10, "001234"), false, 0, false},
        {"blank after a digit", ContinuousStxTestFrame(0x22, 0x30, "0012 4"), false, 0, false},
        {"all blanks", ContinuousStxTestFrame(0x22, 0x30, "      "), false, 0, false},
        {"decimal point", ContinuousStxTestFrame(0x22, 0x30, "0012.4"), false, 0, false},
        {"bad tare", ContinuousStxTestFrame(0x22, 0x30, "001234", false, "00x000"), false, 0,
         false},
    };
    for (const auto& C : CCases) {
        H.Weights.clear();
        H.InMotion.clear();
        FeedOne(C.Frame);
        EXPECT_EQ(H.Data(), std::vector<uint8_t>{0x02}) << C.Name;
        ASSERT_EQ(H.Weights.size(), C.Weight ? 1u : 0u) << C.Name;
        if (!C.Weight)
            continue;
        EXPECT_DOUBLE_EQ(H.Weights[0], C.Value) << C.Name;
        EXPECT_EQ(std::signbit(H.Weights[0]), C.Value < 0) << C.Name;
        EXPECT_EQ(H.InMotion[0], C.InMotion) << C.Name;
    }
    EXPECT_EQ(H.Refused, 0);
}

TEST_F(ContinuousStxTest, ChecksumIsTakenWhenRightAndRefusedWhenWrong) {
    const auto LWith = ContinuousStxTestFrame(0x22, 0x30, "000042", true);
    auto LWrong = LWith;
    LWrong[ContinuousStx::CIdxSum] ^= 0x01;
    H.Feed(Concat({LWith, LWith, LWrong, ContinuousStxTestFrame(0x22, 0x30, "000043"), {0x02}}));
    EXPECT_EQ(H.Weights, (std::vector<double>{42, 42, 43}));
    EXPECT_EQ(H.Refused, 1);
    EXPECT_EQ(H.Data(), std::vector<uint8_t>{0x02});
    // A frame without its checksum waits for the byte after its CR.
    H.Feed(ContinuousStxTestFrame(0x22, 0x30, "000044"));
    EXPECT_EQ(H.Weights.size(), 3u);
    H.Feed({0x02});
    EXPECT_EQ(H.Weights, (std::vector<double>{42, 42, 43, 44}));
}

// A checksum that is itself a start flag: taken for none, and the frame
// after it still decodes.
TEST_F(ContinuousStxTest, ChecksumThatLooksLikeAStartFlag) {
    std::vector<uint8_t> LFrame;
    for (int LValue = 0; LValue < 1000; ++LValue) {
        char LDigits[8];
        std::snprintf(LDigits, sizeof LDigits, "%06d", LValue);
        LFrame = ContinuousStxTestFrame(0x22, 0x30, LDigits, true, "999999");
        if (LFrame.back() == 0x02)
            break;
    }
    ASSERT_EQ(LFrame.back(), 0x02);
    const auto LNext = ContinuousStxTestFrame(0x22, 0x30, "000001", true);
    H.Feed(Concat({LFrame, LNext, LNext}));
    ASSERT_EQ(H.Weights.size(), 3u);
    EXPECT_EQ(H.Weights[1], 1.0);
    EXPECT_EQ(H.Size, 0u);
}

TEST_F(ContinuousStxTest, StreamInChunksOfEverySizeAndItsFraming) {
    std::vector<uint8_t> LStream;
    std::vector<double> LWant;
    for (int I = 0; I < 40; ++I) {
        char LDigits[8];
        std::snprintf(LDigits, sizeof LDigits, "%6d", I * 37);
        LStream = Concat(
            {LStream, ContinuousStxTestFrame(0x23, I % 3 ? 0x30 : 0x32, LDigits, I % 2 == 0)});
        LWant.push_back((I % 3 ? 1 : -1) * I * 37 * 0.1);
    }
    LStream.push_back(0x02);
    for (const bool LEven : {true, false})
        for (size_t LChunk : {size_t{1}, size_t{5}, size_t{17}, size_t{300}}) {
            GState.Reset();
            H.Weights.clear();
            const auto LSent = WithParityBit(LStream, LEven);
            for (size_t LPos = 0; LPos < LSent.size(); LPos += LChunk)
                H.Feed(std::vector<uint8_t>(
                    LSent.begin() + static_cast<long>(LPos),
                    LSent.begin() + static_cast<long>(std::min(LSent.size(), LPos + LChunk))));
            ASSERT_EQ(H.Weights.size(), LWant.size()) << LChunk;
            for (size_t I = 0; I < LWant.size(); ++I)
                EXPECT_NEAR(H.Weights[I], LWant[I], 1e-9) << I;
            EXPECT_EQ(GState.Judge.Framing(), LEven ? TLineFraming::lf7E1 : TLineFraming::lf7O1);
        }
}

} // namespace
