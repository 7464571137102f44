#include "tests/support/WeighClients.h"

namespace {

class JudgementTest : public ::testing::Test {
protected:
    THeadlessLoop FLoop;
    TLogCapture FLog;
};

TEST_F(JudgementTest, StableLineOnExactlyTheElevenhArrivalAndOnlyOnce) {
    TOpenKeli LClient(10);
    int LOffers = 0;
    LClient.SetOnStableWeightNotify([&](double) {
        ++LOffers;
        return false;
    });
    for (int I = 1; I <= 10; ++I)
        LClient.AddAWeight(500);
    EXPECT_EQ(LOffers, 0);
    EXPECT_EQ(LClient.LastWeightRepeatCnt(), 9);
    LClient.AddAWeight(500); // the 11th arrival, the 10th repeat
    EXPECT_EQ(LOffers, 1);
    for (int I = 0; I < 4; ++I)
        LClient.AddAWeight(500);
    EXPECT_EQ(LOffers, 5); // offered again at every further repeat
    EXPECT_EQ(LClient.Notified.size(), 15u);
    EXPECT_EQ(LClient.WeightResult(), 0.0);
    const auto LLines = FLog.Lines(u"Debug");
    EXPECT_EQ(LLines,
              (std::vector<UnicodeString>{u"第一次接受到重量: 500.00", u"重量已经稳定: 500.00"}));
}

// An indicator that marks its weight as in motion: such a weight is shown but
// never counts as a repeat, and the run starts over after it.
TEST_F(JudgementTest, WeightInMotionRestartsTheRun) {
    TOpenKeli LClient(3);
    LClient.AddAWeightInMotion(500);
    LClient.AddAWeightInMotion(500);
    LClient.AddAWeight(500);
    LClient.AddAWeight(500);
    EXPECT_EQ(LClient.LastWeightRepeatCnt(), 2);
    LClient.AddAWeightInMotion(500);
    EXPECT_EQ(LClient.LastWeightRepeatCnt(), 0);
    for (int I = 0; I < 3; ++I)
        LClient.AddAWeight(500);
    EXPECT_EQ(LClient.Notified.size(), 8u);
    EXPECT_EQ(LClient.WeightList(), std::vector<double>{500});
    EXPECT_EQ(FLog.Lines(u"Debug"),
              (std::vector<UnicodeString>{u"第一次接受到重量: 500.00", u"重量已经稳定: 500.00"}));
}

TEST_F(JudgementTest, WeightBelowTheMinimumIsOnlyNotifiedAndDoesNotBreakARun) {
    TOpenKeli LClient(3);
    LClient.AddAWeight(20);
    LClient.AddAWeight(20);
    LClient.AddAWeight(9.99); // default minimum 10 without a configuration
    LClient.AddAWeight(-50);
    LClient.AddAWeight(20);
    LClient.AddAWeight(20);
    EXPECT_EQ(LClient.WeightList(), std::vector<double>{20});
    EXPECT_EQ(LClient.LastWeightRepeatCnt(), 3);
    EXPECT_EQ(LClient.Notified, (std::vector<double>{20, 20, 9.99, -50, 20, 20}));
    EXPECT_EQ(FLog.Lines(u"Debug"),
              (std::vector<UnicodeString>{u"第一次接受到重量: 20.00", u"重量已经稳定: 20.00"}));
}

TEST_F(JudgementTest, WeightEqualToTheMinimumIsAcceptedAgainAndAgain) {
    auto LCfg = MakeCfgReader(FLog.Dir(), 30);
    TCfgScope LScope(LCfg.get());
    TOpenKeli LClient(2);
    int LOffers = 0;
    LClient.SetOnStableWeightNotify([&](double) {
        ++LOffers;
        return true;
    });
    for (int I = 0; I < 5; ++I)
        LClient.AddAWeight(30);
    // Repeats 2, 3 and 4 are offered; the minimum itself never ends judging.
    EXPECT_EQ(LOffers, 3);
    EXPECT_EQ(LClient.WeightResult(), 30.0);
    const auto LLines = FLog.Lines(u"Debug");
    ASSERT_EQ(LLines.size(), 5u);
    EXPECT_EQ(LLines[1], u"重量已经稳定: 30.00");
    for (size_t I = 2; I < 5; ++I)
        EXPECT_EQ(LLines[I], u"重量已经被接受: 30.00");
}

TEST_F(JudgementTest, AcceptedWeightEndsJudgingUntilCleared) {
    TOpenXK LClient(2);
    std::vector<double> LOffered;
    LClient.SetOnStableWeightNotify([&](double AValue) {
        LOffered.push_back(AValue);
        return LOffered.size() >= 2; // refuse the first offer
    });
    for (double LWeight : {40.5, 40.5, 40.5, 40.5})
        LClient.AddAWeight(LWeight);
    EXPECT_EQ(LOffered, (std::vector<double>{40.5, 40.5}));
    EXPECT_EQ(LClient.WeightResult(), 40.5);
    // Now only the notification: no history, no offer.
    LClient.AddAWeight(77);
    LClient.AddAWeight(40.5);
    EXPECT_EQ(LClient.WeightList(), std::vector<double>{40.5});
    EXPECT_EQ(LOffered.size(), 2u);
    EXPECT_EQ(LClient.Notified.size(), 6u);
    LClient.ClearWeightData();
    EXPECT_TRUE(LClient.WeightList().empty());
    EXPECT_EQ(LClient.WeightResult(), 0.0);
    LClient.AddAWeight(77);
    EXPECT_EQ(LClient.WeightList(), std::vector<double>{77});
}

TEST_F(JudgementTest, UnassignedStableCallbackNeverAccepts) {
    TOpenKeli LClient(1);
    for (int I = 0; I < 30; ++I)
        LClient.AddAWeight(100);
    EXPECT_EQ(LClient.WeightResult(), 0.0);
    LClient.AddAWeight(200);
    EXPECT_EQ(LClient.WeightList(), (std::vector<double>{100, 200}));
}

TEST_F(JudgementTest, ABAGivesThreeEntriesAndNoRepeat) {
    TOpenKeli LClient;
    LClient.AddAWeight(11);
    LClient.AddAWeight(12);
    LClient.AddAWeight(11);
    EXPECT_EQ(LClient.WeightList(), (std::vector<double>{11, 12, 11}));
    EXPECT_EQ(LClient.LastWeightRepeatCnt(), 0);
}

TEST_F(JudgementTest, NegativeZeroRepeatsZero) {
    auto LCfg = MakeCfgReader(FLog.Dir(), 0);
    TCfgScope LScope(LCfg.get());
    TOpenXK LClient;
    LClient.AddAWeight(0.0);
    LClient.AddAWeight(-0.0);
    EXPECT_EQ(LClient.WeightList().size(), 1u);
    EXPECT_EQ(LClient.LastWeightRepeatCnt(), 1);
}

TEST_F(JudgementTest, FullHistoryDropsTheOldest) {
    TOpenKeli LClient;
    for (int I = 0; I < 250; ++I)
        LClient.AddAWeight(1000 + I);
    ASSERT_EQ(LClient.WeightList().size(), 200u);
    EXPECT_EQ(LClient.WeightList().front(), 1050.0);
    EXPECT_EQ(LClient.WeightList().back(), 1249.0);
    for (size_t I = 1; I < LClient.WeightList().size(); ++I)
        ASSERT_EQ(LClient.WeightList()[I], LClient.WeightList()[I - 1] + 1);
    LClient.AddAWeight(1249); // a repeat does not move the history
    EXPECT_EQ(LClient.WeightList().front(), 1050.0);
}

TEST_F(JudgementTest, MinimumIsReadAfreshAtEveryWeight) {
    auto LLow = MakeCfgReader(FLog.Dir(), 5);
    auto LHigh = MakeCfgReader(FLog.Dir(), 500);
    TOpenKeli LClient;
    GCfgReader = LLow.get();
    LClient.AddAWeight(50);
    GCfgReader = LHigh.get();
    LClient.AddAWeight(60);
    GCfgReader = LLow.get();
    LClient.AddAWeight(70);
    GCfgReader = nullptr;
    LClient.AddAWeight(8); // below the default of 10
    EXPECT_EQ(LClient.WeightList(), (std::vector<double>{50, 70}));
}

TEST_F(JudgementTest, ReceiveErrorIsLoggedAndChangesNothing) {
    TOpenKeli LClient;
    LClient.Receive({0x02, '+', '0'});
    LClient.OnMyReceiveError(nullptr, 0x88u);
    LClient.OnMyReceiveError(nullptr, 0xFFFFFFFFu);
    EXPECT_EQ(LClient.ReceivedSize(), 3u);
    EXPECT_EQ(FLog.Lines(u"Error"),
              (std::vector<UnicodeString>{u"地磅仪表接收到错误的数据: 136",
                                          u"地磅仪表接收到错误的数据: 4294967295"}));
}

TEST(ClientDecodeTest, FramesReachTheJudgementInOrder) {
    THeadlessLoop LLoop;
    TOpenKeli LKeli;
    auto LTwo = KeliFrameBytes("000120");
    auto LSecond = KeliFrameBytes("001205", '1');
    LTwo.insert(LTwo.end(), LSecond.begin(), LSecond.end());
    LKeli.Receive(LTwo);
    EXPECT_EQ(LKeli.Notified.size(), 2u);
    EXPECT_EQ(LKeli.Notified[0], 120.0);
    EXPECT_DOUBLE_EQ(LKeli.Notified[1], 120.5);
    EXPECT_EQ(LKeli.ReceivedSize(), 0u);

    TOpenXK LXK;
    LXK.Receive({0xFF, 0x22, 0x34, 0x12, 0x00, 0xFF, 0x01});
    ASSERT_EQ(LXK.Notified.size(), 1u);
    EXPECT_DOUBLE_EQ(LXK.Notified[0], -123.4);
    EXPECT_EQ(LXK.ReceivedSize(), 2u);
    EXPECT_TRUE(LXK.TailIsZero());
}

TEST(ClientDecodeTest, FramesRefusedForTheirCheckAreCountedUntilTheNextConnect) {
    THeadlessLoop LLoop;
    TOpenKeli LKeli;
    auto LBad = KeliFrameBytes("000120");
    LBad[9] = 'x'; // no hex digit
    auto LDamaged = KeliFrameBytes("000121");
    LDamaged[11] = '!'; // no end flag: damaged, not counted
    for (int I = 0; I < 5; ++I)
        LKeli.Receive(LBad);
    LKeli.Receive(LDamaged);
    LKeli.Receive(KeliFrameBytes("000122"));
    EXPECT_EQ(LKeli.Notified, (std::vector<double>{122}));
    EXPECT_EQ(LKeli.CheckRefusedFrames(), 5);
    LKeli.ConnectComm(TConfigComm{u"/nonexistent/port", 9600, 10, 0});
    EXPECT_EQ(LKeli.CheckRefusedFrames(), 0);
}

// The owner may reconnect from inside the notification; the rest of the pass
// must not touch the emptied buffer.
TEST(ClientDecodeTest, ReconnectFromTheNotificationEmptiesTheBufferSafely) {
    THeadlessLoop LLoop;
    TOpenKeli LClient;
    int LCalls = 0;
    LClient.SetOnNewWeightNotify([&](double) {
        ++LCalls;
        LClient.ConnectComm(TConfigComm{u"/nonexistent/port", 9600, 10, 0});
    });
    auto LChunk = KeliFrameBytes("000100");
    auto LMore = KeliFrameBytes("000200");
    LChunk.insert(LChunk.end(), LMore.begin(), LMore.end());
    LChunk.insert(LChunk.end(), {0x02, '+'});
    LClient.Receive(LChunk);
    EXPECT_EQ(LCalls, 1);
    EXPECT_EQ(LClient.ReceivedSize(), 0u);
    EXPECT_TRUE(LClient.TailIsZero());
    EXPECT_FALSE(LClient.HasConnected());
}

// Every byte the component delivers is counted and the first ones kept,
// whether they decode or not; a new connect starts over.
TEST_F(JudgementTest, ReceivedBytesAreCountedAndTheFirstKept) {
    TOpenKeli LClient;
    std::vector<uint8_t> LNoise(30);
    for (size_t I = 0; I < LNoise.size(); ++I)
        LNoise[I] = static_cast<uint8_t>(0xF0 + I);
    std::vector<uint8_t> LFrame = KeliTestFrame("001000", '0');
    for (const auto* LChunk : {&LNoise, &LNoise, &LFrame})
        LClient.Comm().OnReceiveData()(nullptr, LChunk->data(),
                                       static_cast<uint16_t>(LChunk->size()));
    EXPECT_EQ(LClient.BytesReceived(), 72u);
    std::vector<uint8_t> LFirst = LNoise;
    LFirst.insert(LFirst.end(), LNoise.begin(), LNoise.begin() + 18);
    EXPECT_EQ(LClient.FirstBytes(), LFirst);
    EXPECT_EQ(LClient.Notified, std::vector<double>{1000}); // the decoder had them too
    LClient.ConnectComm(TConfigComm{u"/nonexistent/port", 9600, 10, 0});
    EXPECT_EQ(LClient.BytesReceived(), 0u);
    EXPECT_TRUE(LClient.FirstBytes().empty());
}

TEST(WindowsPortNameTest, NumberFromTenOnGetsThePrefix) {
    EXPECT_EQ(WindowsCommDeviceName(u"COM3"), u"COM3");
    EXPECT_EQ(WindowsCommDeviceName(u"COM9"), u"COM9");
    EXPECT_EQ(WindowsCommDeviceName(u"COM10"), u"//./COM10");
    EXPECT_EQ(WindowsCommDeviceName(u"COM23"), u"//./COM23");
    // The first three characters are not examined.
    EXPECT_EQ(WindowsCommDeviceName(u"XYZ12"), u"//./XYZ12");
    EXPECT_EQ(WindowsCommDeviceName(u"COM-4"), u"COM-4");
    EXPECT_THROW(WindowsCommDeviceName(u"COM"), EConvertError);
    EXPECT_THROW(WindowsCommDeviceName(u"CO"), EConvertError);
    EXPECT_THROW(WindowsCommDeviceName(u"COMX"), EConvertError);
    EXPECT_THROW(WindowsCommDeviceName(u"COM1X"), EConvertError);
}

#ifdef _WIN32
TEST(PortNameTest, ComNamesFollowTheNumberRuleHere) {
    EXPECT_EQ(CommDeviceName(u"COM3"), u"COM3");
    EXPECT_EQ(CommDeviceName(u"COM12"), u"//./COM12");
}
#else
TEST(PortNameTest, DevicePathGoesThroughUnchangedHere) {
    EXPECT_EQ(CommDeviceName(u"/dev/ttyUSB0"), u"/dev/ttyUSB0");
    EXPECT_EQ(CommDeviceName(u"COM12"), u"COM12");
}
#endif

} // namespace
