// CPU and wake-ups after a successful search while the simulator streams
// back to back at 19200 baud (about 160 frames a second): the console front
// end as a child process, the window in this process on the offscreen
// platform. Wake-ups are the context switches of all threads, counted per
// frame.
#include "WindowBench.h"
#include "app/Console.h"
#include "app/MainForm.h"
#include "ui/Controls_qt.h"

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string>
#include <sys/wait.h>
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
        int LPipe[2];
        if (::pipe(LPipe) != 0) {
            AState.SkipWithError("pipe");
            return;
        }
        const int LPid = ::fork();
        if (LPid == 0) {
            ::dup2(LPipe[1], 1);
            ::close(LPipe[0]);
            ::close(LPipe[1]);
            ::execl(SP_CLI_PATH, SP_CLI_PATH, "--port", LSim.PortPath().c_str(), "--watch",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(LPipe[1]);
        // Waits for the success line, then keeps draining the transcript.
        std::string LOut;
        const double LLimit = WallSeconds() + 30;
        auto Drain = [&](double AUntil) {
            char LBuf[4096];
            while (WallSeconds() < AUntil) {
                pollfd LFd{LPipe[0], POLLIN, 0};
                if (::poll(&LFd, 1, 50) <= 0)
                    continue;
                const ssize_t LGot = ::read(LPipe[0], LBuf, sizeof LBuf);
                if (LGot <= 0)
                    return;
                LOut.append(LBuf, static_cast<size_t>(LGot));
                if (AUntil == LLimit && LOut.find("找到了") != std::string::npos)
                    return;
            }
        };
        Drain(LLimit);
        const bool LFound = LOut.find("找到了") != std::string::npos;
        Drain(WallSeconds() + 1);
        const TUsage L0 = ProcessUsage(LPid);
        const double LWall0 = WallSeconds();
        Drain(LWall0 + 5);
        const TUsage L1 = ProcessUsage(LPid);
        const double LWall = WallSeconds() - LWall0;
        ::kill(LPid, SIGTERM);
        Drain(WallSeconds() + 2);
        ::close(LPipe[0]);
        ::waitpid(LPid, nullptr, 0);
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
