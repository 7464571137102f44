// A windowless control that draws a frame around itself. It paints into a
// surface bitmap of its own size; a backend shows that bitmap after each paint
// (OnPainted) and never draws the control itself.
#pragma once

#include "platform/Events.h"
#include "platform/Object.h"
#include "ui/Bitmap.h"

#include <cstdint>

enum TFrameStyle {
    fsNone,    // width 0
    fsFlat,    // one ring in BorderShadow
    fsGroove,  // a sunken ring around a raised one
    fsBump,    // a raised ring around a sunken one
    fsLowered, // two sunken rings
    fsRaised,  // two raised rings
    fsStatus,  // BevelWidth sunken rings
    fsPopup    // BevelWidth raised rings
};

enum TBorderSide : uint8_t { bsLeft = 1, bsTop = 2, bsRight = 4, bsBottom = 8 };
using TBorderSides = uint8_t; // a set of TBorderSide
inline constexpr TBorderSides CAllBorderSides = bsLeft | bsTop | bsRight | bsBottom;

// Fixed stand-ins for the system's button colours.
inline constexpr TColor clBtnShadow = RGB(160, 160, 160);
inline constexpr TColor clBtnHighlight = RGB(255, 255, 255);
inline constexpr TColor clBtnFace = RGB(240, 240, 240);

class TFramedControl : public TObject {
    SP_CLASS(TFramedControl, TObject)
public:
    TFramedControl();

    int32_t Left() const { return FLeft; }
    int32_t Top() const { return FTop; }
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    virtual void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight);
    // Called once the window's layout is applied: applies the bounds again.
    void Loaded();

    TFrameStyle BorderOuter() const { return FBorderOuter; }
    TFrameStyle BorderInner() const { return FBorderInner; }
    int32_t BorderWidth() const { return FBorderWidth; }
    int32_t BevelWidth() const { return FBevelWidth; }
    TBorderSides BorderSides() const { return FBorderSides; }
    TColor BorderShadow() const { return FBorderShadow; }
    TColor BorderHighlight() const { return FBorderHighlight; }
    void SetBorderShadow(TColor AValue);
    void SetBorderHighlight(TColor AValue);

    // The bounds at (0, 0) less the frames and the border width.
    virtual TRect AdjustClientRect() const;
    // The colour of the band between the outer and the inner frame.
    virtual TColor InteriorColor() const;
    virtual void SetBevelWidth(int32_t AValue);
    virtual void SetBorderInner(TFrameStyle AValue);
    virtual void SetBorderOuter(TFrameStyle AValue);
    virtual void SetBorderSides(TBorderSides AValue);
    virtual void SetBorderWidth(int32_t AValue);

    // Paints now into the surface, then signals OnPainted.
    void Repaint();
    const TBitmap& Surface() const { return FSurface; }
    // The part of the surface the last paint changed: all of it, unless the
    // paint said less (possibly nothing).
    const TRect& PaintedRect() const { return FPaintedRect; }
    uint64_t PaintCount() const { return FPaintCount; }
    TEvent<void()> OnPainted;

protected:
    // Draws the frame; descendants draw their inside after calling it.
    virtual void Paint();
    TBitmap& Canvas() { return FSurface; }
    // A paint that changed only ARect of the surface says so.
    void SetPaintedRect(const TRect& ARect) { FPaintedRect = ARect; }
    // Stores a changed value and repaints; an equal value changes nothing.
    template <class T> void ChangeProperty(T& AField, const T& AValue) {
        if (AField != AValue) {
            AField = AValue;
            Repaint();
        }
    }
    // Holds back repaints until the outermost lock ends, then paints once if
    // one was asked for.
    class TPaintLock {
    public:
        explicit TPaintLock(TFramedControl& AControl);
        ~TPaintLock();
        TPaintLock(const TPaintLock&) = delete;
        TPaintLock& operator=(const TPaintLock&) = delete;

    private:
        TFramedControl& FControl;
    };

private:
    int32_t StyleWidth(TFrameStyle AStyle) const;
    // Draws AStyle on ARect's named sides and returns the rectangle inside it.
    TRect DrawFrame(TRect ARect, TFrameStyle AStyle);
    void DrawRing(const TRect& ARect, TColor ATopLeft, TColor ABottomRight);

    int32_t FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    TFrameStyle FBorderOuter = fsGroove;
    TFrameStyle FBorderInner = fsNone;
    int32_t FBorderWidth = 0;
    int32_t FBevelWidth = 1;
    TBorderSides FBorderSides = CAllBorderSides;
    TColor FBorderShadow = clBtnShadow;
    TColor FBorderHighlight = clBtnHighlight;
    TBitmap FSurface;
    TRect FPaintedRect;
    uint64_t FPaintCount = 0;
    int FPaintLocks = 0;
    bool FPaintPending = false;
};
