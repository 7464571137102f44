// CPU and wake-ups while the simulator streams back to back at 19200 baud
// (about 160 frames a second, each weight another): `cat` reading the same
// kind of port (the baseline), the console front end after a find (its
// output a pipe, then a terminal on which it draws the LED), and the window
// in this process (offscreen unless QT_QPA_PLATFORM says otherwise). Each
// row after the baseline reports x_cat, its CPU over the baseline's mean.
// Wake-ups are the context switches of all threads, counted per frame.
//
// SP_STREAM_SECONDS sets the measured time of a run (default 5); the issue's
// figures are --benchmark_repetitions=5 with SP_STREAM_SECONDS=20. SP_CLI
// names another console front end to measure (an older build, say).
#include "WindowBench.h"
#include "app/Console.h"
#include "app/MainForm.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Pty.h"
#include "ui/Controls_qt.h"

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string>
#include <time.h>
#include <unistd.h>

namespace {

const std::vector<std::string> CStream = {
    "--protocol", "keli", "--baud", "19200", "--no-announce", "--weights", "ramp:1000:999999:1"};
constexpr double CFramesPerSecond = 19200.0 / (12 * 10); // 12-byte frames, 10 bits a byte

std::string CliPath() {
    const char* L = std::getenv("SP_CLI");
    return L && *L ? L : SP_CLI_PATH;
}

double MeasuredSeconds() {
    const char* L = std::getenv("SP_STREAM_SECONDS");
    const double LSeconds = L ? std::atof(L) : 0;
    return LSeconds > 0 ? LSeconds : 5;
}

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

// The baseline's mean CPU share so far (0 before its first run).
double GCatSum = 0;
int GCatRuns = 0;

void Report(benchmark::State& AState, const TUsage& A0, const TUsage& A1, double AWall,
            bool ABaseline = false) {
    const double LPercent = 100.0 * (A1.CpuSeconds - A0.CpuSeconds) / AWall;
    AState.counters["cpu_percent_of_core"] = LPercent;
    AState.counters["wakeups_per_frame"] = (A1.Switches - A0.Switches) / (AWall * CFramesPerSecond);
    AState.counters["cpu_us_per_frame"] =
        1e6 * (A1.CpuSeconds - A0.CpuSeconds) / (AWall * CFramesPerSecond);
    if (ABaseline) {
        GCatSum += LPercent;
        ++GCatRuns;
    } else if (GCatRuns > 0 && GCatSum > 0) {
        AState.counters["x_cat"] = LPercent / (GCatSum / GCatRuns);
    }
}

// Reads AFd until AUntil (wall seconds), or until AText has come when it is
// not empty; true when it came.
bool Drain(int AFd, double AUntil, const std::string& AText = {}) {
    std::string LOut;
    char LBuf[4096];
    while (WallSeconds() < AUntil) {
        pollfd LFd{AFd, POLLIN, 0};
        if (::poll(&LFd, 1, 50) <= 0)
            continue;
        const ssize_t LGot = ::read(AFd, LBuf, sizeof LBuf);
        if (LGot <= 0)
            return false;
        if (AText.empty())
            continue;
        LOut.append(LBuf, static_cast<size_t>(LGot));
        if (LOut.find(AText) != std::string::npos)
            return true;
    }
    return false;
}

// Measures the child for the measured time while ADrain(until) reads what
// it writes, then stops it.
void MeasureChild(benchmark::State& AState, TChildProcess& AChild,
                  const std::function<void(double)>& ADrain, bool ABaseline) {
    ADrain(WallSeconds() + 1);
    const TUsage L0 = ProcessUsage(AChild.Pid());
    const double LWall0 = WallSeconds();
    ADrain(LWall0 + MeasuredSeconds());
    const TUsage L1 = ProcessUsage(AChild.Pid());
    const double LWall = WallSeconds() - LWall0;
    AChild.Stop(SIGTERM);
    Report(AState, L0, L1, LWall, ABaseline);
}

bool ProgramsThere(benchmark::State& AState) {
    if (std::filesystem::exists(SP_SIM_PATH) && std::filesystem::exists(CliPath()))
        return true;
    AState.SkipWithError("scaleprobe-sim or scaleprobe-cli not found");
    return false;
}

void BM_CatStreamCpu(benchmark::State& AState) {
    if (!ProgramsThere(AState))
        return;
    for (auto _ : AState) {
        TSimulatorProcess LSim(SP_SIM_PATH, CStream, 10000);
        TChildProcess LCat;
        if (!LCat.Start("/bin/cat", {LSim.PortPath()},
                        {TChildStream::csNull, TChildStream::csNull})) {
            AState.SkipWithError("cannot start cat");
            return;
        }
        // Its output goes to the null device: the drain only waits.
        MeasureChild(
            AState, LCat, [](double AUntil) { Drain(-1, AUntil); }, true);
    }
}
BENCHMARK(BM_CatStreamCpu)->Iterations(1)->Unit(benchmark::kSecond);

void BM_ConsoleStreamCpu(benchmark::State& AState) {
    if (!ProgramsThere(AState))
        return;
    for (auto _ : AState) {
        TSimulatorProcess LSim(SP_SIM_PATH, CStream, 10000);
        TChildProcess LCli;
        if (!LCli.Start(CliPath(), {"--port", LSim.PortPath(), "--watch"},
                        {TChildStream::csInherit, TChildStream::csPipe})) {
            AState.SkipWithError("cannot start scaleprobe-cli");
            return;
        }
        // Waits for the success line, then keeps draining the transcript.
        const auto LFoundLine = [&] { return LCli.Output().find("找到了") != std::string::npos; };
        LCli.ReadUntil(LFoundLine, 30000);
        AState.counters["found"] = LFoundLine();
        MeasureChild(
            AState, LCli,
            [&](double AUntil) {
                LCli.ReadUntil({}, static_cast<int>(1000 * (AUntil - WallSeconds())));
            },
            false);
    }
}
BENCHMARK(BM_ConsoleStreamCpu)->Iterations(1)->Unit(benchmark::kSecond);

// The console front end on a terminal, drawing its LED.
void BM_ConsoleLedStreamCpu(benchmark::State& AState) {
    if (!ProgramsThere(AState))
        return;
    for (auto _ : AState) {
        TSimulatorProcess LSim(SP_SIM_PATH, CStream, 10000);
        const TPty LTerminal(TPty::TLine::plAsMade);
        const std::string LCliPath = CliPath();
        TChildProcess LCli;
        if (!LTerminal.IsOpen() || !LCli.Fork([&] {
                const int LFd = ::open(LTerminal.SlavePath().c_str(), O_RDWR | O_NOCTTY);
                if (LFd < 0 || ::dup2(LFd, STDOUT_FILENO) < 0)
                    return 126;
                ::execl(LCliPath.c_str(), LCliPath.c_str(), "--port", LSim.PortPath().c_str(),
                        "--watch", static_cast<char*>(nullptr));
                return 127;
            })) {
            AState.SkipWithError("cannot start scaleprobe-cli on a terminal");
            return;
        }
        AState.counters["found"] = Drain(LTerminal.Master(), WallSeconds() + 30, "找到了");
        MeasureChild(
            AState, LCli, [&](double AUntil) { Drain(LTerminal.Master(), AUntil); }, false);
    }
}
BENCHMARK(BM_ConsoleLedStreamCpu)->Iterations(1)->Unit(benchmark::kSecond);

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
        RunFor(static_cast<int>(MeasuredSeconds() * 1000));
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
