// A line of text as 5 x 7 dot-matrix character cells, like a green LED panel:
// lit and unlit dots on a black ground inside a thin sunken frame.
#pragma once

#include "app/widgets/FramedControl.h"
#include "platform/Text.h"

#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

// One glyph: five columns, left to right; bit 7 is the top row, bit 1 the
// bottom row, bit 0 is always clear.
struct TLEDCharMask {
    uint8_t Col0, Col1, Col2, Col3, Col4;
};

// Characters #32 to #255.
inline constexpr char16_t CLEDFirstChar = 32;
inline constexpr char16_t CLEDLastChar = 255;
// Drawn in place of characters outside #32..#255.
inline constexpr char16_t CLEDReplacementChar = 127;
using TLEDValidChars = char16_t;
using TLEDCharacters = std::array<TLEDCharMask, CLEDLastChar - CLEDFirstChar + 1>;

extern const TLEDCharacters DotMasks;

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

class TLEDDisplay : public TFramedControl {
    SP_CLASS(TLEDDisplay, TFramedControl)
public:
    TLEDDisplay();

    TAlignment Alignment() const { return FAlignment; }
    const UnicodeString& Caption() const { return FCaption; }
    int32_t DotSize() const { return FDotSize; }
    int32_t DotGap() const { return FDotGap; }
    TColor BackColor() const { return FBackColor; }
    TColor SegOnColor() const { return FSegOnColor; }
    TColor SegOffColor() const { return FSegOffColor; }

    void SetAlignment(TAlignment AValue);
    virtual void SetCaption(const UnicodeString& AValue);
    virtual void SetBackColor(TColor AValue);
    virtual void SetSegOnColor(TColor AValue);
    virtual void SetSegOffColor(TColor AValue);

    void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
    TColor InteriorColor() const override { return FBackColor; }
    void SetBevelWidth(int32_t AValue) override;
    void SetBorderInner(TFrameStyle AValue) override;
    void SetBorderOuter(TFrameStyle AValue) override;
    void SetBorderSides(TBorderSides AValue) override;
    void SetBorderWidth(int32_t AValue) override;

    // One cell whose top-left corner is that of ABounds; ASymbol in #32..#255.
    virtual void DrawCell(TBitmap& ACanvas, const TRect& ABounds, TLEDValidChars ASymbol) const;
    // Colour of one dot: column 0..5 (5 is the gap between characters), row 0..6.
    TColor DotColor(TLEDValidChars ASymbol, int32_t ACol, int32_t ARow) const;

protected:
    void Paint() override;

private:
    // The cells a paint draws: the left edge and symbol of each, left to
    // right, the text over the blank cells of its grid.
    using TCells = std::vector<std::pair<int64_t, TLEDValidChars>>;
    TCells CellsOf(int32_t ACW, int32_t AW) const;
    // Everything but the text that the painted pixels depend on.
    std::vector<int64_t> PaintSettings(const TRect& AClient) const;
    void UpdateDotDimensions();
    // Runs a change of bounds or frame, then derives the dots; paints once.
    void WithDotUpdate(const std::function<void()>& AChange);

    TAlignment FAlignment = taLeftJustify;
    UnicodeString FCaption;
    int32_t FDotSize = 2;
    int32_t FDotGap = 0;
    TColor FBackColor = clBlack;
    TColor FSegOnColor = RGB(0, 255, 0);
    TColor FSegOffColor = RGB(0, 51, 0);
    // What the surface shows since the last paint. A paint with the same
    // settings and cell grid draws only the cells whose symbol changed.
    std::vector<int64_t> FPaintedSettings;
    TCells FPaintedCells;
};
