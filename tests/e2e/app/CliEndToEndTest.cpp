// scaleprobe-cli in real time against scaleprobe-sim: each protocol at its
// standard setting and at one rate of the test phase, a port where nothing
// answers, bad usage; the transcript, the exit status and the run's log.
#include "capture/LineCapture.h"
#include "platform/VirtualPorts.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Pty.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/SimProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {
namespace fs = std::filesystem;

// The program as this test process runs it: a copy of its own, beside a
// link to the simulator, so that the log beside it is this process's alone
// (the suite runs several of these processes at once).
fs::path GCli = SP_CLI_PATH;
fs::path CliLogDir() {
    return GCli.parent_path() / "log";
}

const std::string CFirst = "尝试第一种通讯协议(适应于宁波柯力系列以及上海耀华系列等)";
const std::string CSecond = "尝试第二种通讯协议(适应与聊城昌信等)";

struct TRun {
    int Exit = -1;
    std::vector<std::string> Out;
    std::string Err;
};

std::vector<std::string> SplitLines(const std::string& AText) {
    std::vector<std::string> LLines;
    std::istringstream LIn(AText);
    for (std::string L; std::getline(LIn, L);)
        LLines.push_back(L);
    return LLines;
}

// The lines of the newest log file under ALogDir (none when there is none).
std::vector<std::string> NewestLogLines(const fs::path& ALogDir) {
    fs::path LNewest;
    std::error_code LError;
    for (const auto& E : fs::recursive_directory_iterator(ALogDir, LError))
        if (E.is_regular_file() &&
            (LNewest.empty() || E.last_write_time() > fs::last_write_time(LNewest)))
            LNewest = E.path();
    if (LNewest.empty())
        return {};
    return SplitLines(ReadWholeFile(LNewest));
}

// Runs the program with AArgs; collects both outputs; gives up (and kills
// it) after ATimeoutS seconds.
// AOnOutput, when given, sees the child and its standard output so far after
// each read.
using TOnOutput = std::function<void(TChildProcess&, const std::string&)>;
TRun RunProgram(const std::string& AProgram, const std::vector<std::string>& AArgs,
                int ATimeoutS = 120, const TOnOutput& AOnOutput = nullptr) {
    TRun LRun;
    TChildProcess LCli;
    if (!LCli.Start(AProgram, AArgs,
                    {TChildStream::csInherit, TChildStream::csPipe, TChildStream::csPipe})) {
        ADD_FAILURE() << "cannot start " << AProgram;
        return LRun;
    }
    const bool LEnded = LCli.ReadUntil(
        [&] {
            if (AOnOutput)
                AOnOutput(LCli, LCli.Output());
            return false;
        },
        ATimeoutS * 1000);
    if (!LEnded) {
        ADD_FAILURE() << AProgram << " did not end within " << ATimeoutS << " s";
        LCli.Signal(SIGKILL);
    }
    LRun.Exit = LCli.Wait(ATimeoutS * 1000);
    LRun.Out = SplitLines(LCli.Output());
    LRun.Err = LCli.Errors();
    return LRun;
}

TRun RunCli(const std::vector<std::string>& AArgs, int ATimeoutS = 120,
            const TOnOutput& AOnOutput = nullptr) {
    return RunProgram(GCli.string(), AArgs, ATimeoutS, AOnOutput);
}

// The transcript: trials of four lines each, then the end's four lines.
struct TTrialLine {
    std::string Protocol;
    std::string Port;
    int Rate;
};

std::vector<TTrialLine> TrialsOf(const std::vector<std::string>& ALines) {
    std::vector<TTrialLine> LTrials;
    for (size_t I = 0; I + 3 < ALines.size(); ++I) {
        if (ALines[I] != "" || ALines[I + 1] != "----------------------------")
            continue;
        const std::string& LCfg = ALines[I + 3];
        const size_t LSep = LCfg.rfind(" - 波特率: ");
        if (LSep == std::string::npos)
            continue;
        LTrials.push_back({ALines[I + 2], LCfg.substr(0, LSep),
                           std::stoi(LCfg.substr(LSep + std::string(" - 波特率: ").size()))});
    }
    return LTrials;
}

class CliEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Announced ports of this run only, and texts in UTF-8.
        Ports = std::make_unique<TScratchDir>("scaleprobe-e2e-ports");
        PortsDir = Ports->Path();
        setenv("SCALEPROBE_PORTS_DIR", PortsDir.c_str(), 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        Bin = std::make_unique<TScratchDir>("scaleprobe-e2e-bin");
        GCli = *Bin / "scaleprobe-cli";
        fs::copy_file(SP_CLI_PATH, GCli);
        fs::create_symlink(SP_SIM_PATH, *Bin / "scaleprobe-sim");
    }
    static void TearDownTestSuite() {
        GCli = SP_CLI_PATH;
        Bin.reset();
        Ports.reset();
    }

    // Searches the simulator playing ASpec; expects success.
    void ExpectFound(const std::string& ASpec, const std::string& AProtocol, int ARate,
                     size_t ATrial) {
        const TRun LRun = RunCli({"--simulate", ASpec});
        EXPECT_EQ(LRun.Exit, 0) << LRun.Err;
        const auto LTrials = TrialsOf(LRun.Out);
        ASSERT_EQ(LTrials.size(), ATrial) << LRun.Err;
        EXPECT_EQ(LTrials.back().Protocol, AProtocol);
        EXPECT_EQ(LTrials.back().Rate, ARate);
        ASSERT_GE(LRun.Out.size(), 4u);
        const std::vector<std::string> LEnd(LRun.Out.end() - 4, LRun.Out.end());
        EXPECT_EQ(LEnd[0], "");
        EXPECT_EQ(LEnd[1], "");
        EXPECT_EQ(LEnd[2], "~~~~~~~~~~~~~~~~");
        const std::string LHead = "找到了, 成功读取数据： ";
        ASSERT_EQ(LEnd[3].rfind(LHead, 0), 0u) << LEnd[3];
        EXPECT_GE(std::stoi(LEnd[3].substr(LHead.size())), 4);
        EXPECT_EQ(LEnd[3].substr(LEnd[3].size() - 4), " 次");
        EXPECT_NE(LRun.Err.find("找到仪表\n"), std::string::npos) << LRun.Err;
        // Only transcript lines on standard output: 4 per trial, 4 at the end.
        EXPECT_EQ(LRun.Out.size(), 4 * ATrial + 4);
    }

    static inline std::unique_ptr<TScratchDir> Ports, Bin;
    static inline fs::path PortsDir;
};

TEST_F(CliEndToEnd, FindsTheFirstProtocolAtItsStandardSetting) {
    ExpectFound("keli:9600", CFirst, 9600, 1);
}

TEST_F(CliEndToEnd, FindsTheSecondProtocolAtItsStandardSetting) {
    ExpectFound("xk3168:4800:2", CSecond, 4800, 2);
}

TEST_F(CliEndToEnd, FindsTheFirstProtocolInTheTestPhase) {
    // 9600 is skipped in the test phase: 19200 is its fifth trial.
    ExpectFound("keli:19200", CFirst, 19200, 7);
}

TEST_F(CliEndToEnd, FindsTheSecondProtocolInTheTestPhase) {
    ExpectFound("xk3168:19200:2", CSecond, 19200, 12);
}

TEST_F(CliEndToEnd, SilentPortEndsWithoutAnInstrumentAndTheLogIsFramedByItsBanners) {
    TPty LPty;
    ASSERT_TRUE(LPty.IsOpen());
    const std::string LSlave = LPty.SlavePath();

    const fs::path LLogDir = CliLogDir();
    const TRun LRun = RunCli({"--port", LSlave});
    LPty.CloseMaster();
    EXPECT_EQ(LRun.Exit, 1) << LRun.Err;
    const auto LTrials = TrialsOf(LRun.Out);
    ASSERT_EQ(LTrials.size(), 12u);
    for (const auto& LTrial : LTrials)
        EXPECT_EQ(LTrial.Port, LSlave);
    const std::vector<int> LRates{9600,  4800, 600,  1200, 2400, 4800,
                                  19200, 600,  1200, 2400, 9600, 19200};
    for (size_t I = 0; I < LTrials.size(); ++I) {
        EXPECT_EQ(LTrials[I].Rate, LRates[I]) << I;
        EXPECT_EQ(LTrials[I].Protocol, (I == 0 || (I >= 2 && I < 7)) ? CFirst : CSecond) << I;
    }
    // The window's end, then whether anything arrived at all.
    ASSERT_EQ(LRun.Out.size(), 12u * 4 + 4 + 1);
    EXPECT_EQ(LRun.Out.end()[-2], "自动搜索完毕, 没有找到适配的仪表");
    EXPECT_EQ(LRun.Out.back(), "no bytes arrived in any trial");
    EXPECT_EQ(LRun.Err, "自动搜索完毕, 没有找到适配的仪表\n");

    // The newest log file; this run's part of it starts with the start
    // banner and ends with the exit banner.
    const std::vector<std::string> LLines = NewestLogLines(LLogDir);
    ASSERT_FALSE(LLines.empty()) << "no log under " << LLogDir;
    size_t LStart = LLines.size();
    for (size_t I = LLines.size(); I-- > 0;)
        if (LLines[I].find("启动软件") != std::string::npos) {
            LStart = I;
            break;
        }
    ASSERT_LT(LStart, LLines.size()) << "no start banner under " << LLogDir;
    EXPECT_EQ(LLines[LStart].rfind("[Info][", 0), 0u) << LLines[LStart];
    EXPECT_NE(LLines.back().find("退出软件"), std::string::npos) << LLines.back();
    EXPECT_EQ(LLines.back().find('['), std::string::npos) << "the exit banner is written bare";
    for (size_t I = LStart + 1; I + 1 < LLines.size(); ++I)
        EXPECT_EQ(LLines[I].find("启动软件"), std::string::npos) << I;
}

TEST_F(CliEndToEnd, BadUsageGivesTheUsageText) {
    for (const std::vector<std::string>& LArgs :
         std::vector<std::vector<std::string>>{{"--bogus"}, {"--simulate", "modbus:9600"}}) {
        const TRun LRun = RunCli(LArgs, 30);
        EXPECT_EQ(LRun.Exit, 64);
        EXPECT_TRUE(LRun.Out.empty());
        EXPECT_NE(LRun.Err.find("usage: scaleprobe-cli"), std::string::npos);
    }
}

TEST_F(CliEndToEnd, HelpPrintsTheUsageAndSucceeds) {
    const TRun LRun = RunCli({"--help"}, 30);
    EXPECT_EQ(LRun.Exit, 0);
    ASSERT_FALSE(LRun.Out.empty());
    EXPECT_EQ(LRun.Out[0].rfind("usage: scaleprobe-cli", 0), 0u);
    EXPECT_TRUE(LRun.Err.empty()) << LRun.Err;
    const TRun LBad = RunCli({"--prot", "/dev/ttyS0"}, 30);
    EXPECT_EQ(LBad.Exit, 64);
    EXPECT_NE(LBad.Err.find("'--prot'"), std::string::npos) << LBad.Err;
}

TEST_F(CliEndToEnd, InterruptedSearchEndsAtOnceWithTheSignalsCode) {
    // Nobody answers on it: a search there runs for a minute.
    const TPty LPort;
    for (const int LSignal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        bool LSent = false;
        std::chrono::steady_clock::time_point LSentAt;
        // The signal goes once the first trial has started.
        const TRun LRun = RunCli({"--port", LPort.SlavePath()}, 30,
                                 [&](TChildProcess& ACli, const std::string& AOut) {
                                     if (!LSent && AOut.find(" - 波特率: ") != std::string::npos) {
                                         LSent = true;
                                         LSentAt = std::chrono::steady_clock::now();
                                         ACli.Signal(LSignal);
                                     }
                                 });
        ASSERT_TRUE(LSent) << LRun.Err;
        EXPECT_LT(std::chrono::steady_clock::now() - LSentAt, std::chrono::seconds(5));
        EXPECT_EQ(LRun.Exit, 128 + LSignal) << LRun.Err;
        EXPECT_NE(LRun.Err.find("interrupted"), std::string::npos) << LRun.Err;
        EXPECT_EQ(LRun.Err.find("没有找到"), std::string::npos) << LRun.Err;
    }
    // The log of the last run ends with its exit banner.
    const fs::path LLogDir = CliLogDir();
    const std::vector<std::string> LLines = NewestLogLines(LLogDir);
    ASSERT_FALSE(LLines.empty()) << "no log under " << LLogDir;
    EXPECT_NE(LLines.back().find("退出软件"), std::string::npos) << LLines.back();
}

TEST_F(CliEndToEnd, ClosedOutputPipeEndsTheSearchWithThePipesCode) {
    // Nobody answers on it: a search there runs for a minute.
    const TPty LPort;
    // Nobody reads standard output: its first line meets a closed pipe.
    TChildProcess LCli;
    ASSERT_TRUE(
        LCli.Start(GCli.string(), {"--port", LPort.SlavePath()},
                   {TChildStream::csInherit, TChildStream::csBroken, TChildStream::csPipe}));
    if (!LCli.ReadUntil({}, 30000)) {
        ADD_FAILURE() << "scaleprobe-cli did not end";
        LCli.Signal(SIGKILL);
    }
    EXPECT_EQ(LCli.Wait(), 128 + SIGPIPE) << LCli.Errors();
    ASSERT_EQ(LCli.EndSignal(), 0) << "killed by the signal";
    EXPECT_NE(LCli.Errors().find("interrupted"), std::string::npos) << LCli.Errors();
}

TEST_F(CliEndToEnd, PortThatCannotBeOpenedEndsAtOnceWithItsReason) {
    const fs::path LDir = PortsDir / "not-ports";
    fs::create_directories(LDir);
    const fs::path LFifo = LDir / "fifo", LFile = LDir / "file";
    ASSERT_EQ(mkfifo(LFifo.c_str(), 0600), 0);
    std::ofstream(LFile) << "x";
    const TPty LLocked, LExclusive;
    // Held by another program: its advisory lock, or the exclusive-use flag
    // (which root could open through).
    const int LLockFd = open(LLocked.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(LLockFd, 0);
    ASSERT_EQ(flock(LLockFd, LOCK_EX | LOCK_NB), 0);
    const int LExclFd = open(LExclusive.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(LExclFd, 0);
    ASSERT_EQ(ioctl(LExclFd, TIOCEXCL), 0);
    const std::vector<std::pair<std::string, std::string>> LCases{
        {(LDir / "missing").string(), "No such file or directory"},
        {LDir.string(), "directory"},
        {LFifo.string(), "FIFO"},
        {LFile.string(), "not a character device"},
        {"/dev/null", "not a terminal"},
        {LLocked.SlavePath(), "another program"},
        {LExclusive.SlavePath(), "another program"},
    };
    for (const auto& [LPath, LReason] : LCases) {
        const auto LStart = std::chrono::steady_clock::now();
        const TRun LRun = RunCli({"--port", LPath}, 30);
        EXPECT_LT(std::chrono::steady_clock::now() - LStart, std::chrono::seconds(10)) << LPath;
        EXPECT_EQ(LRun.Exit, 2) << LPath << ": " << LRun.Err;
        EXPECT_TRUE(LRun.Out.empty()) << LPath;
        EXPECT_NE(LRun.Err.find("cannot open " + LPath + ": "), std::string::npos) << LRun.Err;
        EXPECT_NE(LRun.Err.find(LReason), std::string::npos) << LRun.Err;
    }
    close(LLockFd);
    close(LExclFd);
}

// Whether the process is gone (a zombie nobody reaps counts as gone).
bool ProcessGone(pid_t APid) {
    std::ifstream LStat("/proc/" + std::to_string(APid) + "/stat");
    std::string LLine;
    if (!std::getline(LStat, LLine))
        return true;
    const size_t LParen = LLine.rfind(')');
    return LParen != std::string::npos && LParen + 2 < LLine.size() && LLine[LParen + 2] == 'Z';
}

TEST_F(CliEndToEnd, KilledFrontEndLeavesNoSimulatorBehind) {
    pid_t LSim = 0;
    fs::path LRecord;
    const TRun LRun = RunCli({"--simulate", "keli:9600", "--watch"}, 60,
                             [&](TChildProcess& ACli, const std::string& AOut) {
                                 if (LSim != 0 || AOut.find("找到了") == std::string::npos)
                                     return;
                                 std::error_code LError;
                                 for (const auto& E : fs::directory_iterator(PortsDir, LError))
                                     if (E.path().extension() == ".port") {
                                         LRecord = E.path();
                                         LSim = std::stoi(E.path().filename().string());
                                     }
                                 ACli.Signal(SIGKILL);
                             });
    ASSERT_NE(LSim, 0) << LRun.Err;
    EXPECT_EQ(LRun.Exit, 128 + SIGKILL);
    const auto LDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < LDeadline &&
           (!ProcessGone(LSim) || fs::exists(LRecord)))
        poll(nullptr, 0, 50);
    EXPECT_TRUE(ProcessGone(LSim)) << "simulator " << LSim << " still runs";
    EXPECT_FALSE(fs::exists(LRecord)) << LRecord;
    if (!ProcessGone(LSim))
        kill(LSim, SIGKILL);
}

} // namespace

namespace {
nlohmann::json JsonOf(const TRun& ARun) {
    std::string LText;
    for (const std::string& LLine : ARun.Out)
        LText += LLine + "\n";
    // Throws, failing the test, unless standard output is one document.
    return nlohmann::json::parse(LText);
}
} // namespace

TEST_F(CliEndToEnd, JsonDocumentOfAFindOfNoneAndOfErrors) {
    const TRun LFound = RunCli({"--simulate", "xk3168:4800:2", "--json"});
    EXPECT_EQ(LFound.Exit, 0) << LFound.Err;
    const nlohmann::json LDoc = JsonOf(LFound);
    EXPECT_EQ(LDoc["found"], true);
    EXPECT_EQ(LDoc["protocol"], "xk3168");
    EXPECT_EQ(LDoc["baud_rate"], 4800);
    EXPECT_EQ(LDoc["stop_bits"], 2);
    EXPECT_EQ(LDoc["parity"], "none");
    EXPECT_EQ(LDoc["trial"], 2);
    EXPECT_GE(LDoc["weights_read"].get<int>(), 4);
    EXPECT_EQ(LDoc["last_weight"], 1000);
    ASSERT_EQ(LDoc["trials"].size(), 2u);
    EXPECT_EQ(LDoc["trials"][0]["protocol"], "keli");
    EXPECT_EQ(LDoc["trials"][0]["weights_read"], 0);
    EXPECT_GE(LDoc["trials"][1]["milliseconds"].get<int>(), 1000);
    // The transcript went to standard error.
    EXPECT_NE(LFound.Err.find(CSecond), std::string::npos);

    // Faster than the standard table: nothing found, exit 1, twelve trials.
    const TRun LNone = RunCli({"--simulate", "keli:57600", "--json"});
    EXPECT_EQ(LNone.Exit, 1) << LNone.Err;
    const nlohmann::json LNoDoc = JsonOf(LNone);
    EXPECT_EQ(LNoDoc["found"], false);
    EXPECT_EQ(LNoDoc["exit_code"], 1);
    EXPECT_FALSE(LNoDoc.contains("protocol"));
    EXPECT_EQ(LNoDoc["trials"].size(), 12u);

    const TRun LUsage = RunCli({"--json", "--bogus"}, 30);
    EXPECT_EQ(LUsage.Exit, 64);
    EXPECT_EQ(JsonOf(LUsage)["error"]["code"], "usage");
    const TRun LNoPort = RunCli({"--json", "--port", "/nonexistent/ttyS9"}, 30);
    EXPECT_EQ(LNoPort.Exit, 2);
    EXPECT_EQ(JsonOf(LNoPort)["error"]["code"], "port");
}

TEST_F(CliEndToEnd, SaveWritesTheFoundSettingsIntoTheInstallationsFile) {
    const TScratchDir LDir("sp-save");
    const fs::path LIni = LDir.Write("site.INI", "; weighbridge 2\n[CommConfig]\nCommName=COM1\n"
                                                 "BaudRate=9600\nReadIntervalTimeout=500\n");
    const TRun LRun = RunCli({"--simulate", "keli:19200", "--save", LIni.string()});
    EXPECT_EQ(LRun.Exit, 0) << LRun.Err;
    const std::string LSaved = ReadWholeFile(LIni);
    const std::string LPort = TrialsOf(LRun.Out).empty() ? "" : TrialsOf(LRun.Out).back().Port;
    EXPECT_EQ(LSaved, "; weighbridge 2\n[CommConfig]\nCommName=" + LPort +
                          "\nBaudRate=19200\nReadIntervalTimeout=500\nStopBits=0\nProtocol=keli\n");

    // A file that cannot be written: exit 2 with the reason.
    const TRun LFail =
        RunCli({"--simulate", "keli:9600", "--save", (LDir / "absent" / "x.INI").string()});
    EXPECT_EQ(LFail.Exit, 2);
    EXPECT_NE(LFail.Err.find("absent"), std::string::npos) << LFail.Err;
}

TEST_F(CliEndToEnd, ExtendedSearchGoesOnWhereTheStandardOneEnds) {
    const TRun LRun = RunCli({"--simulate", "keli:57600", "--extended", "--json"}, 180);
    EXPECT_EQ(LRun.Exit, 0) << LRun.Err;
    const nlohmann::json LDoc = JsonOf(LRun);
    // Twelve standard trials, then the first protocol at 300, 38400, 57600.
    EXPECT_EQ(LDoc["trial"], 15);
    EXPECT_EQ(LDoc["baud_rate"], 57600);
    ASSERT_EQ(LDoc["trials"].size(), 15u);
    EXPECT_EQ(LDoc["trials"][11]["extended"], false);
    EXPECT_EQ(LDoc["trials"][12]["extended"], true);
    EXPECT_EQ(LDoc["trials"][12]["baud_rate"], 300);
    EXPECT_NE(LRun.Err.find("扩展搜索"), std::string::npos);

    // A seven-bit ASCII indicator: after both binary protocols' four rates
    // and both continuous formats' ten, the ninth ASCII rate; named by the
    // framing it sent.
    const TRun LAscii = RunCli({"--simulate", "ascii:57600:7E1", "--extended", "--json"}, 240);
    EXPECT_EQ(LAscii.Exit, 0) << LAscii.Err;
    const nlohmann::json LAsciiDoc = JsonOf(LAscii);
    EXPECT_EQ(LAsciiDoc["trial"], 49);
    EXPECT_EQ(LAsciiDoc["protocol"], "ascii");
    EXPECT_EQ(LAsciiDoc["baud_rate"], 57600);
    EXPECT_EQ(LAsciiDoc["data_bits"], 7);
    EXPECT_EQ(LAsciiDoc["parity"], "even");
    EXPECT_NE(LAscii.Err.find("数据格式: 7E1"), std::string::npos);
}

// An indicator whose check is computed otherwise: no find, and both the JSON
// and standard error say how many frames were whole but for their check.
TEST_F(CliEndToEnd, FramesRefusedForTheirCheckAreCountedAndSaid) {
    TSimProcess LSim({"--protocol", "keli", "--baud", "9600", "--bad-check", "--no-announce"});
    const TRun LRun = RunCli({"--port", LSim.PortPath(), "--json"});
    EXPECT_EQ(LRun.Exit, 1) << LRun.Err;
    const nlohmann::json LDoc = JsonOf(LRun);
    ASSERT_EQ(LDoc["trials"].size(), 12u);
    // Some 80 frames in the trial; a loaded machine (a CI run got 36) hands
    // over fewer, and the count is the point.
    EXPECT_GT(LDoc["trials"][0]["check_refused"].get<int>(), 10);
    EXPECT_EQ(LDoc["trials"][0]["weights_read"], 0);
    EXPECT_EQ(LDoc["trials"][1]["check_refused"], 0);
    EXPECT_NE(LRun.Err.find("scaleprobe-cli: trial 1 (keli, " + LSim.PortPath() + ", 9600 baud): "),
              std::string::npos)
        << LRun.Err;
    EXPECT_NE(LRun.Err.find(" frames were whole but for their check; the indicator may compute "
                            "its check otherwise\n"),
              std::string::npos)
        << LRun.Err;
}

// Both continuous formats of the extended table at each of its rates at
// which a one-second trial holds four frames, in each framing in turn:
// found at the trial the table predicts, the framing named, the settings
// saved. The runs go six at a time; each takes up to 45 s.
TEST_F(CliEndToEnd, ExtendedSearchFindsEachContinuousFormatAtEveryRate) {
    struct TCase {
        std::string Protocol;
        int Rate;
        std::string Framing;
        int Trial;
    };
    const int CRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    const char* const CFramings[] = {"8N1", "7E1", "7O1"};
    // At 600 baud the 17-byte frame comes three times a second, at 300 both
    // formats do: those rates are tried but cannot find.
    const struct {
        const char* Protocol;
        int FirstTrial;
        int Slowest;
    } CFormats[] = {{"continuous-stx", 21, 1200}, {"reversed-eq", 31, 600}};
    std::vector<TCase> LCases;
    for (const auto& LFormat : CFormats)
        for (size_t R = 0; R < std::size(CRates); ++R)
            if (CRates[R] >= LFormat.Slowest)
                LCases.push_back({LFormat.Protocol, CRates[R], CFramings[LCases.size() % 3],
                                  LFormat.FirstTrial + static_cast<int>(R)});
    // Every case on a port of its own, all searched at once; then one search
    // per format that saves what it found (its simulator's port would be in
    // the first run's list).
    std::vector<std::unique_ptr<TSimProcess>> LSims;
    for (const TCase& C : LCases) {
        std::vector<std::string> LArgs{"--protocol", C.Protocol, "--baud", std::to_string(C.Rate)};
        if (C.Framing != "8N1")
            LArgs.insert(LArgs.end(),
                         {"--data-bits", "7", "--parity", C.Framing == "7E1" ? "even" : "odd"});
        LSims.push_back(std::make_unique<TSimProcess>(LArgs));
    }
    const TRun LRun = RunCli({"--all-ports", "--extended", "--json"}, 300);
    const TScratchDir LDir("sp-formats");
    // continuous-stx at 4800 7O1, reversed-eq at 2400 7E1: early trials.
    const size_t CSaved[] = {2, 10};
    std::vector<TRun> LSaveRuns(std::size(CSaved));
    std::vector<std::thread> LThreads;
    for (size_t I = 0; I < std::size(CSaved); ++I)
        LThreads.emplace_back([&, I] {
            const TCase& C = LCases[CSaved[I]];
            LSaveRuns[I] = RunCli(
                {"--simulate", C.Protocol + ":" + std::to_string(C.Rate) + ":" + C.Framing,
                 "--extended", "--save", (LDir.Path() / (std::to_string(I) + ".INI")).string()},
                300);
        });
    for (std::thread& LThread : LThreads)
        LThread.join();

    nlohmann::json LDoc = JsonOf(LRun);
    std::map<std::string, nlohmann::json> LPorts;
    for (nlohmann::json& LPort : LDoc["ports"])
        LPorts[LPort["port"].get<std::string>()] = LPort;
    for (size_t I = 0; I < LCases.size(); ++I) {
        const TCase& C = LCases[I];
        const std::string LName = C.Protocol + ":" + std::to_string(C.Rate) + ":" + C.Framing;
        const std::string& LPort = LSims[I]->PortPath();
        nlohmann::json& LEntry = LPorts[LPort];
        // The predicted trial's record says what went wrong.
        const nlohmann::json& LTrials = LEntry["trials"];
        const std::string LPredicted = LTrials.size() >= static_cast<size_t>(C.Trial)
                                           ? LTrials[static_cast<size_t>(C.Trial) - 1].dump()
                                           : "not reached";
        EXPECT_EQ(LEntry["found"], true) << LName << ": trial " << C.Trial << " " << LPredicted;
        if (LEntry["found"] != true)
            continue;
        EXPECT_EQ(LEntry["trial"], C.Trial) << LName << ": trial " << C.Trial << " " << LPredicted;
        EXPECT_EQ(LEntry["protocol"], C.Protocol) << LName;
        EXPECT_EQ(LEntry["baud_rate"], C.Rate) << LName;
        EXPECT_EQ(LEntry["data_bits"], C.Framing == "8N1" ? 8 : 7) << LName;
        EXPECT_EQ(LEntry["parity"], C.Framing == "8N1"   ? "none"
                                    : C.Framing == "7E1" ? "even"
                                                         : "odd")
            << LName;
        EXPECT_NE(LRun.Err.find("[" + LPort + "] 数据格式: " + C.Framing + "\n"), std::string::npos)
            << LName;
    }
    for (size_t I = 0; I < std::size(CSaved); ++I) {
        const TCase& C = LCases[CSaved[I]];
        EXPECT_EQ(LSaveRuns[I].Exit, 0) << C.Protocol << " " << C.Rate << ": " << LSaveRuns[I].Err;
        std::ifstream LIn(LDir.Path() / (std::to_string(I) + ".INI"), std::ios::binary);
        std::string LSaved{std::istreambuf_iterator<char>(LIn), {}};
        // A new file's lines end as the platform's do.
        LSaved.erase(std::remove(LSaved.begin(), LSaved.end(), '\r'), LSaved.end());
        EXPECT_NE(LSaved.find("\nBaudRate=" + std::to_string(C.Rate) + "\n"), std::string::npos)
            << LSaved;
        EXPECT_NE(LSaved.find("\nProtocol=" + C.Protocol + "\nFraming=" + C.Framing + "\n"),
                  std::string::npos)
            << LSaved;
    }
}

// A file where the log folder goes: the search runs as ever, and standard
// error says once that the log is not being written, and why.
TEST_F(CliEndToEnd, LogThatCannotBeWrittenIsToldOnceOnStandardError) {
    const fs::path LDir =
        fs::temp_directory_path() / ("scaleprobe-e2e-nolog-" + std::to_string(getpid()));
    fs::remove_all(LDir);
    fs::create_directories(LDir);
    fs::copy_file(SP_CLI_PATH, LDir / "scaleprobe-cli");
    fs::create_symlink(SP_SIM_PATH, LDir / "scaleprobe-sim");
    std::ofstream(LDir / "log") << "not a folder";
    const TRun LRun = RunProgram((LDir / "scaleprobe-cli").string(), {"--simulate", "keli:9600"});
    fs::remove_all(LDir);
    EXPECT_EQ(LRun.Exit, 0) << LRun.Err;
    const std::string LNotice = "scaleprobe-cli: the log is not being written: ";
    const size_t LAt = LRun.Err.find(LNotice);
    ASSERT_NE(LAt, std::string::npos) << LRun.Err;
    EXPECT_EQ(LRun.Err.find(LNotice, LAt + 1), std::string::npos) << LRun.Err;
    const std::string LLine = LRun.Err.substr(LAt, LRun.Err.find('\n', LAt) - LAt);
    EXPECT_NE(LLine.find((LDir / "log").string()), std::string::npos) << LLine;
    EXPECT_NE(LLine.find("Not a directory"), std::string::npos) << LLine;
    EXPECT_NE(LRun.Err.find("找到仪表\n"), std::string::npos) << LRun.Err;
}

namespace {
// A pseudo-terminal of the test in the port list while it lives; with
// ABusy another program (this one) holds it locked.
struct TListedPort {
    explicit TListedPort(bool ABusy = false) {
        if (ABusy) {
            Holder = open(Port.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            EXPECT_EQ(flock(Holder, LOCK_EX | LOCK_NB), 0);
        }
        EXPECT_TRUE(AnnounceVirtualPort(Port.SlaveName()));
    }
    ~TListedPort() {
        WithdrawVirtualPort(Port.SlaveName());
        if (Holder >= 0)
            close(Holder);
    }
    TPty Port;
    int Holder = -1;
};

// The closing lines of --all-ports, "PORT: result", by port.
std::map<std::string, std::string> ResultsOf(const std::string& AText) {
    std::map<std::string, std::string> LResults;
    for (const std::string& LLine : SplitLines(AText)) {
        const size_t LSep = LLine.find(": ");
        if (LLine.rfind("/dev/", 0) == 0 && LSep != std::string::npos)
            LResults[LLine.substr(0, LSep)] = LLine.substr(LSep + 2);
    }
    return LResults;
}
} // namespace

TEST_F(CliEndToEnd, AllPortsGivesEachPortItsOwnResult) {
    // Four indicators of four protocols at four rates, two found only by the
    // extended table; a silent port; a port another program holds.
    const std::vector<std::pair<std::vector<std::string>, std::string>> LIndicators{
        {{"--protocol", "keli", "--baud", "9600"}, "found keli 9600 8N1 (trial 1, "},
        {{"--protocol", "xk3168", "--baud", "1200", "--stop-bits", "2"},
         "found xk3168 1200 8N2 (trial 9, "},
        {{"--protocol", "continuous-stx", "--baud", "4800", "--data-bits", "7", "--parity", "even"},
         "found continuous-stx 4800 7E1 (trial 25, "},
        {{"--protocol", "ascii", "--baud", "9600"}, "found ascii 9600 8N1 (trial 46, "},
    };
    std::vector<std::unique_ptr<TSimProcess>> LSims;
    std::map<std::string, std::string> LExpected;
    for (const auto& [LArgs, LResult] : LIndicators) {
        LSims.push_back(std::make_unique<TSimProcess>(LArgs));
        LExpected[LSims.back()->PortPath()] = LResult;
    }
    const TListedPort LSilent, LBusy(true);
    LExpected[LSilent.Port.SlavePath()] = "none found (50 trials)";
    LExpected[LBusy.Port.SlavePath()] = "cannot open (busy): ";

    const TRun LRun = RunCli({"--all-ports", "--extended", "--json"}, 240);
    EXPECT_EQ(LRun.Exit, 0) << LRun.Err;
    const std::map<std::string, std::string> LResults = ResultsOf(LRun.Err);
    for (const auto& [LPort, LResult] : LExpected)
        EXPECT_EQ(LResults.count(LPort) ? LResults.at(LPort).rfind(LResult, 0) : 1, 0u)
            << LPort << ": " << (LResults.count(LPort) ? LResults.at(LPort) : "no result");
    // Every transcript line carries its port; the message boxes stay quiet.
    for (const std::string& LLine : SplitLines(LRun.Err))
        EXPECT_TRUE(LLine.empty() || LLine[0] == '[' || LLine.rfind("/dev/", 0) == 0) << LLine;

    // Not const: a missing key is a failed check, not an assertion.
    nlohmann::json LDoc = JsonOf(LRun);
    EXPECT_EQ(LDoc["found"], true);
    EXPECT_EQ(LDoc["exit_code"], 0);
    std::map<std::string, nlohmann::json> LPorts;
    for (nlohmann::json& LPort : LDoc["ports"])
        LPorts[LPort["port"].get<std::string>()] = LPort;
    EXPECT_EQ(LPorts.size(), LResults.size());
    nlohmann::json& LXk = LPorts[LSims[1]->PortPath()];
    EXPECT_EQ(LXk["protocol"], "xk3168");
    EXPECT_EQ(LXk["trial"], 9);
    EXPECT_EQ(LXk["trials"].size(), 9u);
    EXPECT_EQ(LPorts[LSims[3]->PortPath()]["protocol"], "ascii");
    EXPECT_EQ(LPorts[LSilent.Port.SlavePath()]["trials"].size(), 50u);
    EXPECT_EQ(LPorts[LBusy.Port.SlavePath()]["error"]["reason"], "busy");
    EXPECT_TRUE(LPorts[LBusy.Port.SlavePath()]["trials"].empty());
}

TEST_F(CliEndToEnd, APortThatVanishesEndsTheSearchThere) {
    // The indicator is killed once its port's second trial has begun (that
    // trial's open or a later one fails): alone, the search ends there with
    // exit 2; beside another port, only that port's search ends.
    for (const bool LAllPorts : {false, true}) {
        TSimProcess LGoing({"--protocol", "keli", "--baud", "2400"});
        std::unique_ptr<TSimProcess> LStaying;
        if (LAllPorts)
            LStaying = std::make_unique<TSimProcess>(
                std::vector<std::string>{"--protocol", "keli", "--baud", "19200"});
        const std::string LPort = LGoing.PortPath();
        const std::string LPrefix = LAllPorts ? "[" + LPort + "] " : "";
        const std::vector<std::string> LArgs = LAllPorts
                                                   ? std::vector<std::string>{"--all-ports"}
                                                   : std::vector<std::string>{"--port", LPort};
        bool LKilled = false;
        const TRun LRun = RunCli(LArgs, 120, [&](const auto&, const std::string& AOut) {
            if (!LKilled && AOut.find("\n" + LPrefix + CSecond + "\n") != std::string::npos) {
                LKilled = true;
                LGoing.Stop(SIGKILL);
            }
        });
        ASSERT_TRUE(LKilled) << LRun.Err;
        std::string LTrial;
        for (const std::string& LLine : LRun.Out)
            if (LLine.rfind(LPrefix + "trial ", 0) == 0 &&
                LLine.find(" could not open the port: ") != std::string::npos)
                LTrial = LLine.substr(LPrefix.size() + 6,
                                      LLine.find(' ', LPrefix.size() + 6) - LPrefix.size() - 6);
        // Usually the third; a test that reads the transcript late on a
        // loaded machine kills the indicator a trial or two later.
        ASSERT_FALSE(LTrial.empty()) << "no trial said so";
        EXPECT_GE(std::stoi(LTrial), 2);
        if (LAllPorts) {
            EXPECT_EQ(LRun.Exit, 0) << LRun.Err;
            std::string LOut;
            for (const std::string& LLine : LRun.Out)
                LOut += LLine + "\n";
            const auto LResults = ResultsOf(LOut);
            // The open fails, or its terminal is gone by the time it is
            // looked at; either way the port tells what became of it.
            const std::string LResult = LResults.count(LPort) ? LResults.at(LPort) : "";
            EXPECT_EQ(LResult.rfind("vanished in trial " + LTrial + ": ", 0), 0u) << LResult;
            EXPECT_NE(LResult.find(": No such file or directory"), std::string::npos) << LResult;
            EXPECT_EQ(LResults.count(LStaying->PortPath())
                          ? LResults.at(LStaying->PortPath()).rfind("found keli 19200 ", 0)
                          : 1,
                      0u);
        } else {
            EXPECT_EQ(LRun.Exit, 2) << LRun.Err;
            EXPECT_NE(LRun.Err.find("scaleprobe-cli: port " + LPort + " vanished in trial " +
                                    LTrial + ": "),
                      std::string::npos)
                << LRun.Err;
            EXPECT_EQ(TrialsOf(LRun.Out).size(), static_cast<size_t>(std::stoi(LTrial)));
            EXPECT_EQ(LRun.Err.find("没有找到"), std::string::npos) << LRun.Err;
        }
        // The log says why the trial's connect failed.
        const std::vector<std::string> LLog = NewestLogLines(CliLogDir());
        EXPECT_TRUE(std::any_of(LLog.begin(), LLog.end(), [&](const std::string& L) {
            return L.find("[地磅仪表]连接失败，通讯口: " + LPort + "; 原因: ") !=
                       std::string::npos &&
                   L.find("No such file or directory") != std::string::npos;
        })) << LPort;
    }
}

TEST_F(CliEndToEnd, APortThatCannotBeOpenedIsLoggedWhicheverWayItWasChosen) {
    // --port, and without it the first port of the list (a busy one sorts
    // first: /dev/pts before /dev/tty); at once, exit 2, and in the log the
    // start banner, the reason and the exit banner.
    const TListedPort LBusy(true);
    const struct {
        std::vector<std::string> Args;
        std::string Port, Reason;
    } LCases[] = {
        {{"--port", "/nonexistent/ttyS9"}, "/nonexistent/ttyS9", "No such file or directory"},
        {{}, LBusy.Port.SlavePath(), "(another program holds the port locked)"},
    };
    for (const auto& LCase : LCases) {
        const auto LStart = std::chrono::steady_clock::now();
        const TRun LRun = RunCli(LCase.Args, 30);
        EXPECT_LT(std::chrono::steady_clock::now() - LStart, std::chrono::seconds(10));
        EXPECT_EQ(LRun.Exit, 2) << LRun.Err;
        EXPECT_TRUE(LRun.Out.empty());
        EXPECT_NE(LRun.Err.find("cannot open " + LCase.Port + ": "), std::string::npos) << LRun.Err;
        // Other shards' runs may write to the same day's log meanwhile: the
        // reason is looked for, with a start banner before it and an exit
        // banner after it.
        const std::vector<std::string> LLog = NewestLogLines(CliLogDir());
        size_t LAt = LLog.size();
        for (size_t I = LLog.size(); I-- > 0 && LAt == LLog.size();)
            if (LLog[I].find(LCase.Port + ": cannot open ") != std::string::npos)
                LAt = I;
        ASSERT_LT(LAt, LLog.size()) << "the reason is not in the log";
        EXPECT_EQ(LLog[LAt].rfind("[Error][", 0), 0u) << LLog[LAt];
        EXPECT_NE(LLog[LAt].find(LCase.Reason), std::string::npos) << LLog[LAt];
        EXPECT_TRUE(std::any_of(LLog.begin(), LLog.begin() + LAt, [](const std::string& L) {
            return L.find("启动软件") != std::string::npos;
        }));
        EXPECT_TRUE(std::any_of(LLog.begin() + LAt, LLog.end(), [](const std::string& L) {
            return L.find("退出软件") != std::string::npos;
        }));
    }
}

TEST_F(CliEndToEnd, OneNameRuleForTheCheckAndTheSearch) {
    // Links to a simulator's port: a name that is not UTF-8, or that holds a
    // line break, is refused before the search (it would open another name);
    // a plain one is searched under the name given.
    TSimProcess LSim({"--protocol", "keli", "--baud", "9600", "--no-announce"});
    const fs::path LDir = PortsDir / "names";
    fs::create_directories(LDir);
    const struct {
        std::string Name;
        int Exit;
        std::string Error;
    } LCases[] = {
        {"scale\xff\xfe", 2, "not valid UTF-8"},
        {"scale\nport", 2, "control character"},
        {"scale port", 0, ""},
    };
    for (const auto& LCase : LCases) {
        const fs::path LLink = LDir / LCase.Name;
        fs::create_symlink(LSim.PortPath(), LLink);
        const TRun LRun = RunCli({"--port", LLink.string()}, 60);
        EXPECT_EQ(LRun.Exit, LCase.Exit) << LRun.Err;
        if (LCase.Exit == 0) {
            ASSERT_EQ(TrialsOf(LRun.Out).size(), 1u);
            EXPECT_EQ(TrialsOf(LRun.Out)[0].Port, LLink.string());
        } else {
            EXPECT_TRUE(LRun.Out.empty());
            EXPECT_NE(LRun.Err.find(LCase.Error), std::string::npos) << LRun.Err;
        }
        fs::remove(LLink);
    }
}

TEST_F(CliEndToEnd, ListSaysWhatEachPortIs) {
    // A simulator announces its port while it runs: --list with --simulate
    // shows it as such among the system's ports, each of which the kernel
    // knows a driver of; --list --json says the same.
    for (const bool LJson : {false, true}) {
        std::vector<std::string> LArgs{"--simulate", "keli:9600", "--list"};
        if (LJson)
            LArgs.push_back("--json");
        const TRun LRun = RunCli(LArgs, 30);
        EXPECT_EQ(LRun.Exit, 0) << LRun.Err;
        std::map<std::string, std::string> LDescribed;
        if (LJson) {
            nlohmann::json LDoc = JsonOf(LRun);
            for (nlohmann::json& LPort : LDoc["ports"])
                LDescribed[LPort["port"].get<std::string>()] =
                    LPort["description"].get<std::string>();
        } else {
            for (const std::string& L : LRun.Out) {
                const size_t LGap = L.find("  ");
                LDescribed[L.substr(0, LGap)] =
                    LGap == std::string::npos ? "" : L.substr(L.find_first_not_of(' ', LGap));
            }
        }
        size_t LSimulated = 0;
        for (const auto& [LPort, LText] : LDescribed) {
            if (LPort.rfind("/dev/pts/", 0) == 0) {
                EXPECT_EQ(LText, "simulated indicator") << LPort;
                ++LSimulated;
            } else {
                EXPECT_NE(LText.find("driver "), std::string::npos) << LPort << ": " << LText;
            }
        }
        EXPECT_EQ(LSimulated, 1u) << (LJson ? "--json" : "");
    }
}

// A capture of the indicator, replayed by the simulator, is found as the
// indicator itself was; a damaged capture is refused with its reason.
TEST_F(CliEndToEnd, CaptureReplayedIsFoundAtTheCapturedSettings) {
    const TScratchDir LDir("scaleprobe-capture");
    const fs::path LFile = LDir / "site.spcap";
    nlohmann::json LOriginal, LCaptured;
    {
        TSimProcess LSim({"--protocol", "keli", "--baud", "9600", "--no-announce"});
        const TRun LSearch = RunCli({"--port", LSim.PortPath(), "--json"});
        ASSERT_EQ(LSearch.Exit, 0) << LSearch.Err;
        LOriginal = JsonOf(LSearch);
        // Without --baud: a search first, then the settings it found.
        const TRun LRun = RunCli(
            {"--port", LSim.PortPath(), "--capture", LFile.string(), "--seconds", "2", "--json"});
        ASSERT_EQ(LRun.Exit, 0) << LRun.Err;
        LCaptured = JsonOf(LRun);
    }
    EXPECT_EQ(LCaptured["capture"]["baud_rate"], 9600);
    EXPECT_EQ(LCaptured["capture"]["framing"], "8N1");
    // Two seconds at 960 bytes a second, less what the pty's start costs.
    EXPECT_GT(LCaptured["capture"]["bytes"].get<int>(), 1000) << LCaptured.dump();

    TSimProcess LReplay({"--replay", LFile.string(), "--no-announce"});
    const TRun LSearch = RunCli({"--port", LReplay.PortPath(), "--json"});
    ASSERT_EQ(LSearch.Exit, 0) << LSearch.Err;
    const nlohmann::json LReplayed = JsonOf(LSearch);
    for (const char* LKey : {"protocol", "baud_rate", "data_bits", "parity", "stop_bits", "trial"})
        EXPECT_EQ(LReplayed[LKey], LOriginal[LKey]) << LKey;

    // Ctrl+C ends a capture early; what it wrote is whole.
    const fs::path LCut = LDir / "ctrl-c.spcap";
    TChildProcess LCli;
    ASSERT_TRUE(LCli.Start(GCli.string(),
                           {"--port", LReplay.PortPath(), "--capture", LCut.string(), "--baud",
                            "9600", "--seconds", "300"},
                           {TChildStream::csInherit, TChildStream::csPipe, TChildStream::csPipe}));
    // Once some blocks are in the file (looked at every 200 ms, a minute at most).
    bool LSent = false;
    for (int I = 0; I < 300 && !LSent; ++I) {
        LCli.ReadUntil([] { return false; }, 200);
        std::error_code LCode;
        if (fs::file_size(LCut, LCode) > 2000 && !LCode)
            LSent = LCli.Signal(SIGINT);
    }
    EXPECT_TRUE(LSent);
    EXPECT_EQ(LCli.Wait(30000), 130) << LCli.Errors();
    TLineCapture LCapture;
    std::string LError;
    EXPECT_TRUE(ReadLineCaptureFile(LCut, LCapture, LError)) << LError;
    EXPECT_FALSE(LCapture.Blocks.empty());

    const std::string LGood = ReadWholeFile(LFile);
    std::string LNewer = LGood;
    LNewer[8] = 7;
    const struct {
        const char* Name;
        std::string Bytes;
        const char* Error;
    } CCases[] = {
        {"cut off", LGood.substr(0, LGood.size() - 3), "cut off in block "},
        {"garbage", std::string(200, '\x55'), "not a scaleprobe line capture"},
        {"newer", LNewer, "capture format version 7 is newer than this program reads"},
    };
    for (const auto& LCase : CCases) {
        const fs::path LBad = LDir / LCase.Name;
        std::ofstream(LBad, std::ios::binary) << LCase.Bytes;
        const TRun LRun = RunProgram(SP_SIM_PATH, {"--replay", LBad.string(), "--no-announce"}, 30);
        EXPECT_EQ(LRun.Exit, 2) << LCase.Name;
        EXPECT_TRUE(LRun.Out.empty()) << LCase.Name;
        EXPECT_NE(LRun.Err.find(LCase.Error), std::string::npos) << LCase.Name << ": " << LRun.Err;
    }
}
