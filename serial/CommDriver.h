// The operating-system layer under the serial component: ports, manual-reset
// events, overlapped-style transfers and waits. The read and write threads
// are written once against it; each OS has one backend file.
//
// The constants keep the values (and names) of the Windows serial API. A
// backend that includes the Windows headers includes them after this file.
#pragma once

#include "platform/Text.h"

#include <cstddef>
#include <cstdint>

// Port and event handles; 0 is no handle.
using THandle = uintptr_t;

constexpr uint32_t MAXDWORD = 0xFFFFFFFFu;
constexpr uint32_t INFINITE = 0xFFFFFFFFu;
constexpr uint32_t WAIT_OBJECT_0 = 0;
constexpr uint32_t WAIT_TIMEOUT = 0x102;
constexpr uint32_t WAIT_FAILED = 0xFFFFFFFFu;

// Line events.
constexpr uint32_t EV_RXCHAR = 0x0001;
constexpr uint32_t EV_CTS = 0x0008;
constexpr uint32_t EV_DSR = 0x0010;
constexpr uint32_t EV_RLSD = 0x0020;
constexpr uint32_t EV_ERR = 0x0080;
constexpr uint32_t EV_RING = 0x0100;

// Line errors.
constexpr uint32_t CE_RXOVER = 0x0001;
constexpr uint32_t CE_OVERRUN = 0x0002;
constexpr uint32_t CE_RXPARITY = 0x0004;
constexpr uint32_t CE_FRAME = 0x0008;
constexpr uint32_t CE_BREAK = 0x0010;

// Modem status.
constexpr uint32_t MS_CTS_ON = 0x0010;
constexpr uint32_t MS_DSR_ON = 0x0020;
constexpr uint32_t MS_RING_ON = 0x0040;
constexpr uint32_t MS_RLSD_ON = 0x0080;

// Purge.
constexpr uint32_t PURGE_TXABORT = 0x0001;
constexpr uint32_t PURGE_RXABORT = 0x0002;
constexpr uint32_t PURGE_TXCLEAR = 0x0004;
constexpr uint32_t PURGE_RXCLEAR = 0x0008;

// Line state values.
constexpr uint8_t NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2, MARKPARITY = 3, SPACEPARITY = 4;
constexpr uint8_t ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2;
constexpr uint32_t DTR_CONTROL_DISABLE = 0, DTR_CONTROL_ENABLE = 1, DTR_CONTROL_HANDSHAKE = 2;
constexpr uint32_t RTS_CONTROL_DISABLE = 0, RTS_CONTROL_ENABLE = 1, RTS_CONTROL_HANDSHAKE = 2,
                   RTS_CONTROL_TOGGLE = 3;

// The line state, laid out as the Windows DCB; Flags packs its bit fields.
struct TCommState {
    uint32_t BaudRate = 0;
    uint32_t Flags = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 8;
    uint8_t Parity = NOPARITY;
    uint8_t StopBits = ONESTOPBIT;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
};

// Bits and fields of TCommState::Flags.
constexpr uint32_t CDcbBinary = 1u << 0;
constexpr uint32_t CDcbParity = 1u << 1;
constexpr uint32_t CDcbOutxCtsFlow = 1u << 2;
constexpr uint32_t CDcbOutxDsrFlow = 1u << 3;
constexpr uint32_t CDcbDtrControlShift = 4; // two bits
constexpr uint32_t CDcbDsrSensitivity = 1u << 6;
constexpr uint32_t CDcbTXContinueOnXoff = 1u << 7;
constexpr uint32_t CDcbOutX = 1u << 8;
constexpr uint32_t CDcbInX = 1u << 9;
constexpr uint32_t CDcbErrorChar = 1u << 10;
constexpr uint32_t CDcbNull = 1u << 11;
constexpr uint32_t CDcbRtsControlShift = 12; // two bits
constexpr uint32_t CDcbAbortOnError = 1u << 14;

inline uint32_t DcbDtrControl(uint32_t AFlags) {
    return (AFlags >> CDcbDtrControlShift) & 3u;
}
inline uint32_t DcbRtsControl(uint32_t AFlags) {
    return (AFlags >> CDcbRtsControlShift) & 3u;
}

struct TCommTimeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

// One transfer or line-event wait in flight; zeroed and given its own event
// by the caller. The event is signalled when the operation completes.
struct TOverlapped {
    THandle hEvent = 0;
};

// The outcome of an operation, with the errors the threads tell apart.
enum class TCommResult {
    crOk,            // done
    crIoPending,     // started, completes later (ERROR_IO_PENDING)
    crInvalidHandle, // the port was closed under it (ERROR_INVALID_HANDLE)
    crNotSupported,  // the port cannot do it (ERROR_NOT_SUPPORTED, ERROR_INVALID_PARAMETER)
    crOther          // any other failure
};

// A data block handed from one thread to another: zero-filled, released with
// FreeCommBlock (also by whoever drops it).
void FreeCommBlock(uint8_t* ABlock);
// Blocks allocated and not yet released, process-wide (for leak checks).
size_t LiveCommBlocks();

class TCommDriver {
public:
    virtual ~TCommDriver() = default;

    // Ports. Open is exclusive; 0 when the port is absent or already open.
    virtual THandle Open(const UnicodeString& AName) = 0;
    virtual bool IsCharDevice(THandle APort) = 0;
    virtual void Close(THandle APort) = 0;
    virtual bool SetupQueues(THandle APort, uint32_t AInQueue, uint32_t AOutQueue) = 0;
    // Flushes and/or aborts (PURGE_ flags); an aborted operation completes
    // with crOther and signals its event.
    virtual bool Purge(THandle APort, uint32_t AFlags) = 0;
    virtual bool GetState(THandle APort, TCommState& AState) = 0;
    virtual bool SetState(THandle APort, const TCommState& AState) = 0;
    virtual bool SetTimeouts(THandle APort, const TCommTimeouts& ATimeouts) = 0;
    virtual bool SetEventMask(THandle APort, uint32_t AMask) = 0;
    // Returns and clears the line errors (CE_ flags).
    virtual TCommResult ClearError(THandle APort, uint32_t& AErrors) = 0;
    virtual bool GetModemStatus(THandle APort, uint32_t& AStatus) = 0;

    // Transfers: crOk when done at once (ACount set), crIoPending when the
    // operation goes on and signals AOv.hEvent once done.
    virtual TCommResult Read(THandle APort, uint8_t* ABuffer, uint32_t ASize, uint32_t& ACount,
                             TOverlapped& AOv) = 0;
    virtual TCommResult Write(THandle APort, const uint8_t* AData, uint32_t ASize, uint32_t& ACount,
                              TOverlapped& AOv) = 0;
    virtual TCommResult WaitLineEvent(THandle APort, uint32_t& AMask, TOverlapped& AOv) = 0;
    // The result of the operation behind AOv; with AWait false an operation
    // still going gives crOther.
    virtual TCommResult GetResult(THandle APort, TOverlapped& AOv, uint32_t& ACount,
                                  bool AWait) = 0;

    // Manual-reset events; NewEvent gives 0 when it fails.
    virtual THandle NewEvent(bool ASignalled) = 0;
    virtual void SetEvent(THandle AEvent) = 0;
    virtual void ResetEvent(THandle AEvent) = 0;
    virtual void FreeEvent(THandle AEvent) = 0;
    // Waits until one of the events is signalled: the lowest signalled index,
    // WAIT_TIMEOUT, or WAIT_FAILED. ATimeoutMs may be INFINITE.
    virtual uint32_t WaitAny(uint32_t ACount, const THandle* AEvents, uint32_t ATimeoutMs) = 0;

    // A zero-filled block of ASize bytes, or nullptr.
    virtual uint8_t* AllocBlock(size_t ASize);
    // Throws when the platform cannot create another thread (read thread
    // first, then write thread).
    virtual void ReserveThread(bool AWriteThread) { (void)AWriteThread; }
};

// The driver of this platform (backend file).
TCommDriver& SystemCommDriver();
