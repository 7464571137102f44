// The receive buffer that both frame decoders fill and consume: a fixed array
// of 2048 bytes of which at most 1024 hold data; every byte past the data is 0.
#pragma once

#include <cstdint>

constexpr uint32_t CReceivedBufferLen = 2048;
constexpr uint32_t CMaxReceivedSize = 1024;

// What a decoder makes of one whole frame.
enum class TFrameVerdict : uint8_t {
    fvWeight,   // a weight
    fvDamaged,  // no weight
    fvBadCheck, // no weight: whole and well formed but for its check
};

// Where a scan hands each weight it extracts. Plain function pointers and a
// context, so that handing a weight over never allocates.
struct TWeightSink {
    void* Context = nullptr;
    void (*Put)(void* AContext, double AValue) = nullptr;
    // Optional: told of each frame refused for its check alone.
    void (*CheckRefused)(void* AContext) = nullptr;
    // Optional: takes the weights the indicator marks as in motion; without
    // it they go to Put.
    void (*PutInMotion)(void* AContext, double AValue) = nullptr;

    void operator()(double AValue) const { Put(Context, AValue); }
    void InMotion(double AValue) const {
        (PutInMotion != nullptr ? PutInMotion : Put)(Context, AValue);
    }
    void RefusedForCheck() const {
        if (CheckRefused != nullptr)
            CheckRefused(Context);
    }
};

// One pass over the valid bytes; returns the offset of the last byte to
// consume, -1 for none. ASize is read afresh at every step, so a sink that
// clears the buffer ends the pass.
using TFrameScan = int32_t (*)(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink);

// The mark of a scan that leaves at most AKeep bytes unconsumed: bytes
// further back can no longer begin a frame, and kept they would fill the
// buffer until every later chunk is refused. A scan keeps one frame length
// minus one byte, so a pending start byte always stays. A mark past the data
// (the sink cleared the buffer) is left as it is.
int32_t KeepAtMost(uint32_t ASize, int32_t ALastEndIdx, uint32_t AKeep);

// Appends what fits under the 1024-byte limit and returns how much that was;
// the rest of the chunk is dropped.
uint32_t AppendReceivedData(uint8_t* ABuffer, uint32_t& ASize, const uint8_t* AData,
                            uint16_t ALength);

// Drops the bytes up to and including ALastEndIdx, moves the rest to the
// front and zeroes everything past the data. Does nothing for a negative mark,
// or for one past the data (the buffer was cleared during the scan).
void ConsumeReceivedData(uint8_t* ABuffer, uint32_t& ASize, int32_t ALastEndIdx);

// One receive event: nothing for an empty chunk; otherwise append, scan
// (also when nothing fitted) and consume. A chunk larger than the room left
// (the port hands over up to 1024 bytes, and the buffer keeps part of a
// frame) goes in piece by piece, a scan after each, so that no byte is lost
// that a scan makes room for; only what still does not fit is dropped.
// AScan(ABuffer, ASize) is one pass of the decoder.
template <class TScan>
void ReceiveChunk(uint8_t* ABuffer, uint32_t& ASize, const uint8_t* AData, uint16_t ALength,
                  TScan&& AScan) {
    if (AData == nullptr || ALength == 0)
        return;
    uint16_t LDone = 0;
    do {
        const uint32_t LBefore = ASize;
        const uint32_t LTaken = AppendReceivedData(ABuffer, ASize, AData + LDone,
                                                   static_cast<uint16_t>(ALength - LDone));
        LDone = static_cast<uint16_t>(LDone + LTaken);
        const int32_t LMark = AScan(ABuffer, ASize);
        if (ASize != LBefore + LTaken)
            return; // the sink cleared the buffer: the rest is not for it
        ConsumeReceivedData(ABuffer, ASize, LMark);
        if (LTaken == 0 && ASize >= LBefore)
            return; // full, and the scan freed nothing
    } while (LDone < ALength);
}
void ReceiveFrames(uint8_t* ABuffer, uint32_t& ASize, const uint8_t* AData, uint16_t ALength,
                   TFrameScan AScan, TWeightSink ASink);
