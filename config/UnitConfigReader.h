// The configuration reader: the program's INI file, read once at start-up. Values are fixed after
// construction; nothing is written back.
#pragma once

#include "platform/Object.h"
#include "platform/Text.h"
#include "weighbridge/UnitWeighGlobal.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

class TCustomIniFile;

inline constexpr char16_t CCommSection[] = u"CommConfig";
inline constexpr char16_t CDoorSection[] = u"DoorController";
inline constexpr char16_t CFrontVZSection[] = u"FrontVisionZenith";
inline constexpr char16_t CBackVZSection[] = u"BackVisionZenith";
inline constexpr char16_t CLedSection[] = u"LED";
inline constexpr char16_t CHCFront[] = u"FrontCamera";
inline constexpr char16_t CHCBack[] = u"BackCarmera";
inline constexpr char16_t CServerSection[] = u"Server";
inline constexpr char16_t CWeightSection[] = u"Weight";

// The INI file of a program: its path with the extension (from the last dot of
// the file name on) replaced by ".INI", or ".INI" appended without a dot.
std::filesystem::path ConfigFileNameFor(const std::filesystem::path& AExePath);

// The INI file the reader of the running executable reads: beside the
// executable, or in the user's configuration folder where the executable's
// folder cannot be written (platform/ProgramDirs.h). That folder may not exist
// yet.
std::filesystem::path ConfigFilePath();

class TCfgReader : public TObject {
    SP_CLASS(TCfgReader, TObject)
public:
    // Opens the INI reader; may throw, which the loader catches and logs.
    using TIniOpener = std::function<std::unique_ptr<TCustomIniFile>()>;

    // Reads the INI file of the running executable (ConfigFilePath).
    TCfgReader();
    // Reads the given INI file.
    explicit TCfgReader(const std::filesystem::path& AIniFile);
    // Reads through a reader the caller supplies (tests of the failure path).
    explicit TCfgReader(TIniOpener AOpenIni);
    ~TCfgReader() override;

    TCfgReader(const TCfgReader&) = delete;
    TCfgReader& operator=(const TCfgReader&) = delete;

    const TConfigComm& CommCfg() const { return FCommCfg; }
    const TConfigDoorController& DoorControlloerCfg() const { return FDoorContorllerCfg; }
    const TConfigVZClient& FrontVZClientCfg() const { return FFrontVZClientCfg; }
    const TConfigVZClient& BackVZClientCfg() const { return FBackVZClientCfg; }
    const TConfigHCCamera& FrontCameraCfg() const { return FFrontCameraCfg; }
    const TConfigHCCamera& BackCameraCfg() const { return FBackCameraCfg; }
    const TConfigLED& LedCfg() const { return FLedCfg; }
    int32_t FrontDoorIdx() const { return FFrontDoorIdx; }
    int32_t BackDoorIdx() const { return FBackDoorIdx; }
    int32_t WeightRepeatCntWhenStable() const { return FWeightRepeatCntWhenStable; }
    int32_t MinValidWeight() const { return FMinValidWeight; }
    const UnicodeString& HttpSrv() const { return FHttpSrv; }
    int32_t IntervalOpenDoorWhenUTurnBack() const { return FIntervalOpenDoorWhenUTurnBack; }
    int32_t MaxSecLeaving() const { return FMaxSecLeaving; }

private:
    void LoadConfig(const TIniOpener& AOpenIni);

    TConfigComm FCommCfg;
    TConfigDoorController FDoorContorllerCfg;
    TConfigVZClient FFrontVZClientCfg;
    TConfigVZClient FBackVZClientCfg;
    TConfigHCCamera FFrontCameraCfg;
    TConfigHCCamera FBackCameraCfg;
    TConfigLED FLedCfg;
    int32_t FFrontDoorIdx = 0;
    int32_t FBackDoorIdx = 0;
    int32_t FWeightRepeatCntWhenStable = 0;
    int32_t FMinValidWeight = 0;
    UnicodeString FHttpSrv;
    int32_t FIntervalOpenDoorWhenUTurnBack = 0;
    int32_t FMaxSecLeaving = 0;
};

// The one configuration reader of the process; null outside the unit's
// start-up and shut-down steps.
extern TCfgReader* GCfgReader;

// Start-up step: creates GCfgReader (after the log exists).
void InitConfigReaderUnit();
// Shut-down step: clears GCfgReader, then frees the reader.
void FinalizeConfigReaderUnit();
