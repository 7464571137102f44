// A line capture played back on the simulator's line, over and over: each
// block's bytes are to end on the line when the block was read, as far as the
// line allows, so the gaps and bursts of the site come back.
#pragma once

#include "capture/LineCapture.h"

#include <cstdint>
#include <vector>

class TCaptureReplay {
public:
    // ACapture has at least one block. Ticks are the line's: ATicksPerSecond
    // of them per second, AByteTicks for one byte.
    TCaptureReplay(const TLineCapture& ACapture, int64_t ATicksPerSecond, int64_t AByteTicks);

    // The tick at which the next block's first byte may start.
    int64_t NextStart() const;
    // Appends the next block's bytes to AOut and moves on; after the last
    // block the first follows, one period later.
    void Take(std::vector<uint8_t>& AOut);
    // The length of one pass: from the earliest start to the last block's
    // time, at least the line time of all its bytes.
    int64_t Period() const { return FPeriod; }

private:
    const TLineCapture& FCapture;
    // Each block's start, from the first byte's start.
    std::vector<int64_t> FStarts;
    int64_t FPeriod = 0;
    size_t FNext = 0;
    int64_t FPass = 0;
};
