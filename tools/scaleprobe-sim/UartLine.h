// The serial line between the indicator's UART and the application's, bit by
// bit. The indicator sends at its own rate (start bit, 7 or 8 data bits LSB
// first, an optional parity bit, its stop bits, idle high). The receiver runs
// at the application's rate with 8 data bits and no parity: it waits for a
// falling edge, samples each bit in its middle and hands over one
// byte per start bit at the sample of its stop bit; a stop bit sampled low is
// a framing error, and the byte is delivered all the same.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

enum class TUartParity { upNone, upEven, upOdd };

class TUartLine {
public:
    struct TRxByte {
        uint8_t Value;
        bool FramingError;
        double Seconds; // when the receiver has it: its stop-bit sample
    };

    // The indicator's side. Line time counts in ticks of half an indicator
    // bit; ATxStopHalfBits is 2, 3 or 4, ATxDataBits 7 or 8.
    TUartLine(uint32_t ATxBaud, uint32_t ATxStopHalfBits, uint32_t ATxDataBits = 8,
              TUartParity ATxParity = TUartParity::upNone);

    int64_t TicksPerSecond() const { return 2 * static_cast<int64_t>(FTxBaud); }
    // Ticks one byte occupies on the line.
    int64_t ByteTicks() const { return 2 * (1 + FTxWordBits) + FTxStopHalfBits; }

    // Queues a byte to start at AEarliest, or when the byte before it ends if
    // that is later. Returns its start tick.
    int64_t Send(uint8_t AByte, int64_t AEarliest);
    // The tick at which everything queued has been sent.
    int64_t TxIdleAt() const { return FTxIdleAt; }

    // A receiver at ARxBaud starts looking for a start bit at the first byte
    // that starts at or after tick AFrom; it replaces the one before.
    void Listen(uint32_t ARxBaud, int64_t AFrom);
    void Disconnect() { FRxBaud = 0; }
    bool Listening() const { return FRxBaud != 0; }
    uint32_t RxBaud() const { return FRxBaud; }

    // Appends the bytes the receiver has completed by tick AUntil. Every byte
    // that starts before AUntil must be queued by then. Without a receiver
    // the bytes go nowhere.
    void Receive(int64_t AUntil, std::vector<TRxByte>& AOut);

private:
    struct TTxByte {
        int64_t Start; // tick
        uint16_t Word; // data bits, then the parity bit
    };

    // Receiver arithmetic runs in units of 1/(4 * tx rate * rx rate) seconds,
    // in which both rates' half bits are whole numbers.
    int64_t TickToUnits(int64_t ATick) const { return ATick * 2 * FRxBaud; }
    int64_t TxBitUnits() const { return 4 * static_cast<int64_t>(FRxBaud); }
    int64_t RxHalfBitUnits() const { return 2 * static_cast<int64_t>(FTxBaud); }

    int Level(int64_t AUnits) const;
    bool NextFallingEdge(int64_t AAfterUnits, int64_t& AEdgeUnits) const;
    void DropSentBefore(int64_t ATick);

    uint32_t FTxBaud;
    int64_t FTxStopHalfBits;
    uint32_t FTxDataBits;
    TUartParity FTxParity;
    int64_t FTxWordBits; // data and parity bits
    int64_t FTxIdleAt = 0;
    std::deque<TTxByte> FTx;
    uint32_t FRxBaud = 0;
    int64_t FRxHuntUnits = 0; // the receiver looks for edges after this
};
