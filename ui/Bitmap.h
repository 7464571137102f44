// An off-screen bitmap of the system's own: 32-bit pixels, row by row from
// the top-left corner, each 0x00RRGGBB. Every drawing operation is clipped to
// the bitmap; rectangles exclude their right and bottom edges.
#pragma once

#include <cstdint>
#include <vector>

using TColor = uint32_t; // 0x00RRGGBB

constexpr TColor RGB(uint8_t AR, uint8_t AG, uint8_t AB) {
    return (TColor(AR) << 16) | (TColor(AG) << 8) | TColor(AB);
}
constexpr uint8_t GetRValue(TColor AColor) {
    return uint8_t(AColor >> 16);
}
constexpr uint8_t GetGValue(TColor AColor) {
    return uint8_t(AColor >> 8);
}
constexpr uint8_t GetBValue(TColor AColor) {
    return uint8_t(AColor);
}

inline constexpr TColor clBlack = RGB(0, 0, 0);
inline constexpr TColor clWhite = RGB(255, 255, 255);
inline constexpr TColor clLime = RGB(0, 255, 0);

struct TRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;

    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    bool operator==(const TRect&) const = default;
};

constexpr TRect Rect(int32_t ALeft, int32_t ATop, int32_t ARight, int32_t ABottom) {
    return TRect{ALeft, ATop, ARight, ABottom};
}
constexpr TRect Bounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
    return TRect{ALeft, ATop, ALeft + AWidth, ATop + AHeight};
}
// The part of A inside B (empty when they do not meet).
TRect IntersectRect(const TRect& A, const TRect& B);

class TBitmap {
public:
    TBitmap() = default;
    TBitmap(int32_t AWidth, int32_t AHeight, TColor AFill = clBlack);

    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    TRect ClientRect() const { return Rect(0, 0, FWidth, FHeight); }
    // A negative size counts as 0; every pixel becomes AFill.
    void SetSize(int32_t AWidth, int32_t AHeight, TColor AFill = clBlack);

    // Outside the bitmap: clBlack, and writes are ignored.
    TColor Pixel(int32_t AX, int32_t AY) const;
    void SetPixel(int32_t AX, int32_t AY, TColor AColor);

    void FillRect(const TRect& ARect, TColor AColor);
    // The rectangle's outermost ring of pixels.
    void FrameRect(const TRect& ARect, TColor AColor);
    // From AX0 up to, not including, AX1 on row AY; and the same downwards.
    void HLine(int32_t AX0, int32_t AX1, int32_t AY, TColor AColor);
    void VLine(int32_t AX, int32_t AY0, int32_t AY1, TColor AColor);

    // Plain copy of ASource's ASourceRect to (AX, AY), clipped on both sides.
    void CopyRect(int32_t AX, int32_t AY, const TBitmap& ASource, const TRect& ASourceRect);

    const std::vector<TColor>& Pixels() const { return FPixels; }
    bool operator==(const TBitmap&) const = default;

private:
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    std::vector<TColor> FPixels;
};
