#include "app/Startup.h"

#include "config/UnitConfigReader.h"
#include "logging/UnitLogFile.h"
#include "logging/UnitMapFileChannel.h"

void StartUpUnits(TDebugChannelClass AChannelClass, TLogWriteFailedEvent AOnLogWriteFailed) {
    SetDebugChannelClass(AChannelClass ? std::move(AChannelClass)
                                       : TDebugChannelClass(MakeMapFileChannel));
    InitDebuggerUnit();
    InitLogFileUnit(std::move(AOnLogWriteFailed));
    InitConfigReaderUnit();
}

void ShutDownUnits() {
    FinalizeConfigReaderUnit();
    FinalizeLogFileUnit();
    FinalizeDebuggerUnit();
}
