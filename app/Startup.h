// The process's units, started before the window exists and shut down after
// it is gone: the debugger, then the log, then the configuration reader.
#pragma once

#include "logging/UnitDebugger.h"
#include "logging/UnitLogFile.h"

// Creates the debugger, GLogFile and GCfgReader, in that order. The debugger
// sends through the shared-memory channel unless a test gives another class.
// AOnLogWriteFailed hears that the log loses lines; it must outlive the log.
void StartUpUnits(TDebugChannelClass AChannelClass = {},
                  TLogWriteFailedEvent AOnLogWriteFailed = {});
// Frees them in the reverse order; afterwards all three are gone.
void ShutDownUnits();
