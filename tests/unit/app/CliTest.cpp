// The console front end's options and its console backend.
#include "app/CliOptions.h"
#include "app/ConsoleControls.h"
#include "app/MainForm.h"
#include "platform/Bitmap.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(CliOptions, AcceptsEachOption) {
    TCliOptions LOptions;
    std::string LError;
    ASSERT_TRUE(ParseCliOptions({"--port", "/dev/ttyUSB0", "--watch"}, LOptions, LError));
    EXPECT_EQ(LOptions.Port, "/dev/ttyUSB0");
    EXPECT_TRUE(LOptions.Watch);
    EXPECT_FALSE(LOptions.List);
    ASSERT_TRUE(ParseCliOptions({"--list"}, LOptions, LError));
    EXPECT_TRUE(LOptions.List);
    EXPECT_TRUE(LOptions.Port.empty());
    ASSERT_TRUE(ParseCliOptions({"--simulate", "xk3168:4800:2"}, LOptions, LError));
    EXPECT_TRUE(LOptions.Simulate);
    EXPECT_EQ(LOptions.Sim.Protocol, "xk3168");
    EXPECT_EQ(LOptions.Sim.BaudRate, 4800);
    EXPECT_EQ(LOptions.Sim.StopBits, 2);
    ASSERT_TRUE(ParseCliOptions({"--simulate", "keli:19200"}, LOptions, LError));
    EXPECT_EQ(LOptions.Sim.StopBits, -1);
    ASSERT_TRUE(ParseCliOptions({}, LOptions, LError));
}

TEST(CliOptions, RejectsBadUsage) {
    TCliOptions LOptions;
    for (const std::vector<std::string>& LArgs : std::vector<std::vector<std::string>>{
             {"--port"},
             {"--bogus"},
             {"extra"},
             {"--simulate", "keli"},
             {"--simulate", "modbus:9600"},
             {"--simulate", "keli:fast"},
             {"--simulate", "keli:0"},
             {"--simulate", "keli:9600:3"},
             {"--simulate", "keli:9600", "--port", "/dev/ttyS0"},
         }) {
        std::string LError;
        EXPECT_FALSE(ParseCliOptions(LArgs, LOptions, LError)) << LArgs[0];
        EXPECT_FALSE(LError.empty());
    }
}

TEST(ConsoleControls, TranscriptToOutputAndMessagesToErrors) {
    THeadlessLoop LLoop;
    std::ostringstream LOut, LErr;
    TConsoleControls LConsole(LOut, LErr, false);
    SetControlBackend(&LConsole);
    {
        TForm1 LForm;
        LForm.Show();
        LForm.Memo1->Append(u"尝试");
        LForm.Memo1->Append(u"");
        LForm.LEDDisplay1->SetCaption(u"12");
        EXPECT_EQ(LConsole.Outcome(), TSearchOutcome::soNone);
        ShowMessage(u"找到仪表");
    }
    SetControlBackend(nullptr);
    // "Memo1" was there before the window was shown, so it is not a line of
    // the search's transcript.
    EXPECT_EQ(LOut.str(), "尝试\n\n");
    EXPECT_EQ(LErr.str(), "找到仪表\n");
    EXPECT_EQ(LConsole.Outcome(), TSearchOutcome::soFound);
}

TEST(ConsoleControls, OutcomeOfEachEndOfASearch) {
    EXPECT_EQ(OutcomeOfMessage(u"找到仪表"), TSearchOutcome::soFound);
    EXPECT_EQ(OutcomeOfMessage(u"自动搜索完毕, 没有找到适配的仪表"), TSearchOutcome::soNotFound);
    EXPECT_EQ(OutcomeOfMessage(u"当前无可用串口，请检查连接后再重试"), TSearchOutcome::soNoPort);
    EXPECT_EQ(OutcomeOfMessage(u"自动搜索完毕, 配置出错"), TSearchOutcome::soConfigError);
    EXPECT_EQ(OutcomeOfMessage(u"打开串口列表的注册表项出错"), TSearchOutcome::soNone);
}

TEST(ConsoleControls, DisplayIsDrawnBelowTheTranscriptAndRedrawnInPlace) {
    THeadlessLoop LLoop;
    std::ostringstream LOut, LErr;
    TConsoleControls LConsole(LOut, LErr, true);
    SetControlBackend(&LConsole);
    {
        TForm1 LForm;
        LForm.Show();
        const std::string LFirst = LOut.str();
        // Seven rows of sixty blocks.
        size_t LBlocks = 0;
        for (size_t P = LFirst.find("\xE2\x96\x88"); P != std::string::npos;
             P = LFirst.find("\xE2\x96\x88", P + 1))
            ++LBlocks;
        EXPECT_EQ(LBlocks, 7u * 60u);
        LOut.str("");
        LForm.Memo1->Append(u"line");
        // Up over the drawing, erase, the line, the drawing again.
        EXPECT_EQ(LOut.str().rfind("\x1b[7F\x1b[Jline\n", 0), 0u);
        LOut.str("");
        LForm.LEDDisplay1->SetCaption(u"-000");
        EXPECT_TRUE(LOut.str().empty());
        LForm.LEDDisplay1->SetCaption(u"8");
        EXPECT_NE(LOut.str().find("\x1b[7F"), std::string::npos);
        // A message box's text goes above the drawing, which follows it again.
        LOut.str("");
        ShowMessage(u"找到仪表");
        EXPECT_EQ(LOut.str().rfind("\x1b[7F\x1b[J", 0), 0u);
        EXPECT_EQ(LOut.str().size() > 20 * 7, true);
        EXPECT_EQ(LErr.str(), "找到仪表\n");
    }
    SetControlBackend(nullptr);
}

TEST(RenderBlocks, LitDotsTakeTheirColourAndFrameIsLeftOut) {
    TBitmap LPicture(12, 9, RGB(0, 51, 0));
    LPicture.FrameRect(Rect(0, 0, 12, 9), RGB(255, 0, 0));
    LPicture.SetPixel(2, 2, RGB(0, 255, 0));
    const std::string LText = RenderBlocks(LPicture, 2, 1);
    EXPECT_EQ(LText, "\x1b[38;2;0;255;0m\xE2\x96\x88\x1b[38;2;0;51;0m\xE2\x96\x88\x1b[0m\n");
}

} // namespace
