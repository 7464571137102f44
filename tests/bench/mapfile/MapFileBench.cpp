// Cost of the shared-memory channel: records per second into a viewer that
// drains, one message without a viewer, and one LogInfo call beside them.
#include "logging/MapFileViewer.h"
#include "logging/UnitLogFile.h"
#include "logging/UnitMapFileChannel.h"
#include "platform/System.h"
#include "platform/Thread.h"
#include "tests/support/ScratchDir.h"

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

// Object names of its own, and no viewer program to start.
void UseBenchEnvironment() {
    static const TScratchDir LDir("mapfile-bench");
    static const TEnvScope LSuffix("SCALEPROBE_WBDEBUG_SUFFIX",
                                   "bench" + LDir.Path().filename().string());
    static const TEnvScope LPath("PATH", LDir.Path().string());
    static const TEnvScope LConfigHome("XDG_CONFIG_HOME", LDir.Path().string());
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
    const TScratchDir LDir("mapfile-bench-log");
    {
        TLogFile LLog(LDir.Path());
        for (auto _ : AState)
            LLog.LogInfo(u"weight 123.45 kg, stable");
    }
    FinalizeDebuggerUnit();
    SetDebugChannelClass({});
    AState.SetItemsProcessed(AState.iterations());
}
BENCHMARK(LogInfoCall)->ArgName("channel")->Arg(0)->Arg(1)->Arg(2)->UseRealTime();
} // namespace

BENCHMARK_MAIN();
