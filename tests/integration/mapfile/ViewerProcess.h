// The WbDebugViewer program as a child of the test, and a scratch folder.
#pragma once

#include "logging/MapFileViewer.h"
#include "tests/unit/mapfile/MapFileTestSupport.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

inline constexpr const char* CViewerProgram = WBDEBUGVIEWER_PATH;

class TScratchDir {
public:
    explicit TScratchDir(const std::string& AName)
        : FPath(std::filesystem::temp_directory_path() / (AName + "-" + std::to_string(getpid()))) {
        std::filesystem::remove_all(FPath);
        std::filesystem::create_directories(FPath);
    }
    ~TScratchDir() { std::filesystem::remove_all(FPath); }
    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};

inline std::vector<std::string> ReadLines(const std::filesystem::path& APath) {
    std::vector<std::string> LLines;
    std::ifstream LFile(APath);
    for (std::string LLine; std::getline(LFile, LLine);)
        LLines.push_back(LLine);
    return LLines;
}

// The tab-separated fields of one viewer line.
inline std::vector<std::string> Fields(const std::string& ALine) {
    std::vector<std::string> LFields;
    size_t LStart = 0;
    for (size_t LTab; (LTab = ALine.find('\t', LStart)) != std::string::npos; LStart = LTab + 1)
        LFields.push_back(ALine.substr(LStart, LTab - LStart));
    LFields.push_back(ALine.substr(LStart));
    return LFields;
}

inline pid_t SpawnProgram(const std::string& AProgram, const std::vector<std::string>& AArgs) {
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

// Starts the viewer as if this process had started it, and waits (at most
// ten seconds) until it has signalled that it is ready.
inline pid_t StartViewer(std::vector<std::string> AArgs) {
    int LError = 0;
    auto LStart = CreateNamedEvent(CStartEventName, LError);
    AArgs.insert(AArgs.begin(), {"-a", "-local", std::to_string(getpid())});
    const pid_t LPid = SpawnProgram(CViewerProgram, AArgs);
    const bool LReady =
        LPid > 0 && LStart && LStart->WaitFor(10000) == TNamedWaitResult::nwSignaled;
    LStart.reset();
    RemoveNamedEvent(CStartEventName);
    return LReady ? LPid : -1;
}

// Waits at most ASeconds for a child to end; its exit code, or -1.
inline int WaitExit(pid_t APid, int ASeconds = 10) {
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

inline int StopViewer(pid_t APid) {
    kill(APid, SIGTERM);
    return WaitExit(APid);
}

// The process id the running viewer keeps behind its header; 0 without one.
inline pid_t RunningViewerPid() {
    int LError = 0;
    auto LMemory = OpenSharedMemory(CMapName, LError);
    auto LView = LMemory ? LMemory->MapView(LError) : nullptr;
    if (!LView || !HeaderIsEnabled(LView->Data(), LView->Size()))
        return 0;
    return static_cast<pid_t>(LoadHeaderU32(LView->Data(), CViewerPidOffset));
}

// No shared object of the viewer is left.
inline bool NothingLeftBehind() {
    int LError = 0;
    return !OpenSharedMemory(CMapName, LError) && !OpenNamedMutex(CQueueMutexName, LError) &&
           !OpenNamedEvent(CQueueEventName, LError) && !OpenNamedEvent(CFlushEventName, LError);
}
