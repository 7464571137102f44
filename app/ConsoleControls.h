// The console backend of the control set: the transcript goes to standard
// output line by line, message boxes to standard error, and on a terminal
// the LED display is drawn below the transcript with block characters.
#pragma once

#include "ui/Controls.h"

#include "platform/MessageLoop.h"

#include <functional>
#include <memory>
#include <mutex>
#include <ostream>

// Where the display paints its dots inside its picture: the top-left corner
// of the first whole cell, the dot pitch (dot size plus gap) and the number of
// dot columns (six a cell, the last one the gap) and rows.
struct TDotGrid {
    int Left = 0, Top = 0;
    int Pitch = 1, DotSize = 1;
    int Cols = 0, Rows = 0;
};

class TLEDDisplay;
// The grid of the whole cells that ADisplay paints at its current size.
TDotGrid DotGridOf(const TLEDDisplay& ADisplay);

// One block character per dot of AGrid, each the brightest pixel inside its
// dot; rows end with a reset and a newline.
std::string RenderDots(const TBitmap& APicture, const TDotGrid& AGrid);

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

    // Writes a line to standard error (above the drawn display, if any).
    void WriteError(const UnicodeString& ALine);
    // Writes a transcript line (above the drawn display, if any).
    void WriteLine(const UnicodeString& ALine);
    // Draws the display's picture in place; AGrid says where its dots are.
    void DrawDisplay(const TBitmap& APicture, const TDotGrid& AGrid);

private:
    void EraseDisplay();

    std::ostream& FOut;
    std::ostream& FErr;
    bool FDrawDisplay;
    TSearchOutcome FOutcome = TSearchOutcome::soNone;
    std::string FLastDrawing;
    int FDrawnRows = 0;
};

// While watching after a success: says once on standard error when no weight
// has arrived for CWatchSilenceMs, and once when weights come back. Checks a
// count of weights received on a timer of the calling thread's loop.
inline constexpr uint32_t CWatchSilenceMs = 3000;

class TWatchMonitor {
public:
    TWatchMonitor(TConsoleControls& AConsole, UnicodeString APort,
                  std::function<int64_t()> AWeightCount);

    bool Silent() const { return FSilent; }

private:
    void OnCheck(TObject* Sender);

    TConsoleControls& FConsole;
    UnicodeString FPort;
    std::function<int64_t()> FWeightCount;
    int64_t FLastCount;
    uint64_t FLastWeightTick;
    bool FSilent = false;
    // Last: it ticks into the fields above.
    std::unique_ptr<TTimer> FTimer;
};

// Says once on standard error that the log is not being written, and why.
// The log tells it on the thread that writes; the line goes out on the thread
// that made the notice, when its loop pumps, or at Flush.
class TLogWriteNotice {
public:
    explicit TLogWriteNotice(TConsoleControls& AConsole);
    TLogWriteNotice(const TLogWriteNotice&) = delete;
    TLogWriteNotice& operator=(const TLogWriteNotice&) = delete;

    // Any thread; for the log's TLogWriteFailedEvent.
    void LogWriteFailed(const UnicodeString& AReason);
    // Writes a notice still waiting, on the owning thread.
    void Flush();

private:
    TConsoleControls& FConsole;
    std::mutex FLock;
    // Under FLock: set by the first LogWriteFailed, taken by Flush.
    UnicodeString FReason;
    bool FTold = false;
    TMessageWindow FWindow;
    // A copy of FWindow's handle, posted to from the log's thread.
    const TWindowHandle FHandle;
};

// The picture as rows of coloured full blocks (24-bit colour escapes), one
// character per dot: ACols x ARows cells, each the brightest pixel of its
// area. Ends each row with a reset and a newline.
std::string RenderBlocks(const TBitmap& APicture, int ACols, int ARows);
