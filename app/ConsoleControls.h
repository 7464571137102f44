// The console backend of the control set: the transcript goes to standard
// output line by line, message boxes to standard error, and on a terminal
// the LED display is drawn below the transcript with block characters.
#pragma once

#include "platform/Controls.h"

#include <ostream>

enum class TSearchOutcome : uint8_t { soNone, soFound, soNotFound, soNoPort, soConfigError };

// The end of a search that a message box announces; soNone for others.
TSearchOutcome OutcomeOfMessage(const UnicodeString& AText);

class TConsoleControls : public THeadlessControls {
public:
    TConsoleControls(std::ostream& AOut, std::ostream& AErr, bool ADrawDisplay);

    std::unique_ptr<TControlPeer> CreatePeer(TControl& AControl) override;
    void ShowMessage(const UnicodeString& AText) override;

    // The last search end announced.
    TSearchOutcome Outcome() const { return FOutcome; }
    void ResetOutcome() { FOutcome = TSearchOutcome::soNone; }

    // Writes a transcript line (above the drawn display, if any).
    void WriteLine(const UnicodeString& ALine);
    // Draws the display's picture in place.
    void DrawDisplay(const TBitmap& APicture);

private:
    void EraseDisplay();

    std::ostream& FOut;
    std::ostream& FErr;
    bool FDrawDisplay;
    TSearchOutcome FOutcome = TSearchOutcome::soNone;
    std::string FLastDrawing;
    int FDrawnRows = 0;
};

// The picture as rows of coloured full blocks (24-bit colour escapes), one
// character per dot: ACols x ARows cells, each the brightest pixel of its
// area. Ends each row with a reset and a newline.
std::string RenderBlocks(const TBitmap& APicture, int ACols, int ARows);
