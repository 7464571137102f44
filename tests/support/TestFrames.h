// Frames of the protocols as their indicators send them, for the tests of
// the decoders and clients.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The 12-byte STX frame as indicators send it: 0x02, sign, six digits (or
// leading blanks), decimal places, the exclusive-or of the eight bytes from
// the sign to the decimal digit in two upper-case hex digits, 0x03.
inline std::vector<uint8_t> KeliTestFrame(const std::string& ADigits, char ADot, char ASign = '+') {
    std::vector<uint8_t> LFrame(12, '0');
    LFrame[0] = 0x02;
    LFrame[1] = static_cast<uint8_t>(ASign);
    for (size_t I = 0; I < 6 && I < ADigits.size(); ++I)
        LFrame[2 + I] = static_cast<uint8_t>(ADigits[I]);
    LFrame[8] = static_cast<uint8_t>(ADot);
    uint8_t LCheck = 0;
    for (size_t I = 1; I <= 8; ++I)
        LCheck ^= LFrame[I];
    const char* const CHex = "0123456789ABCDEF";
    LFrame[9] = static_cast<uint8_t>(CHex[LCheck >> 4]);
    LFrame[10] = static_cast<uint8_t>(CHex[LCheck & 0x0F]);
    LFrame[11] = 0x03;
    return LFrame;
}

// The "standard continuous" frame: STX, the status bytes, six digits of the
// weight and six of the tare, CR and, with AChecksum, the two's complement of
// the seven-bit sum of the bytes before it.
inline std::vector<uint8_t> ContinuousStxTestFrame(uint8_t ASwa, uint8_t ASwb,
                                                   const std::string& AWeight,
                                                   bool AChecksum = false,
                                                   const std::string& ATare = "000000") {
    const std::string LText = std::string("\x02") + static_cast<char>(ASwa) +
                              static_cast<char>(ASwb) + "\x20" + AWeight + ATare + "\r";
    std::vector<uint8_t> LFrame(LText.begin(), LText.end());
    if (AChecksum) {
        uint32_t LSum = 0;
        for (uint8_t LByte : LFrame)
            LSum += LByte & 0x7F;
        LFrame.push_back(static_cast<uint8_t>(-LSum & 0x7F));
    }
    return LFrame;
}

// AText with the eighth bit set to the even (or odd) parity of the other
// seven, as a seven-bit sender puts it on the line.
inline std::vector<uint8_t> WithParityBit(const std::vector<uint8_t>& ABytes, bool AEven) {
    std::vector<uint8_t> LOut;
    for (uint8_t LByte : ABytes) {
        int LOnes = 0;
        for (int B = 0; B < 7; ++B)
            LOnes += (LByte >> B) & 1;
        LOut.push_back(
            static_cast<uint8_t>((LByte & 0x7F) | ((LOnes % 2 == 1) == AEven ? 0x80 : 0)));
    }
    return LOut;
}
