#include "app/widgets/FramedControl.h"

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
    const TBitmap& B = C.Surface();
    EXPECT_EQ(B.Pixel(0, 0), S);
    EXPECT_EQ(B.Pixel(10, 0), S);
    EXPECT_EQ(B.Pixel(0, 5), S);
    EXPECT_EQ(B.Pixel(19, 0), H);
    EXPECT_EQ(B.Pixel(0, 9), H);
    EXPECT_EQ(B.Pixel(19, 9), H);
    EXPECT_EQ(B.Pixel(1, 1), H);
    EXPECT_EQ(B.Pixel(10, 1), H);
    EXPECT_EQ(B.Pixel(18, 1), S);
    EXPECT_EQ(B.Pixel(1, 8), S);
    EXPECT_EQ(B.Pixel(18, 5), S);
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
    EXPECT_EQ(LTwoSides.Surface().Pixel(0, 4), clBlack);
    EXPECT_EQ(LTwoSides.Surface().Pixel(4, 0), S);
    EXPECT_EQ(LTwoSides.Surface().Pixel(7, 4), H);
    EXPECT_EQ(LTwoSides.Surface().Pixel(4, 7), clBlack);
}

TEST(FramedControl, BorderWidthBandTakesTheInteriorColour) {
    TFramedControl C;
    C.SetBorderOuter(fsFlat);
    C.SetBorderWidth(2);
    C.SetBounds(0, 0, 10, 10);
    const TBitmap& B = C.Surface();
    EXPECT_EQ(B.Pixel(0, 0), S);
    EXPECT_EQ(B.Pixel(1, 5), clBtnFace);
    EXPECT_EQ(B.Pixel(2, 2), clBtnFace);
    EXPECT_EQ(B.Pixel(7, 7), clBtnFace);
    EXPECT_EQ(B.Pixel(3, 3), clBlack); // the inside is the descendant's

    // A border wider than the control stays inside the frame.
    C.SetBorderWidth(50);
    EXPECT_EQ(B.Pixel(0, 0), S);
    EXPECT_EQ(B.Pixel(9, 9), S);
    EXPECT_EQ(B.Pixel(5, 5), clBtnFace);
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
