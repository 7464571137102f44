#include "platform/MessageLoop.h"

#include <algorithm>

class THeadlessLoop::THeadlessTimer : public TTimerImpl {
public:
    THeadlessTimer(THeadlessLoop& ALoop, std::function<void()> AOnFire)
        : Loop(ALoop), OnFire(std::move(AOnFire)) {
        Loop.FTimers.push_back(this);
    }
    ~THeadlessTimer() override {
        auto& LList = Loop.FTimers;
        LList.erase(std::remove(LList.begin(), LList.end(), this), LList.end());
    }
    void Start(uint32_t AIntervalMs) override {
        Running = true;
        Interval = AIntervalMs;
        Due = GetTickCount64() + AIntervalMs;
        Seq = ++Loop.FTimerSeq;
    }
    void Stop() override { Running = false; }

    THeadlessLoop& Loop;
    std::function<void()> OnFire;
    bool Running = false;
    uint32_t Interval = 0;
    uint64_t Due = 0;
    uint64_t Seq = 0;
};

THeadlessLoop::THeadlessLoop() = default;

THeadlessLoop::~THeadlessLoop() {
    Shutdown();
    if (FVirtual)
        loopdetail::SetVirtualTick(false, 0);
}

std::unique_ptr<TTimerImpl> THeadlessLoop::CreateTimerImpl(std::function<void()> AOnFire) {
    return std::make_unique<THeadlessTimer>(*this, std::move(AOnFire));
}

void THeadlessLoop::SetVirtualClock(bool AOn, uint64_t AStartMs) {
    FVirtual = AOn;
    loopdetail::SetVirtualTick(AOn, AStartMs);
}

void THeadlessLoop::Wake() {
    // The queue's condition variable already wakes WaitForPosted.
}

uint64_t THeadlessLoop::NextTimerDue() const {
    uint64_t LDue = 0;
    for (const THeadlessTimer* LTimer : FTimers)
        if (LTimer->Running && (LDue == 0 || LTimer->Due < LDue))
            LDue = LTimer->Due;
    return LDue;
}

bool THeadlessLoop::FireOneDue(uint64_t ANow) {
    THeadlessTimer* LNext = nullptr;
    for (THeadlessTimer* LTimer : FTimers) {
        if (!LTimer->Running || LTimer->Due > ANow)
            continue;
        if (!LNext || LTimer->Due < LNext->Due ||
            (LTimer->Due == LNext->Due && LTimer->Seq < LNext->Seq))
            LNext = LTimer;
    }
    if (!LNext)
        return false;
    // Like a toolkit timer, a late timer ticks once and not once per lost
    // interval.
    LNext->Due += LNext->Interval;
    if (LNext->Due <= ANow)
        LNext->Due = ANow + LNext->Interval;
    LNext->OnFire(); // may destroy the timer
    return true;
}

void THeadlessLoop::PumpOnce(bool AWait, uint32_t AMaxWaitMs) {
    bool LDid = DispatchPosted() > 0;
    // Each due timer ticks once; a tick moves its own due time past now.
    const uint64_t LNow = GetTickCount64();
    for (size_t LGuard = FTimers.size(); LGuard > 0 && FireOneDue(LNow); --LGuard)
        LDid = true;
    if (LDid || !AWait || HasPosted())
        return;
    uint64_t LWait = AMaxWaitMs;
    const uint64_t LDue = NextTimerDue();
    if (LDue != 0)
        LWait = std::min<uint64_t>(LWait, LDue > LNow ? LDue - LNow : 0);
    if (FVirtual) {
        loopdetail::SetVirtualTick(true, LNow + LWait);
        return;
    }
    WaitForPosted(static_cast<uint32_t>(LWait));
}

void THeadlessLoop::AdvanceTime(uint64_t AMs) {
    if (!FVirtual)
        return;
    const uint64_t LTarget = GetTickCount64() + AMs;
    DispatchPosted();
    for (;;) {
        const uint64_t LDue = NextTimerDue();
        if (LDue == 0 || LDue > LTarget)
            break;
        if (LDue > GetTickCount64())
            loopdetail::SetVirtualTick(true, LDue);
        FireOneDue(GetTickCount64());
        DispatchPosted();
    }
    loopdetail::SetVirtualTick(true, LTarget);
    DispatchPosted();
}
