// The shared-memory debug channel: delivers TMsgDesc records into the ring
// queue of an external viewer's shared memory, and starts that viewer once.
#pragma once

#include "logging/SharedMemory.h"
#include "logging/UnitDebugger.h"

#include <cstdint>
#include <memory>

class TMapFileChannel : public TDebugChannel {
    SP_CLASS(TMapFileChannel, TDebugChannel)
public:
    // Active, the flush event created; not connected yet.
    explicit TMapFileChannel(bool IsAutoFlush);
    ~TMapFileChannel() override;
    TMapFileChannel(const TMapFileChannel&) = delete;
    TMapFileChannel& operator=(const TMapFileChannel&) = delete;

    // True when a viewer accepts records now; connects when not connected.
    bool CheckReady() override;
    void UpdateFlush() override;
    void StartDebugViewer() override;
    bool CheckFilterChanged() override;
    void RefreshFilter(TDebugFilter& Filter) override;
    void SendContent(const TMsgDesc& MsgDesc, int32_t ASize) override;

    // The mapping, its view and the queue event are open.
    bool Connected() const { return FMap && FMapHeader && FQueueEvent; }

protected:
    // Opens the queue mutex for one record; tests look at the waits through it.
    virtual std::unique_ptr<TNamedMutex> OpenQueueMutex(int& AError);

    // How long the first message waits for a started viewer to be ready.
    uint32_t FStartTimeoutMs = 5000;

private:
    bool IsInitedFromHeader();
    // The object still covers the whole view: a viewer that shrank it would
    // make every access past its new end fault.
    bool ViewStillBacked() const;
    void DestroyHandles();
    // Removes the flush event's name unless a viewer uses it.
    void RemoveUnusedFlushEvent();
    bool LoadQueuePtr();
    void SaveQueuePtr(bool AFrontMoved);
    bool RecordFits(int32_t ASize) const;
    // Drops the oldest records until ASize bytes fit; true when the front moved.
    bool MakeRoom(int32_t ASize);
    bool WriteRecord(const TMsgDesc& MsgDesc, int32_t ASize);

    std::unique_ptr<TSharedMemory> FMap;
    std::unique_ptr<TNamedEvent> FQueueEvent;
    std::unique_ptr<TNamedEvent> FQueueFlush;
    int32_t FMapSize = 0;
    int32_t FQueueSize = 0;
    std::unique_ptr<TSharedView> FMapHeader; // the mapped view, header first
    uint8_t* FMsgBase = nullptr;             // the queue area inside the view
    int32_t FFront = 0;
    int32_t FTail = 0;
    // A record waited out the mutex's time-out: the next ones only try it,
    // until one gets it at once. The mirror must not slow down the thread
    // that logs while a viewer holds its mutex.
    bool FMutexStuck = false;
};

// The DebugChannelClass of this channel, for SetDebugChannelClass.
std::unique_ptr<TDebugChannel> MakeMapFileChannel(bool IsAutoFlush);
