// The "=" reversed-digit frame of continuous-mode truck-scale indicators:
// "=" and the display's characters lowest place first, its decimal point
// included where it has one; the highest place is the sign ("-", or a digit
// for a positive weight). Seven or eight characters, no line end, no check:
// a frame counts only when the next "=" follows right after it. "0028.60" is
// sent as "=06.8200", "-0012.5" as "=5.2100-". Read in the low seven bits.
#pragma once

#include "weighbridge/UnitLineFraming.h"
#include "weighbridge/UnitReceivedBuffer.h"

#include <cstdint>

namespace ReversedEq {
constexpr uint8_t CFlagStart = '=';
constexpr uint32_t CMinChars = 7;
constexpr uint32_t CMaxChars = 8;
} // namespace ReversedEq

// The weight of the ALength characters after a "=" (lowest place first);
// false unless they are digits with at most one point that has a digit on
// each side and a "-" only in the highest place.
bool DecodeReversedEqFrame(const uint8_t* AChars, uint32_t ALength, double& AValue);

// What the scan carries between passes: the framing of the accepted frames.
struct TReversedEqState {
    TFramingJudge Judge;

    void Reset() { *this = TReversedEqState{}; }
};

// One pass: every "=" whose next "=" has come; what lies between is a frame
// when it has seven or eight characters that decode, which go to the sink and
// to the framing judgement ("=" included). Consumed up to the last "=" seen;
// bytes before the first "=", and a "=" with more than eight characters after
// it and no "=", can begin no frame and go too. At most nine bytes are left.
int32_t AnalyzeReversedEqFrames(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink,
                                TReversedEqState& AState);
