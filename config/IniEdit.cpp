#include "config/IniEdit.h"
#include "config/IniFile.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdio>

namespace {

struct TLine {
    size_t Begin = 0; // first unit of the line
    size_t End = 0;   // first unit of its line end
    size_t Next = 0;  // first unit of the next line
};

template <class C> constexpr C CLineEnds[] = {C('\r'), C('\n'), C(0)};

template <class C> std::vector<TLine> SplitLines(std::basic_string_view<C> AText, size_t AStart) {
    std::vector<TLine> LLines;
    size_t LPos = AStart;
    while (LPos < AText.size()) {
        TLine LLine{LPos, AText.find_first_of(CLineEnds<C>, LPos), 0};
        if (LLine.End == std::basic_string_view<C>::npos)
            LLine.End = LLine.Next = AText.size();
        else
            LLine.Next = LLine.End + (AText.compare(LLine.End, 2, CLineEnds<C>) == 0 ? 2 : 1);
        LLines.push_back(LLine);
        LPos = LLine.Next;
    }
    return LLines;
}

template <class C> bool IsBlank(C A) {
    return A == C(' ') || A == C('\t');
}

template <class C> std::basic_string_view<C> Trim(std::basic_string_view<C> AText) {
    while (!AText.empty() && IsBlank(AText.front()))
        AText.remove_prefix(1);
    while (!AText.empty() && IsBlank(AText.back()))
        AText.remove_suffix(1);
    return AText;
}

template <class C> bool SameAscii(std::basic_string_view<C> A, std::basic_string_view<C> B) {
    const auto LFold = [](C X) { return X >= C('a') && X <= C('z') ? C(X - 'a' + 'A') : X; };
    return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(),
                                              [&](C X, C Y) { return LFold(X) == LFold(Y); });
}

enum class TKind { lkOther, lkSection, lkBadSection, lkKey };

// What the reader makes of a line; for a section its name, for a key its name.
template <class C>
TKind Classify(std::basic_string_view<C> ALine, std::basic_string_view<C>& AName) {
    const std::basic_string_view<C> LTrimmed = Trim(ALine);
    if (LTrimmed.empty() || LTrimmed.front() == C(';') || LTrimmed.front() == C('#'))
        return TKind::lkOther;
    if (LTrimmed.front() == C('[')) {
        const size_t LClose = LTrimmed.find(C(']'));
        if (LClose == std::basic_string_view<C>::npos)
            return TKind::lkBadSection;
        AName = Trim(LTrimmed.substr(1, LClose - 1));
        return TKind::lkSection;
    }
    const size_t LEq = LTrimmed.find(C('='));
    if (LEq == std::basic_string_view<C>::npos)
        return TKind::lkOther;
    AName = Trim(LTrimmed.substr(0, LEq));
    return AName.empty() ? TKind::lkOther : TKind::lkKey;
}

template <class C>
using TValues = std::vector<std::pair<std::basic_string<C>, std::basic_string<C>>>;

// The editor for one kind of code unit: UTF-8 bytes or UTF-16 units. The
// mark is the byte-order mark's length in units.
template <class C>
std::basic_string<C> SetValues(std::basic_string_view<C> AText, size_t AMark,
                               std::basic_string_view<C> ASection, const TValues<C>& AValues) {
    using TView = std::basic_string_view<C>;
    using TText = std::basic_string<C>;
    const size_t LStart = AMark;
    const std::vector<TLine> LLines = SplitLines(AText, LStart);
    TText LEol{C('\r'), C('\n')};
    for (const TLine& LLine : LLines)
        if (LLine.End < LLine.Next) {
            LEol = TText(AText.substr(LLine.End, LLine.Next - LLine.End));
            break;
        }

    struct TEdit {
        size_t From, To;
        TText Text;
    };
    std::vector<TEdit> LEdits;
    std::vector<bool> LDone(AValues.size(), false);
    // 0 before the section, 1 inside its first occurrence, 2 after it.
    int LFirst = 0;
    bool LInSection = false;
    size_t LInsertAt = AText.size();
    for (const TLine& LLine : LLines) {
        const TView LText = AText.substr(LLine.Begin, LLine.End - LLine.Begin);
        TView LName;
        const TKind LKind = Classify(LText, LName);
        if (LKind == TKind::lkSection || LKind == TKind::lkBadSection) {
            LInSection = LKind == TKind::lkSection && SameAscii(LName, ASection);
            if (LFirst == 1)
                LFirst = 2;
            if (LInSection && LFirst == 0) {
                LFirst = 1;
                LInsertAt = LLine.Next;
            }
            continue;
        }
        if (LKind != TKind::lkKey || !LInSection)
            continue;
        if (LFirst == 1)
            LInsertAt = LLine.Next;
        for (size_t I = 0; I < AValues.size(); ++I) {
            if (LDone[I] || !SameAscii(LName, TView(AValues[I].first)))
                continue;
            LDone[I] = true;
            // The blanks around the value stay as they were.
            size_t LFrom = LLine.Begin + LText.find(C('=')) + 1, LTo = LLine.End;
            while (LFrom < LTo && IsBlank(AText[LFrom]))
                ++LFrom;
            while (LTo > LFrom && IsBlank(AText[LTo - 1]))
                --LTo;
            LEdits.push_back({LFrom, LTo, AValues[I].second});
        }
    }

    TText LNew;
    for (size_t I = 0; I < AValues.size(); ++I)
        if (!LDone[I])
            LNew += AValues[I].first + C('=') + AValues[I].second + LEol;
    if (!LNew.empty()) {
        if (LFirst == 0)
            LNew = (AText.size() > LStart ? LEol : TText()) + C('[') + TText(ASection) + C(']') +
                   LEol + LNew;
        // After a last line that has no line end of its own.
        const C LLast = LInsertAt > LStart ? AText[LInsertAt - 1] : C('\n');
        if (LLast != C('\n') && LLast != C('\r'))
            LNew = LEol + LNew;
        LEdits.push_back({LInsertAt, LInsertAt, LNew});
    }

    std::stable_sort(LEdits.begin(), LEdits.end(),
                     [](const TEdit& A, const TEdit& B) { return A.From < B.From; });
    TText LOut;
    size_t LPos = 0;
    for (const TEdit& LEdit : LEdits) {
        LOut.append(AText.substr(LPos, LEdit.From - LPos));
        LOut += LEdit.Text;
        LPos = LEdit.To;
    }
    LOut.append(AText.substr(LPos));
    return LOut;
}

// The first control character of a value (C0, DEL or C1); 0 when none.
char16_t ControlIn(std::u16string_view AValue) {
    for (const char16_t C : AValue)
        if (C < 0x20 || (C >= 0x7F && C <= 0x9F))
            return C;
    return 0;
}

} // namespace

std::string SetIniValues(std::string_view AText, std::string_view ASection,
                         const TIniValues& AValues) {
    return SetValues<char>(AText, AText.starts_with("\xEF\xBB\xBF") ? 3 : 0, ASection, AValues);
}

bool EditIniBytes(std::string_view ABytes, std::string_view ASection, const TIniValues& AValues,
                  std::string& AOut, std::string& AError) {
    for (const auto& [LKey, LValue] : AValues)
        if (const char16_t LControl = ControlIn(Utf8ToUnicode(LValue)); LControl != 0) {
            char LCode[8];
            std::snprintf(LCode, sizeof LCode, "U+%04X", static_cast<unsigned>(LControl));
            AError = "the value of " + LKey + " holds a control character (" + LCode +
                     "), which an INI line cannot keep";
            return false;
        }
    const TIniTextFault LFault = CheckIniBytes(ABytes);
    if (LFault.NotText) {
        AError = "cannot be edited without damage: " + LFault.What;
        return false;
    }
    const TIniEncoding LEncoding = IniEncodingOf(ABytes);
    if (LEncoding == TIniEncoding::ieUtf8) {
        AOut = SetIniValues(ABytes, ASection, AValues);
        return true;
    }
    // UTF-16 is edited as UTF-16: its units, mark and line ends stay.
    const bool LBig = LEncoding == TIniEncoding::ieUtf16BE;
    TValues<char16_t> LValues;
    for (const auto& [LKey, LValue] : AValues)
        LValues.emplace_back(Utf8ToUnicode(LKey), Utf8ToUnicode(LValue));
    const std::u16string LText = Utf16OfBytes(ABytes, LBig);
    AOut = BytesOfUtf16(SetValues<char16_t>(LText, 1, Utf8ToUnicode(ASection), LValues), LBig);
    return true;
}
