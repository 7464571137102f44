// The reading side of the debug channel: creates the shared memory with its
// header, the queue mutex and the events; takes records out of the ring and
// publishes a filter. The WbDebugViewer program and the tests use it.
#pragma once

#include "logging/MapFileLayout.h"
#include "logging/SharedMemory.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The viewer keeps its process id behind the header, before the queue area,
// and the process's start time (ProcessStartTime, 8 bytes, low half first),
// so that a viewer that was killed is told from a process that got its id.
inline constexpr size_t CViewerPidOffset = sizeof(TMapHeader);
inline constexpr size_t CViewerStartOffset = CViewerPidOffset + 4;
inline constexpr int32_t CViewerDataOffset = 64;
static_assert(CViewerStartOffset + 8 <= CViewerDataOffset);
inline constexpr int32_t CDefaultViewerMapSize = 1024 * 1024;

struct TViewerRecord {
    TMsgAnnex Annex{};
    AnsiString Msg;
};

struct TViewerFilter {
    bool Enabled = false;
    int32_t Level = INT32_MAX;
    AnsiString Tag;        // at most 8 characters are kept
    uint32_t MsgTypes = 0; // bit n lets type n pass; 0 lets all pass
};

class TMapFileViewer {
public:
    explicit TMapFileViewer(int32_t AMapSize = CDefaultViewerMapSize);
    ~TMapFileViewer();
    TMapFileViewer(const TMapFileViewer&) = delete;
    TMapFileViewer& operator=(const TMapFileViewer&) = delete;

    // Creates the objects and enables the header. Fails when another viewer
    // of this user runs; objects a dead viewer left are replaced.
    bool Open(std::string& AError);
    // Withdraws MapEnabled and removes every object; again is harmless.
    void Close();
    bool IsOpen() const { return FView != nullptr; }

    // Waits for the queue event; true when it was set.
    bool WaitForRecords(uint32_t ATimeoutMs);
    // Takes every unread record out of the queue, under the mutex. A record
    // whose length cannot be right empties the queue.
    std::vector<TViewerRecord> Drain();
    void SignalFlush();
    void PublishFilter(const TViewerFilter& AFilter);
    // Sets the start event of the process that started this viewer.
    void SignalStarted();

    // Records dropped because the queue held a broken length.
    int BrokenRecords() const { return FBrokenRecords; }
    uint8_t* Map() const;

private:
    int32_t FMapSize;
    std::unique_ptr<TNamedMutex> FMutex;
    std::unique_ptr<TNamedEvent> FQueueEvent;
    std::unique_ptr<TNamedEvent> FFlushEvent;
    std::unique_ptr<TSharedMemory> FMemory;
    std::unique_ptr<TSharedView> FView;
    int FBrokenRecords = 0;
};

// Writes a filter into the header of the viewer that runs; false when none.
bool PublishFilterToRunningViewer(const TViewerFilter& AFilter);

// Parses "0,2,Warning": ordinals or type names; false on an unknown item.
bool ParseMsgTypes(const std::string& AText, uint32_t& ATypes);
// "Information", "Warning", ... for a TMsgType ordinal; the number otherwise.
std::string MsgTypeName(uint32_t AType);
// One line, tab-separated: local time, process id, thread id, type, tag, text;
// control characters in the text are written as escapes.
std::string FormatRecordLine(const TViewerRecord& ARecord);
