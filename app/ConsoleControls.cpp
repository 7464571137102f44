#include "app/ConsoleControls.h"

#include "app/DisplayView.h"
#include "app/MainForm.h"
#include "app/widgets/LEDDisplay.h"
#include "ui/Bitmap.h"

#include <algorithm>

namespace {
// Pictures other than an LED display: 60 dot columns (ten cells of six) and
// seven dot rows cut evenly from the inside of a one-pixel frame.
constexpr int CDisplayCols = 60;
constexpr int CDisplayRows = 7;

class TMemoPeer : public TControlPeer {
public:
    TMemoPeer(TMemo& AMemo, TConsoleControls& AConsole)
        : FMemo(AMemo), FConsole(AConsole), FShown(AMemo.Lines().size()) {}
    void Changed(TControlChange AWhat) override {
        if (AWhat != TControlChange::ccLines)
            return;
        const auto& LLines = FMemo.Lines();
        for (; FShown < LLines.size(); ++FShown)
            FConsole.WriteLine(LLines[FShown]);
    }

private:
    TMemo& FMemo;
    TConsoleControls& FConsole;
    size_t FShown;
};

class TDisplayPeer : public TControlPeer {
public:
    TDisplayPeer(TGraphicControl& AControl, TConsoleControls& AConsole)
        : FControl(AControl), FConsole(AConsole) {
        Changed(TControlChange::ccPicture);
    }
    void Changed(TControlChange AWhat) override {
        if (AWhat != TControlChange::ccPicture || !FControl.Picture())
            return;
        TDotGrid LGrid;
        if (auto* LView = dynamic_cast<TDisplayView*>(&FControl))
            if (auto* LLED = dynamic_cast<const TLEDDisplay*>(&LView->Control()))
                LGrid = DotGridOf(*LLED);
        FConsole.DrawDisplay(*FControl.Picture(), LGrid);
    }

private:
    TGraphicControl& FControl;
    TConsoleControls& FConsole;
};

int Brightness(uint32_t ARGB) {
    return static_cast<int>(((ARGB >> 16) & 0xFF) + ((ARGB >> 8) & 0xFF) + (ARGB & 0xFF));
}
} // namespace

TSearchOutcome OutcomeOfMessage(const UnicodeString& AText) {
    if (AText == CMsgFound)
        return TSearchOutcome::soFound;
    if (AText == CMsgNotFound)
        return TSearchOutcome::soNotFound;
    if (AText == CMsgNoPort)
        return TSearchOutcome::soNoPort;
    if (AText == CMsgConfigError)
        return TSearchOutcome::soConfigError;
    return TSearchOutcome::soNone;
}

TConsoleControls::TConsoleControls(std::ostream& AOut, std::ostream& AErr, bool ADrawDisplay)
    : FOut(AOut), FErr(AErr), FDrawDisplay(ADrawDisplay) {}

std::unique_ptr<TControlPeer> TConsoleControls::CreatePeer(TControl& AControl) {
    if (auto* LMemo = dynamic_cast<TMemo*>(&AControl))
        return std::make_unique<TMemoPeer>(*LMemo, *this);
    if (auto* LGraphic = dynamic_cast<TGraphicControl*>(&AControl); LGraphic && FDrawDisplay)
        return std::make_unique<TDisplayPeer>(*LGraphic, *this);
    return nullptr;
}

void TConsoleControls::ShowMessage(const UnicodeString& AText) {
    // Standard error may be the same terminal: the text goes above the
    // drawing, which is drawn again below it.
    EraseDisplay();
    FOut << std::flush;
    FErr << UnicodeToUtf8(AText) << '\n' << std::flush;
    if (!FLastDrawing.empty()) {
        FOut << FLastDrawing << std::flush;
        FDrawnRows = CDisplayRows;
    }
    const TSearchOutcome LOutcome = OutcomeOfMessage(AText);
    if (LOutcome != TSearchOutcome::soNone)
        FOutcome = LOutcome;
    THeadlessControls::ShowMessage(AText);
}

void TConsoleControls::WriteError(const UnicodeString& ALine) {
    EraseDisplay();
    FOut << std::flush;
    FErr << UnicodeToUtf8(ALine) << '\n' << std::flush;
    if (!FLastDrawing.empty()) {
        FOut << FLastDrawing << std::flush;
        FDrawnRows = CDisplayRows;
    }
}

TWatchMonitor::TWatchMonitor(TConsoleControls& AConsole, UnicodeString APort,
                             std::function<int64_t()> AWeightCount)
    : FConsole(AConsole), FPort(std::move(APort)), FWeightCount(std::move(AWeightCount)),
      FLastCount(FWeightCount()), FLastWeightTick(GetTickCount64()),
      FTimer(std::make_unique<TTimer>()) {
    FTimer->OnTimer = Bind(this, &TWatchMonitor::OnCheck);
    FTimer->SetInterval(250);
    FTimer->SetEnabled(true);
}

void TWatchMonitor::OnCheck(TObject*) {
    const uint64_t LNow = GetTickCount64();
    const int64_t LCount = FWeightCount();
    if (LCount != FLastCount) {
        FLastCount = LCount;
        FLastWeightTick = LNow;
        if (FSilent) {
            FSilent = false;
            FConsole.WriteError(u"data from " + FPort + u" again");
        }
    } else if (!FSilent && LNow - FLastWeightTick >= CWatchSilenceMs) {
        FSilent = true;
        FConsole.WriteError(u"no data from " + FPort + u" for " +
                            Utf8ToUnicode(std::to_string(CWatchSilenceMs / 1000)) + u" s");
    }
}

TLogWriteNotice::TLogWriteNotice(TConsoleControls& AConsole)
    : FConsole(AConsole), FWindow([this](TMessage&) { Flush(); }), FHandle(FWindow.Handle()) {}

void TLogWriteNotice::LogWriteFailed(const UnicodeString& AReason) {
    {
        const std::lock_guard<std::mutex> LLock(FLock);
        if (FTold)
            return;
        FTold = true;
        FReason = AReason;
    }
    FHandle.Post(CWmUser, 0, 0);
}

void TLogWriteNotice::Flush() {
    UnicodeString LReason;
    {
        const std::lock_guard<std::mutex> LLock(FLock);
        LReason = std::move(FReason);
        FReason.clear();
    }
    if (!LReason.empty())
        FConsole.WriteError(u"scaleprobe-cli: the log is not being written: " + LReason);
}

void TConsoleControls::EraseDisplay() {
    if (FDrawnRows > 0)
        FOut << "\x1b[" << FDrawnRows << "F\x1b[J";
    FDrawnRows = 0;
}

void TConsoleControls::WriteLine(const UnicodeString& ALine) {
    EraseDisplay();
    FOut << UnicodeToUtf8(ALine) << '\n';
    if (!FLastDrawing.empty()) {
        FOut << FLastDrawing;
        FDrawnRows = CDisplayRows;
    }
    FOut << std::flush;
}

void TConsoleControls::DrawDisplay(const TBitmap& APicture, const TDotGrid& AGrid) {
    if (!FDrawDisplay)
        return;
    std::string LDrawing = AGrid.Cols > 0 && AGrid.Rows == CDisplayRows
                               ? RenderDots(APicture, AGrid)
                               : RenderBlocks(APicture, CDisplayCols, CDisplayRows);
    if (LDrawing == FLastDrawing && FDrawnRows > 0)
        return;
    EraseDisplay();
    FLastDrawing = std::move(LDrawing);
    FOut << FLastDrawing << std::flush;
    FDrawnRows = CDisplayRows;
}

namespace {
void AppendBlock(std::string& AOut, uint32_t ARGB) {
    AOut += "\x1b[38;2;" + std::to_string((ARGB >> 16) & 0xFF) + ';' +
            std::to_string((ARGB >> 8) & 0xFF) + ';' + std::to_string(ARGB & 0xFF) +
            "m\xE2\x96\x88";
}
} // namespace

TDotGrid DotGridOf(const TLEDDisplay& ADisplay) {
    // The same grid as the display's painting: cells 6 pitches wide, the
    // text block centred vertically, cells aligned to the caption's side.
    const TRect LClient = ADisplay.AdjustClientRect();
    const int LPitch = ADisplay.DotSize() + ADisplay.DotGap();
    const int LCellW = 6 * LPitch;
    const int LCW = LClient.Width(), LH = LClient.Height();
    TDotGrid LGrid;
    if (LCellW <= 0 || LCW < LCellW || LH <= 7)
        return LGrid;
    const int LCH = 7 * ADisplay.DotSize() + 6 * ADisplay.DotGap();
    int LFirst = 0;
    if (ADisplay.Alignment() == taRightJustify) {
        LFirst = LCW % LCellW;
    } else if (ADisplay.Alignment() == taCenter) {
        const int64_t LL = int64_t(ADisplay.Caption().size());
        const int64_t LCenter = (LCW - LL * LCellW) / 2;
        LFirst = int(((LCenter % LCellW) + LCellW) % LCellW);
    }
    LGrid.Left = LClient.Left + LFirst;
    LGrid.Top = LClient.Top + (LH - LCH) / 2;
    LGrid.Pitch = LPitch;
    LGrid.DotSize = ADisplay.DotSize();
    LGrid.Cols = 6 * ((LCW - LFirst) / LCellW);
    LGrid.Rows = 7;
    return LGrid;
}

std::string RenderDots(const TBitmap& APicture, const TDotGrid& AGrid) {
    std::string LOut;
    // A dot is framed in the ground colour: its inside is one pixel in.
    const int LInset = AGrid.DotSize >= 3 ? 1 : 0;
    const int LSpan = std::max(AGrid.DotSize + 1 - 2 * LInset, 1);
    for (int R = 0; R < AGrid.Rows; ++R) {
        for (int C = 0; C < AGrid.Cols; ++C) {
            const int LX0 = AGrid.Left + C * AGrid.Pitch + LInset;
            const int LY0 = AGrid.Top + R * AGrid.Pitch + LInset;
            uint32_t LBest = 0;
            for (int Y = LY0; Y < LY0 + LSpan; ++Y)
                for (int X = LX0; X < LX0 + LSpan; ++X)
                    if (X >= 0 && Y >= 0 && X < APicture.Width() && Y < APicture.Height() &&
                        Brightness(APicture.Pixel(X, Y)) > Brightness(LBest))
                        LBest = APicture.Pixel(X, Y);
            AppendBlock(LOut, LBest);
        }
        LOut += "\x1b[0m\n";
    }
    return LOut;
}

std::string RenderBlocks(const TBitmap& APicture, int ACols, int ARows) {
    // The frame ring is left out.
    const int LLeft = 1, LTop = 1;
    const int LWidth = APicture.Width() - 2, LHeight = APicture.Height() - 2;
    std::string LOut;
    if (LWidth <= 0 || LHeight <= 0 || ACols <= 0 || ARows <= 0)
        return LOut;
    for (int R = 0; R < ARows; ++R) {
        const int LY0 = LTop + R * LHeight / ARows, LY1 = LTop + (R + 1) * LHeight / ARows;
        for (int C = 0; C < ACols; ++C) {
            const int LX0 = LLeft + C * LWidth / ACols, LX1 = LLeft + (C + 1) * LWidth / ACols;
            uint32_t LBest = 0;
            for (int Y = LY0; Y < std::max(LY1, LY0 + 1); ++Y)
                for (int X = LX0; X < std::max(LX1, LX0 + 1); ++X) {
                    const uint32_t LPixel = APicture.Pixel(X, Y);
                    if (Brightness(LPixel) > Brightness(LBest))
                        LBest = LPixel;
                }
            AppendBlock(LOut, LBest);
        }
        LOut += "\x1b[0m\n";
    }
    return LOut;
}
