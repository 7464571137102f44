#include "weighbridge/UnitWeighBridgeClient_ReversedEq.h"

void TReversedEqClient::OnMyCommReceiveData(TObject*, const uint8_t* Buffer,
                                            uint16_t BufferLength) {
    ReceiveChunk(FReceivedBuffer, FReceivedSize, Buffer, BufferLength,
                 [this](const uint8_t* ABuf, const uint32_t& ALen) {
                     return AnalyzeReversedEqFrames(ABuf, ALen, WeightSink(), FState);
                 });
}

void TReversedEqClient::OnMyReceiveError(TObject* Sender, uint32_t EventMask) {
    TWeighBridgeClient::OnMyReceiveError(Sender, EventMask);
}
