#include "ui/Bitmap.h"
#include "PixelTable.h"

#include <gtest/gtest.h>

namespace {

constexpr TColor CRed = RGB(255, 0, 0);
constexpr TColor CBlue = RGB(0, 0, 255);

// Count of pixels of one colour.
int Count(const TBitmap& B, TColor AColor) {
    int N = 0;
    for (const TColor C : B.Pixels())
        N += C == AColor;
    return N;
}

} // namespace

TEST(Bitmap, ColourLayoutIsRRGGBB) {
    EXPECT_EQ(RGB(0x12, 0x34, 0x56), 0x123456u);
    EXPECT_EQ(GetRValue(0x123456), 0x12);
    EXPECT_EQ(GetGValue(0x123456), 0x34);
    EXPECT_EQ(GetBValue(0x123456), 0x56);
}

TEST(Bitmap, SizeAndOutOfRangePixels) {
    TBitmap B(4, 3, CRed);
    EXPECT_EQ(B.Width(), 4);
    EXPECT_EQ(B.Height(), 3);
    EXPECT_EQ(Count(B, CRed), 12);
    EXPECT_EQ(B.Pixel(-1, 0), clBlack);
    EXPECT_EQ(B.Pixel(4, 0), clBlack);
    B.SetPixel(4, 2, CBlue);
    B.SetPixel(-1, -1, CBlue);
    EXPECT_EQ(Count(B, CBlue), 0);
    B.SetSize(-5, 7);
    EXPECT_EQ(B.Width(), 0);
    EXPECT_EQ(B.Height(), 0);
    EXPECT_TRUE(B.Pixels().empty());
}

TEST(Bitmap, FillRectExcludesRightAndBottomAndClips) {
    TBitmap B(10, 10);
    B.FillRect(Rect(2, 3, 5, 4), CRed);
    EXPECT_EQ(Count(B, CRed), 3);
    const TPixelRow LFilled[] = {{2, 3, CRed}, {4, 3, CRed}, {5, 3, clBlack}, {2, 4, clBlack}};
    EXPECT_EQ(WrongPixels(B, LFilled), TWrongPixels{});

    B.FillRect(Rect(-5, -5, 2, 1), CBlue); // clipped to (0,0)-(2,1)
    EXPECT_EQ(Count(B, CBlue), 2);
    B.FillRect(Rect(8, 8, 100, 100), CBlue);
    EXPECT_EQ(Count(B, CBlue), 6);
    B.FillRect(Rect(5, 5, 5, 9), CBlue);     // empty
    B.FillRect(Rect(6, 6, 3, 3), CBlue);     // inverted
    B.FillRect(Rect(20, 20, 30, 30), CBlue); // outside
    EXPECT_EQ(Count(B, CBlue), 6);
}

TEST(Bitmap, FrameRectIsTheOutermostRing) {
    TBitmap B(8, 8);
    B.FrameRect(Rect(1, 1, 6, 5), CRed);
    EXPECT_EQ(Count(B, CRed), 5 + 5 + 2 + 2);
    const TPixelRow LRing[] = {{1, 1, CRed}, {5, 4, CRed}, {2, 2, clBlack}, {6, 1, clBlack}};
    EXPECT_EQ(WrongPixels(B, LRing), TWrongPixels{});
    TBitmap LOne(3, 3);
    LOne.FrameRect(Rect(1, 1, 2, 2), CRed);
    EXPECT_EQ(Count(LOne, CRed), 1);
    // Partly outside: only the visible part of the ring.
    TBitmap LEdge(4, 4);
    LEdge.FrameRect(Rect(-1, -1, 3, 3), CRed);
    EXPECT_EQ(Count(LEdge, CRed), 3 + 2);
}

TEST(Bitmap, LinesExcludeTheirEnd) {
    TBitmap B(5, 5);
    B.HLine(1, 4, 2, CRed);
    B.VLine(0, 0, 2, CBlue);
    EXPECT_EQ(Count(B, CRed), 3);
    EXPECT_EQ(B.Pixel(4, 2), clBlack);
    EXPECT_EQ(Count(B, CBlue), 2);
    EXPECT_EQ(B.Pixel(0, 2), clBlack);
}

TEST(Bitmap, CopyRectClipsBothSides) {
    TBitmap LSource(4, 4);
    for (int Y = 0; Y < 4; ++Y)
        for (int X = 0; X < 4; ++X)
            LSource.SetPixel(X, Y, TColor(Y * 4 + X + 1));

    TBitmap LDest(5, 5, CRed);
    LDest.CopyRect(1, 2, LSource, Rect(1, 1, 3, 3));
    EXPECT_EQ(LDest.Pixel(1, 2), 6u);
    EXPECT_EQ(LDest.Pixel(2, 3), 11u);
    EXPECT_EQ(Count(LDest, CRed), 25 - 4);

    // Source rectangle reaching outside its bitmap, destination off the left top.
    TBitmap LClip(3, 3, CRed);
    LClip.CopyRect(-1, -1, LSource, Rect(-2, -2, 4, 4));
    // Source (0,0) lands at (-1 + 2, -1 + 2).
    const TPixelRow LClipped[] = {{1, 1, 1u}, {2, 2, 6u}, {0, 0, CRed}};
    EXPECT_EQ(WrongPixels(LClip, LClipped), TWrongPixels{});
    EXPECT_EQ(Count(LClip, CRed), 5);

    // Overlapping copy within one bitmap reads the original pixels.
    TBitmap LSelf = LSource;
    LSelf.CopyRect(1, 0, LSelf, Rect(0, 0, 3, 1));
    const TPixelRow LShifted[] = {{1, 0, 1u}, {2, 0, 2u}, {3, 0, 3u}};
    EXPECT_EQ(WrongPixels(LSelf, LShifted), TWrongPixels{});
}
