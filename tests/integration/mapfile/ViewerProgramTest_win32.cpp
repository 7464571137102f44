// The channel's start of the viewer on Windows: the command from the current
// user's registry value.
#include "ViewerProgramFixture.h"
#include "tests/support/Win32Probe.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace {
std::u16string WindowsPath(std::string APath) {
    if (!APath.empty() && APath.front() == '/') {
        for (char& C : APath)
            C = C == '/' ? '\\' : C;
        APath = "Z:" + APath;
    }
    return Utf8ToUnicode(APath);
}

TEST_F(ViewerProgramTest, ViewerFromTheRegistryValueShowsTheStartBannerFirst) {
    // Ends by itself once it has shown the first records.
    ASSERT_TRUE(WriteViewerSetting(u"\"" + WindowsPath(CViewerProgram) +
                                   u"\" --count 2 --output \"" + WindowsPath(FOut.string()) +
                                   u"\""));
    InitDebuggerUnit();
    InitLogFileUnit();
    GLogFile->LogInfo(u"hello");
    FinalizeLogFileUnit();
    FinalizeDebuggerUnit();
    RemoveViewerSetting();
    // The first message waited for the start, so the viewer is running or has
    // ended already; it withdraws its objects when it ends.
    const auto LDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!NothingLeftBehind() && std::chrono::steady_clock::now() < LDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(NothingLeftBehind()) << "the viewer did not end after its records";

    std::vector<std::string> LTexts;
    for (const std::string& LLine : ReadFileLines(FOut)) {
        const auto LFields = Fields(LLine);
        ASSERT_EQ(LFields.size(), 6u) << LLine;
        EXPECT_EQ(LFields[1], std::to_string(GetCurrentProcessId()));
        if (LFields[3] != "Object")
            LTexts.push_back(LFields[5]);
    }
    ASSERT_FALSE(LTexts.empty());
    EXPECT_EQ(LTexts.front(), EscapedAnsi(CStartBanner));
}

// A console reads 8-bit text in its own code page, which need not be the
// records': the viewer writes to it in UTF-16, and the text shows as sent.
TEST_F(ViewerProgramTest, ConsoleShowsTheRecordsChineseText) {
    const int LViewer = StartViewerOnConsole({});
    if (LViewer == 0)
        GTEST_SKIP() << "no console to write to (Wine makes one only on a display)";
    ASSERT_GT(LViewer, 0);
    TMapFileChannel LChannel(false);
    ASSERT_TRUE(LChannel.CheckReady());
    // Short enough for one row of the console.
    const UnicodeString LText = u"称重仪表 ok";
    const AnsiString LAnsi = UnicodeToAnsi(LText);
    ASSERT_EQ(AnsiToUnicode(LAnsi), LText) << "the code page has no Chinese";
    TMsgDesc LDesc = MakeRecord(static_cast<int32_t>(LAnsi.size()));
    std::memcpy(LDesc.Msg, LAnsi.data(), LAnsi.size());
    LChannel.SendContent(LDesc, LDesc.Length);
    std::u16string LShown;
    const auto LDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((LShown = ConsoleScreenText()).find(u" ok") == std::u16string::npos &&
           std::chrono::steady_clock::now() < LDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(StopViewer(LViewer), 0);
    CloseConsole();
    EXPECT_NE(LShown.find(LText), std::u16string::npos) << UnicodeToUtf8(LShown);
}
} // namespace
