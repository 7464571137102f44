#include "SimProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

std::string SimExecutable() {
    return SCALEPROBE_SIM_PATH;
}

TSimProcess::TSimProcess(const std::vector<std::string>& AArgs, int ATimeoutMs) {
    int LPipe[2];
    if (pipe(LPipe) != 0)
        throw std::runtime_error("pipe");
    char LErrName[] = "/tmp/sp-sim-err-XXXXXX";
    const int LErrFd = mkstemp(LErrName);
    FErrFile = LErrName;
    posix_spawn_file_actions_t LActions;
    posix_spawn_file_actions_init(&LActions);
    posix_spawn_file_actions_adddup2(&LActions, LPipe[1], 1);
    posix_spawn_file_actions_adddup2(&LActions, LErrFd, 2);
    posix_spawn_file_actions_addclose(&LActions, LPipe[0]);
    std::vector<std::string> LArgs{SimExecutable()};
    LArgs.insert(LArgs.end(), AArgs.begin(), AArgs.end());
    std::vector<char*> LArgv;
    for (auto& LArg : LArgs)
        LArgv.push_back(LArg.data());
    LArgv.push_back(nullptr);
    pid_t LPid = -1;
    const int LErr = posix_spawn(&LPid, LArgv[0], &LActions, nullptr, LArgv.data(), environ);
    posix_spawn_file_actions_destroy(&LActions);
    close(LPipe[1]);
    close(LErrFd);
    FOutFd = LPipe[0];
    if (LErr != 0)
        throw std::runtime_error("cannot start " + SimExecutable());
    FPid = LPid;
    // The first line of standard output is the port path.
    const auto LDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeoutMs);
    std::string LLine;
    while (LLine.find('\n') == std::string::npos) {
        const auto LLeft = std::chrono::duration_cast<std::chrono::milliseconds>(
                               LDeadline - std::chrono::steady_clock::now())
                               .count();
        struct pollfd LPoll {
            FOutFd, POLLIN, 0
        };
        char LChunk[256];
        if (LLeft <= 0 || poll(&LPoll, 1, static_cast<int>(LLeft)) <= 0)
            break;
        const ssize_t LGot = read(FOutFd, LChunk, sizeof LChunk);
        if (LGot <= 0)
            break;
        LLine.append(LChunk, static_cast<size_t>(LGot));
    }
    if (LLine.find('\n') == std::string::npos) {
        Stop(SIGKILL);
        throw std::runtime_error("simulator printed no port: " + ErrorOutput());
    }
    FPortPath = LLine.substr(0, LLine.find('\n'));
}

TSimProcess::~TSimProcess() {
    if (FPid > 0)
        Stop(SIGTERM);
    if (FOutFd >= 0)
        close(FOutFd);
    if (!FErrFile.empty())
        unlink(FErrFile.c_str());
}

int TSimProcess::Wait(int ATimeoutMs) {
    if (FPid <= 0)
        return -1;
    // A pidfd becomes readable when the child ends.
    const int LPidFd = static_cast<int>(syscall(SYS_pidfd_open, FPid, 0));
    if (LPidFd >= 0) {
        struct pollfd LPoll {
            LPidFd, POLLIN, 0
        };
        poll(&LPoll, 1, ATimeoutMs);
        close(LPidFd);
    }
    int LStatus = 0;
    if (waitpid(FPid, &LStatus, WNOHANG) != FPid) {
        kill(FPid, SIGKILL);
        waitpid(FPid, &LStatus, 0);
        FPid = -1;
        return -1;
    }
    FPid = -1;
    return WIFEXITED(LStatus) ? WEXITSTATUS(LStatus) : 128 + WTERMSIG(LStatus);
}

int TSimProcess::Stop(int ASignal, int ATimeoutMs) {
    if (FPid <= 0)
        return -1;
    kill(FPid, ASignal);
    return Wait(ATimeoutMs);
}

std::string TSimProcess::ErrorOutput() const {
    std::ifstream LIn(FErrFile);
    std::stringstream LText;
    LText << LIn.rdbuf();
    return LText.str();
}
