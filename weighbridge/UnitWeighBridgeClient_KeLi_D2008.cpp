#include "weighbridge/UnitWeighBridgeClient_KeLi_D2008.h"

#include "weighbridge/UnitKeliD2008Frame.h"

void TKeliD2008Client::OnMyCommReceiveData(TObject*, const uint8_t* Buffer, uint16_t BufferLength) {
    ReceiveFrames(FReceivedBuffer, FReceivedSize, Buffer, BufferLength, &AnalyzeKeliD2008Frames,
                  WeightSink());
}

void TKeliD2008Client::OnMyReceiveError(TObject* Sender, uint32_t EventMask) {
    TWeighBridgeClient::OnMyReceiveError(Sender, EventMask);
}
