#include "app/Console.h"

#include "platform/Object.h"
#include "platform/System.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

extern char** environ;

namespace {
volatile std::sig_atomic_t GInterrupted = 0;

void OnInterrupt(int) {
    GInterrupted = 1;
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
        if (std::chrono::steady_clock::now() >= LDeadline)
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
    struct sigaction LAction {};
    LAction.sa_handler = OnInterrupt;
    sigemptyset(&LAction.sa_mask);
    sigaction(SIGINT, &LAction, nullptr);
    sigaction(SIGTERM, &LAction, nullptr);
}

bool Interrupted() {
    return GInterrupted != 0;
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
    FOutput = mkstemp(LTemplate);
    if (FOutput < 0)
        throw Exception(u"cannot create the simulator's output file");
    FOutputFile = LTemplate;

    std::vector<std::string> LArgs{AProgram.string()};
    LArgs.insert(LArgs.end(), AArgs.begin(), AArgs.end());
    std::vector<char*> LArgv;
    for (std::string& LArg : LArgs)
        LArgv.push_back(LArg.data());
    LArgv.push_back(nullptr);

    posix_spawn_file_actions_t LActions;
    posix_spawn_file_actions_init(&LActions);
    posix_spawn_file_actions_adddup2(&LActions, FOutput, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&LActions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t LPid = -1;
    const int LError =
        posix_spawn(&LPid, AProgram.c_str(), &LActions, nullptr, LArgv.data(), environ);
    posix_spawn_file_actions_destroy(&LActions);
    if (LError != 0) {
        close(FOutput);
        std::filesystem::remove(FOutputFile);
        throw Exception(u"cannot start " + Utf8ToUnicode(AProgram.string()));
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

bool TSimulatorProcess::Stop() {
    bool LClean = true;
    if (FPid > 0) {
        kill(FPid, SIGTERM);
        int LStatus = 0;
        while (waitpid(FPid, &LStatus, 0) < 0 && errno == EINTR) {
        }
        LClean = (WIFEXITED(LStatus) && WEXITSTATUS(LStatus) == 0) ||
                 (WIFSIGNALED(LStatus) && WTERMSIG(LStatus) == SIGTERM);
        FPid = -1;
    }
    if (FOutput >= 0) {
        close(FOutput);
        FOutput = -1;
        std::error_code LError;
        std::filesystem::remove(FOutputFile, LError);
    }
    return LClean;
}
