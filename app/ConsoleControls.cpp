#include "app/ConsoleControls.h"

#include "app/MainForm.h"
#include "platform/Bitmap.h"

#include <algorithm>

namespace {
// The display's dot grid inside its one-pixel frame: 60 dot columns (ten
// cells of six) and seven dot rows.
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
        if (AWhat == TControlChange::ccPicture && FControl.Picture())
            FConsole.DrawDisplay(*FControl.Picture());
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

void TConsoleControls::DrawDisplay(const TBitmap& APicture) {
    if (!FDrawDisplay)
        return;
    std::string LDrawing = RenderBlocks(APicture, CDisplayCols, CDisplayRows);
    if (LDrawing == FLastDrawing && FDrawnRows > 0)
        return;
    EraseDisplay();
    FLastDrawing = std::move(LDrawing);
    FOut << FLastDrawing << std::flush;
    FDrawnRows = CDisplayRows;
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
            LOut += "\x1b[38;2;" + std::to_string((LBest >> 16) & 0xFF) + ';' +
                    std::to_string((LBest >> 8) & 0xFF) + ';' + std::to_string(LBest & 0xFF) +
                    "m\xE2\x96\x88";
        }
        LOut += "\x1b[0m\n";
    }
    return LOut;
}
