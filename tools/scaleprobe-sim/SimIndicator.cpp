#include "tools/scaleprobe-sim/SimIndicator.h"

#include <algorithm>
#include <cmath>
#include <sstream>

uint64_t TSimRandom::Next() {
    uint64_t LZ = (FState += 0x9E3779B97F4A7C15ull);
    LZ = (LZ ^ (LZ >> 30)) * 0xBF58476D1CE4E5B9ull;
    LZ = (LZ ^ (LZ >> 27)) * 0x94D049BB133111EBull;
    return LZ ^ (LZ >> 31);
}

namespace {

bool ParseNumbers(const std::string& AText, char ASeparator, std::vector<double>& AOut) {
    std::stringstream LStream(AText);
    std::string LItem;
    while (std::getline(LStream, LItem, ASeparator)) {
        size_t LUsed = 0;
        try {
            AOut.push_back(std::stod(LItem, &LUsed));
        } catch (...) {
            return false;
        }
        if (LUsed != LItem.size() || !std::isfinite(AOut.back()))
            return false;
    }
    return !AOut.empty();
}

} // namespace

bool TWeightSequence::Parse(const std::string& ASpec) {
    const size_t LColon = ASpec.find(':');
    if (LColon == std::string::npos)
        return false;
    const std::string LKind = ASpec.substr(0, LColon);
    const std::string LArgs = ASpec.substr(LColon + 1);
    std::vector<double> LNumbers;
    if (!ParseNumbers(LArgs, LKind == "list" ? ',' : ':', LNumbers))
        return false;
    if (LKind == "const" && LNumbers.size() == 1) {
        FKind = TKind::wkConst;
        FTo = LNumbers[0];
    } else if (LKind == "ramp" && LNumbers.size() == 3 && LNumbers[2] != 0 &&
               (LNumbers[1] - LNumbers[0]) / LNumbers[2] >= 0) {
        FKind = TKind::wkRamp;
        FFrom = LNumbers[0];
        FTo = LNumbers[1];
        FStep = LNumbers[2];
    } else if (LKind == "settle" && (LNumbers.size() == 1 || LNumbers.size() == 2)) {
        FKind = TKind::wkSettle;
        FTo = LNumbers[0];
        FFrom = LNumbers.size() == 2 ? LNumbers[1] : 0;
    } else if (LKind == "list") {
        FKind = TKind::wkList;
        FValues = LNumbers;
    } else {
        return false;
    }
    return true;
}

double TWeightSequence::At(uint64_t AIndex) const {
    switch (FKind) {
    case TKind::wkConst:
        return FTo;
    case TKind::wkRamp: {
        const double LSteps = std::floor((FTo - FFrom) / FStep);
        if (static_cast<double>(AIndex) >= LSteps)
            return FTo;
        return FFrom + FStep * static_cast<double>(AIndex);
    }
    case TKind::wkSettle: {
        // Overshoots and swings back, each swing 0.6 of the last; after 60
        // steps the swing is far below any display's resolution.
        if (AIndex >= 60)
            return FTo;
        return FTo + (FFrom - FTo) * std::pow(-0.6, static_cast<double>(AIndex));
    }
    case TKind::wkList:
        return FValues[AIndex % FValues.size()];
    }
    return FTo;
}

uint32_t DisplayDigits(double AWeight, int ADecimals, bool& AOverload) {
    const double LScaled = std::round(std::fabs(AWeight) * std::pow(10.0, ADecimals));
    AOverload = LScaled > 999999;
    return AOverload ? 999999u : static_cast<uint32_t>(LScaled);
}

double DisplayedWeight(uint32_t ADigits, int ADecimals, bool ANegative) {
    // As the decoders compute it: the integer times 0.1 to the power.
    const double LValue = static_cast<double>(ADigits) * std::pow(0.1, ADecimals);
    return ANegative ? -LValue : LValue;
}

void EncodeKeliFrame(double AWeight, int ADecimals, bool ABlankPad, uint8_t (&AOut)[12]) {
    bool LOverload = false;
    uint32_t LDigits = DisplayDigits(AWeight, ADecimals, LOverload);
    AOut[0] = 0x02;
    AOut[1] = AWeight < 0 && LDigits != 0 ? '-' : '+';
    for (int J = 7; J >= 2; --J, LDigits /= 10)
        AOut[J] = static_cast<uint8_t>('0' + LDigits % 10);
    // Leading zeros become blanks, the units digit stays.
    for (int J = 2; ABlankPad && J < 7 && AOut[J] == '0'; ++J)
        AOut[J] = ' ';
    AOut[8] = static_cast<uint8_t>('0' + ADecimals);
    uint8_t LCheck = 0;
    for (int J = 1; J <= 8; ++J)
        LCheck ^= AOut[J];
    static const char CHex[] = "0123456789ABCDEF";
    AOut[9] = static_cast<uint8_t>(CHex[LCheck >> 4]);
    AOut[10] = static_cast<uint8_t>(CHex[LCheck & 0x0F]);
    AOut[11] = 0x03;
}

void EncodeXK3168Frame(double AWeight, int ADecimals, bool AStable, uint8_t (&AOut)[5]) {
    bool LOverload = false;
    uint32_t LDigits = DisplayDigits(AWeight, ADecimals, LOverload);
    const bool LNegative = AWeight < 0 && LDigits != 0;
    AOut[0] = 0xFF;
    AOut[1] = static_cast<uint8_t>(((ADecimals + 1) & 7) | (AStable ? 0x10 : 0) |
                                   (LNegative ? 0x20 : 0) | (LOverload ? 0x80 : 0));
    for (int J = 2; J <= 4; ++J, LDigits /= 100)
        AOut[J] = static_cast<uint8_t>((LDigits / 10 % 10) << 4 | (LDigits % 10));
}

std::vector<uint8_t> EncodeContinuousStxFrame(double AWeight, int ADecimals, bool AInMotion,
                                              bool APounds, bool AChecksum) {
    bool LOverload = false;
    uint32_t LDigits = DisplayDigits(AWeight, ADecimals, LOverload);
    const bool LNegative = AWeight < 0 && LDigits != 0;
    std::vector<uint8_t> LFrame{0x02, static_cast<uint8_t>(0x20 | 0x08 | (ADecimals + 2)),
                                static_cast<uint8_t>(0x20 | (LNegative ? 0x02 : 0) |
                                                     (LOverload ? 0x04 : 0) |
                                                     (AInMotion ? 0x08 : 0) | (APounds ? 0 : 0x10)),
                                0x20};
    for (uint32_t LDiv = 100000; LDiv != 0; LDiv /= 10)
        LFrame.push_back(static_cast<uint8_t>('0' + LDigits / LDiv % 10));
    LFrame.insert(LFrame.end(), 6, '0');
    LFrame.push_back(0x0D);
    if (AChecksum) {
        uint32_t LSum = 0;
        for (uint8_t LByte : LFrame)
            LSum += LByte;
        LFrame.push_back(static_cast<uint8_t>((0x80 - (LSum & 0x7F)) & 0x7F));
    }
    return LFrame;
}

std::string EncodeReversedEqFrame(double AWeight, int ADecimals, uint32_t AChars) {
    const uint32_t LPlaces = AChars - 1 - (ADecimals > 0 ? 1 : 0);
    bool LOverload = false;
    uint32_t LDigits = DisplayDigits(AWeight, ADecimals, LOverload);
    uint32_t LMax = 1;
    for (uint32_t I = 0; I < LPlaces && LMax <= 999999; ++I)
        LMax *= 10;
    LDigits = std::min(LDigits, LMax - 1);
    std::string LNumber = std::to_string(LDigits);
    LNumber.insert(0, LPlaces - LNumber.size(), '0');
    if (ADecimals > 0)
        LNumber.insert(LNumber.size() - static_cast<size_t>(ADecimals), 1, '.');
    const std::string LDisplay = (AWeight < 0 && LDigits != 0 ? "-" : "0") + LNumber;
    return "=" + std::string(LDisplay.rbegin(), LDisplay.rend());
}

std::string EncodeAsciiLine(double AWeight, int ADecimals, const std::string& APrefix,
                            const std::string& AUnit) {
    bool LOverload = false;
    const uint32_t LDigits = DisplayDigits(AWeight, ADecimals, LOverload);
    std::string LNumber = std::to_string(LDigits);
    if (ADecimals > 0) {
        const size_t LWidth = static_cast<size_t>(ADecimals) + 1;
        if (LNumber.size() < LWidth)
            LNumber.insert(0, LWidth - LNumber.size(), '0');
        LNumber.insert(LNumber.size() - static_cast<size_t>(ADecimals), 1, '.');
    }
    const bool LNegative = AWeight < 0 && LDigits != 0;
    return APrefix + (LNegative ? "-" : "") + LNumber + AUnit + "\r\n";
}

TSimIndicator::TSimIndicator(const TSimOptions& AOptions)
    : FOptions(AOptions), FRandom(AOptions.Seed) {
    FSequence.Parse(AOptions.Weights);
}

size_t TSimIndicator::FrameLength() const {
    switch (FOptions.Protocol) {
    case TSimProtocol::spKeli:
        return 12;
    case TSimProtocol::spXK3168:
        return 5;
    case TSimProtocol::spAscii:
    case TSimProtocol::spContinuousStx:
        break;
    case TSimProtocol::spReversedEq:
        return FOptions.EqChars + 1;
    }
    return FLastLength;
}

void TSimIndicator::PutByte(uint8_t AByte, std::vector<uint8_t>& AOut) {
    // Both draws are made for every byte, so the noise of one rate does not
    // shift the other's.
    const double LDrop = FRandom.NextUnit();
    const double LFlip = FRandom.NextUnit();
    const uint64_t LBit = FRandom.Next() % 8;
    if (LDrop < FOptions.DropRate)
        return;
    if (LFlip < FOptions.FlipRate)
        AByte ^= static_cast<uint8_t>(1u << LBit);
    AOut.push_back(AByte);
}

void TSimIndicator::NextFrame(std::vector<uint8_t>& AOut) {
    if (FFrames == 0)
        for (uint32_t I = 0; I < FOptions.GarbageBytes; ++I)
            AOut.push_back(static_cast<uint8_t>(FRandom.Next()));
    const double LWeight = FSequence.At(FFrames / FOptions.Hold);
    bool LOverload = false;
    const uint32_t LDigits = DisplayDigits(LWeight, FOptions.Decimals, LOverload);
    const bool LNegative = LWeight < 0 && LDigits != 0;
    if (FOptions.Protocol == TSimProtocol::spKeli) {
        uint8_t LFrame[12];
        EncodeKeliFrame(LWeight, FOptions.Decimals, FOptions.BlankPad, LFrame);
        if (FOptions.BadCheck) {
            uint8_t LCheck = 0;
            for (int J = 0; J <= 8; ++J)
                LCheck ^= LFrame[J];
            static const char CHex[] = "0123456789ABCDEF";
            LFrame[9] = static_cast<uint8_t>(CHex[LCheck >> 4]);
            LFrame[10] = static_cast<uint8_t>(CHex[LCheck & 0x0F]);
        }
        for (uint8_t LByte : LFrame)
            PutByte(LByte, AOut);
        FLastWeight = DisplayedWeight(LDigits, FOptions.Decimals, LNegative);
    } else if (FOptions.Protocol == TSimProtocol::spAscii) {
        const std::string LLine =
            EncodeAsciiLine(LWeight, FOptions.Decimals, FOptions.AsciiPrefix, FOptions.AsciiUnit);
        for (char LChar : LLine)
            PutByte(static_cast<uint8_t>(LChar), AOut);
        FLastLength = LLine.size();
        FLastWeight = DisplayedWeight(LDigits, FOptions.Decimals, LNegative);
    } else if (FOptions.Protocol == TSimProtocol::spReversedEq) {
        const std::string LFrame =
            EncodeReversedEqFrame(LWeight, FOptions.Decimals, FOptions.EqChars);
        for (char LChar : LFrame)
            PutByte(static_cast<uint8_t>(LChar), AOut);
        // What the display can show of it.
        double LShownValue = 0;
        uint64_t LInteger = 0;
        for (char LChar : std::string(LFrame.rbegin(), LFrame.rend()))
            if (LChar >= '0' && LChar <= '9')
                LInteger = LInteger * 10 + static_cast<uint64_t>(LChar - '0');
        LShownValue = DisplayedWeight(static_cast<uint32_t>(LInteger), FOptions.Decimals,
                                      LNegative && LInteger != 0);
        FLastWeight = LShownValue;
    } else {
        // Stable once the display has shown the same value three times.
        const double LShown = DisplayedWeight(LDigits, FOptions.Decimals, LNegative);
        const bool LStable = FFrames >= 2 && FPrevious[0] == LShown && FPrevious[1] == LShown;
        if (FOptions.Protocol == TSimProtocol::spContinuousStx) {
            const auto LFrame = EncodeContinuousStxFrame(LWeight, FOptions.Decimals, !LStable,
                                                         FOptions.Pounds, FOptions.Checksum);
            for (uint8_t LByte : LFrame)
                PutByte(LByte, AOut);
            FLastLength = LFrame.size();
        } else {
            uint8_t LFrame[5];
            EncodeXK3168Frame(LWeight, FOptions.Decimals, LStable, LFrame);
            for (uint8_t LByte : LFrame)
                PutByte(LByte, AOut);
        }
        FLastWeight = LShown;
    }
    FPrevious[1] = FPrevious[0];
    FPrevious[0] = FLastWeight;
    ++FFrames;
}
