// The GUI-thread loop on Win32: one message-only window per loop receives the
// wake-up message and the timer ticks, so any message loop that runs on the
// thread (a modal message box's, say) goes on delivering posts and ticks.
#pragma once

#include "platform/MessageLoop.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <map>
#include <memory>

class TWin32MessageLoop : public TMessageLoop {
public:
    // Throws Exception when the thread already has a loop or the window
    // cannot be made.
    TWin32MessageLoop();
    ~TWin32MessageLoop() override;

    std::unique_ptr<TTimerImpl> CreateTimerImpl(std::function<void()> AOnFire) override;

    // The message-only window (an HWND).
    void* WindowHandle() const { return FWindow.load(std::memory_order_acquire); }
    // A WM_QUIT that a pump took from the thread's queue, with its code.
    bool QuitReceived() const { return FQuitReceived; }
    int QuitCode() const { return FQuitCode; }
    // A top-level window whose keyboard navigation the pump handles as a
    // dialog's (Tab, Shift+Tab) with IsDialogMessageW; null for none.
    void SetDialogWindow(void* AWindow) { FDialogWindow = AWindow; }

protected:
    void Wake() override;
    void PumpOnce(bool AWait, uint32_t AMaxWaitMs) override;

private:
    class TWin32Timer;
    friend class TWin32Timer;
    struct TWindowProc;
    friend struct TWindowProc;

    void OnWakeMessage();
    void OnTimerMessage(uintptr_t ATimerId);
    // Keeps the first exception a handler threw inside the window procedure;
    // the pump throws it on once DispatchMessageW has returned.
    void Hold(std::exception_ptr AError);
    void ThrowHeld();
    // Handles what is in the thread's queue now, with at most one wake-up
    // (messages posted meanwhile wait for the next pump); true when it
    // handled anything.
    bool DrainQueue();

    // Set once the window exists; a post from another thread before then
    // (a synchronous call onto the main loop) is woken by the constructor.
    std::atomic<void*> FWindow{nullptr};
    std::atomic<bool> FWakePending{false};
    uintptr_t FNextTimerId = 1;
    std::map<uintptr_t, TWin32Timer*> FTimers;
    std::exception_ptr FHeld;
    void* FDialogWindow = nullptr;
    bool FQuitReceived = false;
    int FQuitCode = 0;
};

std::unique_ptr<TMessageLoop> CreateWin32MessageLoop();
