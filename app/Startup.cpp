#include "app/Startup.h"

#include "config/UnitConfigReader.h"
#include "logging/UnitDebugger.h"
#include "logging/UnitLogFile.h"

void StartUpUnits() {
    InitDebuggerUnit();
    InitLogFileUnit();
    InitConfigReaderUnit();
}

void ShutDownUnits() {
    FinalizeConfigReaderUnit();
    FinalizeLogFileUnit();
    FinalizeDebuggerUnit();
}
