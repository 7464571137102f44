// The instrument search on the headless controls with the virtual clock.
// Clients come from a factory that makes real clients of the protocol's
// class' base, on ports that do not exist, so each connect fails as on a
// silent line; the test feeds weights through the client's own AddAWeight.
#include "app/MainForm.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const UnicodeString CPortA = u"/nonexistent/ttyA";
const UnicodeString CPortB = u"/nonexistent/ttyB";

struct TTrial {
    TAutoTestState State;
    uint64_t CreatedAt = 0;
    TConfigComm Cfg;
    bool Freed = false;
};

struct TSearchLog;

class TFakeClient : public TWeighBridgeClient {
public:
    TFakeClient(int32_t ARepeat, TSearchLog& ALog, size_t AIndex)
        : TWeighBridgeClient(ARepeat), FLog(ALog), FIndex(AIndex) {}
    ~TFakeClient() override;
    void Feed(double AValue) { AddAWeight(AValue); }
    void RefuseForCheck(int ACount) {
        for (int I = 0; I < ACount; ++I)
            WeightSink().RefusedForCheck();
    }
    size_t Index() const { return FIndex; }

private:
    TSearchLog& FLog;
    size_t FIndex;
};

struct TSearchLog {
    std::vector<TTrial> Trials;
    TFakeClient* Live = nullptr;
    int LiveCount = 0;
    int MaxLive = 0;
    int RepeatArgument = 0;
    bool FailNextCreate = false;
};

TFakeClient::~TFakeClient() {
    FLog.Trials[FIndex].Cfg = ConnectCommCfg();
    FLog.Trials[FIndex].Freed = true;
    if (FLog.Live == this)
        FLog.Live = nullptr;
    --FLog.LiveCount;
}

class SearchTest : public ::testing::Test {
protected:
    SearchTest() {
        Loop.SetVirtualClock(true);
        HeadlessControls().ClearMessages();
        HeadlessControls().OnMessageBox = nullptr;
        Form = std::make_unique<TForm1>(
            [this](TAutoTestState AState, int32_t ARepeat) { return MakeClient(AState, ARepeat); });
        UsePorts({CPortA});
        BaseLines = Form->Memo1->Lines().size();
    }
    ~SearchTest() override {
        Form.reset();
        HeadlessControls().OnMessageBox = nullptr;
    }

    std::unique_ptr<TWeighBridgeClient> MakeClient(TAutoTestState AState, int32_t ARepeat) {
        if (Log.FailNextCreate) {
            Log.FailNextCreate = false;
            throw Exception(u"no client");
        }
        Log.RepeatArgument = ARepeat;
        Log.Trials.push_back({AState, GetTickCount64(), {}, false});
        auto LClient = std::make_unique<TFakeClient>(ARepeat, Log, Log.Trials.size() - 1);
        Log.Live = LClient.get();
        Log.MaxLive = std::max(Log.MaxLive, ++Log.LiveCount);
        return LClient;
    }

    void UsePorts(std::vector<UnicodeString> APorts) {
        Form->ComboBox1->SetItems(std::move(APorts));
        Form->ComboBox1->SetItemIndex(0);
    }

    // Feeds ACount weights to the current trial's client.
    void Feed(int ACount, double AValue = 12.5) {
        ASSERT_NE(Log.Live, nullptr);
        for (int I = 0; I < ACount; ++I)
            Log.Live->Feed(AValue);
    }

    // Runs the search until it shows a message box (or 60 s pass).
    void RunToEnd() {
        for (int I = 0; I < 600 && HeadlessControls().Messages().empty(); ++I)
            Loop.AdvanceTime(100);
        // The settings of the client still in use, too.
        if (Log.Live)
            Log.Trials[Log.Live->Index()].Cfg = Log.Live->ConnectCommCfg();
    }

    // Runs until the trial after the current one has been created.
    void RunToNextTrial() {
        const size_t LCount = Log.Trials.size();
        for (int I = 0; I < 300 && Log.Trials.size() == LCount; ++I)
            Loop.AdvanceTime(10);
    }

    std::vector<UnicodeString> NewLines() const {
        const auto& LLines = Form->Memo1->Lines();
        return {LLines.begin() + static_cast<std::ptrdiff_t>(BaseLines), LLines.end()};
    }

    THeadlessLoop Loop;
    TSearchLog Log;
    std::unique_ptr<TForm1> Form;
    size_t BaseLines = 0;
};

const UnicodeString CFirst = u"尝试第一种通讯协议(适应于宁波柯力系列以及上海耀华系列等)";
const UnicodeString CSecond = u"尝试第二种通讯协议(适应与聊城昌信等)";

std::vector<UnicodeString> TrialLines(const UnicodeString& AProtocol, const UnicodeString& APort,
                                      int ARate) {
    return {u"", u"----------------------------", AProtocol,
            APort + u" - 波特率: " + Utf8ToUnicode(std::to_string(ARate))};
}

TEST_F(SearchTest, WindowStartsWithItsLayoutTexts) {
    EXPECT_EQ(Form->Caption(), u"自动检测地磅仪表 -- 测试");
    EXPECT_EQ(Form->ClientWidth(), 968);
    EXPECT_EQ(Form->ClientHeight(), 668);
    ASSERT_EQ(Form->Memo1->Lines().size(), 1u);
    EXPECT_EQ(Form->Memo1->Lines()[0], u"Memo1");
    EXPECT_EQ(Form->LEDDisplay1->Caption(), u"-000");
    EXPECT_EQ(Form->Label1->Caption(), u"可用串口:");
    EXPECT_EQ(Form->Button1->Caption(), u"自动连接");
    EXPECT_EQ(Form->Button1->Font().Height, 48);
    EXPECT_TRUE(Form->Button1->Enabled());
    EXPECT_FALSE(Form->TimerCheck->Enabled());
    EXPECT_FALSE(Form->TimerNextTest->Enabled());
    EXPECT_EQ(Form->TimerCheck->Interval(), 500u);
    EXPECT_EQ(Form->TimerNextTest->Interval(), 20u);
    ASSERT_EQ(Form->StatusBar1->Panels().size(), 2u);
    EXPECT_EQ(Form->StatusBar1->Panels()[0].Width, 300);
    EXPECT_EQ(Form->StatusBar1->Panels()[1].Width, 50);
}

TEST_F(SearchTest, UnsuccessfulSearchRunsTwelveTrialsInOrder) {
    Form->Button1->Click();
    EXPECT_FALSE(Form->Button1->Enabled());
    const auto LStatus = Form->StatusBar1->Panels();
    RunToEnd();

    struct TExpected {
        TAutoTestState State;
        int Rate;
        int StopBits;
    };
    const std::vector<TExpected> LExpected = {
        {attStandKeli, 9600, 0},  {attStandXK3168, 4800, 2}, {attTestKeli, 600, 0},
        {attTestKeli, 1200, 0},   {attTestKeli, 2400, 0},    {attTestKeli, 4800, 0},
        {attTestKeli, 19200, 0},  {attTestXK3168, 600, 2},   {attTestXK3168, 1200, 2},
        {attTestXK3168, 2400, 2}, {attTestXK3168, 9600, 2},  {attTestXK3168, 19200, 2},
    };
    ASSERT_EQ(Log.Trials.size(), LExpected.size());
    std::vector<UnicodeString> LLines;
    for (size_t I = 0; I < LExpected.size(); ++I) {
        SCOPED_TRACE(I);
        const TTrial& LTrial = Log.Trials[I];
        EXPECT_EQ(LTrial.State, LExpected[I].State);
        EXPECT_EQ(LTrial.Cfg.CommName, CPortA);
        EXPECT_EQ(LTrial.Cfg.BaudRate, LExpected[I].Rate);
        EXPECT_EQ(LTrial.Cfg.StopBits, LExpected[I].StopBits);
        EXPECT_EQ(LTrial.Cfg.ReadIntervalTimeout, 10);
        // One trial lasts its 1000 ms, then 20 ms to the next.
        if (I > 0) {
            EXPECT_EQ(LTrial.CreatedAt - Log.Trials[I - 1].CreatedAt, 1020u);
        }
        const bool LKeli = LExpected[I].State == attStandKeli || LExpected[I].State == attTestKeli;
        for (const auto& L : TrialLines(LKeli ? CFirst : CSecond, CPortA, LExpected[I].Rate))
            LLines.push_back(L);
    }
    for (const auto& L : {u"", u"", u"~~~~~~~~~~~~~~~~", u"自动搜索完毕, 没有找到适配的仪表"})
        LLines.push_back(L);
    EXPECT_EQ(NewLines(), LLines);
    EXPECT_EQ(HeadlessControls().Messages(),
              std::vector<UnicodeString>{u"自动搜索完毕, 没有找到适配的仪表"});
    EXPECT_TRUE(Form->Button1->Enabled());
    EXPECT_FALSE(Form->TimerCheck->Enabled());
    EXPECT_FALSE(Form->TimerNextTest->Enabled());
    EXPECT_EQ(Log.RepeatArgument, 10);
    // Each client was freed before the next was made; the last one stays.
    EXPECT_EQ(Log.MaxLive, 1);
    for (size_t I = 0; I + 1 < Log.Trials.size(); ++I)
        EXPECT_TRUE(Log.Trials[I].Freed);
    EXPECT_EQ(Form->StatusBar1->Panels()[0].Text, LStatus[0].Text);
    EXPECT_EQ(Form->StatusBar1->Panels()[1].Text, LStatus[1].Text);
    // Nothing runs any more.
    Loop.AdvanceTime(5000);
    EXPECT_EQ(Log.Trials.size(), 12u);
}

TEST_F(SearchTest, ThreeWeightsFailAndFourSucceed) {
    Form->Button1->Click();
    Feed(3);
    RunToNextTrial();
    ASSERT_EQ(Log.Trials.size(), 2u);
    EXPECT_TRUE(HeadlessControls().Messages().empty());
    EXPECT_EQ(Form->SuccessReadCount(), 0);

    Feed(4);
    bool LEnabledWhileOpen = true;
    HeadlessControls().OnMessageBox = [&](const UnicodeString&) {
        LEnabledWhileOpen = Form->Button1->Enabled();
    };
    RunToEnd();
    EXPECT_EQ(HeadlessControls().Messages(), std::vector<UnicodeString>{u"找到仪表"});
    EXPECT_FALSE(LEnabledWhileOpen);
    EXPECT_TRUE(Form->Button1->Enabled());
    const auto LLines = NewLines();
    ASSERT_GE(LLines.size(), 4u);
    const std::vector<UnicodeString> LTail(LLines.end() - 4, LLines.end());
    EXPECT_EQ(LTail, (std::vector<UnicodeString>{u"", u"", u"~~~~~~~~~~~~~~~~",
                                                 u"找到了, 成功读取数据： 4 次"}));
    // The client stays connected and goes on showing weights.
    ASSERT_NE(Log.Live, nullptr);
    EXPECT_EQ(Form->Bridge(), Log.Live);
    EXPECT_EQ(Log.Trials.size(), 2u);
    Log.Live->Feed(7.25);
    EXPECT_EQ(Form->LEDDisplay1->Caption(), u"7.25");
    Loop.AdvanceTime(5000);
    EXPECT_EQ(Log.Trials.size(), 2u);
    EXPECT_FALSE(Form->TimerCheck->Enabled());
    EXPECT_FALSE(Form->TimerNextTest->Enabled());
}

TEST_F(SearchTest, EachTrialIsLoggedWithTheFramesRefusedForTheirCheck) {
    TLogCapture LLog;
    std::vector<int32_t> LRefused;
    Form->OnTrialEnd = [&](const TTrialResult& AResult) {
        LRefused.push_back(AResult.CheckRefused);
    };
    Form->Button1->Click();
    Log.Live->RefuseForCheck(3);
    RunToNextTrial();
    Log.Live->RefuseForCheck(CCheckRefusedNotice);
    RunToNextTrial();
    Feed(4);
    Log.Live->RefuseForCheck(1);
    RunToEnd();
    EXPECT_EQ(LRefused, (std::vector<int32_t>{3, CCheckRefusedNotice, 1}));
    std::vector<UnicodeString> LTrialLines;
    for (const UnicodeString& LLine : LLog.Lines(u"Info"))
        if (LLine.rfind(u"尝试结束", 0) == 0)
            LTrialLines.push_back(LLine);
    EXPECT_EQ(
        LTrialLines,
        (std::vector<UnicodeString>{
            u"尝试结束: keli, /nonexistent/ttyA - 波特率: 9600, 重量 0 个, 只有校验不符的帧 3 个",
            u"尝试结束: xk3168, /nonexistent/ttyA - 波特率: 4800, 重量 0 个, 只有校验不符的帧 4 个",
            u"尝试结束: keli, /nonexistent/ttyA - 波特率: 600, 重量 4 个, 只有校验不符的帧 1 个"}));
    // Only the trial with four of them says so.
    EXPECT_EQ(
        LLog.Lines(u"Warning"),
        (std::vector<UnicodeString>{u"xk3168, /nonexistent/ttyA - 波特率: 4800: 4 "
                                    u"个完整的帧只有校验不符, 仪表可能用另一种方法计算校验"}));
}

TEST_F(SearchTest, SuccessLineShowsTheCountAtJudging) {
    Form->Button1->Click();
    Feed(2);
    Loop.AdvanceTime(600);
    Feed(5);
    RunToEnd();
    EXPECT_EQ(NewLines().back(), u"找到了, 成功读取数据： 7 次");
}

TEST_F(SearchTest, WeightAfterTheTrialTimeButBeforeTheJudgingTickCounts) {
    Form->Button1->Click();
    Feed(3);
    // The GUI thread is busy past the tick: time moves without the timer.
    Loop.SetVirtualClock(true, Log.Trials[0].CreatedAt + 1200);
    Feed(1);
    Loop.ProcessMessages();
    EXPECT_EQ(HeadlessControls().Messages(), std::vector<UnicodeString>{u"找到仪表"});
    EXPECT_EQ(Log.Trials.size(), 1u);
}

TEST_F(SearchTest, TrialIsNotJudgedBeforeItsTime) {
    Form->Button1->Click();
    Feed(4);
    Loop.AdvanceTime(999);
    EXPECT_TRUE(HeadlessControls().Messages().empty());
    EXPECT_TRUE(Form->TimerCheck->Enabled());
    Loop.AdvanceTime(1);
    EXPECT_EQ(HeadlessControls().Messages(), std::vector<UnicodeString>{u"找到仪表"});
}

TEST_F(SearchTest, FirstProtocolAt19200IsFoundInTheFifthTestTrial) {
    Form->Button1->Click();
    for (int I = 0; I < 20 && HeadlessControls().Messages().empty(); ++I) {
        const TTrial& LTrial = Log.Trials.back();
        if (LTrial.State == attTestKeli && Form->Bridge()->ConnectCommCfg().BaudRate == 19200)
            Feed(6);
        RunToNextTrial();
    }
    RunToEnd();
    EXPECT_EQ(HeadlessControls().Messages(), std::vector<UnicodeString>{u"找到仪表"});
    ASSERT_EQ(Log.Trials.size(), 7u);
    EXPECT_EQ(Log.Trials.back().State, attTestKeli);
}

TEST_F(SearchTest, ButtonAgainAfterSuccessFreesTheClientAndStartsOver) {
    Form->Button1->Click();
    Feed(4);
    RunToEnd();
    ASSERT_EQ(Log.Trials.size(), 1u);
    ASSERT_FALSE(Log.Trials[0].Freed);
    HeadlessControls().ClearMessages();
    Form->Button1->Click();
    ASSERT_EQ(Log.Trials.size(), 2u);
    EXPECT_TRUE(Log.Trials[0].Freed);
    EXPECT_EQ(Log.Trials[1].State, attStandKeli);
    EXPECT_EQ(Log.MaxLive, 1);
    EXPECT_FALSE(Form->Button1->Enabled());
}

TEST_F(SearchTest, PortPickedMidSearchIsUsedByLaterTrials) {
    UsePorts({CPortA, CPortB});
    Form->Button1->Click();
    RunToNextTrial();
    RunToNextTrial();
    RunToNextTrial(); // the fourth trial runs on A
    Form->ComboBox1->Select(1);
    RunToEnd();
    ASSERT_EQ(Log.Trials.size(), 12u);
    for (size_t I = 0; I < Log.Trials.size(); ++I)
        EXPECT_EQ(Log.Trials[I].Cfg.CommName, I < 4 ? CPortA : CPortB) << I;
    // Each trial's line names the port it used.
    const auto LLines = NewLines();
    EXPECT_EQ(LLines[3], CPortA + u" - 波特率: 9600");
    EXPECT_EQ(LLines[4 * 4 + 3], CPortB + u" - 波特率: 2400");
}

TEST_F(SearchTest, OnePassOfTheStandardPhaseWithSeveralPorts) {
    UsePorts({CPortA, CPortB, u"/nonexistent/ttyC"});
    Form->Button1->Click();
    RunToEnd();
    ASSERT_EQ(Log.Trials.size(), 12u);
    EXPECT_EQ(Log.Trials[2].State, attTestKeli);
}

TEST_F(SearchTest, EmptyPortListShowsItsMessageAndStartsNothing) {
    Form->ComboBox1->SetItems({});
    Form->Button1->Click();
    EXPECT_EQ(HeadlessControls().Messages(),
              std::vector<UnicodeString>{u"当前无可用串口，请检查连接后再重试"});
    EXPECT_TRUE(Form->Button1->Enabled());
    EXPECT_TRUE(Log.Trials.empty());
    EXPECT_EQ(Form->Memo1->Lines().size(), BaseLines);
}

TEST_F(SearchTest, EmptyPortNameEndsTheSearchAndEnablesTheButton) {
    Form->ComboBox1->SetItemIndex(-1);
    Form->Button1->Click();
    EXPECT_EQ(HeadlessControls().Messages(), std::vector<UnicodeString>{u"自动搜索完毕, 配置出错"});
    EXPECT_TRUE(Form->Button1->Enabled());
    EXPECT_EQ(Form->Memo1->Lines().size(), BaseLines);
    ASSERT_EQ(Log.Trials.size(), 1u);
    EXPECT_EQ(Form->Bridge(), Log.Live);
    EXPECT_FALSE(Form->Bridge()->HasConnected());
    EXPECT_FALSE(Form->TimerCheck->Enabled());
    EXPECT_FALSE(Form->TimerNextTest->Enabled());
}

TEST_F(SearchTest, FailedClientCreationMovesOnToTheNextCandidate) {
    Log.FailNextCreate = true;
    Form->Button1->Click();
    EXPECT_TRUE(Log.Trials.empty());
    EXPECT_TRUE(Form->TimerNextTest->Enabled());
    Loop.AdvanceTime(20);
    ASSERT_EQ(Log.Trials.size(), 1u);
    EXPECT_EQ(Log.Trials[0].State, attStandXK3168);
}

TEST_F(SearchTest, DestroyingTheWindowFreesTheRunningTrialsClient) {
    Form->Button1->Click();
    Loop.AdvanceTime(300);
    ASSERT_EQ(Log.LiveCount, 1);
    Form.reset();
    EXPECT_EQ(Log.LiveCount, 0);
    EXPECT_TRUE(Log.Trials[0].Freed);
}

TEST_F(SearchTest, WeightsArriveWhileTheMessageBoxIsOpen) {
    Form->Button1->Click();
    Feed(4);
    HeadlessControls().OnMessageBox = [&](const UnicodeString&) {
        Log.Live->Feed(125.0);
        Loop.AdvanceTime(2000);
    };
    RunToEnd();
    EXPECT_EQ(Form->LEDDisplay1->Caption(), u"125");
    EXPECT_EQ(Form->SuccessReadCount(), 5);
    EXPECT_EQ(Log.Trials.size(), 1u);
}

TEST_F(SearchTest, DisplayShowsWeightsInPlainDecimalText) {
    Form->Button1->Click();
    Feed(1, 125.0);
    EXPECT_EQ(Form->LEDDisplay1->Caption(), u"125");
    Feed(1, 987.25);
    EXPECT_EQ(Form->LEDDisplay1->Caption(),
              Utf8ToUnicode("987") + LocaleDecimalSeparator() + u"25");
    Feed(1, -3.0);
    EXPECT_EQ(Form->LEDDisplay1->Caption(), u"-3");
}

TEST(ClientForState, EachStateGetsItsProtocolsClient) {
    THeadlessLoop LLoop;
    EXPECT_EQ(CreateClientForState(attStandKeli, 10)->ClassName(), u"TKeliD2008Client");
    EXPECT_EQ(CreateClientForState(attTestKeli, 10)->ClassName(), u"TKeliD2008Client");
    EXPECT_EQ(CreateClientForState(attStandXK3168, 10)->ClassName(), u"TXK3168Client");
    EXPECT_EQ(CreateClientForState(attTestXK3168, 10)->ClassName(), u"TXK3168Client");
}

} // namespace
