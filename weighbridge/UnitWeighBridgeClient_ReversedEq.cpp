#include "weighbridge/UnitWeighBridgeClient_ReversedEq.h"

void TReversedEqClient::OnMyCommReceiveData(TObject*, const uint8_t* Buffer,
                                            uint16_t BufferLength) {
    if (Buffer == nullptr || BufferLength == 0)
        return;
    AppendReceivedData(FReceivedBuffer, FReceivedSize, Buffer, BufferLength);
    ConsumeReceivedData(
        FReceivedBuffer, FReceivedSize,
        AnalyzeReversedEqFrames(FReceivedBuffer, FReceivedSize, WeightSink(), FState));
}

void TReversedEqClient::OnMyReceiveError(TObject* Sender, uint32_t EventMask) {
    TWeighBridgeClient::OnMyReceiveError(Sender, EventMask);
}
