#include "config/UnitConfigReader.h"

#include "config/IniFile.h"
#include "logging/UnitLogFile.h"
#include "platform/ProgramDirs.h"
#include "platform/System.h"

#include <exception>
#include <string>
#include <utility>

TCfgReader* GCfgReader = nullptr;

namespace {

constexpr char16_t CLoadConfigError[] = u"加载配置错误";

std::unique_ptr<TCfgReader> GCfgReaderOwner;

void LogLoadFailure(const Exception& E) {
    if (GLogFile != nullptr)
        GLogFile->LogException(&E, CLoadConfigError);
}

} // namespace

std::filesystem::path ConfigFileNameFor(const std::filesystem::path& AExePath) {
    const std::u16string LName = AExePath.filename().u16string();
    const size_t LDot = LName.rfind(u'.');
    const std::u16string LStem = LDot == std::u16string::npos ? LName : LName.substr(0, LDot);
    return AExePath.parent_path() / std::filesystem::path(LStem + u".INI");
}

std::filesystem::path ConfigFilePath() {
    return ConfigDir() / ConfigFileNameFor(GetExecutablePath()).filename();
}

TCfgReader::TCfgReader() : TCfgReader(ConfigFilePath()) {}

TCfgReader::TCfgReader(const std::filesystem::path& AIniFile)
    : TCfgReader(TIniOpener([AIniFile] { return std::make_unique<TIniFile>(AIniFile); })) {}

TCfgReader::TCfgReader(TIniOpener AOpenIni) {
    LoadConfig(AOpenIni);
}

TCfgReader::~TCfgReader() = default;

void TCfgReader::LoadConfig(const TIniOpener& AOpenIni) {
    try {
        // Freed on every path when it leaves scope.
        const std::unique_ptr<TCustomIniFile> LIni = AOpenIni();
        if (!LIni)
            throw Exception(u"no INI reader");
        const TCustomIniFile& I = *LIni;
        // A file that cannot be read or understood is no failure (the
        // defaults apply), but the log says what was wrong with it.
        if (const UnicodeString LProblem = I.Problem(); !LProblem.empty() && GLogFile != nullptr)
            GLogFile->LogWarning(UnicodeString(CLoadConfigError) + u": " + LProblem);
        auto LAnsi = [&I](const char16_t* ASection, const char16_t* AKey,
                          const char16_t* ADefault) {
            return UnicodeToAnsi(I.ReadString(ASection, AKey, ADefault));
        };

        FHttpSrv = I.ReadString(CServerSection, u"HttpSrv", u"");
        FCommCfg.CommName = I.ReadString(CCommSection, u"CommName", u"com1");
        FCommCfg.BaudRate = I.ReadInteger(CCommSection, u"BaudRate", 9600);
        FCommCfg.ReadIntervalTimeout = I.ReadInteger(CCommSection, u"ReadIntervalTimeout", 10000);

        FDoorContorllerCfg.IP = I.ReadString(CDoorSection, u"IP", u"192.168.1.100");
        FDoorContorllerCfg.Port = I.ReadInteger(CDoorSection, u"Port", 8000);
        FFrontDoorIdx = I.ReadInteger(CDoorSection, u"FrontDoorIdx", 0);
        FBackDoorIdx = I.ReadInteger(CDoorSection, u"BackDoorIdx", 1);

        FFrontVZClientCfg.IP = I.ReadString(CFrontVZSection, u"IP", u"192.168.1.101");
        FFrontVZClientCfg.Port = I.ReadInteger(CFrontVZSection, u"Port", 8131);
        FFrontVZClientCfg.ClientId = I.ReadString(CFrontVZSection, u"ClinetId", u"10000");
        FBackVZClientCfg.IP = I.ReadString(CBackVZSection, u"IP", u"192.168.1.102");
        FBackVZClientCfg.Port = I.ReadInteger(CBackVZSection, u"Port", 8131);
        FBackVZClientCfg.ClientId = I.ReadString(CBackVZSection, u"ClinetId", u"10000");

        FLedCfg.IP = LAnsi(CLedSection, u"IP", u"192.168.1.103");
        FLedCfg.Port = I.ReadInteger(CLedSection, u"Port", 8889);

        FFrontCameraCfg.IP = LAnsi(CHCFront, u"IP", u"192.168.1.104");
        FFrontCameraCfg.Port = I.ReadInteger(CHCFront, u"Port", 8001);
        FFrontCameraCfg.User = LAnsi(CHCFront, u"User", u"admin");
        FFrontCameraCfg.Pwd = LAnsi(CHCFront, u"Pwd", u"83907");
        FBackCameraCfg.IP = LAnsi(CHCBack, u"IP", u"192.168.1.105");
        FBackCameraCfg.Port = I.ReadInteger(CHCBack, u"Port", 8001);
        FBackCameraCfg.User = LAnsi(CHCBack, u"User", u"admin");
        FBackCameraCfg.Pwd = LAnsi(CHCBack, u"Pwd", u"83907");

        FWeightRepeatCntWhenStable =
            I.ReadInteger(CWeightSection, u"WeightRepeatCntWhenStable", 100);
        FMinValidWeight = I.ReadInteger(CWeightSection, u"MinValidWeight", 10);
        FIntervalOpenDoorWhenUTurnBack =
            I.ReadInteger(CWeightSection, u"IntervalOpenDoorWhenUTurnBack", 10);
        FMaxSecLeaving = I.ReadInteger(CWeightSection, u"MaxSecLeaving", 10);
    } catch (const Exception& E) {
        LogLoadFailure(E);
    } catch (const std::exception& E) {
        LogLoadFailure(EExternal(Utf8ToUnicode(E.what())));
    } catch (...) {
        LogLoadFailure(EExternal(u"unknown exception"));
    }
}

void InitConfigReaderUnit() {
    GCfgReaderOwner = std::make_unique<TCfgReader>();
    GCfgReader = GCfgReaderOwner.get();
}

void FinalizeConfigReaderUnit() {
    GCfgReader = nullptr;
    GCfgReaderOwner.reset();
}
