#include "tools/scaleprobe-sim/UartLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<TUartLine::TRxByte> SendAndReceive(uint32_t ATxBaud, uint32_t AStopHalfBits,
                                               uint32_t ARxBaud,
                                               const std::vector<uint8_t>& ABytes) {
    TUartLine LLine(ATxBaud, AStopHalfBits);
    LLine.Listen(ARxBaud, 0);
    for (uint8_t LByte : ABytes)
        LLine.Send(LByte, 1);
    std::vector<TUartLine::TRxByte> LOut;
    LLine.Receive(LLine.TxIdleAt() + LLine.TicksPerSecond(), LOut);
    return LOut;
}

std::vector<uint8_t> Values(const std::vector<TUartLine::TRxByte>& ABytes) {
    std::vector<uint8_t> LOut;
    for (const auto& LByte : ABytes)
        LOut.push_back(LByte.Value);
    return LOut;
}

std::vector<uint8_t> AllBytes() {
    std::vector<uint8_t> LOut;
    for (int I = 0; I < 256; ++I)
        LOut.push_back(static_cast<uint8_t>(I));
    return LOut;
}

TEST(UartLineTest, SameRatePassesEveryByteWhateverTheStopBits) {
    for (uint32_t LTxStop : {2u, 3u, 4u}) {
        const auto LOut = SendAndReceive(9600, LTxStop, 9600, AllBytes());
        EXPECT_EQ(Values(LOut), AllBytes()) << "stop half bits " << LTxStop;
        for (const auto& LByte : LOut)
            EXPECT_FALSE(LByte.FramingError);
    }
}

TEST(UartLineTest, ByteArrivesAtItsStopBitSample) {
    const auto LOut = SendAndReceive(1200, 2, 1200, {0x41, 0x42});
    ASSERT_EQ(LOut.size(), 2u);
    // Sent back to back from tick 1 (half a bit in): 9.5 bits to the stop sample.
    EXPECT_NEAR(LOut[0].Seconds, (0.5 + 9.5) / 1200.0, 1e-9);
    EXPECT_NEAR(LOut[1].Seconds, (0.5 + 10 + 9.5) / 1200.0, 1e-9);
}

TEST(UartLineTest, ZeroByteAtHalfTheReceiverBitTimeIsAFramingError) {
    // 0x00 at 9600 keeps the line low for nine of its bits: a receiver at
    // 19200 samples eight zero bits and a low stop bit.
    const auto LOut = SendAndReceive(9600, 2, 19200, {0x00});
    ASSERT_EQ(LOut.size(), 1u);
    EXPECT_EQ(LOut[0].Value, 0x00);
    EXPECT_TRUE(LOut[0].FramingError);
}

TEST(UartLineTest, FastSenderIntoSlowReceiver) {
    // 0xFF at 19200 is a single low bit of half a 9600 bit: the receiver
    // samples high from its first data bit on.
    const auto LOut = SendAndReceive(19200, 2, 9600, {0xFF});
    ASSERT_EQ(LOut.size(), 1u);
    EXPECT_EQ(LOut[0].Value, 0xFF);
    EXPECT_FALSE(LOut[0].FramingError);
}

TEST(UartLineTest, ByteRateFollowsTheReceiversLine) {
    // Two seconds of back-to-back bytes at 9600 received at 1200: a byte
    // takes the receiver at least 9.5 of its bits.
    std::vector<uint8_t> LStream(1920, 0x55);
    const auto LOut = SendAndReceive(9600, 2, 1200, LStream);
    EXPECT_GT(LOut.size(), 100u);
    EXPECT_LE(LOut.size(), static_cast<size_t>(2 * 1200 / 9.5) + 1);
    for (size_t I = 1; I < LOut.size(); ++I)
        EXPECT_GE(LOut[I].Seconds - LOut[I - 1].Seconds, 9.5 / 1200.0 - 1e-9);
}

TEST(UartLineTest, NoReceiverNoBacklog) {
    // 0xF0 has no falling edge but its start bit, so a receiver that joins
    // in the middle of a byte waits for the next one.
    TUartLine LLine(9600, 2);
    for (int I = 0; I < 100; ++I)
        LLine.Send(0xF0, 0);
    std::vector<TUartLine::TRxByte> LOut;
    LLine.Receive(LLine.TxIdleAt() / 2, LOut);
    EXPECT_TRUE(LOut.empty());
    // Listening from the middle of byte 50 on: only the bytes after it.
    LLine.Listen(9600, LLine.TxIdleAt() / 2 + 3);
    LLine.Receive(LLine.TxIdleAt() + 100, LOut);
    EXPECT_EQ(Values(LOut), std::vector<uint8_t>(49, 0xF0));
}

TEST(UartLineTest, ReceivingInSlicesGivesTheSameBytes) {
    const auto LWhole = SendAndReceive(4800, 3, 2400, AllBytes());
    TUartLine LLine(4800, 3);
    LLine.Listen(2400, 0);
    for (uint8_t LByte : AllBytes())
        LLine.Send(LByte, 1);
    std::vector<TUartLine::TRxByte> LSliced;
    for (int64_t LAt = 0; LAt < LLine.TxIdleAt() + LLine.TicksPerSecond(); LAt += 7)
        LLine.Receive(LAt, LSliced);
    ASSERT_EQ(LSliced.size(), LWhole.size());
    for (size_t I = 0; I < LWhole.size(); ++I) {
        EXPECT_EQ(LSliced[I].Value, LWhole[I].Value);
        EXPECT_EQ(LSliced[I].FramingError, LWhole[I].FramingError);
    }
}

TEST(UartLineTest, NewRatesBehaveAsTheOldOnes) {
    for (uint32_t LRate : {300u, 38400u, 57600u, 115200u}) {
        const auto LSame = SendAndReceive(LRate, 2, LRate, AllBytes());
        EXPECT_EQ(Values(LSame), AllBytes()) << LRate;
        ASSERT_EQ(LSame.size(), 256u);
        EXPECT_NEAR(LSame[1].Seconds - LSame[0].Seconds, 10.0 / LRate, 1e-9) << LRate;
    }
    // Far apart: 115200 into 300 completes at most one byte per 9.5 bits of
    // 300 baud; 300 into 115200 sees a zero byte as one long low: one byte
    // with a framing error, and no edge for another.
    std::vector<uint8_t> LStream(23040, 0x55);
    const auto LSlow = SendAndReceive(115200, 2, 300, LStream);
    EXPECT_GT(LSlow.size(), 30u);
    EXPECT_LE(LSlow.size(), static_cast<size_t>(2 * 300 / 9.5) + 1);
    const auto LFast = SendAndReceive(300, 2, 115200, {0x00});
    ASSERT_EQ(LFast.size(), 1u);
    EXPECT_EQ(LFast[0].Value, 0x00);
    EXPECT_TRUE(LFast[0].FramingError);
}

TEST(UartLineTest, SevenDataBitsWithParityArriveWithTheParityAsBitSeven) {
    auto Send = [](uint32_t ADataBits, TUartParity AParity, std::vector<uint8_t> ABytes) {
        TUartLine LLine(9600, 2, ADataBits, AParity);
        LLine.Listen(9600, 0);
        for (uint8_t LByte : ABytes)
            LLine.Send(LByte, 1);
        std::vector<TUartLine::TRxByte> LOut;
        LLine.Receive(LLine.TxIdleAt() + LLine.TicksPerSecond(), LOut);
        return LOut;
    };
    // '1' has three ones, '0' two, CR three.
    EXPECT_EQ(Values(Send(7, TUartParity::upEven, {'1', '0', '\r'})),
              (std::vector<uint8_t>{0xB1, 0x30, 0x8D}));
    EXPECT_EQ(Values(Send(7, TUartParity::upOdd, {'1', '0', 0xB1})),
              (std::vector<uint8_t>{0x31, 0xB0, 0x31}));
    // Eight data bits and parity: the ninth bit is taken for the stop bit.
    const auto LNine = Send(8, TUartParity::upEven, {0x01, 0x03});
    EXPECT_EQ(Values(LNine), (std::vector<uint8_t>{0x01, 0x03}));
    EXPECT_FALSE(LNine[0].FramingError);
    EXPECT_TRUE(LNine[1].FramingError);
}

} // namespace
