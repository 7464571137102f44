// Process, thread, executable path and the OS debug output.
#pragma once

#include "platform/Text.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#ifdef _WIN32
// On Windows the system's own functions, declared exactly as <windows.h>
// declares them, so that a file may include both.
extern "C" __declspec(dllimport) unsigned long __stdcall GetCurrentProcessId(void);
extern "C" __declspec(dllimport) unsigned long __stdcall GetCurrentThreadId(void);
#else
uint32_t GetCurrentProcessId();
uint32_t GetCurrentThreadId();
#endif

// Full path of the running executable.
std::filesystem::path GetExecutablePath();
// Folder of the running executable.
std::filesystem::path GetExecutableDir();

// The system's text for an error code (errno on Linux, GetLastError's code
// on Windows), as UTF-8 without a line end; "error N" when it has none.
std::string SystemErrorText(unsigned long ACode);

// Gives up the rest of the calling thread's time slice.
void YieldThread();

// The operating system's debug output. On Linux it is silent unless the
// environment variable SCALEPROBE_DEBUG_OUTPUT is set to 1; then each string
// goes to standard error as one line.
void OutputDebugStr(const UnicodeString& AText);

// Tests capture the debug output: every string is also handed to the hook.
// An empty hook removes it.
void SetDebugOutputHook(std::function<void(const UnicodeString&)> AHook);

// Backend part of OutputDebugStr.
void PlatformOutputDebugStr(const UnicodeString& AText);
