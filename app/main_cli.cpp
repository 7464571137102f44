// scaleprobe-cli: the main window's search on the console.
#include "app/CliMain.h"
#include "app/CliOptions.h"
#include "app/Console.h"
#include "app/ConsoleControls.h"
#include "app/LineCaptureRun.h"
#include "app/MainForm.h"
#include "app/PortInfo.h"
#include "app/PortSearch.h"
#include "app/SearchReport.h"
#include "app/Startup.h"
#include "config/IniSave.h"
#include "config/UnitConfigReader.h"
#include "logging/UnitLogFile.h"
#include "serial/PortCheck.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
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

int ExitCodeOf(TPortSearchEnd AEnd) {
    switch (AEnd) {
    case TPortSearchEnd::peFound:
        return CExitFound;
    case TPortSearchEnd::peNotFound:
    case TPortSearchEnd::peStopped:
        return CExitNotFound;
    default:
        return CExitNoPort;
    }
}

// A trial whose frames were whole but for their check, often enough that the
// indicator may compute its check otherwise, is said on standard error;
// APrefix goes in front (the port, when several are searched).
void NoteCheckRefusals(TConsoleControls& AConsole, const std::string& APrefix,
                       const std::string& APort, const TTrialRecord& ARecord, size_t ATrial) {
    if (ARecord.CheckRefused < CCheckRefusedNotice)
        return;
    AConsole.WriteError(Utf8ToUnicode(
        APrefix + "scaleprobe-cli: trial " + std::to_string(ATrial) + " (" + ARecord.Protocol +
        ", " + APort + ", " + std::to_string(ARecord.BaudRate) +
        " baud): " + std::to_string(ARecord.CheckRefused) +
        " frames were whole but for their check; the indicator may compute its check otherwise"));
}

// Writes the found settings into the CommConfig section of AFile, keeping
// everything else of it.
bool SaveResult(const std::filesystem::path& AFile, const std::string& APort,
                const TTrialRecord& AWin, std::string& AError) {
    TIniValues LValues{{"CommName", APort},
                       {"BaudRate", std::to_string(AWin.BaudRate)},
                       {"StopBits", std::to_string(AWin.StopBits)},
                       {"Protocol", AWin.Protocol}};
    // What a text indicator's characters look like: 8N1, 7E1 or 7O1.
    if (ProtocolJudgesFraming(AWin.Protocol))
        LValues.push_back({"Framing", std::to_string(AWin.DataBits) +
                                          static_cast<char>(std::toupper(AWin.Parity[0])) + "1"});
    return SaveIniValues(AFile, UnicodeToUtf8(CCommSection), LValues, AError);
}

// The units come down, and the backend goes, also when the search fails. A
// log that cannot be written is said once on standard error.
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
    TUnits(const TUnits&) = delete;
    TUnits& operator=(const TUnits&) = delete;
    TLogWriteNotice& FNotice;
};

// --capture: APort read at ASettings into the capture file. 0 when bytes
// were captured, 1 when none arrived, 2 when the file or the port failed.
int CaptureLine(const TCliOptions& AOptions, TConsoleControls& AConsole, const std::string& APort,
                const TCaptureSettings& ASettings, TSearchReport& AReport) {
    const std::filesystem::path LFile(Utf8ToUnicode(AOptions.CaptureFile));
    std::ofstream LOut(LFile, std::ios::binary | std::ios::trunc);
    if (!LOut) {
        AReport.ErrorCode = "capture";
        AReport.ErrorText = "cannot write " + AOptions.CaptureFile + ": " + std::strerror(errno);
        AConsole.WriteError(u"scaleprobe-cli: " + Utf8ToUnicode(AReport.ErrorText));
        return CExitNoPort;
    }
    const std::string LSettings =
        std::to_string(ASettings.BaudRate) + " baud " + FramingText(ASettings);
    AConsole.WriteError(
        Utf8ToUnicode("capturing " + APort + " at " + LSettings + " into " + AOptions.CaptureFile));
    TCaptureResult LResult;
    const bool LOk =
        RunLineCapture(APort, ASettings, AOptions.CaptureSeconds, LOut, Interrupted, LResult);
    LOut.close();
    AReport.Capture = TCaptureReport{AOptions.CaptureFile, ASettings, LResult.Bytes, LResult.Blocks,
                                     LResult.ElapsedMs};
    if (!LOk || !LOut) {
        AReport.ErrorCode =
            LResult.Bytes == 0 && LResult.Error.rfind("cannot open", 0) == 0 ? "port" : "capture";
        AReport.ErrorText =
            LResult.Error.empty() ? "cannot write " + AOptions.CaptureFile : LResult.Error;
        AConsole.WriteError(u"scaleprobe-cli: " + Utf8ToUnicode(AReport.ErrorText));
        return CExitNoPort;
    }
    AConsole.WriteError(
        Utf8ToUnicode("captured " + std::to_string(LResult.Bytes) + " bytes in " +
                      std::to_string(LResult.Blocks) + " reads, " +
                      std::to_string(LResult.ElapsedMs) + " ms, into " + AOptions.CaptureFile +
                      (LResult.Bytes == 0 ? ": nothing arrived at " + LSettings : "")));
    return LResult.Bytes == 0 ? CExitNotFound : CExitFound;
}

int RunSearch(const TCliOptions& AOptions, const std::string& APort, TSearchReport& AReport) {
    THeadlessLoop LLoop;
    // With --json standard output carries the document only.
    TConsoleControls LConsole(AOptions.Json ? std::cerr : std::cout, std::cerr,
                              !AOptions.Json && StdoutIsTerminal());
    TLogWriteNotice LLogNotice(LConsole);
    const TUnits LUnits(LConsole, LLogNotice);
    const TInterruptWatch LWatch;
    TPortSearch LSearch(APort, AOptions.Extended);
    AReport.Port = LSearch.Report().Port;
    LSearch.OnTrialRecorded = [&](const TTrialRecord& ARecord, size_t ATrial) {
        NoteCheckRefusals(LConsole, "", AReport.Port, ARecord, ATrial);
    };
    LSearch.Form().Show();
    LSearch.Start();
    RunPortSearches({&LSearch}, Interrupted);
    AReport = LSearch.Report();
    const TPortSearchEnd LEnd = LSearch.End();
    int LExit = ExitCodeOf(LEnd);
    if (LEnd == TPortSearchEnd::peCannotOpen || LEnd == TPortSearchEnd::peLost)
        LConsole.WriteError(u"scaleprobe-cli: " + Utf8ToUnicode(AReport.ErrorText));
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
    if (AOptions.Capture && !Interrupted() && LExit == CExitFound) {
        // The settings of the winning trial, received as the search received
        // them: a 7E1 indicator's parity bit stays the eighth bit.
        const TTrialRecord& LWin = AReport.Trials[*AReport.Found];
        TCaptureSettings LSettings;
        LSettings.BaudRate = static_cast<uint32_t>(LWin.BaudRate);
        LSettings.StopBits = static_cast<uint8_t>(LWin.StopBits);
        LSearch.ReleasePort();
        LExit = CaptureLine(AOptions, LConsole, AReport.Port, LSettings, AReport);
    } else if (AOptions.Capture && LExit == CExitNotFound && !Interrupted()) {
        LConsole.WriteError(u"scaleprobe-cli: nothing found, so nothing captured (--baud N "
                            u"captures without a search)");
    }
    if (AReport.Found && AOptions.Watch) {
        const TWatchMonitor LMonitor(LConsole, LSearch.Form().ComboBox1->Text(),
                                     [&] { return LSearch.WeightCount(); });
        while (!LLoop.RunUntil(Interrupted, CPumpSliceMs)) {
        }
    }
    return LExit;
}

// --capture with --baud: APort (or the first of the list) read at the given
// settings, without a search.
int RunCaptureAt(const TCliOptions& AOptions, const std::string& APort, TSearchReport& AReport) {
    THeadlessLoop LLoop;
    TConsoleControls LConsole(AOptions.Json ? std::cerr : std::cout, std::cerr, false);
    TLogWriteNotice LLogNotice(LConsole);
    const TUnits LUnits(LConsole, LLogNotice);
    const TInterruptWatch LWatch;
    std::string LName = APort;
    if (LName.empty()) {
        const std::vector<UnicodeString> LPorts = GetSysComList();
        if (LPorts.empty()) {
            AReport.ErrorCode = "no-port";
            AReport.ErrorText = "no serial port to capture: " + UnicodeToUtf8(CMsgNoPort);
            LConsole.WriteError(u"scaleprobe-cli: " + Utf8ToUnicode(AReport.ErrorText));
            return CExitNoPort;
        }
        LName = UnicodeToUtf8(LPorts.front());
    }
    std::string LReason;
    AReport.Port = LName;
    if (PortNameOf(LName, AReport.Port, LReason)) {
        const TPortCheck LCheck = CheckSerialPort(AReport.Port);
        LReason = LCheck.Reason;
        AReport.ErrorReason = LCheck.Ok() ? "" : PortProblemCode(LCheck.Problem);
    } else {
        AReport.ErrorReason = PortProblemCode(TPortProblem::ppBadName);
    }
    if (!AReport.ErrorReason.empty()) {
        AReport.ErrorCode = "port";
        AReport.ErrorText = "cannot open " + AReport.Port + ": " + LReason;
        LConsole.WriteError(u"scaleprobe-cli: " + Utf8ToUnicode(AReport.ErrorText));
        return CExitNoPort;
    }
    return CaptureLine(AOptions, LConsole, AReport.Port, AOptions.CaptureSettings, AReport);
}

// --all-ports: a search on each port of the list, all at the same time on
// this thread's loop, each with a window, timers and clients of its own; the
// transcript's lines carry their port's name. ANoPort is set when the list
// is empty.
int RunAllPorts(const TCliOptions& AOptions, std::vector<TSearchReport>& AReports,
                std::string& ANoPort) {
    THeadlessLoop LLoop;
    TConsoleControls LConsole(AOptions.Json ? std::cerr : std::cout, std::cerr, false);
    TLogWriteNotice LLogNotice(LConsole);
    const TUnits LUnits(LConsole, LLogNotice);
    const TInterruptWatch LWatch;
    const std::vector<UnicodeString> LPorts = GetSysComList();
    if (LPorts.empty()) {
        ANoPort = "no serial port to search: " + UnicodeToUtf8(CMsgNoPort);
        LConsole.WriteError(u"scaleprobe-cli: " + Utf8ToUnicode(ANoPort));
        if (GLogFile)
            GLogFile->LogError(Utf8ToUnicode(ANoPort));
        return CExitNoPort;
    }
    // Each window would announce its own end without saying whose.
    LConsole.SetQuietMessages(true);
    std::vector<std::unique_ptr<TPortSearch>> LOwned;
    std::vector<TPortSearch*> LSearches;
    for (const UnicodeString& LPort : LPorts) {
        LOwned.push_back(std::make_unique<TPortSearch>(UnicodeToUtf8(LPort), AOptions.Extended));
        LSearches.push_back(LOwned.back().get());
        TPortSearch* LSearch = LSearches.back();
        LSearch->OnTrialRecorded = [&LConsole, LSearch](const TTrialRecord& ARecord,
                                                        size_t ATrial) {
            const std::string& LName = LSearch->Report().Port;
            NoteCheckRefusals(LConsole, "[" + LName + "] ", LName, ARecord, ATrial);
        };
        LConsole.SetLinePrefix(LSearches.back()->Form(), u"[" + LPort + u"]");
        LSearches.back()->Form().Show();
    }
    for (TPortSearch* LSearch : LSearches) {
        LSearch->Start();
        if (LSearch->Done())
            LConsole.WriteLine(
                Utf8ToUnicode("[" + LSearch->Report().Port + "] " + LSearch->Summary()));
    }
    RunPortSearches(LSearches, Interrupted);
    bool LFound = false, LSearched = false;
    LConsole.WriteLine(u"");
    for (TPortSearch* LSearch : LSearches) {
        LConsole.WriteLine(Utf8ToUnicode(LSearch->Report().Port + ": " + LSearch->Summary()));
        AReports.push_back(LSearch->Report());
        LFound = LFound || LSearch->End() == TPortSearchEnd::peFound;
        LSearched = LSearched || LSearch->End() == TPortSearchEnd::peNotFound ||
                    LSearch->End() == TPortSearchEnd::peStopped;
    }
    // The windows go before the units (their clients log).
    LOwned.clear();
    return LFound ? CExitFound : LSearched ? CExitNotFound : CExitNoPort;
}

// --list: each port of the list with what the system knows of it.
int ListPorts(const TCliOptions& AOptions) {
    TConsoleControls LConsole(std::cout, std::cerr, false);
    SetControlBackend(&LConsole);
    const std::vector<TPortInfo> LPorts = GetSysComListInfo();
    SetControlBackend(nullptr);
    if (AOptions.Json) {
        std::cout << PortListJson(LPorts, CExitFound) << std::flush;
        return CExitFound;
    }
    // The descriptions line up after the longest name.
    size_t LWidth = 0;
    for (const TPortInfo& LPort : LPorts)
        LWidth = std::max(LWidth, LPort.Name.size());
    for (const TPortInfo& LPort : LPorts) {
        const std::string LText = DescribePort(LPort);
        std::cout << UnicodeToUtf8(LPort.Name);
        if (!LText.empty())
            std::cout << std::string(LWidth - LPort.Name.size() + 2, ' ') << LText;
        std::cout << '\n';
    }
    std::cout << std::flush;
    return CExitFound;
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

int RunCli(const std::vector<std::string>& AArgs) {
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
        return CExitFound;
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
        if (LOptions.List)
            return ListPorts(LOptions);
        if (LOptions.Capture && LOptions.CaptureAt)
            return Report(LOptions, LReport, Finish(RunCaptureAt(LOptions, LPort, LReport)));
        if (LOptions.AllPorts) {
            std::vector<TSearchReport> LReports;
            std::string LNoPort;
            const int LExit = Finish(RunAllPorts(LOptions, LReports, LNoPort));
            if (LOptions.Json) {
                const std::string LCode = !LNoPort.empty() ? "no-port"
                                          : Interrupted()  ? "interrupted"
                                                           : "";
                const std::string LText =
                    !LNoPort.empty()
                        ? LNoPort
                        : std::string("interrupted (") + SignalName(InterruptSignal()) + ")";
                std::cout << AllPortsReportJson(LReports, LExit, LCode, LCode.empty() ? "" : LText)
                          << std::flush;
            }
            return LExit;
        }
        const int LExit = Finish(RunSearch(LOptions, LPort, LReport));
        return Report(LOptions, LReport, LExit);
    } catch (const std::exception& E) {
        // Exception and the standard library's own (a file, memory): the
        // units and the port are down again by now.
        if (Interrupted())
            return Report(LOptions, LReport, Finish(CExitNoPort));
        return Fail(LOptions, LReport, "error", E.what(), CExitNoPort);
    }
}
} // namespace

int CliMain(const std::vector<std::string>& AArgs) {
    int LExit;
    try {
        LExit = RunCli(AArgs);
    } catch (const std::exception& E) {
        std::cerr << "scaleprobe-cli: " << E.what() << '\n';
        LExit = CExitNoPort;
    }
    // The transcript, the JSON document or the port list is the run's result:
    // when it was lost, the run failed.
    std::string LReason;
    if (!StandardOutputWritten(LReason)) {
        std::cerr << "scaleprobe-cli: cannot write standard output: " << LReason << '\n'
                  << std::flush;
        if (LExit < CExitNoPort)
            LExit = CExitNoPort;
    }
    return LExit;
}
