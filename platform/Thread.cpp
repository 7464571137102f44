#include "platform/Thread.h"

#include "platform/System.h"

TThread::TThread() = default;

TThread::~TThread() {
    TerminateAndWait();
}

void TThread::Start() {
    if (FStarted)
        return;
    FStarted = true;
    FThread = std::thread([this] { Run(); });
}

void TThread::Run() {
    FThreadId.store(GetCurrentThreadId(), std::memory_order_release);
    ApplyCurrentThreadPriority(FPriority);
    try {
        Execute();
    } catch (...) {
        // An exception must not end the process; the thread just ends.
    }
    {
        std::lock_guard<std::mutex> L(FDoneLock);
        FDone = true;
    }
    FDoneCond.notify_all();
}

void TThread::WaitFor() {
    if (FThread.joinable())
        FThread.join();
}

bool TThread::WaitFor(uint32_t ATimeoutMs) {
    if (!FStarted)
        return true;
    std::unique_lock<std::mutex> L(FDoneLock);
    return FDoneCond.wait_for(L, std::chrono::milliseconds(ATimeoutMs), [this] { return FDone; });
}

bool TThread::Finished() const {
    std::lock_guard<std::mutex> L(FDoneLock);
    return FDone;
}

void TThread::TerminateAndWait() {
    Terminate();
    WaitFor();
}

void TThread::SetPriority(TThreadPriority APriority) {
    FPriority = APriority;
    // Applied by the thread itself when it starts.
}
