// Viewers under Windows. A viewer ends when the process that started it
// ends; Wine delivers no console control events to a child, so a viewer is
// started on behalf of a stand-in (this program again, waiting for an
// event), and stopping it ends the stand-in.
#include "ViewerProcess.h"
#include "tests/support/Win32Probe.h"

#include <gtest/gtest.h>

#include "platform/Windows_win32.h"

#include <map>
#include <mutex>

namespace {
std::mutex GLock;
// Each viewer's stand-in starter.
std::map<int, int> GStarters;

constexpr const char* CStarterEventName = "Local\\WbDebugTestStarter";
constexpr const char* CStarterVariable = "SCALEPROBE_STAND_IN";
} // namespace

// The stand-in: waits until it is told to end (at most five minutes).
TEST(ViewerStarterStandIn, WaitsUntilTold) {
    const char* LStandIn = std::getenv(CStarterVariable);
    if (!LStandIn || !*LStandIn)
        GTEST_SKIP() << "started by the viewer tests";
    int LError = 0;
    auto LEnd = CreateNamedEvent(CStarterEventName, LError);
    ASSERT_TRUE(LEnd);
    LEnd->WaitFor(300000);
}

int StartViewer(std::vector<std::string> AArgs) {
    int LError = 0;
    // Held here, so that the stand-in and StopViewer find the same event.
    static std::unique_ptr<TNamedEvent> GEnd;
    GEnd = CreateNamedEvent(CStarterEventName, LError);
    SetEnvironmentValue(CStarterVariable, "1");
    const int LStarter =
        SpawnProgram(OwnProgramPath(), {"--gtest_filter=ViewerStarterStandIn.WaitsUntilTold"});
    SetEnvironmentValue(CStarterVariable, "");
    if (LStarter <= 0 || !GEnd)
        return -1;
    auto LStart = CreateNamedEvent(CStartEventName, LError);
    AArgs.insert(AArgs.begin(), {"-a", "-local", std::to_string(LStarter)});
    const int LPid = SpawnProgram(CViewerProgram, AArgs);
    const bool LReady =
        LPid > 0 && LStart && LStart->WaitFor(10000) == TNamedWaitResult::nwSignaled;
    LStart.reset();
    if (!LReady) {
        KillProgram(LStarter);
        return -1;
    }
    std::lock_guard<std::mutex> L(GLock);
    GStarters[LPid] = LStarter;
    return LPid;
}

int StopViewer(int APid) {
    int LStarter = -1;
    {
        std::lock_guard<std::mutex> L(GLock);
        const auto LFound = GStarters.find(APid);
        if (LFound != GStarters.end()) {
            LStarter = LFound->second;
            GStarters.erase(LFound);
        }
    }
    if (LStarter <= 0)
        return WaitExit(APid);
    int LError = 0;
    if (auto LEnd = OpenNamedEvent(CStarterEventName, LError))
        LEnd->SetEvent();
    WaitExit(LStarter);
    return WaitExit(APid);
}

void IsolateViewerSetting(const std::filesystem::path&) {
    RemoveViewerSetting();
}

void RestoreViewerSetting() {
    RemoveViewerSetting();
}
