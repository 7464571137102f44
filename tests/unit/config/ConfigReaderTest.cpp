#include "config/IniEdit.h"
#include "config/IniFile.h"
#include "config/UnitConfigReader.h"
#include "logging/UnitLogFile.h"
#include "platform/ProgramDirs.h"
#include "platform/System.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path WriteIni(const fs::path& ADir, const std::string& AText) {
    const fs::path LFile = ADir / "scaleprobe.INI";
    std::ofstream(LFile, std::ios::binary) << AText;
    return LFile;
}

// Serves an INI text, but fails at the read with index AFailAt.
class TFailingIni : public TCustomIniFile {
public:
    TFailingIni(std::u16string_view AText, int AFailAt, bool AStdError)
        : FFailAt(AFailAt), FStdError(AStdError) {
        FIni.LoadFromText(AText);
    }
    UnicodeString ReadString(std::u16string_view ASection, std::u16string_view AKey,
                             const UnicodeString& ADefault) const override {
        if (FReads++ == FFailAt) {
            if (FStdError)
                throw std::runtime_error("disk on fire");
            throw EConvertError(u"read failed");
        }
        return FIni.ReadString(ASection, AKey, ADefault);
    }

private:
    TIniFile FIni;
    int FFailAt;
    bool FStdError;
    mutable int FReads = 0;
};

// The keys the reader reads: section, name, a value for the full file, the
// default, and the field it goes to, as text.
struct TConfigKey {
    const char* Section;
    const char* Key;
    const char* Value;
    const char* Default;
    std::function<std::string(const TCfgReader&)> Field;
};

std::string Text(const UnicodeString& AText) {
    return UnicodeToUtf8(AText);
}
std::string Text(const AnsiString& AText) {
    return AText;
}
std::string Text(int32_t AValue) {
    return std::to_string(AValue);
}

const TConfigKey CConfigKeys[] = {
    {"Server", "HttpSrv", "http://10.0.0.9:8080/api", "",
     [](auto& R) { return Text(R.HttpSrv()); }},
    {"CommConfig", "CommName", "/dev/ttyUSB3", "com1",
     [](auto& R) { return Text(R.CommCfg().CommName); }},
    {"CommConfig", "BaudRate", "4800", "9600", [](auto& R) { return Text(R.CommCfg().BaudRate); }},
    {"CommConfig", "ReadIntervalTimeout", "25", "10000",
     [](auto& R) { return Text(R.CommCfg().ReadIntervalTimeout); }},
    {"DoorController", "IP", "10.1.1.1", "192.168.1.100",
     [](auto& R) { return Text(R.DoorControlloerCfg().IP); }},
    {"DoorController", "Port", "9000", "8000",
     [](auto& R) { return Text(R.DoorControlloerCfg().Port); }},
    {"DoorController", "FrontDoorIdx", "3", "0", [](auto& R) { return Text(R.FrontDoorIdx()); }},
    {"DoorController", "BackDoorIdx", "4", "1", [](auto& R) { return Text(R.BackDoorIdx()); }},
    {"FrontVisionZenith", "IP", "10.1.1.2", "192.168.1.101",
     [](auto& R) { return Text(R.FrontVZClientCfg().IP); }},
    {"FrontVisionZenith", "Port", "81", "8131",
     [](auto& R) { return Text(R.FrontVZClientCfg().Port); }},
    {"FrontVisionZenith", "ClinetId", "front", "10000",
     [](auto& R) { return Text(R.FrontVZClientCfg().ClientId); }},
    {"BackVisionZenith", "IP", "10.1.1.3", "192.168.1.102",
     [](auto& R) { return Text(R.BackVZClientCfg().IP); }},
    {"BackVisionZenith", "Port", "82", "8131",
     [](auto& R) { return Text(R.BackVZClientCfg().Port); }},
    {"BackVisionZenith", "ClinetId", "back", "10000",
     [](auto& R) { return Text(R.BackVZClientCfg().ClientId); }},
    {"LED", "IP", "10.1.1.4", "192.168.1.103", [](auto& R) { return Text(R.LedCfg().IP); }},
    {"LED", "Port", "83", "8889", [](auto& R) { return Text(R.LedCfg().Port); }},
    {"FrontCamera", "IP", "10.1.1.5", "192.168.1.104",
     [](auto& R) { return Text(R.FrontCameraCfg().IP); }},
    {"FrontCamera", "Port", "84", "8001", [](auto& R) { return Text(R.FrontCameraCfg().Port); }},
    {"FrontCamera", "User", "fu", "admin", [](auto& R) { return Text(R.FrontCameraCfg().User); }},
    {"FrontCamera", "Pwd", "fp", "83907", [](auto& R) { return Text(R.FrontCameraCfg().Pwd); }},
    {"BackCarmera", "IP", "10.1.1.6", "192.168.1.105",
     [](auto& R) { return Text(R.BackCameraCfg().IP); }},
    {"BackCarmera", "Port", "85", "8001", [](auto& R) { return Text(R.BackCameraCfg().Port); }},
    {"BackCarmera", "User", "bu", "admin", [](auto& R) { return Text(R.BackCameraCfg().User); }},
    {"BackCarmera", "Pwd", "bp", "83907", [](auto& R) { return Text(R.BackCameraCfg().Pwd); }},
    {"Weight", "WeightRepeatCntWhenStable", "5", "100",
     [](auto& R) { return Text(R.WeightRepeatCntWhenStable()); }},
    {"Weight", "MinValidWeight", "6", "10", [](auto& R) { return Text(R.MinValidWeight()); }},
    {"Weight", "IntervalOpenDoorWhenUTurnBack", "7", "10",
     [](auto& R) { return Text(R.IntervalOpenDoorWhenUTurnBack()); }},
    {"Weight", "MaxSecLeaving", "8", "10", [](auto& R) { return Text(R.MaxSecLeaving()); }},
};

// Every key of the table at its value, section by section.
std::string FullIni() {
    std::string LText, LSection;
    for (const TConfigKey& LKey : CConfigKeys) {
        if (LSection != LKey.Section)
            LText += "[" + (LSection = LKey.Section) + "]\n";
        LText += std::string(LKey.Key) + "=" + LKey.Value + "\n";
    }
    return LText;
}

} // namespace

TEST(ConfigFileName, ExtensionReplacedOrAppended) {
    EXPECT_EQ(ConfigFileNameFor("/opt/sp/X.exe"), fs::path("/opt/sp/X.INI"));
    EXPECT_EQ(ConfigFileNameFor("/opt/sp/scaleprobe"), fs::path("/opt/sp/scaleprobe.INI"));
    EXPECT_EQ(ConfigFileNameFor("/opt/s.p/prog"), fs::path("/opt/s.p/prog.INI"));
    EXPECT_EQ(ConfigFileNameFor("/opt/a.tar.gz"), fs::path("/opt/a.tar.INI"));
}

class ConfigKeys : public ::testing::TestWithParam<TConfigKey> {
protected:
    static void SetUpTestSuite() {
        Dir = std::make_unique<TScratchDir>("sp-cfg-keys");
        Absent = std::make_unique<TCfgReader>(*Dir / "absent.INI");
        Full = std::make_unique<TCfgReader>(Dir->Write("full.INI", FullIni()));
        Sample = std::make_unique<TCfgReader>(fs::path(SP_SAMPLE_INI));
    }
    static void TearDownTestSuite() {
        Sample.reset();
        Full.reset();
        Absent.reset();
        Dir.reset();
    }
    static inline std::unique_ptr<TScratchDir> Dir;
    static inline std::unique_ptr<TCfgReader> Absent, Full, Sample;
};

TEST_P(ConfigKeys, WithoutTheFileItsFieldHoldsTheDefault) {
    EXPECT_EQ(GetParam().Field(*Absent), GetParam().Default);
}

TEST_P(ConfigKeys, GoesToItsField) {
    EXPECT_EQ(GetParam().Field(*Full), GetParam().Value);
}

// The sample INI of the Windows package holds the key at the value the
// reader uses when it is missing.
TEST_P(ConfigKeys, PackagedSampleHoldsItAtItsDefault) {
    const UnicodeString LAbsent = u"\x01";
    EXPECT_NE(
        TIniFile(SP_SAMPLE_INI)
            .ReadString(Utf8ToUnicode(GetParam().Section), Utf8ToUnicode(GetParam().Key), LAbsent),
        LAbsent)
        << "not in the sample";
    EXPECT_EQ(GetParam().Field(*Sample), GetParam().Default);
}

INSTANTIATE_TEST_SUITE_P(Table, ConfigKeys, ::testing::ValuesIn(CConfigKeys),
                         [](const auto& AInfo) {
                             return std::string(AInfo.param.Section) + AInfo.param.Key;
                         });

// The table holds every key the reader reads, and no other.
TEST(ConfigReader, ReadsTheKeysOfTheTable) {
    class TRecordingIni : public TCustomIniFile {
    public:
        explicit TRecordingIni(std::vector<std::string>& ARead) : FRead(ARead) {}
        UnicodeString ReadString(std::u16string_view ASection, std::u16string_view AKey,
                                 const UnicodeString& ADefault) const override {
            FRead.push_back(UnicodeToUtf8(UnicodeString(ASection) + u"/" + UnicodeString(AKey)));
            return ADefault;
        }

    private:
        std::vector<std::string>& FRead;
    };
    std::vector<std::string> LRead, LTable;
    const TCfgReader R(
        TCfgReader::TIniOpener([&] { return std::make_unique<TRecordingIni>(LRead); }));
    for (const TConfigKey& LKey : CConfigKeys)
        LTable.push_back(std::string(LKey.Section) + "/" + LKey.Key);
    std::sort(LRead.begin(), LRead.end());
    std::sort(LTable.begin(), LTable.end());
    EXPECT_EQ(LRead, LTable);
    EXPECT_EQ(R.CommCfg().StopBits, 0) << "not a key of the file";
}

TEST(ConfigReader, WithoutAFileNothingIsLogged) {
    TLogCapture LLog;
    const TCfgReader R(LLog.Dir() / "absent.INI");
    EXPECT_EQ(R.CommCfg().StopBits, 0);
    const UnicodeString LText = LLog.Text();
    EXPECT_EQ(LText.find(u"[Error]"), UnicodeString::npos) << UnicodeToUtf8(LText);
}

TEST(ConfigReader, MinValidWeightForms) {
    TLogCapture LLog;
    const auto LMin = [&LLog](const std::string& AValue) {
        return TCfgReader(WriteIni(LLog.Dir(), "[Weight]\nMinValidWeight=" + AValue + "\n"))
            .MinValidWeight();
    };
    EXPECT_EQ(LMin("0x14"), 20);
    EXPECT_EQ(LMin("abc"), 10);
    EXPECT_EQ(LMin(""), 10);
    EXPECT_EQ(LMin("  33  "), 33);
    EXPECT_EQ(LMin("'44'"), 44);
    // Lower-case section name.
    EXPECT_EQ(TCfgReader(WriteIni(LLog.Dir(), "[weight]\nminvalidweight=12\n")).MinValidWeight(),
              12);
}

TEST(ConfigReader, EmptyCommNameIsEmptyMissingIsCom1) {
    TLogCapture LLog;
    EXPECT_EQ(TCfgReader(WriteIni(LLog.Dir(), "[CommConfig]\nCommName=\n")).CommCfg().CommName,
              u"");
    EXPECT_EQ(TCfgReader(WriteIni(LLog.Dir(), "[CommConfig]\nBaudRate=1\n")).CommCfg().CommName,
              u"com1");
}

TEST(ConfigReader, OnlyTheExactNamesAreRead) {
    TLogCapture LLog;
    const TCfgReader R(WriteIni(LLog.Dir(), "[FrontVisionZenith]\nClientId=typo-fixed\n"
                                            "[BackCamera]\nUser=someone\nPort=1\n"));
    EXPECT_EQ(R.FrontVZClientCfg().ClientId, u"10000");
    EXPECT_EQ(R.BackCameraCfg().User, "admin");
    EXPECT_EQ(R.BackCameraCfg().Port, 8001);
}

TEST(ConfigReader, EightBitFieldsAreInTheLocaleCodePage) {
    TLogCapture LLog;
    const TCfgReader R(WriteIni(LLog.Dir(), "[FrontCamera]\nUser=\xE7\xAE\xA1\xE7\x90\x86\n"
                                            "[CommConfig]\nCommName=\xE7\xAE\xA1\n"));
    EXPECT_EQ(R.CommCfg().CommName, u"管");
    EXPECT_EQ(R.FrontCameraCfg().User, UnicodeToAnsi(u"管理"));
    EXPECT_NE(R.FrontCameraCfg().User, "admin");
}

TEST(ConfigReader, BadFilesGiveDefaults) {
    TLogCapture LLog;
    fs::create_directory(LLog.Dir() / "dir.INI");
    EXPECT_EQ(TCfgReader(LLog.Dir() / "dir.INI").MinValidWeight(), 10);
    EXPECT_EQ(TCfgReader(WriteIni(LLog.Dir(), "")).MinValidWeight(), 10);
    EXPECT_EQ(TCfgReader(WriteIni(LLog.Dir(), std::string("\0\xFF\x01[\x80=\n", 7))).BackDoorIdx(),
              1);
    const TCfgReader LLong(
        WriteIni(LLog.Dir(), "MinValidWeight=1\n[Server]\nHttpSrv=" + std::string(100000, 'h') +
                                 "\n[Weight]\nMinValidWeight=2\n"));
    EXPECT_EQ(LLong.HttpSrv(), UnicodeString(2047, u'h'));
    EXPECT_EQ(LLong.MinValidWeight(), 2);
    EXPECT_EQ(LLog.Text().find(u"[Error]"), UnicodeString::npos);
}

TEST(ConfigReader, AFailureIsLoggedAndLaterFieldsStayZero) {
    const UnicodeString LText = Utf8ToUnicode(FullIni());
    for (const bool LStdError : {false, true}) {
        TLogCapture LLog;
        // Reads 0..2 are HttpSrv, CommName, BaudRate; read 3 fails.
        const TCfgReader R(TCfgReader::TIniOpener(
            [&] { return std::make_unique<TFailingIni>(LText, 3, LStdError); }));
        EXPECT_EQ(R.HttpSrv(), u"http://10.0.0.9:8080/api");
        EXPECT_EQ(R.CommCfg().CommName, u"/dev/ttyUSB3");
        EXPECT_EQ(R.CommCfg().BaudRate, 4800);
        EXPECT_EQ(R.CommCfg().ReadIntervalTimeout, 0);
        EXPECT_EQ(R.DoorControlloerCfg().IP, u"");
        EXPECT_EQ(R.BackCameraCfg().User, "");
        EXPECT_EQ(R.BackDoorIdx(), 0);
        EXPECT_EQ(R.MinValidWeight(), 0);
        const UnicodeString LLogText = LLog.Text();
        EXPECT_NE(LLogText.find(u"加载配置错误"), UnicodeString::npos) << UnicodeToUtf8(LLogText);
        EXPECT_NE(LLogText.find(LStdError ? u"disk on fire" : u"read failed"), UnicodeString::npos);
    }
}

TEST(ConfigReader, AFailingOpenLeavesEverythingZero) {
    TLogCapture LLog;
    const TCfgReader R(TCfgReader::TIniOpener(
        []() -> std::unique_ptr<TCustomIniFile> { throw Exception(u"cannot open"); }));
    EXPECT_EQ(R.CommCfg().CommName, u"");
    EXPECT_EQ(R.MinValidWeight(), 0);
    const UnicodeString LText = LLog.Text();
    EXPECT_NE(LText.find(u"加载配置错误"), UnicodeString::npos);
    EXPECT_NE(LText.find(u"cannot open"), UnicodeString::npos);
}

TEST(ConfigReader, WithoutALogAFailureIsStillCaught) {
    ASSERT_EQ(GLogFile, nullptr);
    const TCfgReader R(TCfgReader::TIniOpener([] { return std::unique_ptr<TCustomIniFile>(); }));
    EXPECT_EQ(R.MinValidWeight(), 0);
}

TEST(ConfigReaderUnit, ReadsTheFileBesideTheExecutableAndClearsTheGlobal) {
    const fs::path LIni = ConfigFileNameFor(GetExecutablePath());
    ASSERT_FALSE(fs::exists(LIni)) << LIni;
    std::ofstream(LIni, std::ios::binary) << "[Weight]\nMinValidWeight=77\n";
    ASSERT_EQ(GCfgReader, nullptr);
    InitConfigReaderUnit();
    fs::remove(LIni);
    ASSERT_NE(GCfgReader, nullptr);
    EXPECT_EQ(GCfgReader->MinValidWeight(), 77);
    FinalizeConfigReaderUnit();
    EXPECT_EQ(GCfgReader, nullptr);
}

#ifndef _WIN32
// Linux only: an installed program reads its INI from the user's folder, under
// the same file name.
TEST(ConfigReaderUnit, ReadsTheUserConfigFolderWhenTheProgramFolderIsReadOnly) {
    const TScratchDir LDir("sp-cfg-xdg");
    const fs::path LIni =
        LDir.Write("scaleprobe" / ConfigFileNameFor(GetExecutablePath()).filename(),
                   "[Weight]\nMinValidWeight=55\n");
    fs::path LPath;
    {
        const TEnvScope LConfigHome("XDG_CONFIG_HOME", LDir.Path().string());
        SetDirWritableCheck([](const fs::path&) { return false; });
        LPath = ConfigFilePath();
        InitConfigReaderUnit();
        SetDirWritableCheck({});
    }
    EXPECT_EQ(LPath, LIni);
    ASSERT_NE(GCfgReader, nullptr);
    EXPECT_EQ(GCfgReader->MinValidWeight(), 55);
    FinalizeConfigReaderUnit();
    // A writable program folder stays the rule.
    EXPECT_EQ(ConfigFilePath(), ConfigFileNameFor(GetExecutablePath()));
}
#endif

// What the console front end saves reads back through the reader, and every
// other key of an installation's file reads as before.
TEST(ConfigReader, SavedCommSettingsReadBackAndNothingElseChanges) {
    TLogCapture LLog;
    const std::string LOriginal = "; installed 2026-11-02\r\n" + ReadWholeFile(SP_SAMPLE_INI);
    const std::string LSaved = SetIniValues(
        LOriginal, "CommConfig",
        {{"CommName", "COM7"}, {"BaudRate", "57600"}, {"StopBits", "2"}, {"Protocol", "keli"}});
    std::vector<std::string> LBefore, LAfter;
    const auto LCollect = [](std::vector<std::string>& AOut) {
        return [&AOut](std::u16string_view S, std::u16string_view K, std::u16string_view V) {
            if (!SameText(S, u"CommConfig") ||
                (!SameText(K, u"CommName") && !SameText(K, u"BaudRate")))
                AOut.push_back(UnicodeToUtf8(UnicodeString(S) + u"|" + UnicodeString(K) + u"=" +
                                             UnicodeString(V)));
        };
    };
    ParseIniText(DecodeIniBytes(LOriginal), LCollect(LBefore));
    ParseIniText(DecodeIniBytes(LSaved), LCollect(LAfter));
    LBefore.push_back("CommConfig|StopBits=2");
    LBefore.push_back("CommConfig|Protocol=keli");
    std::sort(LBefore.begin(), LBefore.end());
    std::sort(LAfter.begin(), LAfter.end());
    EXPECT_EQ(LAfter, LBefore);

    const TCfgReader R(WriteIni(LLog.Dir(), LSaved));
    EXPECT_EQ(R.CommCfg().CommName, u"COM7");
    EXPECT_EQ(R.CommCfg().BaudRate, 57600);
    EXPECT_EQ(R.CommCfg().ReadIntervalTimeout, 10000);
    EXPECT_EQ(R.DoorControlloerCfg().IP, u"192.168.1.100");
}
