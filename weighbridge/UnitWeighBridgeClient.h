// The base of the weighing-indicator clients: owns the serial component,
// buffers what it receives, judges the stability of the decoded weights and
// reports connecting.
#pragma once

#include "platform/Object.h"
#include "serial/Comm.h"
#include "serial/PortCheck.h"
#include "weighbridge/UnitLineFraming.h"
#include "weighbridge/UnitReceivedBuffer.h"
#include "weighbridge/UnitWeighGlobal.h"

#include <cstdint>
#include <memory>
#include <vector>

constexpr int32_t CMaxLenWeightList = 200;
// Received bytes a client keeps from the start of a connection, to show what
// arrived when nothing decoded.
constexpr size_t CFirstBytesKept = 48;

// The minimum valid weight while no configuration reader exists: the
// configuration's own default.
constexpr int32_t CDefaultMinValidWeight = 10;

class TWeighBridgeClient : public TObject {
    SP_CLASS(TWeighBridgeClient, TObject)
public:
    explicit TWeighBridgeClient(int32_t AWeightRepeatCntWhenStable);
    ~TWeighBridgeClient() override;
    TWeighBridgeClient(const TWeighBridgeClient&) = delete;
    TWeighBridgeClient& operator=(const TWeighBridgeClient&) = delete;

    // Closes the port, clears buffer and weights, and opens the port with
    // ACfg. Never throws: the outcome is HasConnected and a status message.
    void ConnectComm(TConfigComm ACfg);
    void ClearWeightData();
    // "<port>/<baud>" of the last ConnectComm.
    UnicodeString GetConnectString() const;

    bool HasConnected() const { return FHasConnected; }
    // Why the last ConnectComm failed (also written to the log), and what
    // kept the port from opening; empty and ppNone after a successful one.
    const UnicodeString& ConnectError() const { return FConnectError; }
    TPortProblem ConnectProblem() const { return FConnectProblem; }
    const TConfigComm& ConnectCommCfg() const { return FConnectCommCfg; }
    const TShowStrProc& OnGetMsg() const { return FOnGetMsg; }
    void SetOnGetMsg(TShowStrProc AValue) { FOnGetMsg = std::move(AValue); }
    const TOnNewWeightNotify& OnNewWeightNotify() const { return FOnNewWeightNotify; }
    void SetOnNewWeightNotify(TOnNewWeightNotify AValue) { FOnNewWeightNotify = std::move(AValue); }
    const TOnStableWeightNotify& OnStableWeightNotify() const { return FOnStableWeightNotify; }
    void SetOnStableWeightNotify(TOnStableWeightNotify AValue) {
        FOnStableWeightNotify = std::move(AValue);
    }

    // The character framing seen in the frames decoded since the last
    // ConnectComm, for a decoder that judges it; lfNone otherwise and before
    // the first frame.
    virtual TLineFraming Framing() const { return TLineFraming::lfNone; }

    // Frames since the last ConnectComm that were whole and well formed but
    // for their check (a model that computes its check otherwise).
    int32_t CheckRefusedFrames() const { return FCheckRefusedFrames; }

    // Bytes received since the last ConnectComm, decoded or not, and the
    // first CFirstBytesKept of them.
    uint64_t BytesReceived() const { return FBytesReceived; }
    std::vector<uint8_t> FirstBytes() const {
        return std::vector<uint8_t>(FFirstBytes, FFirstBytes + FFirstBytesSize);
    }

    // Read-only views of the judgement, for the owner and for tests.
    const std::vector<double>& WeightList() const { return FWeightList; }
    int32_t LastWeightRepeatCnt() const { return FLastWeightRepeatCnt; }
    double WeightResult() const { return FWeightResult; }

protected:
    // The stability judgement of one decoded weight, in frame order.
    void AddAWeight(double AValue);
    // As AddAWeight, for a weight the indicator marks as in motion: it is
    // notified, but never counts as a repeat, and a repeat run starts over.
    void AddAWeightInMotion(double AValue);
    virtual void OnMyCommReceiveData(TObject* Sender, const uint8_t* Buffer, uint16_t BufferLength);
    virtual void OnMyReceiveError(TObject* Sender, uint32_t EventMask);
    // Forgets what a decoder carries between receive events; ConnectComm
    // calls it with the cleared buffer.
    virtual void ResetDecoder() {}

    // The sink that hands a scan's weights to AddAWeight and counts the
    // frames refused for their check.
    TWeightSink WeightSink() {
        return TWeightSink{this, &TWeighBridgeClient::PutWeight,
                           &TWeighBridgeClient::PutCheckRefused,
                           &TWeighBridgeClient::PutWeightInMotion};
    }
    const TComm& Comm() const { return *FComm; }

private:
    // Counts what arrives, then hands it to the decoder.
    void OnMyCommBytes(TObject* Sender, const uint8_t* Buffer, uint16_t BufferLength);
    static void PutWeight(void* AContext, double AValue);
    static void PutCheckRefused(void* AContext);
    static void PutWeightInMotion(void* AContext, double AValue);
    void JudgeWeight(double AValue, bool AInMotion);
    void ClearBuffer();
    bool HasGetStableWeight() const;
    void ShowMsgInOtherThread(bool IsShowDialogForm, const UnicodeString& AMsg);
    // Records and logs a failed connect; AOpenFailed asks the port why.
    void ConnectFailed(const UnicodeString& ACommName, const UnicodeString& AError,
                       bool AOpenFailed);

    TConfigComm FConnectCommCfg;
    std::unique_ptr<TComm> FComm;
    std::vector<double> FWeightList;
    int32_t FLastWeightRepeatCnt = 0;
    int32_t FWeightRepeatCntWhenStable = 0;
    double FWeightResult = 0;
    bool FHasConnected = false;
    bool FHasStabledByCaller = false;
    UnicodeString FConnectError;
    TPortProblem FConnectProblem = TPortProblem::ppNone;
    TShowStrProc FOnGetMsg;
    TOnNewWeightNotify FOnNewWeightNotify;
    TOnStableWeightNotify FOnStableWeightNotify;
    int32_t FCheckRefusedFrames = 0;
    uint64_t FBytesReceived = 0;
    // A fixed array: the receive path allocates nothing.
    uint8_t FFirstBytes[CFirstBytesKept] = {};
    size_t FFirstBytesSize = 0;

protected:
    // Received bytes not yet consumed; at most 1024 valid, the rest 0.
    uint8_t FReceivedBuffer[CReceivedBufferLen] = {};
    uint32_t FReceivedSize = 0;
};

// The name the serial component opens for the port name ACommName; throws
// EConvertError when the platform's rule rejects the name. One file per
// platform.
UnicodeString CommDeviceName(const UnicodeString& ACommName);

// The Windows rule: the number after the first three characters decides;
// from 10 on the name gets "//./" in front. Throws EConvertError when that
// tail is not an integer.
UnicodeString WindowsCommDeviceName(const UnicodeString& ACommName);
