#include "config/IniFile.h"
#include "config/RegularFile.h"

#include <cstdio>

namespace {

bool IsBlank(char16_t C) {
    return C == u' ' || C == u'\t';
}

std::u16string_view Trim(std::u16string_view S) {
    while (!S.empty() && IsBlank(S.front()))
        S.remove_prefix(1);
    while (!S.empty() && IsBlank(S.back()))
        S.remove_suffix(1);
    return S;
}

std::u16string_view Unquote(std::u16string_view S) {
    if (S.size() >= 2 && (S.front() == u'"' || S.front() == u'\'') && S.back() == S.front())
        return S.substr(1, S.size() - 2);
    return S;
}

// Cuts to the value limit without leaving half a surrogate pair behind.
std::u16string_view CutValue(std::u16string_view S) {
    if (S.size() <= CMaxIniValueLength)
        return S;
    S = S.substr(0, CMaxIniValueLength);
    if (S.back() >= 0xD800 && S.back() <= 0xDBFF)
        S.remove_suffix(1);
    return S;
}

bool IsHighSurrogate(char16_t C) {
    return C >= 0xD800 && C <= 0xDBFF;
}

bool IsLowSurrogate(char16_t C) {
    return C >= 0xDC00 && C <= 0xDFFF;
}

// The offset of the first byte that is not part of well-formed UTF-8; npos
// when there is none.
size_t FirstBadUtf8(std::string_view ABytes) {
    size_t I = 0;
    while (I < ABytes.size()) {
        const auto B0 = static_cast<unsigned char>(ABytes[I]);
        const size_t LLen = B0 < 0x80             ? 1
                            : (B0 & 0xE0) == 0xC0 ? 2
                            : (B0 & 0xF0) == 0xE0 ? 3
                            : (B0 & 0xF8) == 0xF0 ? 4
                                                  : 0;
        if (LLen == 0 || I + LLen > ABytes.size())
            return I;
        char32_t LCode = LLen == 1 ? B0 : B0 & (0x7F >> LLen);
        for (size_t K = 1; K < LLen; ++K) {
            const auto B = static_cast<unsigned char>(ABytes[I + K]);
            if ((B & 0xC0) != 0x80)
                return I;
            LCode = (LCode << 6) | (B & 0x3F);
        }
        static constexpr char32_t CLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (LCode < CLeast[LLen] || LCode > 0x10FFFF || (LCode >= 0xD800 && LCode <= 0xDFFF))
            return I;
        I += LLen;
    }
    return std::string_view::npos;
}

std::string Hex(unsigned char AByte) {
    char LText[8];
    std::snprintf(LText, sizeof LText, "0x%02X", AByte);
    return LText;
}

// Where the last whole line of the bytes ends (after its CR or LF).
size_t WholeLinesEnd(std::string_view ABytes) {
    const TIniEncoding LEncoding = IniEncodingOf(ABytes);
    if (LEncoding == TIniEncoding::ieUtf8) {
        const size_t LEnd = ABytes.find_last_of("\r\n");
        return LEnd == std::string_view::npos ? 0 : LEnd + 1;
    }
    const std::u16string LUnits = Utf16OfBytes(ABytes, LEncoding == TIniEncoding::ieUtf16BE);
    const size_t LEnd = LUnits.find_last_of(u"\r\n");
    return LEnd == std::u16string::npos ? 0 : 2 * (LEnd + 1);
}

// A path for the log; a name that is not text of its system still gets one.
UnicodeString PathText(const std::filesystem::path& APath) {
    try {
        return APath.u16string();
    } catch (const std::exception&) {
        return Utf8ToUnicode(APath.string());
    }
}

int HexDigit(char16_t C) {
    if (C >= u'0' && C <= u'9')
        return C - u'0';
    if (C >= u'a' && C <= u'f')
        return C - u'a' + 10;
    if (C >= u'A' && C <= u'F')
        return C - u'A' + 10;
    return -1;
}

} // namespace

void ParseIniText(std::u16string_view AText, const TIniEntryProc& AOnEntry) {
    if (!AText.empty() && AText.front() == u'\uFEFF')
        AText.remove_prefix(1);
    bool LInSection = false;
    UnicodeString LSection;
    while (!AText.empty()) {
        const size_t LEnd = AText.find_first_of(u"\r\n");
        std::u16string_view LLine = AText.substr(0, LEnd);
        if (LEnd == std::u16string_view::npos) {
            AText = {};
        } else {
            const bool LCrLf =
                AText[LEnd] == u'\r' && LEnd + 1 < AText.size() && AText[LEnd + 1] == u'\n';
            AText.remove_prefix(LEnd + (LCrLf ? 2 : 1));
        }
        LLine = Trim(LLine);
        if (LLine.empty() || LLine.front() == u';' || LLine.front() == u'#')
            continue;
        if (LLine.front() == u'[') {
            const size_t LClose = LLine.find(u']');
            LInSection = LClose != std::u16string_view::npos;
            if (LInSection)
                LSection = UnicodeString(Trim(LLine.substr(1, LClose - 1)));
            continue;
        }
        const size_t LEq = LLine.find(u'=');
        if (!LInSection || LEq == std::u16string_view::npos)
            continue;
        const std::u16string_view LKey = Trim(LLine.substr(0, LEq));
        if (LKey.empty())
            continue;
        AOnEntry(LSection, LKey, Unquote(Trim(LLine.substr(LEq + 1))));
    }
}

TIniEncoding IniEncodingOf(std::string_view ABytes) {
    if (ABytes.starts_with("\xFF\xFE"))
        return TIniEncoding::ieUtf16LE;
    if (ABytes.starts_with("\xFE\xFF"))
        return TIniEncoding::ieUtf16BE;
    return TIniEncoding::ieUtf8;
}

std::u16string Utf16OfBytes(std::string_view ABytes, bool ABigEndian) {
    std::u16string LUnits(ABytes.size() / 2, u'\0');
    for (size_t I = 0; I < LUnits.size(); ++I) {
        const auto LFirst = static_cast<unsigned char>(ABytes[2 * I]);
        const auto LSecond = static_cast<unsigned char>(ABytes[2 * I + 1]);
        LUnits[I] =
            static_cast<char16_t>(ABigEndian ? LFirst << 8 | LSecond : LSecond << 8 | LFirst);
    }
    return LUnits;
}

std::string BytesOfUtf16(std::u16string_view AText, bool ABigEndian) {
    std::string LBytes;
    LBytes.reserve(2 * AText.size());
    for (const char16_t C : AText) {
        const char LHigh = static_cast<char>(C >> 8), LLow = static_cast<char>(C & 0xFF);
        LBytes += ABigEndian ? LHigh : LLow;
        LBytes += ABigEndian ? LLow : LHigh;
    }
    return LBytes;
}

TIniTextFault CheckIniBytes(std::string_view ABytes) {
    const TIniEncoding LEncoding = IniEncodingOf(ABytes);
    if (LEncoding == TIniEncoding::ieUtf8) {
        const size_t LNul = ABytes.find('\0');
        if (LNul != std::string_view::npos)
            return {true, "no UTF-8 text: a NUL byte at offset " + std::to_string(LNul) +
                              " (UTF-16 needs its byte-order mark)"};
        const size_t LBad = FirstBadUtf8(ABytes);
        if (LBad != std::string_view::npos)
            return {false, "not UTF-8: byte " + Hex(static_cast<unsigned char>(ABytes[LBad])) +
                               " at offset " + std::to_string(LBad) + " (read as U+FFFD)"};
        return {};
    }
    if (ABytes.size() % 2 != 0)
        return {true, "UTF-16 with an odd number of bytes"};
    const std::u16string LUnits = Utf16OfBytes(ABytes, LEncoding == TIniEncoding::ieUtf16BE);
    TIniTextFault LFault;
    for (size_t I = 0; I < LUnits.size(); ++I) {
        const char16_t C = LUnits[I];
        bool LPaired = true;
        if (IsHighSurrogate(C))
            LPaired = I + 1 < LUnits.size() && IsLowSurrogate(LUnits[I + 1]);
        else if (IsLowSurrogate(C))
            LPaired = I > 0 && IsHighSurrogate(LUnits[I - 1]);
        if (C == 0)
            return {true, "no UTF-16 text: a NUL character at offset " + std::to_string(2 * I)};
        if (!LPaired && LFault.What.empty())
            LFault.What = "UTF-16 with half a surrogate pair at offset " + std::to_string(2 * I);
    }
    return LFault;
}

UnicodeString DecodeIniBytes(std::string_view ABytes) {
    const TIniEncoding LEncoding = IniEncodingOf(ABytes);
    if (LEncoding != TIniEncoding::ieUtf8)
        return Utf16OfBytes(ABytes.substr(2), LEncoding == TIniEncoding::ieUtf16BE);
    if (ABytes.starts_with("\xEF\xBB\xBF"))
        ABytes.remove_prefix(3);
    return Utf8ToUnicode(ABytes);
}

bool TryParseIniInteger(std::u16string_view AText, int32_t& AValue) {
    if (AText.size() > 2 && AText[0] == u'0' && (AText[1] == u'x' || AText[1] == u'X')) {
        const std::u16string_view LDigits = AText.substr(2);
        if (LDigits.size() > 8)
            return false;
        uint32_t LValue = 0;
        for (const char16_t C : LDigits) {
            const int LDigit = HexDigit(C);
            if (LDigit < 0)
                return false;
            LValue = LValue * 16 + static_cast<uint32_t>(LDigit);
        }
        AValue = static_cast<int32_t>(LValue);
        return true;
    }
    long long LValue = 0;
    if (!TryStrToInt(AText, LValue) || LValue < INT32_MIN || LValue > INT32_MAX)
        return false;
    AValue = static_cast<int32_t>(LValue);
    return true;
}

int32_t TCustomIniFile::ReadInteger(std::u16string_view ASection, std::u16string_view AKey,
                                    int32_t ADefault) const {
    int32_t LValue = 0;
    return TryParseIniInteger(ReadString(ASection, AKey, UnicodeString()), LValue) ? LValue
                                                                                   : ADefault;
}

TIniFile::TIniFile(const std::filesystem::path& AFileName) {
    const TFileBytes LFile = ReadRegularFile(AFileName, CMaxIniFileBytes);
    if (LFile.Result == TFileRead::frMissing)
        return;
    if (LFile.Result != TFileRead::frRead) {
        FProblem = PathText(AFileName) + u": " + Utf8ToUnicode(LFile.Error);
        return;
    }
    std::string_view LBytes = LFile.Bytes;
    std::string LProblems;
    if (LFile.Truncated) {
        // A line cut in two could give a key half its value.
        LBytes = LBytes.substr(0, WholeLinesEnd(LBytes));
        LProblems = "only its first " + std::to_string(LBytes.size()) +
                    " bytes (whole lines) are read; the rest of its " + std::to_string(LFile.Size) +
                    " bytes is ignored";
    }
    const TIniTextFault LFault = CheckIniBytes(LBytes);
    if (!LFault.What.empty())
        LProblems += (LProblems.empty() ? "" : "; ") + LFault.What;
    if (!LProblems.empty())
        FProblem = PathText(AFileName) + u": " + Utf8ToUnicode(LProblems);
    LoadFromText(DecodeIniBytes(LBytes));
}

void TIniFile::LoadFromText(std::u16string_view AText) {
    ParseIniText(AText, [this](std::u16string_view ASection, std::u16string_view AKey,
                               std::u16string_view AValue) {
        // emplace keeps the first value of a key.
        FSections[UpperCase(ASection)].emplace(UpperCase(AKey), CutValue(AValue));
    });
}

UnicodeString TIniFile::ReadString(std::u16string_view ASection, std::u16string_view AKey,
                                   const UnicodeString& ADefault) const {
    const auto LSection = FSections.find(UpperCase(ASection));
    if (LSection == FSections.end())
        return ADefault;
    const auto LKey = LSection->second.find(UpperCase(AKey));
    return LKey == LSection->second.end() ? ADefault : LKey->second;
}
