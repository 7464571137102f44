// WbDebugViewer: shows the debug messages that scaleprobe sends, one line a
// record, and publishes a filter for them.
#include "StopSignal.h"
#include "logging/MapFileViewer.h"
#include "platform/System.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
constexpr uint32_t CPollMs = 200;

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
    "  --size B     size of the shared memory in bytes (default 1 MiB)\n"
    "  --control    change the filter of the viewer that runs, then end\n"
    "  --filter-off with --control: switch the filter off\n";

struct TOptions {
    uint32_t StartedBy = 0;
    bool HasFilter = false;
    TViewerFilter Filter;
    long Count = -1;
    double Seconds = -1;
    std::string Output;
    long Size = CDefaultViewerMapSize;
    bool Control = false;
    bool FilterOff = false;
};

bool ParseNumber(const char* AText, long& AValue) {
    char* LEnd = nullptr;
    AValue = std::strtol(AText, &LEnd, 10);
    return *AText != '\0' && *LEnd == '\0';
}

bool ParseOptions(int argc, char** argv, TOptions& O) {
    for (int I = 1; I < argc; ++I) {
        const std::string LArg = argv[I];
        const bool LHasValue = I + 1 < argc;
        long LNumber = 0;
        if (LArg == "-a" || LArg == "-local")
            continue;
        if (LArg == "--control") {
            O.Control = true;
        } else if (LArg == "--filter-off") {
            O.FilterOff = true;
        } else if (LArg == "--level" && LHasValue && ParseNumber(argv[++I], LNumber)) {
            O.HasFilter = true;
            O.Filter.Level = static_cast<int32_t>(LNumber);
        } else if (LArg == "--tag" && LHasValue) {
            O.HasFilter = true;
            O.Filter.Tag = std::string(argv[++I]).substr(0, 8);
        } else if (LArg == "--types" && LHasValue) {
            O.HasFilter = true;
            if (!ParseMsgTypes(argv[++I], O.Filter.MsgTypes))
                return false;
        } else if (LArg == "--count" && LHasValue && ParseNumber(argv[++I], O.Count)) {
        } else if (LArg == "--seconds" && LHasValue) {
            O.Seconds = std::atof(argv[++I]);
        } else if (LArg == "--output" && LHasValue) {
            O.Output = argv[++I];
        } else if (LArg == "--size" && LHasValue && ParseNumber(argv[++I], O.Size)) {
        } else if (ParseNumber(argv[I], LNumber) && LNumber > 0) {
            O.StartedBy = static_cast<uint32_t>(LNumber);
        } else {
            return false;
        }
    }
    O.Filter.Enabled = O.HasFilter;
    return !(O.FilterOff && !O.Control) && O.Size > 0 && O.Size < INT32_MAX;
}

int RunControl(const TOptions& O) {
    TViewerFilter LFilter = O.Filter;
    if (O.FilterOff)
        LFilter.Enabled = false;
    if (!PublishFilterToRunningViewer(LFilter)) {
        std::fprintf(stderr, "WbDebugViewer: no viewer is running\n");
        return 1;
    }
    return 0;
}

int RunViewer(const TOptions& O) {
    FILE* LOut = stdout;
    if (!O.Output.empty() && (LOut = std::fopen(O.Output.c_str(), "a")) == nullptr) {
        std::fprintf(stderr, "WbDebugViewer: cannot open %s: %s\n", O.Output.c_str(),
                     std::strerror(errno));
        return 1;
    }
    TMapFileViewer LViewer(static_cast<int32_t>(O.Size));
    std::string LError;
    if (!LViewer.Open(LError)) {
        std::fprintf(stderr, "WbDebugViewer: %s\n", LError.c_str());
        if (LOut != stdout)
            std::fclose(LOut);
        return 1;
    }
    if (O.HasFilter)
        LViewer.PublishFilter(O.Filter);
    if (O.StartedBy != 0)
        LViewer.SignalStarted();

    const auto LStart = std::chrono::steady_clock::now();
    long LSeen = 0;
    while (!StopRequested()) {
        const bool LSignalled = LViewer.WaitForRecords(CPollMs);
        const auto LRecords = LViewer.Drain();
        for (const TViewerRecord& LRecord : LRecords) {
            const std::string LLine = FormatRecordLine(LRecord) + "\n";
            std::fwrite(LLine.data(), 1, LLine.size(), LOut);
        }
        std::fflush(LOut);
        if (LSignalled || !LRecords.empty())
            LViewer.SignalFlush();
        LSeen += static_cast<long>(LRecords.size());
        if (O.Count >= 0 && LSeen >= O.Count)
            break;
        const std::chrono::duration<double> LElapsed = std::chrono::steady_clock::now() - LStart;
        if (O.Seconds >= 0 && LElapsed.count() >= O.Seconds)
            break;
        if (O.StartedBy != 0 && !ProcessAlive(O.StartedBy))
            break;
    }
    LViewer.Close();
    if (LOut != stdout)
        std::fclose(LOut);
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    TOptions LOptions;
    if (!ParseOptions(argc, argv, LOptions)) {
        std::fputs(CUsage, stderr);
        return 2;
    }
    if (LOptions.Control)
        return RunControl(LOptions);
    InstallStopSignals();
    return RunViewer(LOptions);
}
