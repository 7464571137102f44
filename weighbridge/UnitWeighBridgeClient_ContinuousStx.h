// The client for indicators that stream the "standard continuous" STX frame
// with its status bytes.
#pragma once

#include "weighbridge/UnitContinuousStxFrame.h"
#include "weighbridge/UnitWeighBridgeClient.h"

class TContinuousStxClient : public TWeighBridgeClient {
    SP_CLASS(TContinuousStxClient, TWeighBridgeClient)
public:
    using TWeighBridgeClient::TWeighBridgeClient;

    TLineFraming Framing() const override { return FState.Judge.Framing(); }

protected:
    void OnMyCommReceiveData(TObject* Sender, const uint8_t* Buffer,
                             uint16_t BufferLength) override;
    void OnMyReceiveError(TObject* Sender, uint32_t EventMask) override;
    void ResetDecoder() override { FState.Reset(); }

private:
    TContinuousStxState FState;
};
