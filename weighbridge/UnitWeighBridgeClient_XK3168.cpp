#include "weighbridge/UnitWeighBridgeClient_XK3168.h"

#include "weighbridge/UnitXK3168Frame.h"

void TXK3168Client::OnMyCommReceiveData(TObject*, const uint8_t* Buffer, uint16_t BufferLength) {
    ReceiveFrames(FReceivedBuffer, FReceivedSize, Buffer, BufferLength, &AnalyzeXK3168Frames,
                  WeightSink());
}

void TXK3168Client::OnMyReceiveError(TObject* Sender, uint32_t EventMask) {
    TWeighBridgeClient::OnMyReceiveError(Sender, EventMask);
}
