#include "FrameFuzzSupport.h"
#include "weighbridge/UnitAsciiLineFrame.h"

namespace {

TAsciiLineState GState;

int32_t ScanWithState(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink) {
    const int32_t LMark = AnalyzeAsciiLineFrames(ABuffer, ASize, ASink, GState);
    // A partial line left over is never longer than a line may be.
    const uint32_t LLeft = ASize - static_cast<uint32_t>(LMark + 1);
    if (LMark >= static_cast<int32_t>(ASize) || LLeft > AsciiLine::CMaxLineLen)
        std::abort();
    return LMark;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    GState.Reset();
    // Fifteen digits at most.
    RunFrameFuzz(AData, ASize, &ScanWithState, TFuzzWeightCheck{1e15, true},
                 AsciiLine::CMaxLineLen);
    return 0;
}
