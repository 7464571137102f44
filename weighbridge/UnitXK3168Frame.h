// The 5-byte BCD frame led by 0xFF: its layout and its scan.
#pragma once

#include "weighbridge/UnitReceivedBuffer.h"

#include <cstdint>

namespace XK3168 {
constexpr uint32_t CDataFrameLen = 5;
constexpr uint8_t CFlagStart = 0xFF;
constexpr uint32_t CIdxDot = 1;       // status byte: bits 2-0 decimal code, bit 5 sign
constexpr uint32_t CIdxDataStart = 2; // lowest two digits
constexpr uint32_t CIdxDataEnd = 4;   // highest two digits
} // namespace XK3168

// Splits a BCD byte into its nibbles (always written); true when both are
// below 10.
bool GetValueFromBCD(uint8_t ABCDValue, int32_t& retLowValue, int32_t& retHighValue);

// The weight of one whole frame; false for a nibble of 10 or more.
bool DecodeXK3168Frame(const uint8_t* AFrame, double& AValue);

// One pass over the buffer: each complete frame in buffer order; a valid one
// marks up to its last byte, an invalid one only up to its lead byte, so the
// bytes after it are tried again. At most four bytes are left.
int32_t AnalyzeXK3168Frames(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink);
