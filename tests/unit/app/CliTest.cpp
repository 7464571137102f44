// The console front end's options and its console backend.
#include "app/CliOptions.h"
#include "app/Console.h"
#include "app/ConsoleControls.h"
#include "app/MainForm.h"
#include "app/SearchReport.h"
#include "app/widgets/LEDDisplay.h"
#include "ui/Bitmap.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <memory>
#include <sstream>

namespace {

// The window on the console backend, on a terminal (ATerminal) or not, shown.
struct TConsoleWindow {
    explicit TConsoleWindow(bool ATerminal) : Console(Out, Err, ATerminal) {
        SetControlBackend(&Console);
        Form = std::make_unique<TForm1>();
        Form->Show();
    }
    ~TConsoleWindow() {
        Form.reset();
        SetControlBackend(nullptr);
    }
    THeadlessLoop Loop;
    std::ostringstream Out, Err;
    TConsoleControls Console;
    std::unique_ptr<TForm1> Form;
};

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
    ASSERT_TRUE(ParseCliOptions({"--simulate", "ascii:57600:7E1"}, LOptions, LError));
    EXPECT_EQ(LOptions.Sim.Framing, "7E1");
    ASSERT_TRUE(ParseCliOptions({"--simulate", "continuous-stx:4800:7O1"}, LOptions, LError));
    EXPECT_EQ(LOptions.Sim.Protocol, "continuous-stx");
    EXPECT_EQ(LOptions.Sim.Framing, "7O1");
    ASSERT_TRUE(ParseCliOptions({"--simulate", "reversed-eq:2400"}, LOptions, LError));
    EXPECT_EQ(LOptions.Sim.Framing, "8N1");
    ASSERT_TRUE(ParseCliOptions({}, LOptions, LError));
    // --save takes a file only when one follows.
    ASSERT_TRUE(ParseCliOptions({"--save", "--json", "--extended"}, LOptions, LError));
    EXPECT_TRUE(LOptions.Save && LOptions.Json && LOptions.Extended);
    EXPECT_TRUE(LOptions.SaveFile.empty());
    ASSERT_TRUE(ParseCliOptions({"--save", "site.INI"}, LOptions, LError));
    EXPECT_EQ(LOptions.SaveFile, "site.INI");
    ASSERT_TRUE(ParseCliOptions(
        {"--capture", "a.spcap", "--baud", "1200", "--framing", "7E2", "--seconds", "2.5"},
        LOptions, LError))
        << LError;
    EXPECT_TRUE(LOptions.Capture && LOptions.CaptureAt);
    EXPECT_EQ(LOptions.CaptureFile, "a.spcap");
    EXPECT_EQ(LOptions.CaptureSettings.BaudRate, 1200u);
    EXPECT_EQ(FramingText(LOptions.CaptureSettings), "7E2");
    EXPECT_EQ(LOptions.CaptureSeconds, 2.5);
    ASSERT_TRUE(ParseCliOptions({"--capture", "a.spcap", "--extended"}, LOptions, LError));
    EXPECT_FALSE(LOptions.CaptureAt);
    ASSERT_TRUE(ParseCliOptions({"--all-ports", "--extended", "--json"}, LOptions, LError));
    EXPECT_TRUE(LOptions.AllPorts && LOptions.Extended && LOptions.Json);
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
             {"--simulate", "ascii:9600:7N2"},
             {"--simulate", "reversed-eq:9600:2"},
             {"--json", "--watch"},
             {"--all-ports", "--port", "/dev/ttyS0"},
             {"--all-ports", "--simulate", "keli:9600"},
             {"--all-ports", "--watch"},
             {"--all-ports", "--save"},
             {"--list", "--all-ports"},
             {"--capture"},
             {"--baud", "9600"},
             {"--seconds", "5"},
             {"--capture", "f", "--framing", "7E1"},
             {"--capture", "f", "--baud", "0"},
             {"--capture", "f", "--baud", "9600", "--framing", "9N1"},
             {"--capture", "f", "--seconds", "0"},
             {"--capture", "f", "--all-ports"},
             {"--capture", "f", "--watch"},
             {"--capture", "f", "--baud", "9600", "--extended"},
         }) {
        std::string LError;
        EXPECT_FALSE(ParseCliOptions(LArgs, LOptions, LError)) << LArgs[0];
        EXPECT_FALSE(LError.empty());
    }
    // An unknown option is named in the error; --help is an option of its own.
    std::string LError;
    EXPECT_FALSE(ParseCliOptions({"--list", "--prot", "x"}, LOptions, LError));
    EXPECT_NE(LError.find("unknown option '--prot'"), std::string::npos) << LError;
    ASSERT_TRUE(ParseCliOptions({"--help"}, LOptions, LError));
    EXPECT_TRUE(LOptions.Help);
}

TEST(SearchReport, AllPortsGiveOneEntryEachWithWhyAPortCouldNotBeOpened) {
    TSearchReport LFound, LBusy, LLost;
    LFound.Port = "/dev/pts/1";
    LFound.Trials.push_back({"keli", 9600, 8, "none", 0, 80, 1000, false, 1000, ""});
    LFound.Found = 0;
    LBusy.Port = "/dev/pts/2";
    LBusy.ErrorCode = "port";
    LBusy.ErrorReason = "busy";
    LBusy.ErrorText = "cannot open /dev/pts/2: locked";
    LLost.Port = "/dev/pts/3";
    LLost.Trials.push_back({"keli", 9600, 8, "none", 0, 0, 1000, false, 0, ""});
    LLost.Trials.push_back({"xk3168", 4800, 8, "none", 2, 0, 1000, false, 0, "gone"});
    LLost.ErrorCode = "port";
    LLost.ErrorReason = "missing";
    LLost.ErrorText = "port /dev/pts/3 vanished in trial 2: gone";
    const nlohmann::json LDoc =
        nlohmann::json::parse(AllPortsReportJson({LFound, LBusy, LLost}, 0));
    EXPECT_EQ(LDoc["found"], true);
    EXPECT_EQ(LDoc["exit_code"], 0);
    EXPECT_FALSE(LDoc.contains("error"));
    ASSERT_EQ(LDoc["ports"].size(), 3u);
    for (const auto& LPort : LDoc["ports"])
        EXPECT_FALSE(LPort.contains("exit_code"));
    EXPECT_EQ(LDoc["ports"][0]["port"], "/dev/pts/1");
    EXPECT_EQ(LDoc["ports"][0]["protocol"], "keli");
    EXPECT_EQ(LDoc["ports"][1]["found"], false);
    EXPECT_EQ(
        LDoc["ports"][1]["error"],
        nlohmann::json::parse(
            R"({"code": "port", "reason": "busy", "text": "cannot open /dev/pts/2: locked"})"));
    EXPECT_FALSE(LDoc["ports"][2]["trials"][0].contains("open_error"));
    EXPECT_EQ(LDoc["ports"][2]["trials"][1]["open_error"], "gone");
    EXPECT_EQ(LDoc["ports"][2]["error"]["reason"], "missing");

    const nlohmann::json LNone =
        nlohmann::json::parse(AllPortsReportJson({}, 2, "no-port", "no serial port"));
    EXPECT_EQ(LNone["found"], false);
    EXPECT_EQ(LNone["error"]["code"], "no-port");
    EXPECT_TRUE(LNone["ports"].empty());
}

TEST(ConsoleControls, TranscriptToOutputAndMessagesToErrors) {
    TConsoleWindow W(false);
    W.Form->Memo1->Append(u"尝试");
    W.Form->Memo1->Append(u"");
    W.Form->LEDDisplay1->SetCaption(u"12");
    EXPECT_EQ(W.Console.Outcome(), TSearchOutcome::soNone);
    ShowMessage(u"找到仪表");
    W.Form.reset();
    // "Memo1" was there before the window was shown, so it is not a line of
    // the search's transcript.
    EXPECT_EQ(W.Out.str(), "尝试\n\n");
    EXPECT_EQ(W.Err.str(), "找到仪表\n");
    EXPECT_EQ(W.Console.Outcome(), TSearchOutcome::soFound);
}

TEST(ConsoleControls, SeveralWindowsLinesCarryTheirPortAndBoxesStayQuiet) {
    THeadlessLoop LLoop;
    std::ostringstream LOut, LErr;
    TConsoleControls LConsole(LOut, LErr, false);
    SetControlBackend(&LConsole);
    {
        TForm1 LFirst, LSecond;
        LConsole.SetLinePrefix(LFirst, u"[COM1]");
        LConsole.SetLinePrefix(LSecond, u"[COM2]");
        LFirst.Show();
        LSecond.Show();
        LConsole.SetQuietMessages(true);
        LFirst.Memo1->Append(u"a");
        LSecond.Memo1->Append(u"b");
        LFirst.Memo1->Append(u"");
        ShowMessage(u"找到仪表");
        EXPECT_EQ(LConsole.Messages(), std::vector<UnicodeString>{u"找到仪表"});
    }
    SetControlBackend(nullptr);
    EXPECT_EQ(LOut.str(), "[COM1] a\n[COM2] b\n[COM1]\n");
    EXPECT_EQ(LErr.str(), "");
}

TEST(ConsoleControls, OutcomeOfEachEndOfASearch) {
    EXPECT_EQ(OutcomeOfMessage(u"找到仪表"), TSearchOutcome::soFound);
    EXPECT_EQ(OutcomeOfMessage(u"自动搜索完毕, 没有找到适配的仪表"), TSearchOutcome::soNotFound);
    EXPECT_EQ(OutcomeOfMessage(u"当前无可用串口，请检查连接后再重试"), TSearchOutcome::soNoPort);
    EXPECT_EQ(OutcomeOfMessage(u"自动搜索完毕, 配置出错"), TSearchOutcome::soConfigError);
    EXPECT_EQ(OutcomeOfMessage(u"打开串口列表的注册表项出错"), TSearchOutcome::soNone);
}

TEST(ConsoleControls, DisplayIsDrawnBelowTheTranscriptAndRedrawnInPlace) {
    TConsoleWindow W(true);
    const std::string LFirst = W.Out.str();
    // Seven rows of sixty blocks.
    size_t LBlocks = 0;
    for (size_t P = LFirst.find("\xE2\x96\x88"); P != std::string::npos;
         P = LFirst.find("\xE2\x96\x88", P + 1))
        ++LBlocks;
    EXPECT_EQ(LBlocks, 7u * 60u);
    W.Out.str("");
    W.Form->Memo1->Append(u"line");
    // Up over the drawing, erase, the line, the drawing again.
    EXPECT_EQ(W.Out.str().rfind("\x1b[7F\x1b[Jline\n", 0), 0u);
    W.Out.str("");
    W.Form->LEDDisplay1->SetCaption(u"-000");
    EXPECT_TRUE(W.Out.str().empty());
    // In place: up into the drawing and back, nothing erased.
    W.Form->LEDDisplay1->SetCaption(u"8");
    EXPECT_NE(W.Out.str().find("F\x1b["), std::string::npos);
    EXPECT_EQ(W.Out.str().find("\x1b[J"), std::string::npos);
    // A message box's text goes above the drawing, which follows it again.
    W.Out.str("");
    ShowMessage(u"找到仪表");
    EXPECT_EQ(W.Out.str().rfind("\x1b[7F\x1b[J", 0), 0u);
    EXPECT_EQ(W.Out.str().size() > 20 * 7, true);
    EXPECT_EQ(W.Err.str(), "找到仪表\n");
}

TEST(RenderBlocks, LitDotsTakeTheirColourAndFrameIsLeftOut) {
    TBitmap LPicture(12, 9, RGB(0, 51, 0));
    LPicture.FrameRect(Rect(0, 0, 12, 9), RGB(255, 0, 0));
    LPicture.SetPixel(2, 2, RGB(0, 255, 0));
    const std::string LText = RenderBlocks(LPicture, 2, 1);
    EXPECT_EQ(LText, "\x1b[38;2;0;255;0m\xE2\x96\x88\x1b[38;2;0;51;0m\xE2\x96\x88\x1b[0m\n");
}

} // namespace

namespace {
// What a terminal shows of the console's output: a row of cells per line,
// '#' for a lit block, '.' for an unlit one, ' ' for anything else; the
// cursor movements and erasing that the console uses.
struct TScreen {
    std::vector<std::string> Rows{1};
    size_t Row = 0, Col = 0;
    bool Lit = false;
    size_t Blocks = 0; // written so far
    std::string Bad;   // movements no terminal makes

    void Put(char ACell) {
        Rows.resize(std::max(Rows.size(), Row + 1));
        Rows[Row].resize(std::max(Rows[Row].size(), Col + 1), ' ');
        Rows[Row][Col++] = ACell;
    }
    void Feed(const std::string& AText) {
        for (size_t P = 0; P < AText.size();) {
            if (AText.compare(P, 2, "\x1b[") == 0) {
                const size_t LEnd = AText.find_first_of("FEGJm", P + 2);
                const std::string LArgs = AText.substr(P + 2, LEnd - P - 2);
                const long LN = LArgs.empty() || AText[LEnd] == 'm' ? 1 : std::stol(LArgs);
                if (LN <= 0 || (AText[LEnd] == 'F' && size_t(LN) > Row)) {
                    Bad += LArgs + AText[LEnd] + ' ';
                    P = LEnd + 1;
                    continue;
                }
                const size_t N = size_t(LN);
                switch (AText[LEnd]) {
                case 'F':
                    Row -= N, Col = 0;
                    break;
                case 'E':
                    Row += N, Col = 0;
                    break;
                case 'G':
                    Col = N - 1;
                    break;
                case 'J':
                    Rows.resize(Row + 1);
                    Rows[Row].resize(std::min(Rows[Row].size(), Col));
                    break;
                default:
                    Lit = LArgs == "38;2;0;255;0";
                }
                P = LEnd + 1;
            } else if (AText.compare(P, 3, "\xE2\x96\x88") == 0) {
                Put(Lit ? '#' : '.');
                ++Blocks;
                P += 3;
            } else if (AText[P] == '\n') {
                ++Row, Col = 0;
                ++P;
            } else {
                if ((AText[P] & 0xC0) != 0x80)
                    Put(' ');
                ++P;
            }
        }
    }
    // The seven rows above the cursor: the drawing.
    std::vector<std::string> Drawing() const {
        std::vector<std::string> LRows;
        for (size_t R = Row - 7; R < Row; ++R)
            LRows.push_back(R < Rows.size() ? Rows[R] : "");
        return LRows;
    }
};

// The font table's rows for AText right-justified in ACells cells.
std::vector<std::string> FontRows(const std::u16string& AText, size_t ACells) {
    std::vector<std::string> LRows(7, std::string(6 * ACells, '.'));
    const size_t LFirst = ACells - AText.size();
    for (size_t I = 0; I < AText.size(); ++I) {
        const TLEDCharMask& M = DotMasks[AText[I] - CLEDFirstChar];
        const uint8_t LCols[5] = {M.Col0, M.Col1, M.Col2, M.Col3, M.Col4};
        for (int R = 0; R < 7; ++R)
            for (int C = 0; C < 5; ++C)
                if (LCols[C] & (128 >> R))
                    LRows[size_t(R)][6 * (LFirst + I) + size_t(C)] = '#';
    }
    return LRows;
}
} // namespace

TEST(ConsoleControls, DrawingReadsBackAsTheFontTable) {
    TConsoleWindow W(true);
    ASSERT_EQ(W.Form->LEDDisplay1->AdjustClientRect().Width(), 663);
    ASSERT_EQ(W.Form->LEDDisplay1->AdjustClientRect().Height(), 80);
    TScreen LScreen;
    LScreen.Feed(W.Out.str());
    // Each caption after the one before, some with a transcript line between
    // them (the drawing is drawn again below it).
    for (const std::u16string LText : {u"-000", u"987.25", u"987.26", u"-12.5", u"line",
                                       u"0123456789", u"8", u"1000", u"1001", u" "}) {
        W.Out.str("");
        if (LText == u"line")
            W.Form->Memo1->Append(u"line");
        else
            W.Form->LEDDisplay1->SetCaption(LText);
        const size_t LBefore = LScreen.Blocks;
        LScreen.Feed(W.Out.str());
        const std::u16string LShown = W.Form->LEDDisplay1->Caption();
        EXPECT_EQ(LScreen.Drawing(), FontRows(LShown, 10)) << UnicodeToUtf8(LText);
        EXPECT_EQ(LScreen.Bad, "") << UnicodeToUtf8(LText);
        // One digit changed: at most that cell's dots are written.
        if (LText == u"1001" || LText == u"987.26") {
            EXPECT_LE(LScreen.Blocks - LBefore, 6u * 7u) << UnicodeToUtf8(LText);
        }
    }
}

TEST(WatchMonitor, SaysOnceWhenWeightsStopAndOnceWhenTheyReturn) {
    THeadlessLoop LLoop;
    LLoop.SetVirtualClock(true);
    std::ostringstream LOut, LErr;
    TConsoleControls LConsole(LOut, LErr, false);
    int64_t LCount = 0;
    {
        const TWatchMonitor LMonitor(LConsole, u"/dev/ttyS0", [&] { return LCount; });
        // Weights every 100 ms: nothing said.
        for (int I = 0; I < 50; ++I) {
            ++LCount;
            LLoop.AdvanceTime(100);
        }
        EXPECT_EQ(LErr.str(), "");
        // Silence: said once, after 3 s and not before.
        LLoop.AdvanceTime(2500);
        EXPECT_EQ(LErr.str(), "");
        LLoop.AdvanceTime(1000);
        EXPECT_EQ(LErr.str(), "no data from /dev/ttyS0 for 3 s\n");
        LLoop.AdvanceTime(10000);
        EXPECT_TRUE(LMonitor.Silent());
        EXPECT_EQ(LErr.str(), "no data from /dev/ttyS0 for 3 s\n");
        // Back: said once.
        ++LCount;
        LLoop.AdvanceTime(500);
        ++LCount;
        LLoop.AdvanceTime(500);
        EXPECT_EQ(LErr.str(), "no data from /dev/ttyS0 for 3 s\ndata from /dev/ttyS0 again\n");
        EXPECT_FALSE(LMonitor.Silent());
    }
    EXPECT_EQ(LOut.str(), "");
}

// The JSON carries the weights as the display shows them, for every
// protocol, and each trial's frames refused for their check.
TEST(SearchReportJson, WeightsAreTheDisplayedNumbers) {
    const struct {
        double Weight;
        const char* Text;
    } CCases[] = {
        {2000 * std::pow(0.1, 2), "20.0"},
        {12345 * std::pow(0.1, 3), "12.345"},
        {-15605 * std::pow(0.1, 1), "-1560.5"},
        {999999 * std::pow(0.1, 6), "0.999999"},
        {1560, "1560.0"},
    };
    for (const auto& C : CCases) {
        TSearchReport LReport;
        TTrialRecord LTrial;
        LTrial.Protocol = "keli";
        LTrial.LastWeight = C.Weight;
        LTrial.CheckRefused = 7;
        LReport.Trials = {LTrial};
        LReport.Found = 0;
        const std::string LJson = SearchReportJson(LReport, 0);
        EXPECT_NE(LJson.find(std::string("\"last_weight\": ") + C.Text + ",\n"), std::string::npos)
            << LJson;
        EXPECT_NE(LJson.find("\"check_refused\": 7,"), std::string::npos) << LJson;
    }
}

// After a search that found nothing the transcript and the JSON tell which
// trial received the most bytes (the first of equals) and how they began.
TEST(SearchReportJson, NoneFoundNamesTheTrialWithTheMostBytes) {
    TTrialRecord LQuiet, LNoise, LSame;
    LQuiet.Protocol = LNoise.Protocol = LSame.Protocol = "keli";
    LNoise.BaudRate = LSame.BaudRate = 1200;
    LNoise.BytesRead = LSame.BytesRead = 517;
    LNoise.FirstBytes = {0x02, 'A', 0x7F, ' ', 0xFF};
    TSearchReport LReport;
    LReport.Trials = {LQuiet, LNoise, LSame};
    EXPECT_EQ(MostBytesLines(LReport.Trials),
              (std::vector<std::string>{"most bytes: 517 in trial 2 (keli 1200 baud), the first 5:",
                                        "  02 41 7F 20 FF", "  .A. ."}));
    const nlohmann::json LDoc = nlohmann::json::parse(SearchReportJson(LReport, 1));
    EXPECT_EQ(LDoc["most_bytes"], nlohmann::json::parse(R"({"trial": 2, "bytes": 517,
                                                    "hex": "02 41 7F 20 FF", "ascii": ".A. ."})"));
    EXPECT_EQ(LDoc["trials"][0]["bytes_read"], 0);
    EXPECT_EQ(LDoc["trials"][1]["bytes_read"], 517);

    LReport.Trials = {LQuiet, LQuiet};
    EXPECT_EQ(MostBytesLines(LReport.Trials),
              std::vector<std::string>{"no bytes arrived in any trial"});
    EXPECT_EQ(nlohmann::json::parse(SearchReportJson(LReport, 1))["most_bytes"],
              nlohmann::json::parse(R"({"trial": null, "bytes": 0, "hex": "", "ascii": ""})"));
    // A find, or no trial at all, has none.
    LReport.Found = 0;
    EXPECT_FALSE(nlohmann::json::parse(SearchReportJson(LReport, 0)).contains("most_bytes"));
    EXPECT_FALSE(nlohmann::json::parse(SearchReportJson({}, 2)).contains("most_bytes"));
}
