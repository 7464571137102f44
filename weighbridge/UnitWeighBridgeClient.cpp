#include "weighbridge/UnitWeighBridgeClient.h"

#include "config/UnitConfigReader.h"
#include "logging/UnitLogFile.h"
#include "platform/MessageLoop.h"

#include <algorithm>
#include <cstring>

namespace {

int32_t MinValidWeight() {
    return GCfgReader ? GCfgReader->MinValidWeight() : CDefaultMinValidWeight;
}

void LogDebugLine(const char16_t* AFormat, double AValue) {
    if (GLogFile)
        GLogFile->LogDebug(Format(AFormat, {AValue}));
}

} // namespace

UnicodeString WindowsCommDeviceName(const UnicodeString& ACommName) {
    const UnicodeString LSerialPortNO = ACommName.size() > 3 ? ACommName.substr(3) : u"";
    if (StrToInt(LSerialPortNO) <= 9)
        return ACommName;
    return u"//./" + ACommName;
}

TWeighBridgeClient::TWeighBridgeClient(int32_t AWeightRepeatCntWhenStable) {
    FWeightRepeatCntWhenStable = AWeightRepeatCntWhenStable;
    FHasConnected = false;
    // The history never reallocates on the receive path.
    FWeightList.reserve(CMaxLenWeightList);
    ClearBuffer();
    FComm = std::make_unique<TComm>(nullptr);
    FComm->SetOnReceiveData(Bind(this, &TWeighBridgeClient::OnMyCommBytes));
    FComm->SetOnReceiveError(Bind(this, &TWeighBridgeClient::OnMyReceiveError));
}

TWeighBridgeClient::~TWeighBridgeClient() {
    ClearBuffer();
    FComm->StopComm();
    auto LComm = std::move(FComm);
    LComm.reset();
}

void TWeighBridgeClient::ClearBuffer() {
    std::memset(FReceivedBuffer, 0, sizeof FReceivedBuffer);
    FReceivedSize = 0;
    ClearWeightData();
}

void TWeighBridgeClient::ClearWeightData() {
    FWeightList.clear();
    FLastWeightRepeatCnt = 0;
    FWeightResult = 0;
    FHasStabledByCaller = false;
}

void TWeighBridgeClient::ConnectComm(TConfigComm ACfg) {
    FConnectCommCfg = ACfg;
    FConnectError.clear();
    FConnectProblem = TPortProblem::ppNone;
    ShowMsgInOtherThread(false, u"[地磅仪表]尝试连接");
    try {
        FComm->StopComm();
        ClearBuffer();
        ResetDecoder();
        FCheckRefusedFrames = 0;
        FBytesReceived = 0;
        FFirstBytesSize = 0;
        FComm->SetCommName(CommDeviceName(ACfg.CommName));
        FComm->SetBaudRate(static_cast<uint32_t>(ACfg.BaudRate));
        FComm->SetReadIntervalTimeout(static_cast<uint32_t>(ACfg.ReadIntervalTimeout));
        if (ACfg.StopBits >= 0 && ACfg.StopBits <= 2)
            FComm->SetStopBits(static_cast<TStopBits>(ACfg.StopBits));
        FComm->StartComm();
        FHasConnected = true;
        ShowMsgInOtherThread(false, Format(u"[地磅仪表]连接成功，通讯口: %s; 波特率: %d",
                                           {ACfg.CommName, static_cast<long long>(ACfg.BaudRate)}));
    } catch (const EConvertError& E) {
        // The name rule could not read the port's number.
        FConnectProblem = TPortProblem::ppBadName;
        ConnectFailed(ACfg.CommName, E.Message(), false);
    } catch (const ECommsError& E) {
        ConnectFailed(ACfg.CommName, E.Message(), true);
    } catch (const std::exception& E) {
        ConnectFailed(ACfg.CommName, Utf8ToUnicode(E.what()), false);
    } catch (...) {
        ConnectFailed(ACfg.CommName, u"unknown error", false);
    }
}

void TWeighBridgeClient::ConnectFailed(const UnicodeString& ACommName, const UnicodeString& AError,
                                       bool AOpenFailed) {
    FHasConnected = false;
    FConnectError = AError;
    if (FConnectProblem == TPortProblem::ppNone)
        FConnectProblem = TPortProblem::ppOther;
    // The component says only that the open failed; the port itself tells
    // whether it is gone, busy or no serial port.
    if (AOpenFailed) {
        const TPortCheck LCheck = CheckSerialPort(UnicodeToUtf8(ACommName));
        if (!LCheck.Ok()) {
            FConnectProblem = LCheck.Problem;
            FConnectError += u": " + Utf8ToUnicode(LCheck.Reason);
        }
    }
    if (GLogFile)
        GLogFile->LogError(
            Format(u"[地磅仪表]连接失败，通讯口: %s; 原因: %s", {ACommName, FConnectError}));
    ShowMsgInOtherThread(false, u"[地磅仪表]连接失败");
}

UnicodeString TWeighBridgeClient::GetConnectString() const {
    return Format(u"%s/%d",
                  {FConnectCommCfg.CommName, static_cast<long long>(FConnectCommCfg.BaudRate)});
}

void TWeighBridgeClient::PutWeight(void* AContext, double AValue) {
    static_cast<TWeighBridgeClient*>(AContext)->AddAWeight(AValue);
}

void TWeighBridgeClient::PutCheckRefused(void* AContext) {
    ++static_cast<TWeighBridgeClient*>(AContext)->FCheckRefusedFrames;
}

void TWeighBridgeClient::PutWeightInMotion(void* AContext, double AValue) {
    static_cast<TWeighBridgeClient*>(AContext)->AddAWeightInMotion(AValue);
}

void TWeighBridgeClient::AddAWeight(double AValue) {
    JudgeWeight(AValue, false);
}

void TWeighBridgeClient::AddAWeightInMotion(double AValue) {
    JudgeWeight(AValue, true);
}

void TWeighBridgeClient::JudgeWeight(double AValue, bool AInMotion) {
    FOnNewWeightNotify(AValue);
    if (HasGetStableWeight())
        return;
    if (static_cast<double>(MinValidWeight()) > AValue)
        return;
    if (FWeightList.empty())
        LogDebugLine(u"第一次接受到重量: %f", AValue);
    if (!FWeightList.empty() && FWeightList.back() == AValue) {
        if (AInMotion) {
            FLastWeightRepeatCnt = 0;
            return;
        }
        const int32_t LRepeat = FLastWeightRepeatCnt + 1;
        if (LRepeat >= FWeightRepeatCntWhenStable) {
            if (LRepeat == FWeightRepeatCntWhenStable)
                LogDebugLine(u"重量已经稳定: %f", AValue);
            if (FOnStableWeightNotify.Assigned())
                FHasStabledByCaller = FOnStableWeightNotify(AValue);
            if (FHasStabledByCaller) {
                FWeightResult = AValue;
                LogDebugLine(u"重量已经被接受: %f", AValue);
            }
        }
        FLastWeightRepeatCnt = LRepeat;
        return;
    }
    if (FWeightList.size() >= static_cast<size_t>(CMaxLenWeightList)) {
        std::move(FWeightList.begin() + 1, FWeightList.end(), FWeightList.begin());
        FWeightList.back() = AValue;
    } else {
        FWeightList.push_back(AValue);
    }
    FLastWeightRepeatCnt = 0;
}

bool TWeighBridgeClient::HasGetStableWeight() const {
    return FWeightResult > static_cast<double>(MinValidWeight()) &&
           FLastWeightRepeatCnt >= FWeightRepeatCntWhenStable && FHasStabledByCaller;
}

void TWeighBridgeClient::ShowMsgInOtherThread(bool IsShowDialogForm, const UnicodeString& AMsg) {
    auto LShow = [this, IsShowDialogForm, LMsg = AMsg]() {
        if (FOnGetMsg.Assigned())
            FOnGetMsg(IsShowDialogForm, LMsg);
    };
    // Without a main loop there is no other thread to hand it to.
    if (TMessageLoop::Main() == nullptr)
        LShow();
    else
        TMessageLoop::CallMain(LShow);
}

void TWeighBridgeClient::OnMyCommBytes(TObject* Sender, const uint8_t* Buffer,
                                       uint16_t BufferLength) {
    FBytesReceived += BufferLength;
    const size_t LKeep = std::min<size_t>(BufferLength, CFirstBytesKept - FFirstBytesSize);
    if (LKeep != 0) {
        std::memcpy(FFirstBytes + FFirstBytesSize, Buffer, LKeep);
        FFirstBytesSize += LKeep;
    }
    OnMyCommReceiveData(Sender, Buffer, BufferLength);
}

void TWeighBridgeClient::OnMyCommReceiveData(TObject*, const uint8_t*, uint16_t) {}

void TWeighBridgeClient::OnMyReceiveError(TObject*, uint32_t EventMask) {
    if (GLogFile)
        GLogFile->LogError(u"地磅仪表接收到错误的数据: " + UIntToStr(EventMask));
}
