#include "StopSignal.h"

#include "platform/Windows_win32.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<bool> GStop{false};
// Set once the program has come to its end; manual reset.
HANDLE GFinished = nullptr;

constexpr DWORD CCleanUpMs = 4000;

void OnExit() {
    SetEvent(GFinished);
}

// Runs on a thread of its own. Ctrl+C and Ctrl+Break only ask for the stop;
// closing the console, logging off and shutting down end the process once
// the handler returns, so the handler waits until the viewer has withdrawn
// its objects (the system allows about five seconds).
BOOL WINAPI OnConsoleControl(DWORD AType) {
    GStop.store(true);
    if (AType == CTRL_CLOSE_EVENT || AType == CTRL_LOGOFF_EVENT || AType == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(GFinished, CCleanUpMs);
    return TRUE;
}
} // namespace

void InstallStopSignals() {
    GFinished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atexit(OnExit);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool StopRequested() {
    return GStop.load();
}
