#include "FrameTestSupport.h"
#include "weighbridge/UnitXK3168Frame.h"

#include <cmath>

namespace {

class XKFrameTest : public ::testing::Test {
protected:
    TFrameHarness H{&AnalyzeXK3168Frames};
};

TEST_F(XKFrameTest, StatusCodeScalesAndBit5Negates) {
    H.Feed({0xFF, 0x02, 0x34, 0x12, 0x00});
    H.Feed({0xFF, 0x22, 0x34, 0x12, 0x00});
    H.Feed({0xFF, 0x01, 0x34, 0x12, 0x00});
    H.Feed({0xFF, 0x00, 0x34, 0x12, 0x00});
    H.Feed({0xFF, 0x04, 0x34, 0x12, 0x00});
    H.Feed({0xFF, 0x91, 0x99, 0x99, 0x99}); // overload and stable bits are ignored
    ASSERT_EQ(H.Weights.size(), 6u);
    EXPECT_DOUBLE_EQ(H.Weights[0], 123.4);
    EXPECT_DOUBLE_EQ(H.Weights[1], -123.4);
    EXPECT_EQ(H.Weights[2], 1234.0);
    EXPECT_EQ(H.Weights[3], 12340.0);
    EXPECT_DOUBLE_EQ(H.Weights[4], 1.234);
    EXPECT_EQ(H.Weights[5], 999999.0);
    EXPECT_EQ(H.Size, 0u);
}

TEST_F(XKFrameTest, NegativeZeroEqualsZero) {
    H.Feed({0xFF, 0x21, 0x00, 0x00, 0x00});
    ASSERT_EQ(H.Weights.size(), 1u);
    EXPECT_TRUE(std::signbit(H.Weights[0]));
    EXPECT_TRUE(H.Weights[0] == 0.0);
}

TEST_F(XKFrameTest, InvalidNibbleDropsOnlyTheLeadByte) {
    H.Feed({0xFF, 0x02, 0x3A, 0x12, 0x00});
    EXPECT_TRUE(H.Weights.empty());
    EXPECT_EQ(H.Data(), (std::vector<uint8_t>{0x02, 0x3A, 0x12, 0x00}));
    // The leftovers go with the next frame.
    H.Feed({0xFF, 0x01, 0x07, 0x00, 0x00});
    ASSERT_EQ(H.Weights.size(), 1u);
    EXPECT_EQ(H.Weights[0], 7.0);
    EXPECT_EQ(H.Size, 0u);
}

TEST_F(XKFrameTest, ValidFrameAfterAnInvalidOneInTheSameChunk) {
    H.Feed({0xFF, 0x02, 0xA0, 0x12, 0x00, 0xFF, 0x01, 0x05, 0x00, 0x00});
    ASSERT_EQ(H.Weights.size(), 1u);
    EXPECT_EQ(H.Weights[0], 5.0);
    EXPECT_EQ(H.Size, 0u);
}

TEST_F(XKFrameTest, LeadByteInsideADecodedFrameStartsAnother) {
    // FF FF 01 05 00 00: the first frame has 0xFF as its status byte and
    // decodes; the second 0xFF leads a frame of its own, one byte later.
    H.Feed({0xFF, 0xFF, 0x01, 0x05, 0x00, 0x00});
    ASSERT_EQ(H.Weights.size(), 2u);
    EXPECT_EQ(H.Size, 0u);
    EXPECT_EQ(H.Weights[1], 5.0);
}

TEST_F(XKFrameTest, TwoFramesInOneChunkAndSplitFrames) {
    H.Feed({0xFF, 0x01, 0x11, 0x00, 0x00, 0xFF, 0x01, 0x22, 0x00, 0x00});
    H.Feed({0xFF, 0x01, 0x33});
    EXPECT_EQ(H.Size, 3u);
    H.Feed({0x00, 0x00});
    ASSERT_EQ(H.Weights.size(), 3u);
    EXPECT_EQ(H.Weights[0], 11.0);
    EXPECT_EQ(H.Weights[1], 22.0);
    EXPECT_EQ(H.Weights[2], 33.0);
    EXPECT_EQ(H.Size, 0u);
}

TEST_F(XKFrameTest, BytesBeforeTheFirstFrameGoWithIt) {
    H.Feed({0x12, 0x34, 0x56});
    EXPECT_EQ(H.Size, 3u);
    H.Feed({0xFF, 0x01, 0x01, 0x00, 0x00, 0xFF});
    EXPECT_EQ(H.Data(), (std::vector<uint8_t>{0xFF}));
}

TEST_F(XKFrameTest, ChunkOf2000BytesLosesNoFrameTheScansMakeRoomFor) {
    // A frame inside the first 1024 bytes, one across the limit, one beyond.
    std::vector<uint8_t> LChunk(1017, 0x30);
    LChunk.insert(LChunk.end(), {0xFF, 0x01, 0x07, 0x00, 0x00, 0x30, 0xFF, 0x01, 0x08, 0x00, 0x00,
                                 0xFF, 0x01, 0x09, 0x00, 0x00});
    LChunk.resize(2000, 0x30);
    H.Feed(LChunk);
    EXPECT_EQ(H.Weights, (std::vector<double>{7.0, 8.0, 9.0}));
    EXPECT_LE(H.Size, 4u);
}

TEST(XKBcdTest, NibblesAreAlwaysWritten) {
    int32_t LLow = -1, LHigh = -1;
    EXPECT_TRUE(GetValueFromBCD(0x93, LLow, LHigh));
    EXPECT_EQ(LLow, 3);
    EXPECT_EQ(LHigh, 9);
    EXPECT_FALSE(GetValueFromBCD(0xA3, LLow, LHigh));
    EXPECT_EQ(LLow, 3);
    EXPECT_EQ(LHigh, 10);
}

} // namespace
