#include "weighbridge/UnitReceivedBuffer.h"

#include <cstring>

int32_t KeepAtMost(uint32_t ASize, int32_t ALastEndIdx, uint32_t AKeep) {
    if (ASize <= AKeep)
        return ALastEndIdx;
    const int32_t LFloor = static_cast<int32_t>(ASize - AKeep) - 1;
    return ALastEndIdx < LFloor ? LFloor : ALastEndIdx;
}

uint32_t AppendReceivedData(uint8_t* ABuffer, uint32_t& ASize, const uint8_t* AData,
                            uint16_t ALength) {
    uint32_t LCanReadSize = ALength;
    if (ASize + ALength > CMaxReceivedSize)
        LCanReadSize = CMaxReceivedSize - ASize;
    if (LCanReadSize == 0)
        return 0;
    std::memcpy(ABuffer + ASize, AData, LCanReadSize);
    ASize += LCanReadSize;
    return LCanReadSize;
}

void ConsumeReceivedData(uint8_t* ABuffer, uint32_t& ASize, int32_t ALastEndIdx) {
    if (ALastEndIdx < 0 || static_cast<uint32_t>(ALastEndIdx) >= ASize)
        return;
    const uint32_t LConsumed = static_cast<uint32_t>(ALastEndIdx) + 1;
    const uint32_t LOldSize = ASize;
    if (LConsumed < LOldSize)
        std::memmove(ABuffer, ABuffer + LConsumed, LOldSize - LConsumed);
    ASize = LOldSize - LConsumed;
    // Everything past the old data is 0 already.
    std::memset(ABuffer + ASize, 0, LOldSize - ASize);
}

void ReceiveFrames(uint8_t* ABuffer, uint32_t& ASize, const uint8_t* AData, uint16_t ALength,
                   TFrameScan AScan, TWeightSink ASink) {
    ReceiveChunk(ABuffer, ASize, AData, ALength, [&](const uint8_t* ABuf, const uint32_t& ALen) {
        return AScan(ABuf, ALen, ASink);
    });
}
