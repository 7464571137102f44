// scaleprobe-cli's files against the simulator: what --save meets at its
// path, and a standard output that cannot be written.
#include "platform/Text.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/SimProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {
namespace fs = std::filesystem;

struct TCliRun {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

// The program with AArgs, standard output as AStdout (a shell redirection,
// "" for a pipe); gives up after two minutes.
TCliRun RunCli(const std::vector<std::string>& AArgs, const std::string& AStdout = "") {
    std::vector<std::string> LArgs{"-c", "exec \"$0\" \"$@\" " + AStdout, SP_CLI_PATH};
    LArgs.insert(LArgs.end(), AArgs.begin(), AArgs.end());
    TChildProcess LCli;
    TCliRun LRun;
    if (!LCli.Start("/bin/sh", LArgs,
                    {TChildStream::csNull, TChildStream::csPipe, TChildStream::csPipe})) {
        ADD_FAILURE() << "cannot start " << SP_CLI_PATH;
        return LRun;
    }
    LRun.Exit = LCli.Wait(120000);
    LRun.Out = LCli.Output();
    LRun.Err = LCli.Errors();
    return LRun;
}

std::string Utf16Le(std::u16string_view AText) {
    std::string LBytes;
    for (const char16_t C : AText) {
        LBytes += static_cast<char>(C & 0xFF);
        LBytes += static_cast<char>(C >> 8);
    }
    return LBytes;
}

// The keys a find of keli at 9600 on APort writes, each ending in AEol.
std::string Keys(const std::string& APort, const std::string& AEol) {
    return "CommName=" + APort + AEol + "BaudRate=9600" + AEol + "StopBits=0" + AEol +
           "Protocol=keli" + AEol;
}

// Announced ports of these tests only, and texts in UTF-8.
class CliFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        FPorts = std::make_unique<TScratchDir>("sp-files-ports");
        FPortsVar = std::make_unique<TEnvScope>("SCALEPROBE_PORTS_DIR", FPorts->Path().string());
        FLocale = std::make_unique<TEnvScope>("LC_ALL", "C.UTF-8");
    }
    static void TearDownTestSuite() {
        FLocale.reset();
        FPortsVar.reset();
        FPorts.reset();
    }

private:
    static inline std::unique_ptr<TScratchDir> FPorts;
    static inline std::unique_ptr<TEnvScope> FPortsVar, FLocale;
};

struct TSaveTarget {
    const char* Name;
    // Makes what sits at the path; returns the path to save to.
    std::function<fs::path(const TScratchDir&)> Make;
    int Exit;
    const char* Reason; // in standard error when refused
    // When saved: the file that holds the result and what it must hold
    // (given the port); when refused, the file and what it must still hold.
    const char* File;
    std::function<std::string(const std::string&)> Bytes;
};

void PrintTo(const TSaveTarget& ATarget, std::ostream* AOut) {
    *AOut << ATarget.Name;
}

class SaveTarget : public CliFiles, public ::testing::WithParamInterface<TSaveTarget> {};

TEST_P(SaveTarget, IsWrittenAsItShouldOrRefusedWithItsReason) {
    const TSaveTarget& C = GetParam();
    const TScratchDir LDir("sp-save");
    const fs::path LTarget = C.Make(LDir);
    const mode_t LMask = ::umask(022);
    const TCliRun LRun = RunCli({"--simulate", "keli:9600", "--json", "--save", LTarget.string()});
    ::umask(LMask);
    const nlohmann::json LDoc = nlohmann::json::parse(LRun.Out, nullptr, false);
    ASSERT_TRUE(LDoc.is_object()) << LRun.Exit << LRun.Out << LRun.Err;
    EXPECT_EQ(LRun.Exit, C.Exit) << LRun.Err;
    EXPECT_EQ(LDoc.value("exit_code", -1), C.Exit);
    if (C.Exit != 0) {
        EXPECT_NE(LRun.Err.find(C.Reason), std::string::npos) << LRun.Err;
        EXPECT_EQ(LDoc.value(nlohmann::json::json_pointer("/error/code"), ""), "save") << LRun.Out;
    }
    if (*C.File != '\0') {
        EXPECT_EQ(ReadWholeFile(LDir / C.File), C.Bytes(LDoc.value("port", "")));
    }
}

const std::string CNotepad = Utf16Le(u"\uFEFF; 称重\r\n[CommConfig]\r\nCommName=COM1\r\n");
const std::string CLarge = "[CommConfig]\n;" + std::string(2 << 20, 'x') + "\n";

INSTANTIATE_TEST_SUITE_P(
    Table, SaveTarget,
    ::testing::Values(TSaveTarget{"NotepadUnicode",
                                  [](const TScratchDir& D) { return D.Write("u.INI", CNotepad); },
                                  0, "", "u.INI",
                                  [](const std::string& APort) {
                                      return Utf16Le(u"\uFEFF; 称重\r\n[CommConfig]\r\n" +
                                                     Utf8ToUnicode(Keys(APort, "\r\n")));
                                  }},
                      TSaveTarget{"ThroughASymbolicLink",
                                  [](const TScratchDir& D) {
                                      D.Write("real.INI", "[Weight]\nX=5\n");
                                      fs::create_symlink("real.INI", D / "link.INI");
                                      return D / "link.INI";
                                  },
                                  0, "", "real.INI",
                                  [](const std::string& APort) {
                                      return "[Weight]\nX=5\n\n[CommConfig]\n" + Keys(APort, "\n");
                                  }},
                      TSaveTarget{"Folder",
                                  [](const TScratchDir& D) {
                                      fs::create_directory(D / "dir.INI");
                                      return D / "dir.INI";
                                  },
                                  2, "a folder, not a regular file", "", nullptr},
                      TSaveTarget{"Fifo",
                                  [](const TScratchDir& D) {
                                      ::mkfifo((D / "fifo.INI").c_str(), 0600);
                                      return D / "fifo.INI";
                                  },
                                  2, "a FIFO, not a regular file", "", nullptr},
                      TSaveTarget{"Device",
                                  [](const TScratchDir&) { return fs::path("/dev/zero"); }, 2,
                                  "a character device, not a regular file", "", nullptr},
                      TSaveTarget{"LargerThanTheReaderReads",
                                  [](const TScratchDir& D) { return D.Write("big.INI", CLarge); },
                                  2, "more than an INI file may have", "big.INI",
                                  [](const std::string&) { return CLarge; }}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(CliFiles, ANewFileGetsTheModeOfAPlainCreate) {
    const TScratchDir LDir("sp-save");
    const mode_t LMask = ::umask(027);
    const TCliRun LRun = RunCli({"--simulate", "keli:9600", "--save", (LDir / "new.INI").string()});
    ::umask(LMask);
    EXPECT_EQ(LRun.Exit, 0) << LRun.Err;
    struct stat LInfo {};
    ASSERT_EQ(::stat((LDir / "new.INI").c_str(), &LInfo), 0);
    EXPECT_EQ(LInfo.st_mode & 0777, 0640u);
}

// A port name with a line break would add lines of its own to the INI.
TEST_F(CliFiles, APortNameWithALineBreakIsNotSaved) {
    const TSimProcess LSim({"--protocol", "keli", "--baud", "9600", "--no-announce"});
    const TScratchDir LDir("sp-save");
    const fs::path LPort = LDir / "port\n[Weight]\nMinValidWeight=0";
    fs::create_symlink(LSim.PortPath(), LPort);
    const TCliRun LRun = RunCli({"--port", LPort.string(), "--save", (LDir / "a.INI").string()});
    EXPECT_EQ(LRun.Exit, 2) << LRun.Err;
    EXPECT_NE(LRun.Err.find("control character"), std::string::npos) << LRun.Err;
    EXPECT_FALSE(fs::exists(LDir / "a.INI"));
}

struct TLostOutput {
    const char* Name;
    std::vector<std::string> Args;
    const char* Redirect;
    const char* Reason;
};

void PrintTo(const TLostOutput& ACase, std::ostream* AOut) {
    *AOut << ACase.Name;
}

class LostOutput : public CliFiles, public ::testing::WithParamInterface<TLostOutput> {};

TEST_P(LostOutput, GivesExitTwoAndTheReason) {
    const TCliRun LRun = RunCli(GetParam().Args, GetParam().Redirect);
    EXPECT_EQ(LRun.Exit, 2) << LRun.Err;
    EXPECT_NE(LRun.Err.find(std::string("scaleprobe-cli: cannot write standard output: ") +
                            GetParam().Reason),
              std::string::npos)
        << LRun.Err;
}

INSTANTIATE_TEST_SUITE_P(
    Table, LostOutput,
    ::testing::Values(
        TLostOutput{"ListIntoAFullDisk", {"--list"}, ">/dev/full", "No space left on device"},
        TLostOutput{"JsonOfAFindIntoAFullDisk",
                    {"--simulate", "keli:9600", "--json"},
                    ">/dev/full",
                    "No space left on device"},
        TLostOutput{"ListIntoAClosedOutput", {"--list"}, ">&-", "standard output is closed"},
        TLostOutput{"TranscriptOfAFindIntoAClosedOutput",
                    {"--simulate", "keli:9600"},
                    ">&-",
                    "standard output is closed"}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

} // namespace
