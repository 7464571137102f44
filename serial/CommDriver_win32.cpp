// The serial driver on Windows: the comm API with overlapped I/O. Each event
// of the seam carries the OVERLAPPED record of the operation started on it,
// so that a purge, a close or a new operation can cancel and collect the one
// still in flight. The OS reads and writes only memory of the driver's own
// (the record, a line-event wait's mask, the bytes of a transfer); one that
// the OS does not give back within CGiveBackMs of a cancel is left to it
// rather than waited for under the lock.
//
// A read with an interval time-out runs in two steps: the first byte under
// the caller's time-outs, then the rest taken as it comes (what the input
// queue holds, read at once), until the interval passes without a byte, the
// buffer is full, or 50 ms have passed since the first byte. A steady stream
// never leaves an interval gap, so at 9600 baud a 1024-byte read would
// otherwise hold its bytes for over a second, and a one-second trial of the
// search would see none of them. (Wine ignores a total time-out while bytes
// keep coming, and its overlapped read with the "return at once" time-outs
// waits for a byte.) The second step makes progress inside WaitAny and
// GetResult of the thread that waits for the read.
#include "serial/CommDriver.h"

#include "platform/System.h"
#include "serial/CommDriver_win32.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

TWin32CommCalls& Win32CommCalls() {
    static TWin32CommCalls GCalls;
    return GCalls;
}

namespace {

// A read with an interval time-out hands over what it holds at the latest
// this long after its first byte.
constexpr uint64_t CMaxReadHoldMs = 50;
// How long a cancelled operation may take to end, under the driver's lock.
constexpr DWORD CGiveBackMs = 1000;

// The one place where Win32 errors become results.
TCommResult MapCommError(DWORD AError) {
    switch (AError) {
    case ERROR_IO_PENDING:
        return TCommResult::crIoPending;
    case ERROR_INVALID_HANDLE:
        return TCommResult::crInvalidHandle;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_PARAMETER:
        return TCommResult::crNotSupported;
    default:
        return TCommResult::crOther;
    }
}

// Every Win32 call of the driver that fails passes here with its error: the
// call is named on the OS debug output, and the error mapped. A transfer
// that goes on (ERROR_IO_PENDING) is no failure and says nothing.
TCommResult CallFailed(const char* ACall, DWORD AError) {
    const TCommResult LResult = MapCommError(AError);
    if (LResult != TCommResult::crIoPending)
        OutputDebugStr(Utf8ToUnicode(std::string("serial: ") + ACall + " failed, error " +
                                     std::to_string(AError)));
    return LResult;
}

// A call that gives a BOOL; false, and the failure said, when it fails.
bool Checked(BOOL AResult, const char* ACall) {
    if (!AResult)
        (void)CallFailed(ACall, ::GetLastError());
    return AResult != FALSE;
}

// The name the component hands over is "\\.\" and the port's name. The
// client's own device prefix for COM10 and above ("//./COM10") then sits
// behind it; the two collapse into one.
std::wstring DevicePath(const UnicodeString& AName) {
    static const UnicodeString CDevice = u"\\\\.\\";
    static const UnicodeString CSlashed = u"//./";
    UnicodeString LName = AName;
    while (LName.compare(0, CDevice.size(), CDevice) == 0 &&
           (LName.compare(CDevice.size(), CDevice.size(), CDevice) == 0 ||
            LName.compare(CDevice.size(), CSlashed.size(), CSlashed) == 0))
        LName.erase(0, CDevice.size());
    if (LName.compare(0, CSlashed.size(), CSlashed) == 0)
        LName.replace(0, CSlashed.size(), CDevice);
    return std::wstring(LName.begin(), LName.end());
}

enum class TOpKind { okNone, okRead, okWrite, okLine };

struct TPort;

// What the OS uses while an operation is in flight: the record (whose event
// it signals), a line-event wait's mask, the bytes a transfer reads into or
// writes from.
struct TOsOp {
    OVERLAPPED Ov{};
    DWORD Mask = 0;
    std::vector<uint8_t> Data;
};

// An operation the OS did not give back in time, with its event; freed once
// the OS has completed it.
struct TOrphan {
    std::unique_ptr<TOsOp> Os;
    HANDLE Event = nullptr;
};

// Ports and events are used from every thread of a component (its own, the
// read thread, the write thread). Each of their fields is read and written
// under the driver's FLock only; WaitAny waits on the event handles outside
// the lock, and an event is freed only by the thread that waits on it. While
// InFlight, the OS also writes the TOsOp, at any time.

// An event of the seam, with the operation last started on it. Event is
// also Os->Ov.hEvent.
struct TEventObj {
    HANDLE Event = nullptr;
    std::unique_ptr<TOsOp> Os = std::make_unique<TOsOp>();
    TOpKind Kind = TOpKind::okNone;
    bool Pending = false;  // started and not yet finished
    bool InFlight = false; // the OS holds an operation on Ov
    TPort* Port = nullptr;
    TCommResult Result = TCommResult::crOk;
    uint32_t Done = 0;
    // Reads.
    uint8_t* Buffer = nullptr;
    uint32_t Size = 0;
    bool FirstStep = false; // the first byte of a two-step read
    bool Taking = false;    // the second step: bytes taken as they come
    uint64_t Deadline = 0;  // the caller's total time-out; 0 none
    uint64_t FirstByte = 0, LastByte = 0, NextLook = 0;
    // The second step's reads, apart from the caller's event; TakeOs->Ov's
    // event is TakeEvent.
    HANDLE TakeEvent = nullptr;
    std::unique_ptr<TOsOp> TakeOs = std::make_unique<TOsOp>();
    // Line-event waits: the caller's word gets the mask when the wait has
    // completed.
    uint32_t* MaskOut = nullptr;
};

struct TPort {
    HANDLE File = INVALID_HANDLE_VALUE;
    TCommTimeouts Timeouts; // as the component set them
    COMMTIMEOUTS Applied{}; // what the port has now
    bool HasApplied = false;
    // Line errors that looking at the input queue cleared; the next
    // ClearError reports them.
    DWORD Errors = 0;
    // The line events asked for, put back after a cancelled wait.
    DWORD EventMask = 0;
    std::vector<TEventObj*> Pending;
};

class TWin32CommDriver : public TCommDriver {
public:
    THandle Open(const UnicodeString& AName) override;
    bool IsCharDevice(THandle APort) override;
    void Close(THandle APort) override;
    bool SetupQueues(THandle APort, uint32_t AInQueue, uint32_t AOutQueue) override;
    bool Purge(THandle APort, uint32_t AFlags) override;
    bool GetState(THandle APort, TCommState& AState) override;
    bool SetState(THandle APort, const TCommState& AState) override;
    bool SetTimeouts(THandle APort, const TCommTimeouts& ATimeouts) override;
    bool SetEventMask(THandle APort, uint32_t AMask) override;
    TCommResult ClearError(THandle APort, uint32_t& AErrors) override;
    bool GetModemStatus(THandle APort, uint32_t& AStatus) override;
    TCommResult Read(THandle APort, uint8_t* ABuffer, uint32_t ASize, uint32_t& ACount,
                     TOverlapped& AOv) override;
    TCommResult Write(THandle APort, const uint8_t* AData, uint32_t ASize, uint32_t& ACount,
                      TOverlapped& AOv) override;
    TCommResult WaitLineEvent(THandle APort, uint32_t& AMask, TOverlapped& AOv) override;
    TCommResult GetResult(THandle APort, TOverlapped& AOv, uint32_t& ACount, bool AWait) override;
    THandle NewEvent(bool ASignalled) override;
    void SetEvent(THandle AEvent) override;
    void ResetEvent(THandle AEvent) override;
    void FreeEvent(THandle AEvent) override;
    uint32_t WaitAny(uint32_t ACount, const THandle* AEvents, uint32_t ATimeoutMs) override;

private:
    TPort* Port(THandle AHandle) {
        auto* LPort = reinterpret_cast<TPort*>(AHandle);
        return FPorts.count(LPort) ? LPort : nullptr;
    }
    TEventObj* Event(THandle AHandle) {
        auto* LEvent = reinterpret_cast<TEventObj*>(AHandle);
        return FEvents.count(LEvent) ? LEvent : nullptr;
    }
    // Starts a new operation on AOv's event (the one still in flight there
    // is cancelled first); nullptr when the event is unknown.
    TEventObj* Begin(TPort& APort, TOverlapped& AOv, TOpKind AKind);
    // Cancels the operation in flight and waits (at most CGiveBackMs) until
    // the OS is done with it; it ends with ACancelled unless it had
    // completed already.
    void Cancel(TEventObj& AEvent, TCommResult ACancelled);
    static void CancelOs(HANDLE AFile, OVERLAPPED& AOv);
    // Waits at most CGiveBackMs for the OS to complete AOv; true when it has.
    static bool Ended(OVERLAPPED& AOv);
    // The outcome of a completed operation; a cancelled one is no failure
    // worth a word.
    static bool OsResult(HANDLE AFile, TOsOp& AOs, DWORD& ATransferred);
    // Leaves AOs and its event AEvent to the OS and puts new ones in their
    // place; Sweep frees them once the OS has completed the operation.
    void Orphan(std::unique_ptr<TOsOp>& AOs, HANDLE& AEvent);
    void Sweep();
    // Counts ATransferred bytes of the operation in; a read's go to the
    // caller's buffer.
    static void Land(TEventObj& AEvent, DWORD ATransferred);
    void Finish(TEventObj& AEvent, TCommResult AResult);
    // Collects a completed step: the read's second step is started, or the
    // operation finishes. Does nothing while the OS is still at it.
    void Collect(TEventObj& AEvent);
    void Advance(TEventObj& AEvent, DWORD ATransferred);
    // The second step of a read: takes what has come and finishes the read
    // when it is due.
    void Take(TEventObj& AEvent);
    // Issues one ReadFile step of ASize bytes of the read on AEvent.
    void IssueRead(TEventObj& AEvent, uint32_t ASize, uint32_t ATotalMs);
    void ApplyTimeouts(TPort& APort, uint32_t AInterval, uint32_t AMultiplier, uint32_t AConstant);
    static bool TwoStep(const TCommTimeouts& ATimeouts, uint32_t ASize) {
        return ASize > 1 && ATimeouts.ReadIntervalTimeout != 0 &&
               ATimeouts.ReadIntervalTimeout != MAXDWORD;
    }
    TCommResult Outcome(TEventObj& AEvent, uint32_t& ACount);

    std::mutex FLock;
    std::unordered_set<TPort*> FPorts;
    std::unordered_set<TEventObj*> FEvents;
    std::vector<TOrphan> FOrphans;
};

THandle TWin32CommDriver::Open(const UnicodeString& AName) {
    const std::wstring LPath = DevicePath(AName);
    const HANDLE LFile =
        ::CreateFileW(LPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (LFile == INVALID_HANDLE_VALUE) {
        (void)CallFailed("CreateFileW", ::GetLastError());
        return 0;
    }
    auto* LPort = new TPort;
    LPort->File = LFile;
    std::lock_guard<std::mutex> L(FLock);
    FPorts.insert(LPort);
    return reinterpret_cast<THandle>(LPort);
}

bool TWin32CommDriver::IsCharDevice(THandle APort) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort)
        return false;
    const DWORD LType = ::GetFileType(LPort->File);
    if (LType == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR)
        (void)CallFailed("GetFileType", ::GetLastError());
    return LType == FILE_TYPE_CHAR;
}

void TWin32CommDriver::Close(THandle APort) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort)
        return;
    while (!LPort->Pending.empty())
        Cancel(*LPort->Pending.front(), TCommResult::crInvalidHandle);
    (void)Checked(::CloseHandle(LPort->File), "CloseHandle");
    FPorts.erase(LPort);
    delete LPort;
    Sweep();
}

bool TWin32CommDriver::SetupQueues(THandle APort, uint32_t AInQueue, uint32_t AOutQueue) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    return LPort && Checked(::SetupComm(LPort->File, AInQueue, AOutQueue), "SetupComm");
}

bool TWin32CommDriver::Purge(THandle APort, uint32_t AFlags) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort)
        return false;
    const bool LPurged = Checked(::PurgeComm(LPort->File, AFlags), "PurgeComm");
    // Not every driver ends the operations it aborts; they are cancelled
    // here, so that none outlives the purge.
    std::vector<TEventObj*> LAbort;
    for (TEventObj* LEvent : LPort->Pending)
        if (((AFlags & PURGE_RXABORT) &&
             (LEvent->Kind == TOpKind::okRead || LEvent->Kind == TOpKind::okLine)) ||
            ((AFlags & PURGE_TXABORT) && LEvent->Kind == TOpKind::okWrite))
            LAbort.push_back(LEvent);
    for (TEventObj* LEvent : LAbort)
        Cancel(*LEvent, TCommResult::crOther);
    return LPurged;
}

bool TWin32CommDriver::GetState(THandle APort, TCommState& AState) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    DCB LDcb{};
    LDcb.DCBlength = sizeof LDcb;
    if (!LPort || !Checked(::GetCommState(LPort->File, &LDcb), "GetCommState"))
        return false;
    AState.BaudRate = LDcb.BaudRate;
    uint32_t LFlags = 0;
    if (LDcb.fBinary)
        LFlags |= CDcbBinary;
    if (LDcb.fParity)
        LFlags |= CDcbParity;
    if (LDcb.fOutxCtsFlow)
        LFlags |= CDcbOutxCtsFlow;
    if (LDcb.fOutxDsrFlow)
        LFlags |= CDcbOutxDsrFlow;
    LFlags |= (static_cast<uint32_t>(LDcb.fDtrControl) & 3u) << CDcbDtrControlShift;
    if (LDcb.fDsrSensitivity)
        LFlags |= CDcbDsrSensitivity;
    if (LDcb.fTXContinueOnXoff)
        LFlags |= CDcbTXContinueOnXoff;
    if (LDcb.fOutX)
        LFlags |= CDcbOutX;
    if (LDcb.fInX)
        LFlags |= CDcbInX;
    if (LDcb.fErrorChar)
        LFlags |= CDcbErrorChar;
    if (LDcb.fNull)
        LFlags |= CDcbNull;
    LFlags |= (static_cast<uint32_t>(LDcb.fRtsControl) & 3u) << CDcbRtsControlShift;
    if (LDcb.fAbortOnError)
        LFlags |= CDcbAbortOnError;
    AState.Flags = LFlags;
    AState.XonLim = LDcb.XonLim;
    AState.XoffLim = LDcb.XoffLim;
    AState.ByteSize = LDcb.ByteSize;
    AState.Parity = LDcb.Parity;
    AState.StopBits = LDcb.StopBits;
    AState.XonChar = LDcb.XonChar;
    AState.XoffChar = LDcb.XoffChar;
    AState.ErrorChar = LDcb.ErrorChar;
    AState.EofChar = LDcb.EofChar;
    AState.EvtChar = LDcb.EvtChar;
    return true;
}

bool TWin32CommDriver::SetState(THandle APort, const TCommState& AState) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort)
        return false;
    // What the state does not hold (the length, the reserved words) goes
    // back as the port has it.
    DCB LDcb{};
    LDcb.DCBlength = sizeof LDcb;
    if (!Checked(::GetCommState(LPort->File, &LDcb), "GetCommState")) {
        LDcb = DCB{};
        LDcb.DCBlength = sizeof LDcb;
    }
    const uint32_t F = AState.Flags;
    LDcb.BaudRate = AState.BaudRate;
    LDcb.fBinary = (F & CDcbBinary) != 0;
    LDcb.fParity = (F & CDcbParity) != 0;
    LDcb.fOutxCtsFlow = (F & CDcbOutxCtsFlow) != 0;
    LDcb.fOutxDsrFlow = (F & CDcbOutxDsrFlow) != 0;
    LDcb.fDtrControl = DcbDtrControl(F);
    LDcb.fDsrSensitivity = (F & CDcbDsrSensitivity) != 0;
    LDcb.fTXContinueOnXoff = (F & CDcbTXContinueOnXoff) != 0;
    LDcb.fOutX = (F & CDcbOutX) != 0;
    LDcb.fInX = (F & CDcbInX) != 0;
    LDcb.fErrorChar = (F & CDcbErrorChar) != 0;
    LDcb.fNull = (F & CDcbNull) != 0;
    LDcb.fRtsControl = DcbRtsControl(F);
    LDcb.fAbortOnError = (F & CDcbAbortOnError) != 0;
    LDcb.XonLim = AState.XonLim;
    LDcb.XoffLim = AState.XoffLim;
    LDcb.ByteSize = AState.ByteSize;
    LDcb.Parity = AState.Parity;
    LDcb.StopBits = AState.StopBits;
    LDcb.XonChar = AState.XonChar;
    LDcb.XoffChar = AState.XoffChar;
    LDcb.ErrorChar = AState.ErrorChar;
    LDcb.EofChar = AState.EofChar;
    LDcb.EvtChar = AState.EvtChar;
    return Checked(::SetCommState(LPort->File, &LDcb), "SetCommState");
}

void TWin32CommDriver::ApplyTimeouts(TPort& APort, uint32_t AInterval, uint32_t AMultiplier,
                                     uint32_t AConstant) {
    COMMTIMEOUTS LTo{};
    LTo.ReadIntervalTimeout = AInterval;
    LTo.ReadTotalTimeoutMultiplier = AMultiplier;
    LTo.ReadTotalTimeoutConstant = AConstant;
    LTo.WriteTotalTimeoutMultiplier = APort.Timeouts.WriteTotalTimeoutMultiplier;
    LTo.WriteTotalTimeoutConstant = APort.Timeouts.WriteTotalTimeoutConstant;
    const COMMTIMEOUTS& A = APort.Applied;
    if (APort.HasApplied && A.ReadIntervalTimeout == LTo.ReadIntervalTimeout &&
        A.ReadTotalTimeoutMultiplier == LTo.ReadTotalTimeoutMultiplier &&
        A.ReadTotalTimeoutConstant == LTo.ReadTotalTimeoutConstant &&
        A.WriteTotalTimeoutMultiplier == LTo.WriteTotalTimeoutMultiplier &&
        A.WriteTotalTimeoutConstant == LTo.WriteTotalTimeoutConstant)
        return;
    APort.HasApplied = Checked(::SetCommTimeouts(APort.File, &LTo), "SetCommTimeouts");
    APort.Applied = LTo;
}

bool TWin32CommDriver::SetTimeouts(THandle APort, const TCommTimeouts& ATimeouts) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort)
        return false;
    LPort->Timeouts = ATimeouts;
    COMMTIMEOUTS LTo{};
    LTo.ReadIntervalTimeout = ATimeouts.ReadIntervalTimeout;
    LTo.ReadTotalTimeoutMultiplier = ATimeouts.ReadTotalTimeoutMultiplier;
    LTo.ReadTotalTimeoutConstant = ATimeouts.ReadTotalTimeoutConstant;
    LTo.WriteTotalTimeoutMultiplier = ATimeouts.WriteTotalTimeoutMultiplier;
    LTo.WriteTotalTimeoutConstant = ATimeouts.WriteTotalTimeoutConstant;
    const bool LSet = Checked(::SetCommTimeouts(LPort->File, &LTo), "SetCommTimeouts");
    LPort->HasApplied = LSet;
    LPort->Applied = LTo;
    return LSet;
}

bool TWin32CommDriver::SetEventMask(THandle APort, uint32_t AMask) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort || !Checked(Win32CommCalls().SetCommMask(LPort->File, AMask), "SetCommMask"))
        return false;
    LPort->EventMask = AMask;
    return true;
}

TCommResult TWin32CommDriver::ClearError(THandle APort, uint32_t& AErrors) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort)
        return TCommResult::crInvalidHandle;
    DWORD LErrors = 0;
    if (!::ClearCommError(LPort->File, &LErrors, nullptr))
        return CallFailed("ClearCommError", ::GetLastError());
    AErrors = LErrors | LPort->Errors;
    LPort->Errors = 0;
    return TCommResult::crOk;
}

bool TWin32CommDriver::GetModemStatus(THandle APort, uint32_t& AStatus) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    DWORD LStatus = 0;
    if (!LPort || !Checked(::GetCommModemStatus(LPort->File, &LStatus), "GetCommModemStatus"))
        return false;
    AStatus = LStatus;
    return true;
}

TEventObj* TWin32CommDriver::Begin(TPort& APort, TOverlapped& AOv, TOpKind AKind) {
    TEventObj* LEvent = Event(AOv.hEvent);
    if (!LEvent)
        return nullptr;
    if (LEvent->Pending)
        Cancel(*LEvent, TCommResult::crOther);
    ::ResetEvent(LEvent->Event);
    LEvent->Os->Ov = OVERLAPPED{};
    LEvent->Os->Ov.hEvent = LEvent->Event;
    LEvent->Os->Mask = 0;
    LEvent->Kind = AKind;
    LEvent->Port = &APort;
    LEvent->Result = TCommResult::crOk;
    LEvent->Done = 0;
    LEvent->Buffer = nullptr;
    LEvent->Size = 0;
    LEvent->FirstStep = false;
    LEvent->Taking = false;
    LEvent->Deadline = 0;
    LEvent->MaskOut = nullptr;
    return LEvent;
}

void TWin32CommDriver::Finish(TEventObj& AEvent, TCommResult AResult) {
    if (AEvent.Pending && AEvent.Port) {
        auto& LList = AEvent.Port->Pending;
        LList.erase(std::remove(LList.begin(), LList.end(), &AEvent), LList.end());
    }
    AEvent.Pending = false;
    AEvent.InFlight = false;
    AEvent.Taking = false;
    AEvent.Result = AResult;
    if (AResult == TCommResult::crOk && AEvent.Kind == TOpKind::okLine && AEvent.MaskOut)
        *AEvent.MaskOut = AEvent.Os->Mask;
    // Whoever waits for the operation wakes, also when it failed.
    ::SetEvent(AEvent.Event);
}

void TWin32CommDriver::CancelOs(HANDLE AFile, OVERLAPPED& AOv) {
    if (!Win32CommCalls().CancelIoEx(AFile, &AOv) && ::GetLastError() != ERROR_NOT_FOUND)
        (void)CallFailed("CancelIoEx", ::GetLastError());
}

bool TWin32CommDriver::Ended(OVERLAPPED& AOv) {
    const uint64_t LEnd = ::GetTickCount64() + CGiveBackMs;
    bool LSaid = false;
    while (!HasOverlappedIoCompleted(&AOv)) {
        const uint64_t LNow = ::GetTickCount64();
        if (LNow >= LEnd)
            return false;
        const DWORD LWait = ::WaitForSingleObject(AOv.hEvent, static_cast<DWORD>(LEnd - LNow));
        if (LWait == WAIT_FAILED && !LSaid) {
            (void)CallFailed("WaitForSingleObject", ::GetLastError());
            LSaid = true;
        }
        // Only the OS signals the event of an operation in flight; if anyone
        // else did, or the wait failed, this is no busy loop.
        if (LWait != WAIT_TIMEOUT && !HasOverlappedIoCompleted(&AOv))
            ::Sleep(1);
    }
    return true;
}

void TWin32CommDriver::Orphan(std::unique_ptr<TOsOp>& AOs, HANDLE& AEvent) {
    // Whoever waits on the old event wakes and finds the operation finished.
    if (AEvent)
        ::SetEvent(AEvent);
    FOrphans.push_back({std::move(AOs), AEvent});
    AEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!AEvent)
        (void)CallFailed("CreateEventW", ::GetLastError());
    AOs = std::make_unique<TOsOp>();
    AOs->Ov.hEvent = AEvent;
}

void TWin32CommDriver::Sweep() {
    for (auto It = FOrphans.begin(); It != FOrphans.end();) {
        if (!HasOverlappedIoCompleted(&It->Os->Ov)) {
            ++It;
            continue;
        }
        if (It->Event)
            ::CloseHandle(It->Event);
        It = FOrphans.erase(It);
    }
}

bool TWin32CommDriver::OsResult(HANDLE AFile, TOsOp& AOs, DWORD& ATransferred) {
    ATransferred = 0;
    if (::GetOverlappedResult(AFile, &AOs.Ov, &ATransferred, FALSE))
        return true;
    const DWORD LError = ::GetLastError();
    if (LError != ERROR_OPERATION_ABORTED)
        (void)CallFailed("GetOverlappedResult", LError);
    return false;
}

void TWin32CommDriver::Cancel(TEventObj& AEvent, TCommResult ACancelled) {
    if (!AEvent.Pending)
        return;
    if (!AEvent.InFlight) {
        Finish(AEvent, AEvent.Done > 0 ? TCommResult::crOk : ACancelled);
        return;
    }
    TPort& LPort = *AEvent.Port;
    const bool LLine = AEvent.Kind == TOpKind::okLine;
    // A pending line-event wait ends when the mask changes: the documented
    // way, and on Wine's serial ports the only one (a cancel does not end it).
    if (LLine)
        (void)Checked(Win32CommCalls().SetCommMask(LPort.File, 0), "SetCommMask");
    CancelOs(LPort.File, AEvent.Os->Ov);
    const bool LEnded = Ended(AEvent.Os->Ov);
    AEvent.InFlight = false;
    DWORD LTransferred = 0;
    bool LDone = false;
    if (LEnded)
        LDone = OsResult(LPort.File, *AEvent.Os, LTransferred);
    else
        Orphan(AEvent.Os, AEvent.Event);
    if (LLine && LPort.EventMask != 0)
        (void)Checked(Win32CommCalls().SetCommMask(LPort.File, LPort.EventMask), "SetCommMask");
    // It completed before the cancel reached it: its bytes or events count.
    if (LDone && (LLine ? AEvent.Os->Mask != 0 : LTransferred > 0)) {
        Land(AEvent, LTransferred);
        Finish(AEvent, TCommResult::crOk);
        return;
    }
    Finish(AEvent, AEvent.Done > 0 ? TCommResult::crOk : ACancelled);
}

void TWin32CommDriver::Land(TEventObj& AEvent, DWORD ATransferred) {
    if (AEvent.Kind == TOpKind::okRead && ATransferred > 0)
        std::memcpy(AEvent.Buffer + AEvent.Done, AEvent.Os->Data.data(), ATransferred);
    AEvent.Done += ATransferred;
}

void TWin32CommDriver::IssueRead(TEventObj& AEvent, uint32_t ASize, uint32_t ATotalMs) {
    TPort& LPort = *AEvent.Port;
    const TCommTimeouts& T = LPort.Timeouts;
    if (AEvent.FirstStep)
        ApplyTimeouts(LPort, T.ReadIntervalTimeout, 0, ATotalMs);
    else
        ApplyTimeouts(LPort, T.ReadIntervalTimeout, T.ReadTotalTimeoutMultiplier,
                      T.ReadTotalTimeoutConstant);
    TOsOp& LOs = *AEvent.Os;
    LOs.Ov = OVERLAPPED{};
    LOs.Ov.hEvent = AEvent.Event;
    LOs.Data.resize(ASize);
    AEvent.Pending = true;
    LPort.Pending.push_back(&AEvent);
    DWORD LGot = 0;
    if (::ReadFile(LPort.File, LOs.Data.data(), ASize, &LGot, &LOs.Ov)) {
        Advance(AEvent, LGot);
        return;
    }
    const TCommResult LResult = CallFailed("ReadFile", ::GetLastError());
    if (LResult == TCommResult::crIoPending)
        AEvent.InFlight = true;
    else
        Finish(AEvent, LResult);
}

void TWin32CommDriver::Advance(TEventObj& AEvent, DWORD ATransferred) {
    AEvent.InFlight = false;
    Land(AEvent, ATransferred);
    if (AEvent.Kind == TOpKind::okRead && AEvent.FirstStep && AEvent.Done == 1 && AEvent.Size > 1) {
        // The first byte is in; the rest is taken as it comes. Whoever waits
        // for the read waits on until it is finished.
        AEvent.FirstStep = false;
        AEvent.Taking = true;
        AEvent.FirstByte = AEvent.LastByte = ::GetTickCount64();
        ::ResetEvent(AEvent.Event);
        Take(AEvent);
        return;
    }
    Finish(AEvent, TCommResult::crOk);
}

void TWin32CommDriver::Take(TEventObj& AEvent) {
    TPort& LPort = *AEvent.Port;
    if (!AEvent.TakeEvent) {
        AEvent.TakeEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!AEvent.TakeEvent)
            (void)CallFailed("CreateEventW", ::GetLastError());
    }
    if (!AEvent.TakeEvent) {
        Finish(AEvent, TCommResult::crOk); // what came so far
        return;
    }
    // What the input queue holds is read at once.
    DWORD LErrors = 0;
    COMSTAT LStat{};
    bool LRead = Checked(::ClearCommError(LPort.File, &LErrors, &LStat), "ClearCommError");
    LPort.Errors |= LErrors;
    DWORD LGot = 0;
    const DWORD LWanted = std::min<DWORD>(LStat.cbInQue, AEvent.Size - AEvent.Done);
    if (LRead && LWanted > 0) {
        ApplyTimeouts(LPort, MAXDWORD, 0, 0);
        TOsOp& LOs = *AEvent.TakeOs;
        LOs.Ov = OVERLAPPED{};
        LOs.Ov.hEvent = AEvent.TakeEvent;
        LOs.Data.resize(LWanted);
        LRead = ::ReadFile(LPort.File, LOs.Data.data(), LWanted, &LGot, &LOs.Ov);
        if (!LRead && CallFailed("ReadFile", ::GetLastError()) == TCommResult::crIoPending) {
            // The bytes are there; the read ends at once, or is given up.
            if (!Ended(LOs.Ov)) {
                CancelOs(LPort.File, LOs.Ov);
                if (!Ended(LOs.Ov))
                    Orphan(AEvent.TakeOs, AEvent.TakeEvent);
            }
            LRead = HasOverlappedIoCompleted(&LOs.Ov) && OsResult(LPort.File, LOs, LGot);
        }
        if (LRead && LGot > 0)
            std::memcpy(AEvent.Buffer + AEvent.Done, AEvent.TakeOs->Data.data(), LGot);
    }
    const uint64_t LNow = ::GetTickCount64();
    if (!LRead) {
        // The bytes so far are delivered; the next read meets the error.
        Finish(AEvent, TCommResult::crOk);
        return;
    }
    if (LGot > 0) {
        AEvent.Done += LGot;
        AEvent.LastByte = LNow;
    }
    const uint32_t LInterval = LPort.Timeouts.ReadIntervalTimeout;
    if (AEvent.Done >= AEvent.Size || LNow >= AEvent.LastByte + LInterval ||
        LNow >= AEvent.FirstByte + CMaxReadHoldMs ||
        (AEvent.Deadline != 0 && LNow >= AEvent.Deadline)) {
        Finish(AEvent, TCommResult::crOk);
        return;
    }
    // Bytes that come meanwhile lie closer together than the interval; the
    // end of the stream is seen within half an interval (the hand-over
    // within one and a half of the last byte).
    AEvent.NextLook = LNow + std::max<uint32_t>(1, LInterval / 2);
}

void TWin32CommDriver::Collect(TEventObj& AEvent) {
    if (!AEvent.Pending || !AEvent.InFlight)
        return;
    DWORD LTransferred = 0;
    if (::GetOverlappedResult(AEvent.Port->File, &AEvent.Os->Ov, &LTransferred, FALSE)) {
        Advance(AEvent, LTransferred);
        return;
    }
    const DWORD LError = ::GetLastError();
    if (LError == ERROR_IO_INCOMPLETE)
        return;
    Finish(AEvent, CallFailed("GetOverlappedResult", LError));
}

TCommResult TWin32CommDriver::Outcome(TEventObj& AEvent, uint32_t& ACount) {
    if (AEvent.Pending)
        return TCommResult::crIoPending;
    ACount = AEvent.Done;
    return AEvent.Result;
}

TCommResult TWin32CommDriver::Read(THandle APort, uint8_t* ABuffer, uint32_t ASize,
                                   uint32_t& ACount, TOverlapped& AOv) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort)
        return TCommResult::crInvalidHandle;
    TEventObj* LEvent = Begin(*LPort, AOv, TOpKind::okRead);
    if (!LEvent)
        return TCommResult::crOther;
    const TCommTimeouts& T = LPort->Timeouts;
    LEvent->Buffer = ABuffer;
    LEvent->Size = ASize;
    if (TwoStep(T, ASize)) {
        const uint64_t LTotal = static_cast<uint64_t>(T.ReadTotalTimeoutMultiplier) * ASize +
                                T.ReadTotalTimeoutConstant;
        const uint64_t LNow = ::GetTickCount64();
        LEvent->FirstStep = true;
        LEvent->Deadline = LTotal > 0 ? LNow + LTotal : 0;
        const uint32_t LFirstTotal =
            static_cast<uint32_t>(std::min<uint64_t>(LTotal, MAXDWORD - 1));
        IssueRead(*LEvent, 1, LFirstTotal);
    } else {
        IssueRead(*LEvent, ASize, 0);
    }
    return Outcome(*LEvent, ACount);
}

TCommResult TWin32CommDriver::Write(THandle APort, const uint8_t* AData, uint32_t ASize,
                                    uint32_t& ACount, TOverlapped& AOv) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort)
        return TCommResult::crInvalidHandle;
    TEventObj* LEvent = Begin(*LPort, AOv, TOpKind::okWrite);
    if (!LEvent)
        return TCommResult::crOther;
    LEvent->Pending = true;
    LPort->Pending.push_back(LEvent);
    LEvent->Os->Data.assign(AData, AData + ASize);
    DWORD LPut = 0;
    if (::WriteFile(LPort->File, LEvent->Os->Data.data(), ASize, &LPut, &LEvent->Os->Ov)) {
        Advance(*LEvent, LPut);
    } else {
        const TCommResult LResult = CallFailed("WriteFile", ::GetLastError());
        if (LResult == TCommResult::crIoPending)
            LEvent->InFlight = true;
        else
            Finish(*LEvent, LResult);
    }
    return Outcome(*LEvent, ACount);
}

TCommResult TWin32CommDriver::WaitLineEvent(THandle APort, uint32_t& AMask, TOverlapped& AOv) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort)
        return TCommResult::crInvalidHandle;
    TEventObj* LEvent = Begin(*LPort, AOv, TOpKind::okLine);
    if (!LEvent)
        return TCommResult::crOther;
    LEvent->MaskOut = &AMask;
    LEvent->Pending = true;
    LPort->Pending.push_back(LEvent);
    if (Win32CommCalls().WaitCommEvent(LPort->File, &LEvent->Os->Mask, &LEvent->Os->Ov)) {
        Finish(*LEvent, TCommResult::crOk);
    } else {
        const TCommResult LResult = CallFailed("WaitCommEvent", ::GetLastError());
        if (LResult == TCommResult::crIoPending)
            LEvent->InFlight = true;
        else
            Finish(*LEvent, LResult);
    }
    uint32_t LUnused = 0;
    return Outcome(*LEvent, LUnused);
}

TCommResult TWin32CommDriver::GetResult(THandle APort, TOverlapped& AOv, uint32_t& ACount,
                                        bool AWait) {
    (void)APort;
    {
        std::lock_guard<std::mutex> L(FLock);
        TEventObj* LEvent = Event(AOv.hEvent);
        if (!LEvent)
            return TCommResult::crOther;
        Collect(*LEvent);
        if (!LEvent->Pending) {
            ACount = LEvent->Done;
            return LEvent->Result;
        }
        // A read whose second step has just begun ends within the hold.
        if (!AWait && !(LEvent->Kind == TOpKind::okRead && LEvent->Done > 0))
            return TCommResult::crOther;
    }
    if (WaitAny(1, &AOv.hEvent, INFINITE) == WAIT_FAILED)
        return TCommResult::crOther;
    std::lock_guard<std::mutex> L(FLock);
    TEventObj* LEvent = Event(AOv.hEvent);
    if (!LEvent || LEvent->Pending)
        return TCommResult::crOther;
    ACount = LEvent->Done;
    return LEvent->Result;
}

THandle TWin32CommDriver::NewEvent(bool ASignalled) {
    const HANDLE LHandle = ::CreateEventW(nullptr, TRUE, ASignalled ? TRUE : FALSE, nullptr);
    if (!LHandle) {
        (void)CallFailed("CreateEventW", ::GetLastError());
        return 0;
    }
    auto* LEvent = new TEventObj;
    LEvent->Event = LHandle;
    LEvent->Os->Ov.hEvent = LHandle;
    std::lock_guard<std::mutex> L(FLock);
    FEvents.insert(LEvent);
    return reinterpret_cast<THandle>(LEvent);
}

void TWin32CommDriver::SetEvent(THandle AEvent) {
    std::lock_guard<std::mutex> L(FLock);
    if (TEventObj* LEvent = Event(AEvent))
        (void)Checked(::SetEvent(LEvent->Event), "SetEvent");
}

void TWin32CommDriver::ResetEvent(THandle AEvent) {
    std::lock_guard<std::mutex> L(FLock);
    if (TEventObj* LEvent = Event(AEvent))
        (void)Checked(::ResetEvent(LEvent->Event), "ResetEvent");
}

void TWin32CommDriver::FreeEvent(THandle AEvent) {
    std::lock_guard<std::mutex> L(FLock);
    TEventObj* LEvent = Event(AEvent);
    if (!LEvent)
        return;
    Cancel(*LEvent, TCommResult::crOther);
    if (LEvent->Event)
        (void)Checked(::CloseHandle(LEvent->Event), "CloseHandle");
    if (LEvent->TakeEvent)
        (void)Checked(::CloseHandle(LEvent->TakeEvent), "CloseHandle");
    FEvents.erase(LEvent);
    delete LEvent;
    Sweep();
}

uint32_t TWin32CommDriver::WaitAny(uint32_t ACount, const THandle* AEvents, uint32_t ATimeoutMs) {
    if (ACount == 0 || ACount > MAXIMUM_WAIT_OBJECTS)
        return WAIT_FAILED;
    const uint64_t LStart = ::GetTickCount64();
    HANDLE LHandles[MAXIMUM_WAIT_OBJECTS];
    for (;;) {
        uint64_t LLook = 0; // the earliest second step due; 0 none
        {
            std::lock_guard<std::mutex> L(FLock);
            for (uint32_t I = 0; I < ACount; ++I) {
                TEventObj* LEvent = Event(AEvents[I]);
                if (!LEvent)
                    return WAIT_FAILED;
                LHandles[I] = LEvent->Event;
                if (LEvent->Pending && LEvent->Taking && (LLook == 0 || LEvent->NextLook < LLook))
                    LLook = LEvent->NextLook;
            }
        }
        const uint64_t LNow = ::GetTickCount64();
        uint64_t LWait = INFINITE;
        if (ATimeoutMs != INFINITE)
            LWait = LNow - LStart >= ATimeoutMs ? 0 : ATimeoutMs - (LNow - LStart);
        const bool LLookFirst =
            LLook != 0 && (LWait == INFINITE || LLook - std::min(LLook, LNow) < LWait);
        if (LLookFirst)
            LWait = LLook > LNow ? LLook - LNow : 0;
        const DWORD LGot =
            ::WaitForMultipleObjects(ACount, LHandles, FALSE, static_cast<DWORD>(LWait));
        if (LGot == WAIT_TIMEOUT) {
            if (!LLookFirst)
                return WAIT_TIMEOUT;
            std::lock_guard<std::mutex> L(FLock);
            const uint64_t LAt = ::GetTickCount64();
            for (uint32_t I = 0; I < ACount; ++I) {
                TEventObj* LEvent = Event(AEvents[I]);
                if (LEvent && LEvent->Pending && LEvent->Taking && LAt >= LEvent->NextLook)
                    Take(*LEvent);
            }
            continue; // a read that finished is signalled now
        }
        if (LGot == WAIT_FAILED)
            (void)CallFailed("WaitForMultipleObjects", ::GetLastError());
        if (LGot == WAIT_FAILED || LGot >= WAIT_OBJECT_0 + ACount)
            return LGot; // failed, abandoned or anything else unexpected
        const uint32_t LIndex = LGot - WAIT_OBJECT_0;
        std::lock_guard<std::mutex> L(FLock);
        TEventObj* LEvent = Event(AEvents[LIndex]);
        if (!LEvent)
            return WAIT_FAILED;
        Collect(*LEvent);
        // A read that went on to its second step is waited for again.
        if (!LEvent->Pending)
            return LIndex;
    }
}

} // namespace

TCommDriver& SystemCommDriver() {
    static TWin32CommDriver GDriver;
    return GDriver;
}
