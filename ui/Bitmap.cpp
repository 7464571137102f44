#include "ui/Bitmap.h"

#include <algorithm>
#include <cstddef>

TRect IntersectRect(const TRect& A, const TRect& B) {
    const TRect R{std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
                  std::min(A.Bottom, B.Bottom)};
    return R.IsEmpty() ? TRect{} : R;
}

TBitmap::TBitmap(int32_t AWidth, int32_t AHeight, TColor AFill) {
    SetSize(AWidth, AHeight, AFill);
}

void TBitmap::SetSize(int32_t AWidth, int32_t AHeight, TColor AFill) {
    FWidth = std::max(AWidth, 0);
    FHeight = std::max(AHeight, 0);
    if (FWidth == 0 || FHeight == 0)
        FWidth = FHeight = 0;
    FPixels.assign(size_t(FWidth) * size_t(FHeight), AFill);
}

TColor TBitmap::Pixel(int32_t AX, int32_t AY) const {
    if (AX < 0 || AY < 0 || AX >= FWidth || AY >= FHeight)
        return clBlack;
    return FPixels[size_t(AY) * size_t(FWidth) + size_t(AX)];
}

void TBitmap::SetPixel(int32_t AX, int32_t AY, TColor AColor) {
    FillRect(Rect(AX, AY, AX + 1, AY + 1), AColor);
}

void TBitmap::FillRect(const TRect& ARect, TColor AColor) {
    const TRect R = IntersectRect(ARect, ClientRect());
    for (int32_t Y = R.Top; Y < R.Bottom; ++Y) {
        const auto LRow = FPixels.begin() + std::ptrdiff_t(Y) * FWidth;
        std::fill(LRow + R.Left, LRow + R.Right, AColor);
    }
}

void TBitmap::FrameRect(const TRect& ARect, TColor AColor) {
    if (ARect.IsEmpty())
        return;
    HLine(ARect.Left, ARect.Right, ARect.Top, AColor);
    HLine(ARect.Left, ARect.Right, ARect.Bottom - 1, AColor);
    VLine(ARect.Left, ARect.Top, ARect.Bottom, AColor);
    VLine(ARect.Right - 1, ARect.Top, ARect.Bottom, AColor);
}

void TBitmap::HLine(int32_t AX0, int32_t AX1, int32_t AY, TColor AColor) {
    FillRect(Rect(AX0, AY, AX1, AY + 1), AColor);
}

void TBitmap::VLine(int32_t AX, int32_t AY0, int32_t AY1, TColor AColor) {
    FillRect(Rect(AX, AY0, AX + 1, AY1), AColor);
}

void TBitmap::CopyRect(int32_t AX, int32_t AY, const TBitmap& ASource, const TRect& ASourceRect) {
    if (&ASource == this) {
        const TBitmap LCopy = ASource;
        CopyRect(AX, AY, LCopy, ASourceRect);
        return;
    }
    // Clip the source to its bitmap, then the destination to this one.
    TRect LSrc = IntersectRect(ASourceRect, ASource.ClientRect());
    const int32_t LDx = AX - ASourceRect.Left, LDy = AY - ASourceRect.Top;
    const TRect LDst = IntersectRect(
        Rect(LSrc.Left + LDx, LSrc.Top + LDy, LSrc.Right + LDx, LSrc.Bottom + LDy), ClientRect());
    if (LDst.IsEmpty())
        return;
    LSrc = Rect(LDst.Left - LDx, LDst.Top - LDy, LDst.Right - LDx, LDst.Bottom - LDy);
    for (int32_t Y = 0; Y < LDst.Height(); ++Y) {
        const auto LFrom =
            ASource.FPixels.begin() + std::ptrdiff_t(LSrc.Top + Y) * ASource.FWidth + LSrc.Left;
        std::copy(LFrom, LFrom + LDst.Width(),
                  FPixels.begin() + std::ptrdiff_t(LDst.Top + Y) * FWidth + LDst.Left);
    }
}
