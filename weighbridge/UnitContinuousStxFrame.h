// The "standard continuous" frame: STX, three status bytes SWA, SWB and SWC,
// six digits of the displayed weight and six of the tare (leading zeros or
// blanks, no decimal point), CR, and optionally a checksum byte, the two's
// complement of the seven-bit sum of all bytes before it. Seven-bit text,
// often sent 7E1: every byte is read in its low seven bits.
//
// SWA bits 0-2 place the decimal point (0: the digits count hundreds, 1:
// tens, 2: units, 3 to 7: one to five decimals), bits 3-4 the display
// increment. SWB bit 0 net, bit 1 negative, bit 2 over or under range, bit 3
// in motion, bit 4 kg (else lb). Bit 5 is set in all three.
#pragma once

#include "weighbridge/UnitLineFraming.h"
#include "weighbridge/UnitReceivedBuffer.h"

#include <cstdint>

namespace ContinuousStx {
constexpr uint32_t CFrameLen = 17; // without the checksum
constexpr uint32_t CMaxFrameLen = 18;
constexpr uint8_t CFlagStart = 0x02;
constexpr uint8_t CFlagEnd = 0x0D;
constexpr uint32_t CIdxSwa = 1;
constexpr uint32_t CIdxSwb = 2;
constexpr uint32_t CIdxSwc = 3;
constexpr uint32_t CIdxWeight = 4; // six digits, most significant first
constexpr uint32_t CIdxTare = 10;  // six digits
constexpr uint32_t CIdxEnd = 16;   // CR
constexpr uint32_t CIdxSum = 17;   // the optional checksum
constexpr uint8_t CBitAlways = 0x20;
constexpr uint8_t CSwbNegative = 0x02;
constexpr uint8_t CSwbRange = 0x04;
constexpr uint8_t CSwbMotion = 0x08;
constexpr uint8_t CSwbKg = 0x10;
} // namespace ContinuousStx

// The checksum of the 17 bytes of a frame, seven bits.
uint8_t ContinuousStxChecksum(const uint8_t* AFrame);

// The weight of the 17 bytes of a frame, and whether the indicator marks it
// as in motion. fvDamaged unless bit 5 is set in all three status bytes, both
// fields hold digits with only leading blanks and at least one digit, the
// seventeenth byte is CR and the weight is in range.
TFrameVerdict DecodeContinuousStxFrame(const uint8_t* AFrame, double& AValue, bool& AInMotion);

// What the scan carries between passes: the framing of the accepted frames.
struct TContinuousStxState {
    TFramingJudge Judge;

    void Reset() { *this = TContinuousStxState{}; }
};

// One pass: every frame in buffer order. A frame counts once the byte after
// its CR has come: a start flag there means no checksum, the right checksum
// is taken with it, any other byte is a wrong checksum (fvBadCheck). A good
// frame is consumed whole and goes to the sink (in motion or not) and to the
// framing judgement; a damaged one gives up its start flag only. At most 17
// bytes are left.
int32_t AnalyzeContinuousStxFrames(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink,
                                   TContinuousStxState& AState);
