#include "weighbridge/UnitReversedEqFrame.h"

#include <cmath>

using namespace ReversedEq;

namespace {

uint8_t Low7(uint8_t AByte) {
    return AByte & 0x7F;
}

bool IsDigit(uint8_t AChar) {
    return AChar >= '0' && AChar <= '9';
}

} // namespace

bool DecodeReversedEqFrame(const uint8_t* AChars, uint32_t ALength, double& AValue) {
    if (ALength < CMinChars || ALength > CMaxChars)
        return false;
    // From the highest place down, as the display reads.
    const uint8_t LTop = Low7(AChars[ALength - 1]);
    const bool LNegative = LTop == '-';
    uint32_t LDigitEnd = LNegative ? ALength - 1 : ALength; // places below the sign
    uint64_t LInteger = 0;
    int32_t LDecimals = -1;
    bool LDigitBefore = false; // a digit above the current place
    for (uint32_t J = LDigitEnd; J-- > 0;) {
        const uint8_t LChar = Low7(AChars[J]);
        if (IsDigit(LChar)) {
            LInteger = LInteger * 10 + (LChar - '0');
            LDigitBefore = true;
        } else if (LChar == '.' && LDecimals < 0 && LDigitBefore && J > 0) {
            LDecimals = static_cast<int32_t>(J);
        } else {
            return false;
        }
    }
    if (!LDigitBefore)
        return false;
    double LValue = static_cast<double>(LInteger);
    if (LDecimals > 0)
        LValue *= std::pow(0.1, LDecimals);
    if (LNegative && LInteger != 0)
        LValue = -LValue;
    AValue = LValue;
    return true;
}

int32_t AnalyzeReversedEqFrames(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink,
                                TReversedEqState& AState) {
    int32_t LLastEndIdx = -1;
    int64_t LStart = -1; // the "=" whose frame runs to the next one
    // ASize is read afresh: a sink that clears the buffer ends the pass.
    for (uint32_t I = 0; I < ASize; ++I) {
        if (Low7(ABuffer[I]) != CFlagStart)
            continue;
        LLastEndIdx = static_cast<int32_t>(I) - 1;
        if (LStart < 0) {
            LStart = I;
            continue;
        }
        const uint32_t LFrom = static_cast<uint32_t>(LStart);
        LStart = I;
        double LValue = 0;
        if (!DecodeReversedEqFrame(ABuffer + LFrom + 1, I - LFrom - 1, LValue))
            continue;
        for (uint32_t J = LFrom; J < I; ++J)
            AState.Judge.Judge(ABuffer[J]);
        ASink(LValue);
    }
    if (LStart < 0 || ASize - static_cast<uint32_t>(LStart) > CMaxChars + 1)
        LLastEndIdx = static_cast<int32_t>(ASize) - 1; // nothing here can begin a frame
    return KeepAtMost(ASize, LLastEndIdx, CMaxChars + 1);
}
