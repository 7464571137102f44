// The Win32 calls around the serial driver's line-event wait, as the driver
// makes them. Tests put their own in their place to play a port whose wait
// ends only as some drivers end it (Wine's serial ports: on an event or a
// changed mask, never on a cancel). Include after serial/CommDriver.h.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

struct TWin32CommCalls {
    BOOL(WINAPI* WaitCommEvent)(HANDLE, LPDWORD, LPOVERLAPPED) = ::WaitCommEvent;
    BOOL(WINAPI* SetCommMask)(HANDLE, DWORD) = ::SetCommMask;
    BOOL(WINAPI* CancelIoEx)(HANDLE, LPOVERLAPPED) = ::CancelIoEx;
};

// The calls of the system's driver; set them only while no port is open.
TWin32CommCalls& Win32CommCalls();
