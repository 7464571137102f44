#include "weighbridge/UnitWeighBridgeClient_ContinuousStx.h"

void TContinuousStxClient::OnMyCommReceiveData(TObject*, const uint8_t* Buffer,
                                               uint16_t BufferLength) {
    ReceiveChunk(FReceivedBuffer, FReceivedSize, Buffer, BufferLength,
                 [this](const uint8_t* ABuf, const uint32_t& ALen) {
                     return AnalyzeContinuousStxFrames(ABuf, ALen, WeightSink(), FState);
                 });
}

void TContinuousStxClient::OnMyReceiveError(TObject* Sender, uint32_t EventMask) {
    TWeighBridgeClient::OnMyReceiveError(Sender, EventMask);
}
