// <windows.h> for the Win32 backends; include it after the project's headers.
// The system's GetTickCount64 is hidden under another name: in this code the
// name is the loop's tick counter (platform/MessageLoop.h), which also follows
// the virtual clock. The process and thread ids are the system's own
// (platform/System.h).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#define GetTickCount64 GetTickCount64_system
#include <windows.h>
#undef GetTickCount64
