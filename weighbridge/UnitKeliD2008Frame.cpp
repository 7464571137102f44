#include "weighbridge/UnitKeliD2008Frame.h"

#include <cmath>
#include <cstring>

using namespace KeliD2008;

namespace {
bool IsDigit(uint8_t AByte) {
    return AByte >= '0' && AByte <= '9';
}

// Digits or leading blanks only, and at least one digit.
bool HasValidDigits(const uint8_t* AFrame) {
    bool LSeenDigit = false;
    for (uint32_t J = CIdxDataStart; J <= CIdxDataEnd; ++J) {
        if (IsDigit(AFrame[J]))
            LSeenDigit = true;
        else if (AFrame[J] != ' ' || LSeenDigit)
            return false;
    }
    return LSeenDigit && IsDigit(AFrame[CIdxDot]);
}
} // namespace

int32_t Convert2RealValue(uint8_t ANetValue) {
    return static_cast<int32_t>(ANetValue) - 48;
}

bool DecodeKeliD2008Frame(const uint8_t* AFrame, double& AValue) {
    if (!HasValidDigits(AFrame))
        return false;
    double LValue = 0;
    int32_t LMulti = 1;
    for (uint32_t J = CIdxDataEnd + 1; J-- > CIdxDataStart;) {
        const int32_t LDigit = AFrame[J] == ' ' ? 0 : Convert2RealValue(AFrame[J]);
        LValue += LDigit * LMulti;
        LMulti *= 10;
    }
    const int32_t LDotValue = Convert2RealValue(AFrame[CIdxDot]);
    const double LDivisor = std::pow(0.1, LDotValue);
    AValue = LValue * LDivisor;
    return true;
}

int32_t AnalyzeKeliD2008Frames(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink) {
    int32_t LLastEndIdx = -1;
    for (uint32_t I = 0; I < ASize; ++I) {
        if (ABuffer[I] == CFlagStart) {
            if (I + CDataFrameLen > ASize)
                continue; // incomplete: the rest may still come
            LLastEndIdx = static_cast<int32_t>(I + CDataFrameLen - 1);
            // A copy, so that the sink may touch the buffer.
            uint8_t LTempAry[CDataFrameLen];
            std::memcpy(LTempAry, ABuffer + I, CDataFrameLen);
            double LValue = 0;
            if (DecodeKeliD2008Frame(LTempAry, LValue))
                ASink(LValue);
        } else if (ABuffer[I] == CFlagEnd) {
            LLastEndIdx = static_cast<int32_t>(I);
        }
    }
    return KeepAtMost(ASize, LLastEndIdx, CDataFrameLen - 1);
}
