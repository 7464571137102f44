#include "ViewerProcess.h"

#include <cstdlib>
#include <fstream>
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

void EndStarterOf(int) {}

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

void SetViewerCommand(const std::string& AProgram, const std::vector<std::string>& AArgs) {
    const std::filesystem::path LDir =
        std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "scaleprobe";
    std::filesystem::create_directories(LDir);
    std::ofstream LSetting(LDir / "WbDebugViewer");
    LSetting << '"' << AProgram << '"';
    for (const std::string& LArg : AArgs)
        LSetting << ' ' << LArg;
    LSetting << '\n';
}
