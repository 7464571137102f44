// The debug channel's shared memory as sender and viewer both see it: the
// header, the ring queue of TMsgDesc records behind it and the object names.
#pragma once

#include "logging/UnitDebugger.h"

#include <cstddef>
#include <cstdint>

inline constexpr const char* CMapName = "Local\\WbDebugMap";
inline constexpr const char* CQueueEventName = "Local\\WbDebugQueueEvent";
inline constexpr const char* CQueueMutexName = "Local\\WbDebugQueueMutex";
inline constexpr const char* CFlushEventName = "Local\\WbDebugFlushEvent";
inline constexpr const char* CStartEventName = "Local\\WbDebugStartEvent";

inline constexpr uint32_t CMapEnabledValue = 0x7F3D92E0;
inline constexpr int32_t CMaxRecordLen = CMsgHeaderLen + CMaxMsgTextLen;

#pragma pack(push, 1)
struct TMapFilter {
    uint32_t NeedRefresh;
    int32_t Enabled;
    int32_t Level;
    char Tag[8];
    uint32_t MsgTypes;
};

struct TMapHeader {
    char MagicName[8];
    uint32_t MapEnabled;
    uint32_t MapSize;
    int32_t DataOffset;
    int32_t QueueFront;
    int32_t QueueTail;
    TMapFilter Filter;
};
#pragma pack(pop)

static_assert(offsetof(TMapHeader, MapEnabled) == 8);
static_assert(offsetof(TMapHeader, QueueFront) == 20);
static_assert(offsetof(TMapHeader, Filter) == 28);
static_assert(offsetof(TMapHeader, Filter) + offsetof(TMapFilter, MsgTypes) == 48);
static_assert(sizeof(TMapHeader) == 52);

// Byte offsets of the header fields, for access in place.
namespace MapField {
inline constexpr size_t MapEnabled = offsetof(TMapHeader, MapEnabled);
inline constexpr size_t MapSize = offsetof(TMapHeader, MapSize);
inline constexpr size_t DataOffset = offsetof(TMapHeader, DataOffset);
inline constexpr size_t QueueFront = offsetof(TMapHeader, QueueFront);
inline constexpr size_t QueueTail = offsetof(TMapHeader, QueueTail);
inline constexpr size_t NeedRefresh = offsetof(TMapHeader, Filter);
inline constexpr size_t FilterEnabled = NeedRefresh + offsetof(TMapFilter, Enabled);
inline constexpr size_t FilterLevel = NeedRefresh + offsetof(TMapFilter, Level);
inline constexpr size_t FilterTag = NeedRefresh + offsetof(TMapFilter, Tag);
inline constexpr size_t FilterMsgTypes = NeedRefresh + offsetof(TMapFilter, MsgTypes);
} // namespace MapField

// A 32-bit header field, read and written whole: the other process changes
// some of them at any time.
uint32_t LoadHeaderU32(const uint8_t* AMap, size_t AOffset);
void StoreHeaderU32(uint8_t* AMap, size_t AOffset, uint32_t AValue);
inline int32_t LoadHeaderI32(const uint8_t* AMap, size_t AOffset) {
    return static_cast<int32_t>(LoadHeaderU32(AMap, AOffset));
}
inline void StoreHeaderI32(uint8_t* AMap, size_t AOffset, int32_t AValue) {
    StoreHeaderU32(AMap, AOffset, static_cast<uint32_t>(AValue));
}

// The magic name and MapEnabled are in place (AMapped bytes are mapped).
bool HeaderIsEnabled(const uint8_t* AMap, size_t AMapped);

// Where the queue area lies, from a header checked against the mapping.
struct TQueueGeometry {
    int32_t DataOffset = 0;
    int32_t MapSize = 0;
    int32_t QueueSize = 0;
};

// Checks the header's sizes against the bytes actually mapped: the queue area
// must lie behind the header and inside the mapping, and hold more than one
// record header. False leaves AGeometry.
bool CheckQueueGeometry(const uint8_t* AMap, size_t AMapped, TQueueGeometry& AGeometry);

// A queue position is one the area can hold.
inline bool ValidQueuePos(int32_t APos, int32_t AQueueSize) {
    return APos >= 0 && APos < AQueueSize;
}

// Bytes of unread records between front and tail.
int32_t QueueUsed(int32_t AFront, int32_t ATail, int32_t AQueueSize);

// Copies into / out of the ring at APos, continuing at 0 past the end.
// ALen must not exceed the area size.
void RingWrite(uint8_t* ABase, int32_t AQueueSize, int32_t APos, const void* ASrc, int32_t ALen);
void RingRead(const uint8_t* ABase, int32_t AQueueSize, int32_t APos, void* ADst, int32_t ALen);

// A record length that can stand at the front of a queue holding AUsed bytes.
inline bool ValidRecordLen(int32_t ALength, int32_t AUsed) {
    return ALength >= CMsgHeaderLen && ALength <= CMaxRecordLen && ALength <= AUsed;
}
