#include "weighbridge/UnitLineFraming.h"

const char* LineFramingName(TLineFraming AFraming) {
    switch (AFraming) {
    case TLineFraming::lf8N1:
        return "8N1";
    case TLineFraming::lf7E1:
        return "7E1";
    case TLineFraming::lf7O1:
        return "7O1";
    case TLineFraming::lfNone:
        break;
    }
    return "";
}

void TFramingJudge::Judge(uint8_t AByte) {
    uint32_t LOnes = 0;
    for (uint8_t LBits = AByte & 0x7F; LBits != 0; LBits &= static_cast<uint8_t>(LBits - 1))
        ++LOnes;
    const bool LHigh = (AByte & 0x80) != 0;
    const bool LEvenBit = (LOnes & 1) != 0; // makes the count of ones even
    (LHigh ? SeenHigh : SeenLow) = true;
    if (LHigh != LEvenBit)
        AllEven = false;
    if (LHigh == LEvenBit)
        AllOdd = false;
    ++JudgedBytes;
}

TLineFraming TFramingJudge::Framing() const {
    if (JudgedBytes == 0)
        return TLineFraming::lfNone;
    if (SeenHigh && SeenLow && AllEven)
        return TLineFraming::lf7E1;
    if (SeenHigh && SeenLow && AllOdd)
        return TLineFraming::lf7O1;
    return TLineFraming::lf8N1;
}
