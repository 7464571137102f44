// 8-bit text on POSIX: the locale's character set through iconv. A C/POSIX
// locale (plain ASCII) counts as UTF-8, or every Chinese text of the system
// would turn into question marks.
#include "platform/Text.h"

#include <cerrno>
#include <clocale>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <string>

namespace {

std::string LocaleCharset() {
    const char* LSet = nl_langinfo(CODESET);
    std::string L = LSet ? LSet : "";
    if (L.empty() || L == "ANSI_X3.4-1968" || L == "ASCII" || L == "US-ASCII")
        return "UTF-8";
    return L;
}

bool IsUtf8(const std::string& ASet) {
    return ASet == "UTF-8" || ASet == "utf8";
}

// Converts one UTF-32 code point; false when the charset cannot hold it.
bool ConvertOne(iconv_t ACd, char32_t ACode, std::string& AOut) {
    char LIn[4];
    std::memcpy(LIn, &ACode, 4);
    char LOut[16];
    char* LInP = LIn;
    char* LOutP = LOut;
    size_t LInLeft = 4, LOutLeft = sizeof LOut;
    if (iconv(ACd, &LInP, &LInLeft, &LOutP, &LOutLeft) == static_cast<size_t>(-1)) {
        iconv(ACd, nullptr, nullptr, nullptr, nullptr);
        return false;
    }
    AOut.append(LOut, static_cast<size_t>(LOutP - LOut));
    return true;
}

} // namespace

AnsiString UnicodeToAnsi(std::u16string_view AText) {
    const std::string LSet = LocaleCharset();
    if (IsUtf8(LSet))
        return UnicodeToUtf8(AText);
    iconv_t LCd = iconv_open(LSet.c_str(), "UTF-32LE");
    if (LCd == reinterpret_cast<iconv_t>(-1))
        return UnicodeToUtf8(AText);
    AnsiString LResult;
    for (size_t I = 0; I < AText.size(); ++I) {
        char32_t LCode = AText[I];
        if (LCode >= 0xD800 && LCode <= 0xDBFF && I + 1 < AText.size() && AText[I + 1] >= 0xDC00 &&
            AText[I + 1] <= 0xDFFF) {
            LCode = 0x10000 + ((LCode - 0xD800) << 10) + (AText[I + 1] - 0xDC00);
            ++I;
        }
        if (LCode < 0x80) {
            LResult.push_back(static_cast<char>(LCode));
        } else if (!ConvertOne(LCd, LCode, LResult)) {
            LResult.push_back('?');
        }
    }
    iconv_close(LCd);
    return LResult;
}

UnicodeString AnsiToUnicode(std::string_view AText) {
    const std::string LSet = LocaleCharset();
    if (IsUtf8(LSet))
        return Utf8ToUnicode(AText);
    iconv_t LCd = iconv_open("UTF-8", LSet.c_str());
    if (LCd == reinterpret_cast<iconv_t>(-1))
        return Utf8ToUnicode(AText);
    std::string LOut(AText.size() * 4 + 4, '\0');
    char* LInP = const_cast<char*>(AText.data());
    size_t LInLeft = AText.size();
    char* LOutP = LOut.data();
    size_t LOutLeft = LOut.size();
    while (LInLeft > 0) {
        if (iconv(LCd, &LInP, &LInLeft, &LOutP, &LOutLeft) == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                break;
            // An invalid byte: a replacement character, then go on.
            ++LInP;
            --LInLeft;
            if (LOutLeft >= 3) {
                std::memcpy(LOutP, "\xEF\xBF\xBD", 3);
                LOutP += 3;
                LOutLeft -= 3;
            }
        }
    }
    iconv_close(LCd);
    LOut.resize(static_cast<size_t>(LOutP - LOut.data()));
    return Utf8ToUnicode(LOut);
}

char16_t LocaleDecimalSeparator() {
    const struct lconv* L = std::localeconv();
    if (L && L->decimal_point && L->decimal_point[0] && !L->decimal_point[1])
        return static_cast<unsigned char>(L->decimal_point[0]);
    return u'.';
}
