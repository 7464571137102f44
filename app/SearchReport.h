// The console front end's record of a search, and its JSON document
// (--json): what was found and every trial on the way.
#pragma once

#include "capture/LineCapture.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TTrialRecord {
    std::string Protocol; // as CreateClientForProtocol names it
    int32_t BaudRate = 0;
    int32_t DataBits = 8;
    std::string Parity = "none"; // "none", "even" or "odd"
    int32_t StopBits = 0;        // 0 one, 1 one and a half, 2 two
    int32_t Weights = 0;
    uint64_t ElapsedMs = 0;
    bool Extended = false;
    double LastWeight = 0;
    // Why the trial's client could not open the port; empty when it could.
    std::string OpenError;
    int32_t CheckRefused = 0; // frames whole but for their check
    // Bytes received in the trial, decoded or not, and the first of them.
    uint64_t BytesRead = 0;
    std::vector<uint8_t> FirstBytes = {};
};

// What --capture wrote.
struct TCaptureReport {
    std::string File;
    TCaptureSettings Settings;
    uint64_t Bytes = 0, Blocks = 0, ElapsedMs = 0;
};

struct TSearchReport {
    std::string Port;
    std::vector<TTrialRecord> Trials;
    // Index into Trials of the trial that found the instrument.
    std::optional<size_t> Found;
    // Set when the run ended in an error; the exit code stays the run's.
    std::string ErrorCode, ErrorText;
    // With ErrorCode "port": what kept the port from opening ("missing",
    // "busy", ...).
    std::string ErrorReason;
    // The INI file --save wrote.
    std::string SavedTo;
    std::optional<TCaptureReport> Capture;
};

// AValue at the 15 significant digits the display shows: a displayed 20.00
// is 20, not 20.000000000000004.
double DisplayedNumber(double AValue);

// The trial in which the most bytes arrived (the first of equals); none when
// no byte arrived in any trial.
std::optional<size_t> MostBytesTrial(const std::vector<TTrialRecord>& ATrials);
// ABytes as upper-case hex pairs, one blank between them.
std::string HexBytes(const std::vector<uint8_t>& ABytes);
// ABytes as text: printable ASCII as it is, every other byte a '.'.
std::string AsciiBytes(const std::vector<uint8_t>& ABytes);
// After a search that found nothing, which trial received the most bytes
// and the first of them, in a few transcript lines.
std::vector<std::string> MostBytesLines(const std::vector<TTrialRecord>& ATrials);

// One JSON document, pretty-printed, ending with a newline.
std::string SearchReportJson(const TSearchReport& AReport, int AExitCode);
// The document of --all-ports: whether any port found an instrument, the
// run's exit code, an error of the whole run (AErrorCode empty: none), and
// one entry per port, each with the keys of SearchReportJson but the exit
// code.
std::string AllPortsReportJson(const std::vector<TSearchReport>& AReports, int AExitCode,
                               const std::string& AErrorCode = {},
                               const std::string& AErrorText = {});
