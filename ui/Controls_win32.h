// The Win32 backend of the control set: native controls in a top-level
// window of fixed client size, message boxes with MessageBoxW.
#pragma once

#include "ui/Controls.h"

#include <memory>

// Install it with SetControlBackend; the thread needs its Win32 loop first.
std::unique_ptr<TControlBackend> CreateWin32Controls();

// Declares the process DPI-aware (per monitor where the system offers it);
// call it before the first window is made.
void DeclareDpiAware();

// The window (an HWND) that shows AControl; null before its form is shown.
void* ControlWindow(const TControl& AControl);
