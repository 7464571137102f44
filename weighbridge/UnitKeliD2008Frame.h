// The 12-byte ASCII frame opened by 0x02: its layout and its scan.
#pragma once

#include "weighbridge/UnitReceivedBuffer.h"

#include <cstdint>

namespace KeliD2008 {
constexpr uint32_t CDataFrameLen = 12;
constexpr uint8_t CFlagStart = 0x02;
constexpr uint8_t CFlagEnd = 0x03;
constexpr uint32_t CIdxSign = 1;
constexpr uint32_t CIdxDot = 8;
constexpr uint32_t CIdxDataStart = 2; // most significant digit
constexpr uint32_t CIdxDataEnd = 7;   // least significant digit
constexpr uint32_t CIdxCheck = 9;     // two upper-case hex digits
} // namespace KeliD2008

// ANetValue - 48; does not check that the byte is a digit.
int32_t Convert2RealValue(uint8_t ANetValue);

// The two check characters of a frame: the exclusive-or of the eight bytes
// from the sign to the decimal digit, in upper-case hex.
void KeliD2008Check(const uint8_t* AFrame, uint8_t (&ACheck)[2]);

// The weight of one whole frame. A weight only when the sign is '+' or '-',
// every digit position holds an ASCII digit or a blank, blanks come only
// before the first digit (each counting as 0), at least one digit is present,
// the decimal position holds an ASCII digit, the twelfth byte is the end flag
// and the check characters match; a frame that is all that but for its check
// is fvBadCheck.
TFrameVerdict DecodeKeliD2008Frame(const uint8_t* AFrame, double& AValue);

// One pass over the buffer: every complete frame goes through the decoder in
// buffer order (frames refused for the check alone are told to the sink);
// the mark ends at the last complete frame's last byte or at
// the last end flag, whichever the scan met last, and leaves at most eleven
// bytes (a frame that may still be completed).
int32_t AnalyzeKeliD2008Frames(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink);
