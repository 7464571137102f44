#include "serial/WriteQueue.h"

#include "serial/Comm.h"

bool TWriteQueue::Open() {
    const THandle LEvent = FDriver.NewEvent(false);
    if (LEvent == 0)
        return false;
    std::lock_guard<std::mutex> L(FLock);
    FEvent = LEvent;
    FOpen = true;
    return true;
}

void TWriteQueue::Close() {
    std::deque<TMessage> LLeft;
    THandle LEvent;
    {
        std::lock_guard<std::mutex> L(FLock);
        FOpen = false;
        LLeft.swap(FItems);
        LEvent = FEvent;
        FEvent = 0;
    }
    for (const TMessage& LMsg : LLeft)
        if (LMsg.Msg == PWM_COMMWRITE)
            FreeCommBlock(reinterpret_cast<uint8_t*>(LMsg.LParam));
    if (LEvent != 0)
        FDriver.FreeEvent(LEvent);
}

bool TWriteQueue::Post(uint32_t AMsg, uintptr_t AWParam, intptr_t ALParam) {
    std::lock_guard<std::mutex> L(FLock);
    if (!FOpen)
        return false;
    TMessage LMsg;
    LMsg.Msg = AMsg;
    LMsg.WParam = AWParam;
    LMsg.LParam = ALParam;
    FItems.push_back(LMsg);
    FDriver.SetEvent(FEvent);
    return true;
}

bool TWriteQueue::Take(TMessage& AMsg) {
    std::lock_guard<std::mutex> L(FLock);
    if (FItems.empty()) {
        if (FEvent != 0)
            FDriver.ResetEvent(FEvent);
        return false;
    }
    AMsg = FItems.front();
    FItems.pop_front();
    return true;
}
