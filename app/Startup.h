// The process's units, started before the window exists and shut down after
// it is gone: the debugger, then the log, then the configuration reader.
#pragma once

#include "logging/UnitDebugger.h"

// Creates the debugger, GLogFile and GCfgReader, in that order. The debugger
// sends through the shared-memory channel unless a test gives another class.
void StartUpUnits(TDebugChannelClass AChannelClass = {});
// Frees them in the reverse order; afterwards all three are gone.
void ShutDownUnits();
