#include "app/widgets/LEDDisplay.h"

#include <algorithm>
#include <functional>

namespace {

TLEDValidChars ValidChar(char16_t AChar) {
    return AChar < CLEDFirstChar || AChar > CLEDLastChar ? CLEDReplacementChar : AChar;
}

} // namespace

TLEDDisplay::TLEDDisplay() {
    const TPaintLock LLock(*this);
    SetBorderOuter(fsStatus);
    SetBounds(Left(), Top(), 100, 30);
}

void TLEDDisplay::SetAlignment(TAlignment AValue) {
    ChangeProperty(FAlignment, AValue);
}

void TLEDDisplay::SetCaption(const UnicodeString& AValue) {
    ChangeProperty(FCaption, AValue);
}

void TLEDDisplay::SetBackColor(TColor AValue) {
    ChangeProperty(FBackColor, AValue);
}

void TLEDDisplay::SetSegOnColor(TColor AValue) {
    ChangeProperty(FSegOnColor, AValue);
}

void TLEDDisplay::SetSegOffColor(TColor AValue) {
    ChangeProperty(FSegOffColor, AValue);
}

void TLEDDisplay::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
    WithDotUpdate([&] { TFramedControl::SetBounds(ALeft, ATop, AWidth, AHeight); });
}

void TLEDDisplay::SetBevelWidth(int32_t AValue) {
    WithDotUpdate([&] { TFramedControl::SetBevelWidth(AValue); });
}

void TLEDDisplay::SetBorderInner(TFrameStyle AValue) {
    WithDotUpdate([&] { TFramedControl::SetBorderInner(AValue); });
}

void TLEDDisplay::SetBorderOuter(TFrameStyle AValue) {
    WithDotUpdate([&] { TFramedControl::SetBorderOuter(AValue); });
}

void TLEDDisplay::SetBorderSides(TBorderSides AValue) {
    WithDotUpdate([&] { TFramedControl::SetBorderSides(AValue); });
}

void TLEDDisplay::SetBorderWidth(int32_t AValue) {
    WithDotUpdate([&] { TFramedControl::SetBorderWidth(AValue); });
}

void TLEDDisplay::WithDotUpdate(const std::function<void()>& AChange) {
    const TPaintLock LLock(*this);
    AChange();
    UpdateDotDimensions();
}

void TLEDDisplay::UpdateDotDimensions() {
    // Height / 7.6, truncated.
    FDotSize = std::max(5 * AdjustClientRect().Height() / 38, 1);
    FDotGap = FDotSize / 10;
}

TColor TLEDDisplay::DotColor(TLEDValidChars ASymbol, int32_t ACol, int32_t ARow) const {
    if (ACol < 0 || ACol > 4 || ARow < 0 || ARow > 6)
        return FSegOffColor;
    const TLEDCharMask& LMask = DotMasks[ValidChar(ASymbol) - CLEDFirstChar];
    const uint8_t LColumns[5] = {LMask.Col0, LMask.Col1, LMask.Col2, LMask.Col3, LMask.Col4};
    return (LColumns[ACol] & (128 >> ARow)) ? FSegOnColor : FSegOffColor;
}

void TLEDDisplay::DrawCell(TBitmap& ACanvas, const TRect& ABounds, TLEDValidChars ASymbol) const {
    const int32_t LPitch = FDotSize + FDotGap;
    for (int32_t R = 0; R < 7; ++R) {
        for (int32_t C = 0; C < 6; ++C) {
            const int32_t X = ABounds.Left + C * LPitch, Y = ABounds.Top + R * LPitch;
            const TRect LDot = Rect(X, Y, X + FDotSize + 1, Y + FDotSize + 1);
            ACanvas.FillRect(LDot, DotColor(ASymbol, C, R));
            ACanvas.FrameRect(LDot, FBackColor);
        }
    }
}

void TLEDDisplay::Paint() {
    TFramedControl::Paint();
    const TRect LClient = AdjustClientRect();
    const int32_t CW = LClient.Width(), H = LClient.Height();
    if (LClient.IsEmpty() || H <= 7)
        return;

    TBitmap LBuffer(CW, H, FBackColor);
    const int32_t W = 6 * (FDotSize + FDotGap);
    const int32_t CH = 7 * FDotSize + 6 * FDotGap;
    const int32_t Y0 = (H - CH) / 2;
    // 64-bit: a long caption must not overflow the cell positions.
    const int64_t L = int64_t(FCaption.size());
    const int64_t LCenterX = (CW - L * W) / 2;
    auto LCell = [&](int64_t AX, TLEDValidChars ASymbol) {
        if (AX > -W && AX < CW)
            DrawCell(LBuffer, Bounds(int32_t(AX), Y0, W, CH), ASymbol);
    };

    // Blank cells across the whole width, on the grid of the text.
    if (FAlignment == taRightJustify) {
        for (int64_t X = CW - W; X > -W; X -= W)
            LCell(X, u' ');
    } else {
        const int64_t LStart = FAlignment == taCenter ? LCenterX % W - W : 0;
        for (int64_t X = LStart; X < CW; X += W)
            LCell(X, u' ');
    }

    // The text over them; only cells that reach into the bitmap are drawn.
    const int64_t LFirstX = FAlignment == taRightJustify ? CW - L * W
                            : FAlignment == taCenter     ? LCenterX
                                                         : 0;
    const int64_t LFrom = std::max<int64_t>(0, (-W - LFirstX) / W);
    for (int64_t I = LFrom; I < L; ++I) {
        const int64_t X = LFirstX + I * W;
        if (X >= CW)
            break;
        LCell(X, ValidChar(FCaption[size_t(I)]));
    }

    Canvas().CopyRect(LClient.Left, LClient.Top, LBuffer, LBuffer.ClientRect());
}
