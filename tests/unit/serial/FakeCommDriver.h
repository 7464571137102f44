// A scriptable serial driver: real manual-reset events, transfers that the
// test completes or fails, and a record of what the component asked for.
#pragma once

#include "serial/CommDriver.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class TFakeCommDriver : public TCommDriver {
public:
    // An outcome for the next call of an operation: done at once with data
    // (or a mask), pending, or failed.
    struct TStep {
        TCommResult Result = TCommResult::crIoPending;
        std::string Data;          // Read: the bytes; Write: unused
        uint32_t Mask = 0;         // WaitLineEvent: the events
        uint32_t Count = MAXDWORD; // Write: bytes written when done (MAXDWORD: all)
    };

    // -- scripting; set before StartComm or under Lock() --
    bool OpenFails = false;
    bool NotCharDevice = false;
    bool SetupFails = false;
    bool SetEventMaskFails = false;
    bool ReadThreadFails = false;
    bool WriteThreadFails = false;
    // Decides whether a NewEvent call fails, from the call's number on its
    // thread (1 = first), whether the thread's first event was made
    // signalled, and this call's initial state. The read thread makes
    // (true, true), the write thread (false, true), StartComm one false.
    std::function<bool(int AIndexOnThread, bool AFirstSignalled, bool ASignalled)> FailNewEvent;
    // The Nth AllocBlock call from now on fails; 0 = none.
    int FailAllocAt = 0;
    // The next blocking WaitAny over this many handles gives this value.
    uint32_t OddWaitCount = 0;
    uint32_t OddWaitResult = WAIT_FAILED;
    // Outcomes of the next calls; an empty list gives a pending read or
    // line-event wait and a write done in full.
    std::deque<TStep> ReadSteps, LineSteps, WriteSteps;
    std::deque<std::pair<TCommResult, uint32_t>> ClearErrorSteps;

    // -- what happened --
    int Opens = 0, Closes = 0, Reads = 0, Writes = 0;
    std::vector<TCommState> States;
    std::vector<TCommTimeouts> TimeoutsSet;
    std::vector<uint32_t> Purges;
    std::string Written;
    TCommState Current; // what GetState gives

    // Back to a driver on which everything works.
    void ClearFailures();
    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(FLock); }
    // Waits (real time, generously) until APred holds under the lock.
    bool WaitUntil(const std::function<bool()>& APred, int AMs = 10000);
    bool ReadPending();
    bool LinePending();
    bool WritePending();
    // Completes the pending operation; GetResult then gives AResult.
    void CompleteRead(TCommResult AResult, const std::string& AData = {});
    void CompleteLine(TCommResult AResult, uint32_t AMask);
    void CompleteWrite(TCommResult AResult, uint32_t ACount);
    int LiveEvents();
    int LivePorts();

    THandle Open(const UnicodeString& AName) override;
    bool IsCharDevice(THandle APort) override;
    void Close(THandle APort) override;
    bool SetupQueues(THandle APort, uint32_t AIn, uint32_t AOut) override;
    bool Purge(THandle APort, uint32_t AFlags) override;
    bool GetState(THandle APort, TCommState& AState) override;
    bool SetState(THandle APort, const TCommState& AState) override;
    bool SetTimeouts(THandle APort, const TCommTimeouts& ATimeouts) override;
    bool SetEventMask(THandle APort, uint32_t AMask) override;
    TCommResult ClearError(THandle APort, uint32_t& AErrors) override;
    bool GetModemStatus(THandle APort, uint32_t& AStatus) override;
    TCommResult Read(THandle APort, uint8_t* ABuffer, uint32_t ASize, uint32_t& ACount,
                     TOverlapped& AOv) override;
    TCommResult Write(THandle APort, const uint8_t* AData, uint32_t ASize, uint32_t& ACount,
                      TOverlapped& AOv) override;
    TCommResult WaitLineEvent(THandle APort, uint32_t& AMask, TOverlapped& AOv) override;
    TCommResult GetResult(THandle APort, TOverlapped& AOv, uint32_t& ACount, bool AWait) override;
    THandle NewEvent(bool ASignalled) override;
    void SetEvent(THandle AEvent) override;
    void ResetEvent(THandle AEvent) override;
    void FreeEvent(THandle AEvent) override;
    uint32_t WaitAny(uint32_t ACount, const THandle* AEvents, uint32_t ATimeoutMs) override;
    uint8_t* AllocBlock(size_t ASize) override;
    void ReserveThread(bool AWriteThread) override;

    uint32_t ModemStatus = MS_CTS_ON | MS_DSR_ON;

private:
    enum class TKind { kRead, kWrite, kLine };
    struct TOp {
        TKind Kind;
        bool Pending = true;
        TCommResult Result = TCommResult::crOk;
        uint8_t* Buffer = nullptr;
        uint32_t Size = 0;
        uint32_t* Mask = nullptr;
        uint32_t Count = 0;
    };
    TOp* FindPending(TKind AKind);
    void Finish(THandle AEvent, TOp& AOp, TCommResult AResult);
    void SignalLocked(THandle AEvent);

    std::mutex FLock;
    std::condition_variable FChanged;
    std::map<THandle, bool> FEvents; // handle -> signalled
    std::map<THandle, TOp> FOps;     // by the record's event
    int FPorts = 0;
    THandle FNextHandle = 100;
};
