// Children through CreateProcessW, known by their process handle.
#include "ChildProcess.h"

#include "platform/Windows_win32.h"

#include <algorithm>

namespace {
// A Linux path (as the build names its programs) is Wine's Z: drive.
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

std::wstring Line(const std::string& AProgram, const std::vector<std::string>& AArgs) {
    std::wstring LLine = Quoted(Wide(AProgram));
    for (const std::string& LArg : AArgs)
        LLine += L" " + Quoted(Wide(LArg));
    return LLine;
}

using TNtProcessCall = LONG(NTAPI*)(HANDLE);

bool CallNt(const char* AName, HANDLE AProcess) {
    const auto LCall = reinterpret_cast<TNtProcessCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), AName)));
    return AProcess && LCall && LCall(AProcess) >= 0;
}
} // namespace

std::u16string CommandLineOf(const std::string& AProgram, const std::vector<std::string>& AArgs) {
    const std::wstring LLine = Line(AProgram, AArgs);
    return std::u16string(LLine.begin(), LLine.end());
}

TChildProcess::~TChildProcess() {
    if (FPid > 0)
        Kill();
}

bool TChildProcess::Start(const std::string& AProgram, const std::vector<std::string>& AArgs,
                          const TChildOptions& AOptions) {
    for (const TChildStream LStream : {AOptions.Input, AOptions.Output, AOptions.Errors})
        if (LStream != TChildStream::csInherit)
            return false;
    if (FPid > 0)
        return false;
    std::wstring LLine = Line(AProgram, AArgs);
    STARTUPINFOW LStartup{};
    LStartup.cb = sizeof(LStartup);
    if (AOptions.OutputHandle) {
        LStartup.dwFlags = STARTF_USESTDHANDLES;
        LStartup.hStdOutput = AOptions.OutputHandle;
        LStartup.hStdError = AOptions.OutputHandle;
    }
    PROCESS_INFORMATION LProcess{};
    if (!CreateProcessW(nullptr, LLine.data(), nullptr, nullptr, AOptions.OutputHandle != nullptr,
                        AOptions.Detached ? DETACHED_PROCESS : 0, nullptr, nullptr, &LStartup,
                        &LProcess))
        return false;
    CloseHandle(LProcess.hThread);
    FHandle = LProcess.hProcess;
    FPid = static_cast<int>(LProcess.dwProcessId);
    return true;
}

bool TChildProcess::Adopt(int APid) {
    if (FPid > 0 || APid <= 0)
        return false;
    FHandle = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE |
                              PROCESS_SUSPEND_RESUME,
                          FALSE, static_cast<DWORD>(APid));
    if (!FHandle)
        return false;
    FPid = APid;
    return true;
}

int TChildProcess::Wait(int ATimeoutMs) {
    if (FPid <= 0)
        return -1;
    if (WaitForSingleObject(FHandle, static_cast<DWORD>(ATimeoutMs)) != WAIT_OBJECT_0) {
        Kill();
        return -1;
    }
    DWORD LCode = 0;
    const bool LGot = GetExitCodeProcess(FHandle, &LCode);
    CloseHandle(FHandle);
    FHandle = nullptr;
    FPid = -1;
    return LGot ? static_cast<int>(LCode) : -1;
}

void TChildProcess::Kill() {
    if (FPid <= 0)
        return;
    TerminateProcess(FHandle, 255);
    WaitForSingleObject(FHandle, INFINITE);
    CloseHandle(FHandle);
    FHandle = nullptr;
    FPid = -1;
}

bool TChildProcess::Pause() {
    return CallNt("NtSuspendProcess", FHandle);
}

bool TChildProcess::Resume() {
    return CallNt("NtResumeProcess", FHandle);
}
