#include "platform/Text.h"

#include "platform/Object.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void AppendUtf16(UnicodeString& AOut, char32_t ACode) {
    if (ACode < 0x10000) {
        AOut.push_back(static_cast<char16_t>(ACode));
    } else {
        ACode -= 0x10000;
        AOut.push_back(static_cast<char16_t>(0xD800 + (ACode >> 10)));
        AOut.push_back(static_cast<char16_t>(0xDC00 + (ACode & 0x3FF)));
    }
}

UnicodeString AsciiToUnicode(const char* AText) {
    UnicodeString LResult;
    for (; *AText; ++AText)
        LResult.push_back(static_cast<unsigned char>(*AText));
    return LResult;
}

} // namespace

UnicodeString Utf8ToUnicode(std::string_view AText) {
    UnicodeString LResult;
    LResult.reserve(AText.size());
    size_t I = 0;
    const size_t N = AText.size();
    while (I < N) {
        const auto B0 = static_cast<unsigned char>(AText[I]);
        if (B0 < 0x80) {
            LResult.push_back(B0);
            ++I;
            continue;
        }
        int LLen = 0;
        char32_t LCode = 0;
        char32_t LMin = 0;
        if ((B0 & 0xE0) == 0xC0) {
            LLen = 2, LCode = B0 & 0x1F, LMin = 0x80;
        } else if ((B0 & 0xF0) == 0xE0) {
            LLen = 3, LCode = B0 & 0x0F, LMin = 0x800;
        } else if ((B0 & 0xF8) == 0xF0) {
            LLen = 4, LCode = B0 & 0x07, LMin = 0x10000;
        } else {
            LResult.push_back(u'\uFFFD');
            ++I;
            continue;
        }
        int K = 1;
        for (; K < LLen && I + K < N; ++K) {
            const auto B = static_cast<unsigned char>(AText[I + K]);
            if ((B & 0xC0) != 0x80)
                break;
            LCode = (LCode << 6) | (B & 0x3F);
        }
        if (K < LLen || LCode < LMin || LCode > 0x10FFFF || (LCode >= 0xD800 && LCode <= 0xDFFF)) {
            // One replacement for the whole broken sequence read so far.
            LResult.push_back(u'\uFFFD');
            I += K;
            continue;
        }
        AppendUtf16(LResult, LCode);
        I += LLen;
    }
    return LResult;
}

std::string UnicodeToUtf8(std::u16string_view AText) {
    std::string LResult;
    LResult.reserve(AText.size());
    for (size_t I = 0; I < AText.size(); ++I) {
        char32_t LCode = AText[I];
        if (LCode >= 0xD800 && LCode <= 0xDBFF && I + 1 < AText.size() && AText[I + 1] >= 0xDC00 &&
            AText[I + 1] <= 0xDFFF) {
            LCode = 0x10000 + ((LCode - 0xD800) << 10) + (AText[I + 1] - 0xDC00);
            ++I;
        } else if (LCode >= 0xD800 && LCode <= 0xDFFF) {
            LCode = 0xFFFD;
        }
        if (LCode < 0x80) {
            LResult.push_back(static_cast<char>(LCode));
        } else if (LCode < 0x800) {
            LResult.push_back(static_cast<char>(0xC0 | (LCode >> 6)));
            LResult.push_back(static_cast<char>(0x80 | (LCode & 0x3F)));
        } else if (LCode < 0x10000) {
            LResult.push_back(static_cast<char>(0xE0 | (LCode >> 12)));
            LResult.push_back(static_cast<char>(0x80 | ((LCode >> 6) & 0x3F)));
            LResult.push_back(static_cast<char>(0x80 | (LCode & 0x3F)));
        } else {
            LResult.push_back(static_cast<char>(0xF0 | (LCode >> 18)));
            LResult.push_back(static_cast<char>(0x80 | ((LCode >> 12) & 0x3F)));
            LResult.push_back(static_cast<char>(0x80 | ((LCode >> 6) & 0x3F)));
            LResult.push_back(static_cast<char>(0x80 | (LCode & 0x3F)));
        }
    }
    return LResult;
}

UnicodeString IntToStr(long long AValue) {
    return AsciiToUnicode(std::to_string(AValue).c_str());
}

UnicodeString UIntToStr(unsigned long long AValue) {
    return AsciiToUnicode(std::to_string(AValue).c_str());
}

UnicodeString FloatToStrF2(double AValue) {
    char LBuf[400];
    std::snprintf(LBuf, sizeof LBuf, "%.2f", AValue);
    return AsciiToUnicode(LBuf);
}

UnicodeString FloatToStr(double AValue, char16_t ADecimalSeparator) {
    if (std::isnan(AValue))
        return u"NAN";
    if (std::isinf(AValue))
        return AValue > 0 ? u"INF" : u"-INF";
    if (AValue == 0)
        return u"0";
    // Round to 15 significant digits first; the exponent of the rounded value
    // decides the notation.
    char LBuf[64];
    std::snprintf(LBuf, sizeof LBuf, "%.14e", AValue);
    // LBuf: [-]d.ddddddddddddddde[+-]xx
    const char* LMant = LBuf;
    bool LNeg = false;
    if (*LMant == '-') {
        LNeg = true;
        ++LMant;
    }
    std::string LDigits;
    const char* P = LMant;
    for (; *P && *P != 'e'; ++P)
        if (*P >= '0' && *P <= '9')
            LDigits.push_back(*P);
    const int LExp = std::atoi(P + 1);
    while (LDigits.size() > 1 && LDigits.back() == '0')
        LDigits.pop_back();

    UnicodeString LResult;
    if (LNeg)
        LResult.push_back(u'-');
    const double LAbs = std::fabs(AValue);
    if (LAbs < 0.00001 || LExp >= 15) {
        LResult.push_back(static_cast<char16_t>(LDigits[0]));
        if (LDigits.size() > 1) {
            LResult.push_back(ADecimalSeparator);
            for (size_t I = 1; I < LDigits.size(); ++I)
                LResult.push_back(static_cast<char16_t>(LDigits[I]));
        }
        LResult += u"E";
        if (LExp < 0)
            LResult.push_back(u'-');
        LResult += IntToStr(LExp < 0 ? -LExp : LExp);
        return LResult;
    }
    if (LExp >= 0) {
        const size_t LIntDigits = static_cast<size_t>(LExp) + 1;
        for (size_t I = 0; I < LIntDigits; ++I)
            LResult.push_back(I < LDigits.size() ? static_cast<char16_t>(LDigits[I]) : u'0');
        if (LDigits.size() > LIntDigits) {
            LResult.push_back(ADecimalSeparator);
            for (size_t I = LIntDigits; I < LDigits.size(); ++I)
                LResult.push_back(static_cast<char16_t>(LDigits[I]));
        }
    } else {
        LResult.push_back(u'0');
        LResult.push_back(ADecimalSeparator);
        for (int I = 0; I < -LExp - 1; ++I)
            LResult.push_back(u'0');
        for (char C : LDigits)
            LResult.push_back(static_cast<char16_t>(C));
    }
    return LResult;
}

UnicodeString Format(std::u16string_view AFormat, std::initializer_list<TFormatArg> AArgs) {
    UnicodeString LResult;
    auto LArg = AArgs.begin();
    for (size_t I = 0; I < AFormat.size(); ++I) {
        const char16_t C = AFormat[I];
        if (C != u'%' || I + 1 >= AFormat.size()) {
            LResult.push_back(C);
            continue;
        }
        const char16_t D = AFormat[I + 1];
        if (D == u'%') {
            LResult.push_back(u'%');
            ++I;
            continue;
        }
        if ((D != u's' && D != u'd' && D != u'f') || LArg == AArgs.end()) {
            LResult.push_back(C);
            continue;
        }
        const TFormatArg& A = *LArg;
        bool LDone = true;
        if (D == u's' && std::holds_alternative<UnicodeString>(A)) {
            LResult += std::get<UnicodeString>(A);
        } else if (D == u'd' && std::holds_alternative<long long>(A)) {
            LResult += IntToStr(std::get<long long>(A));
        } else if (D == u'd' && std::holds_alternative<unsigned long long>(A)) {
            LResult += UIntToStr(std::get<unsigned long long>(A));
        } else if (D == u'f' && std::holds_alternative<double>(A)) {
            LResult += FloatToStrF2(std::get<double>(A));
        } else {
            LDone = false;
        }
        if (!LDone) {
            LResult.push_back(C);
            continue;
        }
        ++LArg;
        ++I;
    }
    return LResult;
}

bool TryStrToInt(std::u16string_view AText, long long& AValue) {
    size_t I = 0;
    bool LNeg = false;
    if (I < AText.size() && (AText[I] == u'+' || AText[I] == u'-')) {
        LNeg = AText[I] == u'-';
        ++I;
    }
    if (I >= AText.size())
        return false;
    unsigned long long LValue = 0;
    const unsigned long long LLimit = LNeg ? 9223372036854775808ULL : 9223372036854775807ULL;
    for (; I < AText.size(); ++I) {
        const char16_t C = AText[I];
        if (C < u'0' || C > u'9')
            return false;
        const unsigned LDigit = C - u'0';
        if (LValue > (LLimit - LDigit) / 10)
            return false;
        LValue = LValue * 10 + LDigit;
    }
    AValue = LNeg ? static_cast<long long>(0 - LValue) : static_cast<long long>(LValue);
    return true;
}

long long StrToInt(std::u16string_view AText) {
    long long LValue = 0;
    if (!TryStrToInt(AText, LValue))
        throw EConvertError(u"'" + UnicodeString(AText) + u"' is not a valid integer value");
    return LValue;
}

UnicodeString UpperCase(std::u16string_view AText) {
    UnicodeString LResult(AText);
    for (auto& C : LResult)
        if (C >= u'a' && C <= u'z')
            C = static_cast<char16_t>(C - 32);
    return LResult;
}

bool SameText(std::u16string_view A, std::u16string_view B) {
    if (A.size() != B.size())
        return false;
    for (size_t I = 0; I < A.size(); ++I) {
        char16_t X = A[I], Y = B[I];
        if (X >= u'a' && X <= u'z')
            X = static_cast<char16_t>(X - 32);
        if (Y >= u'a' && Y <= u'z')
            Y = static_cast<char16_t>(Y - 32);
        if (X != Y)
            return false;
    }
    return true;
}
