// --capture: a port read at given line settings for a while, every read's
// bytes written to a capture file with its time, block by block.
#pragma once

#include "capture/LineCapture.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

struct TCaptureResult {
    uint64_t Bytes = 0;
    uint64_t Blocks = 0;
    uint64_t ElapsedMs = 0;
    // Why the port could not be opened or the file not be written.
    std::string Error;
};

// Opens APort (a name as PortNameOf gives it) at ASettings, writes the
// capture's header to AOut and then one block per read, flushed at once, until
// ASeconds have passed or AStop holds. Runs the calling thread's loop. False
// with AResult.Error set when the port cannot be opened or AOut fails; what
// was written until then stays whole.
bool RunLineCapture(const std::string& APort, const TCaptureSettings& ASettings, double ASeconds,
                    std::ostream& AOut, const std::function<bool()>& AStop,
                    TCaptureResult& AResult);
