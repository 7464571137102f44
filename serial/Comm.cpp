#include "serial/Comm.h"

#include "serial/ReadThread.h"
#include "serial/WriteThread.h"

#include <cstring>

UnicodeString NormalizedCommName(const UnicodeString& ACommName) {
    static const UnicodeString CPrefix = u"\\\\.\\";
    if (ACommName.find(CPrefix) != UnicodeString::npos)
        return ACommName;
    UnicodeString LName;
    for (char16_t LChar : ACommName)
        if (LChar != u':')
            LName += LChar;
    return CPrefix + LName;
}

void ReleaseCommDataMessage(const TMessage& AMsg) {
    if (AMsg.Msg == PWM_GOTCOMMDATA)
        FreeCommBlock(reinterpret_cast<uint8_t*>(AMsg.LParam));
}

TComm::TComm(TObject* AOwner) : TComm(AOwner, SystemCommDriver()) {}

TComm::TComm(TObject* AOwner, TCommDriver& ADriver) : FDriver(ADriver) {
    (void)AOwner;
    FHWnd = std::make_unique<TMessageWindow>([this](TMessage& AMsg) { CommWndProc(AMsg); });
}

TComm::~TComm() {
    StopComm();
    // Messages still queued are dropped with the window, their blocks released.
    std::unique_ptr<TMessageWindow> LWnd = std::move(FHWnd);
    LWnd.reset();
}

void TComm::SetCommName(const UnicodeString& AValue) {
    if (AValue != FCommName)
        FCommName = NormalizedCommName(AValue);
}

void TComm::FailStart(const char16_t* AMessage, bool ACloseEvent) {
    if (ACloseEvent && hCloseEvent != 0) {
        FDriver.FreeEvent(hCloseEvent);
        hCloseEvent = 0;
    }
    const THandle LPort = hCommFile;
    hCommFile = 0;
    FDriver.Close(LPort);
    throw ECommsError(AMessage);
}

void TComm::StartComm() {
    if (hCommFile != 0)
        throw ECommsError(u"This serial port already opened");
    const THandle LPort = FDriver.Open(FCommName);
    if (LPort == 0)
        throw ECommsError(u"Error opening serial port");
    if (!FDriver.IsCharDevice(LPort)) {
        FDriver.Close(LPort);
        throw ECommsError(u"File handle is not a comm handle ");
    }
    if (!FDriver.SetupQueues(LPort, 2048, 1024)) {
        FDriver.Close(LPort);
        throw ECommsError(u"Cannot setup comm buffer");
    }
    hCommFile = LPort;
    FDriver.Purge(hCommFile, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    FSendDataEmpty.store(true);
    _SetCommTimeout();
    _SetCommState();

    hCloseEvent = FDriver.NewEvent(false);
    if (hCloseEvent == 0)
        FailStart(u"Unable to create event", false);

    try {
        FDriver.ReserveThread(false);
        ReadThread = std::make_unique<TReadThread>(FDriver);
    } catch (...) {
        ReadThread.reset();
        FailStart(u"Unable to create read thread", true);
    }
    ReadThread->hCommFile = hCommFile;
    ReadThread->hCloseEvent = hCloseEvent;
    ReadThread->hComm32Window = FHWnd->Handle();
    ReadThread->SetPriority(TThreadPriority::tpHighest);

    try {
        FDriver.ReserveThread(true);
        WriteThread = std::make_unique<TWriteThread>(FDriver);
    } catch (...) {
        CloseReadThread();
        WriteThread.reset();
        FailStart(u"Unable to create write thread", true);
    }
    WriteThread->hCommFile = hCommFile;
    WriteThread->hCloseEvent = hCloseEvent;
    WriteThread->hComm32Window = FHWnd->Handle();
    WriteThread->pFSendDataEmpty = &FSendDataEmpty;
    WriteThread->SetPriority(TThreadPriority::tpHigher);

    ReadThread->Start();
    WriteThread->Start();
}

void TComm::StopComm() {
    if (hCommFile == 0)
        return;
    CloseReadThread();
    CloseWriteThread();
    FDriver.FreeEvent(hCloseEvent);
    hCloseEvent = 0;
    const THandle LPort = hCommFile;
    hCommFile = 0;
    FDriver.Close(LPort);
}

void TComm::CloseReadThread() {
    if (!ReadThread)
        return;
    FDriver.SetEvent(hCloseEvent);
    FDriver.Purge(hCommFile, PURGE_RXABORT | PURGE_RXCLEAR);
    if (!ReadThread->WaitFor(10000))
        ReadThread->Terminate();
    std::unique_ptr<TReadThread> LThread = std::move(ReadThread);
    LThread.reset();
}

void TComm::CloseWriteThread() {
    if (!WriteThread)
        return;
    FDriver.SetEvent(hCloseEvent);
    FDriver.Purge(hCommFile, PURGE_TXABORT | PURGE_TXCLEAR);
    FSendDataEmpty.store(true);
    if (!WriteThread->WaitFor(10000))
        WriteThread->Terminate();
    std::unique_ptr<TWriteThread> LThread = std::move(WriteThread);
    LThread.reset();
}

void TComm::_SetCommState() {
    TCommState LState;
    (void)FDriver.GetState(hCommFile, LState);
    LState.BaudRate = FBaudRate;
    uint32_t LFlags = CDcbBinary;
    if (FParityCheck)
        LFlags |= CDcbParity;
    if (FOutx_CtsFlow)
        LFlags |= CDcbOutxCtsFlow;
    if (FOutx_DsrFlow)
        LFlags |= CDcbOutxDsrFlow;
    static const uint32_t CDtr[] = {DTR_CONTROL_ENABLE, DTR_CONTROL_DISABLE, DTR_CONTROL_HANDSHAKE};
    LFlags |= CDtr[static_cast<int>(FDtrControl)] << CDcbDtrControlShift;
    if (FDsrSensitivity)
        LFlags |= CDcbDsrSensitivity;
    if (FTxContinueOnXoff)
        LFlags |= CDcbTXContinueOnXoff;
    if (FOutx_XonXoffFlow)
        LFlags |= CDcbOutX;
    if (FInx_XonXoffFlow)
        LFlags |= CDcbInX;
    if (FReplaceWhenParityError)
        LFlags |= CDcbErrorChar;
    if (FIgnoreNullChar)
        LFlags |= CDcbNull;
    static const uint32_t CRts[] = {RTS_CONTROL_ENABLE, RTS_CONTROL_DISABLE, RTS_CONTROL_HANDSHAKE,
                                    RTS_CONTROL_TOGGLE};
    LFlags |= CRts[static_cast<int>(FRtsControl)] << CDcbRtsControlShift;
    LState.Flags = LFlags;
    LState.XonLim = FXonLimit;
    LState.XoffLim = FXoffLimit;
    LState.ByteSize = static_cast<uint8_t>(static_cast<int>(FByteSize) + 5);
    LState.Parity = static_cast<uint8_t>(FParity);
    LState.StopBits = static_cast<uint8_t>(FStopBits);
    LState.XonChar = FXonChar;
    LState.XoffChar = FXoffChar;
    LState.ErrorChar = FReplacedChar;
    (void)FDriver.SetState(hCommFile, LState);
}

void TComm::_SetCommTimeout() {
    TCommTimeouts LTimeouts;
    LTimeouts.ReadIntervalTimeout = FReadIntervalTimeout;
    LTimeouts.ReadTotalTimeoutMultiplier = FReadTotalTimeoutMultiplier;
    LTimeouts.ReadTotalTimeoutConstant = FReadTotalTimeoutConstant;
    LTimeouts.WriteTotalTimeoutMultiplier = FWriteTotalTimeoutMultiplier;
    LTimeouts.WriteTotalTimeoutConstant = FWriteTotalTimeoutConstant;
    (void)FDriver.SetTimeouts(hCommFile, LTimeouts);
}

uint32_t TComm::GetModemState() {
    uint32_t LStatus = 0;
    if (hCommFile == 0 || !FDriver.GetModemStatus(hCommFile, LStatus))
        return 0;
    return LStatus;
}

bool TComm::WriteCommData(const uint8_t* pDataToWrite, uint16_t dwSizeofDataToWrite) {
    if (!WriteThread || dwSizeofDataToWrite == 0)
        return false;
    uint8_t* LBlock = FDriver.AllocBlock(dwSizeofDataToWrite + 1u);
    if (!LBlock)
        return false;
    std::memcpy(LBlock, pDataToWrite, dwSizeofDataToWrite);
    FSendDataEmpty.store(false);
    if (WriteThread->PostThreadMessage(PWM_COMMWRITE, dwSizeofDataToWrite,
                                       reinterpret_cast<intptr_t>(LBlock)))
        return true;
    FreeCommBlock(LBlock);
    return false;
}

void TComm::CommWndProc(TMessage& Msg) {
    switch (Msg.Msg) {
    case PWM_GOTCOMMDATA: {
        uint8_t* LBlock = reinterpret_cast<uint8_t*>(Msg.LParam);
        struct TRelease {
            uint8_t* Block;
            ~TRelease() { FreeCommBlock(Block); }
        } LRelease{LBlock};
        ReceiveData(LBlock, static_cast<uint16_t>(Msg.WParam & 0xFFFF));
        break;
    }
    case PWM_RECEIVEERROR:
        ReceiveError(static_cast<uint32_t>(Msg.LParam));
        break;
    case PWM_REQUESTHANGUP:
        RequestHangup();
        break;
    case PWM_MODEMSTATECHANGE:
        ModemStateChange(static_cast<uint32_t>(Msg.LParam));
        break;
    case PWM_SENDDATAEMPTY:
        _SendDataEmpty();
        break;
    default:
        Msg.Result = 0; // what the default window procedure gives
        break;
    }
}

void TComm::ReceiveData(const uint8_t* Buffer, uint16_t BufferLength) {
    FOnReceiveData(this, Buffer, BufferLength);
}

void TComm::ReceiveError(uint32_t EvtMask) {
    FOnReceiveError(this, EvtMask);
}

void TComm::ModemStateChange(uint32_t ModemEvent) {
    FOnModemStateChange(this, ModemEvent);
}

void TComm::RequestHangup() {
    FOnRequestHangup(this);
}

void TComm::_SendDataEmpty() {
    FOnSendDataEmpty(this);
}
