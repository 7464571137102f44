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
                      TWeightSink{this, &TFrameHarness::PutWeight, &TFrameHarness::PutRefused,
                                  &TFrameHarness::PutInMotion});
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
        static_cast<TFrameHarness*>(AContext)->InMotion.push_back(false);
    }
    static void PutInMotion(void* AContext, double AValue) {
        static_cast<TFrameHarness*>(AContext)->Weights.push_back(AValue);
        static_cast<TFrameHarness*>(AContext)->InMotion.push_back(true);
    }
    static void PutRefused(void* AContext) { ++static_cast<TFrameHarness*>(AContext)->Refused; }

    TFrameScan Scan;
    uint8_t Buffer[CReceivedBufferLen] = {};
    uint32_t Size = 0;
    std::vector<double> Weights;
    std::vector<bool> InMotion; // beside each weight
    int Refused = 0;            // frames refused for their check alone
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

// The "standard continuous" frame: STX, the status bytes, six digits of the
// weight and six of the tare, CR and, with AChecksum, the two's complement of
// the seven-bit sum of the bytes before it.
inline std::vector<uint8_t> ContinuousStxTestFrame(uint8_t ASwa, uint8_t ASwb,
                                                   const std::string& AWeight,
                                                   bool AChecksum = false,
                                                   const std::string& ATare = "000000") {
    const std::string LText = std::string("\x02") + static_cast<char>(ASwa) +
                              static_cast<char>(ASwb) + "\x20" + AWeight + ATare + "\r";
    std::vector<uint8_t> LFrame(LText.begin(), LText.end());
    if (AChecksum) {
        uint32_t LSum = 0;
        for (uint8_t LByte : LFrame)
            LSum += LByte & 0x7F;
        LFrame.push_back(static_cast<uint8_t>(-LSum & 0x7F));
    }
    return LFrame;
}

// AText with the eighth bit set to the even (or odd) parity of the other
// seven, as a seven-bit sender puts it on the line.
inline std::vector<uint8_t> WithParityBit(const std::vector<uint8_t>& ABytes, bool AEven) {
    std::vector<uint8_t> LOut;
    for (uint8_t LByte : ABytes) {
        int LOnes = 0;
        for (int B = 0; B < 7; ++B)
            LOnes += (LByte >> B) & 1;
        LOut.push_back(
            static_cast<uint8_t>((LByte & 0x7F) | ((LOnes % 2 == 1) == AEven ? 0x80 : 0)));
    }
    return LOut;
}
