// The debug channel's objects for its tests: names of their own, a mapping
// laid out by the test, and records.
#pragma once

#include "ScratchDir.h"
#include "logging/MapFileLayout.h"
#include "logging/SharedMemory.h"
#include "platform/System.h"

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Gives this process (and the programs it starts) object names that no real
// viewer and no other test uses.
inline void UseOwnObjectNames(const std::string& ATag) {
    const std::string LSuffix = ATag + std::to_string(GetCurrentProcessId());
    SetEnvironmentValue("SCALEPROBE_WBDEBUG_SUFFIX", LSuffix);
}

inline void RemoveAllObjects() {
    RemoveSharedMemory(CMapName);
    RemoveNamedMutex(CQueueMutexName);
    RemoveNamedEvent(CQueueEventName);
    RemoveNamedEvent(CFlushEventName);
    RemoveNamedEvent(CStartEventName);
}

// What a viewer creates, laid out by the test: AMapped bytes of shared memory
// whose header says MapSize = AMapSize and DataOffset = ADataOffset.
class TTestMapping {
public:
    TTestMapping(size_t AMapped, uint32_t AMapSize, int32_t ADataOffset = 64) {
        RemoveAllObjects();
        int LError = 0;
        FMutex = CreateNamedMutex(CQueueMutexName, LError);
        FQueueEvent = CreateNamedEvent(CQueueEventName, LError);
        FMemory = CreateSharedMemory(CMapName, AMapped, LError);
        FView = FMemory ? FMemory->MapView(LError) : nullptr;
        if (!FMutex || !FQueueEvent || !FView)
            throw std::runtime_error("cannot create the test mapping: " + std::to_string(LError));
        SoundHeader(AMapSize, ADataOffset);
    }
    ~TTestMapping() {
        FView.reset();
        FMemory.reset();
        FQueueEvent.reset();
        FMutex.reset();
        RemoveAllObjects();
    }
    TTestMapping(const TTestMapping&) = delete;
    TTestMapping& operator=(const TTestMapping&) = delete;

    // The header as a viewer writes it, with an empty queue.
    void SoundHeader(uint32_t AMapSize, int32_t ADataOffset) {
        std::memcpy(Map(), DebugMagicName, 8);
        Set(MapField::MapSize, AMapSize);
        Set(MapField::DataOffset, static_cast<uint32_t>(ADataOffset));
        Set(MapField::MapEnabled, CMapEnabledValue);
        SetQueue(0, 0);
    }
    uint8_t* Map() const { return FView->Data(); }
    size_t Mapped() const { return FView->Size(); }
    void Set(size_t AOffset, uint32_t AValue) { StoreHeaderU32(Map(), AOffset, AValue); }
    int32_t Get(size_t AOffset) const { return LoadHeaderI32(Map(), AOffset); }
    int32_t Front() const { return Get(MapField::QueueFront); }
    int32_t Tail() const { return Get(MapField::QueueTail); }
    void SetQueue(int32_t AFront, int32_t ATail) {
        Set(MapField::QueueFront, static_cast<uint32_t>(AFront));
        Set(MapField::QueueTail, static_cast<uint32_t>(ATail));
    }
    uint8_t* Queue() const { return Map() + Get(MapField::DataOffset); }
    // Let go of the queue event or the mutex, so that it no longer exists.
    void DropQueueEvent() {
        FQueueEvent.reset();
        RemoveNamedEvent(CQueueEventName);
    }
    void DropMutex() {
        FMutex.reset();
        RemoveNamedMutex(CQueueMutexName);
    }
    // The queue event was set since the last look.
    bool QueueEventSet() { return FQueueEvent->WaitFor(0) == TNamedWaitResult::nwSignaled; }

private:
    std::unique_ptr<TNamedMutex> FMutex;
    std::unique_ptr<TNamedEvent> FQueueEvent;
    std::unique_ptr<TSharedMemory> FMemory;
    std::unique_ptr<TSharedView> FView;
};

// Bytes [Begin, End) of a mapping; none unless Valid.
struct TArea {
    size_t Begin = 0, End = 0;
    bool Valid = false;
};

// Where a header lets a fresh sender write: its queue area, when it describes
// one inside the AMapped bytes; nowhere otherwise.
inline TArea AreaOfHeader(const uint8_t* AMap, size_t AMapped) {
    const uint32_t LMapSize = LoadHeaderU32(AMap, MapField::MapSize);
    const int32_t LOffset = LoadHeaderI32(AMap, MapField::DataOffset);
    if (!HeaderIsEnabled(AMap, AMapped) || LMapSize > AMapped ||
        LOffset < static_cast<int32_t>(sizeof(TMapHeader)) ||
        static_cast<uint32_t>(LOffset) >= LMapSize ||
        LMapSize - static_cast<uint32_t>(LOffset) <= static_cast<uint32_t>(CMsgHeaderLen))
        return {};
    return {static_cast<size_t>(LOffset), LMapSize, true};
}

// A record of ATextLen bytes of text, filled with AFill.
inline TMsgDesc MakeRecord(int32_t ATextLen, char AFill = 'x', TMsgType AType = cmtInformation) {
    TMsgDesc LDesc{};
    LDesc.Annex.Level = CurrentLevel;
    LDesc.Annex.MsgType = AType;
    LDesc.Annex.TimeStampType = ttDateTime;
    std::memset(LDesc.Msg, AFill, static_cast<size_t>(ATextLen));
    LDesc.Length = CMsgHeaderLen + ATextLen;
    return LDesc;
}
