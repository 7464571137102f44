// The simulator's command line.
#pragma once

#include "tools/scaleprobe-sim/UartLine.h"

#include <cstdint>
#include <string>
#include <vector>

enum class TSimProtocol { spKeli, spXK3168, spAscii, spContinuousStx, spReversedEq };

struct TSimOptions {
    TSimProtocol Protocol = TSimProtocol::spKeli;
    uint32_t BaudRate = 9600;
    uint32_t StopHalfBits = 2; // 2, 3 or 4: one, one and a half, two stop bits
    uint32_t DataBits = 8;     // 7 or 8
    TUartParity Parity = TUartParity::upNone;
    std::string AsciiPrefix;      // ascii: before the weight
    std::string AsciiUnit = "kg"; // ascii: after the weight
    double FramesPerSecond = 0;   // 0: back to back, as fast as the line allows
    std::string Weights = "const:1000";
    uint32_t Hold = 1; // frames per value of the sequence
    int Decimals = 0;
    double DurationSeconds = 0; // 0: no limit
    uint64_t Count = 0;         // 0: no limit
    uint64_t Seed = 1;
    double DropRate = 0;
    double FlipRate = 0;
    uint32_t GarbageBytes = 0;
    bool BlankPad = false;
    bool BadCheck = false; // keli: the check covers the STX too
    bool Checksum = false; // continuous-stx: the checksum byte after the CR
    bool Pounds = false;   // continuous-stx: the unit bit says lb
    uint32_t EqChars = 7;  // reversed-eq: characters after the "=", 7 or 8
    // A capture to play back instead of an indicator; its header sets the
    // line.
    std::string ReplayFile;
    bool Announce = true;
    bool Verbose = false;
    bool Help = false;
};

// Parses the arguments after the program name. False with AError set on a
// bad option or value.
bool ParseSimOptions(const std::vector<std::string>& AArgs, TSimOptions& AOptions,
                     std::string& AError);

std::string SimUsage();
