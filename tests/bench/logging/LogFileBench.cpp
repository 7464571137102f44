// The caller's cost of one LogInfo; lines per second through LogInfo, end to end, against a plain
// loop that opens, appends one line and closes the same kind of file; and the wake-ups of an idle
// log.
#include "ThreadWakeups.h"

#include "logging/UnitDebugger.h"
#include "logging/UnitLogFile.h"
#include "logging/UnitMapFileChannel.h"
#include "platform/System.h"
#include "tests/support/ScratchDir.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr int CLinesPerRound = 2000;

fs::path BenchDir() {
    static const TScratchDir LDir("sp-logbench");
    return LDir.Path();
}

// One round: a log made, CLinesPerRound lines, the log destroyed (which waits
// until every line is in the file).
void BM_LogInfoEndToEnd(benchmark::State& AState) {
    const UnicodeString LText = u"weight 12345.6 kg stable, 称重稳定";
    for (auto _ : AState) {
        TLogFile LLog(BenchDir() / "end_to_end");
        for (int I = 0; I < CLinesPerRound; ++I)
            LLog.LogInfo(LText);
    }
    AState.SetItemsProcessed(AState.iterations() * CLinesPerRound);
}
BENCHMARK(BM_LogInfoEndToEnd)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// What one LogInfo costs its caller with no viewer running (the debug copy's
// failed look for the viewer included): each call timed on its own, median
// and 99th percentile. "flood": calls back to back, so the caller also waits
// for room in the queue; "paced": one call a millisecond, the writer keeps up.
void CallerCost(benchmark::State& AState, bool APaced) {
    const UnicodeString LText = u"weight 12345.6 kg stable, 称重稳定";
    constexpr int CCalls = 3000;
    std::vector<double> LMicros;
    LMicros.reserve(CCalls);
    for (auto _ : AState) {
        LMicros.clear();
        TLogFile LLog(BenchDir() / "caller");
        for (int I = 0; I < CCalls; ++I) {
            const auto LStart = std::chrono::steady_clock::now();
            LLog.LogInfo(LText);
            const std::chrono::duration<double, std::micro> LTook =
                std::chrono::steady_clock::now() - LStart;
            LMicros.push_back(LTook.count());
            if (APaced)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    std::sort(LMicros.begin(), LMicros.end());
    AState.counters["median_us"] = LMicros[LMicros.size() / 2];
    AState.counters["p99_us"] = LMicros[LMicros.size() * 99 / 100];
}
BENCHMARK_CAPTURE(CallerCost, flood, false)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(CallerCost, paced, true)->Iterations(1)->UseRealTime();

// The limit of a design that opens and closes the file for every line.
void BM_PlainOpenAppendClose(benchmark::State& AState) {
    const fs::path LFolder = BenchDir() / "plain" / "log" / "2030-03";
    fs::create_directories(LFolder);
    const fs::path LFile = LFolder / "20300304.log";
    const std::string LLine =
        "[Info][09:15:02 123]" + UnicodeToAnsi(u"weight 12345.6 kg stable, 称重稳定") + "\r\n";
    for (auto _ : AState) {
        for (int I = 0; I < CLinesPerRound; ++I) {
            std::ofstream LOut(LFile, std::ios::binary | std::ios::app);
            LOut.write(LLine.data(), static_cast<std::streamsize>(LLine.size()));
        }
    }
    AState.SetItemsProcessed(AState.iterations() * CLinesPerRound);
}
BENCHMARK(BM_PlainOpenAppendClose)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Wake-ups of the whole process during one idle second: an idle log against
// a worker thread without a callback (which pauses in 10 ms steps).
void IdleWakeups(benchmark::State& AState, bool AWithLog) {
    for (auto _ : AState) {
        std::unique_ptr<TLogFile> LLog;
        std::unique_ptr<TWorkThread> LWorker;
        if (AWithLog) {
            LLog = std::make_unique<TLogFile>(BenchDir() / "idle");
            for (int I = 0; I < 10; ++I)
                LLog->LogInfo(u"before idling");
        } else {
            LWorker = std::make_unique<TWorkThread>(nullptr, nullptr);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // let the lines be written
        const long long LBefore = ProcessWakeups();
        const uint64_t LPassesBefore = LLog ? LLog->WorkerPasses() : 0;
        std::this_thread::sleep_for(std::chrono::seconds(1));
        AState.counters["wakeups_per_s"] = static_cast<double>(ProcessWakeups() - LBefore);
        if (LLog)
            AState.counters["work_calls_per_s"] =
                static_cast<double>(LLog->WorkerPasses() - LPassesBefore);
    }
}
BENCHMARK_CAPTURE(IdleWakeups, idle_log, true)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(IdleWakeups, workthread_without_work, false)->Iterations(1)->UseRealTime();

// Prints the ratio of the two line rates (medians of the repetitions) after
// the usual report.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& ARuns) override {
        ConsoleReporter::ReportRuns(ARuns);
        for (const Run& R : ARuns) {
            const auto LRate = R.counters.find("items_per_second");
            const bool LMedian = R.run_type == Run::RT_Aggregate && R.aggregate_name == "median";
            if (LRate != R.counters.end() && (LMedian || R.run_type == Run::RT_Iteration))
                FRates[R.run_name.function_name] = LRate->second.value;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const double LLog = FRates["BM_LogInfoEndToEnd"];
        const double LPlain = FRates["BM_PlainOpenAppendClose"];
        if (LLog > 0 && LPlain > 0)
            std::printf("LogInfo end to end: %.0f lines/s; plain open-append-close: %.0f lines/s; "
                        "ratio %.2f\n",
                        LLog, LPlain, LLog / LPlain);
    }

private:
    std::map<std::string, double> FRates;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    SetNowOverride([] { return EncodeDateTime({2030, 3, 4, 9, 15, 2, 123}); });
    // The real channel, on names no viewer uses, and no viewer to start.
    const std::string LSuffix = "bench" + std::to_string(GetCurrentProcessId());
    setenv("SCALEPROBE_WBDEBUG_SUFFIX", LSuffix.c_str(), 1);
    setenv("PATH", "/nonexistent", 1);
    setenv("XDG_CONFIG_HOME", "/nonexistent", 1);
    SetDebugChannelClass(MakeMapFileChannel);
    InitDebuggerUnit();
    TRatioReporter LReporter;
    benchmark::RunSpecifiedBenchmarks(&LReporter);
    FinalizeDebuggerUnit();
    SetDebugChannelClass({});
    SetNowOverride({});
    std::error_code LError;
    fs::remove_all(BenchDir(), LError);
    benchmark::Shutdown();
    return 0;
}
