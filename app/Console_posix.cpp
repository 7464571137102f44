#include "app/Console.h"

#include "platform/MessageLoop.h"
#include "platform/Object.h"
#include "platform/System.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <thread>

extern char** environ;

namespace {
constexpr int CSimulatorStopMs = 2000;

// Set by the handler, which runs on whichever thread the signal reaches (the
// log's worker, say), and read by the loop's thread: an atomic, lock-free so
// that the handler may touch it.
std::atomic<int> GSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);
// The handler's self-pipe: one byte per signal, read by TInterruptWatch.
int GSignalPipe[2] = {-1, -1};

void OnInterrupt(int ASignal) {
    const int LErrno = errno;
    int LNone = 0;
    GSignal.compare_exchange_strong(LNone, ASignal);
    if (GSignalPipe[1] >= 0) {
        const char LByte = 1;
        [[maybe_unused]] const ssize_t LWritten = write(GSignalPipe[1], &LByte, 1);
    }
    errno = LErrno;
}

// Reads the first line that the child writes to AFd (a file it appends to),
// polling until ATimeoutMs pass or the child ends.
bool ReadFirstLine(int AFd, int APid, uint32_t ATimeoutMs, std::string& ALine) {
    const auto LDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeoutMs);
    std::string LText;
    for (;;) {
        char LBuf[256];
        const ssize_t LRead = pread(AFd, LBuf, sizeof LBuf, static_cast<off_t>(LText.size()));
        if (LRead > 0) {
            LText.append(LBuf, static_cast<size_t>(LRead));
            const size_t LEnd = LText.find('\n');
            if (LEnd != std::string::npos) {
                ALine = LText.substr(0, LEnd);
                return true;
            }
            continue;
        }
        int LStatus = 0;
        if (waitpid(APid, &LStatus, WNOHANG) == APid)
            return false;
        if (std::chrono::steady_clock::now() >= LDeadline || Interrupted())
            return false;
        // The child writes to a file, which poll cannot wait on.
        poll(nullptr, 0, 10);
    }
}
} // namespace

bool StdoutIsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

void InstallInterruptHandler() {
    if (GSignalPipe[0] < 0 && pipe2(GSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        GSignalPipe[0] = GSignalPipe[1] = -1;
    struct sigaction LAction {};
    LAction.sa_handler = OnInterrupt;
    sigemptyset(&LAction.sa_mask);
    for (const int LSignal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
        sigaddset(&LAction.sa_mask, LSignal);
    LAction.sa_flags = SA_RESTART;
    for (const int LSignal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
        sigaction(LSignal, &LAction, nullptr);
}

bool Interrupted() {
    return GSignal != 0;
}

int InterruptSignal() {
    return GSignal;
}

std::string SignalName(int ASignal) {
    switch (ASignal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    case SIGQUIT:
        return "SIGQUIT";
    case SIGPIPE:
        return "SIGPIPE";
    default:
        return "signal " + std::to_string(ASignal);
    }
}

struct TInterruptWatch::TImpl {
    TMessageWindow Window{[](TMessage&) {}};
    int Stop[2] = {-1, -1};
    std::thread Thread;

    void Run(TWindowHandle AWindow) {
        pollfd LFds[2] = {{GSignalPipe[0], POLLIN, 0}, {Stop[0], POLLIN, 0}};
        for (;;) {
            if (poll(LFds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (LFds[1].revents != 0)
                return;
            if (LFds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
                return;
            char LBuf[64];
            while (read(GSignalPipe[0], LBuf, sizeof LBuf) > 0) {
            }
            // Any message wakes the loop, which then sees Interrupted.
            AWindow.Post(0, 0, 0);
        }
    }
};

TInterruptWatch::TInterruptWatch() : FImpl(std::make_unique<TImpl>()) {
    if (GSignalPipe[0] < 0 || pipe2(FImpl->Stop, O_CLOEXEC) != 0)
        return;
    FImpl->Thread = std::thread([this, LWindow = FImpl->Window.Handle()] { FImpl->Run(LWindow); });
}

TInterruptWatch::~TInterruptWatch() {
    if (FImpl->Thread.joinable()) {
        const char LByte = 1;
        [[maybe_unused]] const ssize_t LWritten = write(FImpl->Stop[1], &LByte, 1);
        FImpl->Thread.join();
    }
    for (int& LFd : FImpl->Stop)
        if (LFd >= 0) {
            close(LFd);
            LFd = -1;
        }
}

std::filesystem::path FindSimulator() {
    const std::filesystem::path LDir = GetExecutableDir();
    for (const std::filesystem::path& LCandidate :
         {LDir / "scaleprobe-sim", LDir / ".." / "tools" / "scaleprobe-sim" / "scaleprobe-sim",
          LDir / ".." / "tools" / "scaleprobe-sim"}) {
        std::error_code LError;
        if (std::filesystem::is_regular_file(LCandidate, LError) &&
            access(LCandidate.c_str(), X_OK) == 0)
            return std::filesystem::weakly_canonical(LCandidate, LError);
    }
    return {};
}

TSimulatorProcess::TSimulatorProcess(const std::filesystem::path& AProgram,
                                     const std::vector<std::string>& AArgs, uint32_t ATimeoutMs) {
    char LTemplate[] = "/tmp/scaleprobe-sim-XXXXXX";
    FOutput = mkostemp(LTemplate, O_CLOEXEC);
    if (FOutput < 0)
        throw Exception(u"cannot create the simulator's output file");
    // Only the open file is needed: nothing is left behind, however we end.
    unlink(LTemplate);

    std::vector<std::string> LArgs{AProgram.string()};
    LArgs.insert(LArgs.end(), AArgs.begin(), AArgs.end());
    std::vector<char*> LArgv;
    for (std::string& LArg : LArgs)
        LArgv.push_back(LArg.data());
    LArgv.push_back(nullptr);
    const std::string LPath = AProgram.string();
    const int LNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (LNull < 0) {
        close(FOutput);
        FOutput = -1;
        throw Exception(u"cannot open /dev/null");
    }

    // fork and exec rather than spawn: the child must ask for a signal when
    // we end before it runs the program. Between the two only
    // async-signal-safe calls.
    const pid_t LParent = getpid();
    const pid_t LPid = fork();
    if (LPid == 0) {
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != LParent)
            _exit(127);
        if (dup2(FOutput, STDOUT_FILENO) < 0 || dup2(LNull, STDIN_FILENO) < 0)
            _exit(127);
        execve(LPath.c_str(), LArgv.data(), environ);
        _exit(127);
    }
    close(LNull);
    if (LPid < 0) {
        close(FOutput);
        FOutput = -1;
        throw Exception(u"cannot start " + Utf8ToUnicode(LPath));
    }
    FPid = LPid;
    if (!ReadFirstLine(FOutput, FPid, ATimeoutMs, FPortPath) || FPortPath.empty()) {
        Stop();
        throw Exception(u"the simulator did not report its port");
    }
}

TSimulatorProcess::~TSimulatorProcess() {
    Stop();
}

namespace {
// Waits up to AMs for the child to end; true when it has (and is reaped).
bool WaitForChild(pid_t APid, int AMs, int& AStatus) {
    const int LPidFd = static_cast<int>(syscall(SYS_pidfd_open, APid, 0));
    const auto LDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(AMs);
    for (;;) {
        const pid_t LDone = waitpid(APid, &AStatus, WNOHANG);
        if (LDone == APid || (LDone < 0 && errno != EINTR)) {
            if (LPidFd >= 0)
                close(LPidFd);
            return true;
        }
        const auto LLeft = std::chrono::duration_cast<std::chrono::milliseconds>(
                               LDeadline - std::chrono::steady_clock::now())
                               .count();
        if (LLeft <= 0)
            break;
        // A pidfd becomes readable when the process ends; without one, look
        // again in short steps.
        pollfd LFd{LPidFd, POLLIN, 0};
        poll(LPidFd >= 0 ? &LFd : nullptr, LPidFd >= 0 ? 1 : 0,
             LPidFd >= 0 ? static_cast<int>(LLeft) : std::min<int>(static_cast<int>(LLeft), 20));
    }
    if (LPidFd >= 0)
        close(LPidFd);
    return false;
}
} // namespace

bool TSimulatorProcess::Stop() {
    bool LClean = true;
    if (FPid > 0) {
        kill(FPid, SIGTERM);
        int LStatus = 0;
        // One that ignores SIGTERM is killed after two seconds.
        if (!WaitForChild(FPid, CSimulatorStopMs, LStatus)) {
            kill(FPid, SIGKILL);
            while (waitpid(FPid, &LStatus, 0) < 0 && errno == EINTR) {
            }
        }
        LClean = (WIFEXITED(LStatus) && WEXITSTATUS(LStatus) == 0) ||
                 (WIFSIGNALED(LStatus) && WTERMSIG(LStatus) == SIGTERM);
        FPid = -1;
    }
    if (FOutput >= 0) {
        close(FOutput);
        FOutput = -1;
    }
    return LClean;
}

const char CSimulatorMissing[] = "scaleprobe-sim not found";

namespace {
// errno of the first write to standard output that failed; 0 while none
// has. Written and read on the main thread, the only one that writes there.
int GStdoutErrno = 0;

// Standard output's buffer: the bytes go to descriptor 1 as they are, at
// each flush and whenever the buffer is full; the first write that fails is
// remembered. A reader that went away is SIGPIPE's to tell.
class TStdoutBuf final : public std::streambuf {
public:
    TStdoutBuf() { setp(FBuffer, FBuffer + sizeof FBuffer); }
    ~TStdoutBuf() override { Drain(); }
    TStdoutBuf(const TStdoutBuf&) = delete;
    TStdoutBuf& operator=(const TStdoutBuf&) = delete;

protected:
    int_type overflow(int_type ACh) override {
        if (!Drain())
            return traits_type::eof();
        if (!traits_type::eq_int_type(ACh, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ACh);
            pbump(1);
        }
        return traits_type::not_eof(ACh);
    }
    int sync() override { return Drain() ? 0 : -1; }

private:
    bool Drain() {
        const char* LData = pbase();
        size_t LSize = static_cast<size_t>(pptr() - pbase());
        setp(FBuffer, FBuffer + sizeof FBuffer);
        while (LSize > 0) {
            const ssize_t LDone = ::write(STDOUT_FILENO, LData, LSize);
            if (LDone < 0 && errno == EINTR)
                continue;
            if (LDone <= 0) {
                if (GStdoutErrno == 0 && errno != EPIPE)
                    GStdoutErrno = LDone < 0 ? errno : EIO;
                return false;
            }
            LData += LDone;
            LSize -= static_cast<size_t>(LDone);
        }
        return true;
    }

    char FBuffer[4096];
};

// A closed standard stream gets /dev/null opened the other way, so that it
// still cannot be used and no file or port opened later takes its number
// (and the program's output with it).
void HoldClosedStreams() {
    for (const int LFd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (fcntl(LFd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        const int LNull = open("/dev/null", LFd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
        if (LNull >= 0 && LNull != LFd) {
            dup2(LNull, LFd);
            close(LNull);
        }
    }
}
} // namespace

struct TStandardStreams::TImpl {
    TStdoutBuf Out;
    std::streambuf* OldOut = nullptr;
};

TStandardStreams::TStandardStreams() {
    HoldClosedStreams();
    FImpl = std::make_unique<TImpl>();
    std::cout.flush();
    FImpl->OldOut = std::cout.rdbuf(&FImpl->Out);
}

TStandardStreams::~TStandardStreams() {
    std::cout.flush();
    std::cout.rdbuf(FImpl->OldOut);
}

bool StandardOutputWritten(std::string& AReason) {
    std::cout.flush();
    if (GStdoutErrno != 0)
        AReason = GStdoutErrno == EBADF ? "standard output is closed" : std::strerror(GStdoutErrno);
    else if (!std::cout && !Interrupted())
        AReason = "a write failed";
    else
        return true;
    return false;
}

void ShutDownDone(int) {}
