// What every frame scan shares: line noise never fills the receive buffer,
// so frames after a burst of it still decode.
#include "FrameTestSupport.h"
#include "weighbridge/UnitContinuousStxFrame.h"
#include "weighbridge/UnitKeliD2008Frame.h"
#include "weighbridge/UnitLineFraming.h"
#include "weighbridge/UnitReversedEqFrame.h"
#include "weighbridge/UnitXK3168Frame.h"

#include <algorithm>
#include <string>

namespace {

struct TScanCase {
    const char* Name;
    TFrameScan Scan;
    std::vector<uint8_t> Frame; // decodes to Weight
    double Weight;
    uint8_t Noise; // can never begin a frame
    uint32_t Keep; // most bytes left over without a pending start byte
};

TContinuousStxState GStxState;
TReversedEqState GEqState;

int32_t ScanStx(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink) {
    return AnalyzeContinuousStxFrames(ABuffer, ASize, ASink, GStxState);
}
int32_t ScanEq(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink) {
    return AnalyzeReversedEqFrames(ABuffer, ASize, ASink, GEqState);
}

std::vector<uint8_t> Bytes(const std::string& AText) {
    return {AText.begin(), AText.end()};
}

std::vector<TScanCase> ScanCases() {
    return {
        {"keli", &AnalyzeKeliD2008Frames, KeliTestFrame("001234", '1'), 123.4, 'A', 11},
        {"xk3168", &AnalyzeXK3168Frames, {0xFF, 0x02, 0x34, 0x12, 0x00}, 123.4, 0x11, 4},
        {"continuous-stx", &ScanStx, ContinuousStxTestFrame(0x23, 0x30, "001234", true), 123.4, 'A',
         17},
        // With the "=" of the frame after it, which alone makes it count.
        {"reversed-eq", &ScanEq, Bytes("=4.32100="), 123.4, 'A', 9},
    };
}

TEST(FrameScan, NoiseBurstBetweenFramesNeverFillsTheBuffer) {
    for (const TScanCase& C : ScanCases()) {
        TFrameHarness H(C.Scan);
        for (size_t LChunk : {size_t{1}, size_t{37}, size_t{700}, size_t{1100}}) {
            H.Weights.clear();
            H.Feed(C.Frame);
            // 1100 noise bytes in chunks, as the port hands them over.
            for (size_t LSent = 0; LSent < 1100; LSent += LChunk) {
                H.Feed(std::vector<uint8_t>(std::min(LChunk, 1100 - LSent), C.Noise));
                ASSERT_LE(H.Size, C.Keep) << C.Name << ", chunks of " << LChunk;
            }
            for (int I = 0; I < 3; ++I)
                H.Feed(C.Frame);
            ASSERT_EQ(H.Weights.size(), 4u) << C.Name << ", chunks of " << LChunk;
            for (double LWeight : H.Weights)
                EXPECT_DOUBLE_EQ(LWeight, C.Weight) << C.Name;
        }
    }
}

TEST(FrameScan, PendingFrameAfterNoiseStaysWhole) {
    for (const TScanCase& C : ScanCases()) {
        TFrameHarness H(C.Scan);
        // The frame's first half arrives with the noise, the rest later.
        const size_t LHalf = C.Frame.size() / 2;
        std::vector<uint8_t> LChunk(1000, C.Noise);
        LChunk.insert(LChunk.end(), C.Frame.begin(), C.Frame.begin() + LHalf);
        H.Feed(LChunk);
        EXPECT_LE(H.Size, C.Keep) << C.Name;
        const std::vector<uint8_t> LData = H.Data();
        ASSERT_GE(LData.size(), LHalf) << C.Name;
        EXPECT_TRUE(std::equal(C.Frame.begin(), C.Frame.begin() + LHalf, LData.end() - LHalf))
            << C.Name;
        H.Feed(std::vector<uint8_t>(C.Frame.begin() + LHalf, C.Frame.end()));
        ASSERT_EQ(H.Weights.size(), 1u) << C.Name;
        EXPECT_LT(H.Size, C.Frame.size() / 2) << C.Name; // a "=" may begin the next one
    }
}

// The port hands over up to 1024 bytes at once, while the buffer still holds
// the start of a frame: the chunk goes in piece by piece and no frame is lost.
TEST(FrameScan, FullChunksOfAStreamLoseNoFrame) {
    for (const TScanCase& C : ScanCases()) {
        TFrameHarness H(C.Scan);
        std::vector<uint8_t> LStream;
        const size_t LFrames = 3000 / C.Frame.size();
        for (size_t I = 0; I < LFrames; ++I)
            LStream.insert(LStream.end(), C.Frame.begin(), C.Frame.end());
        for (size_t LSent = 0; LSent < LStream.size(); LSent += 1024)
            H.Feed(std::vector<uint8_t>(LStream.begin() + LSent,
                                        LStream.begin() + std::min(LSent + 1024, LStream.size())));
        EXPECT_EQ(H.Weights.size(), LFrames) << C.Name;
    }
}

TEST(FramingJudge, SevenBitsOnlyWhenTheEighthBitWasSeenBothWays) {
    const std::vector<uint8_t> LLine = Bytes("ST,GS,+0012.50kg\r\n");
    const struct {
        std::vector<uint8_t> Bytes;
        TLineFraming Want;
    } CCases[] = {
        {{}, TLineFraming::lfNone},
        {LLine, TLineFraming::lf8N1},
        {WithParityBit(LLine, true), TLineFraming::lf7E1},
        {WithParityBit(LLine, false), TLineFraming::lf7O1},
        // Same parity in every byte: nothing proves a parity bit.
        {Bytes("0\n"), TLineFraming::lf8N1},
        {Bytes("12kg\r"), TLineFraming::lf8N1},
        {WithParityBit(Bytes("0\n"), false), TLineFraming::lf8N1},
        // One byte of the other parity.
        {Concat({WithParityBit(Bytes("1.5kg\r"), true), WithParityBit(Bytes("\n"), false)}),
         TLineFraming::lf8N1},
    };
    for (const auto& C : CCases) {
        TFramingJudge LJudge;
        for (uint8_t LByte : C.Bytes)
            LJudge.Judge(LByte);
        EXPECT_EQ(LJudge.Framing(), C.Want) << std::string(C.Bytes.begin(), C.Bytes.end());
    }
    EXPECT_STREQ(LineFramingName(TLineFraming::lf7O1), "7O1");
    EXPECT_STREQ(LineFramingName(TLineFraming::lfNone), "");
}

} // namespace
