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
std::mutex GStartersLock;
// Each viewer's stand-in starter.
std::map<int, int> GStarters;

constexpr const char* CStarterEventName = "Local\\WbDebugTestStarter";
constexpr const char* CStarterVariable = "SCALEPROBE_STAND_IN";

// The console the viewer writes into; made by StartViewerOnConsole.
HANDLE GConsole = nullptr;
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
    TChildOptions LStarterOptions;
    // Off the viewer's console, should it have one of this process's.
    LStarterOptions.Detached = AOutput != nullptr;
    const int LStarter = SpawnProgram(
        OwnProgramPath(), {"--gtest_filter=ViewerStarterStandIn.WaitsUntilTold"}, LStarterOptions);
    SetEnvironmentValue(CStarterVariable, "");
    if (LStarter <= 0 || !GEnd)
        return -1;
    auto LStart = CreateNamedEvent(CStartEventName, LError);
    AArgs.insert(AArgs.begin(), {"-a", "-local", std::to_string(LStarter)});
    TChildOptions LViewerOptions;
    LViewerOptions.OutputHandle = AOutput;
    const int LPid = SpawnProgram(CViewerProgram, AArgs, LViewerOptions);
    const bool LReady =
        LPid > 0 && LStart && LStart->WaitFor(10000) == TNamedWaitResult::nwSignaled;
    LStart.reset();
    if (!LReady) {
        KillProgram(LStarter);
        return -1;
    }
    std::lock_guard<std::mutex> L(GStartersLock);
    GStarters[LPid] = LStarter;
    return LPid;
}

void EndStarterOf(int APid) {
    int LStarter = 0;
    {
        std::lock_guard<std::mutex> L(GStartersLock);
        const auto LFound = GStarters.find(APid);
        if (LFound != GStarters.end()) {
            LStarter = LFound->second;
            GStarters.erase(LFound);
        }
    }
    if (LStarter > 0)
        KillProgram(LStarter);
}

int StopViewer(int APid) {
    int LStarter = -1;
    {
        std::lock_guard<std::mutex> L(GStartersLock);
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

void SetViewerCommand(const std::string& AProgram, const std::vector<std::string>& AArgs) {
    WriteViewerSetting(CommandLineOf(AProgram, AArgs));
}
