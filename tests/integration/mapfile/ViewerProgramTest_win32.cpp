// The channel's start of the viewer on Windows: the command from the current
// user's registry value.
#include "ViewerProgramFixture.h"
#include "tests/support/Win32Probe.h"

#include <chrono>
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
} // namespace
