#include "ViewerProcess.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

int SpawnProgram(const std::string& AProgram, const std::vector<std::string>& AArgs) {
    std::vector<std::string> LArgs{AProgram};
    LArgs.insert(LArgs.end(), AArgs.begin(), AArgs.end());
    std::vector<char*> LArgv;
    for (std::string& LArg : LArgs)
        LArgv.push_back(LArg.data());
    LArgv.push_back(nullptr);
    pid_t LPid = -1;
    if (posix_spawn(&LPid, AProgram.c_str(), nullptr, nullptr, LArgv.data(), environ) != 0)
        return -1;
    return LPid;
}

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

int WaitExit(int APid, int ASeconds) {
    if (APid <= 0)
        return -1;
    const auto LDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(ASeconds);
    int LStatus = 0;
    while (waitpid(APid, &LStatus, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > LDeadline) {
            kill(APid, SIGKILL);
            waitpid(APid, &LStatus, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(LStatus) ? WEXITSTATUS(LStatus) : -1;
}

int StopViewer(int APid) {
    kill(APid, SIGTERM);
    return WaitExit(APid);
}

void KillProgram(int APid) {
    kill(APid, SIGKILL);
    waitpid(APid, nullptr, 0);
}

bool PauseProgram(int APid) {
    if (kill(APid, SIGSTOP) != 0)
        return false;
    int LStatus = 0;
    return waitpid(APid, &LStatus, WUNTRACED) == APid && WIFSTOPPED(LStatus);
}

bool ResumeProgram(int APid) {
    return kill(APid, SIGCONT) == 0;
}

void IsolateViewerSetting(const std::filesystem::path& ADir) {
    std::filesystem::create_directories(ADir / "bin");
    setenv("PATH", (ADir / "bin").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (ADir / "config").c_str(), 1);
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

std::string OwnProgramPath() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}
