// The character framing of an indicator, judged from what a receiver set to
// 8N1 makes of its bytes: a seven-bit sender's parity bit arrives as the
// eighth bit. Every decoder that names a framing judges it here.
#pragma once

#include <cstdint>

enum class TLineFraming : uint8_t { lfNone, lf8N1, lf7E1, lf7O1 };

// "8N1", "7E1", "7O1"; "" for lfNone.
const char* LineFramingName(TLineFraming AFraming);

// The judgement over the bytes of accepted frames or lines. A seven-bit
// framing is claimed only when the eighth bit was seen both set and clear and
// always was the even (or always the odd) parity of the other seven: bytes
// whose parity happens to be the same all through prove no parity bit.
struct TFramingJudge {
    uint32_t JudgedBytes = 0;
    bool SeenHigh = false; // the eighth bit set in some byte
    bool SeenLow = false;  // ... clear in some byte
    bool AllEven = true;   // the eighth bit was the even parity of the other seven
    bool AllOdd = true;    // ... the odd parity

    void Reset() { *this = TFramingJudge{}; }
    void Judge(uint8_t AByte);
    // lfNone before the first judged byte.
    TLineFraming Framing() const;
};
