#include "FrameFuzzSupport.h"
#include "weighbridge/UnitKeliD2008Frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    // Six digits and a sign: -999999 to 999999.
    RunFrameFuzz(AData, ASize, &AnalyzeKeliD2008Frames, TFuzzWeightCheck{999999.0, true},
                 KeliD2008::CDataFrameLen - 1);
    return 0;
}
