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

void KeliD2008Check(const uint8_t* AFrame, uint8_t (&ACheck)[2]) {
    static const char CHex[] = "0123456789ABCDEF";
    uint8_t LXor = 0;
    for (uint32_t J = CIdxSign; J <= CIdxDot; ++J)
        LXor ^= AFrame[J];
    ACheck[0] = static_cast<uint8_t>(CHex[LXor >> 4]);
    ACheck[1] = static_cast<uint8_t>(CHex[LXor & 0x0F]);
}

TFrameVerdict DecodeKeliD2008Frame(const uint8_t* AFrame, double& AValue) {
    const uint8_t LSign = AFrame[CIdxSign];
    if ((LSign != '+' && LSign != '-') || !HasValidDigits(AFrame) ||
        AFrame[CDataFrameLen - 1] != CFlagEnd)
        return TFrameVerdict::fvDamaged;
    uint8_t LCheck[2];
    KeliD2008Check(AFrame, LCheck);
    if (AFrame[CIdxCheck] != LCheck[0] || AFrame[CIdxCheck + 1] != LCheck[1])
        return TFrameVerdict::fvBadCheck;
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
    // "-0" is zero, not the negative zero of the floats.
    if (LSign == '-' && LValue != 0)
        AValue = -AValue;
    return TFrameVerdict::fvWeight;
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
            const TFrameVerdict LVerdict = DecodeKeliD2008Frame(LTempAry, LValue);
            if (LVerdict == TFrameVerdict::fvWeight)
                ASink(LValue);
            else if (LVerdict == TFrameVerdict::fvBadCheck)
                ASink.RefusedForCheck();
        } else if (ABuffer[I] == CFlagEnd) {
            LLastEndIdx = static_cast<int32_t>(I);
        }
    }
    return KeepAtMost(ASize, LLastEndIdx, CDataFrameLen - 1);
}
