// Continuous ASCII weight lines: their grammar, the framing judgement and
// the scan.
//
// A line ends in CR, LF or CR LF and holds, in the low seven bits of each
// byte: optional status letters or fields (letters, blanks, tabs, ',' and
// ':'), an optional sign with optional blanks after it, digits with an
// optional decimal point followed by digits, optional blanks, an optional
// unit (kg, g, t, lb in any letter case) and optional trailing blanks. At
// most 64 characters before the line end and 15 digits. Anything else in a
// line makes no weight.
#pragma once

#include "weighbridge/UnitLineFraming.h"
#include "weighbridge/UnitReceivedBuffer.h"

#include <cstdint>

namespace AsciiLine {
constexpr uint32_t CMaxLineLen = 64;
constexpr uint32_t CMaxDigits = 15;
constexpr uint8_t CCR = 0x0D;
constexpr uint8_t CLF = 0x0A;
} // namespace AsciiLine

// What the scan carries from one pass to the next: whether it is inside a
// line whose start it has not seen (after a reset, or after an overlong
// line), and the framing judgement over the accepted lines.
struct TAsciiLineState {
    bool InLine = false;          // false: skip to the next line end
    bool AfterAcceptedCR = false; // the LF of an accepted line's CR LF is judged with it
    TFramingJudge Judge;

    void Reset() { *this = TAsciiLineState{}; }
    TLineFraming Framing() const { return Judge.Framing(); }
};

// The weight of one line without its line end (ALength characters, only the
// low seven bits read); false when the line is not a weight line.
bool DecodeAsciiLine(const uint8_t* ALine, uint32_t ALength, double& AValue);

// One pass over the buffer: every complete line in buffer order; each weight
// line goes to ASink and is judged for its framing (line end included). The
// mark ends at the last line end; a partial line at the end stays, unless it
// is already too long to be a weight line, or belongs to a line whose start
// was not seen: then it is consumed, and the rest of its line after it.
int32_t AnalyzeAsciiLineFrames(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink,
                               TAsciiLineState& AState);
