// Feeds fuzz input to a frame scan as a series of chunks and aborts on any
// broken invariant: more data left after a pass than the scan may keep, a
// non-zero byte past the data, a weight that is not finite or out of the
// protocol's range.
#pragma once

#include "weighbridge/UnitReceivedBuffer.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

struct TFuzzWeightCheck {
    double MaxMagnitude;
    bool AllowNegative;
};

inline void CheckFuzzWeight(void* AContext, double AValue) {
    const auto* LCheck = static_cast<const TFuzzWeightCheck*>(AContext);
    if (!std::isfinite(AValue) || std::fabs(AValue) > LCheck->MaxMagnitude)
        std::abort();
    if (!LCheck->AllowNegative && std::signbit(AValue))
        std::abort();
}

inline void RunFrameFuzz(const uint8_t* AData, size_t ASize, TFrameScan AScan,
                         TFuzzWeightCheck ACheck, uint32_t AMaxLeft) {
    uint8_t LBuffer[CReceivedBufferLen] = {};
    uint32_t LSize = 0;
    const TWeightSink LSink{&ACheck, &CheckFuzzWeight};
    size_t LPos = 0;
    while (LPos < ASize) {
        // Each chunk: a length byte (times 9, so that chunks pass the limit)
        // and that many bytes, cut at the end of the input.
        size_t LLength = static_cast<size_t>(AData[LPos++]) * 9;
        if (LLength > ASize - LPos)
            LLength = ASize - LPos;
        ReceiveFrames(LBuffer, LSize, AData + LPos, static_cast<uint16_t>(LLength), AScan, LSink);
        LPos += LLength;
        if (LSize > AMaxLeft)
            std::abort();
        for (uint32_t I = LSize; I < CReceivedBufferLen; ++I)
            if (LBuffer[I] != 0)
                std::abort();
    }
}
