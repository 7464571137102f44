#include "weighbridge/UnitAsciiLineFrame.h"

#include <cmath>

using namespace AsciiLine;

namespace {

bool IsLineEnd(uint8_t AChar) {
    return AChar == CCR || AChar == CLF;
}

bool IsBlank(uint8_t AChar) {
    return AChar == ' ' || AChar == '\t';
}

bool IsLetter(uint8_t AChar) {
    return (AChar >= 'A' && AChar <= 'Z') || (AChar >= 'a' && AChar <= 'z');
}

bool IsDigit(uint8_t AChar) {
    return AChar >= '0' && AChar <= '9';
}

uint8_t Lower(uint8_t AChar) {
    return AChar >= 'A' && AChar <= 'Z' ? static_cast<uint8_t>(AChar + 32) : AChar;
}

// True when the characters from APos to AEnd are a unit, or nothing.
bool IsUnit(const uint8_t* AText, uint32_t APos, uint32_t AEnd) {
    static const char* const CUnits[] = {"", "kg", "g", "t", "lb"};
    for (const char* LUnit : CUnits) {
        uint32_t J = 0;
        while (LUnit[J] != 0 && APos + J < AEnd && Lower(AText[APos + J]) == LUnit[J])
            ++J;
        if (LUnit[J] == 0 && APos + J == AEnd)
            return true;
    }
    return false;
}

} // namespace

bool DecodeAsciiLine(const uint8_t* ALine, uint32_t ALength, double& AValue) {
    if (ALength > CMaxLineLen)
        return false;
    uint8_t LText[CMaxLineLen];
    for (uint32_t I = 0; I < ALength; ++I)
        LText[I] = ALine[I] & 0x7F;
    uint32_t LPos = 0;
    // Status letters and fields.
    while (LPos < ALength && (IsLetter(LText[LPos]) || IsBlank(LText[LPos]) || LText[LPos] == ',' ||
                              LText[LPos] == ':'))
        ++LPos;
    bool LNegative = false;
    if (LPos < ALength && (LText[LPos] == '+' || LText[LPos] == '-')) {
        LNegative = LText[LPos] == '-';
        ++LPos;
        while (LPos < ALength && IsBlank(LText[LPos]))
            ++LPos;
    }
    uint64_t LInteger = 0;
    uint32_t LDigits = 0;
    int32_t LDecimals = 0;
    while (LPos < ALength && IsDigit(LText[LPos])) {
        LInteger = LInteger * 10 + (LText[LPos++] - '0');
        ++LDigits;
    }
    if (LDigits == 0)
        return false;
    if (LPos < ALength && LText[LPos] == '.') {
        ++LPos;
        while (LPos < ALength && IsDigit(LText[LPos])) {
            LInteger = LInteger * 10 + (LText[LPos++] - '0');
            ++LDigits;
            ++LDecimals;
        }
        if (LDecimals == 0)
            return false;
    }
    if (LDigits > CMaxDigits)
        return false;
    while (LPos < ALength && IsBlank(LText[LPos]))
        ++LPos;
    uint32_t LEnd = ALength;
    while (LEnd > LPos && IsBlank(LText[LEnd - 1]))
        --LEnd;
    if (!IsUnit(LText, LPos, LEnd))
        return false;
    double LValue = static_cast<double>(LInteger) * std::pow(0.1, LDecimals);
    if (LNegative && LInteger != 0)
        LValue = -LValue;
    AValue = LValue;
    return true;
}

int32_t AnalyzeAsciiLineFrames(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink,
                               TAsciiLineState& AState) {
    int32_t LLastEndIdx = -1;
    uint32_t LLineStart = 0;
    for (uint32_t I = 0; I < ASize; ++I) {
        const uint8_t LChar = ABuffer[I] & 0x7F;
        if (!IsLineEnd(LChar))
            continue;
        const bool LWasAfterCR = AState.AfterAcceptedCR;
        AState.AfterAcceptedCR = false;
        LLastEndIdx = static_cast<int32_t>(I);
        const uint32_t LLength = I - LLineStart;
        const bool LSeenStart = AState.InLine;
        AState.InLine = true;
        LLineStart = I + 1;
        if (LLength == 0) {
            if (LChar == CLF && LWasAfterCR)
                AState.Judge.Judge(ABuffer[I]);
            continue;
        }
        double LValue = 0;
        if (!LSeenStart || !DecodeAsciiLine(ABuffer + I - LLength, LLength, LValue))
            continue;
        for (uint32_t J = I - LLength; J <= I; ++J)
            AState.Judge.Judge(ABuffer[J]);
        AState.AfterAcceptedCR = LChar == CCR;
        ASink(LValue);
    }
    // ASize may have dropped under the scan's position: the sink cleared the
    // buffer, and the mark is past the data.
    if (LLineStart < ASize && (!AState.InLine || ASize - LLineStart > CMaxLineLen)) {
        AState.InLine = false;
        AState.AfterAcceptedCR = false;
        LLastEndIdx = static_cast<int32_t>(ASize - 1);
    }
    return LLastEndIdx;
}
