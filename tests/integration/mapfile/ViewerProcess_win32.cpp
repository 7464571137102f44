// Children of the test under Windows, started with CreateProcessW. A viewer
// ends when the process that started it ends; Wine delivers no console
// control events to a child, so a viewer is started on behalf of a stand-in
// (this program again, waiting for an event), and stopping it ends the
// stand-in.
#include "ViewerProcess.h"
#include "tests/unit/mapfile/Win32Probe.h"

#include <gtest/gtest.h>

#include "platform/Windows_win32.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace {
std::mutex GLock;
std::map<int, HANDLE> GChildren;
// Each viewer's stand-in starter.
std::map<int, int> GStarters;

constexpr const char* CStarterEventName = "Local\\WbDebugTestStarter";
constexpr const char* CStarterVariable = "SCALEPROBE_STAND_IN";

// A Linux path (as the build names the viewer) is Wine's Z: drive.
std::wstring Wide(std::string AText) {
    if (!AText.empty() && AText.front() == '/') {
        std::replace(AText.begin(), AText.end(), '/', '\\');
        AText = "Z:" + AText;
    }
    const int LLen =
        MultiByteToWideChar(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), nullptr, 0);
    std::wstring LOut(static_cast<size_t>(LLen > 0 ? LLen : 0), L'\0');
    if (LLen > 0)
        MultiByteToWideChar(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), LOut.data(),
                            LLen);
    return LOut;
}

// One argument as the C runtime of the child splits its command line.
std::wstring Quoted(const std::wstring& AArg) {
    if (!AArg.empty() && AArg.find_first_of(L" \t\"") == std::wstring::npos)
        return AArg;
    std::wstring LOut = L"\"";
    size_t LSlashes = 0;
    for (const wchar_t C : AArg) {
        if (C == L'\\') {
            ++LSlashes;
            continue;
        }
        LOut.append(C == L'"' ? 2 * LSlashes + 1 : LSlashes, L'\\');
        LSlashes = 0;
        LOut += C;
    }
    LOut.append(2 * LSlashes, L'\\');
    return LOut + L"\"";
}

// A process this test started, or one it may wait for (a viewer that the
// channel started).
HANDLE ChildHandle(int APid) {
    std::lock_guard<std::mutex> L(GLock);
    const auto LFound = GChildren.find(APid);
    if (LFound != GChildren.end())
        return LFound->second;
    const HANDLE LOpened = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION |
                                           PROCESS_TERMINATE | PROCESS_SUSPEND_RESUME,
                                       FALSE, static_cast<DWORD>(APid));
    if (LOpened)
        GChildren[APid] = LOpened;
    return LOpened;
}

void Forget(int APid) {
    std::lock_guard<std::mutex> L(GLock);
    const auto LFound = GChildren.find(APid);
    if (LFound != GChildren.end()) {
        CloseHandle(LFound->second);
        GChildren.erase(LFound);
    }
}

using TNtProcessCall = LONG(NTAPI*)(HANDLE);

bool CallNt(const char* AName, int APid) {
    const HANDLE LProcess = ChildHandle(APid);
    const auto LCall = reinterpret_cast<TNtProcessCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), AName)));
    return LProcess && LCall && LCall(LProcess) >= 0;
}
} // namespace

namespace {
// AOutput, when given (inheritable), becomes the child's standard output and
// error.
int Spawn(const std::string& AProgram, const std::vector<std::string>& AArgs,
          HANDLE AOutput = nullptr, DWORD AFlags = 0) {
    std::wstring LLine = Quoted(Wide(AProgram));
    for (const std::string& LArg : AArgs)
        LLine += L" " + Quoted(Wide(LArg));
    STARTUPINFOW LStartup{};
    LStartup.cb = sizeof(LStartup);
    if (AOutput) {
        LStartup.dwFlags = STARTF_USESTDHANDLES;
        LStartup.hStdInput = nullptr;
        LStartup.hStdOutput = AOutput;
        LStartup.hStdError = AOutput;
    }
    PROCESS_INFORMATION LProcess{};
    if (!CreateProcessW(nullptr, LLine.data(), nullptr, nullptr, AOutput != nullptr, AFlags,
                        nullptr, nullptr, &LStartup, &LProcess))
        return -1;
    CloseHandle(LProcess.hThread);
    std::lock_guard<std::mutex> L(GLock);
    GChildren[static_cast<int>(LProcess.dwProcessId)] = LProcess.hProcess;
    return static_cast<int>(LProcess.dwProcessId);
}

// The console the viewer writes into; made by StartViewerOnConsole.
HANDLE GConsole = nullptr;
} // namespace

int SpawnProgram(const std::string& AProgram, const std::vector<std::string>& AArgs) {
    return Spawn(AProgram, AArgs);
}

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
    return StartViewerWritingTo(std::move(AArgs), nullptr);
}

int StartViewerOnConsole(std::vector<std::string> AArgs) {
    FreeConsole();
    if (!AllocConsole())
        return -1;
    SECURITY_ATTRIBUTES LInherit{sizeof(LInherit), nullptr, TRUE};
    GConsole =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &LInherit, OPEN_EXISTING, 0, nullptr);
    if (GConsole == INVALID_HANDLE_VALUE) {
        GConsole = nullptr;
        return -1;
    }
    // Wine makes a console that can be written only on a display.
    DWORD LWritten = 0;
    if (!WriteConsoleW(GConsole, L"\n", 1, &LWritten, nullptr)) {
        CloseConsole();
        return 0;
    }
    return StartViewerWritingTo(std::move(AArgs), GConsole);
}

std::u16string ConsoleScreenText() {
    CONSOLE_SCREEN_BUFFER_INFO LInfo{};
    if (!GConsole || !GetConsoleScreenBufferInfo(GConsole, &LInfo))
        return {};
    std::u16string LText;
    for (SHORT LRow = 0; LRow <= LInfo.dwCursorPosition.Y; ++LRow) {
        std::wstring LLine(static_cast<size_t>(LInfo.dwSize.X), L' ');
        DWORD LRead = 0;
        ReadConsoleOutputCharacterW(GConsole, LLine.data(), static_cast<DWORD>(LLine.size()),
                                    COORD{0, LRow}, &LRead);
        LLine.resize(LRead);
        LLine.erase(LLine.find_last_not_of(L' ') + 1);
        LText.append(LLine.begin(), LLine.end());
        LText += u'\n';
    }
    return LText;
}

void CloseConsole() {
    if (GConsole)
        CloseHandle(GConsole);
    GConsole = nullptr;
    FreeConsole();
}

int StartViewerWritingTo(std::vector<std::string> AArgs, void* AOutput) {
    int LError = 0;
    // Held here, so that the stand-in and StopViewer find the same event.
    static std::unique_ptr<TNamedEvent> GEnd;
    GEnd = CreateNamedEvent(CStarterEventName, LError);
    SetEnvironmentValue(CStarterVariable, "1");
    const int LStarter =
        // Off the viewer's console, should it have one of this process's.
        Spawn(OwnProgramPath(), {"--gtest_filter=ViewerStarterStandIn.WaitsUntilTold"}, nullptr,
              AOutput ? DETACHED_PROCESS : 0);
    SetEnvironmentValue(CStarterVariable, "");
    if (LStarter <= 0 || !GEnd)
        return -1;
    auto LStart = CreateNamedEvent(CStartEventName, LError);
    AArgs.insert(AArgs.begin(), {"-a", "-local", std::to_string(LStarter)});
    const int LPid = Spawn(CViewerProgram, AArgs, static_cast<HANDLE>(AOutput));
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

int WaitExit(int APid, int ASeconds) {
    const HANDLE LProcess = ChildHandle(APid);
    if (!LProcess)
        return -1;
    DWORD LCode = 0;
    if (WaitForSingleObject(LProcess, static_cast<DWORD>(ASeconds) * 1000) != WAIT_OBJECT_0) {
        TerminateProcess(LProcess, 255);
        WaitForSingleObject(LProcess, INFINITE);
        Forget(APid);
        return -1;
    }
    const bool LGot = GetExitCodeProcess(LProcess, &LCode);
    Forget(APid);
    return LGot ? static_cast<int>(LCode) : -1;
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

void KillProgram(int APid) {
    if (const HANDLE LProcess = ChildHandle(APid)) {
        TerminateProcess(LProcess, 255);
        WaitForSingleObject(LProcess, INFINITE);
    }
    Forget(APid);
    // A killed viewer's stand-in starter has nothing left to wait for.
    int LStarter = 0;
    {
        std::lock_guard<std::mutex> L(GLock);
        const auto LFound = GStarters.find(APid);
        if (LFound != GStarters.end()) {
            LStarter = LFound->second;
            GStarters.erase(LFound);
        }
    }
    if (LStarter > 0)
        KillProgram(LStarter);
}

bool PauseProgram(int APid) {
    return CallNt("NtSuspendProcess", APid);
}

bool ResumeProgram(int APid) {
    return CallNt("NtResumeProcess", APid);
}

void IsolateViewerSetting(const std::filesystem::path&) {
    RemoveViewerSetting();
}

void RestoreViewerSetting() {
    RemoveViewerSetting();
}

void SetViewerCommand(const std::string& AProgram, const std::vector<std::string>& AArgs) {
    std::wstring LCommand = Quoted(Wide(AProgram));
    for (const std::string& LArg : AArgs)
        LCommand += L" " + Quoted(Wide(LArg));
    WriteViewerSetting(std::u16string(LCommand.begin(), LCommand.end()));
}

std::string OwnProgramPath() {
    std::wstring LPath(MAX_PATH, L'\0');
    const DWORD LLen = GetModuleFileNameW(nullptr, LPath.data(), static_cast<DWORD>(LPath.size()));
    LPath.resize(LLen);
    const int LSize = WideCharToMultiByte(CP_UTF8, 0, LPath.data(), static_cast<int>(LPath.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string LOut(static_cast<size_t>(LSize > 0 ? LSize : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, LPath.data(), static_cast<int>(LPath.size()), LOut.data(),
                        LSize, nullptr, nullptr);
    return LOut;
}
