// The serial driver on Linux: termios (through termios2, so that any baud
// rate can be set), poll, eventfd. Overlapped operations are emulated: an
// operation that cannot finish at once stays attached to its record's event
// and makes progress inside WaitAny and GetResult of the thread that waits
// for it.
#include "serial/CommDriver.h"

#include "platform/System.h"
#include "serial/PortHolders_posix.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/serial.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace {

// How often a pending line-event wait looks at the driver's counters (only
// on ports that keep them).
constexpr uint64_t CLineEventPollMs = 50;
// A read with an interval time-out hands over what it holds at the latest this
// long after its first byte. A steady stream never leaves an interval gap, so
// at 9600 baud a 1024-byte read would hold its bytes for over a second, and a
// one-second trial of the search would see none of them.
constexpr uint64_t CMaxReadHoldMs = 50;

// While bytes flow into a read with an interval time-out, the line is looked
// at again only after half the interval, not at every byte: bytes that came
// in the meantime lie closer together than the interval, and the end of the
// stream is seen at most this late, so the read hands over within one and a
// half intervals of its last byte (15 ms with the search's 10 ms).
uint64_t IntervalLookMs(uint32_t AInterval) {
    return AInterval >= 2 ? AInterval / 2 : 1;
}

uint64_t NowMs() {
    timespec LTs{};
    clock_gettime(CLOCK_MONOTONIC, &LTs);
    return static_cast<uint64_t>(LTs.tv_sec) * 1000u +
           static_cast<uint64_t>(LTs.tv_nsec) / 1000000u;
}

// The one place where system errors become results.
TCommResult MapCommError(int AErrno) {
    switch (AErrno) {
    case EAGAIN:
    case EINPROGRESS:
        return TCommResult::crIoPending;
    case EBADF:
        return TCommResult::crInvalidHandle;
    default:
        return TCommResult::crOther;
    }
}

// Every system call of the driver that fails passes here with its errno: the
// call is named on the OS debug output, and the error mapped. "Try again"
// is no failure and says nothing.
TCommResult CallFailed(const std::string& ACall, int AErrno) {
    const TCommResult LResult = MapCommError(AErrno);
    if (LResult != TCommResult::crIoPending) {
        const char* LText = ::strerrordesc_np(AErrno);
        OutputDebugStr(Utf8ToUnicode("serial: " + ACall + " failed, errno " +
                                     std::to_string(AErrno) + " (" + (LText ? LText : "?") + ")"));
    }
    return LResult;
}

// An ioctl; false, and the failure said, when it fails.
template <class... TArg>
bool Ioctl(int AFd, unsigned long ARequest, const char* AName, TArg... AArg) {
    if (::ioctl(AFd, ARequest, AArg...) == 0)
        return true;
    (void)CallFailed(std::string("ioctl(") + AName + ")", errno);
    return false;
}

enum class TOpKind { okNone, okRead, okWrite, okLine };

struct TPort;

// Ports, events and their operations are used from every thread of a
// component (its own, the read thread, the write thread). Each of their
// fields is read and written under the driver's FLock only. WaitAny polls
// their descriptors outside the lock: an event is freed only by the thread
// that waits on it, a port only closed once the threads using it are joined.

// A pending operation lives in the event of its record.
struct TOp {
    TOpKind Kind = TOpKind::okNone;
    bool Pending = false;
    TCommResult Result = TCommResult::crOk;
    TPort* Port = nullptr;
    uint8_t* ReadBuf = nullptr;
    const uint8_t* WriteBuf = nullptr;
    uint32_t Size = 0;
    uint32_t Done = 0;
    uint32_t* MaskOut = nullptr;
    uint64_t Deadline = 0;      // 0: none
    uint64_t FirstByte = 0;     // read: when the first byte came
    uint64_t LastByte = 0;      // read: when the last byte came
    uint32_t Interval = 0;      // read: the interval time-out, 0 none
    uint64_t NextLook = 0;      // read: the line is left alone until then
    bool FirstByteOnly = false; // read: done at the first byte
};

struct TEventObj {
    int Fd = -1;
    bool Signalled = false;
    TOp Op;
};

struct TPort {
    int Fd = -1;
    TCommState State;
    TCommTimeouts Timeouts;
    uint32_t EventMask = 0;
    bool HasCounters = false;
    bool HungUp = false;
    serial_icounter_struct ErrBase{};
    serial_icounter_struct EvtBase{};
    std::vector<TEventObj*> Pending;
    // The line as it was found, put back at close.
    termios2 Found{};
    bool HasFound = false;
    bool OwnExcl = false; // we set the exclusive-use flag, so we clear it
};

// Standard rates keep their B constant, so that tools reading the line with
// the old termios calls see them; others go as BOTHER with the rate itself.
tcflag_t BaudConstant(uint32_t ARate) {
    static const struct {
        uint32_t Rate;
        tcflag_t Code;
    } CRates[] = {{50, B50},         {75, B75},         {110, B110},        {134, B134},
                  {150, B150},       {200, B200},       {300, B300},        {600, B600},
                  {1200, B1200},     {1800, B1800},     {2400, B2400},      {4800, B4800},
                  {9600, B9600},     {19200, B19200},   {38400, B38400},    {57600, B57600},
                  {115200, B115200}, {230400, B230400}, {460800, B460800},  {500000, B500000},
                  {576000, B576000}, {921600, B921600}, {1000000, B1000000}};
    for (const auto& LEntry : CRates)
        if (LEntry.Rate == ARate)
            return LEntry.Code;
    return BOTHER;
}

class TPosixCommDriver : public TCommDriver {
public:
    THandle Open(const UnicodeString& AName) override;
    bool IsCharDevice(THandle APort) override;
    void Close(THandle APort) override;
    bool SetupQueues(THandle APort, uint32_t, uint32_t) override { return Port(APort) != nullptr; }
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
    void Signal(TEventObj& AEvent);
    void Unsignal(TEventObj& AEvent);
    // Starts AOv's operation: the event reset, the op reset to AKind.
    TOp* Begin(TPort& APort, TOverlapped& AOv, TOpKind AKind);
    // Begin for a read or write; anything but crOk is the call's result.
    TCommResult StartTransfer(THandle APort, TOverlapped& AOv, TOpKind AKind, TPort*& APortObj,
                              TOp*& AOp);
    void Complete(TEventObj& AEvent, TCommResult AResult);
    void Progress(TEventObj& AEvent, short ARevents, uint64_t ANow);
    void ProgressRead(TEventObj& AEvent, short ARevents, uint64_t ANow);
    void ProgressWrite(TEventObj& AEvent, short ARevents, uint64_t ANow);
    void ProgressLine(TEventObj& AEvent);
    uint32_t LineEvents(TPort& APort);
    // Milliseconds until the op needs a look without I/O; -1 when never.
    static int64_t OpTimeout(const TOp& AOp, uint64_t ANow);

    std::mutex FLock;
    std::unordered_set<TPort*> FPorts;
    std::unordered_set<TEventObj*> FEvents;
};

THandle TPosixCommDriver::Open(const UnicodeString& AName) {
    // The Windows device prefix that the component puts in front of a name
    // means nothing here: "\\.\/dev/ttyUSB0" opens /dev/ttyUSB0.
    static const UnicodeString CPrefix = u"\\\\.\\";
    const bool LPrefixed = AName.compare(0, CPrefix.size(), CPrefix) == 0;
    const std::string LPath = UnicodeToUtf8(LPrefixed ? AName.substr(CPrefix.size()) : AName);
    const int LFd = ::open(LPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (LFd < 0) {
        (void)CallFailed("open " + LPath, errno);
        return 0;
    }
    // Exclusive: the advisory lock also holds against root, TIOCEXCL against
    // programs that do not lock.
    if (::flock(LFd, LOCK_EX | LOCK_NB) != 0) {
        (void)CallFailed("flock " + LPath, errno);
        ::close(LFd);
        return 0;
    }
    const bool LTerminal = ::isatty(LFd);
    // Another program's exclusive use holds also against root, who could
    // open the line regardless: the port is busy. A mark that no program
    // holds any more (left by one that was killed) protects nobody's use:
    // the port is taken over, and the mark cleared at its close.
    int LExcl = 0;
    if (LTerminal && Ioctl(LFd, TIOCGEXCL, "TIOCGEXCL", &LExcl) && LExcl != 0) {
        struct stat LStat {};
        TPortHolders LFound;
        LFound.Partial = ::fstat(LFd, &LStat) != 0;
        if (!LFound.Partial)
            LFound = FindPortHolders(LStat.st_rdev, LFd);
        if (!LFound.Holders.empty() || LFound.Partial) {
            (void)CallFailed("open " + LPath + " (" + ExclusiveUseReason(LFound) + ")", EBUSY);
            ::close(LFd);
            errno = EBUSY;
            return 0;
        }
    }
    auto* LPort = new TPort;
    LPort->Fd = LFd;
    if (LTerminal) {
        LPort->OwnExcl = Ioctl(LFd, TIOCEXCL, "TIOCEXCL");
        LPort->HasFound = Ioctl(LFd, TCGETS2, "TCGETS2", &LPort->Found);
        if (LPort->HasFound)
            LPort->State.BaudRate = LPort->Found.c_ospeed;
        // A pseudo-terminal keeps no counters.
        LPort->HasCounters = Ioctl(LFd, TIOCGICOUNT, "TIOCGICOUNT", &LPort->ErrBase);
        LPort->EvtBase = LPort->ErrBase;
    }
    std::lock_guard<std::mutex> L(FLock);
    FPorts.insert(LPort);
    return reinterpret_cast<THandle>(LPort);
}

bool TPosixCommDriver::IsCharDevice(THandle APort) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    struct stat LSt {};
    if (!LPort)
        return false;
    if (::fstat(LPort->Fd, &LSt) != 0) {
        (void)CallFailed("fstat", errno);
        return false;
    }
    if (!S_ISCHR(LSt.st_mode))
        return false;
    if (!::isatty(LPort->Fd)) {
        (void)CallFailed("isatty", errno);
        return false;
    }
    return true;
}

void TPosixCommDriver::Close(THandle APort) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort)
        return;
    while (!LPort->Pending.empty())
        Complete(*LPort->Pending.front(), TCommResult::crInvalidHandle);
    if (LPort->HasFound)
        (void)Ioctl(LPort->Fd, TCSETS2, "TCSETS2", &LPort->Found);
    if (LPort->OwnExcl)
        (void)Ioctl(LPort->Fd, TIOCNXCL, "TIOCNXCL"); // a pty keeps the flag past our close
    if (::close(LPort->Fd) != 0)
        (void)CallFailed("close", errno);
    FPorts.erase(LPort);
    delete LPort;
}

bool TPosixCommDriver::Purge(THandle APort, uint32_t AFlags) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort)
        return false;
    std::vector<TEventObj*> LAbort;
    for (TEventObj* LEvent : LPort->Pending) {
        const TOpKind LKind = LEvent->Op.Kind;
        if (((AFlags & PURGE_RXABORT) && (LKind == TOpKind::okRead || LKind == TOpKind::okLine)) ||
            ((AFlags & PURGE_TXABORT) && LKind == TOpKind::okWrite))
            LAbort.push_back(LEvent);
    }
    for (TEventObj* LEvent : LAbort)
        Complete(*LEvent, TCommResult::crOther);
    if (!::isatty(LPort->Fd))
        return true;
    bool LPurged = true;
    if (AFlags & PURGE_RXCLEAR)
        LPurged = Ioctl(LPort->Fd, TCFLSH, "TCFLSH", TCIFLUSH) && LPurged;
    if (AFlags & PURGE_TXCLEAR)
        LPurged = Ioctl(LPort->Fd, TCFLSH, "TCFLSH", TCOFLUSH) && LPurged;
    return LPurged;
}

bool TPosixCommDriver::GetState(THandle APort, TCommState& AState) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort)
        return false;
    if (!::isatty(LPort->Fd)) {
        (void)CallFailed("isatty", errno);
        return false;
    }
    AState = LPort->State;
    return true;
}

bool TPosixCommDriver::SetState(THandle APort, const TCommState& AState) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort)
        return false;
    termios2 LTio{};
    if (!Ioctl(LPort->Fd, TCGETS2, "TCGETS2", &LTio))
        return false;
    LTio.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    LTio.c_oflag &= ~OPOST;
    LTio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    LTio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | CIBAUD);
    LTio.c_cflag |= CREAD | CLOCAL | BaudConstant(AState.BaudRate);
    LTio.c_ispeed = LTio.c_ospeed = AState.BaudRate;
    static const tcflag_t CSizes[] = {CS5, CS6, CS7, CS8};
    LTio.c_cflag |= CSizes[AState.ByteSize >= 5 && AState.ByteSize <= 8 ? AState.ByteSize - 5 : 3];
    switch (AState.Parity) {
    case ODDPARITY:
        LTio.c_cflag |= PARENB | PARODD;
        break;
    case EVENPARITY:
        LTio.c_cflag |= PARENB;
        break;
    case MARKPARITY:
        LTio.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case SPACEPARITY:
        LTio.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (AState.Flags & CDcbParity)
        LTio.c_iflag |= INPCK;
    if (AState.StopBits != ONESTOPBIT)
        LTio.c_cflag |= CSTOPB; // 1.5 has no termios meaning; 2 is closest
    if ((AState.Flags & CDcbOutxCtsFlow) || DcbRtsControl(AState.Flags) == RTS_CONTROL_HANDSHAKE)
        LTio.c_cflag |= CRTSCTS;
    if (AState.Flags & CDcbOutX)
        LTio.c_iflag |= IXON;
    if (AState.Flags & CDcbInX)
        LTio.c_iflag |= IXOFF;
    LTio.c_cc[VSTART] = static_cast<cc_t>(AState.XonChar);
    LTio.c_cc[VSTOP] = static_cast<cc_t>(AState.XoffChar);
    LTio.c_cc[VMIN] = 1;
    LTio.c_cc[VTIME] = 0;
    if (!Ioctl(LPort->Fd, TCSETS2, "TCSETS2", &LTio))
        return false;
    // Modem lines where the port has them (a pseudo-terminal has none).
    const int LDtr = TIOCM_DTR, LRts = TIOCM_RTS;
    const uint32_t LDtrControl = DcbDtrControl(AState.Flags);
    if (LDtrControl == DTR_CONTROL_ENABLE || LDtrControl == DTR_CONTROL_HANDSHAKE)
        (void)Ioctl(LPort->Fd, TIOCMBIS, "TIOCMBIS", &LDtr);
    else
        (void)Ioctl(LPort->Fd, TIOCMBIC, "TIOCMBIC", &LDtr);
    const uint32_t LRtsControl = DcbRtsControl(AState.Flags);
    if (LRtsControl == RTS_CONTROL_ENABLE)
        (void)Ioctl(LPort->Fd, TIOCMBIS, "TIOCMBIS", &LRts);
    else if (LRtsControl == RTS_CONTROL_DISABLE)
        (void)Ioctl(LPort->Fd, TIOCMBIC, "TIOCMBIC", &LRts);
    // What has no termios meaning is kept, so that GetState gives it back.
    LPort->State = AState;
    return true;
}

bool TPosixCommDriver::SetTimeouts(THandle APort, const TCommTimeouts& ATimeouts) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort)
        return false;
    LPort->Timeouts = ATimeouts;
    return true;
}

bool TPosixCommDriver::SetEventMask(THandle APort, uint32_t AMask) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort)
        return false;
    LPort->EventMask = AMask;
    if (LPort->HasCounters)
        (void)Ioctl(LPort->Fd, TIOCGICOUNT, "TIOCGICOUNT", &LPort->EvtBase);
    return true;
}

TCommResult TPosixCommDriver::ClearError(THandle APort, uint32_t& AErrors) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort)
        return TCommResult::crInvalidHandle;
    AErrors = 0;
    serial_icounter_struct LNow{};
    if (!LPort->HasCounters || !Ioctl(LPort->Fd, TIOCGICOUNT, "TIOCGICOUNT", &LNow))
        return TCommResult::crOk;
    const serial_icounter_struct& LBase = LPort->ErrBase;
    if (LNow.frame != LBase.frame)
        AErrors |= CE_FRAME;
    if (LNow.parity != LBase.parity)
        AErrors |= CE_RXPARITY;
    if (LNow.overrun != LBase.overrun)
        AErrors |= CE_OVERRUN;
    if (LNow.buf_overrun != LBase.buf_overrun)
        AErrors |= CE_RXOVER;
    if (LNow.brk != LBase.brk)
        AErrors |= CE_BREAK;
    LPort->ErrBase = LNow;
    return TCommResult::crOk;
}

bool TPosixCommDriver::GetModemStatus(THandle APort, uint32_t& AStatus) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    int LBits = 0;
    if (!LPort || !Ioctl(LPort->Fd, TIOCMGET, "TIOCMGET", &LBits))
        return false;
    AStatus = ((LBits & TIOCM_CTS) ? MS_CTS_ON : 0) | ((LBits & TIOCM_DSR) ? MS_DSR_ON : 0) |
              ((LBits & TIOCM_RNG) ? MS_RING_ON : 0) | ((LBits & TIOCM_CAR) ? MS_RLSD_ON : 0);
    return true;
}

void TPosixCommDriver::Signal(TEventObj& AEvent) {
    if (AEvent.Signalled)
        return;
    AEvent.Signalled = true;
    const uint64_t LOne = 1;
    if (::write(AEvent.Fd, &LOne, sizeof LOne) < 0)
        (void)CallFailed("write(eventfd)", errno);
}

void TPosixCommDriver::Unsignal(TEventObj& AEvent) {
    if (!AEvent.Signalled)
        return;
    AEvent.Signalled = false;
    uint64_t LValue = 0;
    if (::read(AEvent.Fd, &LValue, sizeof LValue) < 0)
        (void)CallFailed("read(eventfd)", errno);
}

TOp* TPosixCommDriver::Begin(TPort& APort, TOverlapped& AOv, TOpKind AKind) {
    TEventObj* LEvent = Event(AOv.hEvent);
    if (!LEvent)
        return nullptr;
    if (LEvent->Op.Pending)
        Complete(*LEvent, TCommResult::crOther);
    Unsignal(*LEvent);
    LEvent->Op = TOp{};
    LEvent->Op.Kind = AKind;
    LEvent->Op.Port = &APort;
    return &LEvent->Op;
}

void TPosixCommDriver::Complete(TEventObj& AEvent, TCommResult AResult) {
    TOp& LOp = AEvent.Op;
    if (LOp.Pending && LOp.Port) {
        auto& LList = LOp.Port->Pending;
        for (auto It = LList.begin(); It != LList.end(); ++It)
            if (*It == &AEvent) {
                LList.erase(It);
                break;
            }
    }
    LOp.Pending = false;
    LOp.Port = nullptr;
    LOp.Result = AResult;
    Signal(AEvent);
}

TCommResult TPosixCommDriver::StartTransfer(THandle APort, TOverlapped& AOv, TOpKind AKind,
                                            TPort*& APortObj, TOp*& AOp) {
    APortObj = Port(APort);
    if (!APortObj)
        return TCommResult::crInvalidHandle;
    AOp = Begin(*APortObj, AOv, AKind);
    if (!AOp)
        return TCommResult::crOther;
    if (APortObj->HungUp) {
        Complete(*Event(AOv.hEvent), TCommResult::crOther);
        return TCommResult::crOther;
    }
    return TCommResult::crOk;
}

TCommResult TPosixCommDriver::Read(THandle APort, uint8_t* ABuffer, uint32_t ASize,
                                   uint32_t& ACount, TOverlapped& AOv) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = nullptr;
    TOp* LOp = nullptr;
    const TCommResult LStart = StartTransfer(APort, AOv, TOpKind::okRead, LPort, LOp);
    if (LStart != TCommResult::crOk)
        return LStart;
    TEventObj& LEvent = *Event(AOv.hEvent);
    LOp->ReadBuf = ABuffer;
    LOp->Size = ASize;
    const TCommTimeouts& T = LPort->Timeouts;
    const uint64_t LNow = NowMs();
    LOp->Pending = true;
    LPort->Pending.push_back(&LEvent);
    ProgressRead(LEvent, 0, LNow);
    if (LOp->Pending) {
        if (T.ReadIntervalTimeout == MAXDWORD && T.ReadTotalTimeoutMultiplier == 0 &&
            T.ReadTotalTimeoutConstant == 0) {
            Complete(LEvent, TCommResult::crOk); // return at once with what is there
        } else if (T.ReadIntervalTimeout == MAXDWORD && T.ReadTotalTimeoutMultiplier == MAXDWORD &&
                   T.ReadTotalTimeoutConstant != 0 && T.ReadTotalTimeoutConstant != MAXDWORD) {
            LOp->FirstByteOnly = true;
            LOp->Deadline = LNow + T.ReadTotalTimeoutConstant;
            if (LOp->Done > 0)
                Complete(LEvent, TCommResult::crOk);
        } else {
            const uint64_t LTotal = static_cast<uint64_t>(T.ReadTotalTimeoutMultiplier) * ASize +
                                    T.ReadTotalTimeoutConstant;
            if (LTotal > 0)
                LOp->Deadline = LNow + LTotal;
            LOp->Interval = T.ReadIntervalTimeout == MAXDWORD ? 0 : T.ReadIntervalTimeout;
        }
    }
    if (LOp->Pending)
        return TCommResult::crIoPending;
    ACount = LOp->Done;
    return LOp->Result;
}

void TPosixCommDriver::ProgressRead(TEventObj& AEvent, short ARevents, uint64_t ANow) {
    TOp& LOp = AEvent.Op;
    TPort& LPort = *LOp.Port;
    bool LGone = false;
    while (LOp.Done < LOp.Size) {
        const ssize_t LGot = ::read(LPort.Fd, LOp.ReadBuf + LOp.Done, LOp.Size - LOp.Done);
        if (LGot > 0) {
            if (LOp.Done == 0)
                LOp.FirstByte = ANow;
            const bool LShort = static_cast<uint32_t>(LGot) < LOp.Size - LOp.Done;
            LOp.Done += static_cast<uint32_t>(LGot);
            LOp.LastByte = ANow;
            LOp.NextLook = ANow + IntervalLookMs(LOp.Interval);
            // A terminal hands over all it holds: a short read emptied it.
            if (LShort)
                break;
            continue;
        }
        if (LGot < 0 && errno == EINTR)
            continue;
        // Zero bytes from a terminal, EIO and the like: the line has hung up.
        LGone = LGot == 0 || CallFailed("read", errno) != TCommResult::crIoPending;
        break;
    }
    if (!LGone && (ARevents & (POLLHUP | POLLERR | POLLNVAL)))
        LGone = true;
    if (LGone) {
        // Bytes already read are delivered; the next read reports the hang-up.
        LPort.HungUp = true;
        Complete(AEvent, LOp.Done > 0 ? TCommResult::crOk : TCommResult::crOther);
        return;
    }
    if (LOp.Done == LOp.Size || (LOp.FirstByteOnly && LOp.Done > 0) ||
        (LOp.Interval > 0 && LOp.Done > 0 &&
         (ANow >= LOp.LastByte + LOp.Interval || ANow >= LOp.FirstByte + CMaxReadHoldMs)) ||
        (LOp.Deadline != 0 && ANow >= LOp.Deadline))
        Complete(AEvent, TCommResult::crOk);
}

TCommResult TPosixCommDriver::Write(THandle APort, const uint8_t* AData, uint32_t ASize,
                                    uint32_t& ACount, TOverlapped& AOv) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = nullptr;
    TOp* LOp = nullptr;
    const TCommResult LStart = StartTransfer(APort, AOv, TOpKind::okWrite, LPort, LOp);
    if (LStart != TCommResult::crOk)
        return LStart;
    TEventObj& LEvent = *Event(AOv.hEvent);
    LOp->WriteBuf = AData;
    LOp->Size = ASize;
    const TCommTimeouts& T = LPort->Timeouts;
    const uint64_t LTotal =
        static_cast<uint64_t>(T.WriteTotalTimeoutMultiplier) * ASize + T.WriteTotalTimeoutConstant;
    const uint64_t LNow = NowMs();
    if (LTotal > 0)
        LOp->Deadline = LNow + LTotal;
    LOp->Pending = true;
    LPort->Pending.push_back(&LEvent);
    ProgressWrite(LEvent, 0, LNow);
    if (LOp->Pending)
        return TCommResult::crIoPending;
    ACount = LOp->Done;
    return LOp->Result;
}

void TPosixCommDriver::ProgressWrite(TEventObj& AEvent, short ARevents, uint64_t ANow) {
    TOp& LOp = AEvent.Op;
    TPort& LPort = *LOp.Port;
    while (LOp.Done < LOp.Size) {
        const ssize_t LPut = ::write(LPort.Fd, LOp.WriteBuf + LOp.Done, LOp.Size - LOp.Done);
        if (LPut > 0) {
            LOp.Done += static_cast<uint32_t>(LPut);
            continue;
        }
        if (LPut < 0 && errno == EINTR)
            continue;
        if (LPut < 0) {
            const TCommResult LResult = CallFailed("write", errno);
            if (LResult != TCommResult::crIoPending) {
                Complete(AEvent, LResult);
                return;
            }
        }
        break;
    }
    if (LOp.Done == LOp.Size || (LOp.Deadline != 0 && ANow >= LOp.Deadline)) {
        Complete(AEvent, TCommResult::crOk); // a short count tells the time-out
        return;
    }
    if (ARevents & (POLLHUP | POLLERR | POLLNVAL))
        Complete(AEvent, TCommResult::crOther);
}

uint32_t TPosixCommDriver::LineEvents(TPort& APort) {
    serial_icounter_struct LNow{};
    if (!APort.HasCounters || !Ioctl(APort.Fd, TIOCGICOUNT, "TIOCGICOUNT", &LNow))
        return 0;
    const serial_icounter_struct& LBase = APort.EvtBase;
    uint32_t LEvents = 0;
    if (LNow.frame != LBase.frame || LNow.parity != LBase.parity || LNow.overrun != LBase.overrun ||
        LNow.buf_overrun != LBase.buf_overrun || LNow.brk != LBase.brk)
        LEvents |= EV_ERR;
    if (LNow.dcd != LBase.dcd)
        LEvents |= EV_RLSD;
    if (LNow.rng != LBase.rng)
        LEvents |= EV_RING;
    if (LNow.cts != LBase.cts)
        LEvents |= EV_CTS;
    if (LNow.dsr != LBase.dsr)
        LEvents |= EV_DSR;
    APort.EvtBase = LNow;
    return LEvents & APort.EventMask;
}

TCommResult TPosixCommDriver::WaitLineEvent(THandle APort, uint32_t& AMask, TOverlapped& AOv) {
    std::lock_guard<std::mutex> L(FLock);
    TPort* LPort = Port(APort);
    if (!LPort)
        return TCommResult::crInvalidHandle;
    if (LPort->EventMask == 0)
        return TCommResult::crOther;
    TOp* LOp = Begin(*LPort, AOv, TOpKind::okLine);
    if (!LOp)
        return TCommResult::crOther;
    TEventObj& LEvent = *Event(AOv.hEvent);
    LOp->MaskOut = &AMask;
    LOp->Pending = true;
    LPort->Pending.push_back(&LEvent);
    ProgressLine(LEvent);
    if (LOp->Pending)
        return TCommResult::crIoPending;
    return LOp->Result;
}

void TPosixCommDriver::ProgressLine(TEventObj& AEvent) {
    const uint32_t LEvents = LineEvents(*AEvent.Op.Port);
    if (LEvents == 0)
        return;
    *AEvent.Op.MaskOut = LEvents;
    Complete(AEvent, TCommResult::crOk);
}

void TPosixCommDriver::Progress(TEventObj& AEvent, short ARevents, uint64_t ANow) {
    switch (AEvent.Op.Kind) {
    case TOpKind::okRead:
        ProgressRead(AEvent, ARevents, ANow);
        break;
    case TOpKind::okWrite:
        ProgressWrite(AEvent, ARevents, ANow);
        break;
    case TOpKind::okLine:
        ProgressLine(AEvent);
        break;
    case TOpKind::okNone:
        break;
    }
}

int64_t TPosixCommDriver::OpTimeout(const TOp& AOp, uint64_t ANow) {
    int64_t LWait = -1;
    auto LTake = [&](uint64_t AAt) {
        const int64_t LLeft = AAt > ANow ? static_cast<int64_t>(AAt - ANow) : 0;
        if (LWait < 0 || LLeft < LWait)
            LWait = LLeft;
    };
    if (AOp.Deadline != 0)
        LTake(AOp.Deadline);
    if (AOp.Kind == TOpKind::okRead && AOp.Interval > 0 && AOp.Done > 0) {
        LTake(AOp.LastByte + AOp.Interval);
        LTake(AOp.FirstByte + CMaxReadHoldMs);
        if (ANow < AOp.NextLook)
            LTake(AOp.NextLook);
    }
    if (AOp.Kind == TOpKind::okLine && AOp.Port->HasCounters)
        LTake(ANow + CLineEventPollMs);
    return LWait;
}

TCommResult TPosixCommDriver::GetResult(THandle APort, TOverlapped& AOv, uint32_t& ACount,
                                        bool AWait) {
    {
        std::lock_guard<std::mutex> L(FLock);
        TEventObj* LEvent = Event(AOv.hEvent);
        if (!LEvent)
            return TCommResult::crOther;
        if (LEvent->Op.Pending && !AWait)
            return TCommResult::crOther;
        if (!LEvent->Op.Pending) {
            ACount = LEvent->Op.Done;
            return LEvent->Op.Result;
        }
    }
    (void)APort;
    if (WaitAny(1, &AOv.hEvent, INFINITE) == WAIT_FAILED)
        return TCommResult::crOther;
    std::lock_guard<std::mutex> L(FLock);
    TEventObj* LEvent = Event(AOv.hEvent);
    if (!LEvent || LEvent->Op.Pending)
        return TCommResult::crOther;
    ACount = LEvent->Op.Done;
    return LEvent->Op.Result;
}

THandle TPosixCommDriver::NewEvent(bool ASignalled) {
    const int LFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (LFd < 0) {
        (void)CallFailed("eventfd", errno);
        return 0;
    }
    auto* LEvent = new TEventObj;
    LEvent->Fd = LFd;
    std::lock_guard<std::mutex> L(FLock);
    FEvents.insert(LEvent);
    if (ASignalled)
        Signal(*LEvent);
    return reinterpret_cast<THandle>(LEvent);
}

void TPosixCommDriver::SetEvent(THandle AEvent) {
    std::lock_guard<std::mutex> L(FLock);
    if (TEventObj* LEvent = Event(AEvent))
        Signal(*LEvent);
}

void TPosixCommDriver::ResetEvent(THandle AEvent) {
    std::lock_guard<std::mutex> L(FLock);
    if (TEventObj* LEvent = Event(AEvent))
        Unsignal(*LEvent);
}

void TPosixCommDriver::FreeEvent(THandle AEvent) {
    std::lock_guard<std::mutex> L(FLock);
    TEventObj* LEvent = Event(AEvent);
    if (!LEvent)
        return;
    if (LEvent->Op.Pending)
        Complete(*LEvent, TCommResult::crOther);
    if (::close(LEvent->Fd) != 0)
        (void)CallFailed("close(eventfd)", errno);
    FEvents.erase(LEvent);
    delete LEvent;
}

uint32_t TPosixCommDriver::WaitAny(uint32_t ACount, const THandle* AEvents, uint32_t ATimeoutMs) {
    const uint64_t LStart = NowMs();
    std::vector<pollfd> LFds;
    std::vector<TEventObj*> LWithOp; // the events whose op has a port entry in LFds
    for (;;) {
        LFds.clear();
        LWithOp.clear();
        int64_t LWait = -1;
        {
            std::lock_guard<std::mutex> L(FLock);
            const uint64_t LNow = NowMs();
            for (uint32_t I = 0; I < ACount; ++I) {
                TEventObj* LEvent = Event(AEvents[I]);
                if (!LEvent)
                    return WAIT_FAILED;
                if (LEvent->Signalled)
                    return WAIT_OBJECT_0 + I;
            }
            if (ATimeoutMs != INFINITE) {
                const uint64_t LEnd = LStart + ATimeoutMs;
                if (LNow >= LEnd)
                    return WAIT_TIMEOUT;
                LWait = static_cast<int64_t>(LEnd - LNow);
            }
            for (uint32_t I = 0; I < ACount; ++I) {
                TEventObj* LEvent = Event(AEvents[I]);
                LFds.push_back({LEvent->Fd, POLLIN, 0});
                const TOp& LOp = LEvent->Op;
                if (!LOp.Pending)
                    continue;
                const int64_t LOpWait = OpTimeout(LOp, LNow);
                if (LOpWait >= 0 && (LWait < 0 || LOpWait < LWait))
                    LWait = LOpWait;
                // A read between two looks leaves the line out of the poll.
                const bool LResting = LOp.Kind == TOpKind::okRead && LOp.Interval > 0 &&
                                      LOp.Done > 0 && LNow < LOp.NextLook;
                if ((LOp.Kind == TOpKind::okRead && !LResting) || LOp.Kind == TOpKind::okWrite) {
                    LFds.push_back(
                        {LOp.Port->Fd,
                         static_cast<short>(LOp.Kind == TOpKind::okRead ? POLLIN : POLLOUT), 0});
                }
                LWithOp.push_back(LEvent);
            }
        }
        const int LPolled = ::poll(LFds.data(), static_cast<nfds_t>(LFds.size()),
                                   LWait < 0 ? -1 : static_cast<int>(LWait));
        if (LPolled < 0 && errno != EINTR) {
            (void)CallFailed("poll", errno);
            return WAIT_FAILED;
        }
        std::lock_guard<std::mutex> L(FLock);
        const uint64_t LNow = NowMs();
        for (TEventObj* LEvent : LWithOp) {
            if (!FEvents.count(LEvent) || !LEvent->Op.Pending)
                continue;
            short LRevents = 0;
            for (const pollfd& LFd : LFds)
                if (LFd.fd == LEvent->Op.Port->Fd)
                    LRevents |= LFd.revents;
            Progress(*LEvent, LRevents, LNow);
        }
    }
}

} // namespace

TCommDriver& SystemCommDriver() {
    static TPosixCommDriver GDriver;
    return GDriver;
}
