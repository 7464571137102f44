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

std::vector<int64_t> TLEDDisplay::PaintSettings(const TRect& AClient) const {
    return {Width(),        Height(),      AClient.Left,   AClient.Top,       AClient.Right,
            AClient.Bottom, FDotSize,      FDotGap,        FBackColor,        FSegOnColor,
            FSegOffColor,   FAlignment,    BorderOuter(),  BorderInner(),     BorderWidth(),
            BevelWidth(),   BorderSides(), BorderShadow(), BorderHighlight(), InteriorColor()};
}

TLEDDisplay::TCells TLEDDisplay::CellsOf(int32_t ACW, int32_t AW) const {
    // 64-bit: a long caption must not overflow the cell positions.
    const int64_t L = int64_t(FCaption.size());
    const int64_t LCenterX = (ACW - L * AW) / 2;
    // Blank cells across the whole width, on the grid of the text; only
    // cells that reach into the bitmap count.
    int64_t LStart = 0;
    if (FAlignment == taRightJustify)
        LStart = (ACW - AW) - ((ACW - AW) + AW - 1) / AW * AW;
    else if (FAlignment == taCenter)
        LStart = LCenterX % AW - AW;
    while (LStart <= -AW)
        LStart += AW;
    TCells LCells;
    for (int64_t X = LStart; X < ACW; X += AW)
        LCells.emplace_back(X, u' ');
    if (LCells.empty())
        return LCells;
    // The text over them.
    const int64_t LFirstX = FAlignment == taRightJustify ? ACW - L * AW
                            : FAlignment == taCenter     ? LCenterX
                                                         : 0;
    const int64_t LFrom = std::max<int64_t>(0, (LStart - LFirstX) / AW);
    for (int64_t I = LFrom; I < L; ++I) {
        const int64_t LIndex = (LFirstX + I * AW - LStart) / AW;
        if (LIndex >= int64_t(LCells.size()))
            break;
        if (LIndex >= 0)
            LCells[size_t(LIndex)].second = ValidChar(FCaption[size_t(I)]);
    }
    return LCells;
}

void TLEDDisplay::Paint() {
    const TRect LClient = AdjustClientRect();
    const int32_t CW = LClient.Width(), H = LClient.Height();
    const int32_t W = 6 * (FDotSize + FDotGap);
    const int32_t CH = 7 * FDotSize + 6 * FDotGap;
    const int32_t Y0 = (H - CH) / 2;
    std::vector<int64_t> LSettings = PaintSettings(LClient);
    TCells LCells;
    if (!LClient.IsEmpty() && H > 7)
        LCells = CellsOf(CW, W);

    // The same settings and grid: only the cells whose symbol changed are
    // drawn, over a copy of what the surface shows there.
    bool LPartial =
        LSettings == FPaintedSettings && LCells.size() == FPaintedCells.size() && !LCells.empty();
    for (size_t I = 0; LPartial && I < LCells.size(); ++I)
        LPartial = LCells[I].first == FPaintedCells[I].first;
    TRect LArea; // in client coordinates
    if (LPartial) {
        for (size_t I = 0; I < LCells.size(); ++I) {
            if (LCells[I].second == FPaintedCells[I].second)
                continue;
            // A dot's outline may reach one pixel past the cell.
            const TRect LCell = IntersectRect(Bounds(int32_t(LCells[I].first), Y0, W + 1, CH + 1),
                                              Rect(0, 0, CW, H));
            LArea = LArea.IsEmpty()
                        ? LCell
                        : Rect(std::min(LArea.Left, LCell.Left), std::min(LArea.Top, LCell.Top),
                               std::max(LArea.Right, LCell.Right),
                               std::max(LArea.Bottom, LCell.Bottom));
        }
    } else {
        TFramedControl::Paint();
        LArea = LClient.IsEmpty() || H <= 7 ? TRect{} : Rect(0, 0, CW, H);
    }
    FPaintedSettings = std::move(LSettings);
    if (LArea.IsEmpty()) {
        FPaintedCells = std::move(LCells);
        if (LPartial)
            SetPaintedRect({});
        return;
    }

    TBitmap LBuffer(LArea.Width(), LArea.Height(), FBackColor);
    if (LPartial)
        LBuffer.CopyRect(0, 0, Canvas(),
                         Bounds(LClient.Left + LArea.Left, LClient.Top + LArea.Top, LArea.Width(),
                                LArea.Height()));
    for (size_t I = 0; I < LCells.size(); ++I) {
        if (LPartial && LCells[I].second == FPaintedCells[I].second)
            continue;
        DrawCell(LBuffer, Bounds(int32_t(LCells[I].first) - LArea.Left, Y0 - LArea.Top, W, CH),
                 LCells[I].second);
    }
    FPaintedCells = std::move(LCells);
    Canvas().CopyRect(LClient.Left + LArea.Left, LClient.Top + LArea.Top, LBuffer,
                      LBuffer.ClientRect());
    if (LPartial)
        SetPaintedRect(Bounds(LClient.Left + LArea.Left, LClient.Top + LArea.Top, LArea.Width(),
                              LArea.Height()));
}
