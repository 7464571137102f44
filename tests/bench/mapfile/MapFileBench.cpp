// Cost of the shared-memory channel: records per second into a viewer that
// drains, one message without a viewer, and one LogInfo call beside them.
#include "logging/MapFileViewer.h"
#include "logging/UnitLogFile.h"
#include "logging/UnitMapFileChannel.h"
#include "platform/System.h"
#include "platform/Thread.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {
class TDrainThread : public TThread {
public:
    explicit TDrainThread(TMapFileViewer& AViewer) : FViewer(AViewer) {}
    ~TDrainThread() override { TerminateAndWait(); }

protected:
    void Execute() override {
        while (!Terminated()) {
            const bool LSignalled = FViewer.WaitForRecords(20);
            const auto LRecords = FViewer.Drain();
            if (LSignalled || !LRecords.empty())
                FViewer.SignalFlush();
        }
    }

private:
    TMapFileViewer& FViewer;
};

// A viewer in this process with a thread that drains it.
struct TDrainingViewer {
    TDrainingViewer() {
        std::string LError;
        if (!Viewer.Open(LError))
            std::abort();
        Drain.Start();
    }
    TMapFileViewer Viewer;
    TDrainThread Drain{Viewer};
};

TMsgDesc Record100() {
    TMsgDesc LDesc{};
    LDesc.Annex.Level = CurrentLevel;
    LDesc.Annex.TimeStampType = ttDateTime;
    std::string(100, 'r').copy(LDesc.Msg, 100);
    LDesc.Length = CMsgHeaderLen + 100;
    return LDesc;
}

void UseBenchEnvironment() {
    static const std::filesystem::path LDir = [] {
        const auto L = std::filesystem::temp_directory_path() /
                       ("mapfile-bench-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(L);
        setenv("SCALEPROBE_WBDEBUG_SUFFIX", ("bench" + L.filename().string()).c_str(), 1);
        // No viewer program to start.
        setenv("PATH", L.c_str(), 1);
        setenv("XDG_CONFIG_HOME", L.c_str(), 1);
        return L;
    }();
    (void)LDir;
}

void SendContentIntoDrainingViewer(benchmark::State& AState) {
    UseBenchEnvironment();
    TDrainingViewer LViewer;
    TMapFileChannel LChannel(AState.range(0) != 0);
    const TMsgDesc LDesc = Record100();
    for (auto _ : AState) {
        LChannel.CheckReady();
        LChannel.SendContent(LDesc, LDesc.Length);
    }
    AState.SetItemsProcessed(AState.iterations());
}
BENCHMARK(SendContentIntoDrainingViewer)->ArgName("autoflush")->Arg(1)->Arg(0)->UseRealTime();

void MessageWithoutViewer(benchmark::State& AState) {
    UseBenchEnvironment();
    SetDebugChannelClass(MakeMapFileChannel);
    {
        TDebugger LDebugger;
        LDebugger.LogMsg(u"first: the one start attempt");
        for (auto _ : AState)
            LDebugger.LogMsg(u"a message nobody reads");
    }
    SetDebugChannelClass({});
    AState.SetItemsProcessed(AState.iterations());
}
BENCHMARK(MessageWithoutViewer);

// LogInfo with the debugger on: arg 0 the base channel (drops everything),
// 1 this channel with no viewer, 2 this channel into a draining viewer.
void LogInfoCall(benchmark::State& AState) {
    UseBenchEnvironment();
    std::unique_ptr<TDrainingViewer> LViewer;
    if (AState.range(0) == 2)
        LViewer = std::make_unique<TDrainingViewer>();
    if (AState.range(0) != 0)
        SetDebugChannelClass(MakeMapFileChannel);
    InitDebuggerUnit();
    const auto LDir = std::filesystem::temp_directory_path() /
                      ("mapfile-bench-log-" + std::to_string(GetCurrentProcessId()));
    {
        TLogFile LLog(LDir);
        for (auto _ : AState)
            LLog.LogInfo(u"weight 123.45 kg, stable");
    }
    FinalizeDebuggerUnit();
    SetDebugChannelClass({});
    std::filesystem::remove_all(LDir);
    AState.SetItemsProcessed(AState.iterations());
}
BENCHMARK(LogInfoCall)->ArgName("channel")->Arg(0)->Arg(1)->Arg(2)->UseRealTime();
} // namespace

BENCHMARK_MAIN();
