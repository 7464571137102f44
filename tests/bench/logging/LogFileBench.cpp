// Lines per second through LogInfo, end to end, against a plain loop that
// opens, appends one line and closes the same kind of file; and the wake-ups
// of an idle log.
#include "ThreadWakeups.h"

#include "logging/UnitDebugger.h"
#include "logging/UnitLogFile.h"
#include "platform/System.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr int CLinesPerRound = 2000;

fs::path BenchDir() {
    static const fs::path LDir = [] {
        fs::path L =
            fs::temp_directory_path() / ("sp_logbench_" + std::to_string(GetCurrentProcessId()));
        fs::create_directories(L);
        return L;
    }();
    return LDir;
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
    InitDebuggerUnit();
    TRatioReporter LReporter;
    benchmark::RunSpecifiedBenchmarks(&LReporter);
    FinalizeDebuggerUnit();
    SetNowOverride({});
    std::error_code LError;
    fs::remove_all(BenchDir(), LError);
    benchmark::Shutdown();
    return 0;
}
