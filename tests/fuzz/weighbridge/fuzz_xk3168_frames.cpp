#include "FrameFuzzSupport.h"
#include "weighbridge/UnitXK3168Frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    // Six digits, a status code of 0 multiplies by ten.
    RunFrameFuzz(AData, ASize, &AnalyzeXK3168Frames, TFuzzWeightCheck{9999990.0, true},
                 XK3168::CDataFrameLen - 1);
    return 0;
}
