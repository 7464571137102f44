#include "logging/MapFileViewer.h"

#include "platform/DateTime.h"
#include "platform/System.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
constexpr uint32_t CMutexTimeoutMs = 1000;

constexpr const char* CMsgTypeNames[] = {
    "Information",   "Warning",      "Error",      "Separator", "EnterProc", "LeaveProc",
    "TimeMarkStart", "TimeMarkStop", "MemoryDump", "Exception", "Object",    "Component",
    "Custom",        "System",       "UDPMsg",     "Watch",     "ClearWatch"};
constexpr uint32_t CMsgTypeCount = sizeof(CMsgTypeNames) / sizeof(CMsgTypeNames[0]);

void WriteFilter(uint8_t* AMap, const TViewerFilter& AFilter) {
    StoreHeaderI32(AMap, MapField::FilterEnabled, AFilter.Enabled ? 1 : 0);
    StoreHeaderI32(AMap, MapField::FilterLevel, AFilter.Level);
    char LTag[8] = {};
    std::memcpy(LTag, AFilter.Tag.data(), std::min<size_t>(AFilter.Tag.size(), sizeof(LTag)));
    std::memcpy(AMap + MapField::FilterTag, LTag, sizeof(LTag));
    StoreHeaderU32(AMap, MapField::FilterMsgTypes, AFilter.MsgTypes);
    StoreHeaderU32(AMap, MapField::NeedRefresh, 1);
}

// The viewer that made this mapping still runs: its process id is taken and
// the process started when the viewer did (0 there: a viewer that kept no
// start time, judged by its id alone).
bool OtherViewerRuns(const uint8_t* AMap, size_t ASize) {
    if (!HeaderIsEnabled(AMap, ASize) || ASize < CViewerStartOffset + 8)
        return false;
    const uint32_t LPid = LoadHeaderU32(AMap, CViewerPidOffset);
    const uint64_t LStart = LoadHeaderU32(AMap, CViewerStartOffset) |
                            static_cast<uint64_t>(LoadHeaderU32(AMap, CViewerStartOffset + 4))
                                << 32;
    return ProcessAlive(LPid) && (LStart == 0 || ProcessStartTime(LPid) == LStart);
}

void RemoveObjects() {
    RemoveSharedMemory(CMapName);
    RemoveNamedMutex(CQueueMutexName);
    RemoveNamedEvent(CQueueEventName);
    RemoveNamedEvent(CFlushEventName);
}
} // namespace

TMapFileViewer::TMapFileViewer(int32_t AMapSize) : FMapSize(AMapSize) {}

TMapFileViewer::~TMapFileViewer() {
    Close();
}

bool TMapFileViewer::Open(std::string& AError) {
    if (IsOpen())
        return true;
    if (FMapSize <= CViewerDataOffset + CMaxRecordLen) {
        AError = "map size too small";
        return false;
    }
    int LError = 0;
    std::unique_ptr<TSharedMemory> LLeft;
    std::unique_ptr<TSharedView> LLeftView;
    if (auto LOld = OpenSharedMemory(CMapName, LError)) {
        auto LOldView = LOld->MapView(LError);
        if (LOldView && OtherViewerRuns(LOldView->Data(), LOldView->Size())) {
            AError = "another viewer is running";
            return false;
        }
        // Senders still attached to a dead viewer's mapping let go of it.
        if (LOldView && LOldView->Size() >= sizeof(TMapHeader))
            StoreHeaderU32(LOldView->Data(), MapField::MapEnabled, 0);
        if (CNamesHeldByHandles) {
            LLeft = std::move(LOld);
            LLeftView = std::move(LOldView);
        }
    }
    RemoveObjects();
    // The mapping comes last: a sender looks for the mutex and the events
    // only once it has found the mapping.
    // The rest is made under the mutex: a sender that ends decides under it
    // whether the flush event is still in use.
    FMutex = CreateNamedMutex(CQueueMutexName, LError);
    const bool LLocked = FMutex && FMutex->WaitFor(CMutexTimeoutMs) == TNamedWaitResult::nwSignaled;
    if (LLocked)
        FQueueEvent = CreateNamedEvent(CQueueEventName, LError);
    if (FQueueEvent)
        FFlushEvent = CreateNamedEvent(CFlushEventName, LError);
    if (FFlushEvent)
        FMemory = CreateSharedMemory(CMapName, static_cast<size_t>(FMapSize), LError);
    // Where a sender that still holds the last viewer's mapping keeps its
    // name alive, that mapping is taken over as it is.
    if (FFlushEvent && !FMemory && LLeftView &&
        LLeftView->Size() > static_cast<size_t>(CViewerDataOffset + CMaxRecordLen)) {
        FMapSize = static_cast<int32_t>(
            std::min<size_t>(static_cast<size_t>(FMapSize), LLeftView->Size()));
        FMemory = std::move(LLeft);
        FView = std::move(LLeftView);
    }
    if (FMemory && !FView)
        FView = FMemory->MapView(LError);
    if (!FView) {
        AError = FMutex && !LLocked
                     ? std::string("cannot take the new queue mutex")
                     : "cannot create the shared objects: " + SharedObjectErrorText(LError);
        if (LLocked)
            FMutex->Release();
        Close();
        return false;
    }
    uint8_t* LMap = FView->Data();
    std::memcpy(LMap, DebugMagicName, 8);
    StoreHeaderU32(LMap, MapField::MapSize, static_cast<uint32_t>(FMapSize));
    StoreHeaderI32(LMap, MapField::DataOffset, CViewerDataOffset);
    StoreHeaderI32(LMap, MapField::QueueFront, 0);
    StoreHeaderI32(LMap, MapField::QueueTail, 0);
    WriteFilter(LMap, TViewerFilter{});
    StoreHeaderU32(LMap, MapField::NeedRefresh, 0);
    StoreHeaderU32(LMap, CViewerPidOffset, GetCurrentProcessId());
    const uint64_t LStart = ProcessStartTime(GetCurrentProcessId());
    StoreHeaderU32(LMap, CViewerStartOffset, static_cast<uint32_t>(LStart));
    StoreHeaderU32(LMap, CViewerStartOffset + 4, static_cast<uint32_t>(LStart >> 32));
    StoreHeaderU32(LMap, MapField::MapEnabled, CMapEnabledValue);
    FMutex->Release();
    return true;
}

void TMapFileViewer::Close() {
    const bool LWasOpen = FMutex != nullptr;
    if (FView)
        StoreHeaderU32(FView->Data(), MapField::MapEnabled, 0);
    FView.reset();
    FMemory.reset();
    FFlushEvent.reset();
    FQueueEvent.reset();
    FMutex.reset();
    if (LWasOpen)
        RemoveObjects();
}

uint8_t* TMapFileViewer::Map() const {
    return FView ? FView->Data() : nullptr;
}

bool TMapFileViewer::WaitForRecords(uint32_t ATimeoutMs) {
    return FQueueEvent && FQueueEvent->WaitFor(ATimeoutMs) == TNamedWaitResult::nwSignaled;
}

std::vector<TViewerRecord> TMapFileViewer::Drain() {
    std::vector<TViewerRecord> LRecords;
    if (!FView)
        return LRecords;
    const TNamedWaitResult LWait = FMutex->WaitFor(CMutexTimeoutMs);
    if (LWait != TNamedWaitResult::nwSignaled && LWait != TNamedWaitResult::nwAbandoned)
        return LRecords;
    uint8_t* LMap = FView->Data();
    const int32_t LQueueSize = FMapSize - CViewerDataOffset;
    const uint8_t* LBase = LMap + CViewerDataOffset;
    int32_t LFront = LoadHeaderI32(LMap, MapField::QueueFront);
    const int32_t LTail = LoadHeaderI32(LMap, MapField::QueueTail);
    if (!ValidQueuePos(LFront, LQueueSize) || !ValidQueuePos(LTail, LQueueSize)) {
        ++FBrokenRecords;
        StoreHeaderI32(LMap, MapField::QueueFront, 0);
        StoreHeaderI32(LMap, MapField::QueueTail, 0);
        FMutex->Release();
        return LRecords;
    }
    auto LDesc = std::make_unique<TMsgDesc>();
    while (LFront != LTail) {
        int32_t LLength = 0;
        RingRead(LBase, LQueueSize, LFront, &LLength, sizeof(LLength));
        if (!ValidRecordLen(LLength, QueueUsed(LFront, LTail, LQueueSize))) {
            ++FBrokenRecords;
            LFront = LTail;
            break;
        }
        RingRead(LBase, LQueueSize, LFront, LDesc.get(), LLength);
        TViewerRecord& LRecord = LRecords.emplace_back();
        LRecord.Annex = LDesc->Annex;
        LRecord.Msg.assign(LDesc->Msg, static_cast<size_t>(LLength - CMsgHeaderLen));
        LFront = (LFront + LLength) % LQueueSize;
    }
    StoreHeaderI32(LMap, MapField::QueueFront, LFront);
    FMutex->Release();
    return LRecords;
}

void TMapFileViewer::SignalFlush() {
    if (FFlushEvent)
        FFlushEvent->SetEvent();
}

void TMapFileViewer::PublishFilter(const TViewerFilter& AFilter) {
    if (FView)
        WriteFilter(FView->Data(), AFilter);
}

void TMapFileViewer::SignalStarted() {
    int LError = 0;
    if (auto LStart = OpenNamedEvent(CStartEventName, LError))
        LStart->SetEvent();
}

bool PublishFilterToRunningViewer(const TViewerFilter& AFilter) {
    int LError = 0;
    auto LMemory = OpenSharedMemory(CMapName, LError);
    auto LView = LMemory ? LMemory->MapView(LError) : nullptr;
    if (!LView || !HeaderIsEnabled(LView->Data(), LView->Size()))
        return false;
    WriteFilter(LView->Data(), AFilter);
    return true;
}

bool ParseMsgTypes(const std::string& AText, uint32_t& ATypes) {
    ATypes = 0;
    size_t LStart = 0;
    while (LStart <= AText.size()) {
        const size_t LComma = std::min(AText.find(',', LStart), AText.size());
        const std::string LItem = AText.substr(LStart, LComma - LStart);
        LStart = LComma + 1;
        if (LItem.empty())
            continue;
        uint32_t LType = CMsgTypeCount;
        for (uint32_t I = 0; I < CMsgTypeCount; ++I)
            if (LItem == CMsgTypeNames[I] || LItem == std::to_string(I))
                LType = I;
        if (LType == CMsgTypeCount)
            return false;
        ATypes |= 1u << LType;
    }
    return true;
}

std::string MsgTypeName(uint32_t AType) {
    return AType < CMsgTypeCount ? CMsgTypeNames[AType] : std::to_string(AType);
}

std::string FormatRecordLine(const TViewerRecord& ARecord) {
    const TMsgAnnex& LAnnex = ARecord.Annex;
    char LTime[64] = "-";
    if (LAnnex.TimeStampType == ttDateTime) {
        const TDateTimeParts P = DecodeDateTime(LAnnex.MsgDateTime);
        std::snprintf(LTime, sizeof(LTime), "%04u-%02u-%02u %02u:%02u:%02u.%03u", P.Year, P.Month,
                      P.Day, P.Hour, P.Minute, P.Second, P.MilliSecond);
    } else if (LAnnex.TimeStampType == ttTickCount) {
        std::snprintf(LTime, sizeof(LTime), "tick %u", LAnnex.MsgTickCount);
    }
    std::string LLine = LTime;
    LLine += '\t' + std::to_string(LAnnex.ProcessId) + '\t' + std::to_string(LAnnex.ThreadId) +
             '\t' + MsgTypeName(LAnnex.MsgType) + '\t';
    LLine.append(LAnnex.Tag, strnlen(LAnnex.Tag, sizeof(LAnnex.Tag)));
    LLine += '\t';
    for (const char C : ARecord.Msg) {
        const auto U = static_cast<unsigned char>(C);
        if (C == '\r')
            LLine += "\\r";
        else if (C == '\n')
            LLine += "\\n";
        else if (C == '\\')
            LLine += "\\\\";
        else if (U < 0x20 || U == 0x7F) {
            char LEscape[8];
            std::snprintf(LEscape, sizeof(LEscape), "\\x%02X", U);
            LLine += LEscape;
        } else
            LLine += C;
    }
    return LLine;
}
