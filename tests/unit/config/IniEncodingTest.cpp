// INI files as Notepad and other programs write them: UTF-16 with its mark,
// text in another code page, text that is none. The reader reads what it
// can and says what it could not; the editor keeps the file's encoding or
// refuses to touch it.
#include "config/IniEdit.h"
#include "config/IniFile.h"
#include "tests/support/ScratchDir.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

std::string Utf16(std::u16string_view AText, bool ABigEndian) {
    std::string LBytes;
    for (const char16_t C : AText) {
        const char LHigh = static_cast<char>(C >> 8), LLow = static_cast<char>(C & 0xFF);
        LBytes += ABigEndian ? LHigh : LLow;
        LBytes += ABigEndian ? LLow : LHigh;
    }
    return LBytes;
}
std::string Le(std::u16string_view AText) {
    return Utf16(AText, false);
}
std::string Be(std::u16string_view AText) {
    return Utf16(AText, true);
}

struct TReadCase {
    const char* Name;
    std::string Bytes;
    const char16_t* CommName; // "-" when the reader must not see the key
    const char* Problem;      // a part of the problem reported; "" for none
};

void PrintTo(const TReadCase& ACase, std::ostream* AOut) {
    *AOut << ACase.Name;
}

class IniFileReads : public ::testing::TestWithParam<TReadCase> {};

TEST_P(IniFileReads, TheKeysItCanAndSaysWhatItCannot) {
    const TScratchDir LDir("sp-ini-enc");
    const TIniFile LIni(LDir.Write("a.INI", GetParam().Bytes));
    EXPECT_EQ(LIni.ReadString(u"CommConfig", u"CommName", u"-"), GetParam().CommName);
    const std::string LProblem = UnicodeToUtf8(LIni.Problem());
    if (*GetParam().Problem == '\0')
        EXPECT_EQ(LProblem, "");
    else
        EXPECT_NE(LProblem.find(GetParam().Problem), std::string::npos) << LProblem;
}

const std::string CPlain = "[CommConfig]\r\nCommName=COM3\r\n";

// ALead, a comment line, then ATail from where the first ATailIn bytes of
// ATail end at the reader's limit.
std::string AtTheLimit(const std::string& ALead, const std::string& ATail, size_t ATailIn) {
    const size_t LComment = CMaxIniFileBytes - ALead.size() - ATailIn;
    return ALead + ";" + std::string(LComment - 2, 'x') + "\n" + ATail;
}

INSTANTIATE_TEST_SUITE_P(
    Table, IniFileReads,
    ::testing::Values(
        TReadCase{"Utf8", CPlain, u"COM3", ""},
        TReadCase{"Utf8WithMark", "\xEF\xBB\xBF" + CPlain, u"COM3", ""},
        TReadCase{"NotepadUnicode", Le(u"\uFEFF[CommConfig]\r\nCommName=COM3\r\n"), u"COM3", ""},
        TReadCase{"Utf16BigEndian", Be(u"\uFEFF[commconfig]\nCommName=称重3\n"), u"称重3", ""},
        TReadCase{"Utf16WithoutMark", Le(u"[CommConfig]\r\nCommName=COM3\r\n"), u"-",
                  "a NUL byte at offset 1"},
        TReadCase{"Utf16OddLength", Le(u"\uFEFF[CommConfig]\r\nCommName=COM3\r\n") + "x", u"COM3",
                  "odd number of bytes"},
        TReadCase{"Utf16HalfAPair", Le(u"\uFEFF[CommConfig]\r\nCommName=COM3\r\n;\xD800"), u"COM3",
                  "half a surrogate pair at offset 62"},
        TReadCase{"AnsiComment", "; \xB3\xC6\xD6\xD8\r\n" + CPlain, u"COM3",
                  "not UTF-8: byte 0xB3 at offset 2"},
        TReadCase{"JustTheLimit", AtTheLimit(CPlain, "", 0), u"COM3", ""},
        // "CommName=CO" within the limit is no value: the cut line is dropped.
        TReadCase{"KeyCutByTheLimit", AtTheLimit("[CommConfig]\n", "CommName=COM3\n", 11), u"-",
                  "only its first 1048565 bytes (whole lines) are read; the rest of its 1048579 "
                  "bytes is ignored"},
        TReadCase{"Utf16CutByTheLimit",
                  Le(u"\uFEFF[CommConfig]\r\nCommName=COM3\r\n;") +
                      std::string(CMaxIniFileBytes, 'x') + Le(u"\r\n[Weight]\r\nX=1\r\n"),
                  u"COM3", "only its first 60 bytes"}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

struct TEditCase {
    const char* Name;
    std::string In;
    TIniValues Values;
    std::string Out;   // when the edit is done
    const char* Error; // a part of the reason when it is refused
};

void PrintTo(const TEditCase& ACase, std::ostream* AOut) {
    *AOut << ACase.Name;
}

class IniBytesEdit : public ::testing::TestWithParam<TEditCase> {};

TEST_P(IniBytesEdit, KeepsTheFilesEncodingOrRefuses) {
    std::string LOut = "untouched", LError;
    const bool LDone = EditIniBytes(GetParam().In, "CommConfig", GetParam().Values, LOut, LError);
    if (*GetParam().Error == '\0') {
        EXPECT_TRUE(LDone) << LError;
        EXPECT_EQ(LOut, GetParam().Out);
    } else {
        EXPECT_FALSE(LDone);
        EXPECT_EQ(LOut, "untouched");
        EXPECT_NE(LError.find(GetParam().Error), std::string::npos) << LError;
    }
}

const TIniValues CFound{{"CommName", "COM9"}, {"BaudRate", "4800"}};

INSTANTIATE_TEST_SUITE_P(
    Table, IniBytesEdit,
    ::testing::Values(
        TEditCase{"NotepadUnicode",
                  Le(u"\uFEFF; 称重\r\n[CommConfig]\r\nCommName=COM1\r\n[Weight]\r\nX=5"), CFound,
                  Le(u"\uFEFF; 称重\r\n[CommConfig]\r\nCommName=COM9\r\nBaudRate=4800\r\n"
                     u"[Weight]\r\nX=5"),
                  ""},
        TEditCase{"Utf16BigEndianNewSection",
                  Be(u"\uFEFF[Weight]\nX=5\n"),
                  {{"CommName", "/dev/称重"}},
                  Be(u"\uFEFF[Weight]\nX=5\n\n[CommConfig]\nCommName=/dev/称重\n"),
                  ""},
        TEditCase{"Utf16MarkOnly", Le(u"\uFEFF"), CFound,
                  Le(u"\uFEFF[CommConfig]\r\nCommName=COM9\r\nBaudRate=4800\r\n"), ""},
        TEditCase{"AnsiBytesStay", "; \xB3\xC6\r\n[CommConfig]\r\nCommName=COM1\r\n", CFound,
                  "; \xB3\xC6\r\n[CommConfig]\r\nCommName=COM9\r\nBaudRate=4800\r\n", ""},
        TEditCase{"Utf16WithoutMark", Le(u"[CommConfig]\r\nCommName=COM1\r\n"), CFound, "",
                  "a NUL byte at offset 1"},
        TEditCase{"Utf16OddLength", Le(u"\uFEFF[CommConfig]\r\n") + "x", CFound, "",
                  "odd number of bytes"},
        // A port name with a line break would make lines of its own.
        TEditCase{"LineBreakInAValue",
                  CPlain,
                  {{"CommName", "COM1\n[Weight]\nX=1"}},
                  "",
                  "the value of CommName holds a control character (U+000A)"},
        TEditCase{"TabInAValue", CPlain, {{"Protocol", "keli\t"}}, "", "(U+0009)"},
        TEditCase{"C1ControlInAValue", CPlain, {{"CommName", "COM\xC2\x85"}}, "", "(U+0085)"}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

} // namespace
