#include "FrameTestSupport.h"
#include "weighbridge/UnitAsciiLineFrame.h"

#include <cmath>
#include <string>

namespace {

TAsciiLineState GState;

int32_t ScanWithState(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink) {
    return AnalyzeAsciiLineFrames(ABuffer, ASize, ASink, GState);
}

std::vector<uint8_t> Bytes(const std::string& AText) {
    return {AText.begin(), AText.end()};
}

// The text as a seven-bit sender with even or odd parity puts it on the line.
std::vector<uint8_t> WithParity(const std::string& AText, bool AEven) {
    std::vector<uint8_t> LOut;
    for (char LChar : AText) {
        int LOnes = 0;
        for (int B = 0; B < 7; ++B)
            LOnes += (LChar >> B) & 1;
        const bool LSet = (LOnes % 2 == 1) == AEven;
        LOut.push_back(static_cast<uint8_t>(LChar | (LSet ? 0x80 : 0)));
    }
    return LOut;
}

// Weights are the integer of the digits times 0.1 to the number of decimals,
// so 12.5 may differ from the literal in its last bit.
void ExpectWeights(const std::vector<double>& AGot, const std::vector<double>& AWant) {
    ASSERT_EQ(AGot.size(), AWant.size());
    for (size_t I = 0; I < AGot.size(); ++I)
        EXPECT_DOUBLE_EQ(AGot[I], AWant[I]) << "weight " << I;
}

class AsciiLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        GState.Reset();
        H.Feed(Bytes("\n")); // the start of the first line is seen
    }
    TFrameHarness H{&ScanWithState};
};

TEST_F(AsciiLineTest, EveryLineEndAndLetterCase) {
    H.Feed(Bytes("12.5kg\r13\n-14.25 KG\r\n+0.000\r\r\n\n7Lb\n"));
    ExpectWeights(H.Weights, {12.5, 13, -14.25, 0, 7});
    EXPECT_FALSE(std::signbit(H.Weights[3]));
    EXPECT_EQ(H.Size, 0u);
}

TEST_F(AsciiLineTest, StatusFieldsBeforeAndUnitsAfter) {
    H.Feed(Bytes("ST,GS,+0001.23kg\r\nG    123.4 kg\r\nN 12.5lb\r\nUS,NT,-  0.5 t\r\n"
                 "  42  \r\nWT:7g\r\n"));
    ExpectWeights(H.Weights, {1.23, 123.4, 12.5, -0.5, 42, 7});
}

TEST_F(AsciiLineTest, LinesThatAreNoWeightLine) {
    const char* const CRejected[] = {"12 34",
                                     "1.2.3",
                                     "12kgx",
                                     "12 kg 3",
                                     "1.",
                                     ".5",
                                     "+",
                                     "kg",
                                     "ST,GS,kg",
                                     "12,5",
                                     "--12",
                                     "1+2",
                                     "12%",
                                     "12oz",
                                     "1234567890123456",
                                     "ST=12",
                                     "\x01"
                                     "12",
                                     "12\x7f"};
    for (const char* LLine : CRejected)
        H.Feed(Bytes(std::string(LLine) + "\r\n"));
    // Built in place: GCC 12 takes a temporary plus a literal for an overflow.
    std::string LLong(65, '1');
    H.Feed(Bytes(LLong.append("\r\n")));
    EXPECT_TRUE(H.Weights.empty()) << H.Weights.size() << " weights, first " << H.Weights[0];
    // Fifteen digits and 64 characters still make a weight.
    H.Feed(Bytes("123456789012345\r\n" + std::string(63, ' ') + "9\r\n"));
    ExpectWeights(H.Weights, {123456789012345.0, 9});
    EXPECT_EQ(H.Size, 0u);
}

TEST_F(AsciiLineTest, LineSplitAcrossScansAndAnUnseenStart) {
    GState.Reset();
    H.Feed(Bytes("3.45kg\r\n12")); // joined in the middle of a line
    EXPECT_TRUE(H.Weights.empty());
    EXPECT_EQ(H.Data(), Bytes("12"));
    H.Feed(Bytes("3.4k"));
    H.Feed(Bytes("g\r"));
    ExpectWeights(H.Weights, {123.4});
    H.Feed(Bytes("\n5"));
    EXPECT_EQ(H.Data(), Bytes("5"));
}

TEST_F(AsciiLineTest, FullBufferWithoutLineEndIsConsumedWithItsLine) {
    H.Feed(std::vector<uint8_t>(1024, '7'));
    EXPECT_EQ(H.Size, 0u);
    // The tail of the overlong line is not a weight; the line after it is.
    H.Feed(Bytes("5kg\r\n6kg\r\n"));
    ExpectWeights(H.Weights, {6});
    H.Feed(Bytes(std::string(100, 'x')));
    EXPECT_EQ(H.Size, 0u);
}

TEST_F(AsciiLineTest, FramingFromTheEighthBitOfAcceptedLines) {
    EXPECT_EQ(GState.Framing(), TLineFraming::lfNone);
    EXPECT_STREQ(LineFramingName(TLineFraming::lfNone), "");
    H.Feed(Bytes("ST,GS,\r\n")); // no weight line: not judged
    EXPECT_EQ(GState.Framing(), TLineFraming::lfNone);

    for (bool LEven : {true, false}) {
        GState.Reset();
        H.Weights.clear();
        H.Feed(WithParity("\r\nST,GS,+0012.50kg\r", LEven));
        H.Feed(WithParity("\nST,GS,+0013.00kg\r\n", LEven));
        H.Feed(Bytes("12 34\r\n")); // rejected, so its bits do not count
        ExpectWeights(H.Weights, {12.5, 13});
        const TLineFraming LWant = LEven ? TLineFraming::lf7E1 : TLineFraming::lf7O1;
        EXPECT_EQ(GState.Framing(), LWant);
        EXPECT_STREQ(LineFramingName(GState.Framing()), LEven ? "7E1" : "7O1");
        // The LF of a CR LF counts: one of the other parity breaks the judgement.
        H.Feed(WithParity("1\r", LEven));
        H.Feed(WithParity("\n", !LEven));
        EXPECT_EQ(GState.Framing(), TLineFraming::lf8N1);
    }

    GState.Reset();
    H.Feed(Bytes("\r\n1\r\n2\r\n"));
    EXPECT_EQ(GState.Framing(), TLineFraming::lf8N1);
    // Lines whose bytes all happen to have even (or all odd) parity prove
    // no parity bit: an empty scale's "0" LF, or "12kg" CR.
    for (const char* LLines : {"\n0\n0\n", "\r12kg\r12kg\r"}) {
        GState.Reset();
        H.Feed(Bytes(LLines));
        EXPECT_EQ(GState.Framing(), TLineFraming::lf8N1) << LLines;
    }
    EXPECT_STREQ(LineFramingName(TLineFraming::lf8N1), "8N1");
}

} // namespace
