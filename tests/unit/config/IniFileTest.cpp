#include "config/IniFile.h"
#include "tests/support/ScratchDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace {

TIniFile IniOf(std::u16string_view AText) {
    TIniFile LIni;
    LIni.LoadFromText(AText);
    return LIni;
}

} // namespace

TEST(IniParse, ReportsEntriesInOrderWithTheirSection) {
    std::vector<std::tuple<UnicodeString, UnicodeString, UnicodeString>> LSeen;
    ParseIniText(u"\uFEFF[A]\nx=1\n[ B ]\ny = two words \nx=3",
                 [&](std::u16string_view S, std::u16string_view K, std::u16string_view V) {
                     LSeen.emplace_back(S, K, V);
                 });
    ASSERT_EQ(LSeen.size(), 3u);
    EXPECT_EQ(LSeen[0],
              std::make_tuple(UnicodeString(u"A"), UnicodeString(u"x"), UnicodeString(u"1")));
    EXPECT_EQ(LSeen[1], std::make_tuple(UnicodeString(u"B"), UnicodeString(u"y"),
                                        UnicodeString(u"two words")));
    EXPECT_EQ(LSeen[2],
              std::make_tuple(UnicodeString(u"B"), UnicodeString(u"x"), UnicodeString(u"3")));
}

TEST(IniParse, LineEndsCommentsAndStrayLines) {
    const TIniFile LIni = IniOf(u"orphan=1\r\n"
                                u"[S]\r\n"
                                u"a=crlf\r\n"
                                u"b=lf\n"
                                u"c=cr\r"
                                u"; d=comment\n"
                                u"  # e=comment\n"
                                u"no equals sign\n"
                                u"=empty key\n"
                                u"\n"
                                u"f=last, no line end");
    EXPECT_EQ(LIni.ReadString(u"S", u"a", u"-"), u"crlf");
    EXPECT_EQ(LIni.ReadString(u"S", u"b", u"-"), u"lf");
    EXPECT_EQ(LIni.ReadString(u"S", u"c", u"-"), u"cr");
    EXPECT_EQ(LIni.ReadString(u"S", u"d", u"-"), u"-");
    EXPECT_EQ(LIni.ReadString(u"S", u"e", u"-"), u"-");
    EXPECT_EQ(LIni.ReadString(u"S", u"no equals sign", u"-"), u"-");
    EXPECT_EQ(LIni.ReadString(u"S", u"", u"-"), u"-");
    EXPECT_EQ(LIni.ReadString(u"S", u"f", u"-"), u"last, no line end");
    // A key before any section belongs to none, not even to an empty name.
    EXPECT_EQ(LIni.ReadString(u"", u"orphan", u"-"), u"-");
    EXPECT_EQ(LIni.ReadString(u"S", u"orphan", u"-"), u"-");
}

// The value of key "k" in a section holding ALines (the default is "-").
struct TValueRow {
    const char* Name;
    std::u16string_view Lines;
    std::u16string_view Value;
};

class IniValues : public ::testing::TestWithParam<TValueRow> {};

TEST_P(IniValues, ReadAsWritten) {
    const TIniFile LIni = IniOf(u"[S]\n" + UnicodeString(GetParam().Lines) + u"\n");
    EXPECT_EQ(LIni.ReadString(u"S", u"k", u"-"), GetParam().Value);
}

INSTANTIATE_TEST_SUITE_P(
    BlanksAndQuotes, IniValues,
    ::testing::Values(
        TValueRow{"BlanksAroundKeyAndValue", u" \t k \t = \t value with  inner  blanks \t ",
                  u"value with  inner  blanks"},
        TValueRow{"DoubleQuotes", u"k=\"  kept inside  \"", u"  kept inside  "},
        TValueRow{"SingleQuotes", u"k=' single '", u" single "},
        TValueRow{"OpeningQuoteOnly", u"k=\"open only", u"\"open only"},
        TValueRow{"MismatchedQuotes", u"k=\"a'", u"\"a'"}, TValueRow{"OneQuote", u"k=\"", u"\""},
        TValueRow{"QuotesTwice", u"k=\"\"x\"\"", u"\"x\""},
        TValueRow{"SemicolonInsideAValue", u"k=10 ; not a comment", u"10 ; not a comment"},
        TValueRow{"EqualsSignInsideAValue", u"k=a=b", u"a=b"},
        // An empty value is not the default.
        TValueRow{"Empty", u"k=", u""}, TValueRow{"Blanks", u"k=   ", u""},
        TValueRow{"EmptyQuotes", u"k=\"\"", u""}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(IniParse, SectionsAndKeysIgnoreCaseFirstKeyWins) {
    const TIniFile LIni = IniOf(u"[Weight]\nMinValidWeight=1\nminvalidweight=2\n"
                                u"[Other]\nk=o\n"
                                u"[WEIGHT]\nMinValidWeight=3\nExtra=4\n");
    EXPECT_EQ(LIni.ReadString(u"weight", u"MINVALIDWEIGHT", u"-"), u"1");
    EXPECT_EQ(LIni.ReadString(u"wEiGhT", u"extra", u"-"), u"4");
    EXPECT_EQ(LIni.ReadString(u"other", u"K", u"-"), u"o");
    EXPECT_EQ(LIni.ReadString(u"Missing", u"k", u"dflt"), u"dflt");
    EXPECT_EQ(LIni.ReadString(u"Other", u"missing", u"dflt"), u"dflt");
}

TEST(IniParse, MalformedSectionLineDropsKeysUntilTheNextSection) {
    const TIniFile LIni = IniOf(u"[A]\nk=a\n[B\nk2=lost\n[C] trailing text\nk=c\n");
    EXPECT_EQ(LIni.ReadString(u"A", u"k2", u"-"), u"-");
    EXPECT_EQ(LIni.ReadString(u"B", u"k2", u"-"), u"-");
    EXPECT_EQ(LIni.ReadString(u"C", u"k", u"-"), u"c");
}

TEST(IniParse, LongValuesAreCut) {
    const UnicodeString LLong(100000, u'7');
    const TIniFile LIni = IniOf(u"[S]\nlong=" + LLong + u"\nnext=1\n[" + LLong + u"]\nk=v\n");
    const UnicodeString LValue = LIni.ReadString(u"S", u"long", u"");
    EXPECT_EQ(LValue.size(), CMaxIniValueLength);
    EXPECT_EQ(LValue, LLong.substr(0, CMaxIniValueLength));
    EXPECT_EQ(LIni.ReadString(u"S", u"next", u""), u"1");
    EXPECT_EQ(LIni.ReadString(LLong, u"k", u""), u"v");
    // Far too long for any integer.
    EXPECT_EQ(LIni.ReadInteger(u"S", u"long", 5), 5);

    // A cut never leaves half of a surrogate pair.
    const UnicodeString LPair = u"\U0001F600";
    const TIniFile LEmoji =
        IniOf(u"[S]\nk=" + UnicodeString(CMaxIniValueLength - 1, u'a') + LPair + u"tail\n");
    const UnicodeString LCut = LEmoji.ReadString(u"S", u"k", u"");
    EXPECT_EQ(LCut, UnicodeString(CMaxIniValueLength - 1, u'a'));
}

// The integer of key "k" in a section holding ALines (the default is -99).
struct TIntegerRow {
    const char* Name;
    std::u16string_view Lines;
    int32_t Value;
};

class IniIntegers : public ::testing::TestWithParam<TIntegerRow> {};

TEST_P(IniIntegers, ReadInTheirForm) {
    const TIniFile LIni = IniOf(u"[S]\n" + UnicodeString(GetParam().Lines) + u"\n");
    EXPECT_EQ(LIni.ReadInteger(u"S", u"k", -99), GetParam().Value);
}

INSTANTIATE_TEST_SUITE_P(
    DecimalAndHexForms, IniIntegers,
    ::testing::Values(
        TIntegerRow{"Hex", u"k=0x14", 20}, TIntegerRow{"HexUpperCase", u"k=0X1f", 31},
        // Keys ignore case: the first one wins.
        TIntegerRow{"FirstOfTwoKeys", u"k=0x14\nK=0X1f", 20},
        TIntegerRow{"HexAllOnesIsMinusOne", u"k=0xFFFFFFFF", -1},
        TIntegerRow{"HexTooLong", u"k=0x100000000", -99},
        TIntegerRow{"HexBadDigit", u"k=0x1G", -99}, TIntegerRow{"HexWithoutDigits", u"k=0x", -99},
        TIntegerRow{"Zero", u"k=0", 0}, TIntegerRow{"Negative", u"k=-5", -5},
        TIntegerRow{"Plus", u"k=+7", 7}, TIntegerRow{"Min", u"k=-2147483648", INT32_MIN},
        TIntegerRow{"Max", u"k=2147483647", INT32_MAX},
        TIntegerRow{"AboveMax", u"k=2147483648", -99},
        TIntegerRow{"BelowMin", u"k=-2147483649", -99}, TIntegerRow{"Letters", u"k=abc", -99},
        TIntegerRow{"TrailingLetters", u"k=12abc", -99}, TIntegerRow{"SignOnly", u"k=-", -99},
        TIntegerRow{"NegativeHex", u"k=-0x14", -99}, TIntegerRow{"Quoted", u"k=\"42\"", 42},
        TIntegerRow{"Empty", u"k=", -99}, TIntegerRow{"Missing", u"", -99}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(IniInteger, ParsedWithoutAProfile) {
    int32_t LValue = 0;
    EXPECT_TRUE(TryParseIniInteger(u"0X1f", LValue));
    EXPECT_EQ(LValue, 31);
}

TEST(IniFileOnDisk, MissingUnreadableAndEmptyFilesAreEmptyProfiles) {
    const TScratchDir LDir("sp-ini");
    const TIniFile LMissing(LDir.Path() / "none.INI");
    EXPECT_EQ(LMissing.ReadString(u"S", u"k", u"dflt"), u"dflt");

    fs::create_directory(LDir.Path() / "dir.INI");
    const TIniFile LDirectory(LDir.Path() / "dir.INI");
    EXPECT_EQ(LDirectory.ReadString(u"S", u"k", u"dflt"), u"dflt");

    const TIniFile LEmpty(LDir.Write("empty.INI", ""));
    EXPECT_EQ(LEmpty.ReadInteger(u"S", u"k", 3), 3);
}

TEST(IniFileOnDisk, Utf8WithByteOrderMarkAndInvalidBytes) {
    const TScratchDir LDir("sp-ini");
    const TIniFile LIni(
        LDir.Write("u.INI", "\xEF\xBB\xBF[Server]\r\nHttpSrv=http://\xE7\xA3\x85/\r\nbad=a\xFF"
                            "b\r\n"));
    EXPECT_EQ(LIni.ReadString(u"server", u"httpsrv", u""), u"http://磅/");
    EXPECT_EQ(LIni.ReadString(u"Server", u"bad", u""), u"a\uFFFDb");
}

TEST(IniFileOnDisk, BinaryGarbageDoesNotHideLaterGoodLines) {
    const TScratchDir LDir("sp-ini");
    std::mt19937 LRandom(12345);
    for (int LRound = 0; LRound < 20; ++LRound) {
        std::string LBytes(4096, '\0');
        for (auto& C : LBytes)
            C = static_cast<char>(LRandom());
        const TIniFile LGarbage(LDir.Write("g.INI", LBytes));
        std::ignore = LGarbage.ReadString(u"Weight", u"MinValidWeight", u"");

        LBytes += "\n[Weight]\nMinValidWeight=55\n";
        const TIniFile LMixed(LDir.Write("g.INI", LBytes));
        EXPECT_EQ(LMixed.ReadInteger(u"Weight", u"MinValidWeight", 0), 55) << "round " << LRound;
    }
}

TEST(IniFileOnDisk, ReadOnceAtOpen) {
    const TScratchDir LDir("sp-ini");
    const fs::path LFile = LDir.Write("r.INI", "[S]\nk=before\n");
    const TIniFile LIni(LFile);
    LDir.Write("r.INI", "[S]\nk=after\n");
    EXPECT_EQ(LIni.ReadString(u"S", u"k", u""), u"before");
}
