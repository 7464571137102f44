// What every frame scan shares: line noise never fills the receive buffer,
// so frames after a burst of it still decode.
#include "FrameTestSupport.h"
#include "weighbridge/UnitKeliD2008Frame.h"
#include "weighbridge/UnitLineFraming.h"
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

std::vector<TScanCase> ScanCases() {
    return {
        {"keli", &AnalyzeKeliD2008Frames, KeliTestFrame("001234", '1'), 123.4, 'A', 11},
        {"xk3168", &AnalyzeXK3168Frames, {0xFF, 0x02, 0x34, 0x12, 0x00}, 123.4, 0x11, 4},
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
        EXPECT_EQ(H.Size, 0u) << C.Name;
    }
}

// AText as a seven-bit sender puts it on the line, its parity in the eighth bit.
std::string WithParityBit(const std::string& AText, bool AEven) {
    std::string LOut;
    for (char LChar : AText) {
        int LOnes = 0;
        for (int B = 0; B < 7; ++B)
            LOnes += (LChar >> B) & 1;
        LOut += static_cast<char>(LChar | ((LOnes % 2 == 1) == AEven ? 0x80 : 0));
    }
    return LOut;
}

TEST(FramingJudge, SevenBitsOnlyWhenTheEighthBitWasSeenBothWays) {
    const struct {
        std::string Bytes;
        TLineFraming Want;
    } CCases[] = {
        {"", TLineFraming::lfNone},
        {"ST,GS,+0012.50kg\r\n", TLineFraming::lf8N1},
        {WithParityBit("ST,GS,+0012.50kg\r\n", true), TLineFraming::lf7E1},
        {WithParityBit("ST,GS,+0012.50kg\r\n", false), TLineFraming::lf7O1},
        // Same parity in every byte: nothing proves a parity bit.
        {"0\n", TLineFraming::lf8N1},
        {"12kg\r", TLineFraming::lf8N1},
        {WithParityBit("0\n", false), TLineFraming::lf8N1},
        // One byte of the other parity.
        {WithParityBit("1.5kg\r", true) + WithParityBit("\n", false), TLineFraming::lf8N1},
    };
    for (const auto& C : CCases) {
        TFramingJudge LJudge;
        for (char LChar : C.Bytes)
            LJudge.Judge(static_cast<uint8_t>(LChar));
        EXPECT_EQ(LJudge.Framing(), C.Want) << C.Bytes;
    }
    EXPECT_STREQ(LineFramingName(TLineFraming::lf7O1), "7O1");
    EXPECT_STREQ(LineFramingName(TLineFraming::lfNone), "");
}

} // namespace
