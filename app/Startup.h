// The process's units, started before the window exists and shut down after
// it is gone: the debugger, then the log, then the configuration reader.
#pragma once

// Creates the debugger, GLogFile and GCfgReader, in that order.
void StartUpUnits();
// Frees them in the reverse order; afterwards all three are gone.
void ShutDownUnits();
