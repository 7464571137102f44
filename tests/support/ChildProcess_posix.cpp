// Children through posix_spawn or fork. Every pipe is close-on-exec, so
// that no other program started meanwhile holds one of its ends.
#include "ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
using TClock = std::chrono::steady_clock;

int MsLeft(TClock::time_point ADeadline) {
    const auto LLeft =
        std::chrono::duration_cast<std::chrono::milliseconds>(ADeadline - TClock::now()).count();
    return LLeft > 0 ? static_cast<int>(LLeft) : 0;
}

void CloseFd(int& AFd) {
    if (AFd >= 0)
        close(AFd);
    AFd = -1;
}

int ExitCodeOf(int AStatus) {
    return WIFEXITED(AStatus) ? WEXITSTATUS(AStatus) : 128 + WTERMSIG(AStatus);
}
} // namespace

// The child's ends (ChildFd) and this side's (OwnFd) of the three streams.
struct TChildProcess::TStreams {
    int ChildFd[3] = {-1, -1, -1};
    int OwnFd[3] = {-1, -1, -1};

    bool Open(const TChildOptions& AOptions) {
        const TChildStream LKinds[3] = {AOptions.Input, AOptions.Output, AOptions.Errors};
        for (int I = 0; I < 3; ++I) {
            const TChildStream LKind = LKinds[I];
            if (LKind == TChildStream::csOutput)
                ChildFd[I] = ChildFd[1];
            if (LKind == TChildStream::csNull &&
                (ChildFd[I] = open("/dev/null", (I == 0 ? O_RDONLY : O_WRONLY) | O_CLOEXEC)) < 0)
                return false;
            if (LKind != TChildStream::csPipe && LKind != TChildStream::csBroken)
                continue;
            int LPipe[2];
            if (pipe2(LPipe, O_CLOEXEC) != 0)
                return false;
            // An input pipe is read by the child; an output pipe written.
            ChildFd[I] = LPipe[I == 0 ? 0 : 1];
            OwnFd[I] = LPipe[I == 0 ? 1 : 0];
            if (LKind == TChildStream::csBroken)
                CloseFd(OwnFd[I]);
        }
        return true;
    }
    // In the parent once the child has its copies.
    void CloseChildEnds() {
        for (int I = 0; I < 3; ++I)
            if (ChildFd[I] >= 0 && (I != 2 || ChildFd[2] != ChildFd[1]))
                close(ChildFd[I]);
    }
    void CloseAll() {
        CloseChildEnds();
        for (int& LFd : OwnFd)
            CloseFd(LFd);
    }
    // In a forked child, which has no exec to close the pipes' other ends.
    void Apply() const {
        for (int I = 0; I < 3; ++I)
            if (ChildFd[I] >= 0)
                dup2(ChildFd[I], I);
        for (int I = 0; I < 3; ++I) {
            if (OwnFd[I] >= 0)
                close(OwnFd[I]);
            if (ChildFd[I] > 2 && (I != 2 || ChildFd[2] != ChildFd[1]))
                close(ChildFd[I]);
        }
    }
};

TChildProcess::~TChildProcess() {
    if (FPid > 0)
        Kill();
    CloseStreams();
}

// Opens the streams, lets ALaunch start the child on them (its id, or -1),
// and keeps this side's ends.
bool TChildProcess::Launch(const TChildOptions& AOptions,
                           const std::function<int(const TStreams&)>& ALaunch) {
    TStreams LStreams;
    const int LPid = FPid <= 0 && LStreams.Open(AOptions) ? ALaunch(LStreams) : -1;
    if (LPid <= 0) {
        LStreams.CloseAll();
        return false;
    }
    LStreams.CloseChildEnds();
    FPid = LPid;
    FInputFd = LStreams.OwnFd[0];
    FOutputFd = LStreams.OwnFd[1];
    FErrorsFd = LStreams.OwnFd[2];
    return true;
}

bool TChildProcess::Start(const std::string& AProgram, const std::vector<std::string>& AArgs,
                          const TChildOptions& AOptions) {
    return Launch(AOptions, [&](const TStreams& AStreams) {
        posix_spawn_file_actions_t LActions;
        posix_spawn_file_actions_init(&LActions);
        for (int I = 0; I < 3; ++I)
            if (AStreams.ChildFd[I] >= 0)
                posix_spawn_file_actions_adddup2(&LActions, AStreams.ChildFd[I], I);
        std::vector<std::string> LArgs{AProgram};
        LArgs.insert(LArgs.end(), AArgs.begin(), AArgs.end());
        std::vector<char*> LArgv;
        for (std::string& LArg : LArgs)
            LArgv.push_back(LArg.data());
        LArgv.push_back(nullptr);
        pid_t LPid = -1;
        const int LError =
            posix_spawn(&LPid, AProgram.c_str(), &LActions, nullptr, LArgv.data(), environ);
        posix_spawn_file_actions_destroy(&LActions);
        return LError == 0 ? LPid : -1;
    });
}

bool TChildProcess::Fork(const std::function<int()>& ABody, const TChildOptions& AOptions) {
    return Launch(AOptions, [&](const TStreams& AStreams) {
        const pid_t LPid = fork();
        if (LPid == 0) {
            AStreams.Apply();
            _exit(ABody());
        }
        return LPid;
    });
}

bool TChildProcess::Adopt(int APid) {
    if (FPid > 0 || APid <= 0 || kill(APid, 0) != 0)
        return false;
    FPid = APid;
    return true;
}

bool TChildProcess::ReadUntil(const std::function<bool()>& ADone, int ATimeoutMs) {
    const auto LDeadline = TClock::now() + std::chrono::milliseconds(ATimeoutMs);
    while (!(ADone && ADone()) && (FOutputFd >= 0 || FErrorsFd >= 0)) {
        const int LLeft = MsLeft(LDeadline);
        if (LLeft == 0 || !ReadReady(LLeft))
            return false;
    }
    return true;
}

bool TChildProcess::ReadReady(int ATimeoutMs) {
    pollfd LFds[2] = {{FOutputFd, POLLIN, 0}, {FErrorsFd, POLLIN, 0}};
    const int LReady = poll(LFds, 2, ATimeoutMs);
    if (LReady <= 0)
        return LReady < 0 && errno == EINTR;
    for (int I = 0; I < 2; ++I) {
        if (LFds[I].fd < 0 || !(LFds[I].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char LBuffer[4096];
        const ssize_t LRead = read(LFds[I].fd, LBuffer, sizeof LBuffer);
        if (LRead > 0)
            (I == 0 ? FOutput : FErrors).append(LBuffer, static_cast<size_t>(LRead));
        else if (LRead == 0 || errno != EINTR)
            CloseFd(I == 0 ? FOutputFd : FErrorsFd);
    }
    return true;
}

bool TChildProcess::WriteInput(const std::string& AData) {
    size_t LDone = 0;
    while (FInputFd >= 0 && LDone < AData.size()) {
        const ssize_t LPut = write(FInputFd, AData.data() + LDone, AData.size() - LDone);
        if (LPut <= 0)
            return false;
        LDone += static_cast<size_t>(LPut);
    }
    return FInputFd >= 0;
}

void TChildProcess::CloseInput() {
    CloseFd(FInputFd);
}

int TChildProcess::Wait(int ATimeoutMs) {
    if (FPid <= 0)
        return -1;
    const auto LDeadline = TClock::now() + std::chrono::milliseconds(ATimeoutMs);
    // A pidfd becomes readable when the child ends; without one, the end is
    // looked for every 10 ms.
    int LPidFd = static_cast<int>(syscall(SYS_pidfd_open, FPid, 0));
    int LStatus = 0;
    pid_t LDone = 0;
    while ((LDone = waitpid(FPid, &LStatus, WNOHANG)) == 0 && MsLeft(LDeadline) > 0) {
        pollfd LFds[3] = {{LPidFd, POLLIN, 0}, {FOutputFd, POLLIN, 0}, {FErrorsFd, POLLIN, 0}};
        const int LWaitMs = LPidFd < 0 ? std::min(10, MsLeft(LDeadline)) : MsLeft(LDeadline);
        if (poll(LFds, 3, LWaitMs) > 0 && (LFds[1].revents | LFds[2].revents))
            ReadReady(0);
    }
    CloseFd(LPidFd);
    if (LDone != FPid) {
        Kill();
        return -1;
    }
    FPid = -1;
    FEndSignal = WIFSIGNALED(LStatus) ? WTERMSIG(LStatus) : 0;
    // What is in the pipes now; a grandchild may hold them open.
    while ((FOutputFd >= 0 || FErrorsFd >= 0) && ReadReady(0)) {
    }
    return ExitCodeOf(LStatus);
}

bool TChildProcess::Signal(int ASignal) {
    return FPid > 0 && kill(FPid, ASignal) == 0;
}

int TChildProcess::Stop(int ASignal, int ATimeoutMs) {
    Signal(ASignal);
    return Wait(ATimeoutMs);
}

void TChildProcess::Kill() {
    if (FPid <= 0)
        return;
    kill(FPid, SIGKILL);
    while (waitpid(FPid, nullptr, 0) < 0 && errno == EINTR) {
    }
    FPid = -1;
}

bool TChildProcess::Pause() {
    int LStatus = 0;
    return Signal(SIGSTOP) && waitpid(FPid, &LStatus, WUNTRACED) == FPid && WIFSTOPPED(LStatus);
}

bool TChildProcess::Resume() {
    return Signal(SIGCONT);
}

void TChildProcess::CloseStreams() {
    CloseFd(FInputFd);
    CloseFd(FOutputFd);
    CloseFd(FErrorsFd);
}
