// A program (or, on POSIX, a copy of this one) as a child of the test: its
// standard streams, its exit, and the ways a test ends or freezes it. A child
// still running when the object goes is killed and collected.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Where one standard stream of a child goes. On Windows the child always
// shares this program's streams: Start fails when any other is asked for.
enum class TChildStream {
    csInherit, // this program's own
    csPipe,    // a pipe this side reads (output) or writes (input)
    csNull,    // the null device
    csBroken,  // output into a pipe that nobody reads
    csOutput,  // standard error only: into the output's pipe
};

struct TChildOptions {
    TChildStream Input = TChildStream::csInherit;
    TChildStream Output = TChildStream::csInherit;
    TChildStream Errors = TChildStream::csInherit;
    // Windows only: an inheritable handle that becomes the child's standard
    // output and error (a console's, say), and a child without a console.
    void* OutputHandle = nullptr;
    bool Detached = false;
};

class TChildProcess {
public:
    TChildProcess() = default;
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    // Starts AProgram with AArgs; false when it cannot be started.
    bool Start(const std::string& AProgram, const std::vector<std::string>& AArgs,
               const TChildOptions& AOptions = {});
    // Takes over a child that other code started (or, on Windows, any process
    // this one may wait for); false when there is none of that id.
    bool Adopt(int APid);

    int Pid() const { return FPid; }
    // After Wait: the signal that ended it, 0 when it exited (always on
    // Windows).
    int EndSignal() const { return FEndSignal; }

    // Waits at most ATimeoutMs for the end, reading the piped streams
    // meanwhile: the exit code, 128 + N when signal N ended it, or -1 when it
    // did not end in time (it is then killed) or was never started.
    int Wait(int ATimeoutMs = 10000);
    // Ends it at once, as a crash would, and collects it.
    void Kill();
    // Freezes it and lets it go on.
    bool Pause();
    bool Resume();

    // POSIX only from here on.

    // Runs ABody in a copy of this process, whose exit code is its result.
    bool Fork(const std::function<int()>& ABody, const TChildOptions& AOptions = {});
    // Reads the piped streams until ADone (asked before each read) holds or
    // both have ended; false when ATimeoutMs passed first.
    bool ReadUntil(const std::function<bool()>& ADone, int ATimeoutMs);
    const std::string& Output() const { return FOutput; }
    const std::string& Errors() const { return FErrors; }
    // Into a piped standard input.
    bool WriteInput(const std::string& AData);
    void CloseInput();
    bool Signal(int ASignal);
    // Sends ASignal and waits, as Wait.
    int Stop(int ASignal, int ATimeoutMs = 10000);

private:
    struct TStreams;
    bool Launch(const TChildOptions& AOptions, const std::function<int(const TStreams&)>& ALaunch);
    // Reads what the piped output streams hold within ATimeoutMs; false
    // when nothing came.
    bool ReadReady(int ATimeoutMs);
    void CloseStreams();

    int FPid = -1;
    int FEndSignal = 0;
    void* FHandle = nullptr; // Windows: the process
    int FInputFd = -1;
    int FOutputFd = -1;
    int FErrorsFd = -1;
    std::string FOutput;
    std::string FErrors;
};

// This test program, to be started again as a helper.
std::string OwnProgramPath();

#ifdef _WIN32
// The command line that starts AProgram with AArgs, quoted as the C runtime
// of the child splits it.
std::u16string CommandLineOf(const std::string& AProgram, const std::vector<std::string>& AArgs);
#endif
