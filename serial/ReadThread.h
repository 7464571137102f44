// The read thread: waits on the port for bytes and line events and posts
// them to the component's hidden window.
#pragma once

#include "platform/MessageLoop.h"
#include "platform/Thread.h"
#include "serial/CommDriver.h"

class TReadThread : public TThread {
    SP_CLASS(TReadThread, TThread)
public:
    explicit TReadThread(TCommDriver& ADriver) : FDriver(ADriver) {}
    ~TReadThread() override { TerminateAndWait(); }

    // Written by the component's thread before Start, never after; the read
    // thread reads them from Start on. The component closes them only once it
    // has joined the thread.
    THandle hCommFile = 0;
    THandle hCloseEvent = 0;
    TWindowHandle hComm32Window;

protected:
    void Execute() override;

private:
    // The loop of Execute once both records have their events.
    void Run(TOverlapped& AReadOv, TOverlapped& AEventOv, uint8_t* AInputBuffer,
             uint32_t& AEvtMask);
    bool CloseRequested();
    bool SetupReadEvent(TOverlapped& lpOverlappedRead, uint8_t* lpszInputBuffer,
                        uint32_t dwSizeofBuffer, uint32_t& lpnNumberOfBytesRead);
    bool HandleReadEvent(TOverlapped& lpOverlappedRead, uint8_t* lpszInputBuffer,
                         uint32_t dwSizeofBuffer, uint32_t& lpnNumberOfBytesRead);
    bool HandleReadData(const uint8_t* lpszInputBuffer, uint32_t dwSizeofBuffer);
    bool SetupCommEvent(TOverlapped& lpOverlappedCommEvent, uint32_t& lpfdwEvtMask);
    bool HandleCommEvent(TOverlapped* lpOverlappedCommEvent, uint32_t& lpfdwEvtMask,
                         bool fRetrieveEvent);
    // Posts a failed call's hang-up request unless the port was closed.
    bool Failed(TCommResult AResult);
    bool ReceiveData(uint8_t* lpNewString, uint32_t dwSizeofNewString);
    bool ReceiveError(uint32_t EvtMask);
    bool ModemStateChange(uint32_t ModemEvent);
    void PostHangupCall();

    // Shared with the component's thread and the write thread; it
    // serialises its calls itself.
    TCommDriver& FDriver;
    // The read thread only. False once the port has said it cannot wait for line events; the loop
    // then waits for the close event and reads only.
    bool FLineEvents = true;
};
