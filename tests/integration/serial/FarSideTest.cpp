// A component on a real port whose far side far_side.py drives: a
// pseudo-terminal on Linux, the same pseudo-terminal as a Wine COM port on
// Windows. Each test is one scenario of the script, which starts this program
// with the port's name in SP_PORT (and SP_PORT_HIGH for a port numbered 10 or
// more). The two sides keep in step through the port itself: this side sends
// a letter, the far side answers with its bytes or a verdict.
#include "CommOnPort.h"

#include <cstdlib>

namespace {

std::string Env(const char* AName) {
    const char* L = std::getenv(AName);
    return L ? L : "";
}

// The bytes the far side sends in the order and bulk scenarios.
std::string Pattern(size_t ASize) {
    std::string LData(ASize, '\0');
    for (size_t I = 0; I < ASize; ++I)
        LData[I] = static_cast<char>((I * 7 + I / 251) & 0xFF);
    return LData;
}

class FarSide : public CommOnPort {
protected:
    void SetUp() override {
        FPort = Env("SP_PORT");
        if (FPort.empty())
            GTEST_SKIP() << "run by far_side.py, which gives the port in SP_PORT";
        OpenOn(Utf8ToUnicode(FPort));
    }

    // Tells the far side to go on with ALetter.
    void Signal(char ALetter) {
        const uint8_t LByte = static_cast<uint8_t>(ALetter);
        ASSERT_TRUE(FComm->WriteCommData(&LByte, 1) ||
                    PumpUntil([&] { return FComm->WriteCommData(&LByte, 1); }, 10000));
    }
    // Waits for AText after what has arrived so far; false after a long while.
    bool Expect(const std::string& AText, uint32_t AMs = 60000) {
        const size_t LFrom = FReceived.size();
        const bool LGot = PumpUntil([&] { return FReceived.size() >= LFrom + AText.size(); }, AMs);
        return LGot && FReceived.compare(LFrom, AText.size(), AText) == 0;
    }
    void Clear() {
        FBlocks.clear();
        FReceived.clear();
    }

    std::string FPort;
};

TEST_F(FarSide, BytesArriveInOrderInBlocksAndABurstAsOneBlock) {
    FComm->StartComm();
    Signal('R');
    const std::string LData = Pattern(5000);
    ASSERT_TRUE(PumpUntil([&] { return FReceived.size() >= LData.size(); }));
    EXPECT_EQ(FReceived, LData);
    EXPECT_GE(FBlocks.size(), 5u);
    for (const std::string& LBlock : FBlocks)
        EXPECT_LE(LBlock.size(), 1024u);
    // 300 bytes written at once reach the port together: one block.
    Clear();
    Signal('B');
    ASSERT_TRUE(PumpUntil([&] { return FReceived.size() >= 300; }));
    PumpFor(200);
    EXPECT_EQ(FReceived, std::string(300, 'b'));
    EXPECT_EQ(FBlocks.size(), 1u);
    EXPECT_EQ(FHangups, 0);
    FComm->StopComm();
}

TEST_F(FarSide, LineSettingsReadBackOnTheFarSide) {
    // The far side answers each letter with "ok" or what it found instead.
    FComm->SetBaudRate(19200);
    FComm->SetStopBits(TStopBits::_2);
    FComm->StartComm();
    Signal('S'); // 19200 baud, two stop bits
    EXPECT_TRUE(Expect("ok")) << FReceived;
    FComm->SetBaudRate(4800);
    FComm->SetStopBits(TStopBits::_1);
    Signal('T'); // 4800 baud, one stop bit
    EXPECT_TRUE(Expect("ok")) << FReceived;
    FComm->StopComm();
}

TEST_F(FarSide, APortNumberedTenOrMoreOpensThroughTheDevicePrefix) {
    // The name as the client hands it over for COM10 and above; the
    // component puts its own prefix in front once more.
    const std::string LHigh = Env("SP_PORT_HIGH");
    ASSERT_FALSE(LHigh.empty());
    FComm->SetCommName(Utf8ToUnicode(LHigh.rfind("COM", 0) == 0 ? "//./" + LHigh : LHigh));
    FComm->StartComm();
    Signal('R');
    EXPECT_TRUE(Expect("high port"));
    FComm->StopComm();
}

TEST_F(FarSide, TheFarSideClosingGivesAHangupAndStopReturns) {
    FComm->StartComm();
    Signal('R');
    ASSERT_TRUE(Expect("before"));
    Signal('C'); // the far side closes now
    ASSERT_TRUE(PumpUntil([&] { return FHangups > 0; }));
    PumpFor(300);
    EXPECT_EQ(FHangups, 1);
    EXPECT_TRUE(FComm->Connected()) << "the component never closes by itself";
    FComm->StopComm();
    EXPECT_FALSE(FComm->Connected());
}

TEST_F(FarSide, OneMebibyteArrivesWithNothingLost) {
    FComm->StartComm();
    Signal('R');
    const std::string LData = Pattern(1 << 20);
    ASSERT_TRUE(PumpUntil([&] { return FReceived.size() >= LData.size(); }, 240000))
        << FReceived.size() << " bytes arrived";
    EXPECT_EQ(FReceived.size(), LData.size());
    EXPECT_TRUE(FReceived == LData) << "the bytes differ";
    EXPECT_EQ(FHangups, 0);
    FComm->StopComm();
}

TEST_F(FarSide, ASteadyStreamIsHandedOverWhileItFlows) {
    // One byte a millisecond for about a second never leaves a 10 ms gap.
    // Each read still hands over at most 50 ms after its first byte, so the
    // bytes come in blocks while the stream runs, not in one at its end. A far
    // side that falls behind catches up in bursts (a CI run got 4 blocks), so
    // more than one block is the point, not some twenty.
    FComm->StartComm();
    Signal('R');
    constexpr size_t CSize = 1000;
    ASSERT_TRUE(PumpUntil([&] { return FReceived.size() >= CSize; }));
    EXPECT_EQ(FReceived, std::string(CSize, 's'));
    EXPECT_GE(FBlocks.size(), 2u);
    FComm->StopComm();
}

TEST_F(FarSide, OpenIsExclusive) {
    if (!Env("SP_WINE").empty())
        GTEST_SKIP() << "Wine does not enforce share mode 0: a second open succeeds";
    FComm->StartComm();
    TComm LSecond;
    LSecond.SetCommName(Utf8ToUnicode(FPort));
    EXPECT_THROW(LSecond.StartComm(), ECommsError);
    FComm->StopComm();
    EXPECT_NO_THROW(LSecond.StartComm());
    LSecond.StopComm();
}

} // namespace
