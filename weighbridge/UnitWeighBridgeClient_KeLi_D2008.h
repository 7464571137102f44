// The client for indicators that stream the 12-byte ASCII frame opened by 0x02.
#pragma once

#include "weighbridge/UnitWeighBridgeClient.h"

class TKeliD2008Client : public TWeighBridgeClient {
    SP_CLASS(TKeliD2008Client, TWeighBridgeClient)
public:
    using TWeighBridgeClient::TWeighBridgeClient;

protected:
    void OnMyCommReceiveData(TObject* Sender, const uint8_t* Buffer,
                             uint16_t BufferLength) override;
    void OnMyReceiveError(TObject* Sender, uint32_t EventMask) override;
};
