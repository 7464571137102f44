#include "tools/scaleprobe-sim/UartLine.h"

#include <algorithm>

TUartLine::TUartLine(uint32_t ATxBaud, uint32_t ATxStopHalfBits, uint32_t ATxDataBits,
                     TUartParity ATxParity)
    : FTxBaud(ATxBaud), FTxStopHalfBits(ATxStopHalfBits), FTxDataBits(ATxDataBits),
      FTxParity(ATxParity), FTxWordBits(ATxDataBits + (ATxParity == TUartParity::upNone ? 0 : 1)) {}

int64_t TUartLine::Send(uint8_t AByte, int64_t AEarliest) {
    const int64_t LStart = std::max(AEarliest, FTxIdleAt);
    uint16_t LWord = static_cast<uint16_t>(AByte & ((1u << FTxDataBits) - 1));
    if (FTxParity != TUartParity::upNone) {
        uint32_t LOnes = 0;
        for (uint32_t J = 0; J < FTxDataBits; ++J)
            LOnes += (LWord >> J) & 1u;
        // Even parity makes the count of ones, parity bit included, even.
        const uint32_t LBit = (LOnes & 1u) ^ (FTxParity == TUartParity::upOdd ? 1u : 0u);
        LWord = static_cast<uint16_t>(LWord | (LBit << FTxDataBits));
    }
    FTx.push_back({LStart, LWord});
    FTxIdleAt = LStart + ByteTicks();
    return LStart;
}

void TUartLine::Listen(uint32_t ARxBaud, int64_t AFrom) {
    FRxBaud = ARxBaud;
    // The receiver comes up between two bytes: joining a back-to-back stream
    // inside a byte could lock it onto a wrong framing for good.
    int64_t LFrom = AFrom;
    for (const TTxByte& LByte : FTx)
        if (LByte.Start >= AFrom) {
            LFrom = LByte.Start;
            break;
        }
    FRxHuntUnits = TickToUnits(LFrom) - 1;
}

int TUartLine::Level(int64_t AUnits) const {
    // The last byte that starts at or before AUnits.
    auto LIt =
        std::upper_bound(FTx.begin(), FTx.end(), AUnits, [this](int64_t AU, const TTxByte& AByte) {
            return AU < TickToUnits(AByte.Start);
        });
    if (LIt == FTx.begin())
        return 1;
    --LIt;
    const int64_t LBit = (AUnits - TickToUnits(LIt->Start)) / TxBitUnits();
    if (LBit == 0)
        return 0; // start bit
    if (LBit <= FTxWordBits)
        return (LIt->Word >> (LBit - 1)) & 1;
    return 1; // stop bits, then idle
}

bool TUartLine::NextFallingEdge(int64_t AAfterUnits, int64_t& AEdgeUnits) const {
    // The bytes are in line order: skip those that ended before AAfterUnits
    // at once, so that a long backlog (after this process could not run for
    // a while) costs time in proportion to its length, not to its square.
    const int64_t LByteUnits = TickToUnits(ByteTicks());
    const auto LFirst = std::partition_point(FTx.begin(), FTx.end(), [&](const TTxByte& AByte) {
        return TickToUnits(AByte.Start) + LByteUnits <= AAfterUnits;
    });
    for (auto LIt = LFirst; LIt != FTx.end(); ++LIt) {
        const TTxByte& LByte = *LIt;
        const int64_t LStart = TickToUnits(LByte.Start);
        if (LStart > AAfterUnits) {
            AEdgeUnits = LStart; // the line is high before every start bit
            return true;
        }
        // Inside the byte: a word bit 1 followed by a word bit 0.
        for (int64_t K = 1; K < FTxWordBits; ++K) {
            const int64_t LEdge = LStart + (K + 1) * TxBitUnits();
            if (LEdge > AAfterUnits && ((LByte.Word >> (K - 1)) & 1) == 1 &&
                ((LByte.Word >> K) & 1) == 0) {
                AEdgeUnits = LEdge;
                return true;
            }
        }
    }
    return false;
}

void TUartLine::DropSentBefore(int64_t ATick) {
    while (!FTx.empty() && FTx.front().Start + ByteTicks() <= ATick)
        FTx.pop_front();
}

void TUartLine::Receive(int64_t AUntil, std::vector<TRxByte>& AOut) {
    if (!Listening()) {
        DropSentBefore(AUntil);
        return;
    }
    const int64_t LUntil = TickToUnits(AUntil);
    const int64_t LHalf = RxHalfBitUnits();
    const double LUnitsPerSecond = 4.0 * FTxBaud * FRxBaud;
    int64_t LEdge = 0;
    while (NextFallingEdge(FRxHuntUnits, LEdge)) {
        const int64_t LStopSample = LEdge + 19 * LHalf;
        if (LStopSample > LUntil)
            break; // not complete yet
        uint8_t LValue = 0;
        for (int J = 0; J < 8; ++J)
            LValue |= static_cast<uint8_t>(Level(LEdge + (3 + 2 * J) * LHalf) << J);
        AOut.push_back(
            {LValue, Level(LStopSample) == 0, static_cast<double>(LStopSample) / LUnitsPerSecond});
        FRxHuntUnits = LStopSample;
    }
    // Bytes that ended before the receiver's position matter no more.
    DropSentBefore(std::min(AUntil, FRxHuntUnits / (2 * static_cast<int64_t>(FRxBaud))));
}
