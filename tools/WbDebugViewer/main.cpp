// WbDebugViewer: shows the debug messages that scaleprobe sends, one line a
// record, and publishes a filter for them.
#include "Entry.h"
#include "StopSignal.h"
#include "logging/MapFileViewer.h"
#include "platform/System.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
constexpr uint32_t CPollMs = 200;
// The header, the viewer's own fields and room for the largest record.
constexpr long long CMinMapSize = CViewerDataOffset + CMaxRecordLen + 1;
static_assert(CMinMapSize == 4213, "the usage text names the least size");

const char* CUsage =
    "usage: WbDebugViewer [-a] [-local] [PID] [--level N] [--tag TAG] [--types LIST]\n"
    "                     [--count N] [--seconds S] [--output FILE] [--size BYTES]\n"
    "       WbDebugViewer --control (--filter-off | [--level N] [--tag TAG] [--types LIST])\n"
    "\n"
    "  PID          started by that process: signal it when ready, end when it ends\n"
    "  -a, -local   accepted as given by the sender (names are per user anyway)\n"
    "  --level N    publish a filter: levels above N do not pass\n"
    "  --tag TAG    publish a filter: only this tag (up to 8 characters) passes\n"
    "  --types LIST publish a filter: only these types pass (e.g. 0,Warning,Error)\n"
    "  --count N    end after N records\n"
    "  --seconds S  end after S seconds\n"
    "  --output F   append the lines to file F instead of standard output\n"
    "  --size B     size of the shared memory in bytes (default 1 MiB, at least 4213)\n"
    "  --control    change the filter of the viewer that runs, then end\n"
    "  --filter-off with --control: switch the filter off\n"
    "  --help       print this text and exit\n";

struct TOptions {
    uint32_t StartedBy = 0;
    bool HasFilter = false;
    TViewerFilter Filter;
    long long Count = -1;
    double Seconds = -1;
    std::string Output;
    long long Size = CDefaultViewerMapSize;
    bool Control = false;
    bool FilterOff = false;
    bool Help = false;
};

bool ParseNumber(const char* AText, long long& AValue) {
    char* LEnd = nullptr;
    errno = 0;
    AValue = std::strtoll(AText, &LEnd, 10);
    return *AText != '\0' && *LEnd == '\0' && errno == 0;
}

bool ParseSeconds(const char* AText, double& AValue) {
    char* LEnd = nullptr;
    errno = 0;
    AValue = std::strtod(AText, &LEnd);
    return *AText != '\0' && *LEnd == '\0' && errno == 0 && AValue >= 0 && AValue < 1e9;
}

// Empty when the options are right; otherwise what is wrong with them.
std::string ParseOptions(int argc, char** argv, TOptions& O) {
    for (int I = 1; I < argc; ++I) {
        const std::string LArg = argv[I];
        long long LNumber = 0;
        if (LArg == "-a" || LArg == "-local")
            continue;
        if (LArg == "--help" || LArg == "-h") {
            O.Help = true;
            continue;
        }
        if (LArg == "--control") {
            O.Control = true;
            continue;
        }
        if (LArg == "--filter-off") {
            O.FilterOff = true;
            continue;
        }
        const bool LTakesValue = LArg == "--level" || LArg == "--tag" || LArg == "--types" ||
                                 LArg == "--count" || LArg == "--seconds" || LArg == "--output" ||
                                 LArg == "--size";
        if (!LTakesValue) {
            if (ParseNumber(argv[I], LNumber) && LNumber > 0 && LNumber <= UINT32_MAX) {
                O.StartedBy = static_cast<uint32_t>(LNumber);
                continue;
            }
            return "unknown option: " + LArg;
        }
        if (I + 1 >= argc)
            return LArg + " needs a value";
        const char* LValue = argv[++I];
        bool LGood = true;
        if (LArg == "--level") {
            LGood = ParseNumber(LValue, LNumber) && LNumber >= INT32_MIN && LNumber <= INT32_MAX;
            O.HasFilter = true;
            O.Filter.Level = static_cast<int32_t>(LNumber);
        } else if (LArg == "--tag") {
            O.HasFilter = true;
            O.Filter.Tag = std::string(LValue).substr(0, 8);
        } else if (LArg == "--types") {
            O.HasFilter = true;
            LGood = ParseMsgTypes(LValue, O.Filter.MsgTypes);
        } else if (LArg == "--count") {
            LGood = ParseNumber(LValue, O.Count) && O.Count >= 0;
        } else if (LArg == "--seconds") {
            LGood = ParseSeconds(LValue, O.Seconds);
        } else if (LArg == "--output") {
            O.Output = LValue;
            LGood = !O.Output.empty();
        } else {
            LGood = ParseNumber(LValue, O.Size) && O.Size >= CMinMapSize && O.Size < INT32_MAX;
            if (!LGood)
                return "bad value for " + LArg + ": " + LValue + " (at least " +
                       std::to_string(CMinMapSize) + ")";
        }
        if (!LGood)
            return "bad value for " + LArg + ": " + LValue;
    }
    O.Filter.Enabled = O.HasFilter;
    if (O.FilterOff && !O.Control)
        return "--filter-off needs --control";
    return {};
}

// One line on standard error; AText is UTF-8.
void Complain(const std::string& AText) {
    WriteText(stderr, "WbDebugViewer: " + AText + "\n", false);
}

int RunControl(const TOptions& O) {
    TViewerFilter LFilter = O.Filter;
    if (O.FilterOff)
        LFilter.Enabled = false;
    if (!PublishFilterToRunningViewer(LFilter)) {
        Complain("no viewer is running");
        return 1;
    }
    return 0;
}

// Lets the process that started this viewer stop waiting for it, also when
// this viewer does not run.
void ReleaseStarter(const TOptions& O, TMapFileViewer& AViewer) {
    if (O.StartedBy != 0)
        AViewer.SignalStarted();
}

int RunViewer(const TOptions& O) {
    TMapFileViewer LViewer(static_cast<int32_t>(O.Size));
    const std::string LOutName = O.Output.empty() ? "standard output" : O.Output;
    FILE* LOut = stdout;
    if (!O.Output.empty() && (LOut = OpenAppendFile(O.Output)) == nullptr) {
        Complain("cannot open " + O.Output + ": " + std::strerror(errno));
        ReleaseStarter(O, LViewer);
        return 1;
    }
    std::string LError;
    if (!LViewer.Open(LError)) {
        Complain(LError);
        ReleaseStarter(O, LViewer);
        if (LOut != stdout)
            std::fclose(LOut);
        return 1;
    }
    if (O.HasFilter)
        LViewer.PublishFilter(O.Filter);
    ReleaseStarter(O, LViewer);

    int LExit = 0;
    const auto LStart = std::chrono::steady_clock::now();
    long long LSeen = 0;
    while (!StopRequested()) {
        const bool LSignalled = LViewer.WaitForRecords(CPollMs);
        const auto LRecords = LViewer.Drain();
        bool LWritten = true;
        for (const TViewerRecord& LRecord : LRecords)
            LWritten = WriteText(LOut, FormatRecordLine(LRecord) + "\n", true) && LWritten;
        if (!LWritten || std::fflush(LOut) != 0 || std::ferror(LOut)) {
            Complain("cannot write " + LOutName + ": " + std::strerror(errno));
            LExit = 1;
            break;
        }
        if (LSignalled || !LRecords.empty())
            LViewer.SignalFlush();
        LSeen += static_cast<long long>(LRecords.size());
        if (O.Count >= 0 && LSeen >= O.Count)
            break;
        const std::chrono::duration<double> LElapsed = std::chrono::steady_clock::now() - LStart;
        if (O.Seconds >= 0 && LElapsed.count() >= O.Seconds)
            break;
        if (O.StartedBy != 0 && !ProcessAlive(O.StartedBy))
            break;
    }
    LViewer.Close();
    if (LOut != stdout && std::fclose(LOut) != 0 && LExit == 0) {
        Complain("cannot write " + LOutName + ": " + std::strerror(errno));
        LExit = 1;
    }
    return LExit;
}
} // namespace

int ViewerMain(int argc, char** argv) {
    TOptions LOptions;
    if (const std::string LWrong = ParseOptions(argc, argv, LOptions); !LWrong.empty()) {
        Complain(LWrong);
        WriteText(stderr, CUsage, false);
        return 2;
    }
    if (LOptions.Help) {
        std::fputs(CUsage, stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (LOptions.Control)
        return RunControl(LOptions);
    InstallStopSignals();
    return RunViewer(LOptions);
}
