// A polling worker thread: calls its work callback again and again, with a
// 10 ms pause after each call, until terminated; then its final callback once.
#pragma once

#include "platform/Events.h"
#include "platform/Thread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class TWorkThread : public TThread {
    SP_CLASS(TWorkThread, TThread)
public:
    // Sends the "Create" object message, then starts the thread.
    TWorkThread(TObjectProc AWorkFun, TObjectProc AFinalFun);
    // Terminates and waits; a final callback still assigned runs first, on
    // the worker thread.
    ~TWorkThread() override;

    // Sets the terminate flag and cuts a running pause short.
    void Terminate();

    // Clearing it before Terminate suppresses the final callback.
    TObjectProc OnFinalFun() const;
    void SetOnFinalFun(TObjectProc AValue);

    // Number of work-callback calls so far.
    uint64_t WorkCalls() const { return FWorkCalls.load(std::memory_order_relaxed); }

protected:
    void Execute() override;

private:
    void Pause();
    // Calls FWorkFun; false when it let an exception escape.
    bool CallWork();

    TObjectProc FWorkFun;
    TObjectProc FFinalFun;
    mutable std::mutex FFinalLock; // FFinalFun is set by the owner, read by the worker
    std::mutex FPauseLock;
    std::condition_variable FPauseCond;
    std::atomic<uint64_t> FWorkCalls{0};
};
