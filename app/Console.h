// What the console front end needs of the operating system: the terminal
// test, Ctrl+C, and the simulator as a child process.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

bool StdoutIsTerminal();

// Flushes standard output; false with AReason when something written to it
// while a TStandardStreams existed was lost (a full disk, a closed standard
// output). A reader that went away counts as SIGPIPE, not here.
bool StandardOutputWritten(std::string& AReason);

// While it exists, standard output and standard error reach a console as
// UTF-16 and a pipe or file as UTF-8 bytes (Windows; on Linux their bytes
// go out as they are, and a closed standard stream is held by a descriptor
// that cannot be used for it, so that no file opened later takes its
// place). A failed write of standard output is remembered. The destructor
// flushes and restores them.
class TStandardStreams {
public:
    TStandardStreams();
    ~TStandardStreams();
    TStandardStreams(const TStandardStreams&) = delete;
    TStandardStreams& operator=(const TStandardStreams&) = delete;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

// After this, SIGINT, SIGTERM, SIGHUP, SIGQUIT and SIGPIPE (a closed
// standard output) only record the first signal and wake TInterruptWatch.
// On Windows the console's Ctrl+C, Ctrl+Break, close, log-off and shut-down
// events do the same, as the signals 2 (SIGINT), 21 (SIGBREAK), 1 (SIGHUP)
// and 15 (SIGTERM); a closed standard output counts as 13 (SIGPIPE).
void InstallInterruptHandler();
bool Interrupted();
// The first signal that arrived; 0 when none.
int InterruptSignal();
// "SIGINT" and so on.
std::string SignalName(int ASignal);
// Called once the run is shut down (the log's exit banner written), with the
// process's exit status. On Windows a console that is being closed ends the
// process as soon as its handler returns, so the handler waits for this.
void ShutDownDone(int AExitCode);

// While it exists, an interrupt wakes the calling thread's message loop, so a
// RunUntil waiting on Interrupted returns at once. On Linux a thread waits on
// the handler's pipe, and the destructor tells it to end and joins it; on
// Windows the handler posts to the loop itself.
class TInterruptWatch {
public:
    TInterruptWatch();
    ~TInterruptWatch();
    TInterruptWatch(const TInterruptWatch&) = delete;
    TInterruptWatch& operator=(const TInterruptWatch&) = delete;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

// The simulator program: beside the running executable, else in the build
// tree's tools folder; empty when neither exists (always on Windows: the
// simulator runs on Linux only).
std::filesystem::path FindSimulator();
// What the front end says when FindSimulator finds none.
extern const char CSimulatorMissing[];

// A running simulator. The constructor starts it and waits (up to
// ATimeoutMs) for the port path it prints as its first line; it throws
// Exception when the program cannot be started or prints no path. The
// destructor stops it (SIGTERM; SIGKILL when it has not ended two seconds
// later). The child gets SIGTERM when this process ends, however it ends.
class TSimulatorProcess {
public:
    TSimulatorProcess(const std::filesystem::path& AProgram, const std::vector<std::string>& AArgs,
                      uint32_t ATimeoutMs);
    ~TSimulatorProcess();
    TSimulatorProcess(const TSimulatorProcess&) = delete;
    TSimulatorProcess& operator=(const TSimulatorProcess&) = delete;

    const std::string& PortPath() const { return FPortPath; }
    // Stops the program; true when it ended by itself or on SIGTERM.
    bool Stop();

private:
    int FPid = -1;
    int FOutput = -1;
    std::string FPortPath;
};
