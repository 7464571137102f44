// Delivers a console control event to a running program the way Windows
// does: a thread of that process started at the console's control routine.
// For a close, log-off or shut-down Windows then ends the process once that
// routine returns, and so does this (Wine leaves that step out). Usage:
// SendConsoleEvent EXE-NAME EVENT (1 Ctrl+Break, 2 close, 5 log-off). Exits 0
// once the routine has returned.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <tlhelp32.h>

#include <cwchar>

namespace {
DWORD FindProcess(const wchar_t* AExeName) {
    const HANDLE LSnap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (LSnap == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32W LEntry{};
    LEntry.dwSize = sizeof LEntry;
    DWORD LPid = 0;
    for (BOOL LOk = Process32FirstW(LSnap, &LEntry); LOk && LPid == 0;
         LOk = Process32NextW(LSnap, &LEntry))
        if (_wcsicmp(LEntry.szExeFile, AExeName) == 0)
            LPid = LEntry.th32ProcessID;
    CloseHandle(LSnap);
    return LPid;
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3)
        return 64;
    const DWORD LPid = FindProcess(argv[1]);
    if (LPid == 0)
        return 1;
    const HANDLE LProcess = OpenProcess(PROCESS_ALL_ACCESS, FALSE, LPid);
    // The system libraries sit at the same address in every process.
    const FARPROC LRoutine = GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine");
    if (LProcess == nullptr || LRoutine == nullptr)
        return 1;
    const ULONG_PTR LEvent = wcstoul(argv[2], nullptr, 10);
    const HANDLE LThread = CreateRemoteThread(
        LProcess, nullptr, 0,
        reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(LRoutine)),
        reinterpret_cast<void*>(LEvent), 0, nullptr);
    if (LThread == nullptr) {
        CloseHandle(LProcess);
        return 1;
    }
    WaitForSingleObject(LThread, INFINITE);
    CloseHandle(LThread);
    if (LEvent >= CTRL_CLOSE_EVENT) {
        // A program that is ending already, or has ended, keeps its own exit
        // status: ending it again while it exits would race with its exit.
        if (WaitForSingleObject(LProcess, 5000) == WAIT_TIMEOUT)
            TerminateProcess(LProcess, STATUS_CONTROL_C_EXIT);
        WaitForSingleObject(LProcess, INFINITE);
    }
    CloseHandle(LProcess);
    return 0;
}
