#include "logging/MapFileLayout.h"

#include <atomic>
#include <cstring>

namespace {
uint32_t* FieldAt(const uint8_t* AMap, size_t AOffset) {
    // Every 32-bit field lies on a 4-byte boundary of the page-aligned view.
    return reinterpret_cast<uint32_t*>(const_cast<uint8_t*>(AMap) + AOffset);
}
} // namespace

uint32_t LoadHeaderU32(const uint8_t* AMap, size_t AOffset) {
    return std::atomic_ref<uint32_t>(*FieldAt(AMap, AOffset)).load(std::memory_order_acquire);
}

void StoreHeaderU32(uint8_t* AMap, size_t AOffset, uint32_t AValue) {
    std::atomic_ref<uint32_t>(*FieldAt(AMap, AOffset)).store(AValue, std::memory_order_release);
}

bool HeaderIsEnabled(const uint8_t* AMap, size_t AMapped) {
    if (AMap == nullptr || AMapped < sizeof(TMapHeader))
        return false;
    if (LoadHeaderU32(AMap, MapField::MapEnabled) != CMapEnabledValue)
        return false;
    char LMagic[8] = {};
    std::memcpy(LMagic, AMap, sizeof(LMagic));
    return std::memcmp(LMagic, DebugMagicName, 8) == 0; // "WBDEBUG" and its zero byte
}

bool CheckQueueGeometry(const uint8_t* AMap, size_t AMapped, TQueueGeometry& AGeometry) {
    if (AMap == nullptr || AMapped < sizeof(TMapHeader))
        return false;
    const uint32_t LMapSize = LoadHeaderU32(AMap, MapField::MapSize);
    const int32_t LDataOffset = LoadHeaderI32(AMap, MapField::DataOffset);
    if (LMapSize > AMapped || LMapSize > static_cast<uint32_t>(INT32_MAX))
        return false;
    if (LDataOffset < static_cast<int32_t>(sizeof(TMapHeader)) ||
        static_cast<uint32_t>(LDataOffset) >= LMapSize)
        return false;
    // An area that cannot hold one record header is no queue.
    if (static_cast<int64_t>(LMapSize) - LDataOffset <= CMsgHeaderLen)
        return false;
    AGeometry.DataOffset = LDataOffset;
    AGeometry.MapSize = static_cast<int32_t>(LMapSize);
    AGeometry.QueueSize = AGeometry.MapSize - LDataOffset;
    return true;
}

int32_t QueueUsed(int32_t AFront, int32_t ATail, int32_t AQueueSize) {
    return ATail >= AFront ? ATail - AFront : AQueueSize - AFront + ATail;
}

void RingWrite(uint8_t* ABase, int32_t AQueueSize, int32_t APos, const void* ASrc, int32_t ALen) {
    const auto* LSrc = static_cast<const uint8_t*>(ASrc);
    const int32_t LFirst = APos + ALen < AQueueSize ? ALen : AQueueSize - APos;
    std::memcpy(ABase + APos, LSrc, static_cast<size_t>(LFirst));
    if (LFirst < ALen)
        std::memcpy(ABase, LSrc + LFirst, static_cast<size_t>(ALen - LFirst));
}

void RingRead(const uint8_t* ABase, int32_t AQueueSize, int32_t APos, void* ADst, int32_t ALen) {
    auto* LDst = static_cast<uint8_t*>(ADst);
    const int32_t LFirst = APos + ALen < AQueueSize ? ALen : AQueueSize - APos;
    std::memcpy(LDst, ABase + APos, static_cast<size_t>(LFirst));
    if (LFirst < ALen)
        std::memcpy(LDst + LFirst, ABase, static_cast<size_t>(ALen - LFirst));
}
