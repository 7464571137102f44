// scaleprobe-cli: the main window's search on the console.
#include "app/CliMain.h"
#include "app/CliOptions.h"
#include "app/Console.h"
#include "app/ConsoleControls.h"
#include "app/ExtendedSearch.h"
#include "app/MainForm.h"
#include "app/SearchReport.h"
#include "app/Startup.h"
#include "config/AtomicFile.h"
#include "config/IniEdit.h"
#include "config/UnitConfigReader.h"

#include <algorithm>
#include <cctype>
#include <clocale>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>

namespace {
constexpr uint32_t CSimulatorStartMs = 10000;
constexpr uint32_t CPumpSliceMs = 200;

std::vector<std::string> SimulatorArgs(const TSimulateSpec& ASpec) {
    std::vector<std::string> LArgs{"--protocol", ASpec.Protocol, "--baud",
                                   std::to_string(ASpec.BaudRate)};
    if (ASpec.Framing != "8N1")
        LArgs.insert(LArgs.end(),
                     {"--data-bits", "7", "--parity", ASpec.Framing == "7E1" ? "even" : "odd"});
    // Without a choice each protocol's indicator uses its usual stop bits.
    const int32_t LStopBits =
        ASpec.StopBits >= 0 ? ASpec.StopBits : (ASpec.Protocol == "xk3168" ? 2 : 0);
    static const char* const CStopBits[] = {"1", "1.5", "2"};
    LArgs.push_back("--stop-bits");
    LArgs.push_back(CStopBits[LStopBits]);
    return LArgs;
}

// Selects APort in the port list, adding it when the list lacks it.
void SelectPort(TComboBox& ACombo, const UnicodeString& APort) {
    std::vector<UnicodeString> LItems = ACombo.Items();
    auto LIt = std::find(LItems.begin(), LItems.end(), APort);
    if (LIt == LItems.end()) {
        LItems.push_back(APort);
        SortComList(LItems);
        ACombo.SetItems(LItems);
        LIt = std::find(LItems.begin(), LItems.end(), APort);
    }
    ACombo.SetItemIndex(static_cast<int32_t>(LIt - LItems.begin()));
}

int ExitCodeOf(TSearchOutcome AOutcome) {
    switch (AOutcome) {
    case TSearchOutcome::soFound:
        return CExitFound;
    case TSearchOutcome::soNoPort:
    case TSearchOutcome::soConfigError:
        return CExitNoPort;
    default:
        return CExitNotFound;
    }
}

TTrialRecord RecordOf(const TTrialResult& AResult) {
    TTrialRecord LRecord;
    LRecord.Protocol = ProtocolOfState(AResult.State);
    LRecord.BaudRate = AResult.Cfg.BaudRate;
    LRecord.StopBits = AResult.Cfg.StopBits;
    LRecord.Weights = AResult.Weights;
    LRecord.ElapsedMs = AResult.ElapsedMs;
    LRecord.LastWeight = AResult.LastWeight;
    LRecord.CheckRefused = AResult.CheckRefused;
    return LRecord;
}

// A trial whose frames were whole but for their check, often enough that the
// indicator may compute its check otherwise, is said on standard error.
void NoteCheckRefusals(TConsoleControls& AConsole, const std::string& APort,
                       const TTrialRecord& ARecord, size_t ATrial) {
    if (ARecord.CheckRefused < CCheckRefusedNotice)
        return;
    AConsole.WriteError(Utf8ToUnicode(
        "scaleprobe-cli: trial " + std::to_string(ATrial) + " (" + ARecord.Protocol + ", " + APort +
        ", " + std::to_string(ARecord.BaudRate) +
        " baud): " + std::to_string(ARecord.CheckRefused) +
        " frames were whole but for their check; the indicator may compute its check otherwise"));
}

// Writes the found settings into the CommConfig section of AFile, keeping
// everything else of it.
bool SaveResult(const std::filesystem::path& AFile, const std::string& APort,
                const TTrialRecord& AWin, std::string& AError) {
    std::string LOld;
    std::error_code LCode;
    if (std::filesystem::exists(AFile, LCode)) {
        std::ifstream LIn(AFile, std::ios::binary);
        LOld.assign(std::istreambuf_iterator<char>(LIn), std::istreambuf_iterator<char>());
        if (!LIn.good() && !LIn.eof()) {
            AError = "cannot read " + UnicodeToUtf8(AFile.u16string());
            return false;
        }
    }
    TIniValues LValues{{"CommName", APort},
                       {"BaudRate", std::to_string(AWin.BaudRate)},
                       {"StopBits", std::to_string(AWin.StopBits)},
                       {"Protocol", AWin.Protocol}};
    // What a text indicator's characters look like: 8N1, 7E1 or 7O1.
    if (ProtocolJudgesFraming(AWin.Protocol))
        LValues.push_back({"Framing", std::to_string(AWin.DataBits) +
                                          static_cast<char>(std::toupper(AWin.Parity[0])) + "1"});
    return ReplaceFileAtomically(AFile, SetIniValues(LOld, UnicodeToUtf8(CCommSection), LValues),
                                 AError);
}

int RunSearch(const TCliOptions& AOptions, const std::string& APort, TSearchReport& AReport) {
    THeadlessLoop LLoop;
    // With --json standard output carries the document only.
    TConsoleControls LConsole(AOptions.Json ? std::cerr : std::cout, std::cerr,
                              !AOptions.Json && StdoutIsTerminal());
    TLogWriteNotice LLogNotice(LConsole);
    // The units come down, and the backend goes, also when the window fails.
    struct TUnits {
        TUnits(TControlBackend& ABackend, TLogWriteNotice& ANotice) : FNotice(ANotice) {
            SetControlBackend(&ABackend);
            StartUpUnits({}, Bind(&ANotice, &TLogWriteNotice::LogWriteFailed));
        }
        ~TUnits() {
            ShutDownUnits();
            FNotice.Flush(); // the exit banner may have been lost too
            SetControlBackend(nullptr);
        }
        TLogWriteNotice& FNotice;
    } LUnits(LConsole, LLogNotice);
    const TInterruptWatch LWatch;
    int LExit;
    {
        TForm1 LForm;
        const auto LNoteTrial = [&](const TTrialRecord& ARecord) {
            AReport.Trials.push_back(ARecord);
            NoteCheckRefusals(LConsole, AReport.Port, ARecord, AReport.Trials.size());
        };
        LForm.OnTrialEnd = [&](const TTrialResult& AResult) { LNoteTrial(RecordOf(AResult)); };
        if (!APort.empty())
            SelectPort(*LForm.ComboBox1, Utf8ToUnicode(APort));
        AReport.Port = UnicodeToUtf8(LForm.ComboBox1->Text());
        LForm.Show();
        LForm.Button1->Click();
        auto LEnded = [&] { return LConsole.Outcome() != TSearchOutcome::soNone || Interrupted(); };
        while (!LLoop.RunUntil(LEnded, CPumpSliceMs)) {
        }
        if (LConsole.Outcome() == TSearchOutcome::soFound && !AReport.Trials.empty())
            AReport.Found = AReport.Trials.size() - 1;
        TExtendedSearch LExtended(LForm, Interrupted);
        if (LConsole.Outcome() == TSearchOutcome::soNotFound && AOptions.Extended &&
            !Interrupted()) {
            // The window's last trial lets go of the port first.
            LForm.FreeBridge();
            LConsole.ResetOutcome();
            if (LExtended.Run(LForm.ComboBox1->Text(), LNoteTrial))
                AReport.Found = AReport.Trials.size() - 1;
        }
        LExit = Interrupted() ? CExitNotFound : ExitCodeOf(LConsole.Outcome());
        if (LConsole.Outcome() == TSearchOutcome::soNoPort) {
            AReport.ErrorCode = "no-port";
            AReport.ErrorText = UnicodeToUtf8(CMsgNoPort);
        } else if (LConsole.Outcome() == TSearchOutcome::soConfigError) {
            AReport.ErrorCode = "config";
            AReport.ErrorText = UnicodeToUtf8(CMsgConfigError);
        }
        if (AReport.Found && AOptions.Save && !Interrupted()) {
            // The option is UTF-8; a path from UTF-16 is right on every platform.
            std::filesystem::path LFile(Utf8ToUnicode(AOptions.SaveFile));
            if (LFile.empty()) {
                // The INI this program's reader reads; the user's configuration
                // folder may not be there yet.
                LFile = ConfigFilePath();
                std::error_code LCode;
                std::filesystem::create_directories(LFile.parent_path(), LCode);
            }
            std::string LError;
            if (SaveResult(LFile, AReport.Port, AReport.Trials[*AReport.Found], LError)) {
                AReport.SavedTo = UnicodeToUtf8(LFile.u16string());
                LConsole.WriteError(u"saved to " + LFile.u16string());
            } else {
                AReport.ErrorCode = "save";
                AReport.ErrorText = LError;
                LConsole.WriteError(u"scaleprobe-cli: " + Utf8ToUnicode(LError));
                LExit = CExitNoPort;
            }
        }
        if (AReport.Found && AOptions.Watch) {
            const bool LStandard = !LExtended.Client();
            const UnicodeString LPortName = LForm.ComboBox1->Text();
            const TWatchMonitor LMonitor(LConsole, LPortName, [&] {
                return LStandard ? int64_t(LForm.SuccessReadCount()) : LExtended.WeightCount();
            });
            while (!LLoop.RunUntil(Interrupted, CPumpSliceMs)) {
            }
        }
    }
    return LExit;
}

// A run that a signal ended says so and exits 128 + the signal, whatever the
// search had reached; the log's exit banner is written by then.
int Finish(int AExit) {
    if (!Interrupted())
        return AExit;
    std::cerr << "scaleprobe-cli: interrupted (" << SignalName(InterruptSignal()) << ")\n"
              << std::flush;
    return CExitSignalBase + InterruptSignal();
}

// The run's end on standard output with --json: one document, whatever
// ended the run.
int Report(const TCliOptions& AOptions, TSearchReport& AReport, int AExit) {
    if (!AOptions.Json)
        return AExit;
    if (Interrupted() && AReport.ErrorCode.empty()) {
        AReport.ErrorCode = "interrupted";
        AReport.ErrorText = std::string("interrupted (") + SignalName(InterruptSignal()) + ")";
    }
    std::cout << SearchReportJson(AReport, AExit) << std::flush;
    return AExit;
}

// An error before or outside the search: its line on standard error and,
// with --json, its document.
int Fail(const TCliOptions& AOptions, TSearchReport& AReport, const char* ACode,
         const std::string& AText, int AExit) {
    std::cerr << "scaleprobe-cli: " << AText << '\n';
    AReport.ErrorCode = ACode;
    AReport.ErrorText = AText;
    return Report(AOptions, AReport, AExit);
}
} // namespace

int CliMain(const std::vector<std::string>& AArgs) {
    std::setlocale(LC_ALL, "");
    TCliOptions LOptions;
    TSearchReport LReport;
    std::string LError;
    if (!ParseCliOptions(AArgs, LOptions, LError)) {
        // Bad usage still answers in JSON when it was asked for.
        LOptions.Json = std::find(AArgs.begin(), AArgs.end(), "--json") != AArgs.end();
        const int LExit = Fail(LOptions, LReport, "usage", LError, CExitUsage);
        std::cerr << CCliUsage;
        return LExit;
    }
    if (LOptions.Help) {
        std::cout << CCliUsage << std::flush;
        return std::cout ? CExitFound : CExitUsage;
    }
    if (!LOptions.Port.empty() && !LOptions.List) {
        std::string LReason;
        LReport.Port = LOptions.Port;
        if (!CheckPortPath(LOptions.Port, LReason))
            return Fail(LOptions, LReport, "port", "cannot open " + LOptions.Port + ": " + LReason,
                        CExitNoPort);
    }
    InstallInterruptHandler();
    try {
        std::optional<TSimulatorProcess> LSimulator;
        std::string LPort = LOptions.Port;
        if (LOptions.Simulate) {
            const std::filesystem::path LProgram = FindSimulator();
            if (LProgram.empty())
                return Fail(LOptions, LReport, "simulator", CSimulatorMissing, CExitNoPort);
            LSimulator.emplace(LProgram, SimulatorArgs(LOptions.Sim), CSimulatorStartMs);
            LPort = LSimulator->PortPath();
        }
        if (LOptions.List) {
            TConsoleControls LConsole(std::cout, std::cerr, false);
            SetControlBackend(&LConsole);
            for (const UnicodeString& LName : GetSysComList())
                std::cout << UnicodeToUtf8(LName) << '\n';
            SetControlBackend(nullptr);
            return CExitFound;
        }
        const int LExit = Finish(RunSearch(LOptions, LPort, LReport));
        return Report(LOptions, LReport, LExit);
    } catch (const Exception& E) {
        if (Interrupted())
            return Report(LOptions, LReport, Finish(CExitNoPort));
        return Fail(LOptions, LReport, "error", E.what(), CExitNoPort);
    }
}
