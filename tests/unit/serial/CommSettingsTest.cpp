#include "CommFixture.h"

#include "tests/support/LogCapture.h"

#include <thread>

namespace {

// A port that does not exist, and what the system driver says of it.
#ifdef _WIN32
constexpr char16_t CMissingPort[] = u"\\\\.\\COM250";
constexpr char CMissingSaid[] = "serial: CreateFileW failed, error 2";
#else
constexpr char16_t CMissingPort[] = u"/nonexistent/ttyS250";
constexpr char CMissingSaid[] =
    "serial: open /nonexistent/ttyS250 failed, errno 2 (No such file or directory)";
#endif

TEST(SystemCommDriver, AFailedCallIsNamedWithItsErrorOnTheDebugOutput) {
    const TDebugOutputCapture LSaid;
    EXPECT_EQ(SystemCommDriver().Open(CMissingPort), 0u);
    EXPECT_EQ(LSaid.Lines(), std::vector<std::string>{CMissingSaid});
}

TEST(NormalizedCommName, PrefixesAndDropsColons) {
    EXPECT_EQ(NormalizedCommName(u"COM3"), u"\\\\.\\COM3");
    EXPECT_EQ(NormalizedCommName(u"COM3:"), u"\\\\.\\COM3");
    EXPECT_EQ(NormalizedCommName(u"C:OM:3"), u"\\\\.\\COM3");
    EXPECT_EQ(NormalizedCommName(u"\\\\.\\COM12"), u"\\\\.\\COM12");
    EXPECT_EQ(NormalizedCommName(u"x\\\\.\\C:"), u"x\\\\.\\C:") << "prefix anywhere";
    EXPECT_EQ(NormalizedCommName(u"//./COM3"), u"\\\\.\\//./COM3");
    EXPECT_EQ(NormalizedCommName(u""), u"\\\\.\\");
}

using CommSettings = CommFixture;

TEST_F(CommSettings, ConstructorDefaults) {
    EXPECT_EQ(FComm->CommName(), u"COM2");
    EXPECT_EQ(FComm->BaudRate(), 9600u);
    EXPECT_FALSE(FComm->ParityCheck());
    EXPECT_TRUE(FComm->Outx_CtsFlow());
    EXPECT_TRUE(FComm->Outx_DsrFlow());
    EXPECT_EQ(FComm->DtrControl(), TDtrControl::DtrEnable);
    EXPECT_TRUE(FComm->TxContinueOnXoff());
    EXPECT_EQ(FComm->RtsControl(), TRtsControl::RtsEnable);
    EXPECT_EQ(FComm->XonLimit(), 10);
    EXPECT_EQ(FComm->XoffLimit(), 10);
    EXPECT_EQ(FComm->ByteSize(), TByteSize::_8);
    EXPECT_EQ(FComm->Parity(), TParity::None);
    EXPECT_EQ(FComm->StopBits(), TStopBits::_1);
    EXPECT_EQ(FComm->XonChar(), 17);
    EXPECT_EQ(FComm->XoffChar(), 19);
    EXPECT_EQ(FComm->ReadIntervalTimeout(), 10u);
    EXPECT_EQ(FComm->ReadTotalTimeoutConstant(), 0u);
    EXPECT_FALSE(FComm->Connected());
    EXPECT_TRUE(FComm->SendDataEmpty());
    EXPECT_EQ(FComm->GetModemState(), 0u);
}

TEST_F(CommSettings, CommNameStoresTheNormalisedFormWhenDifferent) {
    FComm->SetCommName(u"COM3:");
    EXPECT_EQ(FComm->CommName(), u"\\\\.\\COM3");
    FComm->SetCommName(u"COM3");
    EXPECT_EQ(FComm->CommName(), u"\\\\.\\COM3");
    FComm->SetCommName(u"/dev/ttyUSB0");
    EXPECT_EQ(FComm->CommName(), u"\\\\.\\/dev/ttyUSB0");
}

TEST_F(CommSettings, StartAppliesTimeoutsThenDefaultLineState) {
    StartAndSettle();
    ASSERT_EQ(FDrv.TimeoutsSet.size(), 1u);
    EXPECT_EQ(FDrv.TimeoutsSet[0].ReadIntervalTimeout, 10u);
    ASSERT_EQ(FDrv.States.size(), 1u);
    const TCommState& S = FDrv.States[0];
    EXPECT_EQ(S.Flags, 0x109Du);
    EXPECT_EQ(S.BaudRate, 9600u);
    EXPECT_EQ(S.ByteSize, 8);
    EXPECT_EQ(S.Parity, NOPARITY);
    EXPECT_EQ(S.StopBits, ONESTOPBIT);
    EXPECT_EQ(S.XonChar, 17);
    EXPECT_EQ(S.XoffChar, 19);
    EXPECT_EQ(S.XonLim, 10);
    EXPECT_EQ(S.XoffLim, 10);
    EXPECT_EQ(FDrv.Purges.front(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    EXPECT_EQ(Count("empty"), 1) << "one send-empty notice after StartComm";
    FComm->StopComm();
}

TEST_F(CommSettings, SettersReapplyOnlyOnAnOpenPortAndOnlyOnChange) {
    FComm->SetBaudRate(4800);
    FComm->SetReadIntervalTimeout(20);
    EXPECT_TRUE(FDrv.States.empty()) << "closed: store only";
    StartAndSettle();
    ASSERT_EQ(FDrv.States.size(), 1u);
    EXPECT_EQ(FDrv.States[0].BaudRate, 4800u);

    FComm->SetBaudRate(4800);
    FComm->SetStopBits(TStopBits::_1);
    FComm->SetReadIntervalTimeout(20);
    EXPECT_EQ(FDrv.States.size(), 1u);
    EXPECT_EQ(FDrv.TimeoutsSet.size(), 1u);

    FComm->SetParity(TParity::Even);
    EXPECT_EQ(FDrv.States.size(), 1u) << "Parity only stores";
    FComm->SetStopBits(TStopBits::_2);
    ASSERT_EQ(FDrv.States.size(), 2u);
    EXPECT_EQ(FDrv.States[1].StopBits, TWOSTOPBITS);
    EXPECT_EQ(FDrv.States[1].Parity, EVENPARITY) << "taken at the next re-application";

    FComm->SetDtrControl(TDtrControl::DtrDisable);
    FComm->SetRtsControl(TRtsControl::RtsTransmissionAvailable);
    FComm->SetByteSize(TByteSize::_7);
    FComm->SetOutx_CtsFlow(false);
    const TCommState& S = FDrv.States.back();
    EXPECT_EQ(DcbDtrControl(S.Flags), DTR_CONTROL_DISABLE);
    EXPECT_EQ(DcbRtsControl(S.Flags), RTS_CONTROL_TOGGLE);
    EXPECT_EQ(S.ByteSize, 7);
    EXPECT_FALSE(S.Flags & CDcbOutxCtsFlow);

    FComm->SetReadTotalTimeoutConstant(500);
    ASSERT_EQ(FDrv.TimeoutsSet.size(), 2u);
    EXPECT_EQ(FDrv.TimeoutsSet[1].ReadTotalTimeoutConstant, 500u);
    FComm->SetCommName(u"COM9");
    EXPECT_EQ(FDrv.Opens, 1) << "the name never touches an open port";
    FComm->StopComm();
}

TEST_F(CommSettings, StartOnAnOpenPortRaisesAndKeepsItOpen) {
    StartAndSettle();
    try {
        FComm->StartComm();
        FAIL();
    } catch (const ECommsError& E) {
        EXPECT_EQ(E.Message(), u"This serial port already opened");
    }
    EXPECT_TRUE(FComm->Connected());
    EXPECT_EQ(FDrv.Opens, 1);
    FComm->StopComm();
    FComm->StopComm();
    EXPECT_FALSE(FComm->Connected());
    EXPECT_EQ(FDrv.Closes, 1);
}

struct TStartFailure {
    const char* Name;
    std::function<void(TFakeCommDriver&)> Arrange;
    const char16_t* Message;
    int Closes; // port handles closed by the failed start
};

void PrintTo(const TStartFailure& ARow, std::ostream* AOut) {
    *AOut << ARow.Name;
}

class StartFailures : public CommFixture, public ::testing::WithParamInterface<TStartFailure> {};

TEST_P(StartFailures, RaiseTheirTextReleaseAllAndAllowANewStart) {
    const TStartFailure& P = GetParam();
    P.Arrange(FDrv);
    try {
        FComm->StartComm();
        FAIL() << "no exception";
    } catch (const ECommsError& E) {
        EXPECT_EQ(E.Message(), P.Message);
    }
    EXPECT_FALSE(FComm->Connected());
    EXPECT_EQ(FDrv.Closes, P.Closes);
    EXPECT_EQ(FDrv.LivePorts(), 0);
    EXPECT_EQ(FDrv.LiveEvents(), 0);

    FDrv.ClearFailures();
    StartAndSettle();
    EXPECT_TRUE(FComm->Connected());
    FComm->StopComm();
}

const std::thread::id GMain = std::this_thread::get_id();

INSTANTIATE_TEST_SUITE_P(
    Rows, StartFailures,
    ::testing::Values(TStartFailure{"Open", [](TFakeCommDriver& D) { D.OpenFails = true; },
                                    u"Error opening serial port", 0},
                      TStartFailure{"NotChar", [](TFakeCommDriver& D) { D.NotCharDevice = true; },
                                    u"File handle is not a comm handle ", 1},
                      TStartFailure{"Setup", [](TFakeCommDriver& D) { D.SetupFails = true; },
                                    u"Cannot setup comm buffer", 1},
                      TStartFailure{"Event",
                                    [](TFakeCommDriver& D) {
                                        D.FailNewEvent = [](int, bool, bool) {
                                            return std::this_thread::get_id() == GMain;
                                        };
                                    },
                                    u"Unable to create event", 1},
                      TStartFailure{"ReadThread",
                                    [](TFakeCommDriver& D) { D.ReadThreadFails = true; },
                                    u"Unable to create read thread", 1},
                      TStartFailure{"WriteThread",
                                    [](TFakeCommDriver& D) { D.WriteThreadFails = true; },
                                    u"Unable to create write thread", 1}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(CommSettings, WriteThreadFailureDisposesOfTheUnstartedReadThread) {
    FDrv.WriteThreadFails = true;
    EXPECT_THROW(FComm->StartComm(), ECommsError);
    // CloseReadThread's purge of the receive side ran; no thread ever read.
    EXPECT_EQ(FDrv.Purges.back(), PURGE_RXABORT | PURGE_RXCLEAR);
    EXPECT_EQ(FDrv.Reads, 0);
}

TEST_F(CommSettings, ModemStateAndClosedWrites) {
    EXPECT_FALSE(FComm->WriteCommData(reinterpret_cast<const uint8_t*>("x"), 1));
    EXPECT_TRUE(FComm->SendDataEmpty());
    StartAndSettle();
    EXPECT_EQ(FComm->GetModemState(), MS_CTS_ON | MS_DSR_ON);
    EXPECT_FALSE(FComm->WriteCommData(reinterpret_cast<const uint8_t*>("x"), 0));
    EXPECT_TRUE(FComm->SendDataEmpty());
    FComm->StopComm();
    EXPECT_EQ(FComm->GetModemState(), 0u);
}

TEST_F(CommSettings, DestroyWhileOpenClosesThePortAndReleasesQueuedBlocks) {
    StartAndSettle();
    FDrv.CompleteRead(TCommResult::crOk, "abc");
    ASSERT_TRUE(FDrv.WaitUntil([&] { return FDrv.Reads >= 2; }));
    // The block sits in the window's queue, unpumped.
    EXPECT_EQ(LiveCommBlocks(), FBlocksBefore + 1);
    FComm.reset();
    EXPECT_EQ(FDrv.Closes, 1);
    EXPECT_EQ(Count("data:abc"), 0);
}

} // namespace
