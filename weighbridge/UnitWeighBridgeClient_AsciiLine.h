// The client for indicators that stream ASCII weight lines.
#pragma once

#include "weighbridge/UnitAsciiLineFrame.h"
#include "weighbridge/UnitWeighBridgeClient.h"

class TAsciiLineClient : public TWeighBridgeClient {
    SP_CLASS(TAsciiLineClient, TWeighBridgeClient)
public:
    using TWeighBridgeClient::TWeighBridgeClient;

    TLineFraming Framing() const override { return FLineState.Framing(); }

protected:
    void OnMyCommReceiveData(TObject* Sender, const uint8_t* Buffer,
                             uint16_t BufferLength) override;
    void OnMyReceiveError(TObject* Sender, uint32_t EventMask) override;
    void ResetDecoder() override { FLineState.Reset(); }

private:
    TAsciiLineState FLineState;
};
