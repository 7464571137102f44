// scaleprobe-sim as a child of a test: started, the port path it prints read,
// and ended (SIGTERM, then waited for) when done.
#pragma once

#include "ChildProcess.h"

#include <csignal>
#include <string>
#include <vector>

class TSimProcess {
public:
    // Starts the simulator with AArgs; throws std::runtime_error when it does
    // not print its port within ATimeoutMs.
    explicit TSimProcess(const std::vector<std::string>& AArgs, int ATimeoutMs = 10000);
    ~TSimProcess() { Stop(SIGTERM); }
    TSimProcess(const TSimProcess&) = delete;
    TSimProcess& operator=(const TSimProcess&) = delete;

    const std::string& PortPath() const { return FPortPath; }
    // Sends ASignal and waits for the exit, as TChildProcess::Stop.
    int Stop(int ASignal, int ATimeoutMs = 10000) { return FChild.Stop(ASignal, ATimeoutMs); }
    // Waits for an exit of its own, as TChildProcess::Wait.
    int Wait(int ATimeoutMs) { return FChild.Wait(ATimeoutMs); }
    // Freezes it (as a loaded machine may) and lets it go on.
    bool Pause() { return FChild.Pause(); }
    bool Resume() { return FChild.Resume(); }
    // What it wrote to standard error (complete once it has ended).
    const std::string& ErrorOutput() const { return FChild.Errors(); }

private:
    TChildProcess FChild;
    std::string FPortPath;
};
