#include "app/widgets/FramedControl.h"

#include <algorithm>

TFramedControl::TFramedControl() = default;

TFramedControl::TPaintLock::TPaintLock(TFramedControl& AControl) : FControl(AControl) {
    ++FControl.FPaintLocks;
}

TFramedControl::TPaintLock::~TPaintLock() {
    if (--FControl.FPaintLocks == 0 && FControl.FPaintPending) {
        FControl.FPaintPending = false;
        FControl.Repaint();
    }
}

void TFramedControl::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
    FLeft = ALeft;
    FTop = ATop;
    AWidth = std::max(AWidth, 0);
    AHeight = std::max(AHeight, 0);
    if (AWidth != FWidth || AHeight != FHeight) {
        FWidth = AWidth;
        FHeight = AHeight;
        FSurface.SetSize(FWidth, FHeight);
    }
    Repaint();
}

void TFramedControl::Loaded() {
    SetBounds(FLeft, FTop, FWidth, FHeight);
}

void TFramedControl::SetBorderShadow(TColor AValue) {
    ChangeProperty(FBorderShadow, AValue);
}

void TFramedControl::SetBorderHighlight(TColor AValue) {
    ChangeProperty(FBorderHighlight, AValue);
}

int32_t TFramedControl::StyleWidth(TFrameStyle AStyle) const {
    switch (AStyle) {
    case fsNone:
        return 0;
    case fsFlat:
        return 1;
    case fsStatus:
    case fsPopup:
        return FBevelWidth;
    default:
        return 2;
    }
}

TRect TFramedControl::AdjustClientRect() const {
    TRect R = Rect(FBorderWidth, FBorderWidth, FWidth - FBorderWidth, FHeight - FBorderWidth);
    for (const TFrameStyle LStyle : {FBorderOuter, FBorderInner}) {
        const int32_t LWidth = StyleWidth(LStyle);
        if (FBorderSides & bsLeft)
            R.Left += LWidth;
        if (FBorderSides & bsTop)
            R.Top += LWidth;
        if (FBorderSides & bsRight)
            R.Right -= LWidth;
        if (FBorderSides & bsBottom)
            R.Bottom -= LWidth;
    }
    R.Right = std::max(R.Right, R.Left);
    R.Bottom = std::max(R.Bottom, R.Top);
    return R;
}

TColor TFramedControl::InteriorColor() const {
    return clBtnFace;
}

void TFramedControl::SetBevelWidth(int32_t AValue) {
    AValue = std::max(AValue, 0);
    ChangeProperty(FBevelWidth, AValue);
}

void TFramedControl::SetBorderInner(TFrameStyle AValue) {
    ChangeProperty(FBorderInner, AValue);
}

void TFramedControl::SetBorderOuter(TFrameStyle AValue) {
    ChangeProperty(FBorderOuter, AValue);
}

void TFramedControl::SetBorderSides(TBorderSides AValue) {
    AValue &= CAllBorderSides;
    ChangeProperty(FBorderSides, AValue);
}

void TFramedControl::SetBorderWidth(int32_t AValue) {
    AValue = std::max(AValue, 0);
    ChangeProperty(FBorderWidth, AValue);
}

void TFramedControl::Repaint() {
    if (FPaintLocks > 0) {
        FPaintPending = true;
        return;
    }
    FPaintedRect = FSurface.ClientRect();
    Paint();
    ++FPaintCount;
    OnPainted();
}

// One ring on the named sides: left and top first, right and bottom last.
void TFramedControl::DrawRing(const TRect& R, TColor ATopLeft, TColor ABottomRight) {
    if (FBorderSides & bsLeft)
        FSurface.VLine(R.Left, R.Top, R.Bottom, ATopLeft);
    if (FBorderSides & bsTop)
        FSurface.HLine(R.Left, R.Right, R.Top, ATopLeft);
    if (FBorderSides & bsRight)
        FSurface.VLine(R.Right - 1, R.Top, R.Bottom, ABottomRight);
    if (FBorderSides & bsBottom)
        FSurface.HLine(R.Left, R.Right, R.Bottom - 1, ABottomRight);
}

TRect TFramedControl::DrawFrame(TRect R, TFrameStyle AStyle) {
    const TColor S = FBorderShadow, H = FBorderHighlight;
    auto LRing = [&](TColor ATopLeft, TColor ABottomRight) {
        if (R.IsEmpty())
            return;
        DrawRing(R, ATopLeft, ABottomRight);
        R.Left += (FBorderSides & bsLeft) ? 1 : 0;
        R.Top += (FBorderSides & bsTop) ? 1 : 0;
        R.Right -= (FBorderSides & bsRight) ? 1 : 0;
        R.Bottom -= (FBorderSides & bsBottom) ? 1 : 0;
    };
    switch (AStyle) {
    case fsNone:
        break;
    case fsFlat:
        LRing(S, S);
        break;
    case fsGroove:
        LRing(S, H);
        LRing(H, S);
        break;
    case fsBump:
        LRing(H, S);
        LRing(S, H);
        break;
    case fsLowered:
        LRing(S, H);
        LRing(S, H);
        break;
    case fsRaised:
        LRing(H, S);
        LRing(H, S);
        break;
    case fsStatus:
        for (int32_t I = 0; I < FBevelWidth; ++I)
            LRing(S, H);
        break;
    case fsPopup:
        for (int32_t I = 0; I < FBevelWidth; ++I)
            LRing(H, S);
        break;
    }
    return R;
}

void TFramedControl::Paint() {
    TRect R = DrawFrame(Rect(0, 0, FWidth, FHeight), FBorderOuter);
    if (FBorderWidth > 0 && !R.IsEmpty()) {
        TRect LInner;
        LInner.Left = std::min(R.Left + FBorderWidth, R.Right);
        LInner.Top = std::min(R.Top + FBorderWidth, R.Bottom);
        LInner.Right = std::max(R.Right - FBorderWidth, LInner.Left);
        LInner.Bottom = std::max(R.Bottom - FBorderWidth, LInner.Top);
        const TColor LColor = InteriorColor();
        FSurface.FillRect(Rect(R.Left, R.Top, R.Right, LInner.Top), LColor);
        FSurface.FillRect(Rect(R.Left, LInner.Bottom, R.Right, R.Bottom), LColor);
        FSurface.FillRect(Rect(R.Left, LInner.Top, LInner.Left, LInner.Bottom), LColor);
        FSurface.FillRect(Rect(LInner.Right, LInner.Top, R.Right, LInner.Bottom), LColor);
        R = LInner;
    }
    DrawFrame(R, FBorderInner);
}
