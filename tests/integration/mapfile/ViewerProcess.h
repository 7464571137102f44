// The WbDebugViewer program as a child of the test. Processes are known by
// their id (children the test started, and viewers the channel started);
// each platform starts and stops a viewer in its own way.
#pragma once

#include "logging/MapFileViewer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/MapFileObjects.h"

#include <filesystem>
#include <string>
#include <vector>

inline constexpr const char* CViewerProgram = WBDEBUGVIEWER_PATH;

// The tab-separated fields of one viewer line.
inline std::vector<std::string> Fields(const std::string& ALine) {
    std::vector<std::string> LFields;
    size_t LStart = 0;
    for (size_t LTab; (LTab = ALine.find('\t', LStart)) != std::string::npos; LStart = LTab + 1)
        LFields.push_back(ALine.substr(LStart, LTab - LStart));
    LFields.push_back(ALine.substr(LStart));
    return LFields;
}

// Starts a program with these arguments; its process id, or -1.
int SpawnProgram(const std::string& AProgram, const std::vector<std::string>& AArgs,
                 const TChildOptions& AOptions = {});

// Starts the viewer as if this process had started it, and waits (at most
// ten seconds) until it has signalled that it is ready; its id, or -1.
int StartViewer(std::vector<std::string> AArgs);

#ifdef _WIN32
// As StartViewer, the viewer's standard output and error on AOutput (an
// inheritable handle).
int StartViewerWritingTo(std::vector<std::string> AArgs, void* AOutput);
// As StartViewer, on a console made anew for this process (0 when none can
// be written: Wine makes one only on a display); what the console shows,
// its rows each ended by a line feed; and the console freed again.
int StartViewerOnConsole(std::vector<std::string> AArgs);
std::u16string ConsoleScreenText();
void CloseConsole();
#endif

// Waits at most ASeconds for a child to end; its exit code, or -1 (then it
// is killed).
int WaitExit(int APid, int ASeconds = 10);

// Asks a viewer to stop as a user would (a termination request) and waits.
int StopViewer(int APid);

// Kills a child at once, as a crash would end it.
void KillProgram(int APid);
// What a killed viewer leaves behind of the way it was started (the stand-in
// starter on Windows) goes too.
void EndStarterOf(int APid);

// Freezes a child and lets it go on.
bool PauseProgram(int APid);
bool ResumeProgram(int APid);

// No viewer setting and no viewer on the search path, unless a test puts one
// there; ADir is the test's scratch folder.
void IsolateViewerSetting(const std::filesystem::path& ADir);
void RestoreViewerSetting();
// Makes a program with these arguments the viewer's command in the setting.
void SetViewerCommand(const std::string& AProgram, const std::vector<std::string>& AArgs);

// The process id the running viewer keeps behind its header; 0 without one.
inline int RunningViewerPid() {
    int LError = 0;
    auto LMemory = OpenSharedMemory(CMapName, LError);
    auto LView = LMemory ? LMemory->MapView(LError) : nullptr;
    if (!LView || !HeaderIsEnabled(LView->Data(), LView->Size()))
        return 0;
    return static_cast<int>(LoadHeaderU32(LView->Data(), CViewerPidOffset));
}

// No shared object of the viewer is left.
inline bool NothingLeftBehind() {
    int LError = 0;
    return !OpenSharedMemory(CMapName, LError) && !OpenNamedMutex(CQueueMutexName, LError) &&
           !OpenNamedEvent(CQueueEventName, LError) && !OpenNamedEvent(CFlushEventName, LError);
}
