// Whether a serial port can be opened at all, and the one rule by which the
// console front end's check and the search name a port.
#pragma once

#include <cstdint>
#include <string>

// What keeps a port from being opened; one mapping of the system's errors
// per platform.
enum class TPortProblem : uint8_t {
    ppNone,      // the port opens
    ppBadName,   // the search cannot open a port of that name
    ppMissing,   // no such port (never there, or gone)
    ppDenied,    // this user may not open it
    ppBusy,      // another program holds it
    ppNotSerial, // it opens, but it is no serial port
    ppOther,
};

struct TPortCheck {
    TPortProblem Problem = TPortProblem::ppNone;
    // The system's reason and what to do about it; empty when the port opens.
    std::string Reason;
    bool Ok() const { return Problem == TPortProblem::ppNone; }
};

// Opens APort (a name as PortNameOf gives it) once, as the serial component
// opens it, and closes it again: it exists, is a serial port, this user may
// open it, and no other program holds it. Never blocks (a FIFO is not opened
// for waiting).
TPortCheck CheckSerialPort(const std::string& APort);

// The name the search opens for the port the user named AName (UTF-8): on
// Windows the COM name in the form the client's number rule reads ("COM3" for
// "\\.\com3", "//./COM3", "COM3:", " COM3 ", "COM3."), on Linux the path as it
// is. False with AReason when the search could not open it under any name
// (text that is not UTF-8, a control character, on Windows a name that is no
// COM-style name).
bool PortNameOf(const std::string& AName, std::string& APort, std::string& AReason);

// A short word for the problem, for documents: "missing", "busy", ...; empty
// for ppNone.
const char* PortProblemCode(TPortProblem AProblem);

// Backend: the platform's part of PortNameOf, given text that is valid UTF-8
// without control characters.
bool PlatformPortName(const std::string& AName, std::string& APort, std::string& AReason);
