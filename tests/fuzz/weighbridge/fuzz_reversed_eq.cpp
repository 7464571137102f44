#include "FrameFuzzSupport.h"
#include "weighbridge/UnitReversedEqFrame.h"

namespace {

TReversedEqState GState;

int32_t ScanWithState(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink) {
    return AnalyzeReversedEqFrames(ABuffer, ASize, ASink, GState);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    GState.Reset();
    // Eight digits at most, either sign.
    RunFrameFuzz(AData, ASize, &ScanWithState, TFuzzWeightCheck{99999999.0, true},
                 ReversedEq::CMaxChars + 1);
    return 0;
}
