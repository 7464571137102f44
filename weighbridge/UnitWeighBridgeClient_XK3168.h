// The client for indicators that stream the 5-byte BCD frame led by 0xFF.
#pragma once

#include "weighbridge/UnitWeighBridgeClient.h"

class TXK3168Client : public TWeighBridgeClient {
    SP_CLASS(TXK3168Client, TWeighBridgeClient)
public:
    using TWeighBridgeClient::TWeighBridgeClient;

protected:
    void OnMyCommReceiveData(TObject* Sender, const uint8_t* Buffer,
                             uint16_t BufferLength) override;
    void OnMyReceiveError(TObject* Sender, uint32_t EventMask) override;
};
