#include "PtyFixture.h"
#include "tests/support/ScratchDir.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

std::string Pattern(size_t ASize, unsigned ASeed = 0) {
    std::string LData(ASize, '\0');
    for (size_t I = 0; I < ASize; ++I)
        LData[I] = static_cast<char>((I * 7 + ASeed + I / 251) & 0xFF);
    return LData;
}

using PtyComm = PtyFixture;

TEST_F(PtyComm, BytesArriveInOrderInBlocksOfAtMost1024) {
    FComm->StartComm();
    const std::string LData = Pattern(5000);
    ASSERT_TRUE(FPty.Send(LData));
    ASSERT_TRUE(PumpUntil([&] { return FReceived.size() >= LData.size(); }));
    EXPECT_EQ(FReceived, LData);
    EXPECT_GE(FBlocks.size(), 5u);
    for (const std::string& LBlock : FBlocks)
        EXPECT_LE(LBlock.size(), 1024u);
    FComm->StopComm();
}

TEST_F(PtyComm, ABurstArrivesAsOneBlock) {
    FComm->StartComm();
    ASSERT_TRUE(PumpUntil([&] { return FEmpties == 1; }));
    ASSERT_TRUE(FPty.Send(Pattern(300, 5)));
    ASSERT_TRUE(PumpUntil([&] { return FReceived.size() >= 300; }));
    PumpFor(100);
    ASSERT_EQ(FBlocks.size(), 1u);
    EXPECT_EQ(FBlocks[0], Pattern(300, 5));
    FComm->StopComm();
}

TEST_F(PtyComm, AGapLongerThanTheIntervalEndsABlock) {
    // The line is looked at less often while bytes flow; a pause between
    // two bursts still hands the first over on its own.
    FComm->StartComm();
    ASSERT_TRUE(FPty.Send("first"));
    ASSERT_TRUE(PumpUntil([&] { return FReceived == "first"; }));
    PumpFor(100);
    ASSERT_TRUE(FPty.Send("second"));
    ASSERT_TRUE(PumpUntil([&] { return FReceived == "firstsecond"; }));
    EXPECT_EQ(FBlocks, (std::vector<std::string>{"first", "second"}));
    FComm->StopComm();
}

TEST_F(PtyComm, ASteadyStreamIsHandedOverWhileItFlows) {
    // One byte a millisecond never leaves a 10 ms gap; the bytes must still
    // come in several blocks while the stream runs, not in one at its end.
    FComm->StartComm();
    const std::string LData = Pattern(400, 9);
    std::thread LWriter([&] {
        for (char C : LData) {
            if (!FPty.Send(std::string(1, C)))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const bool LAll = PumpUntil([&] { return FReceived.size() >= LData.size(); });
    LWriter.join();
    ASSERT_TRUE(LAll);
    EXPECT_EQ(FReceived, LData);
    EXPECT_GE(FBlocks.size(), 3u);
    FComm->StopComm();
}

TEST_F(PtyComm, LineSettingsReadBackOnTheMasterSide) {
    FComm->SetBaudRate(19200);
    FComm->SetStopBits(TStopBits::_2);
    FComm->StartComm();
    termios LTio{};
    ASSERT_EQ(::tcgetattr(FPty.Master(), &LTio), 0);
    EXPECT_EQ(::cfgetospeed(&LTio), static_cast<speed_t>(B19200));
    EXPECT_TRUE(LTio.c_cflag & CSTOPB);
    EXPECT_TRUE(LTio.c_cflag & CRTSCTS) << "CTS output flow control is on by default";
    EXPECT_EQ(LTio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(LTio.c_cflag & PARENB);
    EXPECT_FALSE(LTio.c_lflag & (ICANON | ECHO | ISIG)) << "raw mode";
    EXPECT_FALSE(LTio.c_oflag & OPOST);

    // On an open port a change applies at once; parity waits for the next one.
    FComm->SetParity(TParity::Mark);
    ASSERT_EQ(::tcgetattr(FPty.Master(), &LTio), 0);
    EXPECT_FALSE(LTio.c_cflag & PARENB);
    FComm->SetBaudRate(4800);
    FComm->SetOutx_CtsFlow(false);
    FComm->SetStopBits(TStopBits::_1_5);
    FComm->SetByteSize(TByteSize::_7);
    FComm->SetOutx_XonXoffFlow(true);
    FComm->SetXonChar(0x11);
    FComm->SetXoffChar(0x13);
    ASSERT_EQ(::tcgetattr(FPty.Master(), &LTio), 0);
    EXPECT_EQ(::cfgetospeed(&LTio), static_cast<speed_t>(B4800));
    EXPECT_FALSE(LTio.c_cflag & CRTSCTS);
    EXPECT_TRUE(LTio.c_cflag & CSTOPB) << "1.5 stop bits go as 2";
    // The pty driver forces its character size and odd/even bit, so only
    // the stick-parity bit shows that the stored parity went out now.
    EXPECT_TRUE(LTio.c_cflag & CMSPAR);
    EXPECT_TRUE(LTio.c_iflag & IXON);
    EXPECT_EQ(LTio.c_cc[VSTART], 0x11);
    EXPECT_EQ(LTio.c_cc[VSTOP], 0x13);
    EXPECT_EQ(FComm->GetModemState(), 0u) << "a pseudo-terminal has no modem lines";
    FComm->StopComm();
}

TEST_F(PtyComm, OpenIsExclusiveAndNeedsATerminal) {
    const int LFds = CountEntries("/proc/self/fd");
    FComm->StartComm();
    TComm LSecond;
    auto LStartFails = [&](const UnicodeString& AName, const char16_t* AMessage) {
        LSecond.SetCommName(AName);
        try {
            LSecond.StartComm();
            ADD_FAILURE() << "opened " << UnicodeToUtf8(AName);
        } catch (const ECommsError& E) {
            EXPECT_EQ(E.Message(), AMessage);
        }
        EXPECT_FALSE(LSecond.Connected());
    };
    LStartFails(FPty.SlaveName(), u"Error opening serial port");
    LStartFails(u"/dev/null", u"File handle is not a comm handle ");
    const TScratchDir LDir("sp-pty");
    LStartFails(Utf8ToUnicode(LDir.Write("not_a_port.txt", "x").string()),
                u"File handle is not a comm handle ");
    LStartFails(u"/dev/does-not-exist", u"Error opening serial port");
    FComm->StopComm();
    EXPECT_EQ(CountEntries("/proc/self/fd"), LFds) << "no handle left open";
    // Closed, the port can be opened again (also by another component).
    LSecond.SetCommName(FPty.SlaveName());
    EXPECT_NO_THROW(LSecond.StartComm());
    LSecond.StopComm();
}

TEST_F(PtyComm, TheLineIsLeftAsItWasFound) {
    // A cooked line at 9600, as a user's terminal would be.
    termios LTio{};
    ASSERT_EQ(::tcgetattr(FPty.Master(), &LTio), 0);
    LTio.c_lflag |= ICANON | ECHO | ISIG;
    LTio.c_oflag |= OPOST;
    ::cfsetospeed(&LTio, B9600);
    ::cfsetispeed(&LTio, B9600);
    ASSERT_EQ(::tcsetattr(FPty.Master(), TCSANOW, &LTio), 0);
    FComm->SetBaudRate(19200);
    FComm->StartComm();
    FComm->StopComm();
    termios LAfter{};
    ASSERT_EQ(::tcgetattr(FPty.Master(), &LAfter), 0);
    EXPECT_EQ(LAfter.c_lflag & (ICANON | ECHO | ISIG), LTio.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_TRUE(LAfter.c_oflag & OPOST);
    EXPECT_EQ(::cfgetospeed(&LAfter), static_cast<speed_t>(B9600));
    EXPECT_EQ(LAfter.c_cflag, LTio.c_cflag);
    EXPECT_EQ(LAfter.c_iflag, LTio.c_iflag);
}

TEST_F(PtyComm, AnotherProgramsExclusiveUseIsRespected) {
    // Another program holds the line for exclusive use. Root could open it
    // anyway; the component treats it as busy and leaves the flag alone.
    const int LOther = ::open(FPty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(LOther, 0);
    ASSERT_EQ(::ioctl(LOther, TIOCEXCL), 0);
    EXPECT_THROW(FComm->StartComm(), ECommsError);
    EXPECT_FALSE(FComm->Connected());
    FComm.reset();
    int LExcl = 0;
    ASSERT_EQ(::ioctl(LOther, TIOCGEXCL, &LExcl), 0);
    EXPECT_NE(LExcl, 0) << "the other program's flag was cleared";
    // Once released, the line opens, and the flag the component set goes.
    ASSERT_EQ(::ioctl(LOther, TIOCNXCL), 0);
    TComm LComm;
    LComm.SetCommName(FPty.SlaveName());
    EXPECT_NO_THROW(LComm.StartComm());
    LComm.StopComm();
    ASSERT_EQ(::ioctl(LOther, TIOCGEXCL, &LExcl), 0);
    EXPECT_EQ(LExcl, 0);
    ::close(LOther);
}

TEST_F(PtyComm, SendEmptyOnceAfterEachStartAndOnceAfterThreeBlocks) {
    FComm->StartComm();
    ASSERT_TRUE(PumpUntil([&] { return FEmpties == 1; }));
    const auto* LData = reinterpret_cast<const uint8_t*>("onetwothree");
    EXPECT_TRUE(FComm->WriteCommData(LData, 3));
    EXPECT_TRUE(FComm->WriteCommData(LData + 3, 3));
    EXPECT_TRUE(FComm->WriteCommData(LData + 6, 5));
    EXPECT_EQ(FPty.Receive(11, 10000), "onetwothree");
    ASSERT_TRUE(PumpUntil([&] { return FEmpties >= 2; }));
    PumpFor(100);
    // Each block may end in a notice when the queue happened to run empty
    // in between; after the last there is exactly one more.
    EXPECT_GE(FEmpties, 2);
    EXPECT_LE(FEmpties, 4);
    EXPECT_TRUE(FComm->SendDataEmpty());
    FComm->StopComm();
    const int LBefore = FEmpties;
    FComm->StartComm();
    ASSERT_TRUE(PumpUntil([&] { return FEmpties == LBefore + 1; }));
    PumpFor(50);
    EXPECT_EQ(FEmpties, LBefore + 1);
    FComm->StopComm();
}

TEST_F(PtyComm, AnIdleLineJustWaits) {
    FComm->StartComm();
    PumpFor(300);
    EXPECT_EQ(FHangups, 0);
    EXPECT_TRUE(FBlocks.empty());
    FComm->StopComm();
}

double CpuSeconds() {
    rusage LUsage{};
    ::getrusage(RUSAGE_SELF, &LUsage);
    return static_cast<double>(LUsage.ru_utime.tv_sec + LUsage.ru_stime.tv_sec) +
           static_cast<double>(LUsage.ru_utime.tv_usec + LUsage.ru_stime.tv_usec) / 1e6;
}

TEST_F(PtyComm, MasterClosingMidStreamGivesOneHangupAndAFreshStartWorks) {
    FComm->StartComm();
    ASSERT_TRUE(FPty.Send("before"));
    ASSERT_TRUE(PumpUntil([&] { return FReceived == "before"; }));
    FPty.CloseMaster();
    ASSERT_TRUE(PumpUntil([&] { return FHangups > 0; }));
    // The read loop has ended: no busy loop, no second request.
    const double LCpu = CpuSeconds();
    PumpFor(500);
    EXPECT_EQ(FHangups, 1);
    EXPECT_LT(CpuSeconds() - LCpu, 0.2);
    EXPECT_TRUE(FComm->Connected()) << "the component never closes by itself";
    FComm->StopComm();

    TPty LBack;
    FComm->SetCommName(LBack.SlaveName());
    FComm->StartComm();
    ASSERT_TRUE(LBack.Send("after"));
    ASSERT_TRUE(PumpUntil([&] { return FReceived == "beforeafter"; }));
    FComm->StopComm();
}

TEST_F(PtyComm, ReadTimeoutsKeepTheirMeaning) {
    // Interval MAXDWORD with zero totals: a read returns at once, and an
    // empty one ends the read loop quietly.
    FComm->SetReadIntervalTimeout(MAXDWORD);
    FComm->StartComm();
    PumpFor(200);
    ASSERT_TRUE(FPty.Send("ignored"));
    PumpFor(200);
    EXPECT_TRUE(FBlocks.empty());
    EXPECT_EQ(FHangups, 0);
    FComm->StopComm();

    // A total time-out: the read completes at the deadline with what came;
    // with nothing, that is an empty read.
    FComm->SetReadIntervalTimeout(0);
    FComm->SetReadTotalTimeoutConstant(300);
    FComm->StartComm();
    ASSERT_TRUE(FPty.Send("abc"));
    ASSERT_TRUE(PumpUntil([&] { return !FBlocks.empty(); }));
    EXPECT_EQ(FBlocks[0], "abc");
    FComm->StopComm();
}

} // namespace
