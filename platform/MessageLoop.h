// The GUI-thread loop: message windows that any thread posts to, interval
// timers, the millisecond tick counter, a synchronous call onto the loop's
// thread, and pumping (also nested, as a modal message box does).
//
// A thread gets its loop by creating one (THeadlessLoop here, a toolkit
// backend in the programs); the loop installs itself as that thread's
// current loop. Windows and timers created on the thread belong to it and
// must be destroyed on it, before the loop.
#pragma once

#include "platform/Events.h"
#include "platform/Object.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

// First number of a program's own messages.
constexpr uint32_t CWmUser = 0x0400;

using TNotifyEvent = TEvent<void(TObject* Sender)>;

struct TMessage {
    uint32_t Msg = 0;
    uintptr_t WParam = 0;
    intptr_t LParam = 0;
    // Set by the handler; the loop does not look at it.
    intptr_t Result = 0;
};

// Releases what a posted message owns (a data block, say) when the message is
// dropped without being delivered: its window was destroyed first, or the
// loop ended. A delivered message is the handler's to release.
using TMessageRelease = void (*)(const TMessage& AMsg);

// 64-bit millisecond tick counter, monotonic. Follows the virtual clock while
// one is switched on (THeadlessLoop::SetVirtualClock).
uint64_t GetTickCount64();

namespace loopdetail {
struct TLoopQueue;
struct TWindowCore;
// The virtual clock behind GetTickCount64 (THeadlessLoop drives it).
void SetVirtualTick(bool AOn, uint64_t ANow);
} // namespace loopdetail

// A handle to a message window. Cheap to copy; posting through it is safe
// from any thread at any time, also after the window is gone.
class TWindowHandle {
public:
    TWindowHandle() = default;
    // Queues a message for the window. Never blocks. Messages posted from one
    // thread are delivered in that order (and all messages of a loop in the
    // order they were queued). Returns false, and leaves the payload with the
    // caller, when the handle is empty, the window or its loop is gone, or the
    // window already holds its limit of undelivered messages. Once true, the
    // payload belongs to the message: ARelease runs if it is dropped.
    bool Post(uint32_t AMsg, uintptr_t AWParam, intptr_t ALParam,
              TMessageRelease ARelease = nullptr) const;
    explicit operator bool() const { return static_cast<bool>(FCore); }
    bool operator==(const TWindowHandle& AOther) const { return FCore == AOther.FCore; }

private:
    friend class TMessageWindow;
    explicit TWindowHandle(std::shared_ptr<loopdetail::TWindowCore> ACore)
        : FCore(std::move(ACore)) {}
    std::shared_ptr<loopdetail::TWindowCore> FCore;
};

// A hidden window owned by the thread that creates it. Its handler runs on
// that thread, one message at a time, whenever the loop pumps.
class TMessageWindow {
public:
    using THandler = std::function<void(TMessage& AMsg)>;
    // The platform's default limit of undelivered messages per window.
    static constexpr size_t CDefaultQueueLimit = 10000;

    // Throws Exception when the calling thread has no loop.
    explicit TMessageWindow(THandler AHandler);
    // Drops the messages still queued for the window (running their release)
    // and makes later posts fail. Allowed from inside the window's handler.
    ~TMessageWindow();
    TMessageWindow(const TMessageWindow&) = delete;
    TMessageWindow& operator=(const TMessageWindow&) = delete;

    TWindowHandle Handle() const { return TWindowHandle(FCore); }
    bool Post(uint32_t AMsg, uintptr_t AWParam, intptr_t ALParam,
              TMessageRelease ARelease = nullptr) const {
        return Handle().Post(AMsg, AWParam, ALParam, ARelease);
    }
    // Tests shrink the limit to see a full queue.
    void SetQueueLimit(size_t ALimit);
    size_t QueuedCount() const;

private:
    std::shared_ptr<loopdetail::TWindowCore> FCore;
};

class TMessageLoop;

// Backend part of a timer; a loop backend makes one per TTimer.
class TTimerImpl {
public:
    virtual ~TTimerImpl() = default;
    // (Re)starts ticking every AIntervalMs (> 0) from now.
    virtual void Start(uint32_t AIntervalMs) = 0;
    virtual void Stop() = 0;
};

// An interval timer of the calling thread's loop. Ticks arrive on that thread
// while it pumps. Like the toolkit's timer it starts enabled with 1000 ms;
// an interval of 0 never ticks.
class TTimer : public TObject {
    SP_CLASS(TTimer, TObject)
public:
    // Throws Exception when the calling thread has no loop.
    TTimer();
    ~TTimer() override;
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool AValue);
    uint32_t Interval() const { return FInterval; }
    // A running timer restarts its interval from now.
    void SetInterval(uint32_t AValue);
    TNotifyEvent OnTimer;

private:
    void Fire();
    void Apply();

    std::unique_ptr<TTimerImpl> FImpl;
    bool FEnabled = true;
    uint32_t FInterval = 1000;
};

// The loop of one thread. Abstract: a backend supplies the waiting, the
// wake-up and the timers; posting, the synchronous call and dispatch are here.
//
// A backend (Qt, Win32) derives from it, is created on its thread after the
// toolkit is up, and implements:
//   Wake            post one toolkit event/message to itself (thread-safe,
//                   non-blocking); on its arrival call DispatchPosted();
//   PumpOnce        process the toolkit's pending events once, waiting up to
//                   AMaxWaitMs first when AWait is set;
//   CreateTimerImpl a toolkit timer calling AOnFire on each tick;
// and calls Shutdown() first in its destructor. Toolkit-run nested loops (a
// modal box) go on delivering, since posts arrive as toolkit events.
// Exceptions thrown by window handlers leave DispatchPosted; a backend that
// cannot let them cross the toolkit catches them there.
class TMessageLoop {
public:
    virtual ~TMessageLoop();
    TMessageLoop(const TMessageLoop&) = delete;
    TMessageLoop& operator=(const TMessageLoop&) = delete;

    // The calling thread's loop, or nullptr.
    static TMessageLoop* Current();
    // The process's main loop: the first loop created while none was main.
    static TMessageLoop* Main();
    // Runs AProc synchronously on the main loop's thread (see Call). False
    // when there is no main loop.
    static bool CallMain(const std::function<void()>& AProc);

    bool IsOwnerThread() const { return std::this_thread::get_id() == FOwner; }

    // Runs AProc on the loop's thread and returns after it ran: at once when
    // called on that thread, otherwise the next time the loop pumps (the
    // caller blocks until then). Returns false without running AProc when the
    // loop is being destroyed (the object itself must still exist when Call
    // is entered); callers waiting at that moment are released with false. The loop's thread must
    // not wait for the caller meanwhile (joining it, say), or both wait for ever. An exception
    // thrown by AProc on another thread's behalf is swallowed.
    bool Call(const std::function<void()>& AProc);

    // Handles what is there now: queued messages, synchronous calls and due
    // timers; does not wait.
    void ProcessMessages();
    // Pumps, waiting for work, until ACondition holds (true) or ATimeoutMs of
    // tick time pass (false). Nests: a handler may call it, and messages and
    // timer ticks go on being delivered inside. ACondition is checked after
    // each wake-up, so it should be made true by something the loop delivers
    // (a message, a call, a tick).
    bool RunUntil(const std::function<bool()>& ACondition, uint32_t ATimeoutMs);

    // Backend: makes the implementation behind one TTimer; AOnFire runs on
    // the loop's thread for each tick.
    virtual std::unique_ptr<TTimerImpl> CreateTimerImpl(std::function<void()> AOnFire) = 0;

protected:
    // Installs the loop as the calling thread's current loop; throws
    // Exception when the thread already has one.
    TMessageLoop();

    // Backend: called from any thread, with the queue's lock held, after a
    // message or call was queued. Must not block and must not call back into
    // the loop; it only makes sure the owner thread runs DispatchPosted soon
    // (a Qt backend posts an event, a Win32 one a message to its window).
    virtual void Wake() = 0;
    // Backend, on the owner thread: handle what is there (DispatchPosted and
    // due timers); when AWait is true and nothing was there, first wait up to
    // AMaxWaitMs of tick time for work to arrive.
    virtual void PumpOnce(bool AWait, uint32_t AMaxWaitMs) = 0;

    // Delivers the messages and calls queued when it is called (not the ones
    // they post in turn); returns how many ran.
    size_t DispatchPosted();
    // For backends without a toolkit queue: waits up to AMaxWaitMs real
    // milliseconds until something is queued; true when something is.
    bool WaitForPosted(uint32_t AMaxWaitMs);
    bool HasPosted() const;
    // Ends posting and drops what is queued; a backend destructor calls it
    // first, while its own parts still exist.
    void Shutdown();

private:
    friend class TMessageWindow;
    friend class TTimer;

    std::shared_ptr<loopdetail::TLoopQueue> FQueue;
    std::thread::id FOwner;
};

// A loop without a toolkit, for tests and the console front end. Real time by
// default; with the virtual clock on, time stands still until the test moves
// it, and waits in RunUntil move it instead of waiting.
class THeadlessLoop : public TMessageLoop {
public:
    THeadlessLoop();
    ~THeadlessLoop() override;

    std::unique_ptr<TTimerImpl> CreateTimerImpl(std::function<void()> AOnFire) override;

    // Switches the process's tick counter to virtual time starting at
    // AStartMs (on) or back to the real clock (off).
    void SetVirtualClock(bool AOn, uint64_t AStartMs = 1000000);
    bool VirtualClock() const { return FVirtual; }
    // Virtual clock only: moves time forward by AMs; the timers that fall due
    // on the way tick in time order, with queued messages handled before and
    // after each tick.
    void AdvanceTime(uint64_t AMs);
    // The tick at which the next enabled timer falls due; 0 when none.
    uint64_t NextTimerDue() const;

protected:
    void Wake() override;
    void PumpOnce(bool AWait, uint32_t AMaxWaitMs) override;

private:
    class THeadlessTimer;
    friend class THeadlessTimer;
    // Runs one due timer (the earliest); false when none is due at ANow.
    bool FireOneDue(uint64_t ANow);

    bool FVirtual = false;
    uint64_t FTimerSeq = 0;
    std::vector<THeadlessTimer*> FTimers;
};
