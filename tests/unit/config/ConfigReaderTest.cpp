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

constexpr char CFullIni[] = "[Server]\nHttpSrv=http://10.0.0.9:8080/api\n"
                            "[CommConfig]\nCommName=/dev/ttyUSB3\nBaudRate=4800\n"
                            "ReadIntervalTimeout=25\n"
                            "[DoorController]\nIP=10.1.1.1\nPort=9000\nFrontDoorIdx=3\n"
                            "BackDoorIdx=4\n"
                            "[FrontVisionZenith]\nIP=10.1.1.2\nPort=81\nClinetId=front\n"
                            "[BackVisionZenith]\nIP=10.1.1.3\nPort=82\nClinetId=back\n"
                            "[LED]\nIP=10.1.1.4\nPort=83\n"
                            "[FrontCamera]\nIP=10.1.1.5\nPort=84\nUser=fu\nPwd=fp\n"
                            "[BackCarmera]\nIP=10.1.1.6\nPort=85\nUser=bu\nPwd=bp\n"
                            "[Weight]\nWeightRepeatCntWhenStable=5\nMinValidWeight=6\n"
                            "IntervalOpenDoorWhenUTurnBack=7\nMaxSecLeaving=8\n";

} // namespace

TEST(ConfigFileName, ExtensionReplacedOrAppended) {
    EXPECT_EQ(ConfigFileNameFor("/opt/sp/X.exe"), fs::path("/opt/sp/X.INI"));
    EXPECT_EQ(ConfigFileNameFor("/opt/sp/scaleprobe"), fs::path("/opt/sp/scaleprobe.INI"));
    EXPECT_EQ(ConfigFileNameFor("/opt/s.p/prog"), fs::path("/opt/s.p/prog.INI"));
    EXPECT_EQ(ConfigFileNameFor("/opt/a.tar.gz"), fs::path("/opt/a.tar.INI"));
}

TEST(ConfigReader, WithoutAFileEveryFieldHoldsItsDefaultAndNothingIsLogged) {
    TLogCapture LLog;
    const TCfgReader R(LLog.Dir() / "absent.INI");
    EXPECT_EQ(R.HttpSrv(), u"");
    EXPECT_EQ(R.CommCfg().CommName, u"com1");
    EXPECT_EQ(R.CommCfg().BaudRate, 9600);
    EXPECT_EQ(R.CommCfg().ReadIntervalTimeout, 10000);
    EXPECT_EQ(R.CommCfg().StopBits, 0);
    EXPECT_EQ(R.DoorControlloerCfg().IP, u"192.168.1.100");
    EXPECT_EQ(R.DoorControlloerCfg().Port, 8000);
    EXPECT_EQ(R.FrontDoorIdx(), 0);
    EXPECT_EQ(R.BackDoorIdx(), 1);
    EXPECT_EQ(R.FrontVZClientCfg().IP, u"192.168.1.101");
    EXPECT_EQ(R.FrontVZClientCfg().Port, 8131);
    EXPECT_EQ(R.FrontVZClientCfg().ClientId, u"10000");
    EXPECT_EQ(R.BackVZClientCfg().IP, u"192.168.1.102");
    EXPECT_EQ(R.BackVZClientCfg().Port, 8131);
    EXPECT_EQ(R.BackVZClientCfg().ClientId, u"10000");
    EXPECT_EQ(R.LedCfg().IP, "192.168.1.103");
    EXPECT_EQ(R.LedCfg().Port, 8889);
    EXPECT_EQ(R.FrontCameraCfg().IP, "192.168.1.104");
    EXPECT_EQ(R.FrontCameraCfg().Port, 8001);
    EXPECT_EQ(R.FrontCameraCfg().User, "admin");
    EXPECT_EQ(R.FrontCameraCfg().Pwd, "83907");
    EXPECT_EQ(R.BackCameraCfg().IP, "192.168.1.105");
    EXPECT_EQ(R.BackCameraCfg().Port, 8001);
    EXPECT_EQ(R.BackCameraCfg().User, "admin");
    EXPECT_EQ(R.BackCameraCfg().Pwd, "83907");
    EXPECT_EQ(R.WeightRepeatCntWhenStable(), 100);
    EXPECT_EQ(R.MinValidWeight(), 10);
    EXPECT_EQ(R.IntervalOpenDoorWhenUTurnBack(), 10);
    EXPECT_EQ(R.MaxSecLeaving(), 10);
    const UnicodeString LText = LLog.Text();
    EXPECT_EQ(LText.find(u"[Error]"), UnicodeString::npos) << UnicodeToUtf8(LText);
}

TEST(ConfigReader, EveryKeyGoesToItsField) {
    TLogCapture LLog;
    const TCfgReader R(WriteIni(LLog.Dir(), CFullIni));
    EXPECT_EQ(R.HttpSrv(), u"http://10.0.0.9:8080/api");
    EXPECT_EQ(R.CommCfg().CommName, u"/dev/ttyUSB3");
    EXPECT_EQ(R.CommCfg().BaudRate, 4800);
    EXPECT_EQ(R.CommCfg().ReadIntervalTimeout, 25);
    EXPECT_EQ(R.CommCfg().StopBits, 0);
    EXPECT_EQ(R.DoorControlloerCfg().IP, u"10.1.1.1");
    EXPECT_EQ(R.DoorControlloerCfg().Port, 9000);
    EXPECT_EQ(R.FrontDoorIdx(), 3);
    EXPECT_EQ(R.BackDoorIdx(), 4);
    EXPECT_EQ(R.FrontVZClientCfg().IP, u"10.1.1.2");
    EXPECT_EQ(R.FrontVZClientCfg().Port, 81);
    EXPECT_EQ(R.FrontVZClientCfg().ClientId, u"front");
    EXPECT_EQ(R.BackVZClientCfg().IP, u"10.1.1.3");
    EXPECT_EQ(R.BackVZClientCfg().Port, 82);
    EXPECT_EQ(R.BackVZClientCfg().ClientId, u"back");
    EXPECT_EQ(R.LedCfg().IP, "10.1.1.4");
    EXPECT_EQ(R.LedCfg().Port, 83);
    EXPECT_EQ(R.FrontCameraCfg().IP, "10.1.1.5");
    EXPECT_EQ(R.FrontCameraCfg().Port, 84);
    EXPECT_EQ(R.FrontCameraCfg().User, "fu");
    EXPECT_EQ(R.FrontCameraCfg().Pwd, "fp");
    EXPECT_EQ(R.BackCameraCfg().IP, "10.1.1.6");
    EXPECT_EQ(R.BackCameraCfg().Port, 85);
    EXPECT_EQ(R.BackCameraCfg().User, "bu");
    EXPECT_EQ(R.BackCameraCfg().Pwd, "bp");
    EXPECT_EQ(R.WeightRepeatCntWhenStable(), 5);
    EXPECT_EQ(R.MinValidWeight(), 6);
    EXPECT_EQ(R.IntervalOpenDoorWhenUTurnBack(), 7);
    EXPECT_EQ(R.MaxSecLeaving(), 8);
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
    const UnicodeString LText = Utf8ToUnicode(CFullIni);
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

// The sample INI of the Windows package: every key the reader reads is in it,
// each at the value the reader uses when the key is missing.
TEST(ConfigReader, PackagedSampleHoldsEveryKeyAtItsDefault) {
    class TRecordingIni : public TCustomIniFile {
    public:
        explicit TRecordingIni(std::vector<UnicodeString>& AMissing)
            : FIni(SP_SAMPLE_INI), FMissing(AMissing) {}
        UnicodeString ReadString(std::u16string_view ASection, std::u16string_view AKey,
                                 const UnicodeString& ADefault) const override {
            const UnicodeString LAbsent = u"\x01";
            if (FIni.ReadString(ASection, AKey, LAbsent) == LAbsent)
                FMissing.push_back(UnicodeString(ASection) + u"/" + UnicodeString(AKey));
            return FIni.ReadString(ASection, AKey, ADefault);
        }

    private:
        TIniFile FIni;
        std::vector<UnicodeString>& FMissing;
    };
    TLogCapture LLog;
    std::vector<UnicodeString> LMissing;
    const TCfgReader LSample(
        TCfgReader::TIniOpener([&] { return std::make_unique<TRecordingIni>(LMissing); }));
    const TCfgReader LDefaults(LLog.Dir() / "absent.INI");
    for (const UnicodeString& LKey : LMissing)
        ADD_FAILURE() << "not in the sample: " << UnicodeToUtf8(LKey);
    EXPECT_EQ(LSample.HttpSrv(), LDefaults.HttpSrv());
    EXPECT_EQ(LSample.CommCfg().CommName, LDefaults.CommCfg().CommName);
    EXPECT_EQ(LSample.CommCfg().BaudRate, LDefaults.CommCfg().BaudRate);
    EXPECT_EQ(LSample.CommCfg().ReadIntervalTimeout, LDefaults.CommCfg().ReadIntervalTimeout);
    EXPECT_EQ(LSample.DoorControlloerCfg().IP, LDefaults.DoorControlloerCfg().IP);
    EXPECT_EQ(LSample.DoorControlloerCfg().Port, LDefaults.DoorControlloerCfg().Port);
    EXPECT_EQ(LSample.FrontDoorIdx(), LDefaults.FrontDoorIdx());
    EXPECT_EQ(LSample.BackDoorIdx(), LDefaults.BackDoorIdx());
    for (auto LGet : {&TCfgReader::FrontVZClientCfg, &TCfgReader::BackVZClientCfg}) {
        EXPECT_EQ((LSample.*LGet)().IP, (LDefaults.*LGet)().IP);
        EXPECT_EQ((LSample.*LGet)().Port, (LDefaults.*LGet)().Port);
        EXPECT_EQ((LSample.*LGet)().ClientId, (LDefaults.*LGet)().ClientId);
    }
    for (auto LGet : {&TCfgReader::FrontCameraCfg, &TCfgReader::BackCameraCfg}) {
        EXPECT_EQ((LSample.*LGet)().IP, (LDefaults.*LGet)().IP);
        EXPECT_EQ((LSample.*LGet)().Port, (LDefaults.*LGet)().Port);
        EXPECT_EQ((LSample.*LGet)().User, (LDefaults.*LGet)().User);
        EXPECT_EQ((LSample.*LGet)().Pwd, (LDefaults.*LGet)().Pwd);
    }
    EXPECT_EQ(LSample.LedCfg().IP, LDefaults.LedCfg().IP);
    EXPECT_EQ(LSample.LedCfg().Port, LDefaults.LedCfg().Port);
    EXPECT_EQ(LSample.WeightRepeatCntWhenStable(), LDefaults.WeightRepeatCntWhenStable());
    EXPECT_EQ(LSample.MinValidWeight(), LDefaults.MinValidWeight());
    EXPECT_EQ(LSample.IntervalOpenDoorWhenUTurnBack(), LDefaults.IntervalOpenDoorWhenUTurnBack());
    EXPECT_EQ(LSample.MaxSecLeaving(), LDefaults.MaxSecLeaving());
}

// What the console front end saves reads back through the reader, and every
// other key of an installation's file reads as before.
TEST(ConfigReader, SavedCommSettingsReadBackAndNothingElseChanges) {
    TLogCapture LLog;
    std::ifstream LSample(SP_SAMPLE_INI, std::ios::binary);
    const std::string LOriginal =
        "; installed 2026-11-02\r\n" +
        std::string(std::istreambuf_iterator<char>(LSample), std::istreambuf_iterator<char>());
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
