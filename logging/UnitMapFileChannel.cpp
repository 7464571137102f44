#include "logging/UnitMapFileChannel.h"

#include "logging/MapFileLayout.h"
#include "platform/System.h"

#include <cstring>

namespace {
constexpr uint32_t CMutexTimeoutMs = 1000;
constexpr uint32_t CFlushTimeoutMs = 100;

void ReportFailure(const char16_t* AWhat, int AError) {
    OutputDebugStr(UnicodeString(AWhat) + IntToStr(AError));
}
} // namespace

TMapFileChannel::TMapFileChannel(bool IsAutoFlush) : TDebugChannel(IsAutoFlush) {
    UpdateFlush();
}

TMapFileChannel::~TMapFileChannel() {
    DestroyHandles();
    RemoveUnusedFlushEvent();
    ReapStartedPrograms();
}

// The flush event is created by whichever side comes first; without a viewer
// its name would stay behind. A viewer creates its events and its mapping
// while it holds the queue mutex, so under that mutex "no enabled mapping"
// means no viewer has the event, nor can get it before the name is gone.
// Without the mutex no viewer has come that far yet.
void TMapFileChannel::RemoveUnusedFlushEvent() {
    int LError = 0;
    auto LMutex = OpenNamedMutex(CQueueMutexName, LError);
    if (LMutex) {
        const TNamedWaitResult LWait = LMutex->WaitFor(FMutexStuck ? 0 : CMutexTimeoutMs);
        if (LWait != TNamedWaitResult::nwSignaled && LWait != TNamedWaitResult::nwAbandoned)
            return; // cannot tell: leave it
    }
    bool LInUse = false;
    if (auto LMap = OpenSharedMemory(CMapName, LError))
        if (auto LView = LMap->MapView(LError))
            LInUse = HeaderIsEnabled(LView->Data(), LView->Size());
    if (!LInUse)
        RemoveNamedEvent(CFlushEventName);
    if (LMutex)
        LMutex->Release();
}

bool TMapFileChannel::CheckReady() {
    if (Connected()) {
        if (ViewStillBacked() && HeaderIsEnabled(FMapHeader->Data(), FMapHeader->Size()))
            return true;
        DestroyHandles();
        return false;
    }
    // A viewer this process started may have ended since the last attempt.
    ReapStartedPrograms();
    int LError = 0;
    FMap = OpenSharedMemory(CMapName, LError);
    if (!FMap) {
        ReportFailure(u"WbDebug: OpenFileMapping Fail: ", LError);
        DestroyHandles();
        return false;
    }
    FMapHeader = FMap->MapView(LError);
    if (!FMapHeader) {
        ReportFailure(u"WbDebug: MapViewOfFile Fail: ", LError);
        DestroyHandles();
        return false;
    }
    FQueueEvent = OpenNamedEvent(CQueueEventName, LError);
    if (!FQueueEvent) {
        ReportFailure(u"WbDebug: OpenEvent Fail: ", LError);
        DestroyHandles();
        return false;
    }
    UpdateFlush();
    if (IsInitedFromHeader())
        return true;
    DestroyHandles();
    return false;
}

bool TMapFileChannel::IsInitedFromHeader() {
    const uint8_t* LMap = FMapHeader->Data();
    TQueueGeometry LGeometry;
    if (!HeaderIsEnabled(LMap, FMapHeader->Size()) ||
        !CheckQueueGeometry(LMap, FMapHeader->Size(), LGeometry))
        return false;
    FMsgBase = FMapHeader->Data() + LGeometry.DataOffset;
    FMapSize = LGeometry.MapSize;
    FQueueSize = LGeometry.QueueSize;
    return true;
}

bool TMapFileChannel::ViewStillBacked() const {
    return FMap && FMapHeader && FMap->CurrentSize() >= static_cast<int64_t>(FMapHeader->Size());
}

void TMapFileChannel::DestroyHandles() {
    FQueueFlush.reset();
    FQueueEvent.reset();
    FMsgBase = nullptr;
    FMapHeader.reset();
    FMap.reset();
    FMapSize = 0;
    FQueueSize = 0;
}

void TMapFileChannel::UpdateFlush() {
    FQueueFlush.reset();
    if (!FAutoFlush)
        return;
    int LError = 0;
    FQueueFlush = CreateNamedEvent(CFlushEventName, LError);
}

bool TMapFileChannel::CheckFilterChanged() {
    return FMapHeader && ViewStillBacked() &&
           LoadHeaderU32(FMapHeader->Data(), MapField::NeedRefresh) != 0;
}

void TMapFileChannel::RefreshFilter(TDebugFilter& Filter) {
    if (!FMapHeader || !ViewStillBacked())
        return;
    uint8_t* LMap = FMapHeader->Data();
    Filter.FEnabled = LoadHeaderI32(LMap, MapField::FilterEnabled) != 0;
    Filter.FLevel = LoadHeaderI32(LMap, MapField::FilterLevel);
    char LTag[8];
    std::memcpy(LTag, LMap + MapField::FilterTag, sizeof(LTag));
    Filter.FTag.assign(LTag, strnlen(LTag, sizeof(LTag)));
    Filter.FMsgTypes = LoadHeaderU32(LMap, MapField::FilterMsgTypes);
    StoreHeaderU32(LMap, MapField::NeedRefresh, 0);
}

bool TMapFileChannel::LoadQueuePtr() {
    const uint8_t* LMap = FMapHeader->Data();
    FFront = LoadHeaderI32(LMap, MapField::QueueFront);
    FTail = LoadHeaderI32(LMap, MapField::QueueTail);
    return ValidQueuePos(FFront, FQueueSize) && ValidQueuePos(FTail, FQueueSize);
}

void TMapFileChannel::SaveQueuePtr(bool AFrontMoved) {
    uint8_t* LMap = FMapHeader->Data();
    StoreHeaderI32(LMap, MapField::QueueTail, FTail);
    if (AFrontMoved)
        StoreHeaderI32(LMap, MapField::QueueFront, FFront);
}

bool TMapFileChannel::RecordFits(int32_t ASize) const {
    if (FFront == FTail)
        return true;
    const int64_t LEnd = static_cast<int64_t>(FTail) + ASize;
    if (FTail < FFront)
        return LEnd < FFront;
    return LEnd < FQueueSize || LEnd % FQueueSize < FFront;
}

bool TMapFileChannel::MakeRoom(int32_t ASize) {
    bool LMoved = false;
    while (!RecordFits(ASize)) {
        int32_t LLength = 0;
        RingRead(FMsgBase, FQueueSize, FFront, &LLength, sizeof(LLength));
        LMoved = true;
        if (!ValidRecordLen(LLength, QueueUsed(FFront, FTail, FQueueSize))) {
            FFront = FTail; // the queue cannot be walked: empty it
            break;
        }
        FFront = (FFront + LLength) % FQueueSize;
    }
    return LMoved;
}

bool TMapFileChannel::WriteRecord(const TMsgDesc& MsgDesc, int32_t ASize) {
    if (!LoadQueuePtr())
        return false;
    const bool LFrontMoved = MakeRoom(ASize);
    RingWrite(FMsgBase, FQueueSize, FTail, &MsgDesc, ASize);
    FTail = (FTail + ASize) % FQueueSize;
    SaveQueuePtr(LFrontMoved);
    return true;
}

void TMapFileChannel::SendContent(const TMsgDesc& MsgDesc, int32_t ASize) {
    // A record as large as the area would leave the tail on the front: the
    // queue would read as empty.
    if (!Connected() || ASize <= 0 || ASize > CMaxRecordLen || ASize >= FQueueSize)
        return;
    int LError = 0;
    auto LMutex = OpenQueueMutex(LError);
    if (!LMutex) {
        DestroyHandles();
        return;
    }
    const TNamedWaitResult LWait = LMutex->WaitFor(FMutexStuck ? 0 : CMutexTimeoutMs);
    if (LWait != TNamedWaitResult::nwSignaled && LWait != TNamedWaitResult::nwAbandoned) {
        if (LWait == TNamedWaitResult::nwTimeout)
            FMutexStuck = true;
        return;
    }
    FMutexStuck = false;
    // Checked under the mutex: a shrunk object counts as no viewer.
    const bool LWritten = ViewStillBacked() && WriteRecord(MsgDesc, ASize);
    const bool LReleased = LMutex->Release();
    LMutex.reset();
    if (!LWritten || !LReleased || !FQueueEvent->SetEvent()) {
        DestroyHandles();
        return;
    }
    if (FAutoFlush && FQueueFlush)
        FQueueFlush->WaitFor(CFlushTimeoutMs);
}

std::unique_ptr<TNamedMutex> TMapFileChannel::OpenQueueMutex(int& AError) {
    return OpenNamedMutex(CQueueMutexName, AError);
}

void TMapFileChannel::StartDebugViewer() {
    const UnicodeString LSetting = ReadViewerCommandSetting();
    AnsiString LCommand =
        UnicodeToAnsi(LSetting.empty() ? DefaultViewerCommand() + u" -a " : LSetting + u" -a ");
    if (FUseLocalSession)
        LCommand += " -local ";
    int LError = 0;
    auto LStartEvent = CreateNamedEvent(CStartEventName, LError);
    LCommand += std::to_string(GetCurrentProcessId());
    // A command that ends at once (a viewer that cannot run) releases the
    // first message as soon as it has ended.
    if (const auto LProgram = StartCommandLine(LCommand); LProgram && LStartEvent)
        LProgram->WaitForSignalOrEnd(*LStartEvent, FStartTimeoutMs);
    LStartEvent.reset();
    RemoveNamedEvent(CStartEventName);
}

std::unique_ptr<TDebugChannel> MakeMapFileChannel(bool IsAutoFlush) {
    return std::make_unique<TMapFileChannel>(IsAutoFlush);
}
