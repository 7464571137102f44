#include "weighbridge/UnitContinuousStxFrame.h"

#include <cmath>

using namespace ContinuousStx;

namespace {

uint8_t Low7(uint8_t AByte) {
    return AByte & 0x7F;
}

bool IsDigit(uint8_t AChar) {
    return AChar >= '0' && AChar <= '9';
}

// Six digits with only leading blanks and at least one digit; their value.
bool ReadField(const uint8_t* AFrame, uint32_t AStart, uint32_t& AValue) {
    bool LSeenDigit = false;
    AValue = 0;
    for (uint32_t J = AStart; J < AStart + 6; ++J) {
        const uint8_t LChar = Low7(AFrame[J]);
        if (IsDigit(LChar)) {
            LSeenDigit = true;
            AValue = AValue * 10 + (LChar - '0');
        } else if (LChar != ' ' || LSeenDigit) {
            return false;
        }
    }
    return LSeenDigit;
}

} // namespace

uint8_t ContinuousStxChecksum(const uint8_t* AFrame) {
    uint32_t LSum = 0;
    for (uint32_t J = 0; J < CFrameLen; ++J)
        LSum += Low7(AFrame[J]);
    return static_cast<uint8_t>((0x80 - (LSum & 0x7F)) & 0x7F);
}

TFrameVerdict DecodeContinuousStxFrame(const uint8_t* AFrame, double& AValue, bool& AInMotion) {
    const uint8_t LSwa = Low7(AFrame[CIdxSwa]);
    const uint8_t LSwb = Low7(AFrame[CIdxSwb]);
    const uint8_t LSwc = Low7(AFrame[CIdxSwc]);
    uint32_t LWeight = 0;
    uint32_t LTare = 0;
    if (Low7(AFrame[0]) != CFlagStart || (LSwa & LSwb & LSwc & CBitAlways) == 0 ||
        !ReadField(AFrame, CIdxWeight, LWeight) || !ReadField(AFrame, CIdxTare, LTare) ||
        Low7(AFrame[CIdxEnd]) != CFlagEnd || (LSwb & CSwbRange) != 0)
        return TFrameVerdict::fvDamaged;
    // Codes 0 and 1 count hundreds and tens, 2 units, 3 to 7 one to five
    // decimals.
    const int32_t LCode = LSwa & 7;
    double LValue = static_cast<double>(LWeight);
    if (LCode < 2)
        LValue *= LCode == 0 ? 100 : 10;
    else
        LValue *= std::pow(0.1, LCode - 2);
    if ((LSwb & CSwbNegative) != 0 && LWeight != 0)
        LValue = -LValue;
    AValue = LValue;
    AInMotion = (LSwb & CSwbMotion) != 0;
    return TFrameVerdict::fvWeight;
}

int32_t AnalyzeContinuousStxFrames(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink,
                                   TContinuousStxState& AState) {
    int32_t LLastEndIdx = -1;
    uint32_t I = 0;
    // ASize is read afresh: a sink that clears the buffer ends the pass.
    while (I < ASize) {
        if (Low7(ABuffer[I]) != CFlagStart) {
            LLastEndIdx = static_cast<int32_t>(I); // can begin no frame
            ++I;
            continue;
        }
        if (I + CFrameLen > ASize)
            break; // the rest may still come
        double LValue = 0;
        bool LInMotion = false;
        if (DecodeContinuousStxFrame(ABuffer + I, LValue, LInMotion) != TFrameVerdict::fvWeight) {
            LLastEndIdx = static_cast<int32_t>(I); // only the start flag goes
            ++I;
            continue;
        }
        if (I + CFrameLen + 1 > ASize)
            break; // the byte after the CR tells whether a checksum follows
        const uint8_t LNext = Low7(ABuffer[I + CIdxSum]);
        uint32_t LLength = CFrameLen;
        if (LNext != CFlagStart) {
            if (LNext != ContinuousStxChecksum(ABuffer + I)) {
                ASink.RefusedForCheck();
                LLastEndIdx = static_cast<int32_t>(I);
                ++I;
                continue;
            }
            LLength = CMaxFrameLen;
        }
        for (uint32_t J = I; J < I + LLength; ++J)
            AState.Judge.Judge(ABuffer[J]);
        LLastEndIdx = static_cast<int32_t>(I + LLength - 1);
        I += LLength;
        if (LInMotion)
            ASink.InMotion(LValue);
        else
            ASink(LValue);
    }
    return KeepAtMost(ASize, LLastEndIdx, CMaxFrameLen - 1);
}
