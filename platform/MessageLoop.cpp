#include "platform/MessageLoop.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace loopdetail {

namespace {
std::atomic<bool> GVirtualOn{false};
std::atomic<uint64_t> GVirtualNow{0};
} // namespace

void SetVirtualTick(bool AOn, uint64_t ANow) {
    GVirtualNow.store(ANow, std::memory_order_release);
    GVirtualOn.store(AOn, std::memory_order_release);
}

struct TCallRecord {
    const std::function<void()>* Proc = nullptr;
    bool Done = false;
    bool Ran = false;
};

struct TQueued {
    std::shared_ptr<TWindowCore> Window; // empty for a synchronous call
    TMessage Msg;
    TMessageRelease Release = nullptr;
    TCallRecord* Call = nullptr;
};

struct TLoopQueue {
    std::mutex Lock;
    std::condition_variable Posted;
    std::condition_variable CallDone;
    std::deque<TQueued> Items;
    std::function<void()> Wake; // cleared when closed
    std::thread::id Owner;
    bool Closed = false;

    void Enqueue(TQueued&& AItem) {
        Items.push_back(std::move(AItem));
        Posted.notify_all();
        if (Wake)
            Wake();
    }

    // Queues the call and waits until the owner ran it or the loop closed.
    bool CallAndWait(const std::function<void()>& AProc) {
        TCallRecord LRecord;
        LRecord.Proc = &AProc;
        std::unique_lock<std::mutex> L(Lock);
        if (Closed)
            return false;
        TQueued LItem;
        LItem.Call = &LRecord;
        Enqueue(std::move(LItem));
        CallDone.wait(L, [&] { return LRecord.Done; });
        return LRecord.Ran;
    }
};

struct TWindowCore {
    std::shared_ptr<TLoopQueue> Queue;
    TMessageWindow::THandler Handler;
    // Guarded by Queue->Lock.
    bool Alive = true;
    size_t Count = 0;
    size_t Limit = TMessageWindow::CDefaultQueueLimit;
    // Owner thread only: handlers of this window running now.
    int Running = 0;
};

} // namespace loopdetail

using namespace loopdetail;

namespace {
thread_local TMessageLoop* GCurrent = nullptr;

std::mutex GMainLock;
TMessageLoop* GMain = nullptr;
std::shared_ptr<TLoopQueue> GMainQueue;

void ReleaseAll(std::deque<TQueued>& AItems) {
    for (TQueued& LItem : AItems)
        if (LItem.Release)
            LItem.Release(LItem.Msg);
    AItems.clear();
}
} // namespace

uint64_t GetTickCount64() {
    if (GVirtualOn.load(std::memory_order_acquire))
        return GVirtualNow.load(std::memory_order_acquire);
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// ---- TWindowHandle / TMessageWindow ----

bool TWindowHandle::Post(uint32_t AMsg, uintptr_t AWParam, intptr_t ALParam,
                         TMessageRelease ARelease) const {
    if (!FCore)
        return false;
    TLoopQueue& LQueue = *FCore->Queue;
    std::lock_guard<std::mutex> L(LQueue.Lock);
    if (LQueue.Closed || !FCore->Alive || FCore->Count >= FCore->Limit)
        return false;
    TQueued LItem;
    LItem.Window = FCore;
    LItem.Msg.Msg = AMsg;
    LItem.Msg.WParam = AWParam;
    LItem.Msg.LParam = ALParam;
    LItem.Release = ARelease;
    ++FCore->Count;
    LQueue.Enqueue(std::move(LItem));
    return true;
}

TMessageWindow::TMessageWindow(THandler AHandler) {
    TMessageLoop* LLoop = TMessageLoop::Current();
    if (!LLoop)
        throw Exception(u"No message loop on this thread");
    FCore = std::make_shared<TWindowCore>();
    FCore->Queue = LLoop->FQueue;
    FCore->Handler = std::move(AHandler);
}

TMessageWindow::~TMessageWindow() {
    std::deque<TQueued> LDropped;
    {
        TLoopQueue& LQueue = *FCore->Queue;
        std::lock_guard<std::mutex> L(LQueue.Lock);
        FCore->Alive = false;
        FCore->Count = 0;
        for (auto It = LQueue.Items.begin(); It != LQueue.Items.end();) {
            if (It->Window == FCore) {
                LDropped.push_back(std::move(*It));
                It = LQueue.Items.erase(It);
            } else {
                ++It;
            }
        }
    }
    ReleaseAll(LDropped);
    // The handler goes with the window, unless it is running right now (the
    // window destroyed from inside it); then it goes with the last handle.
    if (FCore->Running == 0)
        FCore->Handler = nullptr;
}

void TMessageWindow::SetQueueLimit(size_t ALimit) {
    std::lock_guard<std::mutex> L(FCore->Queue->Lock);
    FCore->Limit = ALimit;
}

size_t TMessageWindow::QueuedCount() const {
    std::lock_guard<std::mutex> L(FCore->Queue->Lock);
    return FCore->Count;
}

// ---- TTimer ----

TTimer::TTimer() {
    TMessageLoop* LLoop = TMessageLoop::Current();
    if (!LLoop)
        throw Exception(u"No message loop on this thread");
    FImpl = LLoop->CreateTimerImpl([this] { Fire(); });
    Apply();
}

TTimer::~TTimer() {
    std::unique_ptr<TTimerImpl> LImpl = std::move(FImpl);
    LImpl.reset();
}

void TTimer::SetEnabled(bool AValue) {
    if (AValue == FEnabled)
        return;
    FEnabled = AValue;
    Apply();
}

void TTimer::SetInterval(uint32_t AValue) {
    if (AValue == FInterval)
        return;
    FInterval = AValue;
    Apply();
}

void TTimer::Apply() {
    if (FEnabled && FInterval > 0)
        FImpl->Start(FInterval);
    else
        FImpl->Stop();
}

void TTimer::Fire() {
    OnTimer(this);
}

// ---- TMessageLoop ----

TMessageLoop::TMessageLoop() : FQueue(std::make_shared<TLoopQueue>()) {
    if (GCurrent)
        throw Exception(u"This thread already has a message loop");
    FOwner = std::this_thread::get_id();
    FQueue->Owner = FOwner;
    FQueue->Wake = [this] { Wake(); };
    GCurrent = this;
    std::lock_guard<std::mutex> L(GMainLock);
    if (!GMain) {
        GMain = this;
        GMainQueue = FQueue;
    }
}

TMessageLoop::~TMessageLoop() {
    Shutdown();
    if (GCurrent == this)
        GCurrent = nullptr;
    std::lock_guard<std::mutex> L(GMainLock);
    if (GMain == this) {
        GMain = nullptr;
        GMainQueue.reset();
    }
}

void TMessageLoop::Shutdown() {
    std::deque<TQueued> LDropped;
    {
        std::lock_guard<std::mutex> L(FQueue->Lock);
        if (FQueue->Closed)
            return;
        FQueue->Closed = true;
        FQueue->Wake = nullptr;
        for (TQueued& LItem : FQueue->Items) {
            if (LItem.Call) {
                LItem.Call->Done = true;
                LItem.Call->Ran = false;
            } else {
                LItem.Window->Count = 0;
                LDropped.push_back(std::move(LItem));
            }
        }
        FQueue->Items.clear();
        FQueue->CallDone.notify_all();
        FQueue->Posted.notify_all();
    }
    ReleaseAll(LDropped);
}

TMessageLoop* TMessageLoop::Current() {
    return GCurrent;
}

TMessageLoop* TMessageLoop::Main() {
    std::lock_guard<std::mutex> L(GMainLock);
    return GMain;
}

bool TMessageLoop::CallMain(const std::function<void()>& AProc) {
    std::shared_ptr<TLoopQueue> LQueue;
    {
        std::lock_guard<std::mutex> L(GMainLock);
        LQueue = GMainQueue;
    }
    if (!LQueue)
        return false;
    if (LQueue->Owner == std::this_thread::get_id()) {
        AProc();
        return true;
    }
    return LQueue->CallAndWait(AProc);
}

bool TMessageLoop::Call(const std::function<void()>& AProc) {
    if (IsOwnerThread()) {
        AProc();
        return true;
    }
    // The queue outlives the loop, so a caller can wait through its end.
    std::shared_ptr<TLoopQueue> LQueue = FQueue;
    return LQueue->CallAndWait(AProc);
}

size_t TMessageLoop::DispatchPosted() {
    size_t LCount;
    {
        std::lock_guard<std::mutex> L(FQueue->Lock);
        LCount = FQueue->Items.size();
    }
    size_t LRan = 0;
    for (; LRan < LCount; ++LRan) {
        TQueued LItem;
        {
            std::lock_guard<std::mutex> L(FQueue->Lock);
            if (FQueue->Items.empty())
                break;
            LItem = std::move(FQueue->Items.front());
            FQueue->Items.pop_front();
            if (LItem.Window)
                --LItem.Window->Count;
        }
        if (LItem.Call) {
            try {
                (*LItem.Call->Proc)();
            } catch (...) {
                // The caller is on another thread; it only learns that it ran.
            }
            std::lock_guard<std::mutex> L(FQueue->Lock);
            LItem.Call->Ran = true;
            LItem.Call->Done = true;
            FQueue->CallDone.notify_all();
            continue;
        }
        struct TRunning {
            TWindowCore& Core;
            explicit TRunning(TWindowCore& ACore) : Core(ACore) { ++Core.Running; }
            ~TRunning() { --Core.Running; }
        } LRunning(*LItem.Window);
        if (LItem.Window->Handler)
            LItem.Window->Handler(LItem.Msg);
    }
    return LRan;
}

bool TMessageLoop::WaitForPosted(uint32_t AMaxWaitMs) {
    std::unique_lock<std::mutex> L(FQueue->Lock);
    return FQueue->Posted.wait_for(L, std::chrono::milliseconds(AMaxWaitMs), [this] {
        return !FQueue->Items.empty() || FQueue->Closed;
    }) && !FQueue->Items.empty();
}

bool TMessageLoop::HasPosted() const {
    std::lock_guard<std::mutex> L(FQueue->Lock);
    return !FQueue->Items.empty();
}

void TMessageLoop::ProcessMessages() {
    PumpOnce(false, 0);
}

bool TMessageLoop::RunUntil(const std::function<bool()>& ACondition, uint32_t ATimeoutMs) {
    const uint64_t LDeadline = GetTickCount64() + ATimeoutMs;
    ProcessMessages();
    for (;;) {
        if (ACondition())
            return true;
        const uint64_t LNow = GetTickCount64();
        if (LNow >= LDeadline)
            return false;
        PumpOnce(true, static_cast<uint32_t>(LDeadline - LNow));
    }
}
