#include "config/IniEdit.h"

#include <algorithm>

namespace {

struct TLine {
    size_t Begin = 0; // first byte of the line
    size_t End = 0;   // first byte of its line end
    size_t Next = 0;  // first byte of the next line
};

std::vector<TLine> SplitLines(std::string_view AText, size_t AStart) {
    std::vector<TLine> LLines;
    size_t LPos = AStart;
    while (LPos < AText.size()) {
        TLine LLine{LPos, AText.find_first_of("\r\n", LPos), 0};
        if (LLine.End == std::string_view::npos)
            LLine.End = LLine.Next = AText.size();
        else
            LLine.Next = LLine.End + (AText.compare(LLine.End, 2, "\r\n") == 0 ? 2 : 1);
        LLines.push_back(LLine);
        LPos = LLine.Next;
    }
    return LLines;
}

bool IsBlank(char C) {
    return C == ' ' || C == '\t';
}

std::string_view Trim(std::string_view AText) {
    while (!AText.empty() && IsBlank(AText.front()))
        AText.remove_prefix(1);
    while (!AText.empty() && IsBlank(AText.back()))
        AText.remove_suffix(1);
    return AText;
}

bool SameAscii(std::string_view A, std::string_view B) {
    const auto LFold = [](char C) { return C >= 'a' && C <= 'z' ? char(C - 'a' + 'A') : C; };
    return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(),
                                              [&](char X, char Y) { return LFold(X) == LFold(Y); });
}

enum class TKind { lkOther, lkSection, lkBadSection, lkKey };

// What the reader makes of a line; for a section its name, for a key its name.
TKind Classify(std::string_view ALine, std::string_view& AName) {
    const std::string_view LTrimmed = Trim(ALine);
    if (LTrimmed.empty() || LTrimmed.front() == ';' || LTrimmed.front() == '#')
        return TKind::lkOther;
    if (LTrimmed.front() == '[') {
        const size_t LClose = LTrimmed.find(']');
        if (LClose == std::string_view::npos)
            return TKind::lkBadSection;
        AName = Trim(LTrimmed.substr(1, LClose - 1));
        return TKind::lkSection;
    }
    const size_t LEq = LTrimmed.find('=');
    if (LEq == std::string_view::npos)
        return TKind::lkOther;
    AName = Trim(LTrimmed.substr(0, LEq));
    return AName.empty() ? TKind::lkOther : TKind::lkKey;
}

} // namespace

std::string SetIniValues(std::string_view AText, std::string_view ASection,
                         const TIniValues& AValues) {
    const size_t LStart = AText.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    const std::vector<TLine> LLines = SplitLines(AText, LStart);
    std::string LEol = "\r\n";
    for (const TLine& LLine : LLines)
        if (LLine.End < LLine.Next) {
            LEol = std::string(AText.substr(LLine.End, LLine.Next - LLine.End));
            break;
        }

    struct TEdit {
        size_t From, To;
        std::string Text;
    };
    std::vector<TEdit> LEdits;
    std::vector<bool> LDone(AValues.size(), false);
    // 0 before the section, 1 inside its first occurrence, 2 after it.
    int LFirst = 0;
    bool LInSection = false;
    size_t LInsertAt = AText.size();
    for (const TLine& LLine : LLines) {
        const std::string_view LText = AText.substr(LLine.Begin, LLine.End - LLine.Begin);
        std::string_view LName;
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
            if (LDone[I] || !SameAscii(LName, AValues[I].first))
                continue;
            LDone[I] = true;
            // The blanks around the value stay as they were.
            size_t LFrom = LLine.Begin + LText.find('=') + 1, LTo = LLine.End;
            while (LFrom < LTo && IsBlank(AText[LFrom]))
                ++LFrom;
            while (LTo > LFrom && IsBlank(AText[LTo - 1]))
                --LTo;
            LEdits.push_back({LFrom, LTo, AValues[I].second});
        }
    }

    std::string LNew;
    for (size_t I = 0; I < AValues.size(); ++I)
        if (!LDone[I])
            LNew += AValues[I].first + "=" + AValues[I].second + LEol;
    if (!LNew.empty()) {
        if (LFirst == 0)
            LNew = (AText.size() > LStart ? LEol : "") + "[" + std::string(ASection) + "]" + LEol +
                   LNew;
        // After a last line that has no line end of its own.
        const char LLast = LInsertAt > LStart ? AText[LInsertAt - 1] : '\n';
        if (LLast != '\n' && LLast != '\r')
            LNew = LEol + LNew;
        LEdits.push_back({LInsertAt, LInsertAt, LNew});
    }

    std::stable_sort(LEdits.begin(), LEdits.end(),
                     [](const TEdit& A, const TEdit& B) { return A.From < B.From; });
    std::string LOut;
    size_t LPos = 0;
    for (const TEdit& LEdit : LEdits) {
        LOut.append(AText.substr(LPos, LEdit.From - LPos));
        LOut += LEdit.Text;
        LPos = LEdit.To;
    }
    LOut.append(AText.substr(LPos));
    return LOut;
}
