#include "config/IniFile.h"

#include <fstream>
#include <iterator>
#include <system_error>

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

UnicodeString DecodeIniBytes(std::string_view ABytes) {
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
    std::error_code LError;
    if (!std::filesystem::is_regular_file(AFileName, LError))
        return;
    std::ifstream LStream(AFileName, std::ios::binary);
    if (!LStream)
        return;
    const std::string LBytes{std::istreambuf_iterator<char>(LStream),
                             std::istreambuf_iterator<char>()};
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
