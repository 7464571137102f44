// Process, executable path, yielding and the OS debug output on Windows.
// GetCurrentProcessId and GetCurrentThreadId are the system's own (System.h).
#include "platform/System.h"

#include "platform/Windows_win32.h"

#include <string>

std::filesystem::path GetExecutablePath() {
    // A long path does not fit MAX_PATH: grow the buffer until it holds the
    // whole path (the call truncates and returns the buffer size then).
    std::wstring LBuffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD LSize = static_cast<DWORD>(LBuffer.size());
        const DWORD LLength = GetModuleFileNameW(nullptr, LBuffer.data(), LSize);
        if (LLength == 0)
            return std::filesystem::current_path() / L"scaleprobe.exe";
        if (LLength < LSize) {
            LBuffer.resize(LLength);
            return std::filesystem::path(LBuffer);
        }
        if (LBuffer.size() >= 32768 * 2)
            return std::filesystem::current_path() / L"scaleprobe.exe";
        LBuffer.resize(LBuffer.size() * 2);
    }
}

void YieldThread() {
    SwitchToThread();
}

void PlatformOutputDebugStr(const UnicodeString& AText) {
    const std::wstring LText(AText.begin(), AText.end());
    OutputDebugStringW(LText.c_str());
}

std::string SystemErrorText(unsigned long ACode) {
    wchar_t LBuf[512];
    DWORD LLength = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, ACode, 0, LBuf, 512, nullptr);
    while (LLength > 0 &&
           (LBuf[LLength - 1] == L'\n' || LBuf[LLength - 1] == L'\r' || LBuf[LLength - 1] == L' '))
        --LLength;
    // wchar_t is UTF-16 on Windows.
    const std::string LText =
        UnicodeToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(LBuf), LLength));
    return LText.empty() ? "error " + std::to_string(ACode) : LText;
}
