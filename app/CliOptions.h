// The command line of the console front end.
#pragma once

#include "capture/LineCapture.h"

#include <cstdint>
#include <string>
#include <vector>

struct TSimulateSpec {
    std::string Protocol; // "keli", "xk3168", "ascii", "continuous-stx" or "reversed-eq"
    int32_t BaudRate = 0;
    int32_t StopBits = -1;       // -1: the protocol's own
    std::string Framing = "8N1"; // text protocols: "8N1", "7E1" or "7O1"
};

// True for the protocols whose decoder judges the character framing: the
// text protocols, whose indicators often send seven bits and a parity bit.
bool ProtocolJudgesFraming(const std::string& AProtocol);

inline constexpr double CDefaultCaptureSeconds = 10;

struct TCliOptions {
    std::string Port;
    bool List = false;
    bool Watch = false;
    bool Simulate = false;
    bool Help = false;
    bool Json = false;     // one JSON document on standard output
    bool Extended = false; // after a search that found nothing, the extended table
    bool AllPorts = false; // every port of the list at once
    bool Save = false;     // after a find, the result into an INI file
    std::string SaveFile;  // empty: the program's own INI
    // --capture FILE: the line read into FILE, at CaptureSettings when
    // CaptureAt (--baud), else at the settings a search finds.
    bool Capture = false;
    std::string CaptureFile;
    bool CaptureAt = false;
    TCaptureSettings CaptureSettings;
    double CaptureSeconds = CDefaultCaptureSeconds;
    TSimulateSpec Sim;
};

inline constexpr int CExitFound = 0;
inline constexpr int CExitNotFound = 1;
inline constexpr int CExitNoPort = 2;
inline constexpr int CExitUsage = 64;
// A run ended by signal N exits with CExitSignalBase + N.
inline constexpr int CExitSignalBase = 128;

extern const char CCliUsage[];

// Parses the arguments after the program name; false with AError set on bad
// usage.
bool ParseCliOptions(const std::vector<std::string>& AArgs, TCliOptions& AOptions,
                     std::string& AError);

// "PROTOCOL:BAUD[:STOPBITS]"; STOPBITS is 1, 1.5 or 2. For the protocols
// that judge their framing the third field is the framing instead: 8N1, 7E1
// or 7O1.
bool ParseSimulateSpec(const std::string& AText, TSimulateSpec& ASpec, std::string& AError);
