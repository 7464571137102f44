#include "FrameTestSupport.h"
#include "weighbridge/UnitReversedEqFrame.h"

#include <cmath>
#include <string>

namespace {

TReversedEqState GState;

int32_t ScanWithState(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink) {
    return AnalyzeReversedEqFrames(ABuffer, ASize, ASink, GState);
}

std::vector<uint8_t> Bytes(const std::string& AText) {
    return {AText.begin(), AText.end()};
}

class ReversedEqTest : public ::testing::Test {
protected:
    void SetUp() override { GState.Reset(); }
    TFrameHarness H{&ScanWithState};
};

TEST_F(ReversedEqTest, EachFrameBetweenTwoEqualSigns) {
    const struct {
        const char* Frame; // the next "=" follows
        bool Weight;
        double Value;
    } CCases[] = {
        {"=06.8200", true, 28.6}, {"=5.2100-", true, -12.5},   {"=000.3000", true, 3},
        {"=00.1000-", true, -1},  {"=0654321", true, 1234560}, {"=12345678", true, 87654321},
        {"=0000000-", true, 0},   {"=00.0000", true, 0},       {"=06.82.0", false, 0}, // two points
        {"=06-8200", false, 0},   // a sign below the highest place
        {"=.682000", false, 0},   // a point in the lowest place
        {"=068200.", false, 0},   // ... or in the highest
        {"=50000.-", false, 0},   // no digit between the sign and the point
        {"=06A8200", false, 0},   // a letter
        {"=06 8200", false, 0},   // a blank
        {"=068200", false, 0},    // six characters
        {"=068200000", false, 0}, // nine
        {"=", false, 0},          // none
    };
    for (const auto& C : CCases) {
        H.Weights.clear();
        H.Feed(Bytes(C.Frame));
        EXPECT_TRUE(H.Weights.empty()) << C.Frame << ": counted before the next \"=\"";
        H.Feed(Bytes("="));
        EXPECT_EQ(H.Data(), Bytes("=")) << C.Frame;
        ASSERT_EQ(H.Weights.size(), C.Weight ? 1u : 0u) << C.Frame;
        if (!C.Weight)
            continue;
        EXPECT_DOUBLE_EQ(H.Weights[0], C.Value) << C.Frame;
        EXPECT_EQ(std::signbit(H.Weights[0]), C.Value < 0) << C.Frame;
    }
}

TEST_F(ReversedEqTest, StreamInChunksBothLengthsAndItsFraming) {
    std::string LStream = "3.1="; // joined in the middle of a frame
    const std::vector<double> LWant{28.6, -12.5, 3, -1, 28.6, -12.5, 3, -1};
    for (int I = 0; I < 2; ++I)
        LStream += "=06.8200=5.2100-=000.3000=00.1000-";
    LStream += "=";
    const std::vector<uint8_t> LBytes = Bytes(LStream);
    for (const bool LEven : {true, false})
        for (size_t LChunk : {size_t{1}, size_t{3}, size_t{9}, size_t{100}}) {
            GState.Reset();
            H.Weights.clear();
            const auto LSent = WithParityBit(LBytes, LEven);
            for (size_t LPos = 0; LPos < LSent.size(); LPos += LChunk)
                H.Feed(std::vector<uint8_t>(
                    LSent.begin() + static_cast<long>(LPos),
                    LSent.begin() + static_cast<long>(std::min(LSent.size(), LPos + LChunk))));
            ASSERT_EQ(H.Weights.size(), LWant.size()) << LChunk;
            for (size_t I = 0; I < LWant.size(); ++I)
                EXPECT_DOUBLE_EQ(H.Weights[I], LWant[I]) << I;
            EXPECT_EQ(GState.Judge.Framing(), LEven ? TLineFraming::lf7E1 : TLineFraming::lf7O1);
            EXPECT_EQ(H.Size, 1u);
        }
    // Sent as 8N1.
    GState.Reset();
    H.Feed(Bytes("=06.8200=06.8200="));
    EXPECT_EQ(GState.Judge.Framing(), TLineFraming::lf8N1);
}

TEST_F(ReversedEqTest, WhatCanBeginNoFrameIsConsumed) {
    H.Feed(Bytes("12345"));
    EXPECT_EQ(H.Size, 0u);
    H.Feed(Bytes("=0123456"));
    EXPECT_EQ(H.Size, 8u);
    H.Feed(Bytes("78")); // nine characters after the "=": no frame any more
    EXPECT_EQ(H.Size, 0u);
    H.Feed(Bytes("=1000000="));
    EXPECT_EQ(H.Weights, std::vector<double>{1});
}

} // namespace
