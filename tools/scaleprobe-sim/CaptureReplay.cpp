#include "tools/scaleprobe-sim/CaptureReplay.h"

#include <algorithm>

TCaptureReplay::TCaptureReplay(const TLineCapture& ACapture, int64_t ATicksPerSecond,
                               int64_t AByteTicks)
    : FCapture(ACapture) {
    // A block's time is when its read ended: its bytes were on the line
    // just before.
    std::vector<int64_t> LEnds;
    int64_t LBytes = 0;
    for (const TCaptureBlock& LBlock : ACapture.Blocks) {
        const int64_t LEnd = static_cast<int64_t>(static_cast<long double>(LBlock.Micros) *
                                                  ATicksPerSecond / 1000000.0L);
        LEnds.push_back(LEnd);
        FStarts.push_back(LEnd - static_cast<int64_t>(LBlock.Bytes.size()) * AByteTicks);
        LBytes += static_cast<int64_t>(LBlock.Bytes.size());
    }
    // Reads delivered in a burst may have begun before the first one.
    const int64_t LOrigin = *std::min_element(FStarts.begin(), FStarts.end());
    for (int64_t& LStart : FStarts)
        LStart -= LOrigin;
    // A pass never takes less time than its bytes need on the line, so the
    // passes cannot fall behind the line more and more.
    FPeriod = std::max(LEnds.back() - LOrigin, LBytes * AByteTicks);
}

int64_t TCaptureReplay::NextStart() const {
    return FPass * FPeriod + FStarts[FNext];
}

void TCaptureReplay::Take(std::vector<uint8_t>& AOut) {
    const std::vector<uint8_t>& LBytes = FCapture.Blocks[FNext].Bytes;
    AOut.insert(AOut.end(), LBytes.begin(), LBytes.end());
    if (++FNext == FStarts.size()) {
        FNext = 0;
        ++FPass;
    }
}
