// --all-ports against one port's search: scaleprobe-cli in real time, once on
// a silent pseudo-terminal alone, once on every port of the list at the same
// time: four simulators (two protocols, four rates), the same silent port, a
// port another program holds, and whatever serial ports the machine has.
// The goal: the run of all ports within 10 % of the one port's.
#include "app/Console.h"
#include "platform/VirtualPorts.h"
#include "tests/support/Pty.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

namespace {
namespace fs = std::filesystem;

// Seconds scaleprobe-cli takes with AArgs; its output is thrown away.
double RunCli(const std::vector<std::string>& AArgs, int& AExit) {
    std::vector<std::string> LArgs{SP_CLI_PATH};
    LArgs.insert(LArgs.end(), AArgs.begin(), AArgs.end());
    std::vector<char*> LArgv;
    for (std::string& LArg : LArgs)
        LArgv.push_back(LArg.data());
    LArgv.push_back(nullptr);
    posix_spawn_file_actions_t LActions;
    posix_spawn_file_actions_init(&LActions);
    posix_spawn_file_actions_addopen(&LActions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&LActions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto LStart = std::chrono::steady_clock::now();
    pid_t LPid = -1;
    AExit = -1;
    if (posix_spawn(&LPid, SP_CLI_PATH, &LActions, nullptr, LArgv.data(), environ) == 0) {
        int LStatus = 0;
        waitpid(LPid, &LStatus, 0);
        AExit = WIFEXITED(LStatus) ? WEXITSTATUS(LStatus) : -1;
    }
    posix_spawn_file_actions_destroy(&LActions);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - LStart).count();
}

void BM_AllPortsAgainstOnePort(benchmark::State& AState) {
    const bool LExtended = AState.range(0) != 0;
    // The simulators announce their ports in a folder of this run's own.
    const fs::path LPortsDir =
        fs::temp_directory_path() / ("sp-bench-ports-" + std::to_string(getpid()));
    fs::create_directories(LPortsDir);
    setenv("SCALEPROBE_PORTS_DIR", LPortsDir.c_str(), 1);
    const std::vector<std::vector<std::string>> LIndicators = {
        {"--protocol", "keli", "--baud", "9600"},
        {"--protocol", "keli", "--baud", "19200"},
        {"--protocol", "xk3168", "--baud", "1200", "--stop-bits", "2"},
        {"--protocol", "xk3168", "--baud", "4800", "--stop-bits", "2"},
    };
    std::vector<std::unique_ptr<TSimulatorProcess>> LSims;
    for (const auto& LArgs : LIndicators)
        LSims.push_back(std::make_unique<TSimulatorProcess>(SP_SIM_PATH, LArgs, 10000));
    TPty LSilent, LBusy;
    const int LHolder = open(LBusy.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (LSilent.SlavePath().empty() || LHolder < 0 || flock(LHolder, LOCK_EX | LOCK_NB) != 0) {
        AState.SkipWithError("no pseudo-terminal");
        return;
    }
    AnnounceVirtualPort(Utf8ToUnicode(LSilent.SlavePath()));
    AnnounceVirtualPort(Utf8ToUnicode(LBusy.SlavePath()));
    std::vector<std::string> LOne{"--port", LSilent.SlavePath()}, LAll{"--all-ports"};
    if (LExtended) {
        LOne.push_back("--extended");
        LAll.push_back("--extended");
    }
    for (auto _ : AState) {
        int LOneExit = -1, LAllExit = -1;
        const double LOneSeconds = RunCli(LOne, LOneExit);
        const double LAllSeconds = RunCli(LAll, LAllExit);
        if (LOneExit != 1 || LAllExit != 0)
            AState.SkipWithError("unexpected exit status");
        AState.counters["one_port_s"] = LOneSeconds;
        AState.counters["all_ports_s"] = LAllSeconds;
        AState.counters["all_vs_one"] = LAllSeconds / LOneSeconds;
        AState.counters["ports"] = static_cast<double>(ListVirtualPorts().size());
    }
    WithdrawVirtualPort(Utf8ToUnicode(LSilent.SlavePath()));
    WithdrawVirtualPort(Utf8ToUnicode(LBusy.SlavePath()));
    close(LHolder);
    LSims.clear();
    fs::remove_all(LPortsDir);
}
BENCHMARK(BM_AllPortsAgainstOnePort)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
