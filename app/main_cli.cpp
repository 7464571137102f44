// scaleprobe-cli: the main window's search on the console.
#include "app/CliMain.h"
#include "app/CliOptions.h"
#include "app/Console.h"
#include "app/ConsoleControls.h"
#include "app/MainForm.h"
#include "app/Startup.h"

#include <algorithm>
#include <clocale>
#include <iostream>
#include <optional>

namespace {
constexpr uint32_t CSimulatorStartMs = 10000;
constexpr uint32_t CPumpSliceMs = 200;

std::vector<std::string> SimulatorArgs(const TSimulateSpec& ASpec) {
    std::vector<std::string> LArgs{"--protocol", ASpec.Protocol, "--baud",
                                   std::to_string(ASpec.BaudRate)};
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

int RunSearch(const TCliOptions& AOptions, const std::string& APort) {
    THeadlessLoop LLoop;
    TConsoleControls LConsole(std::cout, std::cerr, StdoutIsTerminal());
    // The units come down, and the backend goes, also when the window fails.
    struct TUnits {
        explicit TUnits(TControlBackend& ABackend) {
            SetControlBackend(&ABackend);
            StartUpUnits();
        }
        ~TUnits() {
            ShutDownUnits();
            SetControlBackend(nullptr);
        }
    } LUnits(LConsole);
    const TInterruptWatch LWatch;
    int LExit;
    {
        TForm1 LForm;
        if (!APort.empty())
            SelectPort(*LForm.ComboBox1, Utf8ToUnicode(APort));
        LForm.Show();
        LForm.Button1->Click();
        auto LEnded = [&] { return LConsole.Outcome() != TSearchOutcome::soNone || Interrupted(); };
        while (!LLoop.RunUntil(LEnded, CPumpSliceMs)) {
        }
        LExit = ExitCodeOf(LConsole.Outcome());
        if (LConsole.Outcome() == TSearchOutcome::soFound && AOptions.Watch) {
            const UnicodeString LPortName = LForm.Bridge()
                                                ? LForm.Bridge()->ConnectCommCfg().CommName
                                                : LForm.ComboBox1->Text();
            const TWatchMonitor LMonitor(LConsole, LPortName,
                                         [&LForm] { return int64_t(LForm.SuccessReadCount()); });
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
} // namespace

int CliMain(const std::vector<std::string>& AArgs) {
    std::setlocale(LC_ALL, "");
    TCliOptions LOptions;
    std::string LError;
    if (!ParseCliOptions(AArgs, LOptions, LError)) {
        std::cerr << "scaleprobe-cli: " << LError << '\n' << CCliUsage;
        return CExitUsage;
    }
    if (LOptions.Help) {
        std::cout << CCliUsage << std::flush;
        return std::cout ? CExitFound : CExitUsage;
    }
    if (!LOptions.Port.empty() && !LOptions.List) {
        std::string LReason;
        if (!CheckPortPath(LOptions.Port, LReason)) {
            std::cerr << "scaleprobe-cli: cannot open " << LOptions.Port << ": " << LReason << '\n';
            return CExitNoPort;
        }
    }
    InstallInterruptHandler();
    try {
        std::optional<TSimulatorProcess> LSimulator;
        std::string LPort = LOptions.Port;
        if (LOptions.Simulate) {
            const std::filesystem::path LProgram = FindSimulator();
            if (LProgram.empty()) {
                std::cerr << "scaleprobe-cli: " << CSimulatorMissing << '\n';
                return CExitNoPort;
            }
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
        return Finish(RunSearch(LOptions, LPort));
    } catch (const Exception& E) {
        if (Interrupted())
            return Finish(CExitNoPort);
        std::cerr << "scaleprobe-cli: " << E.what() << '\n';
        return CExitNoPort;
    }
}
