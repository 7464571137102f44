// Hostile viewer headers and queue contents: the sender writes only into the
// queue area a sound header describes, and only the queue positions besides.
#include "logging/UnitMapFileChannel.h"
#include "tests/support/MapFileObjects.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
constexpr size_t CMapped = 8192;
constexpr uint32_t CSoundMapSize = 8000;
constexpr int32_t CSoundOffset = 64;

TTestMapping& Mapping() {
    static TTestMapping* LMapping = [] {
        // Object names of its own (the fuzzer links no test support).
        setenv("SCALEPROBE_WBDEBUG_SUFFIX",
               ("fuzz" + std::to_string(GetCurrentProcessId())).c_str(), 1);
        std::atexit(RemoveAllObjects); // the mapping itself lives to the end
        return new TTestMapping(CMapped, CSoundMapSize, CSoundOffset);
    }();
    return *LMapping;
}

} // namespace

// Input: one mode byte, up to four record sizes (two bytes each), then bytes
// laid over the mapping from its start.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    if (ASize < 9)
        return 0;
    TTestMapping& LMapping = Mapping();
    uint8_t* LMap = LMapping.Map();
    std::memset(LMap, 0, CMapped);
    LMapping.SoundHeader(CSoundMapSize, CSoundOffset);
    const bool LConnectFirst = AData[0] & 1;
    TMapFileChannel LChannel(false);
    if (LConnectFirst && !LChannel.CheckReady())
        __builtin_trap();
    const TArea LArea = LConnectFirst ? TArea{CSoundOffset, CSoundMapSize, true} : TArea{};
    std::memcpy(LMap, AData + 9, std::min(ASize - 9, CMapped));
    const TArea LAllowed = LConnectFirst ? LArea : AreaOfHeader(LMap, CMapped);

    const std::vector<uint8_t> LBefore(LMap, LMap + CMapped);
    for (int I = 0; I < 4; ++I) {
        const int32_t LText = (AData[1 + 2 * I] | (AData[2 + 2 * I] << 8)) % (CMaxMsgTextLen + 1);
        if (!LChannel.CheckReady())
            continue;
        const TMsgDesc LDesc = MakeRecord(LText, 'f');
        LChannel.SendContent(LDesc, LDesc.Length);
    }
    for (size_t I = 0; I < CMapped; ++I) {
        if (LMap[I] == LBefore[I] || (I >= LAllowed.Begin && I < LAllowed.End))
            continue;
        if (I >= MapField::QueueFront && I < MapField::NeedRefresh + 4)
            continue;
        __builtin_trap(); // written outside the queue area
    }
    return 0;
}
