#include "tests/support/WeighClients.h"

#include "tests/support/Pty.h"

#include <termios.h>

namespace {

class ConnectTest : public ::testing::Test {
protected:
    void SetUp() override {
        FClient = std::make_unique<TOpenKeli>();
        FClient->SetOnGetMsg([this](bool AShowDialog, const UnicodeString& AMsg) {
            EXPECT_FALSE(AShowDialog);
            EXPECT_TRUE(FLoop.IsOwnerThread());
            FMessages.push_back(AMsg);
        });
    }
    void TearDown() override { FClient.reset(); }

    // Leaves weights and a partial frame behind, so a connect must clear them.
    void FillBufferAndHistory() {
        FClient->AddAWeight(100);
        FClient->AddAWeight(200);
        FClient->Receive({0x02, '+', '0', '0'});
        ASSERT_EQ(FClient->ReceivedSize(), 4u);
    }

    THeadlessLoop FLoop;
    std::unique_ptr<TOpenKeli> FClient;
    std::vector<UnicodeString> FMessages;
};

TEST_F(ConnectTest, FailuresAreReportedAndNeverThrown) {
    for (const char16_t* LName : {u"COM3", u"COMX", u"COM", u"", u"/dev/null", u"/no/such/port"}) {
        FMessages.clear();
        FillBufferAndHistory();
        EXPECT_NO_THROW(FClient->ConnectComm(TConfigComm{LName, 9600, 10, 0}));
        EXPECT_FALSE(FClient->HasConnected()) << UnicodeToUtf8(LName);
        EXPECT_EQ(FMessages,
                  (std::vector<UnicodeString>{u"[地磅仪表]尝试连接", u"[地磅仪表]连接失败"}));
        EXPECT_EQ(FClient->ReceivedSize(), 0u);
        EXPECT_TRUE(FClient->TailIsZero());
        EXPECT_TRUE(FClient->WeightList().empty());
        EXPECT_EQ(FClient->GetConnectString(), UnicodeString(LName) + u"/9600");
    }
}

TEST_F(ConnectTest, SuccessSetsTheLineAndReportsPortAndRate) {
    TPty LPty;
    const UnicodeString LName = LPty.SlaveName();
    FillBufferAndHistory();
    FClient->ConnectComm(TConfigComm{LName, 4800, 10, 2});
    ASSERT_TRUE(FClient->HasConnected());
    EXPECT_EQ(FMessages,
              (std::vector<UnicodeString>{u"[地磅仪表]尝试连接", u"[地磅仪表]连接成功，通讯口: " +
                                                                     LName + u"; 波特率: 4800"}));
    EXPECT_EQ(FClient->ReceivedSize(), 0u);
    EXPECT_TRUE(FClient->WeightList().empty());
    EXPECT_EQ(FClient->GetConnectString(), LName + u"/4800");
    EXPECT_EQ(FClient->ConnectCommCfg().StopBits, 2);
    EXPECT_EQ(FClient->Comm().StopBits(), TStopBits::_2);
    // The master side sees what the client set.
    const termios LTerm = LPty.Settings();
    EXPECT_EQ(cfgetospeed(&LTerm), static_cast<speed_t>(B4800));
    EXPECT_NE(LTerm.c_cflag & CSTOPB, 0u);

    // Out-of-range stop bits leave the component's setting alone.
    for (int32_t LStopBits : {3, -1}) {
        FClient->ConnectComm(TConfigComm{LName, 2400, 10, LStopBits});
        EXPECT_TRUE(FClient->HasConnected());
        EXPECT_EQ(FClient->Comm().StopBits(), TStopBits::_2);
        EXPECT_EQ(FClient->Comm().BaudRate(), 2400u);
    }
}

TEST_F(ConnectTest, ReceivedFramesReachTheDecoderOnTheLoopThread) {
    TPty LPty;
    FClient->ConnectComm(TConfigComm{LPty.SlaveName(), 9600, 10, 0});
    ASSERT_TRUE(FClient->HasConnected());
    auto LBytes = KeliFrameBytes("000150");
    const auto LSecond = KeliFrameBytes("000151");
    LBytes.insert(LBytes.end(), LSecond.begin(), LSecond.end());
    EXPECT_TRUE(LPty.Send(LBytes));
    EXPECT_TRUE(FLoop.RunUntil([&] { return FClient->Notified.size() >= 2; }, 10000));
    EXPECT_EQ(FClient->Notified, (std::vector<double>{150, 151}));
}

} // namespace
