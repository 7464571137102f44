// CPU and wake-ups after a successful search while the simulator streams
// back to back at 19200 baud (about 160 frames a second): the console front
// end as a child process, the window in this process on the offscreen
// platform. Wake-ups are the context switches of all threads, counted per
// frame.
#include "WindowBench.h"
#include "app/Console.h"
#include "app/MainForm.h"
#include "tests/support/ChildProcess.h"
#include "ui/Controls_qt.h"

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fstream>
#include <signal.h>
#include <stdlib.h>
#include <string>
#include <time.h>
#include <unistd.h>

namespace {

const std::vector<std::string> CStream = {"--protocol", "keli", "--baud", "19200", "--no-announce"};
constexpr double CFramesPerSecond = 19200.0 / (12 * 10); // 12-byte frames, 10 bits a byte

struct TUsage {
    double CpuSeconds = 0;
    double Switches = 0;
};

// The CPU time and context switches of every thread of APid.
TUsage ProcessUsage(int APid) {
    TUsage LUsage;
    const std::string LTasks = "/proc/" + std::to_string(APid) + "/task";
    DIR* LDir = ::opendir(LTasks.c_str());
    if (!LDir)
        return LUsage;
    while (dirent* LEntry = ::readdir(LDir)) {
        if (LEntry->d_name[0] == '.')
            continue;
        const std::string LTask = LTasks + "/" + LEntry->d_name;
        std::ifstream LSched(LTask + "/schedstat");
        double LNs = 0;
        if (LSched >> LNs)
            LUsage.CpuSeconds += LNs / 1e9;
        std::ifstream LStatus(LTask + "/status");
        std::string LLine;
        while (std::getline(LStatus, LLine))
            if (LLine.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                LLine.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                LUsage.Switches += std::stod(LLine.substr(LLine.find(':') + 1));
    }
    ::closedir(LDir);
    return LUsage;
}

void Report(benchmark::State& AState, const TUsage& A0, const TUsage& A1, double AWall) {
    AState.counters["cpu_percent_of_core"] = 100.0 * (A1.CpuSeconds - A0.CpuSeconds) / AWall;
    AState.counters["wakeups_per_frame"] = (A1.Switches - A0.Switches) / (AWall * CFramesPerSecond);
    AState.counters["cpu_us_per_frame"] =
        1e6 * (A1.CpuSeconds - A0.CpuSeconds) / (AWall * CFramesPerSecond);
}

void BM_ConsoleStreamCpu(benchmark::State& AState) {
    if (!std::filesystem::exists(SP_SIM_PATH) || !std::filesystem::exists(SP_CLI_PATH)) {
        AState.SkipWithError("scaleprobe-sim or scaleprobe-cli not found");
        return;
    }
    for (auto _ : AState) {
        TSimulatorProcess LSim(SP_SIM_PATH, CStream, 10000);
        TChildProcess LCli;
        if (!LCli.Start(SP_CLI_PATH, {"--port", LSim.PortPath(), "--watch"},
                        {TChildStream::csInherit, TChildStream::csPipe})) {
            AState.SkipWithError("cannot start scaleprobe-cli");
            return;
        }
        // Waits for the success line, then keeps draining the transcript.
        const auto LFoundLine = [&] { return LCli.Output().find("找到了") != std::string::npos; };
        LCli.ReadUntil(LFoundLine, 30000);
        const bool LFound = LFoundLine();
        LCli.ReadUntil({}, 1000);
        const TUsage L0 = ProcessUsage(LCli.Pid());
        const double LWall0 = WallSeconds();
        LCli.ReadUntil({}, 5000);
        const TUsage L1 = ProcessUsage(LCli.Pid());
        const double LWall = WallSeconds() - LWall0;
        LCli.Stop(SIGTERM);
        AState.counters["found"] = LFound;
        Report(AState, L0, L1, LWall);
    }
}
BENCHMARK(BM_ConsoleStreamCpu)->Iterations(1)->Unit(benchmark::kSecond);

void BM_WindowStreamCpu(benchmark::State& AState) {
    if (!std::filesystem::exists(SP_SIM_PATH)) {
        AState.SkipWithError("scaleprobe-sim not found");
        return;
    }
    for (auto _ : AState) {
        TSimulatorProcess LSim(SP_SIM_PATH, CStream, 10000);
        TForm1 LForm;
        const bool LFound = SearchUntilFound(LForm, LSim.PortPath(), 30000);
        RunFor(1000);
        const int LBefore = LForm.SuccessReadCount();
        const TUsage L0 = ProcessUsage(::getpid());
        const double LWall0 = WallSeconds();
        RunFor(5000);
        const TUsage L1 = ProcessUsage(::getpid());
        const double LWall = WallSeconds() - LWall0;
        AState.counters["found"] = LFound;
        AState.counters["weights_per_s"] = (LForm.SuccessReadCount() - LBefore) / LWall;
        Report(AState, L0, L1, LWall);
    }
}
BENCHMARK(BM_WindowStreamCpu)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    return RunWindowBenchmarks(argc, argv);
}
