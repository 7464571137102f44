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
        : FMemo(AMemo), FConsole(AConsole), FShown(AMemo.Lines().size()),
          FPrefix(AConsole.LinePrefixOf(AMemo.Parent())) {}
    void Changed(TControlChange AWhat) override {
        if (AWhat != TControlChange::ccLines)
            return;
        const auto& LLines = FMemo.Lines();
        for (; FShown < LLines.size(); ++FShown)
            FConsole.WriteLine(FPrefix.empty() || LLines[FShown].empty()
                                   ? FPrefix + LLines[FShown]
                                   : FPrefix + u" " + LLines[FShown]);
    }

private:
    TMemo& FMemo;
    TConsoleControls& FConsole;
    size_t FShown;
    UnicodeString FPrefix;
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
        FConsole.DrawDisplay(*FControl.Picture(), LGrid, FControl.ChangedRect());
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

void TConsoleControls::SetLinePrefix(const TControl& AForm, UnicodeString APrefix) {
    FLinePrefixes[&AForm] = std::move(APrefix);
}

UnicodeString TConsoleControls::LinePrefixOf(const TControl* AForm) const {
    const auto LIt = FLinePrefixes.find(AForm);
    return LIt == FLinePrefixes.end() ? UnicodeString() : LIt->second;
}

void TConsoleControls::ShowMessage(const UnicodeString& AText) {
    if (FQuietMessages) {
        THeadlessControls::ShowMessage(AText);
        return;
    }
    // Standard error may be the same terminal: the text goes above the
    // drawing, which is drawn again below it.
    EraseDisplay();
    FOut << std::flush;
    FErr << UnicodeToUtf8(AText) << '\n' << std::flush;
    if (!LastDrawing().empty()) {
        FOut << LastDrawing() << std::flush;
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
    if (!LastDrawing().empty()) {
        FOut << LastDrawing() << std::flush;
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
    if (!LastDrawing().empty()) {
        FOut << LastDrawing();
        FDrawnRows = CDisplayRows;
    }
    FOut << std::flush;
}

namespace {
void AppendBlock(std::string& AOut, uint32_t ARGB) {
    AOut += "\x1b[38;2;" + std::to_string((ARGB >> 16) & 0xFF) + ';' +
            std::to_string((ARGB >> 8) & 0xFF) + ';' + std::to_string(ARGB & 0xFF) +
            "m\xE2\x96\x88";
}

// The colour of dot (AC, AR): the brightest pixel of its inside (a dot is
// framed in the ground colour: its inside is one pixel in).
uint32_t DotColourAt(const TBitmap& APicture, const TDotGrid& AGrid, int AC, int AR) {
    const int LInset = AGrid.DotSize >= 3 ? 1 : 0;
    const int LSpan = std::max(AGrid.DotSize + 1 - 2 * LInset, 1);
    const int LX0 = AGrid.Left + AC * AGrid.Pitch + LInset;
    const int LY0 = AGrid.Top + AR * AGrid.Pitch + LInset;
    uint32_t LBest = 0;
    for (int Y = LY0; Y < LY0 + LSpan; ++Y)
        for (int X = LX0; X < LX0 + LSpan; ++X)
            if (X >= 0 && Y >= 0 && X < APicture.Width() && Y < APicture.Height() &&
                Brightness(APicture.Pixel(X, Y)) > Brightness(LBest))
                LBest = APicture.Pixel(X, Y);
    return LBest;
}

int FloorDiv(int A, int B) {
    return A / B - (A % B != 0 && (A < 0) != (B < 0));
}

// The first and last of ACount dots, APitch apart from AFirst, that reach
// into [AFrom, ATo); AFirstDot > ALastDot when none does.
void DotsIn(int AFirst, int APitch, int ACount, int AFrom, int ATo, int& AFirstDot, int& ALastDot) {
    AFirstDot = std::max(0, FloorDiv(AFrom - AFirst, APitch));
    ALastDot = std::min(ACount - 1, FloorDiv(ATo - 1 - AFirst, APitch));
}

// One block a dot, rows ending with a reset and a newline.
std::string DotsDrawing(const std::vector<uint32_t>& ADots, int ACols) {
    std::string LOut;
    for (size_t I = 0; I < ADots.size(); ++I) {
        AppendBlock(LOut, ADots[I]);
        if ((I + 1) % size_t(ACols) == 0)
            LOut += "\x1b[0m\n";
    }
    return LOut;
}
} // namespace

void TConsoleControls::DrawWhole(std::string ADrawing) {
    EraseDisplay();
    FLastDrawing = std::move(ADrawing);
    FDrawingStale = false;
    FOut << FLastDrawing << std::flush;
    FDrawnRows = CDisplayRows;
}

const std::string& TConsoleControls::LastDrawing() {
    if (FDrawingStale) {
        FLastDrawing = DotsDrawing(FDots, FGrid.Cols);
        FDrawingStale = false;
    }
    return FLastDrawing;
}

void TConsoleControls::DrawDisplay(const TBitmap& APicture, const TDotGrid& AGrid,
                                   const TRect& AChanged) {
    if (!FDrawDisplay)
        return;
    if (AGrid.Cols <= 0 || AGrid.Rows != CDisplayRows) {
        FDots.clear();
        std::string LDrawing = RenderBlocks(APicture, CDisplayCols, CDisplayRows);
        if (LDrawing != LastDrawing() || FDrawnRows == 0)
            DrawWhole(std::move(LDrawing));
        return;
    }
    const size_t LCount = size_t(AGrid.Cols) * size_t(AGrid.Rows);
    if (FDrawnRows == 0 || !(AGrid == FGrid) || FDots.size() != LCount) {
        FGrid = AGrid;
        FDots.assign(LCount, 0);
        for (int R = 0; R < AGrid.Rows; ++R)
            for (int C = 0; C < AGrid.Cols; ++C)
                FDots[size_t(R * AGrid.Cols + C)] = DotColourAt(APicture, AGrid, C, R);
        DrawWhole(DotsDrawing(FDots, AGrid.Cols));
        return;
    }
    // The same grid: the dots in the changed part whose colour changed are
    // written in place, row by row from the top, the cursor moved up from
    // below the drawing and back. A run of dots between two changed ones is
    // written whole.
    int C0, C1, R0, R1;
    DotsIn(AGrid.Left, AGrid.Pitch, AGrid.Cols, AChanged.Left, AChanged.Right, C0, C1);
    DotsIn(AGrid.Top, AGrid.Pitch, AGrid.Rows, AChanged.Top, AChanged.Bottom, R0, R1);
    std::string LOut;
    int LAt = AGrid.Rows; // the cursor's row: below the drawing
    for (int R = R0; R <= R1; ++R) {
        int LFirst = -1, LLast = -1;
        for (int C = C0; C <= C1; ++C) {
            uint32_t& LDot = FDots[size_t(R * AGrid.Cols + C)];
            const uint32_t LNew = DotColourAt(APicture, AGrid, C, R);
            if (LNew == LDot)
                continue;
            LDot = LNew;
            LLast = C;
            if (LFirst < 0)
                LFirst = C;
        }
        if (LFirst < 0)
            continue;
        // Up from below the drawing, then down from one row to the next.
        LOut += "\x1b[" + std::to_string(LAt > R ? LAt - R : R - LAt) + (LAt > R ? "F" : "E");
        LOut += "\x1b[" + std::to_string(LFirst + 1) + "G";
        for (int C = LFirst; C <= LLast; ++C)
            AppendBlock(LOut, FDots[size_t(R * AGrid.Cols + C)]);
        LOut += "\x1b[0m";
        LAt = R;
    }
    if (LOut.empty())
        return;
    LOut += "\x1b[" + std::to_string(AGrid.Rows - LAt) + "E";
    FDrawingStale = true;
    FOut << LOut << std::flush;
}

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
    std::vector<uint32_t> LDots;
    for (int R = 0; R < AGrid.Rows; ++R)
        for (int C = 0; C < AGrid.Cols; ++C)
            LDots.push_back(DotColourAt(APicture, AGrid, C, R));
    return AGrid.Cols > 0 ? DotsDrawing(LDots, AGrid.Cols) : std::string();
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
