// One caption change on the main window's display: the paint that stands
// between a decoded weight and the screen.
#include "app/widgets/LEDDisplay.h"

#include <benchmark/benchmark.h>

static void BM_LEDCaptionChange(benchmark::State& AState) {
    TLEDDisplay D;
    D.SetBounds(0, 0, int32_t(AState.range(0)), int32_t(AState.range(1)));
    D.SetAlignment(taRightJustify);
    bool LFlip = false;
    for (auto _ : AState) {
        D.SetCaption(LFlip ? u"987.25" : u"987.3");
        LFlip = !LFlip;
        benchmark::DoNotOptimize(D.Surface().Pixels().data());
    }
    AState.counters["paints"] = double(D.PaintCount());
}
BENCHMARK(BM_LEDCaptionChange)->Args({665, 82})->Args({1920, 240})->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
