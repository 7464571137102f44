// The client for indicators that stream the "=" reversed-digit frame.
#pragma once

#include "weighbridge/UnitReversedEqFrame.h"
#include "weighbridge/UnitWeighBridgeClient.h"

class TReversedEqClient : public TWeighBridgeClient {
    SP_CLASS(TReversedEqClient, TWeighBridgeClient)
public:
    using TWeighBridgeClient::TWeighBridgeClient;

    TLineFraming Framing() const override { return FState.Judge.Framing(); }

protected:
    void OnMyCommReceiveData(TObject* Sender, const uint8_t* Buffer,
                             uint16_t BufferLength) override;
    void OnMyReceiveError(TObject* Sender, uint32_t EventMask) override;
    void ResetDecoder() override { FState.Reset(); }

private:
    TReversedEqState FState;
};
