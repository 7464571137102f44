#include "weighbridge/UnitXK3168Frame.h"

#include <cmath>
#include <cstring>

using namespace XK3168;

bool GetValueFromBCD(uint8_t ABCDValue, int32_t& retLowValue, int32_t& retHighValue) {
    retLowValue = ABCDValue & 0x0F;
    retHighValue = ABCDValue >> 4;
    return retLowValue < 10 && retHighValue < 10;
}

bool DecodeXK3168Frame(const uint8_t* AFrame, double& AValue) {
    double LValue = 0;
    int32_t LMulti = 1;
    for (uint32_t J = CIdxDataStart; J <= CIdxDataEnd; ++J) {
        int32_t LLowValue = 0;
        int32_t LHighValue = 0;
        if (!GetValueFromBCD(AFrame[J], LLowValue, LHighValue))
            return false;
        LValue += LLowValue * LMulti;
        LMulti *= 10;
        LValue += LHighValue * LMulti;
        LMulti *= 10;
    }
    const uint8_t LStatus = AFrame[CIdxDot];
    const int32_t LDotValue = (LStatus & 7) - 1;
    const int32_t LNegativeValue = (LStatus >> 5) & 1;
    const double LDivisor = std::pow(0.1, LDotValue);
    LValue *= LDivisor;
    if (LNegativeValue == 1)
        LValue = -LValue;
    AValue = LValue;
    return true;
}

int32_t AnalyzeXK3168Frames(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink) {
    int32_t LLastEndIdx = -1;
    for (uint32_t I = 0; I < ASize; ++I) {
        if (ABuffer[I] != CFlagStart || I + CDataFrameLen > ASize)
            continue;
        LLastEndIdx = static_cast<int32_t>(I + CDataFrameLen - 1);
        uint8_t LTempAry[CDataFrameLen];
        std::memcpy(LTempAry, ABuffer + I, CDataFrameLen);
        double LValue = 0;
        if (DecodeXK3168Frame(LTempAry, LValue))
            ASink(LValue);
        else
            LLastEndIdx = static_cast<int32_t>(I); // only the lead byte goes
    }
    return KeepAtMost(ASize, LLastEndIdx, CDataFrameLen - 1);
}
