// 8-bit text on Windows: the ANSI code page (CP_ACP). What the code page
// cannot hold becomes "?".
#include "platform/Text.h"

#include "platform/Windows_win32.h"

#include <string>

namespace {

// The Win32 calls take int lengths; longer text goes in pieces that do not
// split a surrogate pair (wide side) or, for the narrow side, is cut at a
// byte that cannot be the trail of a double-byte character.
constexpr size_t CPiece = 1u << 24;

const wchar_t* Wide(std::u16string_view AText) {
    return reinterpret_cast<const wchar_t*>(AText.data());
}

void AppendAnsi(std::u16string_view AText, AnsiString& AOut) {
    if (AText.empty())
        return;
    // No look-alikes ("8" for the infinity sign): what the code page lacks
    // is "?". A UTF-8 code page holds everything and takes neither setting.
    const bool LUtf8 = GetACP() == CP_UTF8;
    const DWORD LFlags = LUtf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* LDefault = LUtf8 ? nullptr : "?";
    const int LInLen = static_cast<int>(AText.size());
    const int LSize =
        WideCharToMultiByte(CP_ACP, LFlags, Wide(AText), LInLen, nullptr, 0, LDefault, nullptr);
    if (LSize <= 0) {
        AOut.append(AText.size(), '?');
        return;
    }
    const size_t LAt = AOut.size();
    AOut.resize(LAt + static_cast<size_t>(LSize));
    const int LDone = WideCharToMultiByte(CP_ACP, LFlags, Wide(AText), LInLen, AOut.data() + LAt,
                                          LSize, LDefault, nullptr);
    AOut.resize(LAt + static_cast<size_t>(LDone > 0 ? LDone : 0));
}

void AppendUnicode(std::string_view AText, UnicodeString& AOut) {
    if (AText.empty())
        return;
    const int LInLen = static_cast<int>(AText.size());
    const int LSize = MultiByteToWideChar(CP_ACP, 0, AText.data(), LInLen, nullptr, 0);
    if (LSize <= 0) {
        AOut.append(AText.size(), u'\uFFFD');
        return;
    }
    const size_t LAt = AOut.size();
    AOut.resize(LAt + static_cast<size_t>(LSize));
    const int LDone = MultiByteToWideChar(CP_ACP, 0, AText.data(), LInLen,
                                          reinterpret_cast<wchar_t*>(AOut.data() + LAt), LSize);
    AOut.resize(LAt + static_cast<size_t>(LDone > 0 ? LDone : 0));
}

} // namespace

AnsiString UnicodeToAnsi(std::u16string_view AText) {
    AnsiString LResult;
    while (AText.size() > CPiece) {
        size_t LCut = CPiece;
        if (AText[LCut - 1] >= 0xD800 && AText[LCut - 1] <= 0xDBFF)
            --LCut;
        AppendAnsi(AText.substr(0, LCut), LResult);
        AText.remove_prefix(LCut);
    }
    AppendAnsi(AText, LResult);
    return LResult;
}

UnicodeString AnsiToUnicode(std::string_view AText) {
    UnicodeString LResult;
    while (AText.size() > CPiece) {
        // Cut after an ASCII byte: it is never part of a double-byte character.
        size_t LCut = CPiece;
        while (LCut > 1 && static_cast<unsigned char>(AText[LCut - 1]) >= 0x80)
            --LCut;
        if (LCut <= 1)
            LCut = CPiece;
        AppendUnicode(AText.substr(0, LCut), LResult);
        AText.remove_prefix(LCut);
    }
    AppendUnicode(AText, LResult);
    return LResult;
}

char16_t LocaleDecimalSeparator() {
    wchar_t LBuffer[8] = {};
    const int LLength = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, LBuffer, 8);
    // The count includes the terminating null: one character means 2.
    if (LLength == 2 && LBuffer[0] != L'\0')
        return static_cast<char16_t>(LBuffer[0]);
    return u'.';
}
