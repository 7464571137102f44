#include "weighbridge/UnitWeighBridgeClient_ContinuousStx.h"

void TContinuousStxClient::OnMyCommReceiveData(TObject*, const uint8_t* Buffer,
                                               uint16_t BufferLength) {
    if (Buffer == nullptr || BufferLength == 0)
        return;
    AppendReceivedData(FReceivedBuffer, FReceivedSize, Buffer, BufferLength);
    ConsumeReceivedData(
        FReceivedBuffer, FReceivedSize,
        AnalyzeContinuousStxFrames(FReceivedBuffer, FReceivedSize, WeightSink(), FState));
}

void TContinuousStxClient::OnMyReceiveError(TObject* Sender, uint32_t EventMask) {
    TWeighBridgeClient::OnMyReceiveError(Sender, EventMask);
}
