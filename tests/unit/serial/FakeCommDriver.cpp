#include "FakeCommDriver.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

bool TFakeCommDriver::WaitUntil(const std::function<bool()>& APred, int AMs) {
    std::unique_lock<std::mutex> L(FLock);
    return FChanged.wait_for(L, std::chrono::milliseconds(AMs), APred);
}

void TFakeCommDriver::ClearFailures() {
    std::lock_guard<std::mutex> L(FLock);
    OpenFails = NotCharDevice = SetupFails = SetEventMaskFails = false;
    ReadThreadFails = WriteThreadFails = false;
    FailNewEvent = nullptr;
    FailAllocAt = 0;
    OddWaitCount = 0;
}

TFakeCommDriver::TOp* TFakeCommDriver::FindPending(TKind AKind) {
    for (auto& [LEvent, LOp] : FOps)
        if (LOp.Kind == AKind && LOp.Pending)
            return &LOp;
    return nullptr;
}

bool TFakeCommDriver::ReadPending() {
    return FindPending(TKind::kRead) != nullptr;
}
bool TFakeCommDriver::LinePending() {
    return FindPending(TKind::kLine) != nullptr;
}
bool TFakeCommDriver::WritePending() {
    return FindPending(TKind::kWrite) != nullptr;
}

void TFakeCommDriver::SignalLocked(THandle AEvent) {
    auto It = FEvents.find(AEvent);
    if (It != FEvents.end())
        It->second = true;
    FChanged.notify_all();
}

void TFakeCommDriver::Finish(THandle AEvent, TOp& AOp, TCommResult AResult) {
    AOp.Pending = false;
    AOp.Result = AResult;
    SignalLocked(AEvent);
}

void TFakeCommDriver::CompleteRead(TCommResult AResult, const std::string& AData) {
    std::lock_guard<std::mutex> L(FLock);
    for (auto& [LEvent, LOp] : FOps)
        if (LOp.Kind == TKind::kRead && LOp.Pending) {
            LOp.Count = static_cast<uint32_t>(std::min<size_t>(AData.size(), LOp.Size));
            std::memcpy(LOp.Buffer, AData.data(), LOp.Count);
            Finish(LEvent, LOp, AResult);
            return;
        }
    throw std::logic_error("no read pending");
}

void TFakeCommDriver::CompleteLine(TCommResult AResult, uint32_t AMask) {
    std::lock_guard<std::mutex> L(FLock);
    for (auto& [LEvent, LOp] : FOps)
        if (LOp.Kind == TKind::kLine && LOp.Pending) {
            *LOp.Mask = AMask;
            Finish(LEvent, LOp, AResult);
            return;
        }
    throw std::logic_error("no line-event wait pending");
}

void TFakeCommDriver::CompleteWrite(TCommResult AResult, uint32_t ACount) {
    std::lock_guard<std::mutex> L(FLock);
    for (auto& [LEvent, LOp] : FOps)
        if (LOp.Kind == TKind::kWrite && LOp.Pending) {
            LOp.Count = ACount;
            Written.append(reinterpret_cast<const char*>(LOp.Buffer), ACount);
            Finish(LEvent, LOp, AResult);
            return;
        }
    throw std::logic_error("no write pending");
}

int TFakeCommDriver::LiveEvents() {
    std::lock_guard<std::mutex> L(FLock);
    return static_cast<int>(FEvents.size());
}

int TFakeCommDriver::LivePorts() {
    std::lock_guard<std::mutex> L(FLock);
    return FPorts;
}

THandle TFakeCommDriver::Open(const UnicodeString&) {
    std::lock_guard<std::mutex> L(FLock);
    ++Opens;
    if (OpenFails)
        return 0;
    ++FPorts;
    return 1;
}

bool TFakeCommDriver::IsCharDevice(THandle) {
    return !NotCharDevice;
}

void TFakeCommDriver::Close(THandle) {
    std::lock_guard<std::mutex> L(FLock);
    ++Closes;
    --FPorts;
    FChanged.notify_all();
}

bool TFakeCommDriver::SetupQueues(THandle, uint32_t AIn, uint32_t AOut) {
    return !SetupFails && AIn == 2048 && AOut == 1024;
}

bool TFakeCommDriver::Purge(THandle, uint32_t AFlags) {
    std::lock_guard<std::mutex> L(FLock);
    Purges.push_back(AFlags);
    for (auto& [LEvent, LOp] : FOps) {
        if (!LOp.Pending)
            continue;
        const bool LRx = LOp.Kind != TKind::kWrite && (AFlags & PURGE_RXABORT);
        const bool LTx = LOp.Kind == TKind::kWrite && (AFlags & PURGE_TXABORT);
        if (LRx || LTx)
            Finish(LEvent, LOp, TCommResult::crOther);
    }
    FChanged.notify_all();
    return true;
}

bool TFakeCommDriver::GetState(THandle, TCommState& AState) {
    std::lock_guard<std::mutex> L(FLock);
    AState = Current;
    return true;
}

bool TFakeCommDriver::SetState(THandle, const TCommState& AState) {
    std::lock_guard<std::mutex> L(FLock);
    States.push_back(AState);
    Current = AState;
    return true;
}

bool TFakeCommDriver::SetTimeouts(THandle, const TCommTimeouts& ATimeouts) {
    std::lock_guard<std::mutex> L(FLock);
    TimeoutsSet.push_back(ATimeouts);
    return true;
}

bool TFakeCommDriver::SetEventMask(THandle, uint32_t AMask) {
    return !SetEventMaskFails && AMask == (EV_ERR | EV_RLSD | EV_RING);
}

TCommResult TFakeCommDriver::ClearError(THandle, uint32_t& AErrors) {
    std::lock_guard<std::mutex> L(FLock);
    if (ClearErrorSteps.empty()) {
        AErrors = 0;
        return TCommResult::crOk;
    }
    auto [LResult, LErrors] = ClearErrorSteps.front();
    ClearErrorSteps.pop_front();
    AErrors = LErrors;
    return LResult;
}

bool TFakeCommDriver::GetModemStatus(THandle, uint32_t& AStatus) {
    AStatus = ModemStatus;
    return true;
}

TCommResult TFakeCommDriver::Read(THandle, uint8_t* ABuffer, uint32_t ASize, uint32_t& ACount,
                                  TOverlapped& AOv) {
    std::lock_guard<std::mutex> L(FLock);
    ++Reads;
    TStep LStep;
    if (!ReadSteps.empty()) {
        LStep = ReadSteps.front();
        ReadSteps.pop_front();
    }
    FEvents[AOv.hEvent] = false;
    TOp& LOp = FOps[AOv.hEvent] = TOp{TKind::kRead};
    LOp.Buffer = ABuffer;
    LOp.Size = ASize;
    FChanged.notify_all();
    if (LStep.Result == TCommResult::crIoPending)
        return LStep.Result;
    ACount = static_cast<uint32_t>(std::min<size_t>(LStep.Data.size(), ASize));
    std::memcpy(ABuffer, LStep.Data.data(), ACount);
    Finish(AOv.hEvent, LOp, LStep.Result);
    LOp.Count = ACount;
    return LStep.Result;
}

TCommResult TFakeCommDriver::Write(THandle, const uint8_t* AData, uint32_t ASize, uint32_t& ACount,
                                   TOverlapped& AOv) {
    std::lock_guard<std::mutex> L(FLock);
    ++Writes;
    TStep LStep;
    LStep.Result = TCommResult::crOk;
    if (!WriteSteps.empty()) {
        LStep = WriteSteps.front();
        WriteSteps.pop_front();
    }
    FEvents[AOv.hEvent] = false;
    TOp& LOp = FOps[AOv.hEvent] = TOp{TKind::kWrite};
    LOp.Buffer = const_cast<uint8_t*>(AData);
    LOp.Size = ASize;
    FChanged.notify_all();
    if (LStep.Result == TCommResult::crIoPending)
        return LStep.Result;
    ACount = std::min(LStep.Count, ASize);
    if (LStep.Result == TCommResult::crOk)
        Written.append(reinterpret_cast<const char*>(AData), ACount);
    LOp.Count = ACount;
    Finish(AOv.hEvent, LOp, LStep.Result);
    return LStep.Result;
}

TCommResult TFakeCommDriver::WaitLineEvent(THandle, uint32_t& AMask, TOverlapped& AOv) {
    std::lock_guard<std::mutex> L(FLock);
    TStep LStep;
    if (!LineSteps.empty()) {
        LStep = LineSteps.front();
        LineSteps.pop_front();
    }
    FEvents[AOv.hEvent] = false;
    TOp& LOp = FOps[AOv.hEvent] = TOp{TKind::kLine};
    LOp.Mask = &AMask;
    FChanged.notify_all();
    if (LStep.Result == TCommResult::crIoPending)
        return LStep.Result;
    AMask = LStep.Mask;
    Finish(AOv.hEvent, LOp, LStep.Result);
    return LStep.Result;
}

TCommResult TFakeCommDriver::GetResult(THandle, TOverlapped& AOv, uint32_t& ACount, bool AWait) {
    std::unique_lock<std::mutex> L(FLock);
    auto It = FOps.find(AOv.hEvent);
    if (It == FOps.end())
        return TCommResult::crOther;
    if (It->second.Pending && !AWait)
        return TCommResult::crOther;
    FChanged.wait(L, [&] { return !It->second.Pending; });
    ACount = It->second.Count;
    return It->second.Result;
}

THandle TFakeCommDriver::NewEvent(bool ASignalled) {
    thread_local int LIndex = 0;
    thread_local bool LFirstSignalled = false;
    if (++LIndex == 1)
        LFirstSignalled = ASignalled;
    std::lock_guard<std::mutex> L(FLock);
    if (FailNewEvent && FailNewEvent(LIndex, LFirstSignalled, ASignalled))
        return 0;
    const THandle LHandle = FNextHandle++;
    FEvents[LHandle] = ASignalled;
    return LHandle;
}

void TFakeCommDriver::SetEvent(THandle AEvent) {
    std::lock_guard<std::mutex> L(FLock);
    SignalLocked(AEvent);
}

void TFakeCommDriver::ResetEvent(THandle AEvent) {
    std::lock_guard<std::mutex> L(FLock);
    auto It = FEvents.find(AEvent);
    if (It != FEvents.end())
        It->second = false;
}

void TFakeCommDriver::FreeEvent(THandle AEvent) {
    std::lock_guard<std::mutex> L(FLock);
    FEvents.erase(AEvent);
    FOps.erase(AEvent);
    FChanged.notify_all();
}

uint32_t TFakeCommDriver::WaitAny(uint32_t ACount, const THandle* AEvents, uint32_t ATimeoutMs) {
    std::unique_lock<std::mutex> L(FLock);
    if (ATimeoutMs == INFINITE && OddWaitCount == ACount) {
        OddWaitCount = 0;
        return OddWaitResult;
    }
    uint32_t LIndex = WAIT_TIMEOUT;
    auto LReady = [&] {
        for (uint32_t I = 0; I < ACount; ++I) {
            auto It = FEvents.find(AEvents[I]);
            if (It == FEvents.end()) {
                LIndex = WAIT_FAILED;
                return true;
            }
            if (It->second) {
                LIndex = I;
                return true;
            }
        }
        return false;
    };
    if (ATimeoutMs == INFINITE)
        FChanged.wait(L, LReady);
    else
        FChanged.wait_for(L, std::chrono::milliseconds(ATimeoutMs), LReady);
    return LIndex;
}

uint8_t* TFakeCommDriver::AllocBlock(size_t ASize) {
    {
        std::lock_guard<std::mutex> L(FLock);
        if (FailAllocAt > 0 && --FailAllocAt == 0)
            return nullptr;
    }
    return TCommDriver::AllocBlock(ASize);
}

void TFakeCommDriver::ReserveThread(bool AWriteThread) {
    if (AWriteThread ? WriteThreadFails : ReadThreadFails)
        throw std::runtime_error("no more threads");
}
