// The serial port component: line settings as properties, StartComm/StopComm,
// and events raised on the thread that created it.
#pragma once

#include "platform/Events.h"
#include "platform/MessageLoop.h"
#include "platform/Object.h"
#include "serial/CommDriver.h"

#include <atomic>
#include <memory>

class TReadThread;
class TWriteThread;

enum class TParity : uint8_t { None, Odd, Even, Mark, Space };
enum class TStopBits : uint8_t { _1, _1_5, _2 };
enum class TByteSize : uint8_t { _5, _6, _7, _8 };
enum class TDtrControl : uint8_t { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl : uint8_t { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };

// Messages of the hidden window (and, PWM_COMMWRITE, of the write thread).
constexpr uint32_t PWM_GOTCOMMDATA = CWmUser + 1;
constexpr uint32_t PWM_RECEIVEERROR = CWmUser + 2;
constexpr uint32_t PWM_REQUESTHANGUP = CWmUser + 3;
constexpr uint32_t PWM_MODEMSTATECHANGE = CWmUser + 4;
constexpr uint32_t PWM_SENDDATAEMPTY = CWmUser + 5;
constexpr uint32_t PWM_COMMWRITE = CWmUser + 1;

// Modem event bits.
constexpr uint32_t ME_CTS = 1;
constexpr uint32_t ME_DSR = 2;
constexpr uint32_t ME_RING = 4;
constexpr uint32_t ME_RLSD = 8;

constexpr uint32_t INPUTBUFFERSIZE = 1024;

using TReceiveDataEvent =
    TEvent<void(TObject* Sender, const uint8_t* Buffer, uint16_t BufferLength)>;
using TReceiveErrorEvent = TEvent<void(TObject* Sender, uint32_t EventMask)>;
using TModemStateChangeEvent = TEvent<void(TObject* Sender, uint32_t ModemEvent)>;
using TSendDataEmptyEvent = TEvent<void(TObject* Sender)>;

class ECommsError : public Exception {
    SP_CLASS(ECommsError, Exception)
public:
    using Exception::Exception;
};

// "\\.\" in front of a port name that does not hold it yet, colons removed.
UnicodeString NormalizedCommName(const UnicodeString& ACommName);

// Releases the data block of a PWM_GOTCOMMDATA message that was dropped.
void ReleaseCommDataMessage(const TMessage& AMsg);

class TComm : public TObject {
    SP_CLASS(TComm, TObject)
public:
    // The owner is not used. Needs a message loop on the calling thread;
    // every event is raised on that thread.
    explicit TComm(TObject* AOwner = nullptr);
    TComm(TObject* AOwner, TCommDriver& ADriver);
    // Closes an open port first.
    ~TComm() override;
    TComm(const TComm&) = delete;
    TComm& operator=(const TComm&) = delete;

    void StartComm();
    void StopComm();
    bool WriteCommData(const uint8_t* pDataToWrite, uint16_t dwSizeofDataToWrite);
    uint32_t GetModemState();

    THandle ComHandle() const { return hCommFile; }
    THandle Handle() const { return hCommFile; }
    bool Connected() const { return hCommFile != 0; }
    bool SendDataEmpty() const { return FSendDataEmpty.load(); }

    const UnicodeString& CommName() const { return FCommName; }
    void SetCommName(const UnicodeString& AValue);
    uint32_t BaudRate() const { return FBaudRate; }
    void SetBaudRate(uint32_t AValue) { SetStateField(FBaudRate, AValue); }
    bool ParityCheck() const { return FParityCheck; }
    void SetParityCheck(bool AValue) { SetStateField(FParityCheck, AValue); }
    bool Outx_CtsFlow() const { return FOutx_CtsFlow; }
    void SetOutx_CtsFlow(bool AValue) { SetStateField(FOutx_CtsFlow, AValue); }
    bool Outx_DsrFlow() const { return FOutx_DsrFlow; }
    void SetOutx_DsrFlow(bool AValue) { SetStateField(FOutx_DsrFlow, AValue); }
    TDtrControl DtrControl() const { return FDtrControl; }
    void SetDtrControl(TDtrControl AValue) { SetStateField(FDtrControl, AValue); }
    bool DsrSensitivity() const { return FDsrSensitivity; }
    void SetDsrSensitivity(bool AValue) { SetStateField(FDsrSensitivity, AValue); }
    bool TxContinueOnXoff() const { return FTxContinueOnXoff; }
    void SetTxContinueOnXoff(bool AValue) { SetStateField(FTxContinueOnXoff, AValue); }
    bool Outx_XonXoffFlow() const { return FOutx_XonXoffFlow; }
    void SetOutx_XonXoffFlow(bool AValue) { SetStateField(FOutx_XonXoffFlow, AValue); }
    bool Inx_XonXoffFlow() const { return FInx_XonXoffFlow; }
    void SetInx_XonXoffFlow(bool AValue) { SetStateField(FInx_XonXoffFlow, AValue); }
    bool ReplaceWhenParityError() const { return FReplaceWhenParityError; }
    void SetReplaceWhenParityError(bool AValue) { SetStateField(FReplaceWhenParityError, AValue); }
    bool IgnoreNullChar() const { return FIgnoreNullChar; }
    void SetIgnoreNullChar(bool AValue) { SetStateField(FIgnoreNullChar, AValue); }
    TRtsControl RtsControl() const { return FRtsControl; }
    void SetRtsControl(TRtsControl AValue) { SetStateField(FRtsControl, AValue); }
    uint16_t XonLimit() const { return FXonLimit; }
    void SetXonLimit(uint16_t AValue) { SetStateField(FXonLimit, AValue); }
    uint16_t XoffLimit() const { return FXoffLimit; }
    void SetXoffLimit(uint16_t AValue) { SetStateField(FXoffLimit, AValue); }
    TByteSize ByteSize() const { return FByteSize; }
    void SetByteSize(TByteSize AValue) { SetStateField(FByteSize, AValue); }
    TParity Parity() const { return FParity; }
    // Stores only; the line takes it at the next re-application.
    void SetParity(TParity AValue) { FParity = AValue; }
    TStopBits StopBits() const { return FStopBits; }
    void SetStopBits(TStopBits AValue) { SetStateField(FStopBits, AValue); }
    char XonChar() const { return FXonChar; }
    void SetXonChar(char AValue) { SetStateField(FXonChar, AValue); }
    char XoffChar() const { return FXoffChar; }
    void SetXoffChar(char AValue) { SetStateField(FXoffChar, AValue); }
    char ReplacedChar() const { return FReplacedChar; }
    void SetReplacedChar(char AValue) { SetStateField(FReplacedChar, AValue); }

    uint32_t ReadIntervalTimeout() const { return FReadIntervalTimeout; }
    void SetReadIntervalTimeout(uint32_t AValue) { SetTimeoutField(FReadIntervalTimeout, AValue); }
    uint32_t ReadTotalTimeoutMultiplier() const { return FReadTotalTimeoutMultiplier; }
    void SetReadTotalTimeoutMultiplier(uint32_t AValue) {
        SetTimeoutField(FReadTotalTimeoutMultiplier, AValue);
    }
    uint32_t ReadTotalTimeoutConstant() const { return FReadTotalTimeoutConstant; }
    void SetReadTotalTimeoutConstant(uint32_t AValue) {
        SetTimeoutField(FReadTotalTimeoutConstant, AValue);
    }
    uint32_t WriteTotalTimeoutMultiplier() const { return FWriteTotalTimeoutMultiplier; }
    void SetWriteTotalTimeoutMultiplier(uint32_t AValue) {
        SetTimeoutField(FWriteTotalTimeoutMultiplier, AValue);
    }
    uint32_t WriteTotalTimeoutConstant() const { return FWriteTotalTimeoutConstant; }
    void SetWriteTotalTimeoutConstant(uint32_t AValue) {
        SetTimeoutField(FWriteTotalTimeoutConstant, AValue);
    }

    const TReceiveDataEvent& OnReceiveData() const { return FOnReceiveData; }
    void SetOnReceiveData(TReceiveDataEvent AValue) { FOnReceiveData = std::move(AValue); }
    const TNotifyEvent& OnRequestHangup() const { return FOnRequestHangup; }
    void SetOnRequestHangup(TNotifyEvent AValue) { FOnRequestHangup = std::move(AValue); }
    const TReceiveErrorEvent& OnReceiveError() const { return FOnReceiveError; }
    void SetOnReceiveError(TReceiveErrorEvent AValue) { FOnReceiveError = std::move(AValue); }
    const TModemStateChangeEvent& OnModemStateChange() const { return FOnModemStateChange; }
    void SetOnModemStateChange(TModemStateChangeEvent AValue) {
        FOnModemStateChange = std::move(AValue);
    }
    const TSendDataEmptyEvent& OnSendDataEmpty() const { return FOnSendDataEmpty; }
    void SetOnSendDataEmpty(TSendDataEmptyEvent AValue) { FOnSendDataEmpty = std::move(AValue); }

    // The hidden window, for tests that fill its queue.
    TMessageWindow& HiddenWindow() { return *FHWnd; }

private:
    template <class T> void SetStateField(T& AField, T AValue) {
        if (AField == AValue)
            return;
        AField = AValue;
        if (hCommFile != 0)
            _SetCommState();
    }
    void SetTimeoutField(uint32_t& AField, uint32_t AValue) {
        if (AField == AValue)
            return;
        AField = AValue;
        if (hCommFile != 0)
            _SetCommTimeout();
    }

    void _SetCommState();
    void _SetCommTimeout();
    void CloseReadThread();
    void CloseWriteThread();
    // Closes what a failed StartComm opened and raises AMessage.
    [[noreturn]] void FailStart(const char16_t* AMessage, bool ACloseEvent);

    void CommWndProc(TMessage& Msg);
    void ReceiveData(const uint8_t* Buffer, uint16_t BufferLength);
    void ReceiveError(uint32_t EvtMask);
    void ModemStateChange(uint32_t ModemEvent);
    void RequestHangup();
    void _SendDataEmpty();

    // Shared with both threads; it serialises its calls itself.
    TCommDriver& FDriver;
    // The owning thread alone writes and reads these two; the threads never
    // look at them.
    std::unique_ptr<TReadThread> ReadThread;
    std::unique_ptr<TWriteThread> WriteThread;
    // Written by the owning thread only: StartComm sets both before it starts
    // the threads, which get copies; StopComm closes them after it has joined
    // both threads.
    THandle hCommFile = 0;
    THandle hCloseEvent = 0;
    // Made and destroyed by the owning thread; the threads only post to its
    // handle, which stays valid (posts fail) even after the window is gone.
    std::unique_ptr<TMessageWindow> FHWnd;
    // Written by the owning thread (StartComm, WriteCommData, CloseWriteThread)
    // and by the write thread (through pFSendDataEmpty) at any time; either
    // may read it at any time. Each store is one atomic store, no lock.
    std::atomic<bool> FSendDataEmpty{true};
    // Everything below: the owning thread only. The threads see the settings
    // only as the driver applied them to the port.
    UnicodeString FCommName = u"COM2";
    uint32_t FBaudRate = 9600;
    bool FParityCheck = false;
    bool FOutx_CtsFlow = true;
    bool FOutx_DsrFlow = true;
    TDtrControl FDtrControl = TDtrControl::DtrEnable;
    bool FDsrSensitivity = false;
    bool FTxContinueOnXoff = true;
    bool FOutx_XonXoffFlow = false;
    bool FInx_XonXoffFlow = false;
    bool FReplaceWhenParityError = false;
    bool FIgnoreNullChar = false;
    TRtsControl FRtsControl = TRtsControl::RtsEnable;
    uint16_t FXonLimit = 10;
    uint16_t FXoffLimit = 10;
    TByteSize FByteSize = TByteSize::_8;
    TParity FParity = TParity::None;
    TStopBits FStopBits = TStopBits::_1;
    char FXonChar = 17;
    char FXoffChar = 19;
    char FReplacedChar = 0;
    uint32_t FReadIntervalTimeout = 10;
    uint32_t FReadTotalTimeoutMultiplier = 0;
    uint32_t FReadTotalTimeoutConstant = 0;
    uint32_t FWriteTotalTimeoutMultiplier = 0;
    uint32_t FWriteTotalTimeoutConstant = 0;
    TReceiveDataEvent FOnReceiveData;
    TNotifyEvent FOnRequestHangup;
    TReceiveErrorEvent FOnReceiveError;
    TModemStateChangeEvent FOnModemStateChange;
    TSendDataEmptyEvent FOnSendDataEmpty;
};
