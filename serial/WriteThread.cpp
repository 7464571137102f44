#include "serial/WriteThread.h"

#include "serial/Comm.h"

void TWriteThread::Execute() {
    // The queue takes posts from here on.
    const bool LQueueOpen = FQueue.Open();
    TOverlapped LWriteOv;
    if (LQueueOpen)
        LWriteOv.hEvent = FDriver.NewEvent(true);
    if (LWriteOv.hEvent == 0)
        PostHangupCall();
    else
        Run(LWriteOv);
    // Blocks nobody will write any more are released here.
    FQueue.Close();
    FDriver.Purge(hCommFile, PURGE_TXABORT | PURGE_TXCLEAR);
    pFSendDataEmpty->store(true);
    if (LWriteOv.hEvent != 0)
        FDriver.FreeEvent(LWriteOv.hEvent);
}

void TWriteThread::Run(TOverlapped& AWriteOv) {
    bool CompleteOneWriteRequire = true;
    TMessage LMsg;
    for (;;) {
        if (!FQueue.Take(LMsg)) {
            pFSendDataEmpty->store(true);
            if (CompleteOneWriteRequire) {
                if (!hComm32Window.Post(PWM_SENDDATAEMPTY, 0, 0)) {
                    PostHangupCall();
                    return;
                }
            }
            CompleteOneWriteRequire = false;
            const THandle LHandles[2] = {hCloseEvent, FQueue.Event()};
            const uint32_t LWait = FDriver.WaitAny(2, LHandles, INFINITE);
            if (LWait == WAIT_OBJECT_0)
                return;
            if (LWait == WAIT_OBJECT_0 + 1)
                continue;
            PostHangupCall();
            return;
        }
        uint8_t* LBlock =
            LMsg.Msg == PWM_COMMWRITE ? reinterpret_cast<uint8_t*>(LMsg.LParam) : nullptr;
        if (CloseRequested()) {
            FreeCommBlock(LBlock);
            return;
        }
        if (!LBlock)
            continue; // any other thread message is dropped
        const bool LWritten = HandleWriteData(AWriteOv, LBlock, static_cast<uint32_t>(LMsg.WParam));
        FreeCommBlock(LBlock);
        if (!LWritten)
            return;
        CompleteOneWriteRequire = true;
        pFSendDataEmpty->store(true);
    }
}

bool TWriteThread::CloseRequested() {
    return FDriver.WaitAny(1, &hCloseEvent, 0) != WAIT_TIMEOUT;
}

bool TWriteThread::HandleWriteData(TOverlapped& lpOverlappedWrite, const uint8_t* pDataToWrite,
                                   uint32_t dwNumberOfBytesToWrite) {
    const THandle LHandles[2] = {hCloseEvent, lpOverlappedWrite.hEvent};
    uint32_t LWritten = 0;
    TCommResult LResult =
        FDriver.Write(hCommFile, pDataToWrite, dwNumberOfBytesToWrite, LWritten, lpOverlappedWrite);
    if (LResult == TCommResult::crIoPending) {
        switch (FDriver.WaitAny(2, LHandles, INFINITE)) {
        case WAIT_OBJECT_0:
            // End the pending write before the caller releases its block.
            FDriver.Purge(hCommFile, PURGE_TXABORT | PURGE_TXCLEAR);
            (void)FDriver.GetResult(hCommFile, lpOverlappedWrite, LWritten, true);
            return false;
        case WAIT_OBJECT_0 + 1:
            LResult = FDriver.GetResult(hCommFile, lpOverlappedWrite, LWritten, true);
            break;
        default:
            PostHangupCall();
            return false;
        }
    }
    if (LResult == TCommResult::crInvalidHandle)
        return false;
    if (LResult != TCommResult::crOk) {
        PostHangupCall();
        return false;
    }
    if (LWritten != dwNumberOfBytesToWrite) {
        PostHangupCall();
        return false;
    }
    return true;
}

void TWriteThread::PostHangupCall() {
    (void)hComm32Window.Post(PWM_REQUESTHANGUP, 0, 0);
}
