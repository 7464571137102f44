#include "weighbridge/UnitWeighBridgeClient_AsciiLine.h"

void TAsciiLineClient::OnMyCommReceiveData(TObject*, const uint8_t* Buffer, uint16_t BufferLength) {
    ReceiveChunk(FReceivedBuffer, FReceivedSize, Buffer, BufferLength,
                 [this](const uint8_t* ABuf, const uint32_t& ALen) {
                     return AnalyzeAsciiLineFrames(ABuf, ALen, WeightSink(), FLineState);
                 });
}

void TAsciiLineClient::OnMyReceiveError(TObject* Sender, uint32_t EventMask) {
    TWeighBridgeClient::OnMyReceiveError(Sender, EventMask);
}
