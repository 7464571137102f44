// <windows.h> for the app's Windows files, included after the project
// headers. The project declares its own GetTickCount64 and process and
// thread id functions; the system's declarations of those names are moved
// out of the way here, so both sets of headers fit in one file.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#define GetTickCount64 SystemGetTickCount64
#define GetCurrentProcessId SystemGetCurrentProcessId
#define GetCurrentThreadId SystemGetCurrentThreadId
#include <windows.h>
#undef GetTickCount64
#undef GetCurrentProcessId
#undef GetCurrentThreadId
