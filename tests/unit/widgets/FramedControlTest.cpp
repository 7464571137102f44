#include "app/widgets/FramedControl.h"
#include "PixelTable.h"

#include <gtest/gtest.h>

namespace {

constexpr TColor S = clBtnShadow;
constexpr TColor H = clBtnHighlight;

} // namespace

TEST(FramedControl, ClientRectShrinksByEachStyleWidth) {
    TFramedControl C;
    C.SetBounds(5, 7, 40, 30);
    EXPECT_EQ(C.BorderOuter(), fsGroove);
    EXPECT_EQ(C.AdjustClientRect(), Rect(2, 2, 38, 28)); // at (0, 0), not at the bounds

    const struct {
        TFrameStyle Style;
        int32_t Width;
    } LCases[] = {{fsNone, 0},    {fsFlat, 1},   {fsGroove, 2}, {fsBump, 2},
                  {fsLowered, 2}, {fsRaised, 2}, {fsStatus, 3}, {fsPopup, 3}};
    C.SetBevelWidth(3);
    for (const auto& L : LCases) {
        C.SetBorderOuter(L.Style);
        C.SetBorderInner(fsFlat);
        const int32_t W = L.Width + 1;
        EXPECT_EQ(C.AdjustClientRect(), Rect(W, W, 40 - W, 30 - W)) << int(L.Style);
    }

    C.SetBorderInner(fsNone);
    C.SetBorderOuter(fsStatus);
    C.SetBorderWidth(4);
    EXPECT_EQ(C.AdjustClientRect(), Rect(7, 7, 33, 23));
    C.SetBorderSides(bsLeft | bsBottom);
    EXPECT_EQ(C.AdjustClientRect(), Rect(7, 4, 36, 23));

    // Too small: an empty rectangle, never an inverted one.
    C.SetBounds(0, 0, 10, 6);
    const TRect LEmpty = C.AdjustClientRect();
    EXPECT_TRUE(LEmpty.IsEmpty());
    EXPECT_GE(LEmpty.Width(), 0);
    EXPECT_GE(LEmpty.Height(), 0);
}

TEST(FramedControl, GrooveIsASunkenRingAroundARaisedOne) {
    TFramedControl C;
    C.SetBounds(0, 0, 20, 10);
    const TPixelRow LWanted[] = {{0, 0, S},  {10, 0, S}, {0, 5, S}, {19, 0, H},
                                 {0, 9, H},  {19, 9, H}, {1, 1, H}, {10, 1, H},
                                 {18, 1, S}, {1, 8, S},  {18, 5, S}};
    EXPECT_EQ(WrongPixels(C.Surface(), LWanted), TWrongPixels{});
}

TEST(FramedControl, StatusRingsPerBevelUnitOnTheNamedSidesOnly) {
    TFramedControl C;
    C.SetBorderOuter(fsStatus);
    C.SetBevelWidth(2);
    C.SetBorderShadow(RGB(1, 2, 3));
    C.SetBorderHighlight(RGB(4, 5, 6));
    C.SetBounds(0, 0, 12, 12);
    const TBitmap& B = C.Surface();
    for (const int I : {0, 1}) {
        EXPECT_EQ(B.Pixel(I, 6), RGB(1, 2, 3));
        EXPECT_EQ(B.Pixel(6, I), RGB(1, 2, 3));
        EXPECT_EQ(B.Pixel(11 - I, 6), RGB(4, 5, 6));
        EXPECT_EQ(B.Pixel(6, 11 - I), RGB(4, 5, 6));
    }
    EXPECT_EQ(B.Pixel(2, 6), clBlack);

    TFramedControl LTwoSides;
    LTwoSides.SetBorderOuter(fsStatus);
    LTwoSides.SetBorderSides(bsTop | bsRight);
    LTwoSides.SetBounds(0, 0, 8, 8);
    const TPixelRow LTwoWanted[] = {{0, 4, clBlack}, {4, 0, S}, {7, 4, H}, {4, 7, clBlack}};
    EXPECT_EQ(WrongPixels(LTwoSides.Surface(), LTwoWanted), TWrongPixels{});
}

TEST(FramedControl, BorderWidthBandTakesTheInteriorColour) {
    TFramedControl C;
    C.SetBorderOuter(fsFlat);
    C.SetBorderWidth(2);
    C.SetBounds(0, 0, 10, 10);
    // The inside (3, 3) is the descendant's.
    const TPixelRow LWanted[] = {
        {0, 0, S}, {1, 5, clBtnFace}, {2, 2, clBtnFace}, {7, 7, clBtnFace}, {3, 3, clBlack}};
    EXPECT_EQ(WrongPixels(C.Surface(), LWanted), TWrongPixels{});
    // A border wider than the control stays inside the frame.
    C.SetBorderWidth(50);
    const TPixelRow LWider[] = {{0, 0, S}, {9, 9, S}, {5, 5, clBtnFace}};
    EXPECT_EQ(WrongPixels(C.Surface(), LWider), TWrongPixels{});
}

TEST(FramedControl, EveryChangeRepaintsOnceAndSignals) {
    TFramedControl C;
    int LSignals = 0;
    C.OnPainted = [&] { ++LSignals; };
    C.SetBounds(0, 0, 10, 10);
    C.SetBorderWidth(1);
    C.SetBorderWidth(1); // unchanged
    C.SetBorderOuter(fsGroove);
    C.Loaded();
    EXPECT_EQ(C.PaintCount(), 3u);
    EXPECT_EQ(LSignals, 3);
}
