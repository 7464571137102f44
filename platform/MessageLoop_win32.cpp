// The GUI-thread loop on Win32. Posts go to the portable queue; a wake-up is
// one private message posted to the loop's message-only window, and timers
// are SetTimer timers of that window.
#include "platform/MessageLoop_win32.h"

#include "platform/Windows_win32.h"

namespace {

const wchar_t CClassName[] = L"ScaleprobeLoopWindow";
const UINT CWakeMessage = WM_APP + 0x5350;

HWND AsHwnd(void* AHandle) {
    return static_cast<HWND>(AHandle);
}

} // namespace

struct TWin32MessageLoop::TWindowProc {
    static LRESULT CALLBACK Run(HWND AWnd, UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
        auto* LLoop = reinterpret_cast<TWin32MessageLoop*>(GetWindowLongPtrW(AWnd, GWLP_USERDATA));
        if (LLoop) {
            if (AMsg == CWakeMessage) {
                LLoop->OnWakeMessage();
                return 0;
            }
            if (AMsg == WM_TIMER) {
                LLoop->OnTimerMessage(static_cast<uintptr_t>(AWParam));
                return 0;
            }
        }
        return DefWindowProcW(AWnd, AMsg, AWParam, ALParam);
    }
};

class TWin32MessageLoop::TWin32Timer : public TTimerImpl {
public:
    TWin32Timer(TWin32MessageLoop& ALoop, std::function<void()> AOnFire)
        : Loop(ALoop), Id(ALoop.FNextTimerId++), OnFire(std::move(AOnFire)) {
        Loop.FTimers[Id] = this;
    }
    ~TWin32Timer() override {
        Stop();
        Loop.FTimers.erase(Id);
    }
    void Start(uint32_t AIntervalMs) override {
        // Setting the same id again restarts the interval from now.
        Running = SetTimer(AsHwnd(Loop.WindowHandle()), Id, AIntervalMs, nullptr) != 0;
    }
    void Stop() override {
        if (Running)
            KillTimer(AsHwnd(Loop.WindowHandle()), Id);
        Running = false;
    }

    TWin32MessageLoop& Loop;
    const uintptr_t Id;
    std::function<void()> OnFire;
    bool Running = false;
};

TWin32MessageLoop::TWin32MessageLoop() {
    static const ATOM LClass = [] {
        WNDCLASSEXW LWc{};
        LWc.cbSize = sizeof LWc;
        LWc.lpfnWndProc = &TWindowProc::Run;
        LWc.hInstance = GetModuleHandleW(nullptr);
        LWc.lpszClassName = CClassName;
        return RegisterClassExW(&LWc);
    }();
    if (LClass == 0)
        throw Exception(u"Cannot register the loop's window class");
    HWND LWnd = CreateWindowExW(0, CClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    if (!LWnd)
        throw Exception(u"Cannot create the loop's message window");
    SetWindowLongPtrW(LWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    FWindow.store(LWnd, std::memory_order_release);
    if (HasPosted())
        Wake();
}

TWin32MessageLoop::~TWin32MessageLoop() {
    // No post wakes the window after this; wake-ups and ticks still in the
    // thread's queue are dropped.
    Shutdown();
    HWND LWnd = AsHwnd(FWindow.load(std::memory_order_acquire));
    SetWindowLongPtrW(LWnd, GWLP_USERDATA, 0);
    for (auto& [LId, LTimer] : FTimers) {
        KillTimer(LWnd, LId);
        LTimer->Running = false;
    }
    MSG LMsg;
    while (PeekMessageW(&LMsg, LWnd, 0, 0, PM_REMOVE)) {
    }
    DestroyWindow(LWnd);
}

std::unique_ptr<TTimerImpl> TWin32MessageLoop::CreateTimerImpl(std::function<void()> AOnFire) {
    return std::make_unique<TWin32Timer>(*this, std::move(AOnFire));
}

void TWin32MessageLoop::Wake() {
    // One wake-up message at a time: it dispatches all that is queued by
    // then, and a later post wakes again. A wake-up that cannot be posted
    // (the thread's queue is full) is tried again by the next post.
    HWND LWnd = AsHwnd(FWindow.load(std::memory_order_acquire));
    if (LWnd && !FWakePending.exchange(true, std::memory_order_acq_rel) &&
        !PostMessageW(LWnd, CWakeMessage, 0, 0))
        FWakePending.store(false, std::memory_order_release);
}

void TWin32MessageLoop::OnWakeMessage() {
    // Wake again at once for what is queued: a handler below may run a loop
    // of its own (a modal box), and the messages queued behind it must reach
    // that loop too. The extra wake-up finds nothing, or what came later.
    FWakePending.store(false, std::memory_order_release);
    if (HasPosted())
        Wake();
    try {
        DispatchPosted();
    } catch (...) {
        // What the handler's exception left queued comes with the next pump.
        Hold(std::current_exception());
    }
}

void TWin32MessageLoop::OnTimerMessage(uintptr_t ATimerId) {
    // A tick of a timer stopped or destroyed meanwhile may still be queued.
    auto It = FTimers.find(ATimerId);
    if (It == FTimers.end() || !It->second->Running)
        return;
    // The timer may be destroyed by its own tick.
    const std::function<void()> LFire = It->second->OnFire;
    try {
        LFire();
    } catch (...) {
        Hold(std::current_exception());
    }
}

void TWin32MessageLoop::Hold(std::exception_ptr AError) {
    if (!FHeld)
        FHeld = std::move(AError);
}

void TWin32MessageLoop::ThrowHeld() {
    if (FHeld) {
        std::exception_ptr LError = std::move(FHeld);
        FHeld = nullptr;
        std::rethrow_exception(LError);
    }
}

bool TWin32MessageLoop::DrainQueue() {
    bool LDid = false;
    bool LWoken = false;
    MSG LMsg;
    for (;;) {
        // After one wake-up, leave the next for the next pump: what the
        // handlers posted waits, and posting threads cannot keep us here.
        BOOL LGot = LWoken
                        ? PeekMessageW(&LMsg, nullptr, 0, CWakeMessage - 1, PM_REMOVE) ||
                              PeekMessageW(&LMsg, nullptr, CWakeMessage + 1, 0xFFFFFFFF, PM_REMOVE)
                        : PeekMessageW(&LMsg, nullptr, 0, 0, PM_REMOVE);
        if (!LGot)
            return LDid;
        if (LMsg.message == WM_QUIT) {
            FQuitReceived = true;
            FQuitCode = static_cast<int>(LMsg.wParam);
            return true;
        }
        if (LMsg.message == CWakeMessage && LMsg.hwnd == AsHwnd(WindowHandle()))
            LWoken = true;
        LDid = true;
        // It dispatches what it does not handle itself.
        if (FDialogWindow && IsDialogMessageW(AsHwnd(FDialogWindow), &LMsg)) {
            ThrowHeld();
            continue;
        }
        TranslateMessage(&LMsg);
        DispatchMessageW(&LMsg);
        ThrowHeld();
    }
}

void TWin32MessageLoop::PumpOnce(bool AWait, uint32_t AMaxWaitMs) {
    ThrowHeld();
    if (DrainQueue() || !AWait)
        return;
    // MWMO_INPUTAVAILABLE: also wake for messages that an earlier peek saw.
    MsgWaitForMultipleObjectsEx(0, nullptr, AMaxWaitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    DrainQueue();
}

std::unique_ptr<TMessageLoop> CreateWin32MessageLoop() {
    return std::make_unique<TWin32MessageLoop>();
}
