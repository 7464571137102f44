#include "serial/ReadThread.h"

#include "serial/Comm.h"

#include <cstring>

void TReadThread::Execute() {
    TOverlapped LReadOv, LEventOv;
    // Both live until after the purge below, which ends a read or line-event
    // wait still pending on them.
    uint8_t LInputBuffer[2 * INPUTBUFFERSIZE];
    uint32_t LEvtMask = 0;
    LReadOv.hEvent = FDriver.NewEvent(true);
    if (LReadOv.hEvent == 0) {
        PostHangupCall();
    } else {
        LEventOv.hEvent = FDriver.NewEvent(true);
        if (LEventOv.hEvent == 0)
            PostHangupCall();
        else
            Run(LReadOv, LEventOv, LInputBuffer, LEvtMask);
    }
    FDriver.Purge(hCommFile, PURGE_RXABORT | PURGE_RXCLEAR);
    if (LEventOv.hEvent != 0)
        FDriver.FreeEvent(LEventOv.hEvent);
    if (LReadOv.hEvent != 0)
        FDriver.FreeEvent(LReadOv.hEvent);
}

void TReadThread::Run(TOverlapped& AReadOv, TOverlapped& AEventOv, uint8_t* AInputBuffer,
                      uint32_t& AEvtMask) {
    uint32_t LBytesRead = 0;

    FLineEvents = true;
    if (!FDriver.SetEventMask(hCommFile, EV_ERR | EV_RLSD | EV_RING)) {
        PostHangupCall();
        return;
    }
    if (!SetupCommEvent(AEventOv, AEvtMask))
        return;
    if (!SetupReadEvent(AReadOv, AInputBuffer, INPUTBUFFERSIZE, LBytesRead))
        return;
    for (;;) {
        // Lowest index first: close before line events before reads. Without
        // line events the read takes their place.
        const THandle LHandles[3] = {hCloseEvent, FLineEvents ? AEventOv.hEvent : AReadOv.hEvent,
                                     AReadOv.hEvent};
        const uint32_t LWait = FDriver.WaitAny(FLineEvents ? 3 : 2, LHandles, INFINITE);
        if (LWait == WAIT_OBJECT_0)
            return;
        if (LWait == WAIT_OBJECT_0 + 1 && FLineEvents) {
            if (!HandleCommEvent(&AEventOv, AEvtMask, true) || !SetupCommEvent(AEventOv, AEvtMask))
                return;
        } else if (LWait == WAIT_OBJECT_0 + 1 || LWait == WAIT_OBJECT_0 + 2) {
            if (!HandleReadEvent(AReadOv, AInputBuffer, INPUTBUFFERSIZE, LBytesRead) ||
                !SetupReadEvent(AReadOv, AInputBuffer, INPUTBUFFERSIZE, LBytesRead))
                return;
        } else {
            PostHangupCall();
            return;
        }
    }
}

bool TReadThread::CloseRequested() {
    return FDriver.WaitAny(1, &hCloseEvent, 0) != WAIT_TIMEOUT;
}

bool TReadThread::Failed(TCommResult AResult) {
    if (AResult != TCommResult::crInvalidHandle)
        PostHangupCall();
    return false;
}

bool TReadThread::SetupReadEvent(TOverlapped& lpOverlappedRead, uint8_t* lpszInputBuffer,
                                 uint32_t dwSizeofBuffer, uint32_t& lpnNumberOfBytesRead) {
    for (;;) {
        if (CloseRequested())
            return false;
        const TCommResult LResult = FDriver.Read(hCommFile, lpszInputBuffer, dwSizeofBuffer,
                                                 lpnNumberOfBytesRead, lpOverlappedRead);
        if (LResult == TCommResult::crOk) {
            if (!HandleReadData(lpszInputBuffer, lpnNumberOfBytesRead))
                return false;
            continue;
        }
        if (LResult == TCommResult::crIoPending)
            return true;
        return Failed(LResult);
    }
}

bool TReadThread::HandleReadEvent(TOverlapped& lpOverlappedRead, uint8_t* lpszInputBuffer,
                                  uint32_t dwSizeofBuffer, uint32_t& lpnNumberOfBytesRead) {
    (void)dwSizeofBuffer;
    const TCommResult LResult =
        FDriver.GetResult(hCommFile, lpOverlappedRead, lpnNumberOfBytesRead, false);
    if (LResult != TCommResult::crOk)
        return Failed(LResult);
    return HandleReadData(lpszInputBuffer, lpnNumberOfBytesRead);
}

bool TReadThread::HandleReadData(const uint8_t* lpszInputBuffer, uint32_t dwSizeofBuffer) {
    if (dwSizeofBuffer == 0)
        return false;
    uint8_t* LBlock = FDriver.AllocBlock(dwSizeofBuffer + 1);
    if (!LBlock) {
        PostHangupCall();
        return false;
    }
    std::memcpy(LBlock, lpszInputBuffer, dwSizeofBuffer);
    LBlock[dwSizeofBuffer] = 0;
    if (!ReceiveData(LBlock, dwSizeofBuffer)) {
        // Nobody else will see the block.
        FreeCommBlock(LBlock);
        PostHangupCall();
        return false;
    }
    return true;
}

bool TReadThread::SetupCommEvent(TOverlapped& lpOverlappedCommEvent, uint32_t& lpfdwEvtMask) {
    for (;;) {
        if (CloseRequested())
            return false;
        if (!FLineEvents)
            return true;
        const TCommResult LResult =
            FDriver.WaitLineEvent(hCommFile, lpfdwEvtMask, lpOverlappedCommEvent);
        if (LResult == TCommResult::crOk) {
            if (!HandleCommEvent(nullptr, lpfdwEvtMask, false))
                return false;
            continue;
        }
        if (LResult == TCommResult::crIoPending)
            return true;
        if (LResult == TCommResult::crNotSupported) {
            // Some drivers cannot wait for line events; their data still counts.
            FLineEvents = false;
            return true;
        }
        return Failed(LResult);
    }
}

bool TReadThread::HandleCommEvent(TOverlapped* lpOverlappedCommEvent, uint32_t& lpfdwEvtMask,
                                  bool fRetrieveEvent) {
    bool LResult = false;
    if (fRetrieveEvent) {
        uint32_t LTransferred = 0;
        const TCommResult LGot =
            FDriver.GetResult(hCommFile, *lpOverlappedCommEvent, LTransferred, false);
        if (LGot == TCommResult::crNotSupported) {
            FLineEvents = false;
            return true;
        }
        if (LGot != TCommResult::crOk)
            return Failed(LGot);
    }
    if (lpfdwEvtMask & EV_ERR) {
        uint32_t LErrors = 0;
        const TCommResult LCleared = FDriver.ClearError(hCommFile, LErrors);
        if (LCleared != TCommResult::crOk)
            return Failed(LCleared);
        if (!ReceiveError(LErrors)) {
            PostHangupCall();
            return false;
        }
        LResult = true;
    }
    uint32_t LModemEvent = 0;
    if (lpfdwEvtMask & EV_RLSD)
        LModemEvent |= ME_RLSD;
    if (lpfdwEvtMask & EV_RING)
        LModemEvent |= ME_RING;
    if (LModemEvent != 0) {
        if (!ModemStateChange(LModemEvent)) {
            PostHangupCall();
            return false;
        }
        LResult = true;
    }
    if (!(lpfdwEvtMask & EV_ERR) && LModemEvent == 0)
        PostHangupCall();
    return LResult;
}

bool TReadThread::ReceiveData(uint8_t* lpNewString, uint32_t dwSizeofNewString) {
    return hComm32Window.Post(PWM_GOTCOMMDATA, dwSizeofNewString,
                              reinterpret_cast<intptr_t>(lpNewString), ReleaseCommDataMessage);
}

bool TReadThread::ReceiveError(uint32_t EvtMask) {
    return hComm32Window.Post(PWM_RECEIVEERROR, 0, static_cast<intptr_t>(EvtMask));
}

bool TReadThread::ModemStateChange(uint32_t ModemEvent) {
    return hComm32Window.Post(PWM_MODEMSTATECHANGE, 0, static_cast<intptr_t>(ModemEvent));
}

void TReadThread::PostHangupCall() {
    (void)hComm32Window.Post(PWM_REQUESTHANGUP, 0, 0);
}
