// The write thread: writes the blocks queued by WriteCommData, one at a time,
// and tells the hidden window when its queue has run empty.
#pragma once

#include "platform/MessageLoop.h"
#include "platform/Thread.h"
#include "serial/CommDriver.h"
#include "serial/WriteQueue.h"

#include <atomic>

class TWriteThread : public TThread {
    SP_CLASS(TWriteThread, TThread)
public:
    explicit TWriteThread(TCommDriver& ADriver) : FDriver(ADriver), FQueue(ADriver) {}
    ~TWriteThread() override { TerminateAndWait(); }

    // Any thread; fails before the thread has begun its loop and after it
    // ended. On true the block belongs to the thread.
    bool PostThreadMessage(uint32_t AMsg, uintptr_t AWParam, intptr_t ALParam) {
        return FQueue.Post(AMsg, AWParam, ALParam);
    }

    // Written by the component's thread before Start, never after; the write
    // thread reads them from Start on. The component closes the handles only
    // once it has joined the thread.
    THandle hCommFile = 0;
    THandle hCloseEvent = 0;
    TWindowHandle hComm32Window;
    // The pointer as above. The flag behind it is stored by both threads at
    // any time (one atomic store each) and outlives the thread.
    std::atomic<bool>* pFSendDataEmpty = nullptr;

protected:
    void Execute() override;

private:
    void Run(TOverlapped& AWriteOv);
    bool CloseRequested();
    bool HandleWriteData(TOverlapped& lpOverlappedWrite, const uint8_t* pDataToWrite,
                         uint32_t dwNumberOfBytesToWrite);
    void PostHangupCall();

    // Shared with the component's thread and the read thread; it serialises
    // its calls itself.
    TCommDriver& FDriver;
    // Any thread posts, the write thread alone takes; its own lock guards it.
    TWriteQueue FQueue;
};
