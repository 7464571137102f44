// The channel against the real viewer where only POSIX can set the scene:
// shell scripts as stand-ins for the viewer, the setting file and the search
// path, fork, FIFOs, zombies and terminal windows. Windows starts the viewer
// from a registry value and keeps nothing of a started program.
#include "ViewerProgramFixture.h"

#include <fcntl.h>
#include <future>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
TEST_F(ViewerProgramTest, StandInOnThePathIsStartedOnceWithTheStartOptions) {
    InstallStandIn(FBin / "WbDebugViewer");
    {
        TDebugger LDebugger;
        LDebugger.LogMsg(u"first");
        LDebugger.LogMsg(u"second");
        LDebugger.LogMsgWarning(u"third");
        EXPECT_EQ(LDebugger.PostedMessageCount(), 3);
    }
    EXPECT_EQ(ReadFileLines(FArgs),
              std::vector<std::string>{"-a -local " + std::to_string(getpid())});
    const pid_t LViewer = RunningViewerPid();
    ASSERT_GT(LViewer, 0);
    ASSERT_EQ(StopViewer(LViewer), 0);
    // The start wait let the very first message through.
    EXPECT_EQ(ReceivedTexts(), (std::vector<std::string>{"first", "second", "third"}));
}

TEST_F(ViewerProgramTest, CommandFromTheUserSettingWithArguments) {
    const auto LStandIn = FDir.Path() / "my viewer" / "stand-in";
    InstallStandIn(LStandIn);
    std::filesystem::create_directories(FDir.Path() / "config" / "scaleprobe");
    std::ofstream(FDir.Path() / "config" / "scaleprobe" / "WbDebugViewer")
        << "\"" << LStandIn.string() << "\" --seconds 60\nignored second line\n";
    {
        TDebugger LDebugger;
        LDebugger.LogMsg(u"hello");
    }
    EXPECT_EQ(ReadFileLines(FArgs),
              std::vector<std::string>{"--seconds 60 -a -local " + std::to_string(getpid())});
    const pid_t LViewer = RunningViewerPid();
    ASSERT_GT(LViewer, 0);
    ASSERT_EQ(StopViewer(LViewer), 0);
    EXPECT_EQ(ReceivedTexts(), std::vector<std::string>{"hello"});
}

TEST_F(ViewerProgramTest, WithoutAViewerTheFirstMessageDoesNotWait) {
    TDebugOutputCapture LOutput;
    TDebugger LDebugger;
    const auto LStart = std::chrono::steady_clock::now();
    LDebugger.LogMsg(u"lost");
    const std::chrono::duration<double> LTook = std::chrono::steady_clock::now() - LStart;
    EXPECT_LT(LTook.count(), 2.5) << "waited for a viewer that was never started";
    EXPECT_EQ(LOutput.Lines(), std::vector<std::string>{"WbDebug: OpenFileMapping Fail: 2"});
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "a child was started";

    // A viewer started by hand afterwards gets the following messages.
    const pid_t LViewer = StartViewer({"--output", FOut.string()});
    ASSERT_GT(LViewer, 0);
    LDebugger.LogMsg(u"found");
    LDebugger.LogMsg(u"again");
    ASSERT_EQ(StopViewer(LViewer), 0);
    EXPECT_EQ(ReceivedTexts(), (std::vector<std::string>{"found", "again"}));
    EXPECT_EQ(LOutput.Lines().size(), 1u);
}

TEST_F(ViewerProgramTest, OneViewerPerUserAndNothingLeftBehind) {
    const pid_t LViewer = StartViewer({"--output", FOut.string(), "--level", "2"});
    ASSERT_GT(LViewer, 0);
    EXPECT_EQ(WaitExit(SpawnProgram(CViewerProgram, {"--seconds", "5"})), 1);
    EXPECT_EQ(RunningViewerPid(), LViewer);

    // The filter it published, and switched off from outside.
    {
        TDebugger LDebugger;
        LDebugger.LogMsg(u"filtered");
        EXPECT_EQ(WaitExit(SpawnProgram(CViewerProgram, {"--control", "--filter-off"})), 0);
        LDebugger.LogMsg(u"passes");
    }
    ASSERT_EQ(StopViewer(LViewer), 0);
    EXPECT_EQ(ReceivedTexts(), std::vector<std::string>{"passes"});
    EXPECT_TRUE(NothingLeftBehind());
    EXPECT_EQ(WaitExit(SpawnProgram(CViewerProgram, {"--control", "--filter-off"})), 1);
}

TEST_F(ViewerProgramTest, ViewerEndsWithTheProcessThatStartedIt) {
    // A starter that ends when its input does.
    TChildProcess LStarter;
    ASSERT_TRUE(LStarter.Fork(
        [] {
            char C;
            return static_cast<int>(read(STDIN_FILENO, &C, 1));
        },
        {TChildStream::csPipe}));
    int LError = 0;
    auto LStart = CreateNamedEvent(CStartEventName, LError);
    const pid_t LViewer =
        SpawnProgram(CViewerProgram, {"-a", "-local", std::to_string(LStarter.Pid())});
    ASSERT_EQ(LStart->WaitFor(10000), TNamedWaitResult::nwSignaled);
    LStarter.CloseInput();
    ASSERT_EQ(LStarter.Wait(), 0);
    EXPECT_EQ(WaitExit(LViewer), 0);
    EXPECT_TRUE(NothingLeftBehind());
    RemoveNamedEvent(CStartEventName);
}

TEST_F(ViewerProgramTest, EndedViewerIsCollected) {
    WriteScript(FBin / "quick", "exit 0\n");
    EXPECT_FALSE(StartCommandLine("no-such-viewer -a"));
    EXPECT_FALSE(StartCommandLine("   "));
    ASSERT_TRUE(StartCommandLine("quick -a  -local 1"));
    siginfo_t LInfo{};
    ASSERT_EQ(waitid(P_ALL, 0, &LInfo, WEXITED | WNOWAIT), 0); // ended, not collected
    ReapStartedPrograms();
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "the ended child was left as a zombie";
}

TEST_F(ViewerProgramTest, ASecondViewerReleasesTheStarterAtOnce) {
    const pid_t LViewer = StartViewer({"--output", FOut.string()});
    ASSERT_GT(LViewer, 0);
    InstallStandIn(FBin / "WbDebugViewer"); // finds the first one running and ends
    {
        TDebugger LDebugger;
        const auto LStart = std::chrono::steady_clock::now();
        LDebugger.LogMsg(u"first");
        const std::chrono::duration<double> LTook = std::chrono::steady_clock::now() - LStart;
        EXPECT_LT(LTook.count(), 2.5) << "waited out the start time-out";
    }
    EXPECT_EQ(ReadFileLines(FArgs).size(), 1u);
    EXPECT_EQ(RunningViewerPid(), LViewer);
    ASSERT_EQ(StopViewer(LViewer), 0);
    EXPECT_EQ(ReceivedTexts(), std::vector<std::string>{"first"});
}

// Runs the viewer with AArgs; its exit code, and in AText its standard
// output (with standard error when AErrors says so).
int RunViewer(const std::vector<std::string>& AArgs, TChildStream AErrors, std::string& AText) {
    TChildProcess LViewer;
    if (!LViewer.Start(CViewerProgram, AArgs,
                       {TChildStream::csInherit, TChildStream::csPipe, AErrors}))
        return -1;
    const int LCode = LViewer.Wait();
    AText = LViewer.Output();
    return LViewer.EndSignal() == 0 ? LCode : -1;
}

TEST_F(ViewerProgramTest, HelpPrintsTheUsageAndEnds) {
    std::string LText;
    EXPECT_EQ(RunViewer({"--help"}, TChildStream::csNull, LText), 0) << LText;
    EXPECT_EQ(LText.rfind("usage: WbDebugViewer", 0), 0u) << LText;
    EXPECT_NE(LText.find("--tag TAG"), std::string::npos) << LText;
}

TEST_F(ViewerProgramTest, BadOptionValuesAreNamedAndAnUnwritableOutputEndsTheViewer) {
    // --size 100 is a number, but no room for one record.
    for (const std::vector<std::string>& LArgs :
         std::vector<std::vector<std::string>>{{"--seconds", "abc"},
                                               {"--count", "-1x"},
                                               {"--level"},
                                               {"--size", "0"},
                                               {"--size", "100"}}) {
        std::string LText;
        EXPECT_EQ(RunViewer(LArgs, TChildStream::csOutput, LText), 2) << LArgs[0];
        EXPECT_EQ(LText.rfind("WbDebugViewer: ", 0), 0u) << LText;
        EXPECT_NE(LText.substr(0, LText.find('\n')).find(LArgs[0]), std::string::npos) << LText;
    }

    const pid_t LViewer = StartViewer({"--output", "/dev/full"});
    ASSERT_GT(LViewer, 0);
    {
        TDebugger LDebugger;
        LDebugger.LogMsg(u"cannot be shown");
    }
    EXPECT_EQ(WaitExit(LViewer), 1);
    EXPECT_TRUE(NothingLeftBehind());
}

TEST_F(ViewerProgramTest, ASettingThatIsNoRegularFileIsSkippedWithoutWaiting) {
    const auto LSetting = FDir.Path() / "config" / "scaleprobe" / "WbDebugViewer";
    std::filesystem::create_directories(LSetting.parent_path());
    ASSERT_EQ(mkfifo(LSetting.c_str(), 0600), 0);
    auto LRead = std::async(std::launch::async, [] { return ReadViewerCommandSetting(); });
    const bool LWaited = LRead.wait_for(std::chrono::seconds(5)) == std::future_status::timeout;
    if (LWaited) // let the reader go
        close(open(LSetting.c_str(), O_WRONLY | O_NONBLOCK));
    EXPECT_FALSE(LWaited) << "waited on a FIFO";
    EXPECT_TRUE(LRead.get().empty());

    std::filesystem::remove(LSetting);
    std::filesystem::create_directory(LSetting);
    EXPECT_TRUE(ReadViewerCommandSetting().empty());
}

TEST_F(ViewerProgramTest, StartedViewerGetsNoneOfTheProgramsStandardStreams) {
    const auto LState = FDir.Path() / "state";
    const TEnvScope LStateHome("XDG_STATE_HOME", LState.string());
    const TEnvScope LDisplay("DISPLAY", std::nullopt), LWayland("WAYLAND_DISPLAY", std::nullopt);
    const std::string LProbe =
        "echo \"in=$(/usr/bin/readlink /proc/$$/fd/0)\"\necho out\necho err >&2\n";
    WriteScript(FBin / "probe", LProbe);
    ASSERT_TRUE(StartCommandLine("probe -a"));
    siginfo_t LInfo{};
    ASSERT_EQ(waitid(P_ALL, 0, &LInfo, WEXITED | WNOWAIT), 0);
    ReapStartedPrograms();
    EXPECT_EQ(ReadFileLines(LState / "scaleprobe" / "WbDebugViewer.log"),
              (std::vector<std::string>{"in=/dev/null", "out", "err"}));

    // In a graphical session the viewer gets a terminal window of its own.
    SetEnvironmentValue("DISPLAY", ":97");
    const auto LTermArgs = FDir.Path() / "term.txt";
    WriteScript(FBin / "x-terminal-emulator",
                "echo \"$@\" > \"" + LTermArgs.string() + "\"\nshift\nexec \"$@\"\n");
    ASSERT_TRUE(StartCommandLine("probe -a"));
    ASSERT_EQ(waitid(P_ALL, 0, &LInfo, WEXITED | WNOWAIT), 0);
    ReapStartedPrograms();
    EXPECT_EQ(ReadFileLines(LTermArgs),
              std::vector<std::string>{"-e " + (FBin / "probe").string() + " -a"});
    EXPECT_EQ(ReadFileLines(LState / "scaleprobe" / "WbDebugViewer.log").size(), 6u);
}
} // namespace
