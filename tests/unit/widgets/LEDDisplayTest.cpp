#include "app/widgets/LEDDisplay.h"
#include "PixelTable.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

constexpr TColor COn = RGB(0, 255, 0);
constexpr TColor COff = RGB(0, 51, 0);

std::array<uint8_t, 5> MaskOf(char16_t AChar) {
    const TLEDCharMask& M = DotMasks[AChar - 32];
    return {M.Col0, M.Col1, M.Col2, M.Col3, M.Col4};
}

// The main window's display: bounds 665 x 82, client area 663 x 80 at (1, 1).
class MainDisplay : public ::testing::Test {
protected:
    static constexpr int CPitch = 11, CY0 = 2, CClient = 1;

    MainDisplay() { D.SetBounds(8, 100, 665, 82); }

    TColor At(int AClientX, int AClientY) const {
        return D.Surface().Pixel(CClient + AClientX, CClient + AClientY);
    }

    // Reads the glyph of the cell at client X from the dots' centres; every
    // dot must be lit or unlit, and column 5 unlit.
    std::array<uint8_t, 5> ReadCell(int ACellX) const {
        std::array<uint8_t, 5> LCols{};
        for (int R = 0; R < 7; ++R)
            for (int C = 0; C < 6; ++C) {
                const TColor LColor = At(ACellX + C * CPitch + 5, CY0 + R * CPitch + 5);
                EXPECT_TRUE(LColor == COn || LColor == COff) << "cell " << ACellX;
                if (LColor == COn) {
                    EXPECT_LT(C, 5) << "cell " << ACellX;
                    if (C < 5)
                        LCols[C] |= uint8_t(128 >> R);
                }
            }
        return LCols;
    }

    // Checks that the cells at the given X positions show AText in order.
    void ExpectCells(const std::vector<int>& AXs, std::u16string_view AText) const {
        ASSERT_EQ(AXs.size(), AText.size());
        for (size_t I = 0; I < AXs.size(); ++I)
            EXPECT_EQ(ReadCell(AXs[I]), MaskOf(AText[I])) << "cell at " << AXs[I];
    }

    TLEDDisplay D;
};

} // namespace

TEST_F(MainDisplay, DotDimensionsFromTheClientHeight) {
    EXPECT_EQ(D.AdjustClientRect(), Rect(1, 1, 664, 81));
    EXPECT_EQ(D.DotSize(), 10);
    EXPECT_EQ(D.DotGap(), 1);
    D.SetBounds(0, 0, 200, 42);
    EXPECT_EQ(D.DotSize(), 5);
    EXPECT_EQ(D.DotGap(), 0);
    D.SetBounds(0, 0, 200, 154); // client 152: 20 exactly
    EXPECT_EQ(D.DotSize(), 20);
    EXPECT_EQ(D.DotGap(), 2);
    D.SetBounds(0, 0, 200, 4);
    EXPECT_EQ(D.DotSize(), 1);
    // A frame change shrinks the client area and the dots with it.
    D.SetBounds(0, 0, 665, 82);
    D.SetBorderWidth(10); // client height 60
    EXPECT_EQ(D.DotSize(), 7);
    EXPECT_EQ(D.DotGap(), 0);
}

TEST_F(MainDisplay, ConstructedAsTheWindowExpects) {
    TLEDDisplay LFresh;
    EXPECT_EQ(LFresh.Width(), 100);
    EXPECT_EQ(LFresh.Height(), 30);
    EXPECT_EQ(LFresh.BorderOuter(), fsStatus);
    EXPECT_EQ(LFresh.BorderInner(), fsNone);
    EXPECT_EQ(LFresh.BevelWidth(), 1);
    EXPECT_EQ(LFresh.BorderWidth(), 0);
    EXPECT_EQ(LFresh.BorderSides(), CAllBorderSides);
    EXPECT_EQ(LFresh.Alignment(), taLeftJustify);
    EXPECT_EQ(LFresh.BackColor(), clBlack);
    EXPECT_EQ(LFresh.SegOnColor(), COn);
    EXPECT_EQ(LFresh.SegOffColor(), COff);
    EXPECT_EQ(LFresh.InteriorColor(), clBlack);
    EXPECT_EQ(LFresh.DotSize(), 3); // client height 28
    EXPECT_EQ(LFresh.PaintCount(), 1u);
}

TEST_F(MainDisplay, FrameRingColoursAndCorners) {
    const TBitmap& B = D.Surface();
    EXPECT_EQ(B.Width(), 665);
    EXPECT_EQ(B.Height(), 82);
    constexpr TColor S = clBtnShadow, H = clBtnHighlight;
    // Just inside the ring, at (1, 1) and (663, 1): the ground above the cells.
    const TPixelRow LWanted[] = {{0, 0, S},       {300, 0, S},      {0, 40, S},   {664, 0, H},
                                 {0, 81, H},      {664, 81, H},     {664, 40, H}, {300, 81, H},
                                 {1, 1, clBlack}, {663, 1, clBlack}};
    EXPECT_EQ(WrongPixels(B, LWanted), TWrongPixels{});
}

TEST_F(MainDisplay, StartCaptionFillsTheFourRightmostCells) {
    D.SetAlignment(taRightJustify);
    D.SetCaption(u"-000");
    ExpectCells({399, 465, 531, 597}, u"-000");
    ExpectCells({3, 69, 135, 201, 267, 333}, u"      ");
    // The cell at -63 shows three pixel columns: its unlit column 5 and the
    // ring of that dot.
    for (int R = 0; R < 7; ++R) {
        const int Y = CY0 + R * CPitch + 5;
        EXPECT_EQ(At(0, Y), COff);
        EXPECT_EQ(At(1, Y), COff);
        EXPECT_EQ(At(2, Y), clBlack);
    }
}

TEST_F(MainDisplay, OneDotIsALitSquareFramedInTheGround) {
    D.SetAlignment(taRightJustify);
    D.SetCaption(u"0"); // column 1 of "0" is 8A: row 0 lit
    const int X = 597 + CPitch, Y = CY0;
    for (int I = 0; I <= 10; ++I) {
        EXPECT_EQ(At(X + I, Y), clBlack);
        EXPECT_EQ(At(X + I, Y + 10), clBlack);
        EXPECT_EQ(At(X, Y + I), clBlack);
        EXPECT_EQ(At(X + 10, Y + I), clBlack);
    }
    for (int YY = Y + 1; YY < Y + 10; ++YY)
        for (int XX = X + 1; XX < X + 10; ++XX)
            ASSERT_EQ(At(XX, YY), COn) << XX << "," << YY;
    // The row of cells ends one pixel above the bottom: the last ring row.
    EXPECT_EQ(At(X + 5, 78), clBlack);
    EXPECT_EQ(At(X + 5, 79), clBlack);
}

TEST_F(MainDisplay, WeightAndLongCaptionsRightAligned) {
    D.SetAlignment(taRightJustify);
    D.SetCaption(u"987.25");
    ExpectCells({267, 333, 399, 465, 531, 597}, u"987.25");
    ExpectCells({3, 69, 135, 201}, u"    ");

    D.SetCaption(u"12345678901234");
    ExpectCells({3, 69, 135, 201, 267, 333, 399, 465, 531, 597}, u"5678901234");

    const UnicodeString LHuge = UnicodeString(100000, u'1') + u"0123456789";
    D.SetCaption(LHuge);
    ExpectCells({3, 69, 135, 201, 267, 333, 399, 465, 531, 597}, u"0123456789");
}

TEST_F(MainDisplay, LeftAlignedTextAndBlanks) {
    D.SetCaption(u"-000");
    ExpectCells({0, 66, 132, 198}, u"-000");
    ExpectCells({264, 330, 396, 462, 528, 594}, u"      ");
    // The cell at 660 shows its column-0 dot ring and two unlit pixels.
    const int Y = CY0 + 3 * CPitch + 5;
    EXPECT_EQ(At(660, Y), clBlack);
    EXPECT_EQ(At(661, Y), COff);
    EXPECT_EQ(At(662, Y), COff);
}

TEST_F(MainDisplay, CenteredTextSitsOnItsOwnGrid) {
    D.SetAlignment(taCenter);
    D.SetCaption(u"-000"); // start (663 - 264) / 2 = 199; blanks from 199 mod 66 - 66 = -65
    ExpectCells({199, 265, 331, 397}, u"-000");
    ExpectCells({1, 67, 133, 463, 529, 595}, u"      ");

    // Wider than the display: (663 - 792) / 2 truncates to -64.
    D.SetCaption(u"ABCDEFGHIJKL");
    ExpectCells({2, 68, 134, 200, 266, 332, 398, 464, 530, 596}, u"BCDEFGHIJK");
}

TEST_F(MainDisplay, CharactersOutsideTheTableShowTheBlock) {
    D.SetAlignment(taRightJustify);
    D.SetCaption(u"1磅\u0100\u001F\u00FF");
    ExpectCells({333, 399, 465, 531, 597}, u"1\x7F\x7F\x7F\u00FF");
    EXPECT_NE(MaskOf(0xFF), MaskOf(127));
}

TEST_F(MainDisplay, RepaintsOnlyOnChange) {
    int LSignals = 0;
    D.OnPainted = [&] { ++LSignals; };
    const uint64_t LBefore = D.PaintCount();
    D.SetCaption(u"12.5");
    EXPECT_EQ(D.PaintCount(), LBefore + 1);
    EXPECT_EQ(LSignals, 1);
    const TBitmap LShown = D.Surface();
    D.SetCaption(u"12.5");
    D.SetAlignment(taLeftJustify);
    D.SetSegOnColor(COn);
    D.SetBevelWidth(1);
    EXPECT_EQ(D.PaintCount(), LBefore + 1);
    EXPECT_EQ(LSignals, 1);
    EXPECT_EQ(D.Surface(), LShown);

    // A bounds change paints once, with the new dot size already in place.
    D.SetBounds(0, 0, 665, 82);
    EXPECT_EQ(LSignals, 2);
    D.SetBounds(0, 0, 200, 42);
    EXPECT_EQ(LSignals, 3);
    EXPECT_EQ(D.Surface().Width(), 200);
    D.Loaded();
    EXPECT_EQ(LSignals, 4);
}

TEST_F(MainDisplay, ColourSettersRepaintWithTheNewColours) {
    D.SetAlignment(taRightJustify);
    D.SetCaption(u"8");
    D.SetSegOnColor(RGB(255, 0, 0));
    D.SetSegOffColor(RGB(0, 0, 64));
    D.SetBackColor(RGB(9, 9, 9));
    // "8" is 6C 92 ...: column 0, row 1 lit, row 0 unlit.
    EXPECT_EQ(At(597 + 5, CY0 + CPitch + 5), RGB(255, 0, 0));
    EXPECT_EQ(At(597 + 5, CY0 + 5), RGB(0, 0, 64));
    EXPECT_EQ(At(597, CY0), RGB(9, 9, 9));
    EXPECT_EQ(At(300, 0), RGB(9, 9, 9));
    EXPECT_EQ(D.InteriorColor(), RGB(9, 9, 9));
}

TEST_F(MainDisplay, FortyPixelHighDisplay) {
    D.SetBounds(0, 0, 200, 42); // client 198 x 40: dot 5, gap 0, cells 30 x 35 at Y0 2
    D.SetAlignment(taRightJustify);
    D.SetCaption(u"E");
    const auto LRead = [this](int ACellX) {
        std::array<uint8_t, 5> LCols{};
        for (int R = 0; R < 7; ++R)
            for (int C = 0; C < 5; ++C)
                if (D.Surface().Pixel(1 + ACellX + C * 5 + 2, 1 + 2 + R * 5 + 2) == COn)
                    LCols[C] |= uint8_t(128 >> R);
        return LCols;
    };
    EXPECT_EQ(LRead(168), MaskOf(u'E'));
    EXPECT_EQ(LRead(138), MaskOf(u' '));
    // With no gap the dot rings overlap: one ground pixel between lit dots.
    EXPECT_EQ(D.Surface().Pixel(1 + 168 + 5, 1 + 2 + 2), clBlack);
}

TEST_F(MainDisplay, TooSmallInsideIsLeftUndrawnButFramed) {
    D.SetCaption(u"888");
    D.SetBounds(0, 0, 100, 9); // client height 7
    for (const TColor C : D.Surface().Pixels())
        ASSERT_TRUE(C != COn && C != COff);
    EXPECT_EQ(D.Surface().Pixel(0, 0), clBtnShadow);
    EXPECT_EQ(D.Surface().Pixel(99, 8), clBtnHighlight);

    D.SetBounds(0, 0, 2, 82); // client width 0
    EXPECT_EQ(D.Surface().Pixel(0, 0), clBtnShadow);
    EXPECT_EQ(D.Surface().Pixel(1, 0), clBtnHighlight);

    // Every small size paints without touching memory outside the surface.
    for (int W = 0; W < 24; ++W)
        for (int H = 0; H < 24; ++H)
            for (const TAlignment A : {taLeftJustify, taRightJustify, taCenter}) {
                D.SetAlignment(A);
                D.SetBounds(0, 0, W, H);
            }
}

TEST(DotMasks, ListedRowsAndTheShapeOfTheTable) {
    const std::vector<std::pair<char16_t, std::array<uint8_t, 5>>> LListed = {
        {u' ', {0x00, 0x00, 0x00, 0x00, 0x00}}, {u'+', {0x10, 0x10, 0x7C, 0x10, 0x10}},
        {u',', {0x00, 0x02, 0x04, 0x00, 0x00}}, {u'-', {0x10, 0x10, 0x10, 0x10, 0x10}},
        {u'.', {0x00, 0x00, 0x02, 0x00, 0x00}}, {u'0', {0x7C, 0x8A, 0x92, 0xA2, 0x7C}},
        {u'1', {0x00, 0x42, 0xFE, 0x02, 0x00}}, {u'2', {0x46, 0x8A, 0x92, 0x92, 0x62}},
        {u'3', {0x44, 0x92, 0x92, 0x92, 0x6C}}, {u'4', {0xF0, 0x10, 0x10, 0x10, 0xFE}},
        {u'5', {0xF4, 0x92, 0x92, 0x92, 0x8C}}, {u'6', {0x7C, 0x92, 0x92, 0x92, 0x4C}},
        {u'7', {0xC0, 0x80, 0x8E, 0x90, 0xE0}}, {u'8', {0x6C, 0x92, 0x92, 0x92, 0x6C}},
        {u'9', {0x64, 0x92, 0x92, 0x92, 0x7C}}, {u'E', {0xFE, 0x92, 0x92, 0x92, 0x82}},
        {127, {0x00, 0x7C, 0x7C, 0x7C, 0x00}}};
    for (const auto& [LChar, LCols] : LListed)
        EXPECT_EQ(MaskOf(LChar), LCols) << int(LChar);

    const std::array<uint8_t, 5> LBlank{};
    for (int C = 32; C <= 255; ++C) {
        const auto LCols = MaskOf(char16_t(C));
        for (const uint8_t B : LCols)
            EXPECT_EQ(B & 1, 0) << C;
        const bool LBlankAt = C == 128 || C == 133 || C == 134 || C == 145 || C == 146 || C == 153;
        if (C >= 127 && C <= 160) {
            EXPECT_EQ(LCols, LBlankAt ? LBlank : MaskOf(127)) << C;
        } else if (C != 32) {
            EXPECT_NE(LCols, LBlank) << C;
        }
    }
    // Letters are told apart.
    EXPECT_NE(MaskOf(u'O'), MaskOf(u'0'));
    EXPECT_NE(MaskOf(u'A'), MaskOf(u'\u00C4'));
}
