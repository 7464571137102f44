// Helpers for driving a frame scan in memory and checking the buffer.
#pragma once

#include "tests/support/TestFrames.h"
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
