#include "logging/UnitWorkThread.h"

#include "logging/UnitDebugger.h"

#include <chrono>

namespace {
constexpr auto CPause = std::chrono::milliseconds(10);
}

TWorkThread::TWorkThread(TObjectProc AWorkFun, TObjectProc AFinalFun)
    : FWorkFun(std::move(AWorkFun)), FFinalFun(std::move(AFinalFun)) {
    Debugger()->LogObjectWithTag(this, u"Create");
    Start();
}

TWorkThread::~TWorkThread() {
    Terminate();
    WaitFor();
}

void TWorkThread::Terminate() {
    {
        // Taking the pause lock orders the flag before a pause that is about
        // to begin, so the wake-up cannot be missed.
        std::lock_guard<std::mutex> L(FPauseLock);
        TThread::Terminate();
    }
    FPauseCond.notify_all();
}

TObjectProc TWorkThread::OnFinalFun() const {
    std::lock_guard<std::mutex> L(FFinalLock);
    return FFinalFun;
}

void TWorkThread::SetOnFinalFun(TObjectProc AValue) {
    std::lock_guard<std::mutex> L(FFinalLock);
    FFinalFun = std::move(AValue);
}

void TWorkThread::Execute() {
    while (!Terminated()) {
        if (!CallWork())
            break;
        if (Terminated())
            break;
        Pause();
    }
    Debugger()->LogObjectWithTag(this, u"1");
    const TObjectProc LFinal = OnFinalFun();
    try {
        LFinal();
    } catch (...) {
        // The thread ends either way.
    }
}

bool TWorkThread::CallWork() {
    FWorkCalls.fetch_add(1, std::memory_order_relaxed);
    try {
        FWorkFun();
        return true;
    } catch (...) {
        return false;
    }
}

void TWorkThread::Pause() {
    std::unique_lock<std::mutex> L(FPauseLock);
    FPauseCond.wait_for(L, CPause, [this] { return Terminated(); });
}
