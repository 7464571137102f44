#include "FrameFuzzSupport.h"
#include "weighbridge/UnitContinuousStxFrame.h"

namespace {

TContinuousStxState GState;

int32_t ScanWithState(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink) {
    return AnalyzeContinuousStxFrames(ABuffer, ASize, ASink, GState);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    GState.Reset();
    // Six digits counted in hundreds at most, either sign.
    RunFrameFuzz(AData, ASize, &ScanWithState, TFuzzWeightCheck{99999900.0, true},
                 ContinuousStx::CMaxFrameLen - 1);
    return 0;
}
