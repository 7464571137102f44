#include "tests/support/LogCapture.h"
#include "tests/support/ScratchDir.h"

#include "logging/UnitLogFile.h"
#include "platform/ProgramDirs.h"
#include "platform/System.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr auto CGenerous = std::chrono::seconds(10);

size_t CountLines(const fs::path& AFileName) {
    const std::string LText = ReadWholeFile(AFileName);
    size_t LCount = 0;
    for (size_t I = LText.find("\r\n"); I != std::string::npos; I = LText.find("\r\n", I + 2))
        ++LCount;
    return LCount;
}

// The file's lines; each must end in CR LF.
std::vector<std::string> ReadLines(const fs::path& AFileName) {
    const std::string LText = ReadWholeFile(AFileName);
    std::vector<std::string> LLines;
    size_t LStart = 0;
    while (LStart < LText.size()) {
        const size_t LEnd = LText.find("\r\n", LStart);
        EXPECT_NE(LEnd, std::string::npos) << "line without CR LF in " << AFileName;
        if (LEnd == std::string::npos)
            break;
        LLines.push_back(LText.substr(LStart, LEnd - LStart));
        LStart = LEnd + 2;
    }
    return LLines;
}

const std::string CStart = UnicodeToAnsi(CStartBanner);
const std::string CExit = UnicodeToAnsi(CExitBanner);

// Holds the OS debug output: counts reports and can hold the writer inside
// its first report until released.
class TDebugOutputGate {
public:
    explicit TDebugOutputGate(bool AHoldFirst) : FHold(AHoldFirst) {
        SetDebugOutputHook([this](const UnicodeString& S) { Seen(S); });
    }
    ~TDebugOutputGate() {
        Release();
        SetDebugOutputHook({});
    }
    bool WaitHeld() {
        std::unique_lock<std::mutex> L(FLock);
        return FCond.wait_for(L, CGenerous, [this] { return FHeld; });
    }
    void Release() {
        {
            std::lock_guard<std::mutex> L(FLock);
            FHold = false;
        }
        FCond.notify_all();
    }
    std::vector<UnicodeString> Reports() {
        std::lock_guard<std::mutex> L(FLock);
        return FReports;
    }

private:
    void Seen(const UnicodeString& S) {
        std::unique_lock<std::mutex> L(FLock);
        FReports.push_back(S);
        if (FReports.size() == 1 && FHold) {
            FHeld = true;
            FCond.notify_all();
            FCond.wait(L, [this] { return !FHold; });
        }
    }

    std::mutex FLock;
    std::condition_variable FCond;
    bool FHold;
    bool FHeld = false;
    std::vector<UnicodeString> FReports;
};

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetClock({2030, 3, 4, 9, 15, 2, 123});
        SetNowOverride([this] { return FNow.load(); });
    }
    void TearDown() override { SetNowOverride({}); }
    void SetClock(const TDateTimeParts& AParts) { FNow = EncodeDateTime(AParts); }
    fs::path Day(const char* AMonth, const char* ADay) const {
        return FDir / "log" / AMonth / (std::string(ADay) + ".log");
    }

    TRecordingDebugger FDebugger;
    TScratchDir FScratch{"sp-logfile"};
    const fs::path& FDir = FScratch.Path();
    std::atomic<TDateTime> FNow{0};
};

} // namespace

TEST_F(LogFileTest, FirstLineMakesFoldersAndFileAndLinesCarryLevelAndTime) {
    {
        TLogFile LLog(FDir);
        LLog.LogInfo(u"info 信息");
        LLog.LogDebug(u"debug");
        LLog.LogWarning(u"warning");
        LLog.LogError(u"error");
        EXPECT_EQ(LLog.FileNameOf(FNow), Day("2030-03", "20300304"));
    }
    const auto L = ReadLines(Day("2030-03", "20300304"));
    const std::vector<std::string> LExpected = {
        "[Info][09:15:02 123]" + CStart, "[Info][09:15:02 123]" + UnicodeToAnsi(u"info 信息"),
        "[Debug][09:15:02 123]debug",    "[Warning][09:15:02 123]warning",
        "[Error][09:15:02 123]error",    CExit};
    EXPECT_EQ(L, LExpected);
    EXPECT_NE(ReadWholeFile(Day("2030-03", "20300304")).substr(0, 3), "\xEF\xBB\xBF");

    // Each call's text alone goes to the debug channel, on the caller's thread.
    const auto R = FDebugger.Channel().Records();
    std::vector<std::pair<std::string, uint32_t>> LSent;
    for (const TRecord& LRecord : R)
        if (LRecord.MsgType() != cmtObject) {
            LSent.emplace_back(LRecord.Text(), LRecord.MsgType());
            EXPECT_EQ(LRecord.ThreadId(), GetCurrentThreadId());
        }
    const std::vector<std::pair<std::string, uint32_t>> LSentExpected = {
        {CStart, cmtInformation},
        {UnicodeToAnsi(u"info 信息"), cmtInformation},
        {"debug", cmtInformation},
        {"warning", cmtWarning},
        {"error", cmtError}};
    EXPECT_EQ(LSent, LSentExpected);
}

TEST_F(LogFileTest, EmptyTextStillMakesALineButNoDebugMessage) {
    {
        TLogFile LLog(FDir);
        LLog.LogDebug(u"");
    }
    const auto L = ReadLines(Day("2030-03", "20300304"));
    ASSERT_EQ(L.size(), 3u);
    EXPECT_EQ(L[1], "[Debug][09:15:02 123]");
    for (const TRecord& R : FDebugger.Channel().Records())
        EXPECT_FALSE(R.Text().empty());
}

TEST_F(LogFileTest, ExceptionLinesAndTheirDebugMessages) {
    EConvertError E(u"bad value");
    {
        TLogFile LLog(FDir);
        LLog.LogException(nullptr, u"ignored");
        LLog.LogException(&E, u"");
        LLog.LogException(&E, u"reading the INI");
    }
    const auto L = ReadLines(Day("2030-03", "20300304"));
    ASSERT_EQ(L.size(), 4u);
    EXPECT_EQ(L[1], "[Error][09:15:02 123]Excepiton EConvertError - bad value");
    EXPECT_EQ(L[2], "[Error][09:15:02 123]reading the INI EConvertError - bad value");

    std::vector<std::pair<std::string, uint32_t>> LSent;
    for (const TRecord& R : FDebugger.Channel().Records())
        if (R.MsgType() != cmtObject && R.Text() != CStart)
            LSent.emplace_back(R.Text(), R.MsgType());
    const std::vector<std::pair<std::string, uint32_t>> LExpected = {
        {"Excepiton EConvertError - bad value", cmtError},
        {"Exception: EConvertError - bad value", cmtInformation},
        {"reading the INI EConvertError - bad value", cmtError},
        {"reading the INI EConvertError - bad value", cmtInformation}};
    EXPECT_EQ(LSent, LExpected);
}

TEST_F(LogFileTest, NewDayAndNewMonthGoToNewFiles) {
    SetClock({2030, 1, 31, 23, 59, 59, 999});
    fs::create_directories(FDir / "log" / "2030-02");
    std::ofstream(Day("2030-02", "20300202"), std::ios::binary) << "earlier\r\n";
    {
        TLogFile LLog(FDir);
        LLog.LogInfo(u"last of January");
        SetClock({2030, 2, 1, 0, 0, 0, 0});
        LLog.LogInfo(u"first of February");
        SetClock({2030, 2, 2, 8, 0, 0, 5});
        LLog.LogInfo(u"into an existing file");
    }
    EXPECT_EQ(ReadLines(Day("2030-01", "20300131")),
              (std::vector<std::string>{"[Info][23:59:59 999]" + CStart,
                                        "[Info][23:59:59 999]last of January"}));
    EXPECT_EQ(ReadLines(Day("2030-02", "20300201")),
              (std::vector<std::string>{"[Info][00:00:00 000]first of February"}));
    EXPECT_EQ(
        ReadLines(Day("2030-02", "20300202")),
        (std::vector<std::string>{"earlier", "[Info][08:00:00 005]into an existing file", CExit}));
}

TEST_F(LogFileTest, EleventhLineWaitsForTheWriterAndEveryFailureIsReported) {
    std::ofstream(FDir / "log") << "a file where the folder should be";
    TDebugOutputGate LGate(true);
    std::vector<UnicodeString> LTold; // the writer's until the log is gone
    {
        TLogFile LLog(FDir, [&](const UnicodeString& AReason) { LTold.push_back(AReason); });
        ASSERT_TRUE(LGate.WaitHeld()); // the writer is stuck in the banner's report
        for (int I = 0; I < 10; ++I)
            LLog.LogInfo(u"queued " + IntToStr(I));
        auto LEleventh = std::async(std::launch::async, [&] { LLog.LogInfo(u"eleventh"); });
        EXPECT_EQ(LEleventh.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
        LGate.Release();
        EXPECT_EQ(LEleventh.wait_for(CGenerous), std::future_status::ready);
    }
    const auto LReports = LGate.Reports();
    EXPECT_EQ(LReports.size(), 13u); // banner, eleven lines, exit banner
    for (const UnicodeString& S : LReports)
        EXPECT_EQ(S.rfind(u"SaveLogToFile.error: ", 0), 0u) << UnicodeToUtf8(S);
    EXPECT_TRUE(fs::is_regular_file(FDir / "log"));
    // Told once, with the report's text, for the whole stretch of lost lines.
    ASSERT_EQ(LTold.size(), 1u);
    EXPECT_EQ(u"SaveLogToFile.error: " + LTold[0], LReports[0]);
}

// Linux only: it needs /dev/full behind the day's file name (Windows has no
// such device; LogFileIoTest shows a full disk through Wine's drive Z:).
#ifndef _WIN32
TEST_F(LogFileTest, FullDiskLosesLinesWithAReportEachAndGoesOn) {
    fs::create_directories(FDir / "log" / "2030-03");
    fs::create_symlink("/dev/full", Day("2030-03", "20300304"));
    TDebugOutputGate LGate(false);
    {
        TLogFile LLog(FDir);
        LLog.LogError(u"lost");
        SetClock({2030, 3, 5, 0, 0, 0, 0});
        LLog.LogError(u"kept");
    }
    EXPECT_EQ(LGate.Reports().size(), 2u);
    EXPECT_EQ(ReadLines(Day("2030-03", "20300305")),
              (std::vector<std::string>{"[Error][00:00:00 000]kept", CExit}));
}
#endif

TEST_F(LogFileTest, ShutDownWritesWhatIsStillQueuedBeforeTheExitBanner) {
    // The banner's month folder is blocked, so the writer sticks in its report
    // while April's lines queue up; shut-down then begins with all of them queued.
    fs::create_directories(FDir / "log");
    std::ofstream(FDir / "log" / "2030-03") << "blocked";
    TDebugOutputGate LGate(true);
    auto LLog = std::make_unique<TLogFile>(FDir);
    ASSERT_TRUE(LGate.WaitHeld());
    SetClock({2030, 4, 1, 12, 0, 0, 0});
    for (int I = 0; I < 10; ++I)
        LLog->LogInfo(u"line " + IntToStr(I));
    auto LDestroyed = std::async(std::launch::async, [&] { LLog.reset(); });
    EXPECT_EQ(LDestroyed.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    LGate.Release();
    ASSERT_EQ(LDestroyed.wait_for(CGenerous), std::future_status::ready);
    const auto L = ReadLines(Day("2030-04", "20300401"));
    ASSERT_EQ(L.size(), 11u);
    for (int I = 0; I < 10; ++I)
        EXPECT_EQ(L[static_cast<size_t>(I)], "[Info][12:00:00 000]line " + std::to_string(I));
    EXPECT_EQ(L[10], CExit);
}

TEST_F(LogFileTest, ManyThreadsEachLineOnceInEachThreadsOrder) {
    constexpr int CThreads = 8, CLines = 300;
    {
        TLogFile LLog(FDir);
        std::vector<std::jthread> LThreads;
        for (int T = 0; T < CThreads; ++T)
            LThreads.emplace_back([&LLog, T] {
                for (int I = 0; I < CLines; ++I)
                    LLog.LogInfo(u"t" + IntToStr(T) + u" " + IntToStr(I));
            });
    }
    const auto L = ReadLines(Day("2030-03", "20300304"));
    ASSERT_EQ(L.size(), static_cast<size_t>(CThreads * CLines + 2));
    EXPECT_EQ(L.front(), "[Info][09:15:02 123]" + CStart);
    EXPECT_EQ(L.back(), CExit);
    std::map<int, int> LNext;
    for (size_t I = 1; I + 1 < L.size(); ++I) {
        int T = -1, N = -1;
        ASSERT_EQ(std::sscanf(L[I].c_str(), "[Info][09:15:02 123]t%d %d", &T, &N), 2) << L[I];
        EXPECT_EQ(N, LNext[T]) << "thread " << T;
        LNext[T] = N + 1;
    }
    ASSERT_EQ(LNext.size(), static_cast<size_t>(CThreads));
    for (const auto& [T, N] : LNext)
        EXPECT_EQ(N, CLines);
}

TEST_F(LogFileTest, WriterWaitsForLinesWithoutPolling) {
    TLogFile LLog(FDir);
    for (int I = 0; I < 50; ++I)
        LLog.LogDebug(u"line");
    const fs::path LFile = Day("2030-03", "20300304");
    const auto LDeadline = std::chrono::steady_clock::now() + CGenerous;
    while (CountLines(LFile) < 51 && std::chrono::steady_clock::now() < LDeadline)
        std::this_thread::yield();
    ASSERT_EQ(CountLines(LFile), 51u);
    EXPECT_EQ(LLog.WorkerPasses(), 1u); // one pass, still waiting for the next line
}

TEST(LogFileUnit, GlobalIsSetOnlyBetweenInitAndFinalizeAndLogsBesideTheProgram) {
    const TDateTime LDate = EncodeDateTime({2031, 7, 8, 10, 0, 0, 0});
    const fs::path LFile = GetExecutableDir() / "log" / "2031-07" / "20310708.log";
    fs::remove(LFile);
    SetNowOverride([LDate] { return LDate; });
    EXPECT_EQ(GLogFile, nullptr);
    InitLogFileUnit();
    ASSERT_NE(GLogFile, nullptr);
    EXPECT_EQ(GLogFile->FileNameOf(LDate), LFile);
    FinalizeLogFileUnit();
    EXPECT_EQ(GLogFile, nullptr);
    SetNowOverride({});
    EXPECT_EQ(ReadLines(LFile), (std::vector<std::string>{"[Info][10:00:00 000]" + CStart, CExit}));
    fs::remove_all(LFile.parent_path());
}

#ifndef _WIN32
// Linux only: an installed program cannot write beside itself.
TEST_F(LogFileTest, UnitLogsIntoTheUserStateFolderWhenTheProgramFolderIsReadOnly) {
    const fs::path LState = FDir / "state";
    TEnvScope LStateHome("XDG_STATE_HOME", LState.string());
    SetDirWritableCheck([](const fs::path&) { return false; });
    InitLogFileUnit();
    const fs::path LFile = GLogFile->FileNameOf(FNow.load());
    FinalizeLogFileUnit();
    SetDirWritableCheck({});

    EXPECT_EQ(LFile, LState / "scaleprobe" / "log" / "2030-03" / "20300304.log");
    EXPECT_EQ(ReadLines(LFile), (std::vector<std::string>{"[Info][09:15:02 123]" + CStart, CExit}));
    struct stat LInfo {};
    ASSERT_EQ(stat((LState / "scaleprobe").c_str(), &LInfo), 0);
    EXPECT_EQ(LInfo.st_mode & 0777, 0700u);
}
#endif

// Linux only: a write that stops part-way needs a file-size limit
// (RLIMIT_FSIZE), which Windows does not have.
#ifndef _WIN32
namespace {
// A file-size limit for this process, with SIGXFSZ ignored, so that writes
// past it fail part-way; both are restored on leaving.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t ALimit) {
        getrlimit(RLIMIT_FSIZE, &FOld);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit LNew = FOld;
        LNew.rlim_cur = ALimit;
        setrlimit(RLIMIT_FSIZE, &LNew);
    }
    ~TFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }

private:
    rlimit FOld{};
    void (*FOldHandler)(int) = nullptr;
};
} // namespace

TEST_F(LogFileTest, ALineThatDoesNotFitLeavesNothingAndTheNextLineStartsClean) {
    const fs::path LFile = Day("2030-03", "20300304");
    fs::create_directories(LFile.parent_path());
    std::ofstream(LFile, std::ios::binary) << "earlier\r\n";
    const std::string LBanner = "[Info][09:15:02 123]" + CStart + "\r\n";
    TDebugOutputGate LGate(false);
    std::vector<UnicodeString> LTold;
    {
        // Room for the banner and a short line, not for a long one.
        TFileSizeLimit LLimit(9 + LBanner.size() + 40);
        TLogFile LLog(FDir, [&](const UnicodeString& AReason) { LTold.push_back(AReason); });
        LLog.LogError(u"long " + UnicodeString(300, u'x'));
        LLog.LogError(u"short");
    }
    EXPECT_EQ(ReadLines(LFile),
              (std::vector<std::string>{"earlier", "[Info][09:15:02 123]" + CStart,
                                        "[Error][09:15:02 123]short"}));
    EXPECT_EQ(LGate.Reports().size(), 2u); // the long line and the exit banner
    // Each lost after a line that went in.
    EXPECT_EQ(LTold.size(), 2u);
}
#endif

TEST_F(LogFileTest, FoldersRemovedWhileRunningAreMadeAgainAfterAFailedLine) {
    fs::create_directories(FDir / "log");
    std::ofstream(FDir / "log" / "2030-04") << "blocks the next month's folder";
    TDebugOutputGate LGate(true);
    {
        TLogFile LLog(FDir);
        SetClock({2030, 4, 1, 0, 0, 0, 0});
        LLog.LogInfo(u"lost"); // its folder cannot be made
        SetClock({2030, 3, 4, 9, 15, 3, 0});
        LLog.LogInfo(u"after");
        ASSERT_TRUE(LGate.WaitHeld()); // the banner is in, "lost" is being reported
        fs::remove_all(FDir / "log");
        LGate.Release();
    }
    EXPECT_EQ(ReadLines(Day("2030-03", "20300304")),
              (std::vector<std::string>{"[Info][09:15:03 000]after", CExit}));
    EXPECT_EQ(LGate.Reports().size(), 1u);
}
