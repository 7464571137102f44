// Runs scaleprobe-sim as a child process for a test: starts it, reads the
// port path it prints, and ends it (SIGTERM, then waits) when done.
#pragma once

#include <string>
#include <vector>

class TSimProcess {
public:
    // Starts the simulator with AArgs; throws std::runtime_error when it does
    // not print its port within ATimeoutMs.
    explicit TSimProcess(const std::vector<std::string>& AArgs, int ATimeoutMs = 10000);
    ~TSimProcess();
    TSimProcess(const TSimProcess&) = delete;
    TSimProcess& operator=(const TSimProcess&) = delete;

    const std::string& PortPath() const { return FPortPath; }
    int Pid() const { return FPid; }
    // Sends ASignal and waits for the exit; returns the exit status, or
    // -1 when it did not end within ATimeoutMs (it is then killed).
    int Stop(int ASignal, int ATimeoutMs = 10000);
    // Waits for an exit of its own; as Stop.
    int Wait(int ATimeoutMs);
    // What it wrote to standard error (after it ended).
    std::string ErrorOutput() const;

private:
    int FPid = -1;
    int FOutFd = -1;
    std::string FErrFile;
    std::string FPortPath;
};

// The simulator built beside the tests.
std::string SimExecutable();
