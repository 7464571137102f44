#include "weighbridge/UnitWeighBridgeClient_AsciiLine.h"

void TAsciiLineClient::OnMyCommReceiveData(TObject*, const uint8_t* Buffer, uint16_t BufferLength) {
    if (Buffer == nullptr || BufferLength == 0)
        return;
    AppendReceivedData(FReceivedBuffer, FReceivedSize, Buffer, BufferLength);
    ConsumeReceivedData(
        FReceivedBuffer, FReceivedSize,
        AnalyzeAsciiLineFrames(FReceivedBuffer, FReceivedSize, WeightSink(), FLineState));
}

void TAsciiLineClient::OnMyReceiveError(TObject* Sender, uint32_t EventMask) {
    TWeighBridgeClient::OnMyReceiveError(Sender, EventMask);
}
