// The write thread's own message queue: other threads post without blocking;
// posts fail before the thread has opened it and after it closed it.
#pragma once

#include "platform/MessageLoop.h"
#include "serial/CommDriver.h"

#include <deque>
#include <mutex>

class TWriteQueue {
public:
    explicit TWriteQueue(TCommDriver& ADriver) : FDriver(ADriver) {}
    ~TWriteQueue() { Close(); }
    TWriteQueue(const TWriteQueue&) = delete;
    TWriteQueue& operator=(const TWriteQueue&) = delete;

    // Owner thread: starts taking posts; false when its event cannot be made.
    bool Open();
    // Owner thread: refuses further posts and releases the blocks still
    // queued (the lParam of PWM_COMMWRITE messages).
    void Close();
    // Any thread. On true the message (and its block) belongs to the queue.
    bool Post(uint32_t AMsg, uintptr_t AWParam, intptr_t ALParam);
    // Owner thread: takes the oldest message; false when there is none.
    bool Take(TMessage& AMsg);
    // Signalled while messages wait; for the owner's WaitAny.
    THandle Event() const { return FEvent; }

private:
    TCommDriver& FDriver;
    std::mutex FLock;
    // Under FLock, from any thread. FEvent is written only by the owner
    // (Open, Close), which alone reads it without the lock.
    std::deque<TMessage> FItems;
    THandle FEvent = 0;
    bool FOpen = false;
};
