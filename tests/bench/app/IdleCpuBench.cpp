// CPU of the window after a successful search while the simulator sends ten
// weights a second: the process's CPU time over five seconds of wall time.
#include "WindowBench.h"
#include "app/Console.h"
#include "app/MainForm.h"
#include "ui/Controls_qt.h"

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <time.h>

namespace {

double ProcessCpuSeconds() {
    timespec LTime{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &LTime);
    return static_cast<double>(LTime.tv_sec) + static_cast<double>(LTime.tv_nsec) / 1e9;
}

void BM_WindowIdleCpu(benchmark::State& AState) {
    const std::filesystem::path LSim = SP_SIM_PATH;
    if (!std::filesystem::exists(LSim)) {
        AState.SkipWithError("scaleprobe-sim not found");
        return;
    }
    for (auto _ : AState) {
        TSimulatorProcess LProcess(
            LSim,
            {"--protocol", "keli", "--baud", "9600", "--fps", "10", "--weights", "ramp:0:100000:1"},
            10000);
        TForm1 LForm;
        const bool LFound = SearchUntilFound(LForm, LProcess.PortPath(), 10000);
        RunFor(500);
        const int LBefore = LForm.SuccessReadCount();
        const double LCpu0 = ProcessCpuSeconds(), LWall0 = WallSeconds();
        RunFor(5000);
        const double LCpu = ProcessCpuSeconds() - LCpu0, LWall = WallSeconds() - LWall0;
        AState.counters["found"] = LFound;
        AState.counters["weights_per_s"] = (LForm.SuccessReadCount() - LBefore) / LWall;
        AState.counters["cpu_percent_of_core"] = 100.0 * LCpu / LWall;
    }
}
BENCHMARK(BM_WindowIdleCpu)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    return RunWindowBenchmarks(argc, argv);
}
