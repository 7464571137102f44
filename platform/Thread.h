// Thread base: created without running, a terminate flag, WaitFor, best-effort
// priorities, and a join in the destructor.
#pragma once

#include "platform/Object.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

enum class TThreadPriority {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

class TThread : public TObject {
    SP_CLASS(TThread, TObject)
public:
    TThread();
    // Terminates and joins a thread that still runs. A derived class whose
    // Execute uses its own members must call TerminateAndWait in its own
    // destructor, before those members are gone.
    ~TThread() override;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts Execute on a new thread; once only.
    void Start();
    // Sets the terminate flag (release), so writes made before it are seen by
    // the thread once it sees the flag.
    void Terminate() { FTerminated.store(true, std::memory_order_release); }
    bool Terminated() const { return FTerminated.load(std::memory_order_acquire); }
    // Blocks until Execute has returned (at once when never started).
    void WaitFor();
    // As WaitFor, at most ATimeoutMs; true when Execute has returned.
    bool WaitFor(uint32_t ATimeoutMs);
    void TerminateAndWait();

    // Set before Start; the thread applies it to itself as it starts, as far
    // as the system allows (failure is ignored).
    void SetPriority(TThreadPriority APriority);
    TThreadPriority Priority() const { return FPriority; }
    bool Started() const { return FStarted; }
    bool Finished() const;
    // The OS id of the running thread; 0 before it has started.
    uint32_t ThreadId() const { return FThreadId.load(std::memory_order_acquire); }

protected:
    virtual void Execute() = 0;

private:
    void Run();

    std::thread FThread;
    std::atomic<bool> FTerminated{false};
    std::atomic<uint32_t> FThreadId{0};
    TThreadPriority FPriority = TThreadPriority::tpNormal;
    bool FStarted = false;
    mutable std::mutex FDoneLock;
    std::condition_variable FDoneCond;
    bool FDone = false;
};

// Backend: applies a priority to the calling thread, best effort.
void ApplyCurrentThreadPriority(TThreadPriority APriority);
