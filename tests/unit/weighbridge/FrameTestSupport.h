// Helpers for driving a frame scan in memory and checking the buffer.
#pragma once

#include "weighbridge/UnitReceivedBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// A receive buffer plus the weights its scan produced.
struct TFrameHarness {
    explicit TFrameHarness(TFrameScan AScan) : Scan(AScan) {}

    void Feed(const std::vector<uint8_t>& AChunk) {
        ReceiveFrames(Buffer, Size, AChunk.data(), static_cast<uint16_t>(AChunk.size()), Scan,
                      TWeightSink{this, &TFrameHarness::PutWeight, &TFrameHarness::PutRefused});
        CheckInvariants();
    }
    void Feed(std::initializer_list<uint8_t> AChunk) { Feed(std::vector<uint8_t>(AChunk)); }

    void CheckInvariants() const {
        ASSERT_LE(Size, CMaxReceivedSize);
        for (uint32_t I = Size; I < CReceivedBufferLen; ++I)
            ASSERT_EQ(Buffer[I], 0) << "byte " << I << " past the data";
    }
    std::vector<uint8_t> Data() const { return {Buffer, Buffer + Size}; }

    static void PutWeight(void* AContext, double AValue) {
        static_cast<TFrameHarness*>(AContext)->Weights.push_back(AValue);
    }
    static void PutRefused(void* AContext) { ++static_cast<TFrameHarness*>(AContext)->Refused; }

    TFrameScan Scan;
    uint8_t Buffer[CReceivedBufferLen] = {};
    uint32_t Size = 0;
    std::vector<double> Weights;
    int Refused = 0; // frames refused for their check alone
};

inline std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> AParts) {
    std::vector<uint8_t> LAll;
    for (const auto& LPart : AParts)
        LAll.insert(LAll.end(), LPart.begin(), LPart.end());
    return LAll;
}

// The 12-byte STX frame as indicators send it: 0x02, sign, six digits (or
// leading blanks), decimal places, the exclusive-or of the eight bytes from
// the sign to the decimal digit in two upper-case hex digits, 0x03.
inline std::vector<uint8_t> KeliTestFrame(const std::string& ADigits, char ADot, char ASign = '+') {
    std::vector<uint8_t> LFrame(12, '0');
    LFrame[0] = 0x02;
    LFrame[1] = static_cast<uint8_t>(ASign);
    for (size_t I = 0; I < 6 && I < ADigits.size(); ++I)
        LFrame[2 + I] = static_cast<uint8_t>(ADigits[I]);
    LFrame[8] = static_cast<uint8_t>(ADot);
    uint8_t LCheck = 0;
    for (size_t I = 1; I <= 8; ++I)
        LCheck ^= LFrame[I];
    const char* const CHex = "0123456789ABCDEF";
    LFrame[9] = static_cast<uint8_t>(CHex[LCheck >> 4]);
    LFrame[10] = static_cast<uint8_t>(CHex[LCheck & 0x0F]);
    LFrame[11] = 0x03;
    return LFrame;
}
