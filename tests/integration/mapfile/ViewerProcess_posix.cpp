#include "ViewerProcess.h"

#include <signal.h>
#include <unistd.h>

int StartViewer(std::vector<std::string> AArgs) {
    int LError = 0;
    auto LStart = CreateNamedEvent(CStartEventName, LError);
    AArgs.insert(AArgs.begin(), {"-a", "-local", std::to_string(getpid())});
    const int LPid = SpawnProgram(CViewerProgram, AArgs);
    const bool LReady =
        LPid > 0 && LStart && LStart->WaitFor(10000) == TNamedWaitResult::nwSignaled;
    LStart.reset();
    RemoveNamedEvent(CStartEventName);
    return LReady ? LPid : -1;
}

int StopViewer(int APid) {
    kill(APid, SIGTERM);
    return WaitExit(APid);
}

void IsolateViewerSetting(const std::filesystem::path& ADir) {
    std::filesystem::create_directories(ADir / "bin");
    SetEnvironmentValue("PATH", (ADir / "bin").string());
    SetEnvironmentValue("XDG_CONFIG_HOME", (ADir / "config").string());
}

void RestoreViewerSetting() {}
